// Parsing of the monitor's command line. Every option maps onto one control
// of the main window; the values accepted are exactly the values the
// control offers, so a script cannot start a run the window could not.
#include "app/command_line.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

#include "analysis/screen.h"
#include "mseed/codes.h"
#include "seedlink/seedlink_options.h"

#ifndef VOXA_VERSION
#define VOXA_VERSION "0"
#endif

namespace voxa {
namespace {

constexpr std::array<int32_t, 2> kChannelValues{1, 3};
constexpr std::array<int32_t, 5> kRateValues{50, 100, 200, 400, 800};
constexpr std::array<int32_t, 7> kGainValues{1, 2, 4, 8, 16, 32, 64};

// A whole decimal number, nothing else around it. Numbers beyond the 32-bit
// range come back as the largest value, so "kept within limits" still works.
std::optional<int64_t> WholeNumber(std::string_view text) {
  if (text.empty()) return std::nullopt;
  int64_t value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, value);
  if (end != last) return std::nullopt;
  if (error == std::errc::result_out_of_range) {
    return text.front() == '-' ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
  }
  if (error != std::errc()) return std::nullopt;
  return value;
}

template <size_t N>
std::string ValueList(const std::array<int32_t, N>& values) {
  std::string list;
  for (size_t i = 0; i < N; ++i) {
    if (i > 0) list += '|';
    list += std::to_string(values[i]);
  }
  return list;
}

template <size_t N>
bool PickValue(std::string_view option, std::string_view text, const std::array<int32_t, N>& values,
               int32_t& target, std::string& message) {
  const std::optional<int64_t> number = WholeNumber(text);
  if (number && std::find(values.begin(), values.end(), *number) != values.end()) {
    target = static_cast<int32_t>(*number);
    return true;
  }
  message = "invalid value '" + std::string(text) + "' for " + std::string(option) + " (expected " +
            ValueList(values) + ")";
  return false;
}

// A finite number greater than zero, nothing else around it.
std::optional<double> PositiveNumber(std::string_view text) {
  double value = 0;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data(), last, value);
  if (text.empty() || error != std::errc() || end != last || !std::isfinite(value) || !(value > 0)) return std::nullopt;
  return value;
}

