// The run controller's reading: opening the port or the file to replay,
// creating the run's files, and taking what the source delivers into the
// pipeline, with the rest after a header record.
#include "run/run_controller.h"

#include <poll.h>

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "format/markers.h"
#include "recording/recording.h"
#include "run/exit_status.h"
#include "serial/com_errors.h"
#include "serial/com_port.h"

namespace voxa {
namespace {

// Reads per wake-up of the port: a writer faster than the line (a test, a
// pseudo-terminal) cannot keep the window from its events; the notifier
// wakes again at once for what is left.
constexpr int kChunksPerWake = 64;
// A replay reads its file on a timer: every 20 ms what is due, at most this
// much a time when it goes as fast as it can, so the window's events are
// handled between two steps.
constexpr int kReplayTickMs = 20;
constexpr size_t kReplayBytesPerTick = 256 * 1024;

// True when the descriptor reports that the device has gone away. Asked
// only after a read found nothing, so a hang-up with bytes still to read is
// not taken for one.
bool HungUp(int fd) {
  if (fd < 0) return false;
  pollfd entry{fd, POLLIN, 0};
  if (poll(&entry, 1, 0) <= 0) return false;
  return (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
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

}  // namespace

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
    if (waitForPort_ && choices_.reconnect) {
      emit Noted(QString::fromStdString(PortFailure(e) + " (port " + runPort_ + "); waiting for it"));
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
    if (phase_ != Phase::Waiting && phase_ != Phase::Receiving) return;
  }
  if (readPauseMs_ > 0 && notifier_ != nullptr) {
    // What arrives meanwhile waits in the port and is read in one go.
    notifier_->setEnabled(false);
    readPauseTimer_.start(readPauseMs_);
  }
}

void RunController::ResumeReading() {
  if (notifier_ != nullptr && (phase_ == Phase::Waiting || phase_ == Phase::Receiving)) notifier_->setEnabled(true);
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

}  // namespace voxa
