// The command line of voxa-sim: turns its arguments into generator options
// and the program's own settings. Kept apart from the program so that the
// rules for good and bad arguments can be tested without running it.
#pragma once

#include <string>
#include <vector>

#include "tools/sim_stream.h"

namespace voxa::sim {

inline constexpr int kDefaultBootLines = 5;

struct SimCommandLine {
  SimOptions options;
  bool startGiven = false;   // else the program starts at the computer's UTC time
  bool fast = false;         // write as fast as the receiver takes, losing nothing
  std::string outputPath;    // empty: open a pseudo-terminal
  bool help = false;
};

// Parses the arguments after the program name; "--name value" and
// "--name=value" are both accepted. Returns an empty text when they are sound,
// else a message for the user (the program then exits with status 2).
std::string ParseSimCommandLine(const std::vector<std::string>& arguments, SimCommandLine& result);

// The text of --help.
std::string SimUsage();

}  // namespace voxa::sim
