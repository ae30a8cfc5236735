// The run controller: its making, the start-up, START and STOP, and the
// operator's choices. Reading is in run_reading.cpp, the run's end in
// run_end.cpp.
#include "run/run_controller.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "recording/recording.h"
#include "run/exit_status.h"
#include "run/port_policy.h"
#include "serial/com_port.h"

namespace voxa {
namespace {

// Room for what arrives during a rest after a header record: a second at
// line rate, several times over. More is possible, and only then allocates.
constexpr size_t kQueueReserve = 64 * 1024;

int64_t SteadyMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

ClockFields LocalClock() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  ClockFields clock;
  clock.year = local.tm_year + 1900;
  clock.month = local.tm_mon + 1;
  clock.day = local.tm_mday;
  clock.hour = local.tm_hour;
  clock.minute = local.tm_min;
  clock.second = local.tm_sec;
  return clock;
}

// The computer's clock in UTC, which dates the miniSEED archive until the
// first GPS fix.
Micros UtcNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<Micros>(now.tv_sec) * kMicrosPerSecond + now.tv_nsec / 1000;
}

// "High Pass" takes "RST Offset" over: while the filter is on, offsets are
// not measured again at every screen; switched off, they are again.
void TakeHighPass(RunOptions& choices, bool on) {
  choices.highPass = on;
  choices.resetOffset = !on;
}

std::string Two(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", value % 100);
  return text;
}

}  // namespace

RunController::RunController(TCustomComPort& port, RunView& view, const MonitorOptions& options, QObject* parent)
    : QObject(parent),
      port_(port),
      view_(view),
      choices_(options.run),
      pipeline_(*this, view.PlotSurface()),
      scanNames_([] { return ComPortScanNames(); }),
      portAvailable_(ComPortAvailable),
      clock_(LocalClock),
      utcClock_(UtcNow),
      receiverFactory_(MakePipelineReceiver),
      replayClock_(SteadyMicros) {
  if (choices_.highPass) TakeHighPass(choices_, true);
  MonitorOptions configured = options;
  configured.run = choices_;
  pipeline_.Configure(configured);
  pipeline_.UseWriter(writer_);
  view_.ShowChoices(choices_);
  view_.ShowParameters(options.parameters);
  ApplyMonitorPortSettings(port_);
  queue_.reserve(kQueueReserve);
  startTimer_.setSingleShot(true);
  startTimer_.setInterval(10);
  connect(&startTimer_, &QTimer::timeout, this, &RunController::StartTimerTimer);
  configPauseTimer_.setSingleShot(true);
  connect(&configPauseTimer_, &QTimer::timeout, this, &RunController::ContinueStart);
  restTimer_.setSingleShot(true);
  connect(&restTimer_, &QTimer::timeout, this, &RunController::EndRest);
  endTimer_.setSingleShot(true);
  endTimer_.setInterval(0);
  connect(&endTimer_, &QTimer::timeout, this, &RunController::EndRun);
  syncTimer_.setInterval(kSyncIntervalMs);
  connect(&syncTimer_, &QTimer::timeout, this, &RunController::SyncOutputs);
  reconnectTimer_.setInterval(kReconnectIntervalMs);
  connect(&reconnectTimer_, &QTimer::timeout, this, &RunController::LookForPort);
  connect(&replayTimer_, &QTimer::timeout, this, &RunController::OnReplayTick);
  readPauseTimer_.setSingleShot(true);
  connect(&readPauseTimer_, &QTimer::timeout, this, &RunController::ResumeReading);

  // The writer thread wakes the controller when a file fails and when it has
  // done all it was given; the call crosses to the GUI thread as an event.
  writer_.SetWake([this] { QMetaObject::invokeMethod(this, &RunController::OnWriterWake, Qt::QueuedConnection); });
  writerThread_ = std::make_unique<WriterThread>(writer_);
}

RunController::~RunController() {
  // A controller destroyed during a run (the program is torn down) still
  // writes what it has, closes its files and releases the port.
  if (receiver_) {
    try {
      receiver_->Abandon();
    } catch (...) {
    }
  }
  CloseRun();
  writer_.SetWake({});
  writerThread_.reset();
}

void RunController::SetPortScan(std::function<std::vector<std::string>()> names,
                                std::function<bool(const std::string&)> available) {
  scanNames_ = std::move(names);
  portAvailable_ = std::move(available);
}

void RunController::Launch() { startTimer_.start(); }

void RunController::SetReplay(const std::string& path, double speed) {
  replayPath_ = path;
  replaySpeed_ = speed;
  pipeline_.SetReplay(true);
}

bool RunController::RunInProgress() const {
  return phase_ == Phase::Preparing || phase_ == Phase::Waiting || phase_ == Phase::Receiving ||
         phase_ == Phase::Stopping || phase_ == Phase::Reconnecting;
}

