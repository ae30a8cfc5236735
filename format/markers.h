// The record markers of the device's stream and of the recording file. Every
// record begins with a byte of 0x80 or above; every payload byte is below 0x80.
#pragma once

#include <cstdint>

namespace voxa {

inline constexpr uint8_t kMarkerBlock = 0x80;
inline constexpr uint8_t kMarkerSecondBlock = 0x90;  // the first block of each second
inline constexpr uint8_t kMarkerBlockAlt = 0x9F;
inline constexpr uint8_t kMarkerGps = 0xA0;
inline constexpr uint8_t kMarkerShift = 0xB0;
inline constexpr uint8_t kMarkerHeader = 0xF0;
inline constexpr uint8_t kMarkerBoot = 0xF8;
// Only in the recording file: the end-time record and the end byte.
inline constexpr uint8_t kMarkerEndTime = 0xE0;
inline constexpr uint8_t kMarkerEndByte = 0xEF;

inline constexpr bool IsMarker(uint8_t byte) { return byte >= 0x80; }

inline constexpr bool IsSampleBlockMarker(uint8_t byte) {
  return byte == kMarkerBlock || byte == kMarkerSecondBlock || byte == kMarkerBlockAlt;
}

}  // namespace voxa
