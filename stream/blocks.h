// Per-block storage and the checks at every second mark: each sample block is
// stored in the screen buffer or counted as a block error; at each 0x90 block
// the blocks counted are checked against the sample rate and the GPS clock.
#pragma once

#include <cstdint>
#include <string>

#include "stream/acquisition.h"

namespace voxa {

// One 24-bit two's-complement sample from its four 7-bit groups (7+7+7+3
// bits; the last group is added, not masked, as the device's encoding does).
inline int32_t DecodeSample(uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4) {
  const int32_t raw = (int32_t{b1} << 17) + (int32_t{b2} << 10) + (int32_t{b3} << 3) + int32_t{b4};
  return raw > 0x7FFFFF ? raw - 0x1000000 : raw;
}

// Called once for every sample block, valid or not, after its payload has
// been read: BlockBuffer, BlockIndex (1 + payload bytes) and MarkerByte.
void AcceptBlock(Acquisition& a);

// The lines of error.csv (and the sample-rate line of shift.csv).
std::string BlockErrorLine(int32_t blocksBefore, int32_t payloadBytes);
std::string SecondErrorLine(const Acquisition& a, int32_t difference);
std::string SampleRateErrorLine(const Acquisition& a, int32_t blocksSinceMark);

}  // namespace voxa
