// Runs over a real pseudo-terminal: the test holds the device side, the real
// serial component opens the other. Each test drives the controller through
// the window's START/STOP and waits on conditions with deadlines.
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <set>
#include <vector>

#include "app/click_panel.h"
#include "app/look.h"
#include "app/monitor.h"
#include "tools/sim_stream.h"

namespace voxa {
namespace {

using Phase = RunController::Phase;
constexpr int kDeadlineMs = 10000;

// The device side of a pseudo-terminal.
class FakeDevice {
 public:
  FakeDevice() {
    char name[128] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) qFatal("openpty failed");
    path_ = name;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~FakeDevice() {
    HangUp();
    close(slave_);
  }
  const std::string& Path() const { return path_; }

  // Writes everything, letting the program read while the line is full.
  bool Send(const std::vector<uint8_t>& bytes) {
    size_t sent = 0;
    return QTest::qWaitFor(
        [&] {
          while (sent < bytes.size()) {
            const ssize_t n = write(master_, bytes.data() + sent, bytes.size() - sent);
            if (n <= 0) return false;
            sent += static_cast<size_t>(n);
          }
          return true;
        },
        kDeadlineMs);
  }
  bool Send(const std::string& text) { return Send(std::vector<uint8_t>(text.begin(), text.end())); }
  // Bytes sent that the program has not read yet.
  int Unread() const {
    int count = 0;
    ioctl(slave_, FIONREAD, &count);
    return count;
  }
  void HangUp() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

// Stands in for the stream separator: records what it is given and asks for
// rests at chosen positions of the stream it has taken.
struct Script {
  int begun = 0;
  uint8_t firstMarker = 0;
  std::vector<uint8_t> fed;
  std::set<size_t> restBefore;
  int finished = 0;
  int abandoned = 0;
  std::string finishFailure;  // Finish throws IoError with this text when set
};

class ScriptedReceiver final : public StreamReceiver {
 public:
  explicit ScriptedReceiver(Script& script) : script_(script) {}
  void Begin(uint8_t firstMarker) override {
    ++script_.begun;
    script_.firstMarker = firstMarker;
  }
  size_t Feed(const uint8_t* data, size_t count) override {
    for (size_t i = 0; i < count; ++i) {
      const auto rest = script_.restBefore.find(script_.fed.size());
      if (rest != script_.restBefore.end()) {
        script_.restBefore.erase(rest);
        return i;
      }
      script_.fed.push_back(data[i]);
    }
    return count;
  }
  int PauseMilliseconds() const override { return 1000; }
  std::string Finish() override {
    ++script_.finished;
    if (!script_.finishFailure.empty()) throw IoError(script_.finishFailure);
    return "";
  }
  void Abandon() override { ++script_.abandoned; }

 private:
  Script& script_;
};

// The colour a widget is drawn with, taken from a pixel near its top right
// corner, where neither caption nor frame reaches.
QColor Painted(QWidget* widget) {
  const QImage image = widget->grab().toImage();
  return image.pixelColor(image.width() - 3, 2);
}

std::vector<uint8_t> Bytes(std::initializer_list<int> values) { return {values.begin(), values.end()}; }

}  // namespace

class RunTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  QString previousDir_;
  std::unique_ptr<FakeDevice> device_;
  std::unique_ptr<Monitor> monitor_;
  Script script_;
  std::vector<Phase> phases_;
  QStringList ended_;
  QStringList failures_;
  int quitRequests_ = 0;
  int scans_ = 0;

  RunController& Controller() { return monitor_->Controller(); }
  TVelmoraForm& Form() { return monitor_->Form(); }
  Acquisition& A() { return monitor_->State(); }
  template <typename T = QWidget>
  T* Find(const char* name) {
    T* widget = Form().findChild<T*>(name);
    if (widget == nullptr) qFatal("no control named %s", name);
    return widget;
  }
  QString Status() { return Find<QLabel>("StatusBar")->text(); }
  QString Caption() { return Find<ClickPanel>("StartPanel")->text(); }

