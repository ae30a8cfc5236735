// Nothing received is lost, and nothing unsaved is reported saved: runs over
// a real pseudo-terminal through the real pipeline, ended by STOP, by the
// stop signals, by a lost device and by a disk that fails or stalls (a test
// disk under the writer), and the program itself killed or short of a
// directory it may write. Every saved file is compared with what a whole
// run of the same bytes straight through the pipeline saves.
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>

#include <libmseed.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "app/click_panel.h"
#include "app/command_line.h"
#include "app/monitor.h"
#include "app/window_style.h"
#include "mseed/recording_converter.h"
#include "pty_device.h"
#include "support/test_file_store.h"
#include "tools/sim_stream.h"

namespace voxa {
namespace {

namespace fs = std::filesystem;
using Phase = RunController::Phase;
using test::FakeDevice;
using test::kDeadlineMs;

const ClockFields kClock{2024, 3, 5, 14, 7, 9};
const QString kClockText = "2024-03-05 14:07:09";
const std::vector<std::string> kSaveAll = {"--save-stream", "--save-errors", "--save-shift", "--no-ext-header"};

QByteArray Stream(int seconds, const std::vector<sim::Fault>& faults = {}) {
  sim::SimOptions options;
  options.start = {2024, 3, 5, 10, 30, 0};
  options.preamble = "VOXA starting\r\n";
  options.bootLines = {"VOXA boot", "GPS ok"};
  options.faults = faults;
  const std::vector<uint8_t> bytes = sim::GenerateStream(options, seconds);
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

QByteArray FileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What a run saves.
struct Saved {
  QString name;
  QByteArray recording, errors, shifts;
};

// The whole stream straight through the pipeline, as the controller drives
// it with these options, its files written at once.
Saved WholeRun(const QByteArray& bytes, const std::vector<std::string>& args) {
  QTemporaryDir dir;
  test::TestFileStore store;
  store.SkipSyncs();
  FileWriter writer(store);
  NullHost host;
  Raster raster(100, 60);
  RunPipeline pipeline(host, raster);
  const MonitorOptions options = ParseCommandLine(args).options;
  pipeline.Configure(options);
  pipeline.UseWriter(writer);
  pipeline.StartRun(options.run, dir.filePath("config.txt").toStdString());
  pipeline.Arm(kClock);
  pipeline.OpenOutputs(OutputPaths::In(dir.path().toStdString()));
  qsizetype at = 0;
  while (at < bytes.size() && static_cast<uint8_t>(bytes[at]) < 0x80) ++at;
  pipeline.StartStream(static_cast<uint8_t>(bytes[at++]));
  while (at < bytes.size()) {
    at += static_cast<qsizetype>(
        pipeline.Feed(reinterpret_cast<const uint8_t*>(bytes.data()) + at, static_cast<size_t>(bytes.size() - at)));
  }
  pipeline.Finish();
  pipeline.CloseOutputs();
  Saved saved;
  saved.name = QString::fromStdString(pipeline.SavedRecording());
  saved.recording = FileBytes(dir.filePath(saved.name));
  saved.errors = FileBytes(dir.filePath("error.csv"));
  saved.shifts = FileBytes(dir.filePath("shift.csv"));
  return saved;
}

// Every record of every day file under root as libmseed reads it, and
// mseed2sac run over each file: the samples of channel EHZ, or -1 when a
// file is not read to its end or mseed2sac fails on it.
int64_t ReadArchiveSamples(const QString& root) {
  if (!fs::is_directory(root.toStdString())) return -1;
  int64_t samples = 0;
  for (const auto& entry : fs::recursive_directory_iterator(root.toStdString())) {
    // A day file whose first write failed is empty: nothing to read.
    if (!entry.is_regular_file() || entry.file_size() == 0) continue;
    const std::string path = entry.path().string();
    MSFileParam* param = nullptr;
    MSRecord* msr = nullptr;
    int status = MS_NOERROR;
    while ((status = ms_readmsr_r(&param, &msr, path.c_str(), 0, nullptr, nullptr, 1, 1, 0)) == MS_NOERROR) {
      if (path.find(".EHZ.") != std::string::npos) samples += msr->numsamples;
    }
    ms_readmsr_r(&param, &msr, nullptr, 0, nullptr, nullptr, 0, 0, 0);
    if (status != MS_ENDOFFILE) return -1;
    const std::string command = "cd '" + entry.path().parent_path().string() + "' && mseed2sac '" + path +
                                "' >/dev/null 2>&1 && rm -f *.SAC";
    if (std::system(command.c_str()) != 0) return -1;
  }
  return samples;
}

// The program itself, offscreen, in dir.
struct Program {
  explicit Program(const QString& dir) {
    process.setWorkingDirectory(dir);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(environment);
  }
  bool Start(const std::vector<std::string>& args) {
    QStringList list;
    for (const std::string& arg : args) list << QString::fromStdString(arg);
    process.start(VOXA_MONITOR_EXECUTABLE, list);
    return process.waitForStarted(kDeadlineMs);
  }
  // Everything the program wrote to its terminal so far.
  QString Err() {
    err += QString::fromLocal8Bit(process.readAllStandardError());
    return err;
  }
  QString Out() {
    out += QString::fromLocal8Bit(process.readAllStandardOutput());
    return out;
  }
  bool Signal(int number) { return kill(static_cast<pid_t>(process.processId()), number) == 0; }
  bool Ended() { return process.waitForFinished(kDeadlineMs); }

  QProcess process;
  QString err, out;
};

}  // namespace

class RunEndTest : public QObject {
  Q_OBJECT

