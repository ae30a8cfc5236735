// Argument parsing for voxa-sim; see sim_command_line.h.
#include "tools/sim_command_line.h"

#include <charconv>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <system_error>

namespace voxa::sim {
namespace {

template <typename Number>
std::optional<Number> ParseNumber(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  Number value{};
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

// "YYYY-MM-DDThh:mm:ss", optionally followed by "Z".
std::optional<UtcTime> ParseStart(std::string_view text) {
  if (text.size() == 20 && text.back() == 'Z') text.remove_suffix(1);
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || (text[10] != 'T' && text[10] != ' ') ||
      text[13] != ':' || text[16] != ':') {
    return std::nullopt;
  }
  const auto field = [&](size_t position, size_t length) {
    return ParseNumber<int>(text.substr(position, length));
  };
  const auto year = field(0, 4), month = field(5, 2), day = field(8, 2);
  const auto hour = field(11, 2), minute = field(14, 2), second = field(17, 2);
  if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
  UtcTime time{*year, *month, *day, *hour, *minute, *second};
  if (!IsValidUtcTime(time)) return std::nullopt;
  return time;
}

// "SEC" or "SEC:N"; `secondPart` keeps its value when N is absent.
bool ParseSecondAnd(std::string_view text, int64_t& second, int& secondPart, bool partRequired) {
  const size_t colon = text.find(':');
  const auto head = ParseNumber<int64_t>(text.substr(0, colon));
  if (!head) return false;
  second = *head;
  if (colon == std::string_view::npos) return !partRequired;
  const auto tail = ParseNumber<int>(text.substr(colon + 1));
  if (!tail) return false;
  secondPart = *tail;
  return true;
}

struct OptionRule {
  std::string_view name;
  bool takesValue;
  // Applies the value; false when it is not a usable value.
  std::function<bool(std::string_view value, SimCommandLine& line, int& bootLines)> apply;
};

template <typename Number>
auto SetNumber(Number SimOptions::*member) {
  return [member](std::string_view value, SimCommandLine& line, int&) {
    const auto number = ParseNumber<Number>(value);
    if (number) line.options.*member = *number;
    return number.has_value();
  };
}

auto AddFault(FaultKind kind, bool partIsBlock, bool partRequired) {
  return [=](std::string_view value, SimCommandLine& line, int&) {
    Fault fault;
    fault.kind = kind;
    int part = partIsBlock ? fault.block : 0;
    if (!ParseSecondAnd(value, fault.second, part, partRequired)) return false;
    (partIsBlock ? fault.block : fault.value) = part;
    line.options.faults.push_back(fault);
    return true;
  };
}

const std::vector<OptionRule>& Rules() {
  static const std::vector<OptionRule> rules = {
      {"channels", true, SetNumber(&SimOptions::channels)},
      {"rate", true, SetNumber(&SimOptions::rate)},
      {"gain", true, SetNumber(&SimOptions::gain)},
      {"device", true,
       [](std::string_view v, SimCommandLine& l, int&) { l.options.deviceNumber = v; return true; }},
      {"firmware", true,
       [](std::string_view v, SimCommandLine& l, int&) { l.options.firmwareVersion = v; return true; }},
      {"start", true,
       [](std::string_view v, SimCommandLine& l, int&) {
         const auto start = ParseStart(v);
         if (start) l.options.start = *start;
         l.startGiven = start.has_value();
         return start.has_value();
       }},
      {"utc-offset", true, SetNumber(&SimOptions::utcOffset)},
      {"satellites", true, SetNumber(&SimOptions::satellites)},
      {"amplitude", true, SetNumber(&SimOptions::amplitude)},
      {"frequency", true, SetNumber(&SimOptions::frequency)},
      {"offset", true, SetNumber(&SimOptions::offset)},
      {"noise", true, SetNumber(&SimOptions::noise)},
      {"seed", true, SetNumber(&SimOptions::seed)},
      {"noise-model", true,
       [](std::string_view v, SimCommandLine& l, int&) {
         l.options.noiseModel = ParseNoiseLevel(v);
         return l.options.noiseModel.has_value();
       }},
      {"sensitivity", true,
       [](std::string_view v, SimCommandLine& l, int&) {
         const auto number = ParseNumber<double>(v);
         if (number) l.options.sensitivity = *number;
         return number && *number > 0;
       }},
      {"sensor-unit", true,
       [](std::string_view v, SimCommandLine& l, int&) {
         l.options.accelerometer = v == "m/s**2" || v == "m/s^2";
         return v == "m/s" || l.options.accelerometer;
       }},
      {"quake", true,
       [](std::string_view v, SimCommandLine& l, int&) {
         l.options.quake = ParseQuake(v);
         return l.options.quake.has_value();
       }},
      {"shift", true,
       [](std::string_view v, SimCommandLine& l, int&) {
         int64_t start = 0;
         int step = l.options.shiftStep;
         if (!ParseSecondAnd(v, start, step, false) || start < 0 || start >= kShiftModulus) return false;
         l.options.shiftStart = static_cast<int>(start);
         l.options.shiftStep = step;
         return true;
       }},
      {"seconds", true, SetNumber(&SimOptions::durationSeconds)},
      {"preamble", true,
       [](std::string_view v, SimCommandLine& l, int&) { l.options.preamble = v; return true; }},
      {"boot-lines", true,
       [](std::string_view v, SimCommandLine&, int& bootLines) {
         const auto count = ParseNumber<int>(v);
         if (count && *count >= 0 && *count <= 100) bootLines = *count;
         return count && *count >= 0 && *count <= 100;
       }},
      {"no-header", false,
       [](std::string_view, SimCommandLine& l, int&) { l.options.sendHeader = false; return true; }},
      {"header", true,
       [](std::string_view v, SimCommandLine& l, int&) {
         l.options.headerOverride = v;
         return !v.empty();
       }},
      {"gps-after", true, SetNumber(&SimOptions::gpsAfterBlocks)},
      {"withhold-gps", true, SetNumber(&SimOptions::withholdGpsSeconds)},
      {"drop-byte", true, AddFault(FaultKind::kDropByte, true, false)},
      {"extra-byte", true, AddFault(FaultKind::kExtraByte, true, false)},
      {"broken-gps", true, AddFault(FaultKind::kBrokenGps, false, false)},
      {"missing-mark", true, AddFault(FaultKind::kMissingMark, false, false)},
      {"unlisted", true, AddFault(FaultKind::kUnlistedRecord, true, false)},
      {"marker-9f", true, AddFault(FaultKind::kAlternateMarker, true, false)},
      {"repeat-header", true, AddFault(FaultKind::kRepeatHeader, true, false)},
      {"block-count", true, AddFault(FaultKind::kBlockCount, false, true)},
      {"short-gps", true, AddFault(FaultKind::kShortGps, false, true)},
      {"gps-jump", true, AddFault(FaultKind::kGpsJump, false, true)},
      {"output", true,
       [](std::string_view v, SimCommandLine& l, int&) {
         l.outputPath = v;
         return !v.empty();
       }},
      {"fast", false, [](std::string_view, SimCommandLine& l, int&) { l.fast = true; return true; }},
      {"help", false, [](std::string_view, SimCommandLine& l, int&) { l.help = true; return true; }},
  };
  return rules;
}

}  // namespace

std::string ParseSimCommandLine(const std::vector<std::string>& arguments, SimCommandLine& result) {
  result = SimCommandLine{};
  int bootLines = kDefaultBootLines;
  for (size_t i = 0; i < arguments.size(); ++i) {
    std::string_view argument = arguments[i];
    if (argument.substr(0, 2) != "--") return "unexpected argument '" + arguments[i] + "'";
    argument.remove_prefix(2);
    const size_t equals = argument.find('=');
    const std::string_view name = argument.substr(0, equals);
    std::optional<std::string_view> value;
    if (equals != std::string_view::npos) value = argument.substr(equals + 1);

    // --temperature alone switches the temperature on with its default text;
    // --temperature=TEXT also sets the text.
    if (name == "temperature") {
      result.options.temperature = true;
      if (value) result.options.temperatureText = *value;
      continue;
    }
    const OptionRule* rule = nullptr;
    for (const OptionRule& candidate : Rules()) {
      if (candidate.name == name) rule = &candidate;
    }
    if (rule == nullptr) return "unknown option '--" + std::string(name) + "'";
    if (rule->takesValue && !value) {
      if (i + 1 >= arguments.size()) return "option '--" + std::string(name) + "' needs a value";
      value = arguments[++i];
    }
    if (!rule->takesValue && value) {
      return "option '--" + std::string(name) + "' takes no value";
    }
    if (!rule->apply(value.value_or(std::string_view{}), result, bootLines)) {
      return "bad value '" + std::string(value.value_or(std::string_view{})) + "' for option '--" +
             std::string(name) + "'";
    }
  }
  if (result.help) return {};
  if (result.fast && result.options.durationSeconds == 0) {
    return "--fast needs --seconds: an endless stream written at full speed never ends";
  }
  result.options.bootLines = DefaultBootReport(result.options, bootLines);
  return ValidateOptions(result.options);
}

std::string SimUsage() {
  return R"(Usage: voxa-sim [OPTION]...
Sends a simulated VOXA data logger stream on a new pseudo-terminal, whose name
is printed on the first line of standard output, or to --output PATH. The
stream is paced to a 115200 baud line; bytes the receiver does not take are
dropped and counted, as a real line would lose them.

Device:
  --channels 1|3               channels per sample block (3)
  --rate 50|100|200|400|800    sample blocks per second (100)
  --gain 1|2|4|8|16|32|64      gain in the header record (16)
  --device TEXT                device number (015)
  --firmware TEXT              firmware version (V2.07)
  --start YYYY-MM-DDThh:mm:ss  UTC time of the first second (now)
  --utc-offset N               GPS - UTC in seconds, 0..99 (18)
  --temperature[=TEXT]         send >XPV messages with a 5-character
                               temperature (+23.5)
  --satellites N               satellites in the time message (7)
  --shift START[:STEP]         shift value of the first second and its change
                               per second (1234:1)
  --preamble TEXT              text sent before the first record
  --boot-lines N               boot-message lines, 0..100 (5)
  --no-header                  send no header record
  --header TEXT                send TEXT as the header record
  --gps-after N                GPS and shift record follow the N-th block of
                               each second (10)
Signal (converter counts):
  --amplitude X  --frequency HZ  --offset X  --noise SIGMA  --seed N
                               sine plus seeded noise (100000, 1, 0, 0, 1)
  --noise-model nlnm+XdB|nhnm-XdB
                               ground noise at that level from a noise model,
                               coloured as the model (needs --sensitivity)
  --sensitivity V              the sensor's V/(m/s) (or V/(m/s^2))
  --sensor-unit m/s|m/s**2     geophone or seismometer (m/s), or accelerometer
  --quake SEC:PEAK             an earthquake at stream second SEC, peak ground
                               motion PEAK in the sensor's unit (P, then S 5 s
                               later); use --amplitude 0 for noise alone
Faults (SEC counts from 0 at the first second; BLOCK 0 is the 0x90 block,
default 1; each may be given several times):
  --drop-byte SEC[:BLOCK]      the block loses its last payload byte
  --extra-byte SEC[:BLOCK]     the block gets one extra payload byte
  --broken-gps SEC             the GPS record has >RTX for >RTM
  --short-gps SEC:LENGTH       only LENGTH characters of the GPS record
  --missing-mark SEC           the second starts with 0x80, not 0x90
  --marker-9f SEC[:BLOCK]      the block carries the 0x9F marker
  --unlisted SEC[:BLOCK]       an unlisted 0xC0 record after the block
  --repeat-header SEC[:BLOCK]  the header record again after the block
  --block-count SEC:COUNT      the second has COUNT blocks
  --gps-jump SEC:SECONDS       the GPS clock jumps by SECONDS from SEC on
  --withhold-gps N             no GPS records in the first N seconds
Run:
  --seconds N                  stop after N seconds of stream (0: endless)
  --output PATH                write to a file, FIFO or terminal
  --fast                       write as fast as the receiver takes, losing
                               nothing (needs --seconds)
  --help                       show this text
SIGINT or SIGTERM ends the run; the bytes sent and dropped go to stderr.
)";
}

}  // namespace voxa::sim