CommandLine Failure(std::string message) {
  CommandLine result;
  result.action = CommandAction::Error;
  result.message = std::move(message);
  return result;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine result;
  RunOptions& o = result.options.run;
  DeviceParameters& p = result.options.parameters;
  int64_t screenSeconds = result.options.screenSeconds;
  std::string screenSecondsText;  // as given; empty: the default
  bool optionsEnded = false;
  bool speedGiven = false;
  bool sensorShapeGiven = false;  // a unit or corner period, which mean nothing without a sensitivity

  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (!isOption) {
      if (result.port) return Failure("unexpected argument '" + arg + "' (the port is '" + *result.port + "')");
      result.port = arg;
      continue;
    }

    // "--name=value" and "--name value" are both accepted for options with a value.
    std::string name = arg;
    std::optional<std::string> inlineValue;
    if (const size_t equals = arg.find('='); arg.rfind("--", 0) == 0 && equals != std::string::npos) {
      name = arg.substr(0, equals);
      inlineValue = arg.substr(equals + 1);
    }
    const auto takeValue = [&](std::string& value) -> bool {
      if (inlineValue) {
        value = *inlineValue;
        return true;
      }
      if (i + 1 >= args.size()) return false;
      value = args[++i];
      return true;
    };
    const auto flag = [&](bool& target, bool value) -> std::optional<CommandLine> {
      if (inlineValue) return Failure("option " + name + " takes no value");
      target = value;
      return std::nullopt;
    };

    std::optional<CommandLine> failed;
    if (name == "--help" || name == "-h") {
      result.action = CommandAction::Help;
      return result;
    } else if (name == "--version") {
      result.action = CommandAction::Version;
      return result;
    } else if (name == "--save-stream") {
      failed = flag(o.saveStream, true);
    } else if (name == "--save-errors") {
      failed = flag(o.saveErrorList, true);
    } else if (name == "--save-shift") {
      failed = flag(o.saveShift, true);
    } else if (name == "--no-ext-header") {
      failed = flag(o.loadExtHeader, false);
    } else if (name == "--auto-scale") {
      failed = flag(o.autoScale, true);
    } else if (name == "--no-offset-reset") {
      failed = flag(o.resetOffset, false);
    } else if (name == "--high-pass") {
      failed = flag(o.highPass, true);
    } else if (name == "--reconnect") {
      failed = flag(o.reconnect, true);
    } else if (name == "--mseed" || name == "--replay") {
      std::string value;
      if (!takeValue(value) || value.empty()) return Failure("option " + name + " needs a value");
      if (name == "--mseed") {
        o.saveMseed = true;
        result.options.mseedDirectory = value;
      } else {
        result.replay = value;
      }
    } else if (name == "--seedlink") {
      std::string value;
      if (!takeValue(value) || value.empty()) return Failure("option --seedlink needs [ADDR:]PORT");
      SeedLinkOptions listen;
      std::string message;
      if (!ParseListen(value, listen, message)) return Failure("--seedlink: " + message);
      result.seedlink = value;
    } else if (name == "--speed") {
      std::string value;
      if (!takeValue(value)) return Failure("option " + name + " needs a value");
      double speed = -1;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), speed);
      if (error != std::errc() || end != value.data() + value.size() || !(speed >= 0) || speed > static_cast<double>(kMaxReplaySpeed)) {
        return Failure("invalid value '" + value + "' for --speed (expected a number from 0 to " +
                       std::to_string(kMaxReplaySpeed) + "; 1 is real time, 0 as fast as it goes)");
      }
      speedGiven = true;
      result.speed = speed;
    } else if (name == "--sensitivity" || name == "--corner-period" || name == "--sensor-unit") {
      std::string value;
      if (!takeValue(value)) return Failure("option " + name + " needs a value");
      SensorResponse& sensor = result.options.noise.sensor;
      if (name == "--sensor-unit") {
        const std::optional<SensorUnit> unit = ParseSensorUnit(value);
        if (!unit) return Failure("invalid value '" + value + "' for --sensor-unit (expected m/s or m/s**2)");
        sensor.unit = *unit;
        sensorShapeGiven = true;
        continue;
      }
      const std::optional<double> number = PositiveNumber(value);
      if (!number) {
        return Failure("invalid value '" + value + "' for " + name + " (expected a positive number of " +
                       (name == "--sensitivity" ? "volts per unit of ground motion)" : "seconds)"));
      }
      if (name == "--sensitivity") {
        sensor.sensitivity = *number;
      } else {
        sensor.cornerPeriod = *number;
        sensorShapeGiven = true;
      }
    } else if (IsCodeOption(name)) {
      std::string value;
      if (!takeValue(value)) return Failure("option " + name + " needs a value");
      std::string message;
      if (!ApplyCodeOption(name, value, result.options.codes, message)) return Failure(message);
    } else if (name == "--channels" || name == "--rate" || name == "--gain" || name == "--screen-seconds") {
      std::string value;
      if (!takeValue(value)) return Failure("option " + name + " needs a value");
      std::string message;
      bool ok = true;
      if (name == "--channels") {
        ok = PickValue(name, value, kChannelValues, p.channels, message);
      } else if (name == "--rate") {
        ok = PickValue(name, value, kRateValues, p.rate, message);
      } else if (name == "--gain") {
        ok = PickValue(name, value, kGainValues, p.gain, message);
      } else {
        const std::optional<int64_t> number = WholeNumber(value);
        ok = number && *number >= 1;
        if (ok) {
          screenSeconds = *number;
          screenSecondsText = value;
        }
        else message = "invalid value '" + value + "' for --screen-seconds (expected a whole number from 1)";
      }
      if (!ok) return Failure(message);
    } else {
      return Failure("unknown option '" + arg + "'");
    }
    if (failed) return *failed;
  }

  if (result.replay && result.port) {
    return Failure("a replay plays a file in place of the port: give --replay or a port, not both");
  }
  if (speedGiven && !result.replay) return Failure("--speed is the speed of a replay: it needs --replay FILE");
  if (sensorShapeGiven && !result.options.noise.sensor.Present()) {
    return Failure("--sensor-unit and --corner-period describe the sensor: they need --sensitivity V");
  }

  // One screen holds at most kScreenSlots values, whatever order the options
  // came in. A length asked for that does not fit is refused rather than
  // quietly shortened, so a script's operator learns the bound; the default
  // length is fitted to the buffer.
  const int64_t limit = std::max<int64_t>(1, kScreenSlots / (int64_t{p.rate} * p.channels));
  if (!screenSecondsText.empty() && screenSeconds > limit) {
    return Failure("invalid value '" + screenSecondsText + "' for --screen-seconds: at " +
                   std::to_string(p.rate) + " sps and " + std::to_string(p.channels) + " channel" +
                   (p.channels == 1 ? "" : "s") + " one screen holds at most " + std::to_string(limit) + " seconds");
  }
  result.options.screenSeconds = static_cast<int32_t>(std::min(screenSeconds, limit));
  return result;
}

