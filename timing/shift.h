// The time shift of the device against GPS: shown in microseconds, logged
// to shift.csv, and kept once for the start of a recording.
#pragma once

#include <cstdint>
#include <string>

#include "stream/acquisition.h"

namespace voxa {

// Called after a shift record's two bytes are in ShiftByte1 and ShiftByte2.
void MeasureShift(Acquisition& a);
// "hh:mm:ss; raw; shift" with the last decoded GPS time.
std::string ShiftLine(const Acquisition& a);
// The "Time Shift" label text, for example "3013 µsec".
std::string ShiftLabelText(int32_t micros);

}  // namespace voxa