void RunController::SetPhase(Phase phase) {
  if (phase_ == phase) return;
  phase_ = phase;
  emit PhaseChanged(phase);
}

void RunController::NoteExit(int status) { exitStatus_ = std::max(exitStatus_, status); }

std::string RunController::TimeText() {
  const ClockFields now = clock_();
  return std::to_string(now.year) + "-" + Two(now.month) + "-" + Two(now.day) + " " + Two(now.hour) + ":" +
         Two(now.minute) + ":" + Two(now.second);
}

// --- Start-up ------------------------------------------------------------------

void RunController::StartTimerTimer() {
  if (phase_ != Phase::Starting || scanning_) return;
  startTimer_.stop();
  view_.SetSize();
  const PlotSize plot = view_.InitPlotGeometry();
  pipeline_.ResizePlot(plot.width, plot.height);

  if (commandLinePort_ || replayPath_) {
    // The port box stays disabled with an empty list; STOP enables it later.
    view_.SetPortText(replayPath_ ? *replayPath_ : *commandLinePort_);
    view_.ShowStartPanel(view_.StartCaption(), StatusColour::Standard, true);
    if (quitPending_) {
      emit QuitRequested();
      return;
    }
    StartPanelClick();
    return;
  }

  // Each port found shows at once: the window is repainted and its pending
  // events handled before the next port is tried.
  scanning_ = true;
  for (const std::string& name : scanNames_()) {
    if (quitPending_) break;
    if (!portAvailable_(name)) continue;
    view_.AddPort(name);
    view_.Repaint();
    QCoreApplication::processEvents();
  }
  scanning_ = false;

  view_.SetPortBoxEnabled(true);
  view_.ShowStatus("  Check Port No.", StatusColour::Yellow);
  view_.ShowStartPanel("START", StatusColour::Aqua, true);
  view_.SetIdle(true);
  SetPhase(Phase::Idle);
  if (quitPending_) emit QuitRequested();
}

// --- START and STOP --------------------------------------------------------------

void RunController::StartPanelClick() {
  if (view_.StartCaption() != "START") {
    Stop();
    return;
  }
  if (phase_ == Phase::Idle || phase_ == Phase::Starting) {
    Start();
  } else if (phase_ == Phase::Stopping) {
    // The previous run is still winding down: START waits for its end and
    // then runs, so a second run never starts inside the first.
    startHeld_ = true;
    view_.ShowStartPanel("START", StatusColour::Standard, false);
  }
}

void RunController::Start() {
  SetPhase(Phase::Preparing);
  view_.SetIdle(false);
  view_.SetPlotToScreenSize();
  view_.ShowStartPanel(view_.StartCaption(), StatusColour::Standard, false);
  view_.ShowStatus("", StatusColour::Standard);
  view_.SetParameterControlsEnabled(false);
  view_.ShowLabel(Label::GpsClock, "");
  view_.ShowLabel(Label::Shift, "");
  view_.SetLoadExtColour(StatusColour::Standard);

  for (Label label : {Label::BlockErrors, Label::SecErrors, Label::SpsErrors}) view_.ShowLabel(label, "0");
  for (int channel = 0; channel < kMaxChannels; ++channel) {
    view_.ShowLabel(NoiseLabel(channel), "");
    view_.ShowLabel(VoltLabel(channel), "");
    view_.ShowLabel(OffsetLabel(channel), "");
  }

  RunOptions runOptions = choices_;
  if (replayPath_) {
    // A recording brings its own header. And no output of the replay may be
    // the file it plays: that one is only ever read.
    runOptions.loadExtHeader = false;
    std::error_code error;
    const std::filesystem::path here = std::filesystem::current_path(error);
    const OutputPaths paths = OutputPaths::In(error ? "." : here.string());
    const struct {
      bool RunOptions::*choice;
      const std::string& path;
      const char* option;
    } outputs[] = {{&RunOptions::saveStream, paths.stream, "Save Stream"},
                   {&RunOptions::saveErrorList, paths.errorList, "Save Err List"},
                   {&RunOptions::saveShift, paths.shiftList, "Save Shift"}};
    for (const auto& output : outputs) {
      std::error_code same;
      if (!(runOptions.*output.choice) || !std::filesystem::equivalent(*replayPath_, output.path, same)) continue;
      runOptions.*output.choice = false;
      emit Noted(QString::fromStdString(output.path + " is the file being replayed, which is only read; \"" +
                                        output.option + "\" is off for this run"));
    }
  }
  const bool configLoaded = pipeline_.StartRun(runOptions, configPath_);
  if (configLoaded) {
    view_.SetLoadExtColour(StatusColour::Lime);
    view_.ShowDeviceIdentity(pipeline_.Device().DeviceNumber(), pipeline_.Device().FirmwareVersion());
    view_.ShowParameters(pipeline_.Device().Parameters());
  } else if (runOptions.loadExtHeader) {
    // The box stays unticked for later runs until the operator ticks it again.
    choices_.loadExtHeader = false;
    view_.ShowChoices(choices_);
    view_.SetLoadExtColour(StatusColour::Red);
    view_.Repaint();
    view_.ShowStatus(" Ext. Header File missed; Screen Params loaded ", StatusColour::Red);
    // The message stays for a moment; the window keeps running meanwhile,
    // and START is disabled, so nothing can start twice.
    configPauseTimer_.start(configMissingPauseMs_);
    return;
  }
  ContinueStart();
}

