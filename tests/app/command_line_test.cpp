// The monitor's command line: what each argument list yields, and that every
// mistake is refused with a message rather than half-applied.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace voxa {
namespace {

struct ParseCase {
  const char* legend;
  std::vector<std::string> args;
  CommandAction action;
  // A check of the options that the row is about.
  bool (*expected)(const CommandLine&);
};

TEST(CommandLine, ParsesWhatTheControlsOffer) {
  const ParseCase cases[] = {
      {"nothing: scan, layout defaults", {}, CommandAction::Run,
       [](const CommandLine& c) {
         return !c.port && c.options.run.loadExtHeader && c.options.run.resetOffset && !c.options.run.saveStream &&
                c.options.parameters.channels == 3 && c.options.parameters.rate == 100 &&
                c.options.parameters.gain == 16 && c.options.screenSeconds == 8;
       }},
      {"port used unchanged", {"/dev/pts/7"}, CommandAction::Run,
       [](const CommandLine& c) { return c.port == "/dev/pts/7"; }},
      {"port after options", {"--save-stream", "ttyUSB0"}, CommandAction::Run,
       [](const CommandLine& c) { return c.port == "ttyUSB0" && c.options.run.saveStream; }},
      {"port before options", {"COM25", "--save-errors", "--save-shift"}, CommandAction::Run,
       [](const CommandLine& c) { return c.port == "COM25" && c.options.run.saveErrorList && c.options.run.saveShift; }},
      {"-- lets a port start with a dash", {"--", "-odd"}, CommandAction::Run,
       [](const CommandLine& c) { return c.port == "-odd"; }},
      {"switches off", {"--no-ext-header", "--no-offset-reset"}, CommandAction::Run,
       [](const CommandLine& c) { return !c.options.run.loadExtHeader && !c.options.run.resetOffset; }},
      {"switches on", {"--auto-scale", "--high-pass", "--reconnect"}, CommandAction::Run,
       [](const CommandLine& c) { return c.options.run.autoScale && c.options.run.highPass && c.options.run.reconnect; }},
      {"values, separate and with =", {"--channels", "1", "--rate=800", "--gain", "64"}, CommandAction::Run,
       [](const CommandLine& c) { return c.options.parameters.channels == 1 && c.options.parameters.rate == 800 &&
                c.options.parameters.gain == 64; }},
      {"the last of a repeated option wins", {"--rate", "50", "--rate", "400"}, CommandAction::Run,
       [](const CommandLine& c) { return c.options.parameters.rate == 400; }},
      {"screen seconds within capacity", {"--screen-seconds", "200"}, CommandAction::Run,
       [](const CommandLine& c) { return c.options.screenSeconds == 200; }},
      {"screen seconds at capacity (100 sps, 3 ch)", {"--screen-seconds", "256"}, CommandAction::Run,
       [](const CommandLine& c) { return c.options.screenSeconds == 256; }},
      {"miniSEED archive and its codes", {"--mseed", "/data/sds", "--station=ab12", "--channel-codes", "HHZ"},
       CommandAction::Run,
       [](const CommandLine& c) { return c.options.run.saveMseed && c.options.mseedDirectory == "/data/sds" &&
                c.options.codes.station == "AB12" && c.options.codes.channels == std::vector<std::string>{"HHZ"} &&
                c.options.codes.network == "XX"; }},
      {"replay at real time by default", {"--replay", "03071405.015"}, CommandAction::Run,
       [](const CommandLine& c) { return c.replay == "03071405.015" && c.speed == 1 && !c.port; }},
      {"replay as fast as it goes", {"--replay=streamdat.bin", "--speed", "0"}, CommandAction::Run,
       [](const CommandLine& c) { return c.replay == "streamdat.bin" && c.speed == 0; }},
      {"no sensor: the PSD stays in volts", {}, CommandAction::Run,
       [](const CommandLine& c) { return !c.options.noise.sensor.Present(); }},
      {"a geophone", {"--sensitivity", "28.8", "--corner-period=0.222"}, CommandAction::Run,
       [](const CommandLine& c) { const SensorResponse& s = c.options.noise.sensor;
         return s.sensitivity == 28.8 && s.unit == SensorUnit::Velocity && s.cornerPeriod == 0.222; }},
      {"an accelerometer", {"--sensor-unit", "m/s**2", "--sensitivity", "2.5"}, CommandAction::Run,
       [](const CommandLine& c) { const SensorResponse& s = c.options.noise.sensor;
         return s.sensitivity == 2.5 && s.unit == SensorUnit::Acceleration && !s.cornerPeriod; }},
      {"help wins over a bad option after it", {"--help", "--bogus"}, CommandAction::Help, nullptr},
      {"version", {"--version"}, CommandAction::Version, nullptr},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.legend);
    const CommandLine result = ParseCommandLine(c.args);
    EXPECT_EQ(result.action, c.action) << result.message;
    if (c.expected != nullptr) {
      EXPECT_TRUE(c.expected(result));
    }
  }
}

