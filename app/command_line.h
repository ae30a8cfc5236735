// The monitor's command line: an optional port name, which starts a run at
// once, and options that preset the window's controls so that a run can be
// started unattended from a script or at boot. Plain C++, so it is checked
// without a window and before one opens.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace voxa {

// What the controls show before the start timer runs.
struct StartOptions {
  bool hasPort = false;
  std::string port;  // used unchanged when hasPort
  bool saveStream = false;
  bool saveErrors = false;
  bool saveShift = false;
  bool extHeader = true;
  bool autoScale = false;
  bool offsetReset = true;
  bool highPass = false;
  int32_t channels = 3;
  int32_t rate = 100;
  int32_t gain = 16;
  int32_t screenSeconds = 8;  // already within the sample buffer for rate and channels
};

enum class CommandAction { Run, Help, Version, Error };

struct CommandLine {
  CommandAction action = CommandAction::Run;
  StartOptions options;
  std::string message;  // what was wrong, for CommandAction::Error
};

// args are the arguments after the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

std::string UsageText(std::string_view program);
std::string VersionText();

}  // namespace voxa
