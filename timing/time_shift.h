// The time shift of the device clock against GPS, from the shift records: a
// 14-bit count of 10 ms / 4096 units (2.44140625 µs), shown in microseconds
// and logged raw to shift.csv.
#pragma once

#include <cstdint>
#include <string>

#include "timing/gps_clock.h"

namespace voxa {

class TimeShift {
 public:
  // START: no shift measured yet.
  void StartRun() { raw_ = 0; }
  // A shift record's two bytes.
  void Measure(uint8_t first, uint8_t second);

  int32_t Raw() const { return raw_; }
  int32_t Micros() const { return micros_; }

 private:
  int32_t raw_ = 0;
  int32_t micros_ = 0;
};

// "hh:mm:ss; raw; shift" with the GPS time in force.
std::string ShiftLine(const GpsTime& time, int32_t raw);
// The "Time Shift" label text, for example "3013 µsec".
std::string ShiftLabelText(int32_t micros);

}  // namespace voxa
