#include "mseed/codes.h"

#include <algorithm>
#include <cctype>

namespace voxa {
namespace {

constexpr std::array<char, kMaxChannels> kOrientations = {'Z', 'N', 'E'};

// Letters and digits only, raised to upper case; nullopt for anything else
// or a length outside [minLength, maxLength].
std::optional<std::string> Code(std::string_view text, size_t minLength, size_t maxLength) {
  if (text.size() < minLength || text.size() > maxLength) return std::nullopt;
  std::string code;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (!std::isalnum(byte) || byte >= 0x80) return std::nullopt;
    code.push_back(static_cast<char>(std::toupper(byte)));
  }
  return code;
}

// The device number as the station code's tail: its letters and digits.
std::string DeviceDigits(std::string_view deviceNumber) {
  std::string digits;
  for (const char c : deviceNumber) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80 && std::isalnum(byte)) digits.push_back(static_cast<char>(std::toupper(byte)));
  }
  return digits.empty() ? std::string("000") : digits;
}

}  // namespace

char BandCode(int32_t rate) {
  // SEED bands for a sensor with a corner period under 10 s.
  if (rate >= 250) return 'D';
  if (rate >= 80) return 'E';
  if (rate >= 10) return 'S';
  return 'L';
}

StreamCodes ResolveCodes(const CodeChoices& choices, int32_t rate, int32_t channels, std::string_view deviceNumber) {
  StreamCodes codes;
  codes.network = choices.network;
  // Station codes hold at most five characters: "V" and four of the number.
  codes.station = choices.station ? *choices.station : ("V" + DeviceDigits(deviceNumber)).substr(0, 5);
  codes.location = choices.location;
  for (int32_t ch = 0; ch < kMaxChannels; ++ch) {
    const auto index = static_cast<size_t>(ch);
    if (index < choices.channels.size()) {
      codes.channels[index] = choices.channels[index];
    } else {
      // One channel is the vertical component.
      const char orientation = channels == 1 ? 'Z' : kOrientations[index];
      codes.channels[index] = std::string{BandCode(rate), 'H', orientation};
    }
  }
  return codes;
}

bool IsCodeOption(std::string_view name) {
  return name == "--network" || name == "--station" || name == "--location" || name == "--channel-codes";
}

bool ApplyCodeOption(std::string_view name, std::string_view value, CodeChoices& choices, std::string& message) {
  const auto fail = [&](std::string_view expected) {
    message = "invalid value '" + std::string(value) + "' for " + std::string(name) + " (expected " +
              std::string(expected) + ")";
    return false;
  };
  if (name == "--network") {
    const auto code = Code(value, 1, 2);
    if (!code) return fail("1 or 2 letters or digits");
    choices.network = *code;
  } else if (name == "--station") {
    const auto code = Code(value, 1, 5);
    if (!code) return fail("1 to 5 letters or digits");
    choices.station = *code;
  } else if (name == "--location") {
    const auto code = Code(value, 0, 2);
    if (!code) return fail("0 to 2 letters or digits");
    choices.location = *code;
  } else if (name == "--channel-codes") {
    std::vector<std::string> codes;
    size_t at = 0;
    for (;;) {
      const size_t comma = value.find(',', at);
      const auto code = Code(value.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at), 3, 3);
      if (!code) return fail("one to three codes of 3 letters or digits, separated by commas");
      if (std::find(codes.begin(), codes.end(), *code) != codes.end()) return fail("codes that differ");
      codes.push_back(*code);
      if (comma == std::string_view::npos) break;
      at = comma + 1;
    }
    if (codes.size() > static_cast<size_t>(kMaxChannels)) return fail("at most three codes");
    choices.channels = std::move(codes);
  } else {
    message = "unknown option '" + std::string(name) + "'";
    return false;
  }
  return true;
}

std::string_view CodeOptionsUsage() {
  return "  --network CODE         network code (XX, the code for temporary and test data)\n"
         "  --station CODE         station code (V and the device number, e.g. V015)\n"
         "  --location CODE        location code (empty)\n"
         "  --channel-codes A,B,C  channel codes for channels 1, 2, 3 (band by rate:\n"
         "                         50 sps S, 100/200 E, 400/800 D; instrument H;\n"
         "                         orientation Z, N, E; one channel: Z)\n";
}

}  // namespace voxa
