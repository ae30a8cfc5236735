// The SeedLink 3.1 command language: one line per command, a verb and
// arguments separated by spaces, case-insensitive verbs. Parsing only:
// what a command does is the session's (session.h).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "mseed/utc_time.h"
#include "seedlink/record_header.h"

namespace voxa {

enum class Verb : uint8_t {
  Hello, Station, Select, Data, Fetch, Time, End, EndFetch, Batch, Bye, Cat, Capabilities, Info, Unknown
};

struct Command {
  static constexpr size_t kMaxArguments = 8;
  Verb verb = Verb::Unknown;
  std::array<std::string_view, kMaxArguments> arguments{};
  size_t count = 0;
  bool tooManyArguments = false;
  std::string_view Argument(size_t index) const { return index < count ? arguments[index] : std::string_view{}; }
};

// The command in line (no end of line); its arguments point into line.
Command ParseCommand(std::string_view line);

// A sequence number in hex, with or without "0x", masked to its low 24 bits.
std::optional<uint32_t> ParseSequence(std::string_view text);
// "YYYY,MM,DD,hh,mm,ss[.ffffff]", each field padded or not; the time fields
// may be left off from the end (they are then 0).
std::optional<Micros> ParseSeedLinkTime(std::string_view text);

// A SELECT pattern: [!][LL]CCC[.T], '?' any one character, "--" the blank
// location; ".T" alone selects a type. Types: D data, E event, C calibration,
// O opaque, T timing, L log.
struct Selector {
  bool negated = false;
  bool anyLocation = true;
  std::array<char, 2> location{' ', ' '};
  bool anyChannel = true;
  std::array<char, 3> channel{};
  char type = 0;  // 0: any
  bool Matches(const RecordHeader& header, char recordType) const;
};
std::optional<Selector> ParseSelector(std::string_view text);

// Station and network patterns: '?' one character, '*' any run of them.
bool GlobMatches(std::string_view pattern, std::string_view text);

}  // namespace voxa
