// One SeedLink client, without I/O: bytes in (OnBytes), replies and packets
// out through SessionOutput, each in one call (one socket write, one
// WebSocket frame), and time passed in by the caller, so the server, the
// tests and the fuzzer drive it alike.
//
// The handshake takes one command a line (CR, LF or both end it). Without
// STATION the client is in uni-station mode: SELECT, DATA, FETCH and TIME
// apply to this station and DATA/FETCH/TIME start the stream at once. With
// STATION it is in multi-station mode: SELECT, DATA, FETCH and TIME apply to
// the last STATION and END (or ENDFETCH) starts the stream. After BATCH those
// commands get no reply. INFO is answered at any time, since clients send it
// as a keepalive while streaming.
//
// Streaming is a cursor into the packet ring. Pump sends what the transport
// has room for and never more, so a slow client lags in the ring, not in
// memory; one that the ring's writer laps moves to the oldest packet, and one
// that takes nothing for the drain timeout is dropped. A time window that
// begins before the ring's oldest packet of a channel is read from the
// archive first.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "seedlink/archive_reader.h"
#include "seedlink/commands.h"
#include "seedlink/info.h"
#include "seedlink/packet_ring.h"
#include "seedlink/seedlink_options.h"

namespace voxa {

inline constexpr size_t kSeedLinkPacketBytes = 8 + kRecordLength;

class SessionOutput {
 public:
  virtual ~SessionOutput() = default;
  // One reply or one packet, to go out whole in one write.
  virtual void Send(const uint8_t* data, size_t size) = 0;
};

// What every session of a server shares.
struct SessionContext {
  const PacketRing* ring = nullptr;
  StationIdentity identity;  // network and station: until the ring has packets (then theirs)
  SeedLinkOptions options;
  std::string archiveRoot;  // "" no archive: windows come from the ring only
  std::function<void(const std::string&)> log;  // one line per event
};

struct SessionStats {
  std::string peer;
  Micros connected = 0;
  bool streaming = false;
  int64_t packetsSent = 0;
  int64_t bytesSent = 0;
  int64_t lapped = 0;  // times the ring's writer overtook it
};

class ClientSession {
 public:
  ClientSession(const SessionContext& context, SessionOutput& output, std::string peer, Micros now);

  void OnBytes(const uint8_t* data, size_t size, Micros now);
  // Sends packets while the transport has room bytes to take.
  void Pump(size_t room, Micros now);
  // Periodically; blocked: the transport still holds unsent bytes beyond its
  // bound. Applies the handshake and drain timeouts.
  void Tick(Micros now, bool blocked);

  // The connection is to be closed once what was sent is written.
  bool Finished() const { return finished_; }
  const std::string& FinishReason() const { return finishReason_; }
  bool Streaming() const { return streaming_; }
  const SessionStats& Stats() const { return stats_; }

 private:
  struct Request {
    std::string network = "*";
    std::string station = "*";
    std::vector<Selector> selectors;
    std::optional<uint32_t> sequence;
    std::optional<Micros> begin, end;
    uint64_t startSequence = 0;  // resolved when streaming starts
  };

  // This station's codes: the stream's once it has packets, else the context's.
  StationIdentity Identity() const;
  void OnLine(std::string_view line, Micros now);
  void Reply(std::string_view text);
  void Acknowledge(bool ok);
  void Finish(const std::string& reason);
  Request* Current();
  void StartStreaming(bool fetch, Micros now);
  bool Matches(const Request& request, const RecordHeader& header) const;
  bool Wanted(const Packet& packet) const;
  bool WantedFromArchive(const RecordHeader& header) const;
  bool WindowComplete() const;
  void SendPacket(uint64_t sequence, const uint8_t* record);
  void SendInfo(std::string_view level, Micros now);

  const SessionContext& context_;
  SessionOutput& output_;
  SessionStats stats_;
  std::string line_;
  bool discarding_ = false;  // the rest of an overlong line
  bool batch_ = false;
  bool multiStation_ = false;
  bool streaming_ = false;
  bool fetch_ = false;
  bool finished_ = false;
  std::string finishReason_;
  std::vector<Request> requests_;
  size_t selectorCount_ = 0;
  uint64_t cursor_ = 0;
  bool readingArchive_ = false;
  ArchiveReader archive_;
  std::optional<Micros> blockedSince_;
  std::array<uint8_t, kSeedLinkPacketBytes> packet_{};
};

}  // namespace voxa