  // A monitor as the program builds it, with the clock, the scan and the
  // pauses put under the test's control.
  void Build(StartOptions options = {}, bool scripted = true) {
    monitor_ = std::make_unique<Monitor>(options);
    RunController& c = Controller();
    c.SetClock([] { return ClockFields{2024, 3, 5, 14, 7, 9, 123}; });
    c.SetPortScan([this] { ++scans_; return std::vector<std::string>{}; }, [](const std::string&) { return false; });
    c.SetConfigMissingPause(0);
    if (scripted) {
      c.SetReceiverFactory([this](Acquisition&, Host&, Surface&) { return std::make_unique<ScriptedReceiver>(script_); });
    }
    connect(&c, &RunController::PhaseChanged, this, [this](Phase p) { phases_.push_back(p); });
    connect(&c, &RunController::RunEnded, this, [this](const QString& name) { ended_ << name; });
    connect(&c, &RunController::RunFailed, this, [this](const QString& text) { failures_ << text; });
    connect(&c, &RunController::QuitRequested, this, [this] { ++quitRequests_; });
  }
  // Start-up as the start timer does it, then START on the fake device;
  // true once the run waits for the device.
  bool StartOnDevice() {
    Controller().StartTimerTimer();
    Form().SetPortText(device_->Path());
    Controller().StartPanelClick();
    return WaitFor(Phase::Waiting);
  }
  bool WaitFor(Phase phase) {
    return QTest::qWaitFor([&] { return Controller().CurrentPhase() == phase; }, kDeadlineMs);
  }
  static qint64 SizeOf(const char* name) { return QFileInfo(name).exists() ? QFileInfo(name).size() : -1; }

 private slots:
  void initTestCase() {
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    InstallFontFallbacks();
  }
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    previousDir_ = QDir::currentPath();
    QDir::setCurrent(dir_->path());
    device_ = std::make_unique<FakeDevice>();
    script_ = Script{};
    phases_.clear();
    ended_.clear();
    failures_.clear();
    quitRequests_ = 0;
    scans_ = 0;
  }
  void cleanup() {
    monitor_.reset();
    device_.reset();
    QDir::setCurrent(previousDir_);
    dir_.reset();
  }

  void textBeforeTheFirstMarkerIsDropped() {
    Build();
    QVERIFY(StartOnDevice());
    QCOMPARE(Status(), QString("  waiting for VOXA... "));
    QCOMPARE(Painted(Find("StatusBar")), kSilverColour);

    QVERIFY(device_->Send("VOXA boot loader 2.1\r\n\x7f"));
    QTRY_COMPARE_WITH_TIMEOUT(device_->Unread(), 0, kDeadlineMs);
    QCOMPARE(Controller().CurrentPhase(), Phase::Waiting);
    QCOMPARE(Status(), QString("  waiting for VOXA... "));
    QCOMPARE(script_.begun, 0);

    const std::vector<uint8_t> stream = Bytes({0x90, 0x01, 0x02, 0x03, 0x04, 0x80, 0x7f, 0x10});
    QVERIFY(device_->Send(stream));
    QVERIFY(WaitFor(Phase::Receiving));
    QCOMPARE(Status(), QString("  Connected to VOXA ... "));
    QCOMPARE(Painted(Find("StatusBar")), kYellowColour);
    QCOMPARE(script_.begun, 1);
    QCOMPARE(script_.firstMarker, uint8_t{0x90});
    QTRY_COMPARE_WITH_TIMEOUT(script_.fed.size(), stream.size() - 1, kDeadlineMs);
    QVERIFY(std::equal(script_.fed.begin(), script_.fed.end(), stream.begin() + 1));
  }

