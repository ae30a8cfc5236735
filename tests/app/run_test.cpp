// Runs over a real pseudo-terminal: the test holds the device side, the real
// serial component opens the other. Each test drives the controller through
// the window's START/STOP and waits on conditions with deadlines.
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "app/click_panel.h"
#include "app/window_style.h"
#include "app/command_line.h"
#include "app/monitor.h"
#include "pty_device.h"
#include "tools/sim_stream.h"

namespace voxa {
namespace {

using Phase = RunController::Phase;
using test::FakeDevice;
using test::kDeadlineMs;
// Where a run fails, in the failure tests.
constexpr int kAtStart = 0, kDeviceGone = 1, kAtFinish = 2;

// What the test asks of the scripted receiver, and what it saw of the runs.
struct Script {
  std::set<size_t> restBefore;  // positions in the fed stream where the receiver asks for a rest
  std::string finishFailure;    // Finish throws IoError with this text when set
  int begun = 0, finished = 0, abandoned = 0;
  uint8_t firstMarker = 0;
  QByteArray fed;
  std::vector<Phase> phases;
  QStringList ended, failures;
  int quitRequests = 0, scans = 0;
};

// Stands in for the stream separator.
class ScriptedReceiver final : public StreamReceiver {
 public:
  explicit ScriptedReceiver(Script& script) : s_(script) {}
  void Begin(uint8_t firstMarker) override {
    ++s_.begun;
    s_.firstMarker = firstMarker;
  }
  size_t Feed(const uint8_t* data, size_t count) override {
    for (size_t i = 0; i < count; ++i) {
      if (s_.restBefore.erase(static_cast<size_t>(s_.fed.size())) != 0) return i;
      s_.fed.append(static_cast<char>(data[i]));
    }
    return count;
  }
  int PauseMilliseconds() const override { return 1000; }
  void Finish() override {
    ++s_.finished;
    if (!s_.finishFailure.empty()) throw IoError(s_.finishFailure);
  }
  void Abandon() override { ++s_.abandoned; }

 private:
  Script& s_;
};

// The colour a widget is drawn with, taken from a pixel near its top right
// corner, where neither caption nor frame reaches.
QColor Painted(QWidget* widget) {
  const QImage image = widget->grab().toImage();
  return image.pixelColor(image.width() - 3, 2);
}

qint64 SizeOf(const char* name) { return QFileInfo::exists(name) ? QFileInfo(name).size() : -1; }

}  // namespace

class RunTest : public QObject {
  Q_OBJECT

 private:
  std::optional<QTemporaryDir> dir_;
  QString previousDir_;
  std::optional<FakeDevice> device_;
  std::unique_ptr<Monitor> monitor_;
  Script s_;

  RunController& Controller() { return monitor_->Controller(); }
  MainWindow& Window() { return monitor_->Window(); }
  const RunPipeline& Pipeline() { return monitor_->Pipeline(); }
  template <typename T = QWidget>
  T* Find(const char* name) {
    T* widget = Window().findChild<T*>(name);
    if (widget == nullptr) qFatal("no control named %s", name);
    return widget;
  }
  QString Text(const char* label) { return Find<QLabel>(label)->text(); }
  QString Caption() { return Find<ClickPanel>("StartPanel")->text(); }
  QString BootText() { return monitor_->Boot().BootMemo()->toPlainText(); }