struct RefusalCase {
  const char* legend;
  std::vector<std::string> args;
  const char* messagePart;
};

TEST(CommandLine, RefusesMistakesWithAMessage) {
  const RefusalCase cases[] = {
      {"unknown option", {"--save-everything"}, "unknown option '--save-everything'"},
      {"single-dash unknown", {"-x"}, "unknown option '-x'"},
      {"rate not offered", {"--rate", "300"}, "invalid value '300' for --rate (expected 50|100|200|400|800)"},
      {"gain not offered", {"--gain=128"}, "invalid value '128' for --gain"},
      {"channels not offered", {"--channels", "2"}, "invalid value '2' for --channels (expected 1|3)"},
      {"value with trailing text", {"--rate", "100x"}, "invalid value '100x' for --rate"},
      {"value missing at the end", {"--gain"}, "option --gain needs a value"},
      {"screen seconds zero", {"--screen-seconds", "0"}, "invalid value '0' for --screen-seconds"},
      {"screen seconds negative", {"--screen-seconds=-4"}, "invalid value '-4' for --screen-seconds"},
      {"screen seconds not a number", {"--screen-seconds", "eight"}, "invalid value 'eight'"},
      {"a flag given a value", {"--save-stream=yes"}, "option --save-stream takes no value"},
      {"a second port", {"ttyS0", "ttyS1"}, "unexpected argument 'ttyS1'"},
      {"archive without a directory", {"--mseed"}, "option --mseed needs a value"},
      {"a bad station code", {"--station", "TOOLONG"}, "station"},
      {"a negative speed", {"--replay", "f", "--speed", "-1"}, "invalid value '-1' for --speed"},
      {"a speed past the ceiling", {"--replay", "f", "--speed", "1e9"},
       "invalid value '1e9' for --speed (expected a number from 0 to 1000000;"},
      {"screen seconds past capacity (100 sps, 3 ch)", {"--screen-seconds", "100000"},
       "invalid value '100000' for --screen-seconds: at 100 sps and 3 channels one screen holds at most 256 seconds"},
      {"capacity from rate and channels given after", {"--screen-seconds=5000", "--rate", "800", "--channels", "1"},
       "at 800 sps and 1 channel one screen holds at most 96 seconds"},
      {"huge screen seconds", {"--screen-seconds", "99999999999999999999"},
       "invalid value '99999999999999999999' for --screen-seconds: at 100 sps and 3 channels"},
      {"a sensitivity of zero", {"--sensitivity", "0"}, "invalid value '0' for --sensitivity (expected a positive number"},
      {"a sensitivity not a number", {"--sensitivity", "28.8V"}, "invalid value '28.8V' for --sensitivity"},
      {"a corner period not finite", {"--sensitivity", "1", "--corner-period", "inf"}, "invalid value 'inf' for --corner-period"},
      {"a unit not offered", {"--sensitivity", "1", "--sensor-unit", "g"}, "for --sensor-unit (expected m/s or m/s**2)"},
      {"a unit without a sensitivity", {"--sensor-unit", "m/s"}, "they need --sensitivity"},
      {"a corner without a sensitivity", {"--corner-period", "4.5"}, "they need --sensitivity"},
      {"speed without a replay", {"--speed", "2"}, "--speed is the speed of a replay"},
      {"a replay and a port", {"--replay", "f", "ttyS0"}, "give --replay or a port, not both"},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.legend);
    const CommandLine result = ParseCommandLine(c.args);
    EXPECT_EQ(result.action, CommandAction::Error);
    EXPECT_NE(result.message.find(c.messagePart), std::string::npos) << result.message;
  }
}

TEST(CommandLine, UsageNamesEveryOptionAndEveryExitStatus) {
  const std::string usage = UsageText("voxa-monitor");
  for (const char* option : {"--mseed", "--replay", "--speed", "--station", "--save-stream", "--save-errors", "--save-shift", "--no-ext-header", "--auto-scale",
                             "--no-offset-reset", "--high-pass", "--reconnect", "--channels", "--rate", "--gain",
                             "--screen-seconds", "--sensitivity", "--sensor-unit", "--corner-period", "--help", "--version"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
  for (const int status : {kExitOk, kExitUsage, kExitPortNotOpened, kExitDeviceLost, kExitFileNotCreated,
                           kExitFileNotSaved, kExitReplayUnusable}) {
    EXPECT_NE(usage.find("\n  " + std::to_string(status) + "  "), std::string::npos) << status;
  }
}

}  // namespace
}  // namespace voxa