 private:
  std::optional<QTemporaryDir> dir_;
  QString previousDir_;
  std::optional<FakeDevice> device_;
  std::unique_ptr<test::TestFileStore> store_;
  std::unique_ptr<Monitor> monitor_;
  QStringList ended_, failures_, noted_;

  RunController& Controller() { return monitor_->Controller(); }
  const RunPipeline& Pipeline() { return monitor_->Pipeline(); }
  template <typename T = QWidget>
  T* Find(const char* name) {
    T* widget = monitor_->Window().findChild<T*>(name);
    if (widget == nullptr) qFatal("no control named %s", name);
    return widget;
  }
  QString StatusText() { return Find<QLabel>("StatusBar")->text(); }
  QString BootText() { return monitor_->Boot().BootMemo()->toPlainText(); }
  QString InDir(const QString& name) { return QDir::current().absoluteFilePath(name); }

  // The monitor as the program builds it, on the test's disk and clock.
  void Build(const std::vector<std::string>& args) {
    const CommandLine commandLine = ParseCommandLine(args);
    if (commandLine.action != CommandAction::Run) qFatal("%s", commandLine.message.c_str());
    monitor_ = std::make_unique<Monitor>(commandLine.options, commandLine.port);
    RunController& c = Controller();
    c.SetClock([] { return kClock; });
    c.SetConfigMissingPause(0);
    c.SetHeaderRestOverride(0);
    c.SetFileStore(*store_);
    // The tests sync the outputs themselves, where it matters.
    c.SetSyncInterval(3600 * 1000);
    // Only the reconnect watch asks whether a port can be opened.
    c.SetPortScan([] { return std::vector<std::string>{}; }, ComPortAvailable);
    connect(&c, &RunController::RunEnded, this, [this](const QString& name) { ended_ << name; });
    connect(&c, &RunController::RunFailed, this, [this](const QString& text) { failures_ << text; });
    connect(&c, &RunController::Noted, this, [this](const QString& line) { noted_ << line; });
  }
  bool StartOnDevice() {
    Controller().StartTimerTimer();
    monitor_->Window().SetPortText(device_->path);
    Controller().StartPanelClick();
    return WaitFor(Phase::Waiting);
  }
  bool WaitFor(Phase phase) {
    return QTest::qWaitFor([&] { return Controller().CurrentPhase() == phase; }, kDeadlineMs);
  }
  // Sends the bytes and waits until the run has read them all.
  bool SendRead(FakeDevice& device, const QByteArray& bytes) {
    const int64_t before = Controller().Reads().bytes;
    const auto read = [&] { return Controller().Reads().bytes == before + bytes.size(); };
    return device.Send(bytes) && QTest::qWaitFor(read, kDeadlineMs);
  }
  // The same, and until the rest after the header record is over and every
  // byte went through the pipeline.
  bool SendAll(const QByteArray& bytes) { return SendAll(*device_, bytes); }
  bool SendAll(FakeDevice& device, const QByteArray& bytes) {
    return SendRead(device, bytes) &&
           QTest::qWaitFor([&] { return !Controller().Resting() && Controller().QueuedBytes() == 0; }, kDeadlineMs);
  }
  void CompareSaved(const Saved& expected) {
    QCOMPARE(ended_, QStringList{expected.name});
    QCOMPARE(FileBytes(expected.name), expected.recording);
    QCOMPARE(FileBytes("error.csv"), expected.errors);
    QCOMPARE(FileBytes("shift.csv"), expected.shifts);
    QVERIFY(!QFileInfo::exists(kWorkingRecordingName));
  }

 private slots:
  void initTestCase() {
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    InstallFontFallbacks();
  }
  void init() {
    previousDir_ = QDir::currentPath();
    QDir::setCurrent(dir_.emplace().path());
    device_.emplace();
    store_ = std::make_unique<test::TestFileStore>();
    ended_.clear();
    failures_.clear();
    noted_.clear();
  }
  void cleanup() {
    store_->Release();
    monitor_.reset();
    device_.reset();
    store_.reset();
    QDir::setCurrent(previousDir_);
    dir_.reset();
  }