  // A monitor as the program builds it from its command line, with the clock,
  // the scan and the pauses put under the test's control.
  void Build(const std::vector<std::string>& args = {}, bool scripted = true) {
    const CommandLine commandLine = ParseCommandLine(args);
    if (commandLine.action != CommandAction::Run) qFatal("%s", commandLine.message.c_str());
    monitor_ = std::make_unique<Monitor>(commandLine.options, commandLine.port);
    RunController& c = Controller();
    c.SetClock([] { return ClockFields{2024, 3, 5, 14, 7, 9}; });
    c.SetPortScan(
        [this] {
          ++s_.scans;
          return std::vector<std::string>{};
        },
        [](const std::string&) { return false; });
    c.SetConfigMissingPause(0);
    if (scripted) c.SetReceiverFactory([this](RunPipeline&) { return std::make_unique<ScriptedReceiver>(s_); });
    connect(&c, &RunController::PhaseChanged, this, [this](Phase p) { s_.phases.push_back(p); });
    connect(&c, &RunController::RunEnded, this, [this](const QString& name) { s_.ended << name; });
    connect(&c, &RunController::RunFailed, this, [this](const QString& text) { s_.failures << text; });
    connect(&c, &RunController::QuitRequested, this, [this] { ++s_.quitRequests; });
  }
  // Start-up as the start timer does it, then START on the fake device.
  void Start() {
    Controller().StartTimerTimer();
    Window().SetPortText(device_->path);
    Controller().StartPanelClick();
  }
  bool StartOnDevice() {
    Start();
    return WaitFor(Phase::Waiting);
  }
  bool StartReceiving() {
    return StartOnDevice() && device_->Send("\x90\x01\x02\x03\x04") && WaitFor(Phase::Receiving);
  }
  bool Stop() {
    Controller().StartPanelClick();
    return WaitFor(Phase::Idle);
  }
  bool WaitFor(Phase phase) {
    return QTest::qWaitFor([&] { return Controller().CurrentPhase() == phase; }, kDeadlineMs);
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
    s_ = Script{};
  }
  void cleanup() {
    monitor_.reset();
    device_.reset();
    QDir::setCurrent(previousDir_);
    dir_.reset();
  }

  // The receiver gets the stream from the first marker on, whole: text
  // before the marker is dropped, and bytes arriving during a rest after a
  // header record are queued, not lost. When the rest ends the whole queue
  // is fed, a header record inside it without a rest of its own: no byte
  // waits longer than one rest.
  void theStreamReachesTheReceiverWhole() {
    Build();
    Controller().SetHeaderRestOverride(3600 * 1000);  // the test ends each rest itself
    QVERIFY(StartOnDevice());
    QCOMPARE(Text("StatusBar"), QString("  waiting for VOXA... "));
    QCOMPARE(Painted(Find("StatusBar")), kSilverColour);

    QVERIFY(device_->Send("VOXA boot loader 2.1\r\n\x7f"));
    QTRY_COMPARE_WITH_TIMEOUT(device_->Unread(), 0, kDeadlineMs);
    QCOMPARE(Controller().CurrentPhase(), Phase::Waiting);
    QCOMPARE(Text("StatusBar"), QString("  waiting for VOXA... "));
    QCOMPARE(s_.begun, 0);

    s_.restBefore = {10, 30};
    QByteArray stream;
    for (char i = 0; i < 60; ++i) stream.append(i);
    QVERIFY(device_->Send("\xF0" + stream));
    QTRY_VERIFY_WITH_TIMEOUT(Controller().Resting() && Controller().QueuedBytes() == 50, kDeadlineMs);
    QCOMPARE(Text("StatusBar"), QString("  Connected to VOXA ... "));
    QCOMPARE(Painted(Find("StatusBar")), kYellowColour);
    QCOMPARE(s_.begun, 1);
    QCOMPARE(s_.firstMarker, uint8_t{0xF0});
    QCOMPARE(s_.fed, stream.first(10));

    // The port is read on during the rest, into the queue.
    QVERIFY(device_->Send("\xA0\x41\x42\x43"));
    QTRY_COMPARE_WITH_TIMEOUT(Controller().QueuedBytes(), size_t{54}, kDeadlineMs);
    Controller().EndRest();
    QVERIFY(!Controller().Resting());
    QVERIFY(s_.restBefore.empty());  // the receiver asked for its second rest, and was fed on
    QCOMPARE(Controller().QueuedBytes(), size_t{0});
    QCOMPARE(s_.fed, stream + "\xA0\x41\x42\x43");

    // A header record in bytes just read rests again.
    s_.restBefore = {static_cast<size_t>(s_.fed.size()) + 2};
    QVERIFY(device_->Send("\x80\x01\x02\x03"));
    QTRY_VERIFY_WITH_TIMEOUT(Controller().Resting() && Controller().QueuedBytes() == 2, kDeadlineMs);
  }

