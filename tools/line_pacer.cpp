// Slot arithmetic of the simulated serial line; see line_pacer.h.
#include "tools/line_pacer.h"

#include <algorithm>

namespace voxa::sim {

LinePacer::LinePacer(StreamGenerator& generator, int64_t lineBytesPerSecond)
    : generator_(generator), lineRate_(lineBytesPerSecond) {}

bool LinePacer::Finished() const {
  return started_ && chunkPosition_ == chunk_.size() && generator_.Done();
}

// Produces the next chunk when its first byte could already have been carried.
bool LinePacer::LoadNextChunk(int64_t slotsEnded) {
  chunk_.clear();
  chunkPosition_ = 0;
  if (!started_) {
    started_ = true;
    generator_.Start(chunk_);
    chunkFirstSlot_ = 0;
    chunkSpread_ = false;
    // The device reports its start-up before it begins sampling, so its
    // seconds begin once the start records have left.
    startSlots_ = static_cast<int64_t>(chunk_.size());
    return true;
  }
  if (generator_.Done()) return false;
  // Second t begins t seconds after the start records; producing it any
  // earlier would only hold its bytes longer.
  const int64_t firstSlot = startSlots_ + nextSecond_ * lineRate_;
  if (firstSlot + 1 > slotsEnded) return false;
  generator_.NextSecond(chunk_);
  chunkFirstSlot_ = firstSlot;
  chunkSpread_ = true;
  ++nextSecond_;
  return true;
}

void LinePacer::Advance(int64_t elapsedUs, std::vector<uint8_t>& out) {
  // Slots 0 .. slotsEnded-1 have ended: slot k ends at (k + 1) / rate seconds.
  const int64_t slotsEnded = elapsedUs * lineRate_ / 1'000'000;
  for (;;) {
    if (chunkPosition_ == chunk_.size()) {
      if (!LoadNextChunk(slotsEnded)) return;
      continue;
    }
    // Byte i of a second of S bytes is produced at i/S into the second, so
    // it can take no slot before first + ceil(i * rate / S).
    int64_t earliest = chunkFirstSlot_;
    if (chunkSpread_) {
      const auto size = static_cast<int64_t>(chunk_.size());
      const auto index = static_cast<int64_t>(chunkPosition_);
      earliest += (index * lineRate_ + size - 1) / size;
    }
    const int64_t slot = std::max(nextFreeSlot_, earliest);
    if (slot + 1 > slotsEnded) return;
    out.push_back(chunk_[chunkPosition_]);
    ++chunkPosition_;
    ++bytesCarried_;
    nextFreeSlot_ = slot + 1;
  }
}

}  // namespace voxa::sim
