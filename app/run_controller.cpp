// The run controller.
#include "app/run_controller.h"

#include <poll.h>

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <ctime>

#include "app/port_policy.h"
#include "format/markers.h"
#include "recording/recording.h"
#include "serial/com_port.h"

namespace voxa {
namespace {

// Reads per wake-up of the port: a writer faster than the line (a test, a
// pseudo-terminal) cannot keep the window from its events; the notifier
// wakes again at once for what is left.
constexpr int kChunksPerWake = 64;
// Room for what arrives during a rest after a header record: a second at
// line rate, several times over. More is possible, and only then allocates.
constexpr size_t kQueueReserve = 64 * 1024;

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

// True when the descriptor reports that the device has gone away. Asked
// only after a read found nothing, so a hang-up with bytes still to read is
// not taken for one.
bool HungUp(int fd) {
  if (fd < 0) return false;
  pollfd entry{fd, POLLIN, 0};
  if (poll(&entry, 1, 0) <= 0) return false;
  return (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// "High Pass" takes "RST Offset" over: while the filter is on, offsets are
// not measured again at every screen; switched off, they are again.
void TakeHighPass(RunOptions& choices, bool on) {
  choices.highPass = on;
  choices.resetOffset = !on;
}

}  // namespace

RunController::RunController(TCustomComPort& port, RunView& view, const MonitorOptions& options, QObject* parent)
    : QObject(parent),
      port_(port),
      view_(view),
      choices_(options.run),
      pipeline_(*this, view.PlotSurface()),
      scanNames_(ComPortScanNames),
      portAvailable_(ComPortAvailable),
      clock_(LocalClock),
      receiverFactory_(MakePipelineReceiver) {
  if (choices_.highPass) TakeHighPass(choices_, true);
  pipeline_.Configure({choices_, options.parameters, options.screenSeconds});
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
}

RunController::~RunController() {
  // A controller destroyed during a run (the program is torn down) still
  // leaves its files closed and the port released.
  if (receiver_) {
    try {
      receiver_->Abandon();
    } catch (...) {
    }
  }
  CloseRun();
}

void RunController::SetPortScan(std::function<std::vector<std::string>()> names,
                                std::function<bool(const std::string&)> available) {
  scanNames_ = std::move(names);
  portAvailable_ = std::move(available);
}

void RunController::Launch() { startTimer_.start(); }

bool RunController::RunInProgress() const {
  return phase_ == Phase::Preparing || phase_ == Phase::Waiting || phase_ == Phase::Receiving ||
         phase_ == Phase::Stopping;
}

void RunController::SetPhase(Phase phase) {
  if (phase_ == phase) return;
  phase_ = phase;
  emit PhaseChanged(phase);
}

// --- Start-up ------------------------------------------------------------------

void RunController::StartTimerTimer() {
  if (phase_ != Phase::Starting || scanning_) return;
  startTimer_.stop();
  view_.SetSize();
  const PlotSize plot = view_.InitPlotGeometry();
  pipeline_.ResizePlot(plot.width, plot.height);

  if (commandLinePort_) {
    // The port box stays disabled with an empty list; STOP enables it later.
    view_.SetPortText(*commandLinePort_);
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

  const bool configLoaded = pipeline_.StartRun(choices_, configPath_);
  if (configLoaded) {
    view_.SetLoadExtColour(StatusColour::Lime);
    view_.ShowDeviceIdentity(pipeline_.Device().DeviceNumber(), pipeline_.Device().FirmwareVersion());
    view_.ShowParameters(pipeline_.Device().Parameters());
  } else if (choices_.loadExtHeader) {
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
  pipeline_.Arm(clock_());
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
      // Bytes still arriving are not read any more; the run ends on the next
      // pass of the event loop, as a loop that sees the flag would end it.
      if (notifier_ != nullptr) notifier_->setEnabled(false);
      restTimer_.stop();
      SetPhase(Phase::Stopping);
      endTimer_.start();
      break;
    case Phase::Preparing:
      // Only a signal reaches here (START is disabled while preparing):
      // nothing is open yet.
      configPauseTimer_.stop();
      SetPhase(Phase::Idle);
      AfterRun();
      break;
    case Phase::Failed:
      SetPhase(Phase::Idle);
      AfterRun();
      break;
    case Phase::Starting:
    case Phase::Idle:
    case Phase::Stopping:
      break;
  }
}

// --- Connecting --------------------------------------------------------------------

void RunController::Connect2Voxa() {
  try {
    port_.SetPort(view_.PortText());
    port_.OpenPort();
  } catch (const std::exception& e) {
    // Nothing is open yet. The window keeps the run's look; STOP returns to idle.
    SetPhase(Phase::Failed);
    emit RunFailed(QString::fromStdString(e.what()));
    if (quitPending_) Stop();
    return;
  }
  view_.ShowStatus("  waiting for VOXA... ", StatusColour::Silver);
  view_.Repaint();
  CreateFiles();

  SetPhase(Phase::Waiting);
  notifier_ = new QSocketNotifier(static_cast<qintptr>(port_.Handle()), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &RunController::OnPortReadable);
}

void RunController::CreateFiles() {
  const OutputFailures failures = pipeline_.OpenOutputs(OutputPaths::In("."));
  // A recording that a failed run left under the working name was kept aside.
  if (!failures.keptUnfinished.empty()) {
    view_.AppendBootLine(std::string("Unfinished recording ") + kWorkingRecordingName + " kept as " +
                         failures.keptUnfinished);
  }
  // A file that cannot be created is off for this run, and its box stays
  // unticked for later runs until the operator ticks it again.
  const struct {
    bool failed;
    bool RunOptions::*choice;
    OutputFile file;
  } outputs[] = {{failures.errorList, &RunOptions::saveErrorList, OutputFile::ErrorList},
                 {failures.shiftList, &RunOptions::saveShift, OutputFile::ShiftList},
                 {failures.stream, &RunOptions::saveStream, OutputFile::Stream}};
  for (const auto& output : outputs) {
    if (!output.failed) continue;
    choices_.*output.choice = false;
    view_.ShowChoices(choices_);
    view_.MarkOutputFileFailed(output.file);
    view_.Repaint();
  }
}

// --- Receiving -----------------------------------------------------------------------

void RunController::OnPortReadable() {
  if (phase_ != Phase::Waiting && phase_ != Phase::Receiving) {
    if (notifier_ != nullptr) notifier_->setEnabled(false);
    return;
  }
  try {
    for (int chunk = 0; chunk < kChunksPerWake; ++chunk) {
      const int32_t count = port_.ReadBytes(chunk_.data(), static_cast<int32_t>(chunk_.size()));
      if (count <= 0) {
        // Readable yet nothing to read: either a spurious wake-up or a device
        // that has gone away, which would wake us again and again.
        if (chunk == 0 && HungUp(port_.Handle())) throw EComPort(CE_ReadFailed, EIO);
        break;
      }
      Take(chunk_.data(), static_cast<size_t>(count));
      if (phase_ != Phase::Waiting && phase_ != Phase::Receiving) break;
    }
  } catch (const std::exception& e) {
    Fail(e.what());
  }
}

void RunController::Take(const uint8_t* data, size_t count) {
  size_t next = 0;
  if (phase_ == Phase::Waiting) {
    // What the device sends before its first marker (a boot banner, line
    // noise) is dropped: neither recorded nor counted.
    while (next < count && data[next] < kMarkerBlock) ++next;
    if (next == count) return;
    const uint8_t marker = data[next++];
    view_.ShowStatus("  Connected to VOXA ... ", StatusColour::Yellow);
    receiver_ = receiverFactory_(pipeline_);
    receiver_->Begin(marker);
    SetPhase(Phase::Receiving);
  }
  Deliver(data + next, count - next);
}

void RunController::Deliver(const uint8_t* data, size_t count) {
  if (count == 0) return;
  if (resting_) {
    Queue(data, count);
    return;
  }
  const size_t taken = receiver_->Feed(data, count);
  if (taken < count) {
    Queue(data + taken, count - taken);
    BeginRest();
  }
}

void RunController::Queue(const uint8_t* data, size_t count) { queue_.insert(queue_.end(), data, data + count); }

void RunController::BeginRest() {
  // The port is still read during the rest, into the queue, so the device's
  // bytes are neither lost nor left to overflow the driver's buffer.
  resting_ = true;
  const int ms = headerRestOverrideMs_ >= 0 ? headerRestOverrideMs_ : receiver_->PauseMilliseconds();
  restTimer_.start(ms > 0 ? ms : 0);
}

void RunController::EndRest() {
  if (phase_ != Phase::Receiving || !resting_) return;
  resting_ = false;
  try {
    while (queueHead_ < queue_.size()) {
      const size_t waiting = queue_.size() - queueHead_;
      const size_t taken = receiver_->Feed(queue_.data() + queueHead_, waiting);
      queueHead_ += taken;
      if (taken < waiting) {
        BeginRest();
        return;
      }
    }
    queue_.clear();
    queueHead_ = 0;
  } catch (const std::exception& e) {
    Fail(e.what());
  }
}

// --- Run end ----------------------------------------------------------------------------

void RunController::EndRun() {
  if (phase_ != Phase::Stopping) return;
  std::string recording;
  std::optional<std::string> failure;
  if (receiver_) {
    try {
      recording = receiver_->Finish();
    } catch (const std::exception& e) {
      failure = e.what();
      try {
        receiver_->Abandon();
      } catch (...) {
      }
    }
  }
  const std::optional<std::string> closeFailure = CloseRun();
  if (!failure) failure = closeFailure;
  SetPhase(Phase::Idle);
  if (failure) emit RunFailed(QString::fromStdString(*failure));
  emit RunEnded(QString::fromStdString(recording));
  AfterRun();
}

void RunController::Fail(const std::string& message) {
  if (receiver_) {
    try {
      receiver_->Abandon();
    } catch (...) {
    }
  }
  CloseRun();
  SetPhase(Phase::Failed);
  emit RunFailed(QString::fromStdString(message));
  if (quitPending_) Stop();
}

std::optional<std::string> RunController::CloseRun() {
  std::optional<std::string> failure;
  const auto attempt = [&failure](auto&& close) {
    try {
      close();
    } catch (const std::exception& e) {
      if (!failure) failure = e.what();
    }
  };
  restTimer_.stop();
  endTimer_.stop();
  DropNotifier();
  receiver_.reset();
  // A recording still open here is one the stream never reached (STOP while
  // waiting) or one that was abandoned: it stays behind as "streamdat.bin".
  attempt([this] { pipeline_.CloseOutputs(); });
  attempt([this] { port_.ClosePort(); });
  queue_.clear();
  queueHead_ = 0;
  resting_ = false;
  return failure;
}

void RunController::DropNotifier() {
  if (notifier_ == nullptr) return;
  // This may run inside the notifier's own signal: it is disabled now (before
  // its descriptor is closed) and deleted once control is back in the loop.
  notifier_->setEnabled(false);
  notifier_->deleteLater();
  notifier_ = nullptr;
}

void RunController::AfterRun() {
  if (quitPending_) {
    startHeld_ = false;
    emit QuitRequested();
    return;
  }
  if (startHeld_) {
    startHeld_ = false;
    Start();
  }
}

// --- Quitting -------------------------------------------------------------------------------

void RunController::RequestQuit() {
  quitPending_ = true;
  switch (phase_) {
    case Phase::Starting:
      // A scan in progress ends early and quits when it has ended.
      if (!scanning_) emit QuitRequested();
      break;
    case Phase::Idle:
      emit QuitRequested();
      break;
    case Phase::Preparing:
    case Phase::Waiting:
    case Phase::Receiving:
    case Phase::Failed:
      Stop();
      break;
    case Phase::Stopping:
      break;
  }
}

// --- The operator's choices ------------------------------------------------------------

void RunController::ChoiceClicked(Choice choice, bool ticked) {
  switch (choice) {
    case Choice::SaveStream: choices_.saveStream = ticked; break;
    case Choice::SaveErrorList: choices_.saveErrorList = ticked; break;
    case Choice::SaveShift: choices_.saveShift = ticked; break;
    case Choice::LoadExtHeader: choices_.loadExtHeader = ticked; break;
    case Choice::AutoScale: choices_.autoScale = ticked; break;
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
  if (RunInProgress()) return false;
  if (!scanning_) emit QuitRequested();
  return true;
}

}  // namespace voxa
