// voxa-station: a run with no window, as a service. The command line and the
// station file are checked before anything starts, so --check, --help and a
// bad option need no device.
#include <unistd.h>

#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "run/exit_status.h"
#include "run/stop_signals.h"
#include "station/service_notifier.h"
#include "station/station.h"
#include "station/station_config.h"
#include "station/status_document.h"

namespace {

int Usage(const std::string& message) {
  std::fprintf(stderr, "voxa-station: %s\nTry 'voxa-station --help'.\n", message.c_str());
  return voxa::kExitUsage;
}

// Reads a station file over config; false (the problems printed) when it
// cannot be used.
bool LoadStationFile(const std::string& path, voxa::StationConfig& config) {
  std::string why;
  const std::optional<std::string> text = voxa::ReadWholeFile(path, why);
  if (!text) {
    std::fprintf(stderr, "voxa-station: %s\n", why.c_str());
    return false;
  }
  const std::vector<voxa::ConfigProblem> problems = voxa::ReadStationFile(*text, path, config);
  if (problems.empty()) return true;
  std::fputs(voxa::ProblemText(path, problems).c_str(), stderr);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const voxa::StationCommandLine commandLine = voxa::ParseStationCommandLine(args);
  voxa::StationConfig config;
  switch (commandLine.action) {
    case voxa::StationAction::Help:
      std::fputs(voxa::StationUsageText().c_str(), stdout);
      return 0;
    case voxa::StationAction::Version:
      std::fputs(voxa::StationVersionText().c_str(), stdout);
      return 0;
    case voxa::StationAction::Error:
      return Usage(commandLine.message);
    case voxa::StationAction::Check:
      if (!LoadStationFile(commandLine.checkPath, config)) return voxa::kExitUsage;
      std::printf("%s: good\n", commandLine.checkPath.c_str());
      return 0;
    case voxa::StationAction::Status: {
      std::string path = commandLine.statusDirectory;
      if (std::filesystem::is_directory(path)) path += "/status.json";
      std::string why;
      const std::optional<std::string> text = voxa::ReadWholeFile(path, why);
      if (!text) {
        std::fprintf(stderr, "voxa-station: %s (is a station writing there?)\n", why.c_str());
        return 1;
      }
      std::fputs(text->c_str(), stdout);
      return 0;
    }
    case voxa::StationAction::Run:
      break;
  }
  if (commandLine.configPath && !LoadStationFile(*commandLine.configPath, config)) return voxa::kExitUsage;
  std::string message;
  if (!voxa::ApplyCommandLine(commandLine, config, message)) return Usage(message);

  // Everything is written where the data directory is, as the monitor
  // writes into its working directory.
  if (!config.dataDirectory.empty()) {
    std::error_code error;
    std::filesystem::create_directories(config.dataDirectory, error);
    if (::chdir(config.dataDirectory.c_str()) != 0) {
      std::fprintf(stderr, "voxa-station: cannot work in the data directory %s: %s\n", config.dataDirectory.c_str(),
                   std::strerror(errno));
      return voxa::kExitFileNotCreated;
    }
  }

  int qtArgc = 1;
  QCoreApplication application(qtArgc, argv);
  QCoreApplication::setApplicationName("voxa-station");
  voxa::StopSignals stopSignals;
  voxa::SystemdNotifier notifier;
  voxa::Station station(config, notifier);
  if (commandLine.replay) station.SetReplay(*commandLine.replay, commandLine.speed);
  QObject::connect(&stopSignals, &voxa::StopSignals::Received, &station, [&station](int) { station.RequestQuit(); });
  QObject::connect(
      &station, &voxa::Station::QuitRequested, &application,
      [&station] { QCoreApplication::exit(station.ExitStatus()); }, Qt::QueuedConnection);
  station.Start();
  return application.exec();
}
