// The codes a miniSEED archive files the stream under: network, station,
// location and channel, with the defaults the operator gets when he names
// none, and the command-line options that name them. The options are shared
// by every program that writes an archive, so they read the same everywhere.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "format/sample.h"

namespace voxa {

// What the operator asked for; an empty optional takes the default.
struct CodeChoices {
  std::string network = "XX";              // FDSN's code for temporary and test data
  std::optional<std::string> station;      // default: "V" + the device number
  std::string location;                    // default: empty
  std::vector<std::string> channels;       // up to three; the rest by rate and orientation
};

// The codes in force for a stream.
struct StreamCodes {
  std::string network;
  std::string station;
  std::string location;
  std::array<std::string, kMaxChannels> channels;  // data channels 1..3
};

// State-of-health channels, one sample per second, named as digitisers
// commonly name them: L = about one sample per second.
inline constexpr std::string_view kClockPhaseChannel = "LCE";    // time shift against GPS, µs
inline constexpr std::string_view kClockQualityChannel = "LCQ";  // timing quality, 0..100
inline constexpr std::string_view kTemperatureChannel = "LKI";   // K temperature, I inside the device; 0.1 °C
inline constexpr std::string_view kSatelliteChannel = "GNS";     // GPS satellites used

// SEED band code for a short-period sensor at rate samples per second:
// 50 S, 100 and 200 E, 400 and 800 D (other rates by the same bands).
char BandCode(int32_t rate);

// The codes for a stream of channels at rate from device deviceNumber.
StreamCodes ResolveCodes(const CodeChoices& choices, int32_t rate, int32_t channels, std::string_view deviceNumber);

// --- Command line ---------------------------------------------------------------
// True for --network, --station, --location and --channel-codes, which all
// take a value.
bool IsCodeOption(std::string_view name);
// Applies one of them; false with message set when the value cannot be used.
// Codes are letters and digits (lower case is raised): network 1-2
// characters, station 1-5, location 0-2, channel codes 3 each, separated by
// commas, one to three of them, all different.
bool ApplyCodeOption(std::string_view name, std::string_view value, CodeChoices& choices, std::string& message);
// The lines a usage text shows for them.
std::string_view CodeOptionsUsage();

}  // namespace voxa