  void stopWhileWaitingLeavesAnEmptyRecording() {
    {
      QFile left("streamdat.bin");  // what a failed run leaves behind: START keeps it aside
      QVERIFY(left.open(QIODevice::WriteOnly) && left.write("\xF0HEADER\x90\x01") == 9);
    }
    Build({"--save-stream", "--save-errors"});
    QVERIFY(StartOnDevice());
    QCOMPARE(SizeOf("streamdat-2.bin"), 9);
    QVERIFY(BootText().contains("kept as streamdat-2.bin"));
    QCOMPARE(Caption(), QString("STOP"));
    QCOMPARE(Find<ClickPanel>("StartPanel")->Colour(), kYellowColour);
    QVERIFY(!Find("SaveGroupBox")->isEnabled() && Find("FilterCheckBox")->isEnabled());
    QVERIFY(Pipeline().SavingStream());

    Controller().StartPanelClick();
    // STOP itself only restores the idle look; the run ends right after.
    QCOMPARE(Controller().CurrentPhase(), Phase::Stopping);
    QCOMPARE(Caption(), QString("START"));
    QCOMPARE(Find<ClickPanel>("StartPanel")->Colour(), kAquaColour);
    QCOMPARE(Text("StatusBar"), QString("  Check Port No."));
    QVERIFY(Find("SaveGroupBox")->isEnabled() && Find("PortComboBox")->isEnabled());
    QVERIFY(WaitFor(Phase::Idle));

    QCOMPARE(s_.ended, QStringList{""});
    QCOMPARE(s_.finished, 0);
    QCOMPARE(SizeOf("streamdat.bin"), 0);
    QCOMPARE(SizeOf("error.csv"), 0);
    QVERIFY(!Pipeline().Stream().IsOpen() && !Pipeline().Lists().ErrorListOn());
    QVERIFY(!monitor_->Port().Connected());
    QVERIFY(s_.failures.isEmpty());
  }

  void aFileThatCannotBeCreatedIsSwitchedOff() {
    QVERIFY(QDir().mkdir("streamdat.bin") && QDir().mkdir("shift.csv"));
    Build({"--save-stream", "--save-shift", "--save-errors"});
    QVERIFY(StartOnDevice());  // the run goes on
    for (const char* name : {"SaveStreamCheckBox", "SaveShiftCheckBox"}) {
      QVERIFY2(!Find<QCheckBox>(name)->isChecked(), name);
      QCOMPARE(Painted(Find(name)), kRedColour);
    }
    QVERIFY(Find<QCheckBox>("SaveErrorCheckBox")->isChecked());
    const RunOptions& choices = Controller().Choices();
    QVERIFY(!choices.saveStream && !choices.saveShift && choices.saveErrorList);
    QVERIFY(!Pipeline().SavingStream() && !Pipeline().Lists().ShiftListOn() && Pipeline().Lists().ErrorListOn());
    QCOMPARE(SizeOf("error.csv"), 0);

    // Later runs keep the box unticked (and red) until the operator ticks it.
    QVERIFY(Stop());
    Controller().StartPanelClick();
    QVERIFY(WaitFor(Phase::Waiting));
    QVERIFY(!Pipeline().SavingStream());
    QCOMPARE(Painted(Find("SaveStreamCheckBox")), kRedColour);
  }