  // STOP during the rest after the device's header record: what was queued
  // during the rest and what still waits in the port are recorded.
  void stopDuringAHeaderRestTakesTheQueueAndThePort() {
    Build(kSaveAll);
    Controller().SetHeaderRestOverride(3600 * 1000);
    QVERIFY(StartOnDevice());
    const QByteArray stream = Stream(4, {{sim::FaultKind::kDropByte, 1, 5, 0}});
    const qsizetype tail = 2000;
    QVERIFY(SendRead(*device_, stream.first(stream.size() - tail)));
    QVERIFY(Controller().Resting() && Controller().QueuedBytes() > 0);
    // The last bytes reach the port, and STOP comes before they are read.
    QCOMPARE(write(device_->master, stream.data() + stream.size() - tail, tail), tail);
    QVERIFY(device_->Waiting(static_cast<int>(tail)));
    Controller().StartPanelClick();
    QVERIFY(WaitFor(Phase::Idle));
    QCOMPARE(Controller().Reads().bytes, static_cast<int64_t>(stream.size()));
    CompareSaved(WholeRun(stream, kSaveAll));
    QVERIFY(failures_.isEmpty());
    QCOMPARE(Controller().ExitStatus(), kExitOk);
  }

  // Line noise full of header markers: only a header record in bytes just
  // read starts a rest, so one rest passes every queued byte however many
  // markers the noise carries, and the good stream after it is recorded.
  void noiseFullOfHeaderMarkersNeverPutsTheRunBehind() {
    Build({"--save-stream", "--no-ext-header"});
    Controller().SetHeaderRestOverride(3600 * 1000);
    QVERIFY(StartOnDevice());
    const QByteArray good = Stream(3);
    QByteArray noise;
    std::mt19937 random(7);
    for (int i = 0; i < 5000; ++i) noise.append(i % 700 == 350 ? '\xF0' : static_cast<char>(random() % 0x80));
    const qsizetype second = good.indexOf('\x90', good.indexOf('\x90') + 1);
    const QByteArray stream = good.first(second) + noise + good.sliced(second);
    QVERIFY(SendRead(*device_, stream));
    QVERIFY(Controller().Resting());
    Controller().EndRest();
    QVERIFY(!Controller().Resting());
    QCOMPARE(Controller().QueuedBytes(), size_t{0});
    Controller().StartPanelClick();
    QVERIFY(WaitFor(Phase::Idle));
    const Saved expected = WholeRun(stream, {"--save-stream", "--no-ext-header"});
    QCOMPARE(ended_, QStringList{expected.name});
    QCOMPARE(FileBytes(expected.name), expected.recording);
  }

  // The program, ten seconds of stream sent at once and SIGTERM while it
  // rests after the header record: everything is recorded, and the name
  // comes from the GPS records.
  void sigtermWhileDataWaitsSavesEverything() {
    Program program(dir_->path());
    const std::vector<std::string> args = kSaveAll;
    std::vector<std::string> withPort = args;
    withPort.push_back(device_->path);
    withPort.insert(withPort.begin(), {"--mseed", "archive"});
    QVERIFY(program.Start(withPort));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(kWorkingRecordingName), kDeadlineMs);
    const QByteArray stream = Stream(10);
    QVERIFY(device_->Send(stream));  // into the program's rest and its port
    QVERIFY(program.Signal(SIGTERM));
    QVERIFY(program.Ended());
    QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process.exitCode(), kExitOk);
    const Saved expected = WholeRun(stream, args);
    QCOMPARE(expected.name, QString("03051030.015"));
    QVERIFY2(program.Out().contains("voxa-monitor: Recording saved as " + expected.name), qPrintable(program.out));
    ended_ << expected.name;
    CompareSaved(expected);
    // The archive too is closed out whole: ten seconds at 100 sps.
    QCOMPARE(ReadArchiveSamples("archive"), int64_t{1000});
  }

  // The live archive is closed out by every end of a run: its day files are
  // read whole by libmseed and mseed2sac and hold every sample sent.
  void theArchiveIsClosedOutByStopAndADeviceLoss_data() {
    QTest::addColumn<bool>("lost");
    QTest::newRow("STOP") << false;
    QTest::newRow("device lost") << true;
  }
  void theArchiveIsClosedOutByStopAndADeviceLoss() {
    QFETCH(bool, lost);
    Build({"--mseed", "archive", "--no-ext-header"});
    QVERIFY(StartOnDevice());
    QVERIFY(Pipeline().SavingArchive());
    QVERIFY(SendAll(Stream(3)));
    if (lost) {
      device_->HangUp();
      QVERIFY(WaitFor(Phase::Failed));
    } else {
      Controller().StartPanelClick();
      QVERIFY(WaitFor(Phase::Idle));
    }
    QVERIFY(!Pipeline().SavingArchive());
    QCOMPARE(Pipeline().Archive().files.size(), size_t{6});  // three channels, LCE, LCQ and GNS
    QCOMPARE(ReadArchiveSamples("archive"), int64_t{300});
    QCOMPARE(Controller().ExitStatus(), lost ? kExitDeviceLost : kExitOk);
  }

