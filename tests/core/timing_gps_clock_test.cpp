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
