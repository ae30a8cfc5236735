// The run controller: start-up (placement, port scan or command-line start),
// the START/STOP cycle, opening the port and the files, waiting for the
// device and handing its bytes to the run pipeline, and the run end. It owns
// the operator's check-box choices and the pipeline, turns the window's
// clicks into changes of either, and tells the window what to show (it is the
// pipeline's Host, and passes what a run shows on to the window).
//
// It is event-driven: nothing here loops or sleeps waiting for something.
// The port is watched by a socket notifier, so while the device is silent
// the program sleeps in the event loop; the rest after a header record and
// the pause after a missing config file are timers. Every handler of the
// window therefore runs between two reads, as it must, without a nested
// event loop. The controller owns no widget; it reaches the window through
// RunView.
#pragma once

#include <QObject>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/run_view.h"
#include "app/stream_receiver.h"
#include "pipeline/host.h"
#include "pipeline/run_options.h"
#include "pipeline/run_pipeline.h"
#include "timing/computer_clock.h"

class QSocketNotifier;

namespace voxa {

class TCustomComPort;

class RunController : public QObject, private Host {
  Q_OBJECT

 public:
  enum class Phase {
    Starting,   // until the start timer has placed the window and scanned the ports
    Idle,       // START waits for a click
    Preparing,  // START's steps, including the pause after a missing config file
    Waiting,    // port open, files created, waiting for the first marker byte
    Receiving,  // the stream goes to the separator
    Stopping,   // STOP was pressed; the run end follows on the next pass of the event loop
    Failed,     // the run was ended by a failure; the window keeps the run's look until STOP
  };
  Q_ENUM(Phase)

  RunController(TCustomComPort& port, RunView& view, const MonitorOptions& options, QObject* parent = nullptr);
  ~RunController() override;

  // --- Seams (the program sets none but the first) ---------------------------
  // Starts a run at once with this port instead of scanning.
  void SetCommandLinePort(const std::string& port) { commandLinePort_ = port; }
  void SetPortScan(std::function<std::vector<std::string>()> names, std::function<bool(const std::string&)> available);
  void SetClock(std::function<ClockFields()> clock) { clock_ = std::move(clock); }
  // The pause that lets the operator read that config.txt was missing.
  void SetConfigMissingPause(int milliseconds) { configMissingPauseMs_ = milliseconds; }
  // The rest after a header record; negative keeps the receiver's own.
  void SetHeaderRestOverride(int milliseconds) { headerRestOverrideMs_ = milliseconds; }
  void SetReceiverFactory(ReceiverFactory factory) { receiverFactory_ = std::move(factory); }
  void SetConfigPath(std::string path) { configPath_ = std::move(path); }

  // Starts the start timer.
  void Launch();
  Phase CurrentPhase() const { return phase_; }
  // From START until the run end is complete.
  bool RunInProgress() const;

  // --- Handlers --------------------------------------------------------------
  void StartTimerTimer();
  // START or STOP, chosen by the panel's caption.
  void StartPanelClick();
  // SIGINT, SIGTERM, SIGHUP: STOP, and the program ends once the run has ended.
  void RequestQuit();
  // The main window is to be closed: during a run it stays and the program
  // ends with the run; otherwise it closes and the program ends.
  bool CloseRequested();
  // The rest after a header record is over: the queued bytes are fed. The
  // rest's timer calls it; a test may end a rest early through it.
  void EndRest();

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

  // The check boxes as they stand.
  const RunOptions& Choices() const { return choices_; }
  const RunPipeline& Pipeline() const { return pipeline_; }
  // Seam for tests: a state the window's clicks would take long to reach.
  RunPipeline& MutablePipeline() { return pipeline_; }

  bool Resting() const { return resting_; }
  // Bytes read during a rest, not yet fed.
  size_t QueuedBytes() const { return queue_.size() - queueHead_; }

 signals:
  void PhaseChanged(RunController::Phase phase);
  // The run has ended after STOP; the recording's final name, or "".
  void RunEnded(const QString& recordingName);
  // A failure ended the run (or its start, or its end); the text for the operator.
  void RunFailed(const QString& message);
  void QuitRequested();

 private:
  void SetPhase(Phase phase);
  void Start();
  void ContinueStart();
  void Stop();
  void Connect2Voxa();
  void CreateFiles();
  void OnPortReadable();
  void Take(const uint8_t* data, size_t count);
  void Deliver(const uint8_t* data, size_t count);
  void Queue(const uint8_t* data, size_t count);
  void BeginRest();
  void EndRun();
  void Fail(const std::string& message);
  // Closes what a run has open; returns the text of a failure on the way.
  std::optional<std::string> CloseRun();
  void DropNotifier();
  void AfterRun();
  void SetParameters(const DeviceParameters& parameters);

  // Host: what the pipeline shows.
  void ShowLabel(Label label, std::string_view text) override { view_.ShowLabel(label, text); }
  void ShowStatus(std::string_view text, StatusColour colour) override { view_.ShowStatus(text, colour); }
  void ShowDeviceHeader(const DeviceSettings& device) override;
  void ShowBootWindow() override { view_.ShowBootWindow(); }
  void AppendBootLine(std::string_view line) override { view_.AppendBootLine(line); }
  void RaiseMainWindow() override { view_.RaiseMainWindow(); }
  void Repaint() override { view_.Repaint(); }

  TCustomComPort& port_;
  RunView& view_;
  RunOptions choices_;
  RunPipeline pipeline_;

  Phase phase_ = Phase::Starting;
  bool scanning_ = false;
  bool startHeld_ = false;
  bool quitPending_ = false;

  std::optional<std::string> commandLinePort_;
  std::function<std::vector<std::string>()> scanNames_;
  std::function<bool(const std::string&)> portAvailable_;
  std::function<ClockFields()> clock_;
  int configMissingPauseMs_ = 2000;
  int headerRestOverrideMs_ = -1;
  ReceiverFactory receiverFactory_;
  std::string configPath_ = "config.txt";

  QTimer startTimer_;
  QTimer configPauseTimer_;
  QTimer restTimer_;
  QTimer endTimer_;
  QSocketNotifier* notifier_ = nullptr;
  std::unique_ptr<StreamReceiver> receiver_;

  // Reads go through this buffer; the queue holds what arrives during a rest.
  std::array<uint8_t, 4096> chunk_{};
  std::vector<uint8_t> queue_;
  size_t queueHead_ = 0;
  bool resting_ = false;
};

}  // namespace voxa
