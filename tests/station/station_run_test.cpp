// The station over a pseudo-terminal: the stored corpus gives the window's
// files byte for byte; a device lost and back starts a new run; the disk
// floor ends a run cleanly; the watchdog pings come from the event loop; and
// the program itself finishes its run on SIGTERM and, killed and started
// again, keeps the unfinished recording and appends to the archive cleanly.
#include <libmseed.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "app/pty_device.h"
#include "recording/recording.h"
#include "run/exit_status.h"
#include "tools/sim_stream.h"
#include "station/station.h"

namespace voxa {
namespace {

namespace fs = std::filesystem;
using test::FakeDevice;
using test::kDeadlineMs;

class FakeNotifier : public ServiceNotifier {
 public:
  void Notify(std::string_view state) override { states.emplace_back(state); }
  std::optional<int64_t> WatchdogMicros() const override { return watchdog; }
  int Count(std::string_view prefix) const {
    int n = 0;
    for (const std::string& s : states) n += s.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }
  std::vector<std::string> states;
  std::optional<int64_t> watchdog;
};

QByteArray Stream(int seconds, int startMinute = 30) {
  sim::SimOptions options;
  options.start = {2024, 3, 5, 10, startMinute, 0};
  options.preamble = "VOXA starting\r\n";
  options.bootLines = {"VOXA boot", "GPS ok"};
  const std::vector<uint8_t> bytes = sim::GenerateStream(options, seconds);
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

QByteArray FileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::map<std::string, std::string> ReadCase(const fs::path& file) {
  std::map<std::string, std::string> values;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return values;
}

// Every record of every day file under root, in file order per channel:
// none may start before the one before it ended.
int CountOverlaps(const fs::path& root, int64_t& records) {
  int overlaps = 0;
  records = 0;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    MSRecord* msr = nullptr;
    hptime_t lastEnd = HPTERROR;
    while (ms_readmsr(&msr, entry.path().c_str(), 0, nullptr, nullptr, 1, 0, 0) == MS_NOERROR) {
      ++records;
      if (lastEnd != HPTERROR && msr->starttime <= lastEnd) ++overlaps;
      lastEnd = msr_endtime(msr);
    }
    ms_readmsr(&msr, nullptr, 0, nullptr, nullptr, 0, 0, 0);
  }
  return overlaps;
}

struct StationProgram {
  explicit StationProgram(const QString& dir) { process.setWorkingDirectory(dir); }
  bool Start(const QStringList& args) {
    process.start(VOXA_STATION_EXECUTABLE, args);
    return process.waitForStarted(kDeadlineMs);
  }
  QString Err() {
    err += QString::fromLocal8Bit(process.readAllStandardError());
    return err;
  }
  bool Signal(int number) { return kill(static_cast<pid_t>(process.processId()), number) == 0; }
  bool Ended() { return process.waitForFinished(kDeadlineMs); }
  QProcess process;
  QString err;
};

}  // namespace

class StationRunTest : public QObject {
  Q_OBJECT

  std::optional<QTemporaryDir> dir_;
  QString previousDir_;
  FakeNotifier notifier_;
  std::unique_ptr<Station> station_;
  std::vector<std::string> log_;
  bool quit_ = false;

