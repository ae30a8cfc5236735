// What the monitor costs while it waits for a device that sends nothing: the
// whole program (windows offscreen unless a display is given) with a run
// started on a pseudo-terminal that stays silent. CPU time (user + system)
// over the measured wall time, in percent of one core. Target: under 1 %.
//
// Usage: bench_idle_wait [seconds]   (default 5)
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "app/window_style.h"
#include "app/monitor.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double WallSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  int qtArgc = 1;
  QApplication application(qtArgc, argv);
  QApplication::setStyle(QStyleFactory::create("Fusion"));
  voxa::InstallFontFallbacks();

  int master = -1;
  int slave = -1;
  char name[128] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    std::perror("openpty");
    return 1;
  }
  QTemporaryDir directory;
  QDir::setCurrent(directory.path());

  voxa::MonitorOptions options;
  options.run.loadExtHeader = false;
  options.run.saveStream = true;
  options.run.saveErrorList = true;
  voxa::Monitor monitor(options, name);
  voxa::RunController& controller = monitor.Controller();

  double cpuStart = 0;
  double wallStart = 0;
  QObject::connect(&controller, &voxa::RunController::PhaseChanged, &application,
                   [&](voxa::RunController::Phase phase) {
                     if (phase != voxa::RunController::Phase::Waiting) return;
                     cpuStart = CpuSeconds();
                     wallStart = WallSeconds();
                     // exit, not quit: quit would first ask the windows to close, and the
                     // main window refuses while a run is in progress.
                     QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &application,
                                        [] { QCoreApplication::exit(0); });
                   });
  QObject::connect(&controller, &voxa::RunController::RunFailed, &application, [&](const QString& text) {
    std::fprintf(stderr, "run failed: %s\n", qPrintable(text));
    application.exit(1);
  });
  monitor.Show();
  controller.Launch();
  if (application.exec() != 0) return 1;

  const double cpu = CpuSeconds() - cpuStart;
  const double wall = WallSeconds() - wallStart;
  const double percent = 100.0 * cpu / wall;
  std::printf("waiting for a silent device: %.1f ms CPU in %.2f s = %.3f %% of one core (target < 1 %%)\n",
              cpu * 1000.0, wall, percent);
  close(master);
  close(slave);
  return percent < 1.0 ? 0 : 1;
}
