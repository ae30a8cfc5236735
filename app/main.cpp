// voxa-monitor: the program's entry. The command line is checked before the
// windowing system is touched, so --help, --version and a bad option work
// without a display.
#include <QApplication>
#include <QStyleFactory>

#include <QDateTime>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/window_style.h"
#include "app/monitor.h"
#include "web_server/live_service.h"
#include "run/stop_signals.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const voxa::CommandLine commandLine = voxa::ParseCommandLine(args);
  switch (commandLine.action) {
    case voxa::CommandAction::Help:
      std::fputs(voxa::UsageText("voxa-monitor").c_str(), stdout);
      return 0;
    case voxa::CommandAction::Version:
      std::fputs(voxa::VersionText().c_str(), stdout);
      return 0;
    case voxa::CommandAction::Error:
      std::fprintf(stderr, "voxa-monitor: %s\nTry 'voxa-monitor --help'.\n", commandLine.message.c_str());
      return 2;
    case voxa::CommandAction::Run:
      break;
  }

  // Qt gets no arguments of ours: its own settings come from the environment
  // (QT_QPA_PLATFORM and the like), so a port name is never taken for one.
  int qtArgc = 1;
  QApplication application(qtArgc, argv);
  QApplication::setApplicationName("voxa-monitor");
  QApplication::setStyle(QStyleFactory::create("Fusion"));
  // The program ends with the main window (or with the run the window's
  // closing waits for), not with the last window that happens to be open.
  QApplication::setQuitOnLastWindowClosed(false);
  voxa::InstallFontFallbacks();

  voxa::StopSignals stopSignals;
  voxa::Monitor monitor(commandLine.options, commandLine.port);
  if (commandLine.replay) monitor.Controller().SetReplay(*commandLine.replay, commandLine.speed);
  QObject::connect(&stopSignals, &voxa::StopSignals::Received, &monitor.Controller(),
                   &voxa::RunController::RequestQuit);
  // The controller has decided that the program ends (its run, if any, has
  // ended): exit rather than quit, which would ask the windows again. The
  // status says what could not be opened or saved.
  QObject::connect(
      &monitor.Controller(), &voxa::RunController::QuitRequested, &application,
      [&monitor] { QCoreApplication::exit(monitor.Controller().ExitStatus()); }, Qt::QueuedConnection);
  // SeedLink and the station's page, when asked for, from the first run on.
  std::unique_ptr<voxa::LiveService> live;
  if (commandLine.seedlink) {
    voxa::LiveService::Settings settings;
    std::string unused;  // the command line has checked it
    voxa::ParseListen(*commandLine.seedlink, settings.options, unused);
    settings.options.enabled = true;
    settings.identity.network = commandLine.options.codes.network;
    if (commandLine.options.codes.station) settings.identity.station = *commandLine.options.codes.station;
    settings.identity.started = QDateTime::currentMSecsSinceEpoch() * int64_t{1000};
    const std::filesystem::path here = std::filesystem::current_path();
    const std::string archive =
        commandLine.options.mseedDirectory.empty() ? "mseed" : commandLine.options.mseedDirectory;
    settings.archiveRoot = commandLine.options.run.saveMseed ? (here / archive).lexically_normal().string() : "";
    settings.dataDirectory = here.string();
    settings.webRoot = voxa::DefaultWebRoot();
    settings.log = [](const std::string& line) { std::fprintf(stderr, "voxa-monitor: seedlink: %s\n", line.c_str()); };
    live = std::make_unique<voxa::LiveService>(settings);
    std::string why;
    if (!live->Start(monitor.Controller().MutablePipeline(), why)) {
      std::fprintf(stderr, "voxa-monitor: SeedLink not served: %s\n", why.c_str());
      return voxa::kExitUsage;
    }
    const std::string line = "Station page and SeedLink at " + live->PageAddress();
    monitor.Window().ShowServingAddress(live->PageAddress());
    monitor.Boot().AppendLine(QString::fromStdString(line));
    std::fprintf(stdout, "voxa-monitor: %s\n", line.c_str());
    std::fflush(stdout);
  }
  monitor.Show();
  monitor.Controller().Launch();
  return application.exec();
}