  void Build(StationConfig config, FakeDevice& device) { Build(std::move(config), device.path); }
  void Build(StationConfig config, const std::string& port) {
    config.port = port;
    station_ = std::make_unique<Station>(config, notifier_);
    station_->SetLogSink([this](std::string_view line) { log_.emplace_back(line); });
    RunController& c = station_->Controller();
    c.SetClock([] { return ClockFields{2024, 3, 5, 14, 7, 9}; });
    c.SetUtcClock([] { return Micros{1709647629} * kMicrosPerSecond; });
    c.SetHeaderRestOverride(0);
    c.SetReconnectInterval(10);
    c.SetPortScan([] { return std::vector<std::string>{}; }, ComPortAvailable);
    connect(station_.get(), &Station::QuitRequested, this, [this] { quit_ = true; });
  }
  bool WaitFor(RunController::Phase phase) {
    return QTest::qWaitFor([&] { return station_->Controller().CurrentPhase() == phase; }, kDeadlineMs);
  }
  bool SendAll(FakeDevice& device, const QByteArray& bytes) {
    RunController& c = station_->Controller();
    const int64_t before = c.Reads().bytes;
    return device.Send(bytes) && QTest::qWaitFor(
                                     [&] {
                                       return c.Reads().bytes == before + bytes.size() && !c.Resting() &&
                                              c.QueuedBytes() == 0;
                                     },
                                     kDeadlineMs);
  }
  bool Logged(const std::string& text) const {
    for (const std::string& line : log_) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }
  bool Quit() {
    station_->RequestQuit();
    return QTest::qWaitFor([&] { return quit_; }, kDeadlineMs);
  }

 private slots:
  void init() {
    previousDir_ = QDir::currentPath();
    dir_.emplace();
    QDir::setCurrent(dir_->path());
    log_.clear();
    notifier_ = FakeNotifier{};
    quit_ = false;
  }
  void cleanup() {
    station_.reset();
    QDir::setCurrent(previousDir_);
    dir_.reset();
  }

  // The station runs the window's run: on every stored stream its files are
  // the window's, byte for byte.
  void corpusGivesTheWindowsFiles() {
    const fs::path corpus = fs::path(VOXA_SOURCE_DIR) / "tests/data/corpus";
    int cases = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
      const fs::path folder = entry.path();
      std::map<std::string, std::string> c = ReadCase(folder / "case.txt");
      const auto flag = [&c](const char* key) { return c[key] == "1"; };
      const std::string clock = c["start_clock"];
      const ClockFields start{std::stoi(clock.substr(0, 4)), std::stoi(clock.substr(5, 2)), std::stoi(clock.substr(8, 2)),
                              std::stoi(clock.substr(11, 2)), std::stoi(clock.substr(14, 2)),
                              std::stoi(clock.substr(17, 2))};
      StationConfig config;
      config.options.parameters = {std::stoi(c["rate"]), std::stoi(c["channels"]), std::stoi(c["gain"])};
      config.options.screenSeconds = std::stoi(c["screen_seconds"]);
      RunOptions& run = config.options.run;
      run.saveStream = flag("save_stream");
      run.saveErrorList = flag("save_errors");
      run.saveShift = flag("save_shift");
      run.loadExtHeader = flag("ext_header");
      run.highPass = flag("high_pass");
      run.resetOffset = flag("reset_offset") && !run.highPass;
      run.autoScale = flag("auto_scale");

      QTemporaryDir caseDir;
      QDir::setCurrent(caseDir.path());
      if (fs::exists(folder / "config.txt")) fs::copy_file(folder / "config.txt", "config.txt");
      FakeDevice device;
      quit_ = false;
      Build(config, device);
      station_->Controller().SetClock([start] { return start; });
      station_->Start();
      QVERIFY2(WaitFor(RunController::Phase::Waiting), folder.c_str());
      std::ifstream in(folder / "input.bin", std::ios::binary);
      const std::string input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      QVERIFY2(SendAll(device, QByteArray(input.data(), static_cast<qsizetype>(input.size()))), folder.c_str());
      QVERIFY2(Quit(), folder.c_str());

      const auto golden = [&folder](const char* name) {
        std::ifstream file(folder / name, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
      };
      if (run.saveErrorList) QCOMPARE(FileBytes("error.csv"), golden("error.csv"));
      if (run.saveShift) QCOMPARE(FileBytes("shift.csv"), golden("shift.csv"));
      const QString name = QString::fromLatin1(golden("name.txt")).trimmed();
      if (!name.isEmpty()) QCOMPARE(FileBytes(name), golden("recording.bin"));
      // The same files are left as the window left, and no others (but the
      // station's own status file and the case's config.txt).
      std::set<std::string> left;
      for (const auto& file : fs::directory_iterator(".")) left.insert(file.path().filename().string());
      left.erase("status.json");
      left.erase("config.txt");
      std::set<std::string> expected;
      std::ifstream view(folder / "view.txt");
      for (std::string line; std::getline(view, line);) {
        if (line.rfind("files=", 0) != 0) continue;
        std::istringstream names(line.substr(6));
        for (std::string file; names >> file;) expected.insert(file);
      }
      QVERIFY2(left == expected, folder.c_str());
      station_.reset();
      QDir::setCurrent(dir_->path());
      ++cases;
    }
    QVERIFY(cases >= 70);
  }