  void restAfterAHeaderLosesNoByte() {
    Build();
    Controller().SetHeaderRestOverride(3600 * 1000);  // the test ends each rest itself
    QVERIFY(StartOnDevice());
    script_.restBefore = {10, 30};
    std::vector<uint8_t> stream{0xF0};
    for (int i = 0; i < 60; ++i) stream.push_back(static_cast<uint8_t>(i));
    QVERIFY(device_->Send(stream));
    QTRY_VERIFY_WITH_TIMEOUT(Controller().Resting() && Controller().QueuedBytes() == 50, kDeadlineMs);
    QCOMPARE(script_.fed.size(), size_t{10});

    // The port is read on during the rest, into the queue.
    const std::vector<uint8_t> more = Bytes({0xA0, 0x41, 0x42, 0x43});
    QVERIFY(device_->Send(more));
    QTRY_COMPARE_WITH_TIMEOUT(Controller().QueuedBytes(), size_t{54}, kDeadlineMs);

    Controller().EndRest();  // the queue asks for the second rest
    QVERIFY(Controller().Resting());
    QCOMPARE(script_.fed.size(), size_t{30});
    Controller().EndRest();
    QVERIFY(!Controller().Resting());
    QCOMPARE(Controller().QueuedBytes(), size_t{0});

    stream.insert(stream.end(), more.begin(), more.end());
    QCOMPARE(script_.fed, std::vector<uint8_t>(stream.begin() + 1, stream.end()));
  }

  void stopWhileWaitingLeavesAnEmptyRecording() {
    StartOptions options;
    options.saveStream = true;
    options.saveErrors = true;
    Build(options);
    QVERIFY(StartOnDevice());
    QCOMPARE(Caption(), QString("STOP"));
    QCOMPARE(Find<ClickPanel>("StartPanel")->Colour(), kYellowColour);
    QVERIFY(!Find("SaveGroupBox")->isEnabled());
    QVERIFY(Find("FilterCheckBox")->isEnabled());
    QVERIFY(A().StreamFile.IsOpen());

    Controller().StartPanelClick();
    // STOP itself only restores the idle look; the run ends right after.
    QCOMPARE(Controller().CurrentPhase(), Phase::Stopping);
    QCOMPARE(Caption(), QString("START"));
    QCOMPARE(Find<ClickPanel>("StartPanel")->Colour(), kAquaColour);
    QCOMPARE(Status(), QString("  Check Port No."));
    QVERIFY(Find("SaveGroupBox")->isEnabled() && Find("PortComboBox")->isEnabled());
    QVERIFY(A().StopRequested);
    QVERIFY(WaitFor(Phase::Idle));

    QCOMPARE(ended_, QStringList{""});
    QCOMPARE(script_.finished, 0);
    QCOMPARE(SizeOf("streamdat.bin"), 0);
    QCOMPARE(SizeOf("error.csv"), 0);
    QVERIFY(!A().StreamFile.IsOpen() && !A().ErrorFile.IsOpen());
    QVERIFY(!monitor_->Port().Connected());
    QVERIFY(failures_.isEmpty());
  }

  void anUnfinishedRecordingIsKeptAsideAtStart() {
    {
      QFile left("streamdat.bin");  // what a failed run leaves behind
      QVERIFY(left.open(QIODevice::WriteOnly));
      left.write("\xF0HEADER\x90\x01");
    }
    StartOptions options;
    options.saveStream = true;
    Build(options);
    QVERIFY(StartOnDevice());
    QCOMPARE(SizeOf("streamdat.bin"), 0);
    QCOMPARE(SizeOf("streamdat-2.bin"), 9);
    QVERIFY(monitor_->Boot().findChild<QPlainTextEdit*>("BootMemo")->toPlainText().contains("kept as streamdat-2.bin"));
    Controller().StartPanelClick();
    QVERIFY(WaitFor(Phase::Idle));
  }

