#include "seedlink/seedlink_options.h"

namespace voxa {

bool ParseListen(std::string_view text, SeedLinkOptions& options, std::string& message) {
  std::string_view address;
  std::string_view port = text;
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      message = "SeedLink address \"" + std::string(text) + "\": expected [IPv6]:PORT";
      return false;
    }
    address = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else if (const size_t colon = text.rfind(':'); colon != std::string_view::npos) {
    address = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (address.find(':') != std::string_view::npos) {
      message = "SeedLink address \"" + std::string(text) + "\": write an IPv6 address in brackets, [ADDR]:PORT";
      return false;
    }
  }
  uint32_t value = 0;
  bool digits = !port.empty();
  for (const char c : port) {
    if (c < '0' || c > '9' || value > 65535) {
      digits = false;
      break;
    }
    value = value * 10 + uint32_t(c - '0');
  }
  if (!digits || value == 0 || value > 65535) {
    message = "SeedLink port \"" + std::string(port) + "\" is not a number from 1 to 65535 (expected [ADDR:]PORT)";
    return false;
  }
  if (text.find(':') != std::string_view::npos && address.empty()) {
    message = "SeedLink address \"" + std::string(text) + "\": the address before the colon is empty";
    return false;
  }
  if (!address.empty()) options.address = std::string(address);
  options.port = static_cast<uint16_t>(value);
  return true;
}

bool CheckSeedLinkLimits(const SeedLinkOptions& options, std::string& message) {
  const auto bad = [&](const char* key, const char* range) {
    message = std::string("[seedlink] ") + key + " must be " + range;
    return false;
  };
  if (options.maxClients < 1 || options.maxClients > 1024) return bad("max_clients", "from 1 to 1024");
  if (options.maxPerAddress < 1 || options.maxPerAddress > options.maxClients)
    return bad("max_per_address", "from 1 to max_clients");
  if (options.handshakeTimeoutSeconds < 1) return bad("handshake_timeout_seconds", "at least 1");
  if (options.drainTimeoutSeconds < 1) return bad("drain_timeout_seconds", "at least 1");
  if (options.maxSelectors < 1 || options.maxSelectors > 4096) return bad("max_selectors", "from 1 to 4096");
  if (options.ringMegabytes < 1 || options.ringMegabytes > 4096) return bad("ring_megabytes", "from 1 to 4096");
  return true;
}

}  // namespace voxa