  // A simulated stream with one damaged block through the real separator;
  // then a second run, which overwrites the files and starts from zero.
  void twoRunsThroughTheSeparator() {
    Build({"--save-stream", "--save-errors", "--no-ext-header"}, false);
    Controller().SetHeaderRestOverride(0);
    QVERIFY(StartOnDevice());
    sim::SimOptions sim;
    sim.preamble = "VOXA starting\r\n";
    sim.bootLines = {"VOXA boot", "GPS ok"};
    sim.faults = {{sim::FaultKind::kDropByte, 0, 5, 0}};
    QVERIFY(device_->Send(sim::GenerateStream(sim, 4)));
    // The header record's rest is passed without losing a byte: only the damaged block is an error.
    QTRY_VERIFY_WITH_TIMEOUT(Pipeline().Statistics().GoodBlocks() >= 398, kDeadlineMs);
    QCOMPARE(Pipeline().Statistics().BlockErrors(), 1);
    QCOMPARE(Text("BlockErrorLabel"), QString("1"));
    QCOMPARE(Text("DevNoLabel"), QString("015"));
    QCOMPARE(Text("VersionLabel"), QString("V2.07"));
    // The device's header replaces config.txt, also for later runs.
    QVERIFY(!Find<QCheckBox>("LoadExtCheckBox")->isChecked() && !Controller().Choices().loadExtHeader);
    QCOMPARE(Painted(Find("LoadExtCheckBox")), kLimeColour);
    QVERIFY(monitor_->Boot().isVisible());
    QVERIFY(BootText().contains("VOXA boot\nGPS ok"));

    QVERIFY(Stop());
    QCOMPARE(s_.ended.size(), 1);
    const QString name = s_.ended.front();
    QFile recording(name);
    QVERIFY(!name.isEmpty() && recording.open(QIODevice::ReadOnly));
    QVERIFY(!recording.readAll().contains("VOXA starting"));
    QVERIFY(!QFileInfo::exists("streamdat.bin"));
    QVERIFY(SizeOf("error.csv") > 0);
    QVERIFY(s_.failures.isEmpty());
    QVERIFY(BootText().endsWith("Recording saved as " + name));  // the operator is told where it went

    Window().ShowLabel(Label::Noise1, "stale");
    Window().ShowLabel(Label::GpsClock, "stale");
    Controller().StartPanelClick();
    QVERIFY(WaitFor(Phase::Waiting));
    QCOMPARE((QList<qint64>{SizeOf("error.csv"), SizeOf("streamdat.bin")}), (QList<qint64>{0, 0}));
    const BlockStatistics& statistics = Pipeline().Statistics();
    QCOMPARE((QList<int64_t>{statistics.GoodBlocks(), statistics.BlockErrors(), statistics.SecondErrors(),
                             statistics.RateErrors(), Pipeline().ScreenState().SampleIndex(),
                             static_cast<int64_t>(Pipeline().Stream().Pending().size())}),
             (QList<int64_t>{0, 0, 0, 0, 0, 0}));
    QCOMPARE((QStringList{Text("BlockErrorLabel"), Text("SecErrorLabel"), Text("spsErrorLabel"), Text("Noise1Label"),
                          Text("GPSLabel")}),
             (QStringList{"0", "0", "0", "", ""}));
  }

  // The Noise window after a run of the simulated device's model noise: each
  // channel's latest PSD, its percentile band and the models; its sensor
  // fields set the pipeline's sensor for the next run, and bad ones are
  // refused with the reason.
  void theNoiseWindowShowsTheRunsPsd() {
    Build({"--rate", "50", "--no-ext-header", "--sensitivity", "28.8"}, false);
    Controller().SetHeaderRestOverride(0);
    QVERIFY(StartOnDevice());
    sim::SimOptions sim;
    sim.rate = 50;
    sim.amplitude = 0;
    sim.noiseModel = sim::ParseNoiseLevel("nlnm+30dB");
    sim.sensitivity = 28.8;
    QVERIFY(device_->Send(sim::GenerateStream(sim, 330)));
    QTRY_COMPARE_WITH_TIMEOUT(device_->Unread(), 0, kDeadlineMs);
    QTRY_VERIFY_WITH_TIMEOUT(Pipeline().Statistics().GoodBlocks() >= 50 * 325, kDeadlineMs);
    QVERIFY(Stop());
    QCOMPARE(Pipeline().NoiseChannels(), 3);
    QVERIFY(Pipeline().Noise(0).WindowsDone() >= 1);

    QTest::mouseClick(Find("NoisePanel"), Qt::LeftButton);
    NoiseWindow& noise = monitor_->Noise();
    QVERIFY(noise.isVisible());
    const NoisePicture& picture = noise.Picture();
    QCOMPARE(picture.latest.size(), size_t{3});
    for (size_t ch = 0; ch < 3; ++ch) {
      QVERIFY(picture.latest[ch].size() > 10);
      QVERIFY(picture.band[ch].size() == 2 * picture.latest[ch].size());
    }
    QVERIFY(!picture.lowModel.empty() && !picture.highModel.empty());
    QCOMPARE(picture.unitLine, std::string("dB re 1 (m/s\u00b2)\u00b2/Hz"));
    if (const QByteArray dir = qgetenv("VOXA_SCREENSHOT_DIR"); !dir.isEmpty()) {
      QVERIFY(noise.grab().save(QString::fromUtf8(dir) + "/noise-window.png"));
    }

    noise.findChild<QLineEdit*>("SensitivityEdit")->setText("abc");
    QTest::mouseClick(noise.findChild<QPushButton*>("SensorApplyButton"), Qt::LeftButton);
    QVERIFY(noise.findChild<QLabel*>("SensorLine")->text().contains("'abc' is not a positive number"));
    QCOMPARE(Pipeline().NoiseSettings().sensor.sensitivity, 28.8);
    noise.findChild<QLineEdit*>("SensitivityEdit")->setText("2.5");
    noise.findChild<QComboBox*>("SensorUnitBox")->setCurrentText("m/s**2");
    QTest::mouseClick(noise.findChild<QPushButton*>("SensorApplyButton"), Qt::LeftButton);
    QCOMPARE(Pipeline().NoiseSettings().sensor.sensitivity, 2.5);
    QVERIFY(Pipeline().NoiseSettings().sensor.unit == SensorUnit::Acceleration);
    noise.findChild<QLineEdit*>("SensitivityEdit")->clear();
    QTest::mouseClick(noise.findChild<QPushButton*>("SensorApplyButton"), Qt::LeftButton);
    QVERIFY(!Pipeline().NoiseSettings().sensor.Present());
    QCOMPARE(noise.findChild<QLabel*>("SensorLine")->text(), QString::fromUtf8("Next run: no sensor: V\u00b2/Hz"));
  }

