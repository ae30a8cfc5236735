// The station file and the station's command line.
//
// The file is TOML, read with toml++: it reports where each value stands, so
// every problem can be given with its line, and its types (a number, a
// string, a list) spare us a parser of our own. Every key is checked: an
// unknown key or table is an error, since a misspelt key silently ignored
// would leave a station recording without what its operator asked for.
#include "station/station_config.h"

#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <functional>
#include <map>

#include "analysis/screen.h"
#include "app/command_line.h"
#include "mseed/codes.h"

#ifndef VOXA_VERSION
#define VOXA_VERSION "0"
#endif

namespace voxa {
namespace {

constexpr std::array<int64_t, 2> kChannelValues{1, 3};
constexpr std::array<int64_t, 5> kRateValues{50, 100, 200, 400, 800};
constexpr std::array<int64_t, 7> kGainValues{1, 2, 4, 8, 16, 32, 64};

// One key's reading: the value's node, the line it stands on, and the list
// of problems to add to.
struct Entry {
  const toml::node& node;
  int64_t line;
  std::string name;  // "[save] stream"
  std::vector<ConfigProblem>& problems;

  void Problem(const std::string& text) const { problems.push_back({line, name + ": " + text}); }

  std::optional<bool> Bool() const {
    if (const auto* value = node.as_boolean()) return value->get();
    Problem("expected true or false");
    return std::nullopt;
  }
  std::optional<std::string> String() const {
    if (const auto* value = node.as_string()) return value->get();
    Problem("expected a string in quotes");
    return std::nullopt;
  }
  std::optional<int64_t> Integer(int64_t low, int64_t high) const {
    const auto* value = node.as_integer();
    if (value == nullptr || value->get() < low || value->get() > high) {
      Problem("expected a whole number from " + std::to_string(low) + " to " + std::to_string(high));
      return std::nullopt;
    }
    return value->get();
  }
  template <size_t N>
  std::optional<int32_t> OneOf(const std::array<int64_t, N>& values) const {
    const auto* value = node.as_integer();
    if (value != nullptr && std::find(values.begin(), values.end(), value->get()) != values.end()) {
      return static_cast<int32_t>(value->get());
    }
    std::string list;
    for (int64_t v : values) list += (list.empty() ? "" : ", ") + std::to_string(v);
    Problem("expected one of " + list);
    return std::nullopt;
  }
  std::optional<double> Number(bool positive) const {
    std::optional<double> number;
    if (const auto* value = node.as_floating_point()) number = value->get();
    if (const auto* value = node.as_integer()) number = static_cast<double>(value->get());
    if (!number || !std::isfinite(*number) || (positive && !(*number > 0))) {
      Problem(positive ? "expected a number above 0" : "expected a number");
      return std::nullopt;
    }
    return number;
  }
  // [[re, im], ...]
  std::optional<std::vector<std::complex<double>>> ComplexList() const {
    const auto* array = node.as_array();
    std::vector<std::complex<double>> list;
    bool ok = array != nullptr;
    if (ok) {
      for (const toml::node& item : *array) {
        const auto* pair = item.as_array();
        if (pair == nullptr || pair->size() != 2) {
          ok = false;
          break;
        }
        const auto part = [](const toml::node& n) -> std::optional<double> {
          if (const auto* f = n.as_floating_point()) return f->get();
          if (const auto* i = n.as_integer()) return static_cast<double>(i->get());
          return std::nullopt;
        };
        const std::optional<double> re = part((*pair)[0]);
        const std::optional<double> im = part((*pair)[1]);
        if (!re || !im) {
          ok = false;
          break;
        }
        list.emplace_back(*re, *im);
      }
    }
    if (!ok) {
      Problem("expected a list of [real, imaginary] pairs in rad/s");
      return std::nullopt;
    }
    return list;
  }
};

using KeyReader = std::function<void(const Entry&, StationConfig&)>;
using TableReaders = std::map<std::string, KeyReader>;

void Code(const Entry& entry, const char* option, const std::string& value, CodeChoices& codes) {
  std::string message;
  if (!ApplyCodeOption(option, value, codes, message)) entry.Problem(message);
}

const std::map<std::string, TableReaders>& Readers() {
  static const std::map<std::string, TableReaders> readers = {
      {"", {{"port", [](const Entry& e, StationConfig& c) {
               if (auto v = e.String()) {
                 if (v->empty()) e.Problem("the port's name is empty");
                 else c.port = *v;
               }
             }}}},
      {"device",
       {{"channels", [](const Entry& e, StationConfig& c) {
           if (auto v = e.OneOf(kChannelValues)) c.options.parameters.channels = *v;
         }},
        {"rate", [](const Entry& e, StationConfig& c) {
           if (auto v = e.OneOf(kRateValues)) c.options.parameters.rate = *v;
         }},
        {"gain", [](const Entry& e, StationConfig& c) {
           if (auto v = e.OneOf(kGainValues)) c.options.parameters.gain = *v;
         }},
        {"ext_header", [](const Entry& e, StationConfig& c) {
           if (auto v = e.Bool()) c.options.run.loadExtHeader = *v;
         }},
        {"config", [](const Entry& e, StationConfig& c) {
           if (auto v = e.String()) c.configFile = *v;
         }}}},
      {"save",
       {{"directory", [](const Entry& e, StationConfig& c) {
           if (auto v = e.String()) c.dataDirectory = *v;
         }},
        {"stream", [](const Entry& e, StationConfig& c) {
           if (auto v = e.Bool()) c.options.run.saveStream = *v;
         }},
        {"errors", [](const Entry& e, StationConfig& c) {
           if (auto v = e.Bool()) c.options.run.saveErrorList = *v;
         }},
        {"shift", [](const Entry& e, StationConfig& c) {
           if (auto v = e.Bool()) c.options.run.saveShift = *v;
         }},
        {"screen_seconds", [](const Entry& e, StationConfig& c) {
           if (auto v = e.Integer(1, kScreenSlots)) c.options.screenSeconds = static_cast<int32_t>(*v);
         }}}},
      {"mseed",
       {{"archive", [](const Entry& e, StationConfig& c) {
           if (auto v = e.String()) {
             c.options.run.saveMseed = !v->empty();
             c.options.mseedDirectory = *v;
           }
         }},
        {"network", [](const Entry& e, StationConfig& c) {
           if (auto v = e.String()) Code(e, "--network", *v, c.options.codes);
         }},
        {"station", [](const Entry& e, StationConfig& c) {
           if (auto v = e.String()) Code(e, "--station", *v, c.options.codes);
         }},
        {"location", [](const Entry& e, StationConfig& c) {
           if (auto v = e.String()) Code(e, "--location", *v, c.options.codes);
         }},
        {"channel_codes", [](const Entry& e, StationConfig& c) {
           const auto* array = e.node.as_array();
           std::string joined;
           bool ok = array != nullptr && !array->empty();
           if (ok) {
             for (const toml::node& item : *array) {
               const auto* text = item.as_string();
               if (text == nullptr) ok = false;
               else joined += (joined.empty() ? "" : ",") + text->get();
             }
           }
           if (!ok) e.Problem("expected a list of channel codes, such as [\"EHZ\", \"EHN\", \"EHE\"]");
           else Code(e, "--channel-codes", joined, c.options.codes);
         }},
        {"keep_days", [](const Entry& e, StationConfig& c) {
           if (auto v = e.Integer(0, 100000)) c.keepDays = static_cast<int32_t>(*v);
         }}}},
      {"run", {{"reconnect", [](const Entry& e, StationConfig& c) {
                  if (auto v = e.Bool()) c.options.run.reconnect = *v;
                }}}},
      {"disk",
       {{"warn_mb", [](const Entry& e, StationConfig& c) {
           if (auto v = e.Integer(0, int64_t{1} << 40)) c.diskWarnBytes = *v << 20;
         }},
        {"floor_mb", [](const Entry& e, StationConfig& c) {
           if (auto v = e.Integer(0, int64_t{1} << 40)) c.diskFloorBytes = *v << 20;
         }}}},
      {"status",
       {{"file", [](const Entry& e, StationConfig& c) {
           if (auto v = e.String()) {
             if (v->empty()) e.Problem("the status file's name is empty");
             else c.statusFile = *v;
           }
         }},
        {"interval_seconds", [](const Entry& e, StationConfig& c) {
           if (auto v = e.Integer(1, 3600)) c.statusIntervalSeconds = static_cast<int32_t>(*v);
         }}}},
      {"seedlink",
       {{"enabled", [](const Entry& e, StationConfig& c) {
           if (auto v = e.Bool()) c.seedlink.enabled = *v;
         }},
        {"listen", [](const Entry& e, StationConfig& c) {
           if (auto v = e.String()) {
             std::string message;
             if (!ParseListen(*v, c.seedlink, message)) e.Problem(message);
           }
         }},
        {"max_clients", [](const Entry& e, StationConfig& c) {
           if (auto v = e.Integer(1, 1024)) c.seedlink.maxClients = static_cast<int32_t>(*v);
         }},
        {"max_per_address", [](const Entry& e, StationConfig& c) {
           if (auto v = e.Integer(1, 1024)) c.seedlink.maxPerAddress = static_cast<int32_t>(*v);
         }},
        {"handshake_timeout_seconds", [](const Entry& e, StationConfig& c) {
           if (auto v = e.Integer(1, 3600)) c.seedlink.handshakeTimeoutSeconds = static_cast<int32_t>(*v);
         }},
        {"drain_timeout_seconds", [](const Entry& e, StationConfig& c) {
           if (auto v = e.Integer(1, 3600)) c.seedlink.drainTimeoutSeconds = static_cast<int32_t>(*v);
         }},
        {"max_selectors", [](const Entry& e, StationConfig& c) {
           if (auto v = e.Integer(1, 1024)) c.seedlink.maxSelectors = static_cast<int32_t>(*v);
         }},
        {"ring_megabytes", [](const Entry& e, StationConfig& c) {
           if (auto v = e.Integer(1, 4096)) c.seedlink.ringMegabytes = *v;
         }}}},
      {"sensor",
       {{"sensitivity", [](const Entry& e, StationConfig& c) {
           if (auto v = e.Number(true)) c.sensor->sensitivity = *v;
         }},
        {"unit", [](const Entry& e, StationConfig& c) {
           if (auto v = e.String()) {
             if (*v == "m/s") c.sensor->unit = SensorUnit::Velocity;
             else if (*v == "m/s**2") c.sensor->unit = SensorUnit::Acceleration;
             else e.Problem("expected \"m/s\" (a geophone or seismometer) or \"m/s**2\" (an accelerometer)");
           }
         }},
        {"corner_period", [](const Entry& e, StationConfig& c) {
           if (auto v = e.Number(true)) c.sensor->cornerPeriod = *v;
         }},
        {"description", [](const Entry& e, StationConfig& c) {
           if (auto v = e.String()) c.sensor->description = *v;
         }},
        {"poles", [](const Entry& e, StationConfig& c) {
           if (auto v = e.ComplexList()) c.sensor->poles = *v;
         }},
        {"zeros", [](const Entry& e, StationConfig& c) {
           if (auto v = e.ComplexList()) c.sensor->zeros = *v;
         }},
        {"normalization_frequency", [](const Entry& e, StationConfig& c) {
           if (auto v = e.Number(true)) c.sensor->normalizationFrequency = *v;
         }}}},
  };
  return readers;
}

int64_t LineOf(const toml::node& node) { return static_cast<int64_t>(node.source().begin.line); }

// The screen holds at most kScreenSlots values.
int64_t ScreenLimit(const DeviceParameters& p) {
  return std::max<int64_t>(1, kScreenSlots / (int64_t{p.rate} * p.channels));
}

// The monitor's options that take a value (the rest are flags).
bool TakesValue(const std::string& name) {
  return name == "--channels" || name == "--rate" || name == "--gain" || name == "--screen-seconds" ||
         name == "--mseed" || name == "--replay" || name == "--speed" || IsCodeOption(name);
}

}  // namespace

std::string StationConfig::InDataDirectory(const std::string& path) const {
  if (path.empty() || path.front() == '/' || dataDirectory.empty()) return path;
  return dataDirectory + (dataDirectory.back() == '/' ? "" : "/") + path;
}

std::vector<ConfigProblem> ReadStationFile(std::string_view text, const std::string& sourceName,
                                           StationConfig& config) {
  std::vector<ConfigProblem> problems;
  toml::parse_result parsed = toml::parse(text, sourceName);
  if (!parsed) {
    const toml::parse_error& error = parsed.error();
    problems.push_back({static_cast<int64_t>(error.source().begin.line), std::string(error.description())});
    return problems;
  }
  const toml::table& root = parsed.table();
  const auto& readers = Readers();
  const auto readTable = [&](const std::string& tableName, const toml::table& table) {
    const TableReaders& keys = readers.at(tableName);
    for (const auto& [key, node] : table) {
      const std::string name(key.str());
      const int64_t line = static_cast<int64_t>(key.source().begin.line);
      const std::string where = tableName.empty() ? name : "[" + tableName + "] " + name;
      if (tableName.empty() && node.is_table()) continue;  // the tables, below
      const auto reader = keys.find(name);
      if (reader == keys.end()) {
        problems.push_back({line, "unknown key '" + where + "'"});
        continue;
      }
      reader->second(Entry{node, line, where, problems}, config);
    }
  };
  // A station serves SeedLink unless its file says not to.
  config.seedlink.enabled = true;
  readTable("", root);
  for (const auto& [key, node] : root) {
    if (!node.is_table()) continue;
    const std::string name(key.str());
    if (name == "" || readers.find(name) == readers.end()) {
      problems.push_back({static_cast<int64_t>(key.source().begin.line), "unknown table [" + name + "]"});
      continue;
    }
    if (name == "sensor" && !config.sensor) config.sensor = SensorResponse{};
    readTable(name, *node.as_table());
  }
  if (config.sensor && config.sensor->sensitivity > 0) {
    if (const std::string why = CheckSensorResponse(*config.sensor); !why.empty()) {
      const auto* sensor = root["sensor"].as_table();
      problems.push_back({sensor != nullptr ? LineOf(*sensor) : 0, "[sensor]: " + why});
    }
  }
  if (config.sensor && !(config.sensor->sensitivity > 0)) {
    const auto* sensor = root["sensor"].as_table();
    problems.push_back({sensor != nullptr ? LineOf(*sensor) : 0,
                        "[sensor] sensitivity: a sensor needs its sensitivity in V/(m/s) or V/(m/s**2)"});
  }
  if (config.options.screenSeconds > ScreenLimit(config.options.parameters)) {
    problems.push_back({0, "[save] screen_seconds: " + std::to_string(config.options.screenSeconds) +
                               " is more than a screen holds at " + std::to_string(config.options.parameters.rate) +
                               " sps and " + std::to_string(config.options.parameters.channels) +
                               " channels (at most " + std::to_string(ScreenLimit(config.options.parameters)) +
                               ")"});
  }
  if (std::string message; !CheckSeedLinkLimits(config.seedlink, message)) problems.push_back({0, "[seedlink] " + message});
  if (config.diskFloorBytes > config.diskWarnBytes) {
    problems.push_back({0, "[disk] floor_mb is above warn_mb: the station would stop before it warned"});
  }
  std::sort(problems.begin(), problems.end(),
            [](const ConfigProblem& a, const ConfigProblem& b) { return a.line < b.line; });
  return problems;
}

std::string ProblemText(const std::string& sourceName, const std::vector<ConfigProblem>& problems) {
  std::string text;
  for (const ConfigProblem& problem : problems) {
    text += sourceName;
    if (problem.line > 0) text += ":" + std::to_string(problem.line);
    text += ": " + problem.text + "\n";
  }
  return text;
}

StationCommandLine ParseStationCommandLine(const std::vector<std::string>& args) {
  StationCommandLine result;
  const auto fail = [&result](std::string message) {
    result.action = StationAction::Error;
    result.message = std::move(message);
    return result;
  };
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      result.monitorArgs.push_back(arg);  // the port: the monitor's parser takes it
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      result.monitorArgs.push_back(arg);
      continue;
    }
    std::string name = arg;
    std::optional<std::string> inlineValue;
    if (const size_t equals = arg.find('='); arg.rfind("--", 0) == 0 && equals != std::string::npos) {
      name = arg.substr(0, equals);
      inlineValue = arg.substr(equals + 1);
    }
    const auto value = [&]() -> std::optional<std::string> {
      if (inlineValue) return inlineValue;
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    const auto needsValue = [&](std::optional<std::string>& target) -> bool {
      target = value();
      return target.has_value() && !target->empty();
    };
    std::optional<std::string> v;
    if (name == "--help" || name == "-h") {
      result.action = StationAction::Help;
      return result;
    } else if (name == "--version") {
      result.action = StationAction::Version;
      return result;
    } else if (name == "--config" || name == "-c") {
      if (!needsValue(v)) return fail("option " + name + " needs a station file");
      result.configPath = *v;
    } else if (name == "--check") {
      if (!needsValue(v)) return fail("option --check needs a station file");
      result.action = StationAction::Check;
      result.checkPath = *v;
    } else if (name == "--status") {
      if (!needsValue(v)) return fail("option --status needs a data directory");
      result.action = StationAction::Status;
      result.statusDirectory = *v;
    } else if (name == "--data-dir") {
      if (!needsValue(v)) return fail("option --data-dir needs a directory");
      result.dataDirectory = *v;
    } else if (name == "--no-reconnect") {
      if (inlineValue) return fail("option --no-reconnect takes no value");
      result.reconnect = false;
    } else if (name == "--seedlink") {
      if (!needsValue(v)) return fail("option --seedlink needs [ADDR:]PORT");
      result.seedlink = *v;
      result.noSeedlink = false;
    } else if (name == "--no-seedlink") {
      if (inlineValue) return fail("option --no-seedlink takes no value");
      result.noSeedlink = true;
      result.seedlink.reset();
    } else if (name == "--sensitivity") {
      if (!needsValue(v)) return fail("option --sensitivity needs a value in V/(m/s) or V/(m/s**2)");
      char* end = nullptr;
      const double number = std::strtod(v->c_str(), &end);
      if (end != v->c_str() + v->size() || !std::isfinite(number) || !(number > 0)) {
        return fail("invalid value '" + *v + "' for --sensitivity (expected a number above 0, in V/(m/s) or "
                    "V/(m/s**2))");
      }
      result.sensitivity = number;
    } else if (name == "--sensor-unit") {
      if (!needsValue(v) || (*v != "m/s" && *v != "m/s**2")) {
        return fail("option --sensor-unit takes m/s (a geophone or seismometer) or m/s**2 (an accelerometer)");
      }
      result.sensorUnit = *v;
    } else if (name == "--auto-scale" || name == "--no-offset-reset" || name == "--high-pass") {
      return fail("option " + name + " only changes the window's traces; the station has no window");
    } else {
      // One of the monitor's options: its parser checks it, with its messages.
      result.given.push_back(name);
      result.monitorArgs.push_back(arg);
      if (TakesValue(name)) {
        const std::optional<std::string> taken = value();
        if (!taken) return fail("option " + name + " needs a value");
        if (!inlineValue) result.monitorArgs.push_back(*taken);
        if (name == "--screen-seconds") result.screenSeconds = std::strtoll(taken->c_str(), nullptr, 10);
      }
    }
  }
  const CommandLine monitor = ParseCommandLine(result.monitorArgs);
  if (monitor.action == CommandAction::Error) return fail(monitor.message);
  result.replay = monitor.replay;
  result.speed = monitor.speed;
  return result;
}

