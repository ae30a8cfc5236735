#include "seedlink/packet_ring.h"

#include <algorithm>
#include <cstring>

#include "seedlink/sequence_file.h"

namespace voxa {

size_t PacketRing::CapacityFor(int64_t megabytes) {
  const int64_t bytes = std::max<int64_t>(megabytes, 0) * 1024 * 1024;
  return std::max<size_t>(16, static_cast<size_t>(bytes) / sizeof(Packet));
}

PacketRing::PacketRing(size_t capacity, uint64_t firstSequence, std::function<bool(uint64_t)> reserve)
    : slots_(std::max<size_t>(capacity, 1)), next_(firstSequence), reservedUntil_(firstSequence),
      reserve_(std::move(reserve)) {
  streams_.reserve(16);
}

bool PacketRing::Append(const uint8_t* record, size_t length) {
  RecordHeader header;
  if (length != kRecordLength || !DecodeRecordHeader(record, length, header)) return false;
  if (next_ >= reservedUntil_) {
    reservedUntil_ = next_ + kReserveBlock;
    if (reserve_ && !reserve_(reservedUntil_)) ++reserveFailures_;
  }
  Packet& slot = slots_[next_ % slots_.size()];
  slot.sequence = next_;
  slot.header = header;
  std::memcpy(slot.record.data(), record, kRecordLength);
  ++next_;
  held_ = std::min(held_ + 1, slots_.size());

  auto known = std::find_if(streams_.begin(), streams_.end(),
                            [&](const RingStream& s) { return s.codes.SameStream(header); });
  if (known == streams_.end()) {
    streams_.push_back({header, header.end});
  } else {
    known->codes = header;
    known->newestEnd = std::max(known->newestEnd, header.end);
  }
  if (listener_) listener_();
  return true;
}

const Packet* PacketRing::At(uint64_t sequence) const {
  if (sequence < First() || sequence >= next_) return nullptr;
  return &slots_[sequence % slots_.size()];
}

uint64_t PacketRing::Resolve24(uint32_t sequence24) const {
  constexpr uint64_t kSpan = uint64_t{1} << 24;
  const uint64_t low = sequence24 & (kSpan - 1);
  // Candidates in the 24-bit period of the newest packet and the one before;
  // the nearest to the ring wins.
  const uint64_t base = next_ & ~(kSpan - 1);
  uint64_t best = base + low;
  const auto distance = [&](uint64_t candidate) -> uint64_t {
    if (candidate < First()) return First() - candidate;
    if (candidate > next_) return candidate - next_;
    return 0;
  };
  if (base >= kSpan && distance(base - kSpan + low) < distance(best)) best = base - kSpan + low;
  return best;
}

}  // namespace voxa

namespace voxa {

std::unique_ptr<PacketRing> OpenPacketRing(int64_t ringMegabytes, const std::string& dataDirectory,
                                           const std::function<void(const std::string&)>& log) {
  const size_t capacity = PacketRing::CapacityFor(ringMegabytes);
  if (dataDirectory.empty()) return std::make_unique<PacketRing>(capacity, 0);
  const std::string path = dataDirectory + "/" + kSequenceFileName;
  std::string message;
  const uint64_t first = LoadSequence(path, message);
  if (!message.empty() && log) log(message);
  auto reserve = [path, log](uint64_t until) {
    std::string failure;
    const bool saved = SaveSequence(path, until, failure);
    if (!saved && log) log(failure);
    return saved;
  };
  return std::make_unique<PacketRing>(capacity, first, reserve);
}

}  // namespace voxa
