// The time shift of the device clock against GPS. A shift record carries a
// 14-bit count of 10 ms / 4096 units; it is shown in microseconds, logged raw
// to shift.csv, and, after a late first fix, the 26th value is kept for the
// shift record written at the start of the recording (the device's first
// values after a fix have not settled yet).
#include "timing/shift.h"

#include <string>

namespace voxa {
namespace {

// Shift records counted after a late first fix before the start pair is taken.
constexpr int32_t kSettlingRecords = 25;

// raw x 2.44140625 = raw x 625 / 256, rounded halves to even in integers so
// no floating-point step can move a half.
int32_t MicrosOfRaw(int32_t raw) {
  const int64_t scaled = int64_t{raw} * 625;
  int64_t micros = scaled / 256;
  const int64_t remainder = scaled % 256;
  if (remainder > 128 || (remainder == 128 && (micros & 1) != 0)) ++micros;
  return static_cast<int32_t>(micros);
}

}  // namespace

void MeasureShift(Acquisition& a) {
  a.ShiftRaw = int32_t{a.ShiftByte1} * 128 + int32_t{a.ShiftByte2};
  a.ShiftMicros = MicrosOfRaw(a.ShiftRaw);

  if (a.StartShiftPending) {
    ++a.ShiftRecordCount;
    if (a.ShiftRecordCount > kSettlingRecords) {
      a.StartShiftPair = {a.ShiftByte1, a.ShiftByte2};
      a.StartShiftPending = false;
    }
  }

  if (a.SaveShift) a.ShiftFile.WriteLine(ShiftLine(a));
}

std::string ShiftLine(const Acquisition& a) {
  return a.GpsHour + ":" + a.GpsMinute + ":" + a.GpsSecond + "; " + std::to_string(a.ShiftRaw) +
         "; shift";
}

std::string ShiftLabelText(int32_t micros) { return std::to_string(micros) + " \u00B5sec"; }

}  // namespace voxa