  void aFileThatCannotBeCreatedIsSwitchedOff() {
    QVERIFY(QDir().mkdir("streamdat.bin"));
    QVERIFY(QDir().mkdir("shift.csv"));
    StartOptions options;
    options.saveStream = true;
    options.saveShift = true;
    options.saveErrors = true;
    Build(options);
    QVERIFY(StartOnDevice());
    QCOMPARE(Controller().CurrentPhase(), Phase::Waiting);  // the run goes on
    for (const char* name : {"SaveStreamCheckBox", "SaveShiftCheckBox"}) {
      auto* box = Find<QCheckBox>(name);
      QVERIFY2(!box->isChecked(), name);
      QCOMPARE(Painted(box), kRedColour);
    }
    QVERIFY(Find<QCheckBox>("SaveErrorCheckBox")->isChecked());
    QVERIFY(!A().SaveStream && !A().SaveShift && A().SaveErrorList);
    QCOMPARE(SizeOf("error.csv"), 0);

    // Later runs keep the box unticked (and red) until the operator ticks it.
    Controller().StartPanelClick();
    QVERIFY(WaitFor(Phase::Idle));
    Controller().StartPanelClick();
    QVERIFY(WaitFor(Phase::Waiting));
    QVERIFY(!A().SaveStream);
    QCOMPARE(Painted(Find("SaveStreamCheckBox")), kRedColour);
  }

  void aSecondRunOverwritesTheFilesAndStartsFromZero() {
    StartOptions options;
    options.saveErrors = true;
    options.saveStream = true;
    options.extHeader = false;
    Build(options, false);  // the real separator
    Controller().SetHeaderRestOverride(0);
    QVERIFY(StartOnDevice());
    sim::SimOptions sim;
    sim.channels = 1;
    sim.rate = 50;
    sim.faults = {{sim::FaultKind::kDropByte, 0, 5, 0}};
    QVERIFY(device_->Send(sim::GenerateStream(sim, 2)));
    QTRY_VERIFY_WITH_TIMEOUT(A().GoodBlocks >= 60 && A().BlockErrors == 1, kDeadlineMs);
    QCOMPARE(Find<QLabel>("BlockErrorLabel")->text(), QString("1"));
    Controller().StartPanelClick();
    QVERIFY(WaitFor(Phase::Idle));
    QVERIFY(SizeOf("error.csv") > 0);
    Form().ShowLabel(Label::Noise1, "stale");
    Form().ShowLabel(Label::GpsClock, "stale");

    Controller().StartPanelClick();
    QVERIFY(WaitFor(Phase::Waiting));
    QCOMPARE(SizeOf("error.csv"), 0);
    QCOMPARE(SizeOf("streamdat.bin"), 0);
    QCOMPARE((std::vector<int32_t>{A().GoodBlocks, A().BlockErrors, A().SecErrors, A().SpsErrors, A().SampleIndex,
                                   A().RawCount}),
             (std::vector<int32_t>{0, 0, 0, 0, 0, 0}));
    for (const char* name : {"BlockErrorLabel", "SecErrorLabel", "spsErrorLabel"}) {
      QCOMPARE(Find<QLabel>(name)->text(), QString("0"));
    }
    QCOMPARE(Find<QLabel>("Noise1Label")->text(), QString());
    QCOMPARE(Find<QLabel>("GPSLabel")->text(), QString());
  }

  void aWholeStreamThroughTheSeparator() {
    StartOptions options;
    options.saveStream = true;
    options.extHeader = false;
    Build(options, false);
    Controller().SetHeaderRestOverride(0);
    QVERIFY(StartOnDevice());
    sim::SimOptions sim;
    sim.channels = 3;
    sim.rate = 100;
    sim.preamble = "VOXA starting\r\n";
    sim.boot_lines = {"VOXA boot", "GPS ok"};
    QVERIFY(device_->Send(sim::GenerateStream(sim, 4)));
    // The header record's rest is passed without losing a byte: every block arrives whole.
    QTRY_VERIFY_WITH_TIMEOUT(A().GoodBlocks >= 399, kDeadlineMs);
    QCOMPARE(A().BlockErrors, 0);
    QCOMPARE(Find<QLabel>("DevNoLabel")->text(), QString("015"));
    QVERIFY(monitor_->Boot().isVisible());

    Controller().StartPanelClick();
    QVERIFY(WaitFor(Phase::Idle));
    QCOMPARE(ended_.size(), 1);
    const QString name = ended_.front();
    QVERIFY(!name.isEmpty());
    QFile recording(name);
    QVERIFY(recording.open(QIODevice::ReadOnly));
    QVERIFY(!recording.readAll().contains("VOXA starting"));
    QVERIFY(!QFileInfo::exists("streamdat.bin"));
    QVERIFY(failures_.isEmpty());
    // The operator is told where the recording went.
    QVERIFY(monitor_->Boot().findChild<QPlainTextEdit*>("BootMemo")->toPlainText().endsWith("Recording saved as " + name));
  }

