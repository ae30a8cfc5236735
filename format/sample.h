// Sample frames: one 24-bit value per channel, each sent as four 7-bit groups.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

namespace voxa {

inline constexpr int32_t kMaxChannels = 3;
// The only frame rates the device runs at.
inline constexpr std::array<int32_t, 5> kDeviceRates{50, 100, 200, 400, 800};
inline bool IsDeviceRate(int32_t rate) { return std::ranges::find(kDeviceRates, rate) != kDeviceRates.end(); }
inline constexpr int32_t kBytesPerSample = 4;
// One count of the 24-bit converter at gain 1, in volts: the device's own
// figure, deliberately not 4.096 V / 2^24. At gain G a count is 1/G of it.
inline constexpr double kVoltsPerCountAtGain1 = 2.4414e-7;

// What the stream is expected to carry: frames per second and channels per
// frame. A valid sample block carries 4 payload bytes per channel.
struct StreamFormat {
  int32_t rate = 100;
  int32_t channels = 3;
  int32_t BlockPayload() const { return kBytesPerSample * channels; }
};

// One 24-bit two's-complement sample from its four 7-bit groups (7+7+7+3
// bits; the last group is added, not masked, as the device's encoding does).
inline int32_t DecodeSample(uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4) {
  const int32_t raw = (int32_t{b1} << 17) + (int32_t{b2} << 10) + (int32_t{b3} << 3) + int32_t{b4};
  return raw > 0x7FFFFF ? raw - 0x1000000 : raw;
}

}  // namespace voxa
