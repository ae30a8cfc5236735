// Slot arithmetic of the simulated serial line; see line_pacer.h.
#include "tools/line_pacer.h"

#include <algorithm>

namespace voxa::sim {

LinePacer::LinePacer(StreamGenerator& generator, int64_t line_bytes_per_second)
    : generator_(generator), line_rate_(line_bytes_per_second) {}

bool LinePacer::Finished() const {
  return started_ && chunk_position_ == chunk_.size() && generator_.Done();
}

// Produces the next chunk when its first byte could already have been carried.
bool LinePacer::LoadNextChunk(int64_t slots_ended) {
  chunk_.clear();
  chunk_position_ = 0;
  if (!started_) {
    started_ = true;
    generator_.Start(chunk_);
    chunk_first_slot_ = 0;
    chunk_spread_ = false;
    // The device reports its start-up before it begins sampling, so its
    // seconds begin once the start records have left.
    start_slots_ = static_cast<int64_t>(chunk_.size());
    return true;
  }
  if (generator_.Done()) return false;
  // Second t begins t seconds after the start records; producing it any
  // earlier would only hold its bytes longer.
  const int64_t first_slot = start_slots_ + next_second_ * line_rate_;
  if (first_slot + 1 > slots_ended) return false;
  generator_.NextSecond(chunk_);
  chunk_first_slot_ = first_slot;
  chunk_spread_ = true;
  ++next_second_;
  return true;
}

void LinePacer::Advance(int64_t elapsed_us, std::vector<uint8_t>& out) {
  // Slots 0 .. slots_ended-1 have ended: slot k ends at (k + 1) / rate seconds.
  const int64_t slots_ended = elapsed_us * line_rate_ / 1'000'000;
  for (;;) {
    if (chunk_position_ == chunk_.size()) {
      if (!LoadNextChunk(slots_ended)) return;
      continue;
    }
    // Byte i of a second of S bytes is produced at i/S into the second, so
    // it can take no slot before first + ceil(i * rate / S).
    int64_t earliest = chunk_first_slot_;
    if (chunk_spread_) {
      const auto size = static_cast<int64_t>(chunk_.size());
      const auto index = static_cast<int64_t>(chunk_position_);
      earliest += (index * line_rate_ + size - 1) / size;
    }
    const int64_t slot = std::max(next_free_slot_, earliest);
    if (slot + 1 > slots_ended) return;
    out.push_back(chunk_[chunk_position_]);
    ++chunk_position_;
    ++bytes_carried_;
    next_free_slot_ = slot + 1;
  }
}

}  // namespace voxa::sim
