// The SeedLink server's choices: where it listens and the limits that keep a
// station safe from its clients. The defaults are the station file's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace voxa {

struct SeedLinkOptions {
  bool enabled = false;             // the station turns it on from its file, the monitor with --seedlink
  std::string address = "127.0.0.1";  // only this machine unless an address is given
  uint16_t port = 18000;
  int32_t maxClients = 32;
  int32_t maxPerAddress = 8;
  int32_t handshakeTimeoutSeconds = 60;  // connected and not yet streaming (or between commands)
  int32_t drainTimeoutSeconds = 60;      // a client that takes nothing for this long is dropped
  int32_t maxSelectors = 64;             // STATION and SELECT entries per client
  int64_t ringMegabytes = 16;
  size_t maxLineBytes = 255;             // a command line, its end of line not counted
};

// "[ADDR:]PORT" ("18000", "0.0.0.0:18000", "[::1]:18000"): sets address and
// port of options, or returns false with message saying what is wrong.
bool ParseListen(std::string_view text, SeedLinkOptions& options, std::string& message);
// The checks on the limits read from a file; false with message naming the key.
bool CheckSeedLinkLimits(const SeedLinkOptions& options, std::string& message);

}  // namespace voxa
