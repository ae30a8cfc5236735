// The run controller: start-up (placement, port scan or command-line start),
// the START/STOP cycle, opening the port and the files, waiting for the
// device and handing its bytes to the run pipeline, and the run end. It owns
// the operator's check-box choices and the pipeline, turns the window's
// clicks into changes of either, and tells the window what to show (it is the
// pipeline's Host, and passes what a run shows on to the window).
//
// It is event-driven: nothing here loops or sleeps waiting for something.
// The port is watched by a socket notifier, so while the device is silent
// the program sleeps in the event loop; the rest after a header record, the
// pause after a missing config file, the outputs' sync and the watch for a
// lost port to come back are timers. Every handler of the window therefore
// runs between two reads, as it must, without a nested event loop. The
// controller owns no widget; it reaches the window through RunView.
//
// Nothing received is lost at a run's end. STOP, the three stop signals, a
// lost device and a failed write all end a run the same way: every byte
// waiting in the port and in the rest's queue goes through the pipeline,
// the recording is finished and named and the lists closed. The files are
// written on a writer thread (WriterThread), so the GUI thread never waits
// for the disk: the run's end is complete when the writer has done the
// finishing steps, and only then does the window say what was saved.
#pragma once

#include <QObject>
#include <QTimer>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "run/replay_source.h"
#include "run/run_view.h"
#include "run/stream_receiver.h"
#include "run/writer_thread.h"
#include "pipeline/host.h"
#include "pipeline/run_options.h"
#include "pipeline/run_pipeline.h"
#include "recording/file_store.h"
#include "recording/file_writer.h"
#include "timing/computer_clock.h"

class QSocketNotifier;

namespace voxa {

class TCustomComPort;

// How the reading of the port went in the last run: an upper bound of how
// long a byte waited in the port before it was read.
struct ReadStatistics {
  int64_t reads = 0;  // reads that returned bytes
  int64_t bytes = 0;
  std::chrono::microseconds longestGap{0};  // between two reads that returned bytes
};

class RunController : public QObject, private Host {
  Q_OBJECT

 public:
  enum class Phase {
    Starting,      // until the start timer has placed the window and scanned the ports
    Idle,          // START waits for a click
    Preparing,     // START's steps, including the pause after a missing config file
    Waiting,       // port open, files created, waiting for the first marker byte
    Receiving,     // the stream goes to the separator
    Stopping,      // the run is ending: the port is read to its end, then the writer finishes the files
    Failed,        // the run was ended by a failure; the window keeps the run's look until STOP
    Reconnecting,  // the device was lost; its port is watched until it comes back or STOP
  };
  Q_ENUM(Phase)

  // Half a second: with the time a sync takes, what arrives reaches the
  // disk within a second.
  static constexpr int kSyncIntervalMs = 500;
  // How often a lost port is looked for.
  static constexpr int kReconnectIntervalMs = 500;

  RunController(TCustomComPort& port, RunView& view, const MonitorOptions& options, QObject* parent = nullptr);
  ~RunController() override;

  // --- Seams (the program sets none but the first) ---------------------------
  // Starts a run at once with this port instead of scanning.
  void SetCommandLinePort(const std::string& port) { commandLinePort_ = port; }
  void SetPortScan(std::function<std::vector<std::string>()> names, std::function<bool(const std::string&)> available);
  void SetClock(std::function<ClockFields()> clock) { clock_ = std::move(clock); }
  void SetUtcClock(std::function<Micros()> clock) { utcClock_ = std::move(clock); }
  // The pause that lets the operator read that config.txt was missing.
  void SetConfigMissingPause(int milliseconds) { configMissingPauseMs_ = milliseconds; }
  // The rest after a header record; negative keeps the receiver's own.
  void SetHeaderRestOverride(int milliseconds) { headerRestOverrideMs_ = milliseconds; }
  void SetReceiverFactory(ReceiverFactory factory) { receiverFactory_ = std::move(factory); }
  void SetConfigPath(std::string path) { configPath_ = std::move(path); }
  // The disk the files are written to (a test's, which fails or stalls); between runs only.
  void SetFileStore(FileStore& store) { writer_.SetStore(store); }
  void SetSyncInterval(int milliseconds) { syncTimer_.setInterval(milliseconds); }
  void SetReconnectInterval(int milliseconds) { reconnectTimer_.setInterval(milliseconds); }
  // Plays the recording at path in place of the port, at speed times real
  // time (0: as fast as it goes); the run starts at once. Before Launch.
  void SetReplay(const std::string& path, double speed);
  // A port that cannot be opened at START is watched until it can, as a
  // lost one is, when Reconnect is ticked (a station started before its
  // device is plugged in); otherwise the start fails.
  void SetWaitForPort(bool wait) { waitForPort_ = wait; }
  // After each read the port rests this long before it is watched again, so
  // a run wakes a few times a second rather than at every byte the line
  // brings; 0 (the window's) watches it at once. Well below the 100 ms a
  // byte may wait in the port.
  void SetReadPause(int milliseconds) { readPauseMs_ = milliseconds; }
  // The clock that paces a replay, in microseconds.
  void SetReplayClock(std::function<int64_t()> clock) { replayClock_ = std::move(clock); }

