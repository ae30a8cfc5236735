// The station file and the command line over it: what an operator writes,
// and what is wrong with it, line by line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "station/station_config.h"

namespace voxa {
namespace {

std::string Problems(const std::string& text) {
  StationConfig config;
  return ProblemText("station.conf", ReadStationFile(text, "station.conf", config));
}

TEST(StationFile, AFullFileSetsEveryChoice) {
  StationConfig config;
  const std::string text = R"(port = "/dev/voxa0"
[device]
channels = 1
rate = 800
gain = 4
ext_header = false
[save]
directory = "/var/lib/voxa"
stream = true
errors = true
shift = false
screen_seconds = 20
[mseed]
archive = "archive"
network = "GE"
station = "hut1"
location = "00"
channel_codes = ["HHZ"]
keep_days = 30
[run]
reconnect = false
[disk]
warn_mb = 500
floor_mb = 50
[seedlink]
enabled = true
listen = "0.0.0.0:18001"
[sensor]
sensitivity = 28.8
unit = "m/s"
corner_period = 0.2222
poles = [[-19.99, 19.99], [-19.99, -19.99]]
)";
  ASSERT_EQ(ProblemText("f", ReadStationFile(text, "f", config)), "");
  EXPECT_EQ(config.port, "/dev/voxa0");
  const MonitorOptions& o = config.options;
  EXPECT_EQ(o.parameters.channels, 1);
  EXPECT_EQ(o.parameters.rate, 800);
  EXPECT_EQ(o.parameters.gain, 4);
  EXPECT_FALSE(o.run.loadExtHeader);
  EXPECT_TRUE(o.run.saveStream && o.run.saveErrorList && !o.run.saveShift && o.run.saveMseed);
  EXPECT_FALSE(o.run.reconnect);
  EXPECT_EQ(o.screenSeconds, 20);
  EXPECT_EQ(o.mseedDirectory, "archive");
  EXPECT_EQ(o.codes.network, "GE");
  EXPECT_EQ(o.codes.station, "HUT1");  // codes are raised, as on the command line
  EXPECT_EQ(o.codes.location, "00");
  EXPECT_EQ(o.codes.channels, std::vector<std::string>{"HHZ"});
  EXPECT_EQ(config.dataDirectory, "/var/lib/voxa");
  EXPECT_EQ(config.keepDays, 30);
  EXPECT_EQ(config.diskWarnBytes, int64_t{500} << 20);
  EXPECT_EQ(config.diskFloorBytes, int64_t{50} << 20);
  EXPECT_TRUE(config.seedlink.enabled);
  EXPECT_EQ(config.seedlink.address, "0.0.0.0");
  EXPECT_EQ(config.seedlink.port, 18001);
  ASSERT_TRUE(config.sensor);
  EXPECT_DOUBLE_EQ(config.sensor->sensitivity, 28.8);
  EXPECT_EQ(config.sensor->poles.size(), 2u);
  EXPECT_EQ(config.InDataDirectory("status.json"), "/var/lib/voxa/status.json");
}

TEST(StationFile, EachProblemIsNamedWithItsLine) {
  const struct {
    const char* legend;
    std::string text;
    std::string expected;
  } rows[] = {
      {"syntax", "port = /dev/voxa0\n", "station.conf:1: "},
      {"unknown key", "[save]\nstream = true\nstraem = true\n", "station.conf:3: unknown key '[save] straem'\n"},
      {"unknown table", "[sav]\nstream = true\n", "station.conf:1: unknown table [sav]\n"},
      {"rate", "[device]\nrate = 150\n", "station.conf:2: [device] rate: expected one of 50, 100, 200, 400, 800\n"},
      {"channels as text", "[device]\nchannels = \"3\"\n", "station.conf:2: [device] channels: expected one of 1, 3\n"},
      {"flag as number", "[save]\nstream = 1\n", "station.conf:2: [save] stream: expected true or false\n"},
      {"bad code", "[mseed]\nnetwork = \"TOOLONG\"\n", "station.conf:2: [mseed] network: "},
      {"sensor unit", "[sensor]\nsensitivity = 1\nunit = \"g\"\n", "station.conf:3: [sensor] unit: expected \"m/s\""},
      {"sensor without sensitivity", "[sensor]\nunit = \"m/s\"\n", "[sensor] sensitivity: a sensor needs"},
      {"empty port", "port = \"\"\n", "station.conf:1: port: the port's name is empty\n"},
      {"screen too long", "[device]\nrate = 800\n[save]\nscreen_seconds = 100\n",
       "screen_seconds: 100 is more than a screen holds at 800 sps and 3 channels (at most 32)"},
      {"listen", "[seedlink]\nlisten = \"127.0.0.1:99999\"\n", "station.conf:2: [seedlink] listen: "},
      {"floor above warning", "[disk]\nwarn_mb = 10\nfloor_mb = 20\n", "floor_mb is above warn_mb"},
  };
  for (const auto& row : rows) {
    const std::string problems = Problems(row.text);
    EXPECT_NE(problems.find(row.expected), std::string::npos) << row.legend << ": " << problems;
  }
  // Every problem is listed, not only the first.
  const std::string several = Problems("[device]\nrate = 1\ngain = 3\n[save]\nshift = \"yes\"\n");
  EXPECT_NE(several.find(":2: [device] rate"), std::string::npos) << several;
  EXPECT_NE(several.find(":3: [device] gain"), std::string::npos) << several;
  EXPECT_NE(several.find(":5: [save] shift"), std::string::npos) << several;
}

StationConfig Over(const std::string& file, const std::vector<std::string>& args, std::string& message) {
  StationConfig config;
  EXPECT_EQ(ProblemText("f", ReadStationFile(file, "f", config)), "");
  const StationCommandLine commandLine = ParseStationCommandLine(args);
  EXPECT_EQ(commandLine.action, StationAction::Run) << commandLine.message;
  message.clear();
  ApplyCommandLine(commandLine, config, message);
  return config;
}

TEST(StationCommandLine, WinsOverTheFileWithTheMonitorsNames) {
  const std::string file =
      "port = \"/dev/voxa0\"\n[device]\nrate = 100\ngain = 16\n[save]\nstream = false\n[mseed]\nnetwork = \"GE\"\n";
  std::string message;
  StationConfig config = Over(file, {"--rate", "800", "--gain=2", "--save-stream", "--no-reconnect", "--station",
                                     "TEST1", "--mseed", "/data/sds", "--seedlink", "18001", "/dev/ttyUSB1"},
                              message);
  EXPECT_EQ(message, "");
  EXPECT_EQ(config.options.parameters.rate, 800);
  EXPECT_EQ(config.options.parameters.gain, 2);
  EXPECT_TRUE(config.options.run.saveStream);
  EXPECT_FALSE(config.options.run.reconnect);
  EXPECT_EQ(config.options.codes.network, "GE");  // the file's, not given on the command line
  EXPECT_EQ(config.options.codes.station, "TEST1");
  EXPECT_EQ(config.options.mseedDirectory, "/data/sds");
  EXPECT_TRUE(config.seedlink.enabled);
  EXPECT_EQ(config.seedlink.address, "127.0.0.1");
  EXPECT_EQ(config.seedlink.port, 18001);
  EXPECT_EQ(config.port, "/dev/ttyUSB1");

  // Without a file the station writes as the monitor would, and reconnects.
  config = Over("", {"--screen-seconds", "30", "/dev/pts/3"}, message);
  EXPECT_EQ(message, "");
  EXPECT_EQ(config.options.screenSeconds, 30);
  EXPECT_TRUE(config.options.run.reconnect);
  EXPECT_FALSE(config.options.run.saveStream);
  EXPECT_EQ(config.dataDirectory, "");
  EXPECT_TRUE(config.seedlink.enabled);  // a station file serves SeedLink unless it says not to
  EXPECT_FALSE(StationConfig{}.seedlink.enabled);  // without a file, as the monitor: not served
}

TEST(StationCommandLine, RefusesWhatCannotRun) {
  const struct {
    std::vector<std::string> args;
    std::string expected;
  } rows[] = {
      {{"--rate", "123", "/dev/x"}, "invalid value '123' for --rate"},
      {{"--auto-scale", "/dev/x"}, "only changes the window's traces"},
      {{"--sensitivity", "-3", "/dev/x"}, "invalid value '-3' for --sensitivity"},
      {{"--check"}, "--check needs a station file"},
      {{"--bogus", "/dev/x"}, "unknown option '--bogus'"},
  };
  for (const auto& row : rows) {
    const StationCommandLine commandLine = ParseStationCommandLine(row.args);
    EXPECT_EQ(commandLine.action, StationAction::Error) << row.expected;
    EXPECT_NE(commandLine.message.find(row.expected), std::string::npos) << commandLine.message;
  }
  std::string message;
  Over("", {}, message);
  EXPECT_NE(message.find("no port"), std::string::npos) << message;
  Over("[device]\nrate = 800\n", {"--screen-seconds", "100", "/dev/x"}, message);
  EXPECT_NE(message.find("at most 32"), std::string::npos) << message;
}

}  // namespace
}  // namespace voxa
