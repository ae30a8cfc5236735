// GPS records: the fields taken, broken and cut-short records, ">XPV"
// temperature records, the start fields and name of a recording, checksums.
#include <gtest/gtest.h>

#include "timing_test_support.h"

namespace voxa {
namespace {

using namespace timing_test;

std::string Clock(const Acquisition& a) { return a.GpsHour + ":" + a.GpsMinute + ":" + a.GpsSecond; }
std::string Start(const Acquisition& a) {
  return a.StartHour + a.StartMinute + a.StartSecond + a.StartDay + a.StartMonth + a.StartYear;
}

TEST(TimingGps, PlaceholderRecordDecodesAndNamesTheRecording) {
  Acquisition a;
  a.SaveStream = true;
  a.AwaitingDeviceHeader = false;
  a.DeviceNumber = "015";
  a.BlocksSinceFix = 57;
  a.GpsText = kPlaceholderGpsText;
  DecodeGpsRecord(a);
  EXPECT_TRUE(a.GpsSeen && !a.GpsBlockError && !a.TempAvailable && !a.StartTimePending);
  EXPECT_EQ(Clock(a) + " " + a.SatText + " " + a.GpsTimeText, "00:00:00 07 00015");
  EXPECT_EQ(a.GpsSecondOfDay, 15);
  EXPECT_EQ(a.GpsDay + a.GpsMonth + a.GpsYear + a.GpsUtcOffset, "11111115");
  EXPECT_EQ(a.StreamFileName, "11110000.015");
  EXPECT_EQ(Start(a), "000000111111");
  EXPECT_EQ(a.BlocksSinceFix, 0);
}

TEST(TimingGps, ChecksumsAndHexDigits) {
  EXPECT_EQ(GpsChecksum(kPlaceholderGpsText.substr(1, 35)), "79");
  EXPECT_EQ(GpsChecksum(kPlaceholderGpsText.substr(40, 33)), "61");
  const std::pair<uint8_t, const char*> hex[] = {{0x00, "00"}, {0x0A, "0A"}, {0x10, "10"}, {0xA5, "A5"}, {0xFF, "FF"}};
  for (const auto& [value, text] : hex) EXPECT_EQ(HexByte(value), text) << int{value};
}

TEST(TimingGps, BrokenRecordsChangeNothingButTheErrorList) {
  const std::string sound = Record({{5, "45296"}, {44, "123456"}});
  std::string marker70 = sound.substr(0, 70);
  marker70[59] = static_cast<char>(0x90);  // a short record swallowed the next block's marker
  const std::pair<const char*, std::string> rows[] = {
      {"'>' damaged", Record({{40, "#"}})},
      {"'R' damaged", Record({{41, "r"}})},
      {"'T' damaged", Record({{42, "X"}})},
      {"'M' damaged", Record({{43, " "}})},
      {"empty", ""},
      {"cut inside the first message", sound.substr(0, 20) + "\x80"},
      {"cut inside >RTM", sound.substr(0, 42) + "\x9F"},
      {"cut before the satellites", sound.substr(0, 64) + "\xB0"},
      {"not recording, marker inside the 70", marker70},
  };
  const std::string path = TempPath("timing_gps_");
  std::string expected;
  Acquisition a;
  a.SaveErrorList = true;
  ASSERT_TRUE(a.ErrorFile.Create(path));
  for (const auto& [legend, text] : rows) {
    a.GpsText = sound;
    DecodeGpsRecord(a);
    a.BlocksSinceFix = 37;
    a.GpsText = text;
    DecodeGpsRecord(a);
    EXPECT_TRUE(a.GpsBlockError) << legend;
    EXPECT_EQ(a.BlockErrorText, "GPS Block error") << legend;
    EXPECT_EQ(Clock(a) + " " + a.SatText + " " + a.GpsTimeText, "12:34:56 07 45296") << legend;
    EXPECT_EQ(a.BlocksSinceFix, 37) << legend;
    expected += "GPS Block error\r\n";
  }
  a.ErrorFile.Close();
  EXPECT_EQ(TakeFile(path), expected);

  Acquisition fresh;  // a broken first record does not count as GPS seen
  fresh.GpsText = Record({{40, "<"}});
  DecodeGpsRecord(fresh);
  EXPECT_FALSE(fresh.GpsSeen);
  EXPECT_TRUE(fresh.GpsHour.empty());
}

TEST(TimingGps, RecordsThatStillHoldEveryFieldAreSound) {
  const std::string sound = Record({{44, "235959"}, {64, "09"}});
  const std::pair<const char*, std::string> rows[] = {
      {"wrong checksums", Record({{37, "00"}, {74, "ZZ"}}, sound)},
      {"not recording: 70 characters", sound.substr(0, 70)},
      {"cut right after the satellites", sound.substr(0, 65) + "\x80"},
  };
  for (const auto& [legend, text] : rows) {
    Acquisition a;
    a.GpsText = text;
    DecodeGpsRecord(a);
    EXPECT_FALSE(a.GpsBlockError) << legend;
    EXPECT_EQ(Clock(a) + " " + a.SatText, "23:59:59 09") << legend;
  }
}

TEST(TimingGps, TemperatureRecordsTakeTheTimeOfDayFromTheTimeMessage) {
  const struct {
    const char* legend;
    std::string_view clock, offset, timeText;
    int32_t secondOfDay;
  } rows[] = {
      {"midday", "123456", "18", "45314", 45314},
      {"wraps past GPS midnight", "235950", "18", "00008", 8},
  };
  for (const auto& row : rows) {
    Acquisition a;
    a.GpsText = Record({{1, ">XPV+23.5"}, {44, row.clock}, {61, row.offset}});
    DecodeGpsRecord(a);
    EXPECT_EQ(a.GpsTimeText, row.timeText) << row.legend;
    EXPECT_EQ(a.GpsSecondOfDay, row.secondOfDay) << row.legend;
    EXPECT_TRUE(a.TempAvailable);
    a.GpsText = kPlaceholderGpsText;  // later position records keep the temperature
    DecodeGpsRecord(a);
    EXPECT_TRUE(a.TempAvailable);
    EXPECT_EQ(a.TempText, "+23.5");
    EXPECT_EQ(a.GpsSecondOfDay, 15);
  }
}

TEST(TimingGps, StartFieldsAndPlaceholderBookkeepingFollowTheRecording) {
  Acquisition off;  // recording off: start fields and placeholder flags untouched
  off.GpsPlaceholder = true;
  off.BlocksSinceFix = 900;
  off.GpsText = kPlaceholderGpsText;
  DecodeGpsRecord(off);
  EXPECT_TRUE(off.StartTimePending && off.GpsPlaceholder && !off.StartTimeFix && !off.StartShiftPending);
  EXPECT_EQ(Start(off) + std::to_string(off.FirstFixBlocks), "0");

  Acquisition on;  // recording, no header yet, first screen already ended
  on.SaveStream = true;
  on.GpsPlaceholder = true;
  on.BlocksSinceFix = 1234;
  on.GpsText = Record({{44, "010203"}});
  DecodeGpsRecord(on);
  EXPECT_EQ(Start(on), "010203111111");
  EXPECT_TRUE(on.StreamFileName.empty()) << "device number not known yet";
  EXPECT_EQ(on.FirstFixBlocks, 1234);
  EXPECT_EQ(on.FirstGpsText, on.GpsText);
  EXPECT_TRUE(on.StartTimeFix && on.StartShiftPending && !on.GpsPlaceholder);
  on.AwaitingDeviceHeader = false;  // a later fix neither moves the start nor names the file
  on.GpsText = Record({{44, "020304"}});
  DecodeGpsRecord(on);
  EXPECT_EQ(Start(on), "010203111111");
  EXPECT_TRUE(on.StreamFileName.empty());
}

}  // namespace
}  // namespace voxa