  void startDuringWindDownWaitsForTheRunEnd() {
    Build();
    QVERIFY(StartOnDevice());
    QVERIFY(device_->Send(Bytes({0x90, 1, 2, 3, 4})));
    QVERIFY(WaitFor(Phase::Receiving));
    phases_.clear();

    Controller().StartPanelClick();  // STOP
    Controller().StartPanelClick();  // START before the run has ended
    QCOMPARE(Controller().CurrentPhase(), Phase::Stopping);
    QVERIFY(!Find("StartPanel")->isEnabled());
    QCOMPARE(script_.finished, 0);

    QVERIFY(WaitFor(Phase::Waiting));
    QCOMPARE(phases_, (std::vector<Phase>{Phase::Stopping, Phase::Idle, Phase::Preparing, Phase::Waiting}));
    QCOMPARE(script_.finished, 1);
    QCOMPARE(ended_.size(), 1);
    QCOMPARE(Caption(), QString("STOP"));
    QVERIFY(monitor_->Port().Connected());
  }

  void missingConfigPausesWithStartLocked() {
    Build();  // "Ext. Header" ticked, no config.txt here
    Controller().StartTimerTimer();
    Form().SetPortText(device_->Path());
    Controller().StartPanelClick();
    QCOMPARE(Controller().CurrentPhase(), Phase::Preparing);
    QCOMPARE(Status(), QString(" Ext. Header File missed; Screen Params loaded "));
    auto* loadExt = Find<QCheckBox>("LoadExtCheckBox");
    QVERIFY(!loadExt->isChecked());
    QCOMPARE(Painted(loadExt), kRedColour);
    QVERIFY(!Find("StartPanel")->isEnabled());
    Controller().StartPanelClick();  // nothing can start twice
    QCOMPARE(Controller().CurrentPhase(), Phase::Preparing);
    QVERIFY(WaitFor(Phase::Waiting));
    QCOMPARE(std::count(phases_.begin(), phases_.end(), Phase::Preparing), 1);
  }

  void aPortThatCannotBeOpenedFailsTheStart() {
    StartOptions options;
    options.saveStream = true;
    options.extHeader = false;
    Build(options);
    Controller().StartTimerTimer();
    QCOMPARE(Form().PortText(), std::string("No ser. Port"));
    Controller().StartPanelClick();
    QCOMPARE(Controller().CurrentPhase(), Phase::Failed);
    QCOMPARE(failures_.size(), 1);
    QVERIFY2(failures_.front().startsWith("Unable to open com port"), qPrintable(failures_.front()));
    QCOMPARE(Caption(), QString("STOP"));
    QCOMPARE(Status(), QString(""));
    QVERIFY(!Find("SaveGroupBox")->isEnabled());
    QVERIFY(!QFileInfo::exists("streamdat.bin"));
    QVERIFY(Form().findChild<QWidget*>("FailureBox") != nullptr);

    Controller().StartPanelClick();
    QCOMPARE(Controller().CurrentPhase(), Phase::Idle);
    QCOMPARE(Caption(), QString("START"));
    QVERIFY(Find("SaveGroupBox")->isEnabled());
  }

