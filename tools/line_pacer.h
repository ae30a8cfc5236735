// Pacing of the simulated device's output to the serial line. The device
// sends its start records at once, then produces each second's bytes evenly
// over that second, the first second beginning when the start records have
// left. The line carries one byte per slot of 1/11520 s (115200 baud, 8N1:
// ten bits per byte), never earlier than the byte was produced and never two
// bytes in one slot.
//
// Time is given by the caller (microseconds since the start), so the program
// drives it from a clock and tests drive it by hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/sim_stream.h"

namespace voxa::sim {

inline constexpr int64_t kLineBytesPerSecond = 11520;

class LinePacer {
 public:
  // `generator` must be fresh (Start not yet called) and outlive the pacer.
  explicit LinePacer(StreamGenerator& generator, int64_t lineBytesPerSecond = kLineBytesPerSecond);

  // Appends to `out` every byte whose slot has ended by `elapsedUs`
  // microseconds after the start. Times must not decrease from call to call.
  void Advance(int64_t elapsedUs, std::vector<uint8_t>& out);

  // The generator has ended and the line has carried all its bytes.
  bool Finished() const;
  int64_t BytesCarried() const { return bytesCarried_; }

 private:
  bool LoadNextChunk(int64_t slotsEnded);

  StreamGenerator& generator_;
  int64_t lineRate_;
  std::vector<uint8_t> chunk_;  // bytes produced together: the start records or one second
  size_t chunkPosition_ = 0;
  int64_t chunkFirstSlot_ = 0;
  bool chunkSpread_ = false;  // a second's bytes are produced evenly, the start records at once
  bool started_ = false;
  int64_t startSlots_ = 0;  // slots taken by the start records
  int64_t nextSecond_ = 0;
  int64_t nextFreeSlot_ = 0;
  int64_t bytesCarried_ = 0;
};

}  // namespace voxa::sim