std::string UsageText(std::string_view program) {
  std::string text = "Usage: ";
  text += program;
  text +=
      " [options] [port]\n"
      "\n"
      "Monitors the stream of a VOXA data logger on a serial port. With a port\n"
      "(ttyUSB0, or a path such as /dev/pts/5) the run starts at once; without one\n"
      "the serial ports that can be opened are listed and START begins a run.\n"
      "\n"
      "Options (each presets the control of the same meaning):\n"
      "  --save-stream          record the stream (streamdat.bin, renamed at STOP)\n"
      "  --save-errors          write the error list (error.csv)\n"
      "  --save-shift           write the time shift list (shift.csv)\n"
      "  --no-ext-header        do not load config.txt for the recording's header\n"
      "  --auto-scale           scale each channel on its own\n"
      "  --no-offset-reset      do not reset the offset before each screen\n"
      "  --high-pass            switch the 0.5 Hz high-pass filter on\n"
      "  --reconnect            when the device is lost, watch for its port to come\n"
      "                         back and start a new run on it\n"
      "  --channels 1|3         channels the device sends (3)\n"
      "  --rate 50|100|200|400|800\n"
      "                         samples per second per channel (100)\n"
      "  --gain 1|2|4|8|16|32|64\n"
      "                         gain of the device (16)\n"
      "  --screen-seconds N     seconds across one screen (8), at most what the\n"
      "                         sample buffer holds at the chosen rate and channels\n"
      "  --mseed DIR            write the samples as miniSEED into the SDS archive\n"
      "                         under DIR (\"Save miniSEED\"; ticked without this\n"
      "                         option, the archive is mseed/ in the working directory)\n"
      "                         the archive's codes (as voxa-convert takes them):\n";
  text += CodeOptionsUsage();
  text +=
      "  --seedlink [ADDR:]PORT serve the stream live over SeedLink (TCP and WebSocket\n"
      "                         /seedlink) and the station's page on PORT, bound to\n"
      "                         127.0.0.1 unless ADDR is given\n"
      "  --replay FILE          play a recording (a dated recording or a streamdat.bin)\n"
      "                         through the window as if it came from the device; it\n"
      "                         is only read. Files are saved only when asked for.\n"
      "  --speed N              speed of the replay: 1 real time (the default), 2 twice\n"
      "                         as fast, 0 as fast as it goes (at most 1000000)\n"
      "  --sensitivity V        the sensor's sensitivity in V/(m/s) or V/(m/s**2): the\n"
      "                         noise PSD is of ground acceleration and is compared\n"
      "                         with the noise models (without it, of volts: V^2/Hz)\n"
      "  --sensor-unit m/s|m/s**2\n"
      "                         what the sensor measures: velocity (a geophone or\n"
      "                         seismometer; the default) or acceleration\n"
      "  --corner-period S      a geophone's natural period in seconds (flat without it)\n"
      "  --help                 show this text\n"
      "  --version              show the version\n"
      "\n"
      "SIGINT, SIGTERM and SIGHUP end a run as STOP does, then end the program;\n"
      "further signals while it ends are ignored. Files are written to the\n"
      "working directory.\n"
      "\n"
      "Exit status (the highest that applies):\n"
      "  0  every file asked for was saved whole\n"
      "  2  bad command line\n"
      "  3  the port could not be opened\n"
      "  4  the device was lost during a run\n"
      "  5  a file asked for could not be created (its option was off for the run)\n"
      "  6  a file could not be written whole, finished or named\n"
      "  7  the file to replay cannot be read or is not a recording\n";
  return text;
}

std::string VersionText() { return std::string("voxa-monitor ") + VOXA_VERSION + "\n"; }

}  // namespace voxa