bool ApplyCommandLine(const StationCommandLine& commandLine, StationConfig& config, std::string& message) {
  const CommandLine monitor = ParseCommandLine(commandLine.monitorArgs);
  if (monitor.action == CommandAction::Error) {
    message = monitor.message;
    return false;
  }
  const MonitorOptions& given = monitor.options;
  MonitorOptions& o = config.options;
  const auto has = [&commandLine](const char* name) {
    return std::find(commandLine.given.begin(), commandLine.given.end(), name) != commandLine.given.end();
  };
  if (has("--save-stream")) o.run.saveStream = true;
  if (has("--save-errors")) o.run.saveErrorList = true;
  if (has("--save-shift")) o.run.saveShift = true;
  if (has("--no-ext-header")) o.run.loadExtHeader = false;
  if (has("--reconnect")) o.run.reconnect = true;
  if (commandLine.reconnect) o.run.reconnect = *commandLine.reconnect;
  if (has("--channels")) o.parameters.channels = given.parameters.channels;
  if (has("--rate")) o.parameters.rate = given.parameters.rate;
  if (has("--gain")) o.parameters.gain = given.parameters.gain;
  if (has("--mseed")) {
    o.run.saveMseed = true;
    o.mseedDirectory = given.mseedDirectory;
  }
  if (has("--network")) o.codes.network = given.codes.network;
  if (has("--station")) o.codes.station = given.codes.station;
  if (has("--location")) o.codes.location = given.codes.location;
  if (has("--channel-codes")) o.codes.channels = given.codes.channels;
  if (monitor.port) config.port = monitor.port;
  if (commandLine.dataDirectory) config.dataDirectory = *commandLine.dataDirectory;
  if (commandLine.seedlink) {
    config.seedlink.enabled = true;
    if (!ParseListen(*commandLine.seedlink, config.seedlink, message)) {
      message = "--seedlink: " + message;
      return false;
    }
  }
  if (commandLine.noSeedlink) config.seedlink.enabled = false;
  if (commandLine.sensitivity || commandLine.sensorUnit) {
    if (!config.sensor) config.sensor = SensorResponse{};
    if (commandLine.sensitivity) config.sensor->sensitivity = *commandLine.sensitivity;
    if (commandLine.sensorUnit) {
      config.sensor->unit = *commandLine.sensorUnit == "m/s" ? SensorUnit::Velocity : SensorUnit::Acceleration;
    }
    if (!(config.sensor->sensitivity > 0)) {
      message = "--sensor-unit needs the sensor's sensitivity (--sensitivity or [sensor] sensitivity)";
      return false;
    }
  }
  // The monitor's parser keeps its count within what a screen holds at the
  // command line's own rate and channels; here the file's count too.
  if (commandLine.screenSeconds) o.screenSeconds = static_cast<int32_t>(std::min<int64_t>(*commandLine.screenSeconds, kScreenSlots));
  if (o.screenSeconds > ScreenLimit(o.parameters)) {
    message = "a screen of " + std::to_string(o.screenSeconds) + " s is more than the sample buffer holds at " +
              std::to_string(o.parameters.rate) + " sps and " + std::to_string(o.parameters.channels) +
              " channels (at most " + std::to_string(ScreenLimit(o.parameters)) + ")";
    return false;
  }
  if (!config.port && !commandLine.replay) {
    message = "no port: give it last on the command line, or as port in the station file";
    return false;
  }
  return true;
}