  // A day file that cannot be written ends the run as a failed recording
  // does: named with its reason, the status says a file was not saved, and
  // what reached the other files stays readable.
  void aFailedArchiveWriteIsNamedAndEndsTheRun() {
    store_->FailWrites("XX.V015..EHN.D.2024.065", ENOSPC);
    Build({"--mseed", "archive", "--no-ext-header"});
    QVERIFY(StartOnDevice());
    // Long enough for records to fill during the run.
    QVERIFY(device_->Send(Stream(30)));
    QVERIFY(WaitFor(Phase::Failed));
    QCOMPARE(failures_.size(), 1);
    QVERIFY2(failures_.front().contains("XX.V015..EHN.D.2024.065") &&
                 failures_.front().contains("No space left on device"),
             qPrintable(failures_.front()));
    QVERIFY(StatusText().contains("No space left on device"));
    QCOMPARE(Controller().ExitStatus(), kExitFileNotSaved);
    QVERIFY(ReadArchiveSamples("archive") > 0);
  }

  // An archive directory that cannot be made: the box is off for the run,
  // the reason is told, and the status says a file could not be created.
  void anArchiveThatCannotBeCreatedIsOffForTheRun() {
    Build({"--mseed", "/proc/voxa-archive", "--no-ext-header"});
    QVERIFY(StartOnDevice());
    QCOMPARE(noted_.size(), 1);
    QVERIFY2(noted_.front().startsWith("Cannot create the miniSEED archive in /proc/voxa-archive: ") &&
                 noted_.front().endsWith("; \"Save miniSEED\" is off for this run"),
             qPrintable(noted_.front()));
    QVERIFY(!Find<QCheckBox>("SaveMseedCheckBox")->isChecked());
    QVERIFY(!Pipeline().SavingArchive());
    Controller().StartPanelClick();
    QVERIFY(WaitFor(Phase::Idle));
    QCOMPARE(Controller().ExitStatus(), kExitFileNotCreated);
  }

  // Every read-out of the main window by name (the status bar aside).
  std::map<QString, QString> ReadOuts() {
    std::map<QString, QString> shown;
    for (const QLabel* label : monitor_->Window().findChildren<QLabel*>()) {
      if (!label->objectName().isEmpty() && label->objectName() != "StatusBar") {
        shown[label->objectName()] = label->text();
      }
    }
    return shown;
  }
  // A monitor that replays path (as fast as it goes) and has ended.
  bool Replay(const std::vector<std::string>& args, const std::string& path, Phase end = Phase::Idle) {
    monitor_.reset();
    Build(args);
    Controller().SetReplay(path, 0);
    Controller().StartTimerTimer();
    return WaitFor(end);
  }

