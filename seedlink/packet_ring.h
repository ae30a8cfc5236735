// The ring of packets every SeedLink client reads: the network feed's
// miniSEED records, each numbered once and never changed after it is
// written. A client is a cursor (a sequence number) into it, not a queue of
// copies, so a slow client costs nothing but its own place: the writer never
// waits for a reader, and a reader that falls behind the oldest packet has
// lost what was overwritten.
//
// Sequence numbers are 64 bits here and run on across runs and restarts;
// the protocol carries their low 24 bits. Restarts: the next number is kept
// in a file (see sequence_file.h) a block ahead of use, so a number is never
// handed out twice even when the program ends without saying goodbye, and
// the file is written once per block of packets, not per packet.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <optional>
#include <vector>

#include "mseed/packer.h"
#include "seedlink/record_header.h"

namespace voxa {

struct Packet {
  uint64_t sequence = 0;
  RecordHeader header;
  std::array<uint8_t, kRecordLength> record{};
};

// A stream the ring has carried since the program started.
struct RingStream {
  RecordHeader codes;  // codes of its last packet
  Micros newestEnd = 0;
};

class PacketRing {
 public:
  // How many packets a ring of megabytes holds (at least 16).
  static size_t CapacityFor(int64_t megabytes);
  // Sequence numbers reserved ahead of use, each time the last is reached.
  static constexpr uint64_t kReserveBlock = 1024;

  // capacity packets, the first numbered firstSequence. reserve, when given,
  // is called with a number before any packet reaches it; it must keep that
  // number where the next start reads it (a false return is only reported).
  PacketRing(size_t capacity, uint64_t firstSequence, std::function<bool(uint64_t)> reserve = {});
  PacketRing(const PacketRing&) = delete;
  PacketRing& operator=(const PacketRing&) = delete;

  // Takes a record; false (and nothing numbered) when it is not a 512-byte
  // miniSEED 2 record.
  bool Append(const uint8_t* record, size_t length);

  // The packets held are [First(), Next()).
  uint64_t First() const { return next_ - held_; }
  uint64_t Next() const { return next_; }
  bool Empty() const { return held_ == 0; }
  size_t Capacity() const { return slots_.size(); }
  // The packet numbered sequence, or null when it is gone or still to come.
  const Packet* At(uint64_t sequence) const;
  // The full number whose low 24 bits are sequence24, nearest the packets
  // held (the protocol's numbers wrap every 16.7 million packets).
  uint64_t Resolve24(uint32_t sequence24) const;

  // Called after each packet is taken (the server wakes its clients).
  void SetAppendListener(std::function<void()> listener) { listener_ = std::move(listener); }

  const std::vector<RingStream>& Streams() const { return streams_; }
  int64_t ReserveFailures() const { return reserveFailures_; }

 private:
  std::vector<Packet> slots_;
  uint64_t next_ = 0;
  size_t held_ = 0;
  uint64_t reservedUntil_ = 0;
  std::function<bool(uint64_t)> reserve_;
  int64_t reserveFailures_ = 0;
  std::vector<RingStream> streams_;
  std::function<void()> listener_;
};

// A ring of options' size numbered on from what the data directory's
// sequence file keeps, reserving ahead into that file; log gets a line when
// the file cannot be read or written ("" directory: numbering from 0, not kept).
std::unique_ptr<PacketRing> OpenPacketRing(int64_t ringMegabytes, const std::string& dataDirectory,
                                           const std::function<void(const std::string&)>& log);

}  // namespace voxa
