// The GPS clock: the fields taken from sound records, broken and cut-short
// records, ">XPV" temperature records, and the block count since a fix.
#include <gtest/gtest.h>

#include "core_test_support.h"
#include "timing/gps_clock.h"

namespace voxa::test {
namespace {

std::string Fields(const GpsClock& clock) {
  return clock.Time().ClockText() + " " + clock.Satellites() + " " + clock.Time().timeOfDay;
}

TEST(GpsClock, PlaceholderRecordDecodes) {
  GpsClock clock;
  for (int i = 0; i < 57; ++i) clock.CountBlock();
  EXPECT_EQ(clock.BlocksSinceFix(), 57);
  ASSERT_TRUE(clock.Decode(kPlaceholderGpsText));
  EXPECT_TRUE(clock.Seen());
  EXPECT_FALSE(clock.TemperatureAvailable());
  EXPECT_EQ(Fields(clock), "00:00:00 07 00015");
  EXPECT_EQ(clock.Time().secondOfDay, 15);
  const GpsTime& t = clock.Time();
  EXPECT_EQ(t.day + t.month + t.year + t.utcOffset, "11111115");
  EXPECT_EQ(clock.BlocksSinceFix(), 0);
  EXPECT_EQ(clock.BlocksBeforeLastFix(), 57);
}

TEST(GpsClock, BrokenRecordsChangeNothing) {
  const std::string sound = GpsText({{5, "45296"}, {44, "123456"}});
  std::string marker70 = sound.substr(0, 70);
  marker70[59] = static_cast<char>(0x90);  // a short record swallowed the next block's marker
  const std::pair<const char*, std::string> rows[] = {
      {"'>' damaged", GpsText({{40, "#"}})},
      {"'R' damaged", GpsText({{41, "r"}})},
      {"'T' damaged", GpsText({{42, "X"}})},
      {"'M' damaged", GpsText({{43, " "}})},
      {"empty", ""},
      {"cut inside the first message", sound.substr(0, 20) + "\x80"},
      {"cut inside >RTM", sound.substr(0, 42) + "\x9F"},
      {"cut before the satellites", sound.substr(0, 64) + "\xB0"},
      {"not recording, marker inside the 70", marker70},
  };
  GpsClock clock;
  for (const auto& [legend, text] : rows) {
    ASSERT_TRUE(clock.Decode(sound));
    for (int i = 0; i < 37; ++i) clock.CountBlock();
    EXPECT_FALSE(clock.Decode(text)) << legend;
    EXPECT_EQ(Fields(clock), "12:34:56 07 45296") << legend;
    EXPECT_EQ(clock.BlocksSinceFix(), 37) << legend;
  }

  GpsClock fresh;  // a broken first record does not count as GPS seen
  EXPECT_FALSE(fresh.Decode(GpsText({{40, "<"}})));
  EXPECT_FALSE(fresh.Seen());
  EXPECT_TRUE(fresh.Time().hour.empty());
}

// Fields that are not digits in range make the record broken, like a
// missing ">RTM": their texts would go into names and time stamps. Each row
// puts one field (1-based position) into an otherwise sound record.
TEST(GpsClock, FieldsOutOfRangeMakeTheRecordBroken) {
  const std::string sound = GpsText({{5, "45296"}, {44, "123456"}});
  const struct {
    const char* legend;
    size_t pos;
    std::string_view text;
    bool sound;
  } rows[] = {
      {"hour 23", 44, "23", true},          {"hour 24", 44, "24", false},         {"hour 99", 44, "99", false},
      {"hour ' 1'", 44, " 1", false},       {"hour 1a", 44, "1a", false},         {"minute 59", 46, "59", true},
      {"minute 61", 46, "61", false},       {"minute +1", 46, "+1", false},       {"second 59", 48, "59", true},
      {"second 60 at 12:34", 48, "60", false}, {"second 99", 48, "99", false},    {"second ':0'", 48, ":0", false},
      {"day 01", 53, "01", true},           {"day 00", 53, "00", false},          {"day 32", 53, "32", false},
      {"day 31 November", 53, "3111", false}, {"day 30 November", 53, "3011", true},
      {"30 February", 53, "3002", false},   {"month 12", 55, "12", true},         {"month 00", 55, "00", false},
      {"month 13", 55, "13", false},        {"month 1x", 55, "1x", false},        {"year 00", 59, "00", true},
      {"year 9-", 59, "9-", false},         {"offset 99", 61, "99", true},        {"offset -1", 61, "-1", false},
      {"offset 1 ", 61, "1 ", false},       {"satellites 00", 64, "00", true},    {"satellites a7", 64, "a7", false},
      {"time of day 86399", 5, "86399", true}, {"time of day 86400", 5, "86400", false},
      {"time of day 4529x", 5, "4529x", false}, {"time of day ' 4529'", 5, " 4529", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.legend);
    GpsClock clock;
    ASSERT_TRUE(clock.Decode(sound));
    clock.CountBlock();
    EXPECT_EQ(clock.Decode(GpsText({{row.pos, row.text}}, sound)), row.sound);
    EXPECT_EQ(clock.BlocksSinceFix(), row.sound ? 0 : 1);
    if (!row.sound) {
      EXPECT_EQ(Fields(clock), "12:34:56 07 45296");
    }
  }
}

TEST(GpsClock, LeapYearsAndTheLeapSecond) {
  const struct {
    const char* legend;
    std::string_view clock, date;  // hhmmss, ddMMyy
    bool sound;
  } rows[] = {
      {"29 February 2012", "120000", "290212", true},  {"29 February 2011", "120000", "290211", false},
      {"29 February 2000", "120000", "290200", true},  {"leap second 23:59:60", "235960", "311216", true},
      {"no leap second at 12:59", "125960", "311216", false}, {"no second 61", "235961", "311216", false},
  };
  for (const auto& row : rows) {
    GpsClock clock;
    EXPECT_EQ(clock.Decode(Fix("43200", row.clock, row.date)), row.sound) << row.legend;
  }
  // A temperature record has no time of day to check; its own is derived.
  GpsClock clock;
  ASSERT_TRUE(clock.Decode(GpsText({{1, ">XPV-99.9"}, {44, "235960"}, {53, "311216"}, {61, "18"}})));
  EXPECT_EQ(clock.Time().timeOfDay, "00018");
}

TEST(GpsClock, BlockCountsPastTwoToThe31) {
  constexpr int64_t kBlocks = (int64_t{1} << 31) + 5;  // 31 days at 800 sps
  GpsClock clock;
  clock.SetBlocksSinceFixForTest(kBlocks - 1);
  clock.CountBlock();
  EXPECT_EQ(clock.BlocksSinceFix(), kBlocks);
  ASSERT_TRUE(clock.Decode(kPlaceholderGpsText));
  EXPECT_EQ(clock.BlocksBeforeLastFix(), kBlocks);
  EXPECT_EQ(clock.BlocksSinceFix(), 0);
}

TEST(GpsClock, RecordsThatStillHoldEveryFieldAreSound) {
  const std::string sound = GpsText({{44, "235959"}, {64, "09"}});
  const std::pair<const char*, std::string> rows[] = {
      {"wrong checksums", GpsText({{37, "00"}, {74, "ZZ"}}, sound)},
      {"not recording: 70 characters", sound.substr(0, 70)},
      {"cut right after the satellites", sound.substr(0, 65) + "\x80"},
  };
  for (const auto& [legend, text] : rows) {
    GpsClock clock;
    EXPECT_TRUE(clock.Decode(text)) << legend;
    EXPECT_EQ(clock.Time().ClockText() + " " + clock.Satellites(), "23:59:59 09") << legend;
  }
}

TEST(GpsClock, TemperatureRecordsTakeTheTimeOfDayFromTheTimeMessage) {
  const struct {
    const char* legend;
    std::string_view clock, offset, timeText;
    int32_t secondOfDay;
  } rows[] = {
      {"midday", "123456", "18", "45314", 45314},
      {"wraps past GPS midnight", "235950", "18", "00008", 8},
  };
  for (const auto& row : rows) {
    GpsClock clock;
    EXPECT_TRUE(clock.Decode(GpsText({{1, ">XPV+23.5"}, {44, row.clock}, {61, row.offset}})));
    EXPECT_EQ(clock.Time().timeOfDay, row.timeText) << row.legend;
    EXPECT_EQ(clock.Time().secondOfDay, row.secondOfDay) << row.legend;
    EXPECT_TRUE(clock.TemperatureAvailable());
    EXPECT_TRUE(clock.Decode(kPlaceholderGpsText));  // later position records keep the temperature
    EXPECT_TRUE(clock.TemperatureAvailable());
    EXPECT_EQ(clock.Temperature(), "+23.5");
    EXPECT_EQ(clock.Time().secondOfDay, 15);
  }
}

TEST(GpsClock, StartOfARunForgetsTheFixButKeepsTheFields) {
  GpsClock clock;
  ASSERT_TRUE(clock.Decode(GpsText({{44, "010203"}})));
  clock.CountBlock();
  clock.StartRun();
  EXPECT_FALSE(clock.Seen());
  EXPECT_EQ(clock.BlocksSinceFix(), 0);
  EXPECT_EQ(clock.Time().ClockText(), "01:02:03");
}

}  // namespace
}  // namespace voxa::test