  void startDuringWindDownWaitsForTheRunEnd() {
    Build();
    QVERIFY(StartReceiving());
    s_.phases.clear();
    Controller().StartPanelClick();  // STOP
    Controller().StartPanelClick();  // START before the run has ended
    QCOMPARE(Controller().CurrentPhase(), Phase::Stopping);
    QVERIFY(!Find("StartPanel")->isEnabled());
    QCOMPARE(s_.finished, 0);

    QVERIFY(WaitFor(Phase::Waiting));
    QCOMPARE(s_.phases, (std::vector<Phase>{Phase::Stopping, Phase::Idle, Phase::Preparing, Phase::Waiting}));
    QCOMPARE(s_.finished, 1);
    QCOMPARE(s_.ended.size(), 1);
    QCOMPARE(Caption(), QString("STOP"));
    QVERIFY(monitor_->Port().Connected());
  }

  void missingConfigPausesWithStartLocked() {
    Build();  // "Ext. Header" ticked, no config.txt here
    Start();
    QCOMPARE(Controller().CurrentPhase(), Phase::Preparing);
    QCOMPARE(Text("StatusBar"), QString(" Ext. Header File missed; Screen Params loaded "));
    QVERIFY(!Find<QCheckBox>("LoadExtCheckBox")->isChecked());
    QCOMPARE(Painted(Find("LoadExtCheckBox")), kRedColour);
    QVERIFY(!Find("StartPanel")->isEnabled());
    Controller().StartPanelClick();  // nothing can start twice
    QCOMPARE(Controller().CurrentPhase(), Phase::Preparing);
    QVERIFY(WaitFor(Phase::Waiting));
    QCOMPARE(std::count(s_.phases.begin(), s_.phases.end(), Phase::Preparing), 1);
  }

  // A failure at START, during a run or while finishing it is reported, and
  // leaves the port and every file closed.
  void aFailureEndsTheRunAndClosesEverything_data() {
    QTest::addColumn<int>("when");
    QTest::addColumn<QString>("failure");
    QTest::newRow("no port to open at START") << kAtStart << "Unable to open com port";
    QTest::newRow("the device goes away") << kDeviceGone << "VOXA lost on ";
    QTest::newRow("finishing the recording fails at STOP") << kAtFinish << "Cannot write the recording";
  }
  void aFailureEndsTheRunAndClosesEverything() {
    QFETCH(int, when);
    QFETCH(QString, failure);
    Build({"--save-stream", "--save-errors", "--save-shift", "--no-ext-header"});
    if (when == kAtStart) {
      Controller().StartTimerTimer();  // the scan found no port
      QCOMPARE(Window().PortText(), std::string("No ser. Port"));
      Controller().StartPanelClick();
    } else {
      if (when == kAtFinish) s_.finishFailure = failure.toStdString();
      QVERIFY(StartReceiving());
      if (when == kDeviceGone) device_->HangUp();
      if (when == kAtFinish) Controller().StartPanelClick();
    }
    QVERIFY(WaitFor(when == kAtFinish ? Phase::Idle : Phase::Failed));
    QCOMPARE(s_.failures.size(), 1);
    QVERIFY2(s_.failures.front().startsWith(failure), qPrintable(s_.failures.front()));
    QVERIFY(Window().findChild<QWidget*>("FailureBox") != nullptr);
    // A lost device ends the run as STOP does; only a failing finish abandons it.
    QCOMPARE(s_.finished, when == kAtStart ? 0 : 1);
    QCOMPARE(s_.abandoned, when == kAtFinish ? 1 : 0);
    QVERIFY(!Pipeline().Stream().IsOpen() && !Pipeline().Lists().ErrorListOn() && !Pipeline().Lists().ShiftListOn());
    QVERIFY(!monitor_->Port().Connected());
    if (when == kAtStart) {  // nothing was created, the status was cleared
      QVERIFY(!QFileInfo::exists("streamdat.bin"));
      QCOMPARE(Text("StatusBar"), QString(""));
    }
    if (when == kAtFinish) return;

    // The window keeps the run's look until STOP.
    QCOMPARE(Caption(), QString("STOP"));
    QVERIFY(!Find("SaveGroupBox")->isEnabled());
    Controller().StartPanelClick();
    QCOMPARE(Controller().CurrentPhase(), Phase::Idle);
    QCOMPARE(Caption(), QString("START"));
    QVERIFY(Find("SaveGroupBox")->isEnabled());
  }

