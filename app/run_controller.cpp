// The run controller.
#include "app/run_controller.h"

#include <poll.h>

#include <QCoreApplication>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "app/command_line.h"
#include "app/port_policy.h"
#include "format/markers.h"
#include "recording/recording.h"
#include "serial/com_errors.h"
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
// A replay reads its file on a timer: every 20 ms what is due, at most this
// much a time when it goes as fast as it can, so the window's events are
// handled between two steps.
constexpr int kReplayTickMs = 20;
constexpr size_t kReplayBytesPerTick = 256 * 1024;

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

// The serial component's message with the system's reason in words:
// "ReadFile function failed (Error: 5): Input/output error".
std::string PortFailure(const std::exception& e) {
  std::string text = e.what();
  const auto* com = dynamic_cast<const EComPort*>(&e);
  if (com != nullptr && com->WinError() > 0) {
    char buffer[256];
    text += std::string(": ") + strerror_r(com->WinError(), buffer, sizeof buffer);
  }
  return text;
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
  pipeline_.Configure({choices_, options.parameters, options.screenSeconds, options.mseedDirectory, options.codes});
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

// --- Connecting --------------------------------------------------------------------

void RunController::Connect2Voxa() {
  runPort_ = view_.PortText();
  try {
    port_.SetPort(runPort_);
    port_.OpenPort();
  } catch (const std::exception& e) {
    if (reconnectRun_) {
      // The port is back but cannot be opened yet (the system may still be
      // setting it up): keep watching.
      WatchForPort();
      return;
    }
    FailToConnect(kExitPortNotOpened, PortFailure(e) + " (port " + runPort_ + ")");
    return;
  }
  view_.ShowStatus("  waiting for VOXA... ", StatusColour::Silver);
  view_.Repaint();
  // A run Reconnect started goes on with the lists of the run the lost
  // device ended; START begins them afresh.
  OpenRun(reconnectRun_);
  reconnectRun_ = false;
  notifier_ = new QSocketNotifier(static_cast<qintptr>(port_.Handle()), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &RunController::OnPortReadable);
}

void RunController::FailToConnect(int status, const std::string& message) {
  // Nothing is open yet. The window keeps the run's look; STOP returns to idle.
  NoteExit(status);
  SetPhase(Phase::Failed);
  emit RunFailed(QString::fromStdString(message));
  if (quitPending_) Stop();
}

void RunController::OpenRun(bool continueLists) {
  writer_.ClearFailures();
  CreateFiles(continueLists);
  reads_ = {};
  lastRead_ = {};
  SetPhase(Phase::Waiting);
  syncTimer_.start();
}

// --- Replay ----------------------------------------------------------------------------

void RunController::ConnectReplay() {
  runPort_ = *replayPath_;
  replayRan_ = false;
  replayProblem_.clear();
  if (!replay_.Open(*replayPath_, replaySpeed_)) {
    view_.ShowStatus(" " + replay_.Problem() + " ", StatusColour::Red);
    FailToConnect(kExitReplayUnusable, replay_.Problem());
    return;
  }
  replayRan_ = true;
  // Dated as voxa-convert dates the recording until its first fix.
  pipeline_.Arm(clock_(), replay_.StartTime());
  view_.ShowStatus("  replaying " + *replayPath_ + " ... ", StatusColour::Silver);
  view_.Repaint();
  OpenRun(false);
  replayStarted_ = replayClock_();
  replayTimer_.start(replaySpeed_ > 0 ? kReplayTickMs : 0);
}

void RunController::OnReplayTick() {
  if (phase_ != Phase::Waiting && phase_ != Phase::Receiving) {
    replayTimer_.stop();
    return;
  }
  size_t budget = replay_.Due(replayClock_() - replayStarted_, pipeline_.Device().Format(), kReplayBytesPerTick);
  while (budget > 0) {
    size_t count = 0;
    try {
      count = replay_.Read(chunk_.data(), std::min(budget, chunk_.size()));
    } catch (const std::exception& e) {
      replayProblem_ = e.what();
      EndReplay();
      return;
    }
    if (count == 0) break;
    NoteRead(static_cast<int32_t>(count));
    Take(chunk_.data(), count);
    budget -= count;
    if (phase_ != Phase::Waiting && phase_ != Phase::Receiving) return;
  }
  if (replay_.AtEnd()) EndReplay();
}

void RunController::EndReplay() {
  // The file's end is the run's end, as STOP would make it.
  replayTimer_.stop();
  // The window stays as the file left it; the status bar says it is all.
  view_.ShowStatus("  End of " + *replayPath_ + " ", StatusColour::Silver);
  view_.ShowStartPanel("START", StatusColour::Aqua, true);
  view_.SetParameterControlsEnabled(true);
  view_.SetIdle(true);
  WindDown(Ending::Stop, "");
}

void RunController::CreateFiles(bool continueLists) {
  // Full paths, so that a message about a file says where it is.
  std::error_code error;
  const std::filesystem::path directory = std::filesystem::current_path(error);
  const OutputFailures failures =
      pipeline_.OpenOutputs(OutputPaths::In(error ? "." : directory.string()), continueLists);
  // A recording that an earlier run left under the working name was kept aside.
  if (!failures.keptUnfinished.empty()) {
    view_.AppendBootLine(std::string("Unfinished recording ") + kWorkingRecordingName + " kept as " +
                         failures.keptUnfinished);
  }
  // A file that cannot be created is off for this run, and its box stays
  // unticked for later runs until the operator ticks it again. The operator
  // is told why, on the terminal as well for runs started unattended.
  const struct {
    bool failed;
    const std::string& reason;
    const char* option;
    bool RunOptions::*choice;
    OutputFile file;
  } outputs[] = {{failures.errorList, failures.errorListFailure, "Save Err List", &RunOptions::saveErrorList,
                  OutputFile::ErrorList},
                 {failures.shiftList, failures.shiftListFailure, "Save Shift", &RunOptions::saveShift,
                  OutputFile::ShiftList},
                 {failures.stream, failures.streamFailure, "Save Stream", &RunOptions::saveStream,
                  OutputFile::Stream},
                 {failures.archive, failures.archiveFailure, "Save miniSEED", &RunOptions::saveMseed,
                  OutputFile::Archive}};
  for (const auto& output : outputs) {
    if (!output.failed) continue;
    choices_.*output.choice = false;
    view_.ShowChoices(choices_);
    view_.MarkOutputFileFailed(output.file, output.reason);
    view_.Repaint();
    NoteExit(kExitFileNotCreated);
    emit Noted(QString::fromStdString(output.reason + "; \"" + output.option + "\" is off for this run"));
  }
}

// --- Receiving -----------------------------------------------------------------------

void RunController::NoteRead(int32_t count) {
  const auto now = std::chrono::steady_clock::now();
  if (reads_.reads > 0) {
    reads_.longestGap =
        std::max(reads_.longestGap, std::chrono::duration_cast<std::chrono::microseconds>(now - lastRead_));
  }
  lastRead_ = now;
  ++reads_.reads;
  reads_.bytes += count;
}

void RunController::OnPortReadable() {
  if (phase_ != Phase::Waiting && phase_ != Phase::Receiving) {
    if (notifier_ != nullptr) notifier_->setEnabled(false);
    return;
  }
  for (int chunk = 0; chunk < kChunksPerWake; ++chunk) {
    int32_t count = 0;
    try {
      count = port_.ReadBytes(chunk_.data(), static_cast<int32_t>(chunk_.size()));
      // Readable yet nothing to read: either a spurious wake-up or a device
      // that has gone away, which would wake us again and again.
      if (count <= 0 && chunk == 0 && HungUp(port_.Handle())) throw EComPort(CE_ReadFailed, EIO);
    } catch (const std::exception& e) {
      WindDown(Ending::DeviceLost, PortFailure(e));
      return;
    }
    if (count <= 0) break;
    NoteRead(count);
    Take(chunk_.data(), static_cast<size_t>(count));
    if (phase_ != Phase::Waiting && phase_ != Phase::Receiving) break;
  }
}

void RunController::Take(const uint8_t* data, size_t count) {
  size_t next = 0;
  if (!receiver_) {
    // What the device sends before its first marker (a boot banner, line
    // noise) is dropped: neither recorded nor counted.
    while (next < count && data[next] < kMarkerBlock) ++next;
    if (next == count) return;
    const uint8_t marker = data[next++];
    if (phase_ == Phase::Waiting) {
      view_.ShowStatus("  Connected to VOXA ... ", StatusColour::Yellow);
      SetPhase(Phase::Receiving);
    }
    receiver_ = receiverFactory_(pipeline_);
    receiver_->Begin(marker);
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
  int ms = headerRestOverrideMs_ >= 0 ? headerRestOverrideMs_ : receiver_->PauseMilliseconds();
  // A replay rests as long as the line would at its speed.
  if (replayPath_) ms = replaySpeed_ > 0 ? static_cast<int>(ms / replaySpeed_) : 0;
  restTimer_.start(ms > 0 ? ms : 0);
}

void RunController::EndRest() {
  if (phase_ != Phase::Receiving || !resting_) return;
  resting_ = false;
  // Everything queued during the rest is fed now, header records among it
  // without a rest of their own: those bytes are late already. So no byte
  // waits longer than one rest, however many header markers the line
  // carries; only a header record in bytes just read starts a rest.
  try {
    FeedQueue();
  } catch (const std::exception& e) {
    WindDown(Ending::WriteFailed, e.what());
  }
}

void RunController::FeedQueue() {
  while (receiver_ && queueHead_ < queue_.size()) {
    queueHead_ += receiver_->Feed(queue_.data() + queueHead_, queue_.size() - queueHead_);
  }
  queue_.clear();
  queueHead_ = 0;
}

void RunController::SyncOutputs() {
  if (phase_ == Phase::Waiting || phase_ == Phase::Receiving) pipeline_.SyncOutputs();
}

// --- Run end ----------------------------------------------------------------------------

void RunController::DrainPort() {
  // Everything that has arrived up to now is read: what the port counts,
  // and what the system still hands over (a read that finds the port empty
  // takes what is on its way). A device that keeps sending cannot keep the
  // run from ending: the reads stop once what was counted and as much again
  // have been read.
  try {
    if (!port_.Connected()) return;
    int64_t left = 2 * int64_t{port_.InQueueCount()} + static_cast<int64_t>(chunk_.size());
    while (left > 0) {
      const int32_t count = port_.ReadBytes(chunk_.data(), static_cast<int32_t>(chunk_.size()));
      if (count <= 0) break;
      NoteRead(count);
      Take(chunk_.data(), static_cast<size_t>(count));
      left -= count;
    }
  } catch (const std::exception&) {
    // The device went away meanwhile: what was read is taken.
  }
}

void RunController::EndRun() {
  if (phase_ != Phase::Stopping || windingDown_) return;
  WindDown(Ending::Stop, "");
}

void RunController::WindDown(Ending ending, const std::string& cause) {
  if (windingDown_) return;
  windingDown_ = true;
  ending_ = ending;
  endCause_ = cause;
  endFailure_.clear();
  restTimer_.stop();
  endTimer_.stop();
  syncTimer_.stop();
  replayTimer_.stop();
  DropNotifier();
  // Every byte received up to now goes through the pipeline: what waits in
  // the port (a lost device has nothing more), then the rest's queue.
  if (ending != Ending::DeviceLost) DrainPort();
  resting_ = false;
  try {
    FeedQueue();
    if (receiver_) receiver_->Finish();
  } catch (const std::exception& e) {
    endFailure_ = e.what();
    try {
      if (receiver_) receiver_->Abandon();
    } catch (...) {
    }
  }
  if (const std::optional<std::string> failure = CloseRun(); failure && endFailure_.empty()) endFailure_ = *failure;
  if (ending != Ending::Stop) view_.ShowStatus("  Saving... ", StatusColour::Red);
  SetPhase(Phase::Stopping);
  // The run's end is complete when the writer has done the finishing steps.
  if (writer_.Idle()) CompleteRunEnd();
}

void RunController::OnWriterWake() {
  if (phase_ == Phase::Stopping && windingDown_) {
    if (writer_.Idle()) CompleteRunEnd();
    return;
  }
  // A file failed during the run: the run ends as STOP would end it, and
  // the failure is shown.
  if ((phase_ == Phase::Waiting || phase_ == Phase::Receiving) && !writer_.Failures().empty()) {
    WindDown(Ending::WriteFailed, "");
  }
}

void RunController::CompleteRunEnd() {
  windingDown_ = false;
  const std::string recording = pipeline_.SavedRecording();
  const FileOutcome outcome = pipeline_.Stream().Outcome();
  std::string message;
  const auto line = [&message](const std::string& text) {
    if (!message.empty()) message += "\n";
    message += text;
  };
  if (ending_ == Ending::DeviceLost) {
    line("VOXA lost on " + runPort_ + " at " + TimeText() + ": " + endCause_);
    NoteExit(kExitDeviceLost);
  }
  if (ending_ == Ending::WriteFailed && !endCause_.empty()) {
    line(endCause_);
    NoteExit(kExitFileNotSaved);
  }
  if (!endFailure_.empty()) {
    line(endFailure_);
    NoteExit(kExitFileNotSaved);
  }
  // Every file that could not be written whole, finished or named.
  for (const std::string& failure : writer_.Failures()) {
    line(failure);
    NoteExit(kExitFileNotSaved);
  }
  if (!recording.empty() && outcome.failed) line("Recording " + recording + " is incomplete");
  if (replayRan_) {
    // What the file held, as voxa-convert judges it.
    replayRan_ = false;
    if (!replayProblem_.empty()) {
      line(replayProblem_ + "; what was read of it is shown");
      NoteExit(kExitReplayUnusable);
    } else if (pipeline_.Statistics().GoodBlocks() + pipeline_.Statistics().BlockErrors() == 0) {
      line(*replayPath_ + " holds no sample blocks: nothing to show");
      NoteExit(kExitReplayUnusable);
    } else if (replay_.AtEnd() && !replay_.Finished()) {
      emit Noted(QString::fromStdString(*replayPath_ +
                                        " does not end with the end byte (0xEF): the run did not finish or the "
                                        "file was cut short; everything it holds was shown"));
    }
  }

  const bool stopped = ending_ == Ending::Stop || stopPressed_;
  const bool reconnect = ending_ == Ending::DeviceLost && choices_.reconnect && !stopped && !quitPending_;
  stopPressed_ = false;
  if (stopped) {
    SetPhase(Phase::Idle);
  } else if (reconnect) {
    SetPhase(Phase::Reconnecting);
  } else {
    SetPhase(Phase::Failed);
  }
  const std::string first = message.substr(0, message.find('\n'));
  // The loss stays in the boot window's log beside the recordings' names.
  if (ending_ == Ending::DeviceLost) view_.AppendBootLine(first);
  if (!stopped && !first.empty()) view_.ShowStatus(" " + first + " ", StatusColour::Red);
  if (!message.empty()) emit RunFailed(QString::fromStdString(message));
  // Only a recording that reached the disk whole is reported as saved.
  emit RunEnded(QString::fromStdString(outcome.failed ? "" : recording));

  if (reconnect) {
    WatchForPort();
    return;
  }
  if (phase_ == Phase::Failed) {
    if (quitPending_) Stop();
    return;
  }
  AfterRun();
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
  syncTimer_.stop();
  replayTimer_.stop();
  DropNotifier();
  receiver_.reset();
  replay_.Close();
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

// --- Reconnecting -------------------------------------------------------------------------

void RunController::WatchForPort() {
  SetPhase(Phase::Reconnecting);
  view_.ShowStartPanel("STOP", StatusColour::Yellow, true);
  view_.ShowStatus("  waiting for " + runPort_ + " to come back... ", StatusColour::Red);
  reconnectTimer_.start();
}

void RunController::LookForPort() {
  if (phase_ != Phase::Reconnecting) {
    reconnectTimer_.stop();
    return;
  }
  if (!portAvailable_(runPort_)) return;
  reconnectTimer_.stop();
  emit Noted(QString::fromStdString(runPort_ + " is back at " + TimeText() + "; a new run starts"));
  // The same settings, into a new recording, on the name the run was given.
  reconnectRun_ = true;
  view_.SetPortText(runPort_);
  Start();
}

// --- Quitting -------------------------------------------------------------------------------

void RunController::RequestQuit() {
  // Shutdown is single: a second signal while the run ends changes nothing.
  if (quitPending_) return;
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
    case Phase::Reconnecting:
      Stop();
      break;
    case Phase::Stopping:
      // The run's end is under way; the program ends with it.
      stopPressed_ = true;
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
