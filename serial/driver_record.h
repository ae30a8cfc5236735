// The values a serial driver is given, built from the component's settings:
// the 28-byte device control record (line rate, flag word, flow limits, byte
// format, special characters) and the five time-outs. They are plain values,
// built before anything reaches a device, so they can be checked apart from
// any device; posix_port.cpp translates them to the platform.
#pragma once

#include <array>
#include <cstdint>

#include "serial/com_enums.h"
#include "serial/com_settings.h"

namespace voxa {

// The port's own line properties that go into the record beside the
// settings objects.
struct LineSettings {
  TBaudRate baud_rate;
  // The rate used when baud_rate is brCustom.
  int32_t custom_baud_rate;
  TDataBits data_bits;
  TStopBits stop_bits;
  bool discard_null;
  uint8_t event_char;
};

// The device control record, little-endian fields at their fixed offsets.
std::array<uint8_t, 28> MakeDeviceControlRecord(const LineSettings& line, const TComParity& parity,
                                                const TComFlowControl& flow_control, const TComBuffer& buffer);

// -1 becomes the all-ones value (no limit); every other value passes as its
// 32-bit pattern.
uint32_t TimeoutValue(int32_t value);

// Read interval, read total multiplier and constant, write total multiplier
// and constant, in that order.
std::array<uint32_t, 5> MakeTimeoutValues(const TComTimeouts& timeouts);

}  // namespace voxa