  void aDeviceThatGoesAwayEndsTheRun() {
    StartOptions options;
    options.saveShift = true;
    options.extHeader = false;
    Build(options);
    QVERIFY(StartOnDevice());
    QVERIFY(device_->Send(Bytes({0x90, 1, 2, 3, 4})));
    QVERIFY(WaitFor(Phase::Receiving));
    device_->HangUp();
    QVERIFY(WaitFor(Phase::Failed));
    QCOMPARE(failures_.size(), 1);
    QCOMPARE(script_.abandoned, 1);
    QVERIFY(!A().ShiftFile.IsOpen());
    QVERIFY(!monitor_->Port().Connected());
    QCOMPARE(Caption(), QString("STOP"));
    Controller().StartPanelClick();
    QCOMPARE(Controller().CurrentPhase(), Phase::Idle);
  }

  void theScanListsThePortsThatOpen() {
    Build();
    Controller().SetPortScan([] { return std::vector<std::string>{"ttyS0", "ttyS1", "ttyUSB0", "ttyACM3"}; },
                             [](const std::string& name) { return name == "ttyS1" || name == "ttyACM3"; });
    QCOMPARE(Status(), QString("     Scanning Ports...   WAIT "));
    Controller().StartTimerTimer();
    auto* box = Find<QComboBox>("PortComboBox");
    QCOMPARE(box->count(), 2);
    QCOMPARE(box->itemText(0), QString("ttyS1"));
    QCOMPARE(box->currentText(), QString("ttyACM3"));
    QVERIFY(box->isEnabled());
    QCOMPARE(Status(), QString("  Check Port No."));
    QCOMPARE(Painted(Find("StatusBar")), kYellowColour);
    QVERIFY(Find("StartPanel")->isEnabled());
    QCOMPARE(Find<ClickPanel>("StartPanel")->Colour(), kAquaColour);
    QCOMPARE(Controller().CurrentPhase(), Phase::Idle);
  }

  void aCommandLinePortStartsAtOnceWithoutAScan() {
    StartOptions options;
    options.hasPort = true;
    options.extHeader = false;
    Build(options);
    Controller().SetCommandLinePort(device_->Path());
    Controller().StartTimerTimer();
    QCOMPARE(scans_, 0);
    QCOMPARE(Controller().CurrentPhase(), Phase::Waiting);
    auto* box = Find<QComboBox>("PortComboBox");
    QVERIFY(!box->isEnabled());
    QCOMPARE(box->count(), 0);
    Controller().StartPanelClick();
    QVERIFY(WaitFor(Phase::Idle));
    QVERIFY(box->isEnabled());
    QCOMPARE(box->currentText(), QString::fromStdString(device_->Path()));
  }

  void closingTheWindowDuringARunWaitsForStop() {
    StartOptions options;
    options.extHeader = false;
    options.saveStream = true;
    Build(options);
    Form().show();
    QVERIFY(StartOnDevice());
    QVERIFY(!Form().close());
    QVERIFY(Form().isVisible());
    QVERIFY(device_->Send(Bytes({0x90, 1, 2, 3, 4, 0x80})));
    QVERIFY(WaitFor(Phase::Receiving));  // the run goes on
    QCOMPARE(quitRequests_, 0);
    Controller().StartPanelClick();
    QVERIFY(WaitFor(Phase::Idle));
    QCOMPARE(quitRequests_, 1);
    QCOMPARE(script_.finished, 1);
  }

  void aFailureWhileFinishingIsReportedAndClosesTheRest() {
    StartOptions options;
    options.extHeader = false;
    options.saveErrors = true;
    Build(options);
    script_.finishFailure = "Cannot write the recording";
    QVERIFY(StartOnDevice());
    QVERIFY(device_->Send(Bytes({0x90, 1, 2, 3, 4})));
    QVERIFY(WaitFor(Phase::Receiving));
    Controller().StartPanelClick();
    QVERIFY(WaitFor(Phase::Idle));
    QCOMPARE(failures_, QStringList{"Cannot write the recording"});
    QCOMPARE(script_.abandoned, 1);
    QVERIFY(!A().ErrorFile.IsOpen());
    QVERIFY(!monitor_->Port().Connected());
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

    program.start(VOXA_MONITOR_EXECUTABLE,
                  {"--save-stream", "--no-ext-header", QString::fromStdString(device_->Path())});
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