  void theScanListsThePortsThatOpen() {
    Build();
    Controller().SetPortScan([] { return std::vector<std::string>{"ttyS0", "ttyS1", "ttyUSB0", "ttyACM3"}; },
                             [](const std::string& name) { return name == "ttyS1" || name == "ttyACM3"; });
    Controller().StartTimerTimer();
    auto* box = Find<QComboBox>("PortComboBox");
    QCOMPARE(box->count(), 2);
    QCOMPARE(box->itemText(0), QString("ttyS1"));
    QCOMPARE(box->currentText(), QString("ttyACM3"));
    QVERIFY(box->isEnabled());
    QCOMPARE(Controller().CurrentPhase(), Phase::Idle);
    QCOMPARE(Text("StatusBar"), QString("  Check Port No."));
    QCOMPARE(Painted(Find("StatusBar")), kYellowColour);
    QVERIFY(Find("StartPanel")->isEnabled());
    QCOMPARE(Find<ClickPanel>("StartPanel")->Colour(), kAquaColour);
  }

  void aCommandLinePortStartsAtOnceWithoutAScan() {
    Build({"--no-ext-header", device_->path});
    Controller().StartTimerTimer();
    QCOMPARE(s_.scans, 0);
    QCOMPARE(Controller().CurrentPhase(), Phase::Waiting);
    auto* box = Find<QComboBox>("PortComboBox");
    QVERIFY(!box->isEnabled());
    QCOMPARE(box->count(), 0);
    QVERIFY(Stop());
    QVERIFY(box->isEnabled());
    QCOMPARE(box->currentText(), QString::fromStdString(device_->path));
  }

  void closingTheWindowDuringARunWaitsForStop() {
    Build({"--save-stream", "--no-ext-header"});
    Window().show();
    QVERIFY(StartOnDevice());
    QVERIFY(!Window().close());
    QVERIFY(Window().isVisible());
    QVERIFY(device_->Send("\x90\x01\x02\x03\x04\x80"));
    QVERIFY(WaitFor(Phase::Receiving));  // the run goes on
    QCOMPARE(s_.quitRequests, 0);
    QVERIFY(Stop());
    QCOMPARE(s_.quitRequests, 1);
    QCOMPARE(s_.finished, 1);
  }

  void theProgramEndsOnSigtermAndRefusesBadOptions() {
    QProcess program;
    program.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);

    program.start(VOXA_MONITOR_EXECUTABLE, {"--rate", "300", "ttyS0"});
    QVERIFY(program.waitForFinished(kDeadlineMs));
    QCOMPARE(program.exitCode(), 2);
    QVERIFY(program.readAll().contains("invalid value '300' for --rate"));

    program.start(VOXA_MONITOR_EXECUTABLE, {"--save-stream", "--no-ext-header", QString::fromStdString(device_->path)});
    QVERIFY(program.waitForStarted(kDeadlineMs));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists("streamdat.bin"), kDeadlineMs);  // waiting for the device
    program.terminate();  // SIGTERM
    QVERIFY(program.waitForFinished(kDeadlineMs));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(SizeOf("streamdat.bin"), 0);
  }
};

}  // namespace voxa

QTEST_MAIN(voxa::RunTest)
#include "run_test.moc"