void RunController::ContinueStart() {
  if (phase_ != Phase::Preparing) return;
  view_.ShowStartPanel("STOP", StatusColour::Yellow, true);
  view_.Repaint();
  if (replayPath_) {
    ConnectReplay();
    return;
  }
  pipeline_.Arm(clock_(), utcClock_());
  Connect2Voxa();
}

void RunController::Stop() {
  view_.ShowStartPanel("START", StatusColour::Aqua, true);
  view_.ShowStatus("  Check Port No.", StatusColour::Yellow);
  view_.SetParameterControlsEnabled(true);
  view_.SetIdle(true);

  switch (phase_) {
    case Phase::Waiting:
    case Phase::Receiving:
      // The port is not watched any more; the run ends on the next pass of
      // the event loop, which reads what is still waiting in the port.
      if (notifier_ != nullptr) notifier_->setEnabled(false);
      restTimer_.stop();
      ending_ = Ending::Stop;
      SetPhase(Phase::Stopping);
      endTimer_.start();
      break;
    case Phase::Stopping:
      // A run that a lost device or a failed write is ending: no new run
      // follows it.
      stopPressed_ = true;
      break;
    case Phase::Preparing:
      // Only a signal reaches here (START is disabled while preparing):
      // nothing is open yet.
      configPauseTimer_.stop();
      SetPhase(Phase::Idle);
      AfterRun();
      break;
    case Phase::Reconnecting:
      reconnectTimer_.stop();
      SetPhase(Phase::Idle);
      AfterRun();
      break;
    case Phase::Failed:
      SetPhase(Phase::Idle);
      AfterRun();
      break;
    case Phase::Starting:
    case Phase::Idle:
      break;
  }
}

// --- The operator's choices ------------------------------------------------------------

void RunController::ChoiceClicked(Choice choice, bool ticked) {
  switch (choice) {
    case Choice::SaveStream: choices_.saveStream = ticked; break;
    case Choice::SaveErrorList: choices_.saveErrorList = ticked; break;
    case Choice::SaveShift: choices_.saveShift = ticked; break;
    case Choice::SaveMseed: choices_.saveMseed = ticked; break;
    case Choice::LoadExtHeader: choices_.loadExtHeader = ticked; break;
    case Choice::AutoScale: choices_.autoScale = ticked; break;
    case Choice::Reconnect: choices_.reconnect = ticked; break;
    case Choice::ResetOffset:
      choices_.resetOffset = ticked;
      pipeline_.SetResetOffset(ticked);
      break;
    case Choice::HighPass:
      TakeHighPass(choices_, ticked);
      pipeline_.SetHighPass(ticked, RunInProgress());
      pipeline_.SetResetOffset(choices_.resetOffset);
      view_.ShowChoices(choices_);
      break;
  }
}

void RunController::SetParameters(const DeviceParameters& parameters) { pipeline_.SetParameters(parameters); }

void RunController::RateClicked(int32_t rate) {
  DeviceParameters parameters = pipeline_.Device().Parameters();
  parameters.rate = rate;
  SetParameters(parameters);
}

void RunController::GainClicked(int32_t gain) {
  DeviceParameters parameters = pipeline_.Device().Parameters();
  parameters.gain = gain;
  SetParameters(parameters);
}

void RunController::ChannelsClicked(int32_t channels) {
  DeviceParameters parameters = pipeline_.Device().Parameters();
  parameters.channels = channels;
  SetParameters(parameters);
}

void RunController::ShowDeviceHeader(const DeviceSettings& device) {
  view_.ShowDeviceIdentity(device.DeviceNumber(), device.FirmwareVersion());
  view_.ShowParameters(device.Parameters());
  // The device's own header replaces config.txt for later runs as well.
  choices_.loadExtHeader = false;
  view_.ShowChoices(choices_);
  view_.SetLoadExtColour(StatusColour::Lime);
}

bool RunController::CloseRequested() {
  quitPending_ = true;
  if (RunInProgress()) {
    // A lost port that is being watched is given up: the window closes once
    // nothing more is to be saved.
    if (phase_ == Phase::Reconnecting) Stop();
    return !RunInProgress();
  }
  if (!scanning_) emit QuitRequested();
  return true;
}

}  // namespace voxa
