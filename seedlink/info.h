// INFO replies: the XML documents SeedLink 3.1 clients ask for (ID,
// CAPABILITIES, STATIONS, STREAMS), packed as ASCII miniSEED log records,
// each behind "SLINFO *" ("more follows") or, the last, "SLINFO  ". A level
// that is not served is answered with one record whose channel is "ERR",
// which clients read as "this INFO level is not enabled".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mseed/utc_time.h"
#include "seedlink/packet_ring.h"

namespace voxa {

// Who this server is, for HELLO, CAT and INFO.
struct StationIdentity {
  std::string network = "XX";
  std::string station = "V000";
  std::string description = "VOXA station";
  std::string organization = "VOXA Monitor";
  Micros started = 0;  // UTC the server started
};

inline constexpr std::string_view kServerVersion = "SeedLink v3.1";
inline constexpr std::string_view kSoftware = "VOXA Monitor 1.0";
// The capabilities HELLO states after "::" and INFO CAPABILITIES lists.
inline constexpr std::string_view kCapabilities = "SLPROTO:3.1 CAP EXTREPLY NSWILDCARD BATCH WS:13";

enum class InfoLevel { Id, Capabilities, Stations, Streams, Unknown };
InfoLevel ParseInfoLevel(std::string_view text);

// The XML document of level (not Unknown).
std::string InfoXml(InfoLevel level, const StationIdentity& identity, const PacketRing& ring);

// The packets (8-byte SeedLink header and a 512-byte record each) carrying
// xml, or with error set the one "ERR" record.
std::vector<std::string> InfoPackets(std::string_view xml, bool error, const StationIdentity& identity, Micros now);

}  // namespace voxa
