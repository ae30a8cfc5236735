// The monitor's command line: an optional port name, which starts a run at
// once, and options that preset the window's controls so that a run can be
// started unattended from a script or at boot. Plain C++, so it is checked
// without a window and before one opens.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/run_options.h"
#include "run/exit_status.h"

namespace voxa {

enum class CommandAction { Run, Help, Version, Error };

// The fastest replay --speed accepts, in times real time; faster than the
// file can be read is as fast as it goes (0) anyway.
inline constexpr int64_t kMaxReplaySpeed = 1000000;

struct CommandLine {
  CommandAction action = CommandAction::Run;
  // The choices the window starts with; the screen length already fits the
  // sample buffer at the chosen rate and channels.
  MonitorOptions options;
  std::optional<std::string> port;  // used unchanged; the run starts at once
  std::optional<std::string> replay;  // a recording played in place of the port
  double speed = 1;                   // of the replay: 1 real time, 0 as fast as it goes
  std::optional<std::string> seedlink;  // [ADDR:]PORT to serve SeedLink and the station's page on
  std::string message;              // what was wrong, for CommandAction::Error
};

// args are the arguments after the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

std::string UsageText(std::string_view program);
std::string VersionText();

}  // namespace voxa