  // Starts the start timer.
  void Launch();
  Phase CurrentPhase() const { return phase_; }
  // From START until the run end is complete, and while a lost port is watched.
  bool RunInProgress() const;
  // What the program's exit status is to be, from everything that went
  // wrong so far (the codes are in run/exit_status.h).
  int ExitStatus() const { return exitStatus_; }
  const ReadStatistics& Reads() const { return reads_; }
  // A lost port is being looked for.
  bool WatchingForPort() const { return reconnectTimer_.isActive(); }

  // --- Handlers --------------------------------------------------------------
  void StartTimerTimer();
  // START or STOP, chosen by the panel's caption.
  void StartPanelClick();
  // SIGINT, SIGTERM, SIGHUP: STOP, and the program ends once the run has
  // ended. Further requests while it ends are ignored.
  void RequestQuit();
  // The main window is to be closed: during a run it stays and the program
  // ends with the run; otherwise it closes and the program ends.
  bool CloseRequested();
  // The rest after a header record is over: the queued bytes are fed. The
  // rest's timer calls it; a test may end a rest early through it.
  void EndRest();
  // The outputs to the disk; the sync timer calls it, a test may too.
  void SyncOutputs();
  // Ends the run in progress as a failed write does (the recording finished
  // and named, exit status 6), for a reason found outside the run, such as
  // a disk below its floor. Nothing happens between runs.
  void EndRunFor(const std::string& cause);

  // The operator's clicks on the window.
  void ChoiceClicked(Choice choice, bool ticked);
  void RateClicked(int32_t rate);
  void GainClicked(int32_t gain);
  void ChannelsClicked(int32_t channels);
  void ZoomInClicked() { pipeline_.ZoomIn(); }
  void ZoomOutClicked() { pipeline_.ZoomOut(); }
  void IncreaseAmplitudeClicked() { pipeline_.IncreaseAmplitude(); }
  void DecreaseAmplitudeClicked() { pipeline_.DecreaseAmplitude(); }
  void PlotResized(int32_t width, int32_t height) { pipeline_.ResizePlot(width, height); }
  // The Noise window's sensor: the run's PSD uses it from the next run on
  // (a run's windows stay in the unit they began in).
  void SensorClicked(const SensorResponse& sensor) { pipeline_.SetSensor(sensor); }

  // The check boxes as they stand.
  const RunOptions& Choices() const { return choices_; }
  const RunPipeline& Pipeline() const { return pipeline_; }
  // Seam for tests: a state the window's clicks would take long to reach.
  RunPipeline& MutablePipeline() { return pipeline_; }
  const FileWriter& Writer() const { return writer_; }

  bool Resting() const { return resting_; }
  // Bytes read during a rest, not yet fed.
  size_t QueuedBytes() const { return queue_.size() - queueHead_; }

 signals:
  void PhaseChanged(RunController::Phase phase);
  // The run has ended; the name of the recording it saved, or "".
  void RunEnded(const QString& recordingName);
  // A failure ended the run (or its start, or its end), or a file the run
  // asked for could not be saved whole; the text for the operator, a line
  // per failure.
  void RunFailed(const QString& message);
  // Something the operator should find in the boot window and on the
  // terminal: a file that could not be created, a lost device, its return.
  void Noted(const QString& line);
  void QuitRequested();

 private:
  // Why a run ends.
  enum class Ending { Stop, DeviceLost, WriteFailed };

