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
  TBaudRate baudRate;
  // The rate used when baudRate is brCustom.
  int32_t customBaudRate;
  TDataBits dataBits;
  TStopBits stopBits;
  bool discardNull;
  uint8_t eventChar;
};

// The device control record, little-endian fields at their fixed offsets.
std::array<uint8_t, 28> MakeDeviceControlRecord(const LineSettings& line, const TComParity& parity,
                                                const TComFlowControl& flowControl, const TComBuffer& buffer);

// -1 becomes the all-ones value (no limit); every other value passes as its
// 32-bit pattern.
uint32_t TimeoutValue(int32_t value);

// Read interval, read total multiplier and constant, write total multiplier
// and constant, in that order.
std::array<uint32_t, 5> MakeTimeoutValues(const TComTimeouts& timeouts);

}  // namespace voxa
