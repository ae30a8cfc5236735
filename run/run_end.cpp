// The run controller's run end: every byte received goes through the
// pipeline, the files are finished and named on the writer thread, and the
// run ends as what ended it asks (idle, failed, or watching for the port to
// come back); and the program's end, which waits for the run's.
#include "run/run_controller.h"

#include <QSocketNotifier>

#include <string>

#include "run/exit_status.h"
#include "serial/com_port.h"

namespace voxa {

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

void RunController::EndRunFor(const std::string& cause) {
  if (phase_ != Phase::Waiting && phase_ != Phase::Receiving) return;
  WindDown(Ending::WriteFailed, cause);
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
  readPauseTimer_.stop();
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
  readPauseTimer_.stop();
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

}  // namespace voxa
