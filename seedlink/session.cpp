#include "seedlink/session.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace voxa {
namespace {

constexpr Micros kForever = std::numeric_limits<Micros>::max() / 4;
// Packets looked at per Pump: a client whose selection matches little of the
// ring does not hold the loop while its cursor crosses it.
constexpr int kScanPerPump = 4096;
constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

ClientSession::ClientSession(const SessionContext& context, SessionOutput& output, std::string peer, Micros now)
    : context_(context), output_(output) {
  stats_.peer = std::move(peer);
  stats_.connected = now;
  line_.reserve(context.options.maxLineBytes + 1);
}

StationIdentity ClientSession::Identity() const {
  StationIdentity identity = context_.identity;
  // The codes the stream carries win: a station named by its device number
  // is only known once the device has said it.
  const auto& streams = context_.ring->Streams();
  if (!streams.empty()) {
    identity.network = std::string(streams.back().codes.Network());
    identity.station = std::string(streams.back().codes.Station());
  }
  return identity;
}

void ClientSession::Finish(const std::string& reason) {
  if (finished_) return;
  finished_ = true;
  finishReason_ = reason;
  archive_.Close();
}

void ClientSession::Reply(std::string_view text) {
  output_.Send(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  stats_.bytesSent += static_cast<int64_t>(text.size());
}

void ClientSession::Acknowledge(bool ok) {
  if (!batch_) Reply(ok ? "OK\r\n" : "ERROR\r\n");
}

void ClientSession::OnBytes(const uint8_t* data, size_t size, Micros now) {
  for (size_t i = 0; i < size && !finished_; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c == '\r' || c == '\n') {
      if (discarding_) {
        discarding_ = false;
      } else if (!line_.empty()) {
        OnLine(line_, now);
      }
      line_.clear();
      continue;
    }
    if (discarding_) continue;
    if (line_.size() >= context_.options.maxLineBytes) {
      // An overlong line is refused whole; what follows its end is read again.
      discarding_ = true;
      line_.clear();
      if (!streaming_) Reply("ERROR\r\n");
      continue;
    }
    line_.push_back(c);
  }
}

ClientSession::Request* ClientSession::Current() {
  if (multiStation_) return requests_.empty() ? nullptr : &requests_.back();
  if (requests_.empty()) requests_.emplace_back();
  return &requests_.back();
}

void ClientSession::OnLine(std::string_view line, Micros now) {
  const Command command = ParseCommand(line);
  if (streaming_) {
    // While streaming only INFO (a keepalive) and BYE mean anything.
    if (command.verb == Verb::Info) SendInfo(command.Argument(0), now);
    if (command.verb == Verb::Bye) Finish("said BYE");
    return;
  }
  if (command.tooManyArguments) {
    Reply("ERROR\r\n");
    return;
  }
  const StationIdentity id = Identity();
  switch (command.verb) {
    case Verb::Hello:
      Reply(std::string(kServerVersion) + " (" + std::string(kSoftware) + ") :: " + std::string(kCapabilities) +
            "\r\n" + id.organization + "\r\n");
      return;
    case Verb::Cat: {
      char text[96];
      std::snprintf(text, sizeof text, "%-2s %-5s %s\r\n", id.network.c_str(), id.station.c_str(),
                    id.description.c_str());
      Reply(std::string(text) + "END");
      return;
    }
    case Verb::Capabilities:
      Acknowledge(true);
      return;
    case Verb::Batch:
      Reply("OK\r\n");
      batch_ = true;
      return;
    case Verb::Bye:
      Finish("said BYE");
      return;
    case Verb::Info:
      SendInfo(command.Argument(0), now);
      return;
    case Verb::Station: {
      const std::string_view station = command.Argument(0);
      const std::string_view network = command.count > 1 ? command.Argument(1) : std::string_view("*");
      const bool fits = command.count >= 1 && command.count <= 2 && station.size() <= 10 && network.size() <= 10;
      if (!fits || selectorCount_ >= size_t(context_.options.maxSelectors) ||
          !GlobMatches(station, id.station) || !GlobMatches(network, id.network)) {
        Acknowledge(false);
        return;
      }
      if (!multiStation_) requests_.clear();
      multiStation_ = true;
      Request request;
      request.station = std::string(station);
      request.network = std::string(network);
      requests_.push_back(std::move(request));
      ++selectorCount_;
      Acknowledge(true);
      return;
    }
    case Verb::Select: {
      Request* request = Current();
      if (request == nullptr) {
        Acknowledge(false);
        return;
      }
      if (command.count == 0) {
        selectorCount_ -= std::min(selectorCount_, request->selectors.size());
        request->selectors.clear();
        Acknowledge(true);
        return;
      }
      bool ok = true;
      for (size_t i = 0; i < command.count && ok; ++i) {
        const std::optional<Selector> selector = ParseSelector(command.Argument(i));
        ok = selector && selectorCount_ < size_t(context_.options.maxSelectors);
        if (ok) {
          request->selectors.push_back(*selector);
          ++selectorCount_;
        }
      }
      Acknowledge(ok);
      return;
    }
    case Verb::Data:
    case Verb::Fetch:
    case Verb::Time: {
      Request* request = Current();
      bool ok = request != nullptr && command.count <= 2;
      std::optional<uint32_t> sequence;
      std::optional<Micros> begin, end;
      if (ok && command.verb == Verb::Time) {
        begin = ParseSeedLinkTime(command.Argument(0));
        if (command.count > 1) end = ParseSeedLinkTime(command.Argument(1));
        ok = begin && (command.count < 2 || (end && *end > *begin));
      } else if (ok && command.count >= 1) {
        sequence = ParseSequence(command.Argument(0));
        if (command.count > 1) begin = ParseSeedLinkTime(command.Argument(1));
        ok = sequence && (command.count < 2 || begin);
      }
      if (!ok) {
        Acknowledge(false);
        return;
      }
      request->sequence = sequence;
      request->begin = begin;
      request->end = end;
      if (multiStation_) {
        Acknowledge(true);
      } else {
        StartStreaming(command.verb == Verb::Fetch, now);
      }
      return;
    }
    case Verb::End:
    case Verb::EndFetch:
      if (!multiStation_ || requests_.empty()) {
        Reply("ERROR\r\n");
        return;
      }
      StartStreaming(command.verb == Verb::EndFetch, now);
      return;
    case Verb::Unknown:
      Reply("ERROR\r\n");
      return;
  }
}

void ClientSession::SendInfo(std::string_view level, Micros now) {
  const InfoLevel parsed = ParseInfoLevel(level);
  const std::string xml =
      parsed == InfoLevel::Unknown ? std::string() : InfoXml(parsed, Identity(), *context_.ring);
  for (const std::string& packet : InfoPackets(xml, parsed == InfoLevel::Unknown, Identity(), now)) {
    Reply(packet);
  }
}

bool ClientSession::Matches(const Request& request, const RecordHeader& header) const {
  if (!GlobMatches(request.station, header.Station()) || !GlobMatches(request.network, header.Network())) return false;
  bool anyPositive = false, positiveMatch = false;
  for (const Selector& selector : request.selectors) {
    const bool match = selector.Matches(header, 'D');
    if (selector.negated) {
      if (match) return false;
    } else {
      anyPositive = true;
      positiveMatch = positiveMatch || match;
    }
  }
  return !anyPositive || positiveMatch;
}

bool ClientSession::WantedFromArchive(const RecordHeader& header) const {
  for (const Request& request : requests_) {
    if (!request.begin || !Matches(request, header)) continue;
    if (header.end <= *request.begin) continue;
    if (request.end && header.start >= *request.end) continue;
    return true;
  }
  return false;
}

bool ClientSession::Wanted(const Packet& packet) const {
  for (const Request& request : requests_) {
    if (packet.sequence < request.startSequence || !Matches(request, packet.header)) continue;
    if (request.begin && packet.header.end <= *request.begin) continue;
    if (request.end && packet.header.start >= *request.end) continue;
    return true;
  }
  return false;
}

void ClientSession::StartStreaming(bool fetch, Micros now) {
  (void)now;
  const PacketRing& ring = *context_.ring;
  streaming_ = true;
  stats_.streaming = true;
  fetch_ = fetch;
  uint64_t start = ring.Next();
  Micros archiveBegin = kForever, archiveEnd = 0;
  for (Request& request : requests_) {
    if (request.sequence) {
      uint64_t wanted = ring.Resolve24(*request.sequence);
      if (wanted < ring.First() || wanted > ring.Next()) {
        // Gone (or a number from another numbering): the oldest there is.
        if (context_.log) {
          char text[160];
          std::snprintf(text, sizeof text, "SeedLink client %s asked for packet %06X, which is not held; from %06llX",
                        stats_.peer.c_str(), *request.sequence,
                        static_cast<unsigned long long>(ring.First() & 0xFFFFFF));
          context_.log(text);
        }
        wanted = ring.First();
      }
      request.startSequence = wanted;
    } else if (request.begin) {
      request.startSequence = ring.First();
    } else {
      request.startSequence = ring.Next();
    }
    start = std::min(start, request.startSequence);
    if (request.begin && !request.sequence) {
      archiveBegin = std::min(archiveBegin, *request.begin);
      archiveEnd = std::max(archiveEnd, request.end.value_or(kForever));
    }
  }
  cursor_ = start;
  if (!context_.archiveRoot.empty() && archiveBegin < archiveEnd) {
    // Per channel, the archive serves up to the ring's oldest packet of it.
    std::vector<std::pair<RecordHeader, Micros>> ringStarts;
    for (uint64_t s = ring.First(); s < ring.Next() && ringStarts.size() < ring.Streams().size(); ++s) {
      const Packet* packet = ring.At(s);
      const bool known = std::any_of(ringStarts.begin(), ringStarts.end(),
                                     [&](const auto& entry) { return entry.first.SameStream(packet->header); });
      if (!known) ringStarts.emplace_back(packet->header, packet->header.start);
    }
    archive_.Open(
        context_.archiveRoot, Identity().network, Identity().station, archiveBegin, archiveEnd,
        [this](const RecordHeader& codes) {
          for (const Request& request : requests_) {
            if (request.begin && Matches(request, codes)) return true;
          }
          return false;
        },
        [&ringStarts](const RecordHeader& codes) {
          for (const auto& [header, begin] : ringStarts) {
            if (header.Location() == codes.Location() && header.Channel() == codes.Channel()) return begin;
          }
          return kForever;
        });
    readingArchive_ = !archive_.Done();
  }
}

void ClientSession::SendPacket(uint64_t sequence, const uint8_t* record) {
  packet_[0] = 'S';
  packet_[1] = 'L';
  for (int i = 0; i < 6; ++i) packet_[2 + i] = static_cast<uint8_t>(kHexDigits[(sequence >> (20 - 4 * i)) & 0xF]);
  if (record != packet_.data() + 8) std::memcpy(packet_.data() + 8, record, kRecordLength);
  output_.Send(packet_.data(), packet_.size());
  ++stats_.packetsSent;
  stats_.bytesSent += static_cast<int64_t>(packet_.size());
}

bool ClientSession::WindowComplete() const {
  const PacketRing& ring = *context_.ring;
  Micros wantedEnd = 0;
  for (const Request& request : requests_) {
    if (!request.end) return false;
    wantedEnd = std::max(wantedEnd, *request.end);
  }
  Micros newest = 0;
  for (const RingStream& stream : ring.Streams()) newest = std::max(newest, stream.newestEnd);
  return ring.Empty() || newest >= wantedEnd;
}

void ClientSession::Pump(size_t room, Micros now) {
  (void)now;
  if (!streaming_ || finished_) return;
  const PacketRing& ring = *context_.ring;
  int scanned = 0;
  while (room >= kSeedLinkPacketBytes && scanned < kScanPerPump) {
    if (readingArchive_) {
      RecordHeader header;
      if (!archive_.Next(packet_.data() + 8, header)) {
        readingArchive_ = false;
        archive_.Close();
        continue;
      }
      ++scanned;
      if (!WantedFromArchive(header)) continue;
      // Archive records stand before the ring: they carry the number just
      // before its oldest packet, which resumes at the ring's start.
      SendPacket(ring.First() - (ring.First() > 0 ? 1 : 0), packet_.data() + 8);
      room -= kSeedLinkPacketBytes;
      continue;
    }
    if (cursor_ < ring.First()) {
      ++stats_.lapped;
      if (context_.log) {
        char text[160];
        std::snprintf(text, sizeof text, "SeedLink client %s fell %llu packets behind the ring; moved to the oldest",
                      stats_.peer.c_str(), static_cast<unsigned long long>(ring.First() - cursor_));
        context_.log(text);
      }
      cursor_ = ring.First();
    }
    if (cursor_ >= ring.Next()) {
      if (fetch_ || WindowComplete()) {
        Reply("END");
        Finish(fetch_ ? "fetched all there was" : "time window complete");
      }
      return;
    }
    const Packet* packet = ring.At(cursor_++);
    ++scanned;
    if (!Wanted(*packet)) continue;
    SendPacket(packet->sequence, packet->record.data());
    room -= kSeedLinkPacketBytes;
  }
}

void ClientSession::Tick(Micros now, bool blocked) {
  if (finished_) return;
  if (!streaming_ && now - stats_.connected >= context_.options.handshakeTimeoutSeconds * kMicrosPerSecond) {
    Finish("did not start streaming within the handshake timeout");
    return;
  }
  if (!blocked) {
    blockedSince_.reset();
    return;
  }
  if (!blockedSince_) blockedSince_ = now;
  if (now - *blockedSince_ >= context_.options.drainTimeoutSeconds * kMicrosPerSecond) {
    Finish("took no data within the drain timeout");
  }
}

}  // namespace voxa
