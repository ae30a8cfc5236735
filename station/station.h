// The station: a run with no window. It drives the same run controller the
// window does (so its files are the window's, byte for byte), through a
// view that keeps what the controller asks back (the port's name, the
// panel's caption) and logs what a run shows. Beside the run it keeps the
// status file, watches the disk, and tells the service manager how it is.
#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "run/run_controller.h"
#include "run/run_view.h"
#include "serial/com_port.h"
#include "station/disk_guard.h"
#include "station/event_log.h"
#include "station/service_notifier.h"
#include "station/station_config.h"
#include "station/status_document.h"
#include "web_server/live_service.h"

namespace voxa {

// A surface that draws nothing: the station shows no traces, and the
// screen's checks do not depend on the pixels.
class NullSurface : public Surface {
 public:
  static constexpr PlotSize kSize{1000, 500};
  int Width() const override { return kSize.width; }
  int Height() const override { return kSize.height; }
  void SetPenColour(Colour) override {}
  void MoveTo(int, int) override {}
  void LineTo(int, int) override {}
  void FloodFill(int, int, Colour) override {}
  void Refresh() override {}
};

// The controller's face in the station.
class StationView : public RunView {
 public:
  struct Hooks {
    std::function<void(std::string_view)> bootLine;
    std::function<void(std::string_view)> errorLine;
    std::function<void(const std::string&, const std::string&)> identity;
    std::function<void(std::string_view)> gpsClock;
    std::function<void(OutputFile, const std::string&)> fileFailed;
  };
  explicit StationView(Hooks hooks) : hooks_(std::move(hooks)) {}

  void SetSize() override {}
  PlotSize InitPlotGeometry() override { return NullSurface::kSize; }
  void ShowLabel(Label label, std::string_view text) override;
  void ShowStatus(std::string_view, StatusColour) override {}
  void ShowBootWindow() override {}
  void AppendBootLine(std::string_view line) override;
  void RaiseMainWindow() override {}
  void Repaint() override {}
  void NoteErrorLine(std::string_view line) override;
  void ShowDeviceIdentity(const std::string& number, const std::string& version) override;
  void ShowParameters(const DeviceParameters&) override {}
  void ShowChoices(const RunOptions&) override {}
  void SetLoadExtColour(StatusColour) override {}
  void MarkOutputFileFailed(OutputFile file, const std::string& reason) override;
  std::string PortText() const override { return port_; }
  void SetPortText(const std::string& name) override { port_ = name; }
  void AddPort(const std::string& name) override { port_ = name; }
  void SetPortBoxEnabled(bool) override {}
  std::string StartCaption() const override { return caption_; }
  void ShowStartPanel(const std::string& caption, StatusColour, bool) override { caption_ = caption; }
  void SetParameterControlsEnabled(bool) override {}
  void SetIdle(bool) override {}
  void SetPlotToScreenSize() override {}
  Surface& PlotSurface() override { return surface_; }

  // The labels as the window would show them.
  const std::string& Satellites() const { return satellites_; }
  const std::string& Temperature() const { return temperature_; }
  const std::string& Shift() const { return shift_; }
  const std::string& GpsClock() const { return gpsClock_; }

 private:
  Hooks hooks_;
  NullSurface surface_;
  std::string port_;
  std::string caption_ = "START";
  std::string satellites_, temperature_, shift_, gpsClock_;
};

class Station : public QObject {
  Q_OBJECT

 public:
  // A failed run (a write that failed, the disk below its floor) is tried
  // again this often, once there is room.
  static constexpr int kRetryIntervalMs = 30'000;
  // How long the port rests after a read (see RunController::SetReadPause).
  static constexpr int kReadPauseMs = 80;

  Station(const StationConfig& config, ServiceNotifier& notifier, QObject* parent = nullptr);
  ~Station() override;

  // Seams for tests: the replay (before Start), the disk's free space, the
  // clock of the log and the fix age (steady seconds).
  void SetReplay(const std::string& path, double speed);
  void SetFreeSpace(std::function<std::optional<int64_t>(const std::string&)> freeSpace) {
    freeSpace_ = std::move(freeSpace);
  }
  void SetLogSink(EventLog::Sink sink);
  void SetRetryInterval(int milliseconds) { retryTimer_.setInterval(milliseconds); }

  // The run starts at once.
  void Start();
  // SIGINT, SIGTERM, SIGHUP: STOP, and the station ends once the run has.
  void RequestQuit();
  int ExitStatus() const { return controller_.ExitStatus(); }

  RunController& Controller() { return controller_; }
  const StationView& View() const { return view_; }
  // SeedLink and the page, when served.
  const LiveService* Live() const { return live_.get(); }
  EventLog& Log() { return log_; }
  // The status as it would be written now.
  StationStatus CurrentStatus();
  // Writes the status file, checks the disk and tells the service manager
  // the state; the status timer calls it, a test may too.
  void Tick();
  // The service manager's watchdog: the ping from the event loop.
  void PingWatchdog();

 signals:
  void QuitRequested();

 private:
  void OnPhase(RunController::Phase phase);
  void CheckDisk(StationStatus& status);
  void RetryAfterFailure();
  // The archive's StationXML, from the header in force and the sensor.
  void WriteStationXml();
  void StartLive();
  std::string StatusLine(const StationStatus& status) const;
  static int64_t SteadySeconds();

  StationConfig config_;
  ServiceNotifier& notifier_;
  EventLog log_;
  TComPort port_;
  StationView view_;
  RunController controller_;
  QTimer statusTimer_;
  QTimer watchdogTimer_;
  QTimer retryTimer_;
  std::function<std::optional<int64_t>(const std::string&)> freeSpace_;
  std::string statusPath_;
  std::string archiveRoot_;
  bool ready_ = false;
  bool quitting_ = false;
  bool restarting_ = false;
  bool firstFixSeen_ = false;
  std::optional<std::chrono::steady_clock::time_point> lastFix_;
  DiskState disk_ = DiskState::Ok;
  int64_t lastDiskWarning_ = -1;
  int64_t lastPrune_ = -1;
  std::string lastProblem_;
  std::string lastRecording_;
  std::string statusFailure_;
  std::unique_ptr<LiveService> live_;
};

}  // namespace voxa