std::string StationUsageText() {
  std::string text =
      "Usage: voxa-station [options] [port]\n"
      "       voxa-station --check FILE\n"
      "       voxa-station --status DIR\n"
      "\n"
      "Runs a VOXA data logger on a serial port without a window, as a service: the\n"
      "run starts at once, and a new one whenever the device comes back. It records\n"
      "what the window would (the dated recording, error.csv, shift.csv, the miniSEED\n"
      "archive), logs one line per event on stderr, and keeps a status file.\n"
      "\n"
      "  -c, --config FILE      the station file (TOML; see voxa-station.conf(5))\n"
      "  --check FILE           check a station file and say what is wrong, line by line\n"
      "  --status DIR           print the status file of the station writing into DIR\n"
      "  --data-dir DIR         where the files go ([save] directory; the working directory)\n"
      "\n"
      "The monitor's options that change outputs, with the same names and values (they\n"
      "win over the station file):\n"
      "  --save-stream          record the stream (streamdat.bin, dated at the run's end)\n"
      "  --save-errors          write the error list (error.csv)\n"
      "  --save-shift           write the time shift list (shift.csv)\n"
      "  --no-ext-header        do not load config.txt for the recording's header\n"
      "  --channels 1|3, --rate 50|100|200|400|800, --gain 1|2|4|8|16|32|64\n"
      "  --screen-seconds N     how often the recording is written, in seconds (8)\n"
      "  --mseed DIR            write the miniSEED SDS archive under DIR, with the codes:\n";
  text += CodeOptionsUsage();
  text +=
      "  --reconnect            a new run when the device comes back (the station's default)\n"
      "  --no-reconnect         the run ends with the device, and so does the station\n"
      "  --replay FILE, --speed N\n"
      "                         play a recording in place of the port, as the monitor does\n"
      "  --seedlink [ADDR:]PORT serve SeedLink there (127.0.0.1 unless ADDR is given)\n"
      "  --no-seedlink          do not serve SeedLink\n"
      "  --sensitivity V        the sensor's sensitivity, V/(m/s) or V/(m/s**2)\n"
      "  --sensor-unit m/s|m/s**2\n"
      "  --help, --version\n"
      "\n"
      "SIGINT, SIGTERM and SIGHUP end the run as STOP does, then the station.\n"
      "Exit status: as voxa-monitor's (0 all saved; 2 bad command line or station\n"
      "file; 3 port not opened; 4 device lost; 5 a file not created; 6 a file not\n"
      "written whole, or the disk below its floor; 7 a replay's file unusable).\n";
  return text;
}

std::string StationVersionText() { return std::string("voxa-station ") + VOXA_VERSION + "\n"; }

}  // namespace voxa
