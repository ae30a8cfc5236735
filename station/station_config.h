// The station's configuration: the station file (TOML) and the command line
// over it. The command line takes the monitor's options that change outputs,
// with the same names and values (the monitor's own parser reads them), so a
// script that drives the monitor can drive the station; what is given on the
// command line wins over the file. Plain C++, checked without Qt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/sensor_response.h"
#include "pipeline/run_options.h"
#include "seedlink/seedlink_options.h"

namespace voxa {



struct StationConfig {
  // The monitor's choices. A station reconnects by default: it runs for
  // months and the device may be unplugged and plugged in again.
  MonitorOptions options = [] {
    MonitorOptions defaults;
    defaults.run.reconnect = true;
    return defaults;
  }();
  std::optional<std::string> port;
  // Where the recordings, lists and the status file go; "" the working directory.
  std::string dataDirectory;
  std::string configFile = "config.txt";  // the header, relative to the data directory
  std::string statusFile = "status.json";
  int32_t statusIntervalSeconds = 5;
  int64_t diskWarnBytes = int64_t{1024} << 20;
  int64_t diskFloorBytes = int64_t{100} << 20;
  int32_t keepDays = 0;  // 0 keeps every day file of the archive
  // The live server; on by default in a station file, off without one.
  SeedLinkOptions seedlink;
  // The sensor in front of the digitiser, for the noise and the metadata;
  // absent: the noise is in V^2/Hz and the metadata's sensor is unknown.
  std::optional<SensorResponse> sensor;

  // A path of the file, relative ones taken from the data directory.
  std::string InDataDirectory(const std::string& path) const;
};

// Something wrong in a station file: its line (0 when it has none) and what.
struct ConfigProblem {
  int64_t line = 0;
  std::string text;
};

// Reads a station file's text over config (which keeps what the file does
// not set). Every problem found is listed; config is only meaningful when
// there are none.
std::vector<ConfigProblem> ReadStationFile(std::string_view text, const std::string& sourceName,
                                           StationConfig& config);
// The problems as lines "FILE:LINE: text".
std::string ProblemText(const std::string& sourceName, const std::vector<ConfigProblem>& problems);

enum class StationAction { Run, Help, Version, Check, Status, Error };

struct StationCommandLine {
  StationAction action = StationAction::Run;
  std::optional<std::string> configPath;  // --config FILE
  std::string checkPath;                  // --check FILE
  std::string statusDirectory;            // --status DIR
  std::optional<std::string> replay;
  double speed = 1;
  std::string message;  // what was wrong, for StationAction::Error
  // What the command line sets, applied over the file by ApplyCommandLine.
  std::vector<std::string> monitorArgs;  // for the monitor's parser
  std::vector<std::string> given;        // the monitor options given, by name
  std::optional<std::string> dataDirectory;
  std::optional<bool> reconnect;
  std::optional<int64_t> screenSeconds;
  std::optional<std::string> seedlink;  // [ADDR:]PORT
  bool noSeedlink = false;
  std::optional<double> sensitivity;
  std::optional<std::string> sensorUnit;
};

StationCommandLine ParseStationCommandLine(const std::vector<std::string>& args);
// The command line over what the file gave; false with message when the
// result cannot run (a value the monitor's parser refuses, a screen longer
// than the sample buffer holds at the rate and channels in force).
bool ApplyCommandLine(const StationCommandLine& commandLine, StationConfig& config, std::string& message);

std::string StationUsageText();
std::string StationVersionText();

}  // namespace voxa
