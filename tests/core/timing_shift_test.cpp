// Time shift: raw count, microseconds, label, shift.csv lines, start pair.
#include <gtest/gtest.h>

#include "timing_test_support.h"
#include "timing/shift.h"

namespace voxa {
namespace {

using namespace timing_test;

TEST(TimingShift, ConvertsLabelsAndLogsEveryRecord) {
  const struct {
    const char* legend;
    uint8_t byte1, byte2;
    int32_t raw, micros;
  } rows[] = {
      {"zero", 0x00, 0x00, 0, 0},
      {"one unit rounds down", 0x00, 0x01, 1, 2},
      {"312.5 rounds to even 312", 0x01, 0x00, 128, 312},
      {"937.5 rounds to even 938", 0x03, 0x00, 384, 938},
      {"3012.7 rounds to 3013", 0x09, 0x52, 1234, 3013},
      {"largest count", 0x7F, 0x7F, 16383, 39998},
  };
  const std::string path = TempPath("timing_shift_");
  Acquisition a;
  a.SaveShift = true;
  ASSERT_TRUE(a.ShiftFile.Create(path));
  // Before any GPS message the time texts are empty.
  std::string expected = "::; 0; shift\r\n";
  MeasureShift(a);
  a.GpsHour = "12", a.GpsMinute = "34", a.GpsSecond = "56";
  for (const auto& row : rows) {
    a.ShiftByte1 = row.byte1, a.ShiftByte2 = row.byte2;
    MeasureShift(a);
    EXPECT_EQ(a.ShiftRaw, row.raw) << row.legend;
    EXPECT_EQ(a.ShiftMicros, row.micros) << row.legend;
    EXPECT_EQ(ShiftLabelText(a.ShiftMicros), std::to_string(row.micros) + " \xC2\xB5sec") << row.legend;
    expected += "12:34:56; " + std::to_string(row.raw) + "; shift\r\n";
  }
  a.ShiftFile.Close();
  EXPECT_EQ(TakeFile(path), expected);
}

TEST(TimingShift, StartPairIsTheTwentySixthRecordAfterALateFix) {
  for (const bool late : {true, false}) {
    Acquisition a;
    a.StartShiftPair = {0x05, 0x06};  // taken in an earlier run
    a.StartShiftPending = late;
    for (int record = 1; record <= 27; ++record) {
      a.ShiftByte1 = static_cast<uint8_t>(record), a.ShiftByte2 = 0x40;
      MeasureShift(a);
      const bool taken = late && record >= 26;
      EXPECT_EQ(a.StartShiftPair, taken ? (std::array<uint8_t, 2>{26, 0x40}) : (std::array<uint8_t, 2>{5, 6}))
          << "record " << record << (late ? " after a late fix" : " without one");
      EXPECT_EQ(a.StartShiftPending, late && !taken) << record;
    }
  }
}

}  // namespace
}  // namespace voxa