  // A recording the pipeline made, replayed: the window ends with the same
  // read-outs as the live run did, and with --mseed the archive is the one
  // voxa-convert makes of it, byte for byte. The file is only read.
  // STOP may come in the middle of a block: the replay ends on that block
  // as the run did, not on the end-time record the run wrote after it.
  void aReplayShowsWhatTheLiveRunShowedAndConvertsAsVoxaConvert_data() {
    QTest::addColumn<bool>("midBlock");
    QTest::newRow("STOP after whole records") << false;
    QTest::newRow("STOP in the middle of a block") << true;
  }
  void aReplayShowsWhatTheLiveRunShowedAndConvertsAsVoxaConvert() {
    QFETCH(bool, midBlock);
    const std::vector<sim::Fault> faults = {{sim::FaultKind::kDropByte, 1, 5, 0},
                                            {sim::FaultKind::kBrokenGps, 2, 0, 0},
                                            {sim::FaultKind::kBlockCount, 3, 0, 120}};
    Build({"--save-stream", "--save-errors", "--no-ext-header"});
    QVERIFY(StartOnDevice());
    QByteArray stream = Stream(6, faults);
    if (midBlock) {
      // Five payload bytes into the last sample block.
      const qsizetype lastBlock = std::max(stream.lastIndexOf('\x80'), stream.lastIndexOf('\x90'));
      stream.truncate(lastBlock + 6);
    }
    QVERIFY(SendAll(stream));
    Controller().StartPanelClick();
    QVERIFY(WaitFor(Phase::Idle));
    const std::map<QString, QString> live = ReadOuts();
    QCOMPARE(live.at("BlockErrorLabel"), QString("1"));
    const std::string recording = InDir(ended_.front()).toStdString();
    const QByteArray recorded = FileBytes(ended_.front());
    QVERIFY(QFile::rename("error.csv", "live-error.csv"));

    QVERIFY(Replay({"--mseed", "replayed", "--save-errors"}, recording));
    QCOMPARE(ReadOuts(), live);
    QCOMPARE(StatusText(), QString::fromStdString("  End of " + recording + " "));
    QCOMPARE(FileBytes("error.csv"), FileBytes("live-error.csv"));
    QCOMPARE(FileBytes(ended_.front()), recorded);
    QVERIFY(failures_.isEmpty());
    QCOMPARE(Controller().ExitStatus(), kExitOk);

    MseedSettings settings;
    settings.directory = InDir("converted").toStdString();
    RecordingConverter converter(settings);
    const ConversionResult converted = converter.Convert(recording);
    QVERIFY(converted.usable);
    QCOMPARE(Pipeline().Archive().files, converted.archive.files);
    for (const std::string& file : converted.archive.files) {
      QVERIFY(!FileBytes(QString::fromStdString("converted/" + file)).isEmpty());
      QCOMPARE(FileBytes(QString::fromStdString("replayed/" + file)),
               FileBytes(QString::fromStdString("converted/" + file)));
    }
  }

  // At speed 1 the file goes out as the line would carry it: the replay's
  // clock (a seam) says how much is due.
  void aReplayIsPacedByItsClock() {
    Build({"--save-stream", "--no-ext-header"});
    QVERIFY(StartOnDevice());
    QVERIFY(SendAll(Stream(5)));
    Controller().StartPanelClick();
    QVERIFY(WaitFor(Phase::Idle));
    const std::string recording = InDir(ended_.front()).toStdString();
    monitor_.reset();
    Build({});
    int64_t now = 0;
    Controller().SetReplayClock([&now] { return now; });
    Controller().SetReplay(recording, 1);
    Controller().StartTimerTimer();
    QVERIFY(WaitFor(Phase::Waiting));
    QTest::qWait(100);
    QCOMPARE(Controller().Reads().bytes, int64_t{0});
    // One second of 100 sps × 3 channels: 100 blocks of 13 bytes and 80 of records.
    now = 1'000'000;
    QTRY_COMPARE_WITH_TIMEOUT(Controller().Reads().bytes, int64_t{1380}, kDeadlineMs);
    QTest::qWait(100);
    QCOMPARE(Controller().Reads().bytes, int64_t{1380});
    now = 60'000'000;
    QVERIFY(WaitFor(Phase::Idle));
    // All of it but the end-time record and end byte the run wrote at STOP.
    QCOMPARE(Controller().Reads().bytes, QFileInfo(QString::fromStdString(recording)).size() - 57);
  }

