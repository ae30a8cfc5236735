// Time shift: raw count, microseconds, label, shift.csv lines, start pair.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "timing/shift.h"

namespace voxa {
namespace {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(TimingShift, ConvertsLabelsAndLogsEveryRecord) {
  struct Row {
    const char* legend;
    uint8_t byte1, byte2;
    int32_t raw, micros;
  };
  const Row rows[] = {
      {"zero", 0x00, 0x00, 0, 0},
      {"one unit rounds down", 0x00, 0x01, 1, 2},
      {"312.5 rounds to even 312", 0x01, 0x00, 128, 312},
      {"937.5 rounds to even 938", 0x03, 0x00, 384, 938},
      {"3012.7 rounds to 3013", 0x09, 0x52, 1234, 3013},
      {"largest count", 0x7F, 0x7F, 16383, 39998},
  };
  const auto path = std::filesystem::temp_directory_path() / ("timing_shift_" + std::to_string(::getpid()) + ".csv");
  Acquisition a;
  a.SaveShift = true;
  ASSERT_TRUE(a.ShiftFile.Create(path.string()));
  a.GpsHour = "12", a.GpsMinute = "34", a.GpsSecond = "56";
  std::string expected;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    a.ShiftByte1 = row.byte1, a.ShiftByte2 = row.byte2;
    MeasureShift(a);
    EXPECT_EQ(a.ShiftRaw, row.raw);
    EXPECT_EQ(a.ShiftMicros, row.micros);
    EXPECT_EQ(ShiftLabelText(a.ShiftMicros), std::to_string(row.micros) + " \xC2\xB5sec");
    expected += "12:34:56; " + std::to_string(row.raw) + "; shift\r\n";
  }
  a.ShiftFile.Close();
  EXPECT_EQ(ReadAll(path), expected);
  std::filesystem::remove(path);
}

TEST(TimingShift, LineBeforeAnyGpsMessageCarriesEmptyTimeTexts) {
  Acquisition a;
  a.ShiftByte1 = 0x00, a.ShiftByte2 = 0x00;
  MeasureShift(a);
  EXPECT_EQ(ShiftLine(a), "::; 0; shift");
}

TEST(TimingShift, StartPairIsTheTwentySixthRecordAfterALateFix) {
  Acquisition a;
  a.StartShiftPair = {0x05, 0x06};  // taken in an earlier run
  a.StartShiftPending = true;
  for (int record = 1; record <= 27; ++record) {
    a.ShiftByte1 = static_cast<uint8_t>(record), a.ShiftByte2 = 0x40;
    MeasureShift(a);
    if (record == 25) {
      EXPECT_TRUE(a.StartShiftPending);
      EXPECT_EQ(a.StartShiftPair, (std::array<uint8_t, 2>{0x05, 0x06})) << "not taken after 25";
    }
  }
  EXPECT_FALSE(a.StartShiftPending);
  EXPECT_EQ(a.StartShiftPair, (std::array<uint8_t, 2>{26, 0x40}));

  Acquisition idle;  // no late fix: nothing is counted or taken
  idle.ShiftByte1 = 0x11;
  for (int record = 0; record < 30; ++record) MeasureShift(idle);
  EXPECT_EQ(idle.ShiftRecordCount, 0);
  EXPECT_EQ(idle.StartShiftPair, (std::array<uint8_t, 2>{0, 0}));
}

}  // namespace
}  // namespace voxa