  void SetPhase(Phase phase);
  void Start();
  void ContinueStart();
  void Stop();
  void Connect2Voxa();
  // The port or the file to replay could not be opened.
  void FailToConnect(int status, const std::string& message);
  // The source is open: the run's files are created and the run waits for
  // the first marker.
  void OpenRun(bool continueLists);
  void CreateFiles(bool continueLists);
  void OnPortReadable();
  void ResumeReading();
  void ConnectReplay();
  void OnReplayTick();
  void EndReplay();
  void NoteRead(int32_t count);
  void Take(const uint8_t* data, size_t count);
  void Deliver(const uint8_t* data, size_t count);
  void Queue(const uint8_t* data, size_t count);
  void BeginRest();
  void FeedQueue();
  void DrainPort();
  void EndRun();
  void WindDown(Ending ending, const std::string& cause);
  void OnWriterWake();
  void CompleteRunEnd();
  // Closes what a run has open; returns the text of a failure on the way.
  std::optional<std::string> CloseRun();
  void DropNotifier();
  void AfterRun();
  void WatchForPort();
  void LookForPort();
  void NoteExit(int status);
  std::string TimeText();
  void SetParameters(const DeviceParameters& parameters);

  // Host: what the pipeline shows.
  void ShowLabel(Label label, std::string_view text) override { view_.ShowLabel(label, text); }
  void ShowStatus(std::string_view text, StatusColour colour) override { view_.ShowStatus(text, colour); }
  void ShowDeviceHeader(const DeviceSettings& device) override;
  void ShowBootWindow() override { view_.ShowBootWindow(); }
  void AppendBootLine(std::string_view line) override { view_.AppendBootLine(line); }
  void RaiseMainWindow() override { view_.RaiseMainWindow(); }
  void Repaint() override { view_.Repaint(); }
  void NoteErrorLine(std::string_view line) override { view_.NoteErrorLine(line); }

  TCustomComPort& port_;
  RunView& view_;
  RunOptions choices_;
  // The files' writer lives as long as the pipeline that writes through it.
  PosixFileStore fileStore_;
  FileWriter writer_{fileStore_, FileWriter::Mode::Queued};
  RunPipeline pipeline_;

  Phase phase_ = Phase::Starting;
  bool scanning_ = false;
  bool startHeld_ = false;
  bool quitPending_ = false;
  int exitStatus_ = 0;

  std::optional<std::string> commandLinePort_;
  std::function<std::vector<std::string>()> scanNames_;
  std::function<bool(const std::string&)> portAvailable_;
  std::function<ClockFields()> clock_;
  std::function<Micros()> utcClock_;
  int configMissingPauseMs_ = 2000;
  int headerRestOverrideMs_ = -1;
  ReceiverFactory receiverFactory_;
  std::string configPath_ = "config.txt";

  QTimer startTimer_;
  QTimer configPauseTimer_;
  QTimer restTimer_;
  QTimer endTimer_;
  QTimer syncTimer_;
  QTimer reconnectTimer_;
  QTimer replayTimer_;
  QTimer readPauseTimer_;
  int readPauseMs_ = 0;
  QSocketNotifier* notifier_ = nullptr;
  std::unique_ptr<StreamReceiver> receiver_;

  // The run being ended: why, what the operator is told, and whether STOP
  // was pressed meanwhile (no reconnect then).
  Ending ending_ = Ending::Stop;
  std::string endCause_;
  std::string endFailure_;
  bool windingDown_ = false;
  bool stopPressed_ = false;
  // The port name of the run, which reconnect watches; a run started by it.
  std::string runPort_;
  bool reconnectRun_ = false;
  bool waitForPort_ = false;

  // A replay: the recording played in place of the port.
  std::optional<std::string> replayPath_;
  double replaySpeed_ = 1;
  ReplaySource replay_;
  std::function<int64_t()> replayClock_;
  int64_t replayStarted_ = 0;
  bool replayRan_ = false;     // the run being ended played the file
  std::string replayProblem_;  // the file could not be read to its end

  // Reads go through this buffer; the queue holds what arrives during a rest.
  std::array<uint8_t, 4096> chunk_{};
  std::vector<uint8_t> queue_;
  size_t queueHead_ = 0;
  bool resting_ = false;
  ReadStatistics reads_;
  std::chrono::steady_clock::time_point lastRead_{};

  // Last: the thread that runs the writer's steps stops first.
  std::unique_ptr<WriterThread> writerThread_;
};

}  // namespace voxa