  // Files that are no recording, or not a whole one: what is wrong is told,
  // an unusable file gives status 7, and a recording cut short is shown as
  // far as it goes.
  void aBadFileToReplayIsToldWithItsStatus_data() {
    QTest::addColumn<QByteArray>("content");  // "-": no such file
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("opened");
    QTest::addColumn<int>("status");
    QTest::newRow("missing") << QByteArray("-") << "cannot be read: No such file or directory" << false
                             << kExitReplayUnusable;
    QTest::newRow("empty") << QByteArray() << "is empty: not a recording" << false << kExitReplayUnusable;
    QTest::newRow("not a recording") << QByteArray("hello\n") << "does not begin with the header record" << false
                                     << kExitReplayUnusable;
    QTest::newRow("a header and nothing else") << QByteArray("\xF0S_RATE=100;CH_NUM=3;\xEF")
                                               << "holds no sample blocks" << true << kExitReplayUnusable;
    QTest::newRow("cut short") << QByteArray("cut") << "does not end with the end byte (0xEF)" << true << kExitOk;
  }
  void aBadFileToReplayIsToldWithItsStatus() {
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QFETCH(bool, opened);
    QFETCH(int, status);
    if (content == "cut") {
      Build({"--save-stream", "--no-ext-header"});
      QVERIFY(StartOnDevice());
      QVERIFY(SendAll(Stream(3)));
      Controller().StartPanelClick();
      QVERIFY(WaitFor(Phase::Idle));
      content = FileBytes(ended_.front());
      content.chop(content.size() / 3);
      ended_.clear();
    }
    const QString path = InDir("played.bin");
    if (content != "-") {
      QFile file(path);
      QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    QVERIFY(Replay({"--save-stream"}, path.toStdString(), opened ? Phase::Idle : Phase::Failed));
    const QString told = (failures_ + noted_).join("\n");
    QVERIFY2(told.contains(path) && told.contains(message), qPrintable(told));
    QCOMPARE(Controller().ExitStatus(), status);
    if (content != "-") QCOMPARE(FileBytes(path), content);  // only read
  }

  // A lost device ends the run as STOP does; the loss is shown with its time.
  void aLostDeviceFinishesTheRecordingAsStopWould() {
    Build(kSaveAll);
    QVERIFY(StartOnDevice());
    const QByteArray stream = Stream(3, {{sim::FaultKind::kBrokenGps, 1, 0, 0}});
    QVERIFY(SendAll(stream));
    device_->HangUp();
    QVERIFY(WaitFor(Phase::Failed));
    const QString loss = "VOXA lost on " + QString::fromStdString(device_->path) + " at " + kClockText +
                         ": ReadFile function failed (Error: 5): Input/output error";
    QCOMPARE(failures_, QStringList{loss});
    QCOMPARE(StatusText(), " " + loss + " ");
    CompareSaved(WholeRun(stream, kSaveAll));
    QVERIFY(BootText().contains(loss + "\nRecording saved as " + ended_.front()));
    QCOMPARE(Controller().ExitStatus(), kExitDeviceLost);
    QCOMPARE(Find<ClickPanel>("StartPanel")->text(), QString("STOP"));
    Controller().StartPanelClick();
    QCOMPARE(Controller().CurrentPhase(), Phase::Idle);
  }

  // With Reconnect, the lost port is watched; when it is back a new run
  // starts with the same settings into a new recording, unless STOP came first.
  void reconnectStartsANewRunWhenThePortIsBack_data() {
    QTest::addColumn<bool>("stopFirst");
    QTest::newRow("the port comes back") << false;
    QTest::newRow("STOP while it is away") << true;
  }
  void reconnectStartsANewRunWhenThePortIsBack() {
    QFETCH(bool, stopFirst);
    // The stable name the adapter keeps, whichever terminal it gets.
    const std::string link = InDir("usb-VOXA_adapter-if00-port0").toStdString();
    fs::create_symlink(device_->path, link);
    std::vector<std::string> args = kSaveAll;
    args.insert(args.end(), {"--reconnect", link});
    Build(args);
    Controller().SetReconnectInterval(10);
    QVERIFY(Find<QCheckBox>("ReconnectCheckBox")->isChecked());
    Controller().StartTimerTimer();
    QVERIFY(WaitFor(Phase::Waiting));
    const QByteArray stream = Stream(2);
    QVERIFY(SendAll(stream));

    fs::remove(link);
    device_->HangUp();
    QVERIFY(WaitFor(Phase::Reconnecting));
    const QString loss = "VOXA lost on " + QString::fromStdString(link) + " at " + kClockText;
    QVERIFY2(BootText().contains(loss), qPrintable(BootText()));
    QCOMPARE(ended_, QStringList{"03051030.015"});
    QCOMPARE(FileBytes(ended_.front()), WholeRun(stream, args).recording);
    QCOMPARE(Find<ClickPanel>("StartPanel")->text(), QString("STOP"));
    QVERIFY(Controller().WatchingForPort());
    if (stopFirst) {
      Controller().StartPanelClick();
      QCOMPARE(Controller().CurrentPhase(), Phase::Idle);
      QVERIFY(!Controller().WatchingForPort());  // nothing can start a run now
    }

    FakeDevice again;
    fs::create_symlink(again.path, link);
    if (stopFirst) return;
    QVERIFY(WaitFor(Phase::Waiting));
    QVERIFY(noted_.contains(QString::fromStdString(link) + " is back at " + kClockText + "; a new run starts"));
    QVERIFY(BootText().contains(" is back at "));
    QVERIFY(SendAll(again, stream));
    Controller().StartPanelClick();
    QVERIFY(WaitFor(Phase::Idle));
    QCOMPARE(ended_, (QStringList{"03051030.015", "03051030-2.015"}));
    QCOMPARE(FileBytes("03051030-2.015"), FileBytes("03051030.015"));
    // The lists go on from the run the lost device ended.
    const Saved whole = WholeRun(stream, args);
    QCOMPARE(FileBytes("shift.csv"), whole.shifts + whole.shifts);
  }

  // A file that cannot be written (a full disk, a medium gone, a recording
  // removed) ends the run: the failure names the file and the reason, what
  // reached the disk stays, and a recording that is not whole is not called saved.
  void aFailingDiskIsNamedAndNothingUnsavedIsCalledSaved_data() {
    QTest::addColumn<QString>("fault");
    QTest::newRow("disk full") << "full";
    QTest::newRow("medium gone under the error list") << "gone";
    QTest::newRow("recording removed") << "removed";
  }
  void aFailingDiskIsNamedAndNothingUnsavedIsCalledSaved() {
    QFETCH(QString, fault);
    Build(kSaveAll);
    QVERIFY(StartOnDevice());
    const QByteArray stream = Stream(3, {{sim::FaultKind::kDropByte, 1, 5, 0}});
    const Saved expected = WholeRun(stream, kSaveAll);
    const QString recording = InDir(kWorkingRecordingName);
    QString failure;
    if (fault == "full") {
      store_->FailWrites(kWorkingRecordingName, ENOSPC, 2000);
      failure = "Cannot write to '" + recording + "': No space left on device";
    } else if (fault == "gone") {
      // The writes went to the system's cache; the sync finds the medium gone.
      store_->FailSyncs("error.csv", EIO);
      failure = "Cannot write to '" + InDir("error.csv") + "': Input/output error";
    } else {
      failure = "'" + recording + "' was removed while it was written";
    }
    QVERIFY(SendAll(stream));
    if (fault == "removed") QVERIFY(QFile::remove(kWorkingRecordingName));
    Controller().SyncOutputs();  // as the sync timer does twice a second
    QVERIFY(WaitFor(Phase::Failed));
    QVERIFY2(!failures_.isEmpty() && failures_.front().startsWith(failure), qPrintable(failures_.join("|")));
    QCOMPARE(StatusText(), " " + failure + " ");
    QCOMPARE(Controller().ExitStatus(), kExitFileNotSaved);
    if (fault == "gone") {
      // The recording itself is whole.
      QCOMPARE(ended_, QStringList{expected.name});
      QCOMPARE(FileBytes(expected.name), expected.recording);
    } else {
      QCOMPARE(ended_, QStringList{""});
      QVERIFY(!BootText().contains("Recording saved"));
    }
    if (fault == "full") {
      // What fitted is on the disk, finished as far as the disk allows.
      QVERIFY(failures_.front().endsWith("Recording " + expected.name + " is incomplete"));
      QCOMPARE(FileBytes(expected.name), expected.recording.first(2000));
    }
    if (fault == "removed") QVERIFY(QDir().entryList({"0*"}).isEmpty());

    // The program goes on: STOP, and a new run once the disk is sound.
    Controller().StartPanelClick();
    QCOMPARE(Controller().CurrentPhase(), Phase::Idle);
    store_->FailWrites(kWorkingRecordingName, 0, INT64_MAX);
    store_->FailSyncs("error.csv", 0);
    Controller().ChoiceClicked(Choice::SaveStream, true);
    Controller().StartPanelClick();
    QVERIFY(WaitFor(Phase::Waiting));
    QVERIFY(Pipeline().SavingStream());
  }

  // A disk that takes nothing for seconds: the port is read on, the bytes
  // wait in memory, and STOP's finishing waits for the disk without holding
  // up the window; when the disk is back the files are whole.
  void aStalledDiskNeverStopsTheReading() {
    Build(kSaveAll);
    QVERIFY(StartOnDevice());
    store_->Stall();
    const QByteArray stream = Stream(20);
    QVERIFY(SendAll(stream.first(stream.size() / 4)));
    Controller().SyncOutputs();
    QTRY_VERIFY_WITH_TIMEOUT(store_->Stalling(), kDeadlineMs);
    QVERIFY(SendAll(stream.sliced(stream.size() / 4)));
    QTRY_COMPARE_WITH_TIMEOUT(Pipeline().Statistics().GoodBlocks(), 1999, kDeadlineMs);
    Controller().SyncOutputs();
    QVERIFY(Controller().Writer().QueuedBytes() > 10000);
    QVERIFY(store_->Stalling());

    Controller().StartPanelClick();
    QTRY_VERIFY_WITH_TIMEOUT(!Pipeline().Stream().IsOpen(), kDeadlineMs);  // the finishing steps are handed over
    QCOMPARE(Controller().CurrentPhase(), Phase::Stopping);
    QVERIFY(Controller().RunInProgress());
    QCOMPARE(Find<ClickPanel>("StartPanel")->text(), QString("START"));
    store_->Release();
    QVERIFY(WaitFor(Phase::Idle));
    CompareSaved(WholeRun(stream, kSaveAll));
  }

  // The program killed after twenty seconds of stream: its files hold
  // everything the sync had reached, readable as they are.
  void sigkillLeavesEverythingSyncedReadable() {
    Program program(dir_->path());
    std::vector<std::string> withPort = kSaveAll;
    withPort.push_back(device_->path);
    QVERIFY(program.Start(withPort));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(kWorkingRecordingName), kDeadlineMs);
    const QByteArray stream = Stream(20);
    QVERIFY(device_->Send(stream));
    const Saved expected = WholeRun(stream, kSaveAll);
    // All but the end-time record, the end byte and the last block, which
    // is whole only when the next marker has come.
    const qsizetype lastBlock = stream.size() - stream.lastIndexOf('\x80');
    const qsizetype synced = expected.recording.size() - 56 - 1 - lastBlock;
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(kWorkingRecordingName).size(), synced, kDeadlineMs);
    QTRY_COMPARE_WITH_TIMEOUT(FileBytes("shift.csv"), expected.shifts, kDeadlineMs);
    QVERIFY(program.Signal(SIGKILL));
    QVERIFY(program.Ended());
    QCOMPARE(FileBytes(kWorkingRecordingName), expected.recording.first(synced));
    QCOMPARE(FileBytes("error.csv"), expected.errors);
  }

  // A run from the command line that cannot create its files or open its
  // port says why on the terminal, and the program's status says so.
  void whatCannotBeOpenedIsToldAndTheStatusSaysSo_data() {
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("status");
    // sysfs takes no new files, not even from root: a directory nobody may write.
    QTest::newRow("a directory nobody may write")
        << "/sys" << ""
        << QStringList{"Cannot create '/sys/error.csv': Permission denied; \"Save Err List\" is off for this run",
                       "Cannot create '/sys/shift.csv': Permission denied; \"Save Shift\" is off for this run",
                       "Cannot create '/sys/streamdat.bin': Permission denied; \"Save Stream\" is off for this run"}
        << kExitFileNotCreated;
    QTest::newRow("no such port") << "" << "/dev/voxa-no-such-port"
                                  << QStringList{"Unable to open com port (Error: 2): No such file or directory "
                                                 "(port /dev/voxa-no-such-port)"}
                                  << kExitPortNotOpened;
  }
  void whatCannotBeOpenedIsToldAndTheStatusSaysSo() {
    QFETCH(QString, where);
    QFETCH(QString, port);
    QFETCH(QStringList, lines);
    QFETCH(int, status);
    Program program(where.isEmpty() ? dir_->path() : where);
    std::vector<std::string> args = kSaveAll;
    args.push_back(port.isEmpty() ? device_->path : port.toStdString());
    QVERIFY(program.Start(args));
    for (const QString& line : lines) {
      QTRY_VERIFY2_WITH_TIMEOUT(program.Err().contains("voxa-monitor: " + line + "\n"), qPrintable(program.err),
                                kDeadlineMs);
    }
    QVERIFY(program.Signal(SIGTERM));
    QVERIFY(program.Ended());
    QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process.exitCode(), status);
  }

  // Shutdown is single: stop signals that follow the first while the run
  // ends are ignored, and none of them kills the program.
  void signalsDuringShutdownAreIgnored() {
    for (int attempt = 0; attempt < 5; ++attempt) {
      QFile::remove(kWorkingRecordingName);  // its creation says the handlers are in place
      Program program(dir_->path());
      QVERIFY(program.Start({"--save-stream", "--no-ext-header", device_->path}));
      QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(kWorkingRecordingName), kDeadlineMs);
      while (program.process.state() != QProcess::NotRunning) {
        program.Signal(attempt % 2 == 0 ? SIGINT : SIGTERM);
        program.process.waitForFinished(1);
      }
      QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
      QCOMPARE(program.process.exitCode(), kExitOk);
    }
  }

  // An unfinished recording that cannot be moved aside is never truncated:
  // the run records nothing, and says why.
  void anUnfinishedRecordingThatCannotBeMovedAsideIsKept() {
    {
      QFile left(kWorkingRecordingName);
      QVERIFY(left.open(QIODevice::WriteOnly) && left.write("\xF0HEADER\x90\x01") == 9);
    }
    store_->FailRenames(EACCES);
    Build(kSaveAll);
    QVERIFY(StartOnDevice());
    QCOMPARE(noted_, QStringList{"Cannot move the unfinished recording '" + InDir(kWorkingRecordingName) +
                                 "' aside: Permission denied; \"Save Stream\" is off for this run"});
    QVERIFY(!Find<QCheckBox>("SaveStreamCheckBox")->isChecked());
    QVERIFY(!Pipeline().SavingStream());
    QVERIFY(SendAll(Stream(1)));
    Controller().StartPanelClick();
    QVERIFY(WaitFor(Phase::Idle));
    QCOMPARE(FileBytes(kWorkingRecordingName), QByteArray("\xF0HEADER\x90\x01"));
    QCOMPARE(ended_, QStringList{""});
    QCOMPARE(Controller().ExitStatus(), kExitFileNotCreated);
  }
};

}  // namespace voxa

QTEST_MAIN(voxa::RunEndTest)
#include "run_end_test.moc"
