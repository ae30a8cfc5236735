// What recording costs and whether it keeps up: the whole program (windows
// offscreen unless a display is given) on the simulated device's
// pseudo-terminal at 800 sps x 3 channels with every save option on, against
// a bare `cat` of the same stream, in the same run:
//   - CPU time (user + system, the writer thread included) against cat's;
//   - bytes the device had to drop because the receiver did not take them;
//   - the longest gap between two reads of the port that found bytes, in a
//     plain run and in a run whose disk stalls for several seconds;
//   - how long STOP's end takes on the GUI thread and until the files are done.
//
// Usage: bench_save_load [seconds] [stall seconds]   (default 10 and 3)
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "app/monitor.h"
#include "app/window_style.h"
#include "recording/file_store.h"

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds(const rusage& usage) {
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double SelfCpu() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return CpuSeconds(usage);
}

// The simulated device, sending `seconds` of stream at line rate.
struct Sim {
  QProcess process;
  std::string port;
  bool Start(int seconds) {
    process.start(VOXA_SIM_EXECUTABLE, {"--rate", "800", "--channels", "3", "--temperature", "--seconds",
                                        QString::number(seconds)});
    if (!process.waitForStarted(5000) || !process.waitForReadyRead(5000)) return false;
    port = process.readLine().trimmed().toStdString();
    return !port.empty();
  }
  // The device's own count: "voxa-sim: N bytes sent, M bytes dropped".
  std::string Counts() {
    process.waitForFinished(30000);
    const QStringList lines = QString::fromLocal8Bit(process.readAllStandardError()).split('\n');
    for (const QString& line : lines) {
      if (line.contains("bytes sent")) return line.trimmed().toStdString();
    }
    return "?";
  }
};

// The operating system's disk, which can be told to take nothing for a while.
class StallingStore final : public voxa::FileStore {
 public:
  void StallFor(std::chrono::milliseconds length) {
    std::lock_guard guard(lock_);
    until_ = Clock::now() + length;
  }
  int Create(const std::string& path, voxa::Creation how, int& descriptor) override {
    return real_.Create(path, how, descriptor);
  }
  int WriteAt(int descriptor, int64_t offset, const uint8_t* data, size_t count, size_t& written) override {
    Wait();
    return real_.WriteAt(descriptor, offset, data, count, written);
  }
  int ReadAt(int descriptor, int64_t offset, uint8_t* data, size_t count) override {
    return real_.ReadAt(descriptor, offset, data, count);
  }
  int Resize(int descriptor, int64_t size) override { return real_.Resize(descriptor, size); }
  int Size(int descriptor, int64_t& size) override { return real_.Size(descriptor, size); }
  int SyncData(int descriptor) override {
    Wait();
    return real_.SyncData(descriptor);
  }
  int Sync(int descriptor) override {
    Wait();
    return real_.Sync(descriptor);
  }
  int StillNamed(int descriptor, const std::string& path) override { return real_.StillNamed(descriptor, path); }
  int Close(int descriptor) override { return real_.Close(descriptor); }
  int RenameNoReplace(const std::string& from, const std::string& to) override {
    return real_.RenameNoReplace(from, to);
  }
  int Remove(const std::string& path) override { return real_.Remove(path); }
  int RegularFileSize(const std::string& path, int64_t& size) override { return real_.RegularFileSize(path, size); }
  int SyncDirectory(const std::string& directory) override { return real_.SyncDirectory(directory); }

 private:
  void Wait() {
    Clock::time_point until;
    {
      std::lock_guard guard(lock_);
      until = until_;
    }
    std::this_thread::sleep_until(until);
  }
  voxa::PosixFileStore real_;
  std::mutex lock_;
  Clock::time_point until_{};
};

struct RunFigures {
  double cpu = 0;
  double wall = 0;
  voxa::ReadStatistics reads;
  double stopGuiMs = 0;   // STOP's handling on the GUI thread
  double stopDoneMs = 0;  // STOP until the files are finished
  std::string counts;
  int64_t queuedPeak = 0;
};