  // Lost and back: the first run's recording is named, a new one starts on
  // the same name, and the log says both.
  void deviceLostAndBackStartsANewRun() {
    std::optional<FakeDevice> device(std::in_place);
    const std::string link = (fs::path(dir_->path().toStdString()) / "voxa0").string();
    fs::create_symlink(device->path, link);
    StationConfig config;
    config.options.run.saveStream = true;
    config.options.run.loadExtHeader = false;
    Build(config, link);
    station_->Start();
    QVERIFY(WaitFor(RunController::Phase::Waiting));
    QCOMPARE(notifier_.Count("READY=1"), 1);
    QVERIFY(SendAll(*device, Stream(3)));
    device.reset();  // unplugged
    QVERIFY(WaitFor(RunController::Phase::Reconnecting));
    QTRY_VERIFY_WITH_TIMEOUT(Logged("recording saved as 03051030.015"), kDeadlineMs);
    QVERIFY(Logged("VOXA lost on " + link));
    FakeDevice again;
    fs::remove(link);
    fs::create_symlink(again.path, link);
    QVERIFY(WaitFor(RunController::Phase::Waiting));
    QVERIFY(Logged(link + " is back"));
    QVERIFY(SendAll(again, Stream(3, 31)));
    QVERIFY(Quit());
    QVERIFY(QFile::exists("03051030.015"));
    QVERIFY(QFile::exists("03051031.015"));  // the second run's own recording
    QCOMPARE(station_->ExitStatus(), kExitDeviceLost);
    QCOMPARE(notifier_.Count("READY=1"), 1);
  }

  // Below the floor the run stops as a failed write would: finished, named,
  // status 6; no new run before there is room again.
  void theDiskFloorEndsTheRunCleanly() {
    FakeDevice device;
    StationConfig config;
    config.options.run.saveStream = true;
    config.options.run.loadExtHeader = false;
    config.diskWarnBytes = 1000;
    config.diskFloorBytes = 100;
    Build(config, device);
    int64_t free = 5000;
    station_->SetFreeSpace([&free](const std::string&) { return std::optional<int64_t>(free); });
    station_->SetRetryInterval(10);
    station_->Start();
    QVERIFY(WaitFor(RunController::Phase::Waiting));
    QVERIFY(SendAll(device, Stream(3)));
    free = 50;
    station_->Tick();
    QVERIFY(WaitFor(RunController::Phase::Failed));
    QTRY_VERIFY_WITH_TIMEOUT(Logged("recording saved as 03051030.015"), kDeadlineMs);
    QVERIFY(Logged("below the floor"));
    QCOMPARE(station_->ExitStatus(), kExitFileNotSaved);
    QVERIFY(QFile::exists("03051030.015"));
    QVERIFY(!QFile::exists(kWorkingRecordingName));
    // Still low (above the floor, below the warning): no new run yet.
    free = 500;
    QTest::qWait(50);
    QCOMPARE(station_->Controller().CurrentPhase(), RunController::Phase::Failed);
    free = 5000;
    QVERIFY(WaitFor(RunController::Phase::Waiting));
    QVERIFY(Quit());
    const std::string status = FileBytes("status.json").toStdString();
    QVERIFY2(status.find("\"exit_status\": 6") != std::string::npos, status.c_str());
  }

