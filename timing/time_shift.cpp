// The time shift of the device clock against GPS.
#include "timing/time_shift.h"

#include <string>

namespace voxa {
namespace {

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

void TimeShift::Measure(uint8_t first, uint8_t second) {
  raw_ = int32_t{first} * 128 + int32_t{second};
  micros_ = MicrosOfRaw(raw_);
}

std::string ShiftLine(const GpsTime& time, int32_t raw) {
  return time.ClockText() + "; " + std::to_string(raw) + "; shift";
}

std::string ShiftLabelText(int32_t micros) { return std::to_string(micros) + " \u00B5sec"; }

}  // namespace voxa