// One run of the monitor on a fresh device; the run is stopped by STOP a
// second before the device would end. With stallSeconds, the disk takes
// nothing from the second second on for that long.
bool MonitorRun(QApplication& application, int seconds, int stallSeconds, RunFigures& figures) {
  Sim sim;
  if (!sim.Start(seconds + 2)) return false;
  QTemporaryDir directory;
  QDir::setCurrent(directory.path());
  StallingStore store;
  voxa::MonitorOptions options;
  options.run.saveStream = options.run.saveErrorList = options.run.saveShift = true;
  options.run.loadExtHeader = false;
  options.parameters = {800, 3, 16};
  voxa::Monitor monitor(options, sim.port);
  voxa::RunController& controller = monitor.Controller();
  controller.SetFileStore(store);

  double cpuStart = 0;
  QElapsedTimer wall;
  QElapsedTimer stop;
  bool ok = true;
  QTimer peek;
  QObject::connect(&peek, &QTimer::timeout, [&] {
    figures.queuedPeak = std::max<int64_t>(figures.queuedPeak, static_cast<int64_t>(controller.Writer().QueuedBytes()));
  });
  QObject::connect(&controller, &voxa::RunController::PhaseChanged, &application,
                   [&](voxa::RunController::Phase phase) {
                     using Phase = voxa::RunController::Phase;
                     if (phase == Phase::Waiting) {
                       cpuStart = SelfCpu();
                       wall.start();
                       peek.start(50);
                       if (stallSeconds > 0) {
                         QTimer::singleShot(2000, &application, [&] { store.StallFor(std::chrono::seconds(stallSeconds)); });
                       }
                       QTimer::singleShot(seconds * 1000, &application, [&] {
                         figures.cpu = SelfCpu() - cpuStart;
                         figures.wall = static_cast<double>(wall.elapsed()) / 1000.0;
                         stop.start();
                         controller.StartPanelClick();  // STOP
                         QElapsedTimer gui;
                         gui.start();
                         QCoreApplication::processEvents();  // the run's end on the next pass of the loop
                         figures.stopGuiMs = static_cast<double>(gui.nsecsElapsed()) / 1e6;
                       });
                     } else if (phase == Phase::Idle && stop.isValid()) {
                       figures.stopDoneMs = static_cast<double>(stop.nsecsElapsed()) / 1e6;
                       QCoreApplication::exit(0);
                     } else if (phase == Phase::Failed) {
                       ok = false;
                       QCoreApplication::exit(1);
                     }
                   });
  monitor.Show();
  controller.Launch();
  application.exec();
  peek.stop();
  figures.reads = controller.Reads();
  sim.process.terminate();
  figures.counts = sim.Counts();
  return ok;
}

// cat on the same stream for the same time, its CPU from the kernel.
bool CatRun(int seconds, double& cpu, std::string& counts) {
  Sim sim;
  if (!sim.Start(seconds)) return false;
  const pid_t child = fork();
  if (child == 0) {
    freopen("/dev/null", "w", stdout);
    execlp("cat", "cat", sim.port.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  counts = sim.Counts();  // the device ends after its seconds; cat then reads the hang-up and ends
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  cpu = CpuSeconds(usage);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 10;
  const int stall = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  int qtArgc = 1;
  QApplication application(qtArgc, argv);
  QApplication::setStyle(QStyleFactory::create("Fusion"));
  voxa::InstallFontFallbacks();

  RunFigures plain;
  RunFigures stalled;
  double catCpu = 0;
  std::string catCounts;
  if (!MonitorRun(application, seconds, 0, plain) || !CatRun(seconds, catCpu, catCounts) ||
      !MonitorRun(application, seconds, stall, stalled)) {
    std::fprintf(stderr, "a run failed\n");
    return 1;
  }
  const auto ms = [](const voxa::ReadStatistics& r) { return static_cast<double>(r.longestGap.count()) / 1000.0; };
  std::printf("800 sps x 3 channels, every save option on, %d s over a pseudo-terminal:\n", seconds);
  std::printf("  monitor: %.0f ms CPU in %.1f s (%.2f %% of one core); %lld bytes in %lld reads; device: %s\n",
              plain.cpu * 1000, plain.wall, 100.0 * plain.cpu / plain.wall, static_cast<long long>(plain.reads.bytes),
              static_cast<long long>(plain.reads.reads), plain.counts.c_str());
  std::printf("  cat:     %.0f ms CPU; device: %s\n", catCpu * 1000, catCounts.c_str());
  std::printf("  monitor / cat: %.1f\n", catCpu > 0 ? plain.cpu / catCpu : 0.0);
  std::printf("  longest gap between two reads that found bytes: %.1f ms\n", ms(plain.reads));
  std::printf("  STOP: %.1f ms on the GUI thread (drain, feed, finishing handed over); files done %.1f ms after STOP\n",
              plain.stopGuiMs, plain.stopDoneMs);
  std::printf("with the disk taking nothing for %d s: longest gap %.1f ms; up to %lld bytes waited for the disk; "
              "device: %s; files done %.1f ms after STOP\n",
              stall, ms(stalled.reads), static_cast<long long>(stalled.queuedPeak), stalled.counts.c_str(),
              stalled.stopDoneMs);
  return 0;
}