  // The pings come from the event loop: a loop that does not run sends none.
  void watchdogPingsStopWhenTheLoopStops() {
    FakeDevice device;
    notifier_.watchdog = 20'000;  // 20 ms: a ping every 10 ms
    Build(StationConfig{}, device);
    station_->Start();
    QTRY_VERIFY_WITH_TIMEOUT(notifier_.Count("WATCHDOG=1") >= 3, kDeadlineMs);
    const int before = notifier_.Count("WATCHDOG=1");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // a hung loop
    QCOMPARE(notifier_.Count("WATCHDOG=1"), before);
    QTRY_VERIFY_WITH_TIMEOUT(notifier_.Count("WATCHDOG=1") > before, kDeadlineMs);
    QVERIFY(Quit());
    QCOMPARE(notifier_.states.back(), std::string("STOPPING=1"));
  }

  // SIGTERM finishes the run: the recording dated and named, status 0.
  void sigtermFinishesTheRun() {
    FakeDevice device;
    StationProgram program(dir_->path());
    QVERIFY(program.Start({"--save-stream", "--save-errors", "--no-ext-header", QString::fromStdString(device.path)}));
    QTRY_VERIFY_WITH_TIMEOUT(program.Err().contains("waiting for the device's stream"), kDeadlineMs);
    QVERIFY(device.Send(Stream(4)));
    QTRY_VERIFY_WITH_TIMEOUT(program.Err().contains("first GPS fix"), kDeadlineMs);
    QTRY_VERIFY_WITH_TIMEOUT(device.Unread() == 0, kDeadlineMs);
    QVERIFY(program.Signal(SIGTERM));
    QVERIFY(program.Ended());
    QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process.exitCode(), kExitOk);
    QVERIFY2(program.Err().contains("notice: recording saved as 03051030.015"), qPrintable(program.err));
    QVERIFY(QFile::exists("03051030.015"));
    QVERIFY(QFile::exists("error.csv"));
    QVERIFY(QFile::exists("status.json"));
  }

  // Killed and started again: the unfinished recording is kept aside, and
  // the archive goes on without a record twice or overlapping another.
  void restartAfterSigkillAppendsCleanly() {
    FakeDevice device;
    const QStringList args{"--save-stream", "--no-ext-header", "--screen-seconds", "2", "--mseed", "archive",
                           QString::fromStdString(device.path)};
    const QByteArray stream = Stream(60);
    const qsizetype half = stream.indexOf('\x90', stream.size() / 2);
    {
      StationProgram first(dir_->path());
      QVERIFY(first.Start(args));
      QTRY_VERIFY_WITH_TIMEOUT(first.Err().contains("waiting for the device's stream"), kDeadlineMs);
      QVERIFY(device.Send(stream.first(half)));
      QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(kWorkingRecordingName).size() > 0 && device.Unread() == 0, kDeadlineMs);
      QTRY_VERIFY_WITH_TIMEOUT(fs::exists("archive/2024"), kDeadlineMs);
      QVERIFY(first.Signal(SIGKILL));
      QVERIFY(first.Ended());
    }
    StationProgram second(dir_->path());
    QVERIFY(second.Start(args));
    QTRY_VERIFY_WITH_TIMEOUT(second.Err().contains("waiting for the device's stream"), kDeadlineMs);
    QVERIFY2(second.Err().contains("warning: Unfinished recording streamdat.bin kept as"), qPrintable(second.err));
    QVERIFY(device.Send(stream.sliced(half)));
    QTRY_VERIFY_WITH_TIMEOUT(device.Unread() == 0, kDeadlineMs);
    QVERIFY(second.Signal(SIGTERM));
    QVERIFY(second.Ended());
    QCOMPARE(second.process.exitCode(), kExitOk);
    int64_t records = 0;
    QCOMPARE(CountOverlaps("archive", records), 0);
    QVERIFY(records > 0);
  }
};

}  // namespace voxa

QTEST_GUILESS_MAIN(voxa::StationRunTest)
#include "station_run_test.moc"
