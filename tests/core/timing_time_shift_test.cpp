// Time shift: raw count, microseconds, label and shift.csv line.
#include <gtest/gtest.h>

#include "timing/time_shift.h"

namespace voxa {
namespace {

TEST(TimeShift, ConvertsLabelsAndLogsEveryRecord) {
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
  GpsTime time;
  time.hour = "12", time.minute = "34", time.second = "56";
  TimeShift shift;
  for (const auto& row : rows) {
    shift.Measure(row.byte1, row.byte2);
    EXPECT_EQ(shift.Raw(), row.raw) << row.legend;
    EXPECT_EQ(shift.Micros(), row.micros) << row.legend;
    EXPECT_EQ(ShiftLabelText(shift.Micros()), std::to_string(row.micros) + " \xC2\xB5sec") << row.legend;
    EXPECT_EQ(ShiftLine(time, shift.Raw()), "12:34:56; " + std::to_string(row.raw) + "; shift") << row.legend;
  }
  // Before any GPS message the time texts are empty.
  EXPECT_EQ(ShiftLine(GpsTime{}, 0), "::; 0; shift");
}

}  // namespace
}  // namespace voxa
