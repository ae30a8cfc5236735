// The station.
#include "station/station.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "metadata/station_xml.h"
#include "pipeline/noise_status.h"
#include "recording/recording.h"

#ifndef VOXA_VERSION
#define VOXA_VERSION "0"
#endif

namespace voxa {
namespace {

// A low disk is said again this often while it stays low.
constexpr int64_t kDiskWarningSeconds = 600;
// The archive's old day files are looked for this often.
constexpr int64_t kPruneSeconds = 3600;

std::string IsoTime(Micros micros) {
  const time_t seconds = static_cast<time_t>(micros / kMicrosPerSecond);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(micros % kMicrosPerSecond));
  return text;
}

Micros UtcNowMicros() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<Micros>(now.tv_sec) * kMicrosPerSecond + now.tv_nsec / 1000;
}

int64_t FileSize(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : 0;
}

const char* PhaseName(RunController::Phase phase) {
  switch (phase) {
    case RunController::Phase::Starting: return "starting";
    case RunController::Phase::Idle: return "idle";
    case RunController::Phase::Preparing: return "preparing";
    case RunController::Phase::Waiting: return "waiting for the device";
    case RunController::Phase::Receiving: return "receiving";
    case RunController::Phase::Stopping: return "stopping";
    case RunController::Phase::Failed: return "failed";
    case RunController::Phase::Reconnecting: return "waiting for the port";
  }
  return "";
}

std::string Megabytes(int64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

// The monitor's choices with the station's sensor, which the noise takes.
MonitorOptions RunChoices(const StationConfig& config) {
  MonitorOptions options = config.options;
  if (config.sensor) options.noise.sensor = *config.sensor;
  return options;
}

std::string NoiseJson(const std::vector<ChannelNoiseStatus>& channels) {
  // median_db holds the medians at kStatusPeriods, in that order.
  std::string json = "[";
  for (size_t i = 0; i < channels.size(); ++i) {
    const ChannelNoiseStatus& c = channels[i];
    json += std::string(i ? ", " : "") + "{\"stream\": " + JsonString(c.stream) +
            ", \"acceleration\": " + (c.acceleration ? "true" : "false") + ", \"unit\": " +
            JsonString(c.acceleration ? "dB re 1 (m/s^2)^2/Hz" : "dB re 1 V^2/Hz") +
            ", \"windows\": " + std::to_string(c.windows) + ", \"periods_s\": [";
    for (size_t p = 0; p < kStatusPeriods.size(); ++p) {
      char period[16];
      std::snprintf(period, sizeof period, "%g", kStatusPeriods[p]);
      json += std::string(p ? ", " : "") + period;
    }
    json += "], \"median_db\": [";
    for (size_t p = 0; p < kStatusPeriods.size(); ++p) {
      char value[32] = "null";
      if (c.medianDb[p]) std::snprintf(value, sizeof value, "%.1f", *c.medianDb[p]);
      json += std::string(p ? ", " : "") + value;
    }
    json += "]}";
  }
  return json + "]";
}

}  // namespace

// --- The view ----------------------------------------------------------------------

void StationView::ShowLabel(Label label, std::string_view text) {
  switch (label) {
    case Label::GpsClock: gpsClock_ = text; break;
    case Label::Sats:
      // A sound GPS record shows its clock, then its satellites.
      satellites_ = text;
      if (!gpsClock_.empty() && hooks_.gpsClock) hooks_.gpsClock(gpsClock_);
      break;
    case Label::Temp: temperature_ = text; break;
    case Label::Shift: shift_ = text; break;
    default: break;
  }
}

void StationView::AppendBootLine(std::string_view line) {
  if (hooks_.bootLine) hooks_.bootLine(line);
}

void StationView::NoteErrorLine(std::string_view line) {
  if (hooks_.errorLine) hooks_.errorLine(line);
}

void StationView::ShowDeviceIdentity(const std::string& number, const std::string& version) {
  if (hooks_.identity) hooks_.identity(number, version);
}

void StationView::MarkOutputFileFailed(OutputFile file, const std::string& reason) {
  if (hooks_.fileFailed) hooks_.fileFailed(file, reason);
}

// --- The station ---------------------------------------------------------------------

int64_t Station::SteadySeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

Station::Station(const StationConfig& config, ServiceNotifier& notifier, QObject* parent)
    : QObject(parent),
      config_(config),
      notifier_(notifier),
      log_([](std::string_view line) { std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data()); },
           SteadySeconds, std::getenv("JOURNAL_STREAM") != nullptr),
      view_(StationView::Hooks{
          [this](std::string_view line) {
            const bool kept = line.rfind("Unfinished recording", 0) == 0;
            log_.Line(kept ? LogLevel::Warning : LogLevel::Info, kept ? std::string(line) : "device: " + std::string(line));
          },
          [this](std::string_view line) { log_.ErrorLine(line); },
          [this](const std::string& number, const std::string& version) {
            const DeviceParameters p = controller_.Pipeline().Device().Parameters();
            log_.Line(LogLevel::Notice, "device header: VOXA " + number + ", firmware " + version + "; " +
                                            std::to_string(p.channels) + " channels at " + std::to_string(p.rate) +
                                            " sps, gain " + std::to_string(p.gain));
            WriteStationXml();
          },
          [this](std::string_view clock) {
            lastFix_ = std::chrono::steady_clock::now();
            if (firstFixSeen_) return;
            firstFixSeen_ = true;
            log_.Line(LogLevel::Notice, "first GPS fix: " + std::string(clock) + ", " + view_.Satellites() +
                                            " satellites");
          },
          [this](OutputFile, const std::string& reason) {
            lastProblem_ = reason;
            log_.Line(LogLevel::Error, reason + "; that file is off for this run");
          }}),
      controller_(port_, view_, RunChoices(config)),
      freeSpace_(FreeBytes) {
  statusPath_ = config_.statusFile;
  archiveRoot_ = config_.options.mseedDirectory.empty() ? "mseed" : config_.options.mseedDirectory;
  if (config_.port) controller_.SetCommandLinePort(*config_.port);
  controller_.SetWaitForPort(true);
  controller_.SetConfigPath(config_.configFile);
  // Nobody reads a status bar here: a missing config.txt is logged, and the
  // run goes on at once.
  controller_.SetConfigMissingPause(0);
  // Nothing is drawn as it arrives: reading in batches saves wake-ups.
  controller_.SetReadPause(kReadPauseMs);

  connect(&controller_, &RunController::PhaseChanged, this, &Station::OnPhase);
  connect(&controller_, &RunController::RunFailed, this, [this](const QString& message) {
    for (const QString& line : message.split('\n')) {
      lastProblem_ = line.toStdString();
      log_.Line(LogLevel::Error, lastProblem_);
    }
  });
  connect(&controller_, &RunController::Noted, this,
          [this](const QString& line) { log_.Line(LogLevel::Warning, line.toStdString()); });
  connect(&controller_, &RunController::RunEnded, this, [this](const QString& recording) {
    if (recording.isEmpty()) return;
    lastRecording_ = recording.toStdString();
    log_.Line(LogLevel::Notice, "recording saved as " + lastRecording_);
  });
  connect(&controller_, &RunController::QuitRequested, this, [this] {
    log_.Line(LogLevel::Notice, "station ends, exit status " + std::to_string(controller_.ExitStatus()));
    Tick();
    notifier_.Notify("STOPPING=1");
    emit QuitRequested();
  });

  statusTimer_.setInterval(config_.statusIntervalSeconds * 1000);
  connect(&statusTimer_, &QTimer::timeout, this, &Station::Tick);
  connect(&watchdogTimer_, &QTimer::timeout, this, &Station::PingWatchdog);
  retryTimer_.setSingleShot(true);
  retryTimer_.setInterval(kRetryIntervalMs);
  connect(&retryTimer_, &QTimer::timeout, this, &Station::RetryAfterFailure);
}

Station::~Station() = default;

void Station::SetReplay(const std::string& path, double speed) { controller_.SetReplay(path, speed); }

void Station::SetLogSink(EventLog::Sink sink) {
  log_ = EventLog(std::move(sink), SteadySeconds, false);
}

void Station::Start() {
  const RunOptions& o = config_.options.run;
  std::string saving;
  const auto add = [&saving](bool on, const std::string& what) {
    if (on) saving += (saving.empty() ? "" : ", ") + what;
  };
  add(o.saveStream, "the recording");
  add(o.saveErrorList, "error.csv");
  add(o.saveShift, "shift.csv");
  add(o.saveMseed, "the miniSEED archive in " + archiveRoot_);
  std::error_code error;
  const std::string here = std::filesystem::current_path(error).string();
  log_.Line(LogLevel::Notice, "voxa-station starts on " + (config_.port ? *config_.port : std::string("a replay")) +
                                  ", writing into " + here + "; saving " + (saving.empty() ? "nothing" : saving));
  if (config_.seedlink.enabled) StartLive();
  controller_.Launch();
  statusTimer_.start();
  if (const std::optional<int64_t> usec = notifier_.WatchdogMicros()) {
    // Half the manager's limit, so one late ping is no restart.
    watchdogTimer_.start(static_cast<int>(std::max<int64_t>(1, *usec / 2000)));
  }
}

void Station::StartLive() {
  LiveService::Settings live;
  live.options = config_.seedlink;
  live.identity.network = config_.options.codes.network;
  if (config_.options.codes.station) live.identity.station = *config_.options.codes.station;
  live.identity.description = "VOXA station";
  live.identity.started = UtcNowMicros();
  std::error_code error;
  const std::filesystem::path here = std::filesystem::current_path(error);
  live.archiveRoot = config_.options.run.saveMseed ? (here / archiveRoot_).lexically_normal().string() : "";
  live.dataDirectory = here.string();
  live.webRoot = DefaultWebRoot();
  live.status = [this]() -> std::optional<std::string> {
    StationStatus status = CurrentStatus();
    CheckDisk(status);
    return StatusJson(status);
  };
  live.log = [this](const std::string& line) { log_.Line(LogLevel::Info, "seedlink: " + line); };
  live_ = std::make_unique<LiveService>(live);
  std::string why;
  if (!live_->Start(controller_.MutablePipeline(), why)) {
    // The recording matters more than the live feed: the run goes on.
    lastProblem_ = "SeedLink not served: " + why;
    log_.Line(LogLevel::Error, lastProblem_);
    live_.reset();
    return;
  }
  log_.Line(LogLevel::Notice, "serving SeedLink and the station's page at " + live_->PageAddress() +
                                  " (TCP and WebSocket /seedlink)");
}

void Station::RequestQuit() {
  quitting_ = true;
  retryTimer_.stop();
  controller_.RequestQuit();
}

void Station::PingWatchdog() { notifier_.Notify("WATCHDOG=1"); }

void Station::OnPhase(RunController::Phase phase) {
  using Phase = RunController::Phase;
  switch (phase) {
    case Phase::Waiting:
      WriteStationXml();
      firstFixSeen_ = false;
      lastFix_.reset();
      log_.Line(LogLevel::Notice, "port " + view_.PortText() + " opened; waiting for the device's stream");
      break;
    case Phase::Receiving:
      log_.Line(LogLevel::Notice, "the device is sending");
      break;
    case Phase::Reconnecting:
      log_.Line(LogLevel::Notice, "watching for port " + view_.PortText());
      break;
    case Phase::Failed:
      if (quitting_) break;
      if (!config_.options.run.reconnect) {
        // A station told not to reconnect ends with its run.
        RequestQuit();
        break;
      }
      log_.Line(LogLevel::Notice, "a new run is tried in " + std::to_string(kRetryIntervalMs / 1000) + " s");
      retryTimer_.start();
      break;
    case Phase::Idle:
      // A station is idle only when its run ended for good: the replay's
      // file is played, or the run was stopped.
      if (!quitting_ && !restarting_) RequestQuit();
      break;
    default:
      break;
  }
  if (!ready_ && (phase == Phase::Waiting || phase == Phase::Receiving || phase == Phase::Reconnecting)) {
    ready_ = true;
    notifier_.Notify("READY=1");
  }
  Tick();
}

void Station::WriteStationXml() {
  if (!config_.options.run.saveMseed) return;
  const DeviceSettings& device = controller_.Pipeline().Device();
  const DeviceParameters p = device.Parameters();
  StationDescription d;
  d.codes = ResolveCodes(config_.options.codes, p.rate, p.channels, device.DeviceNumber());
  d.channels = p.channels;
  d.rate = p.rate;
  d.gain = p.gain;
  d.deviceNumber = device.DeviceNumber();
  d.firmwareVersion = device.FirmwareVersion();
  d.start = UtcNowMicros();
  d.sensor = config_.sensor;
  d.module = "voxa-station " + std::string(VOXA_VERSION);
  d.created = d.start;
  const std::string path = archiveRoot_ + "/station.xml";
  std::error_code ignored;
  std::filesystem::create_directories(archiveRoot_, ignored);
  std::string error;
  if (!voxa::WriteStationXml(d, path, error)) {
    log_.Line(LogLevel::Warning, "StationXML not written: " + error);
    return;
  }
  log_.Line(LogLevel::Info, "StationXML written to " + path);
}

void Station::RetryAfterFailure() {
  if (quitting_ || controller_.CurrentPhase() != RunController::Phase::Failed) return;
  const std::optional<int64_t> free = freeSpace_(".");
  if (free && JudgeDisk(*free, config_.diskWarnBytes, config_.diskFloorBytes) != DiskState::Ok) {
    // No new run before the disk has room again above the warning level.
    retryTimer_.start();
    return;
  }
  restarting_ = true;
  controller_.StartPanelClick();  // STOP: the failed run is left
  controller_.StartPanelClick();  // START
  restarting_ = false;
}

void Station::CheckDisk(StationStatus& status) {
  const std::optional<int64_t> free = freeSpace_(".");
  status.freeDiskBytes = free;
  if (!free) {
    status.diskState = "unknown";
    return;
  }
  const DiskState state = JudgeDisk(*free, config_.diskWarnBytes, config_.diskFloorBytes);
  status.diskState = DiskStateName(state);
  const int64_t now = SteadySeconds();
  if (state == DiskState::BelowFloor) {
    const RunController::Phase phase = controller_.CurrentPhase();
    if (phase == RunController::Phase::Waiting || phase == RunController::Phase::Receiving) {
      const std::string cause = "the disk has " + Megabytes(*free) + " free, below the floor of " +
                                Megabytes(config_.diskFloorBytes) + ": the run stops before it fills the disk";
      log_.Line(LogLevel::Error, cause);
      controller_.EndRunFor(cause);
    }
  } else if (state == DiskState::Low && (disk_ != DiskState::Low || now - lastDiskWarning_ >= kDiskWarningSeconds)) {
    lastDiskWarning_ = now;
    log_.Line(LogLevel::Warning, "the disk is low: " + Megabytes(*free) + " free (warning below " +
                                     Megabytes(config_.diskWarnBytes) + ", the run stops below " +
                                     Megabytes(config_.diskFloorBytes) + ")");
  } else if (state == DiskState::Ok && disk_ != DiskState::Ok) {
    log_.Line(LogLevel::Notice, "the disk has room again: " + Megabytes(*free) + " free");
  }
  disk_ = state;
  if (config_.keepDays > 0 && config_.options.run.saveMseed && (lastPrune_ < 0 || now - lastPrune_ >= kPruneSeconds)) {
    lastPrune_ = now;
    const int64_t today = UtcNowMicros() / kMicrosPerDay;
    for (const std::string& removed : PruneArchive(archiveRoot_, config_.keepDays, today)) {
      log_.Line(LogLevel::Info, "removed " + removed + ", older than " + std::to_string(config_.keepDays) + " days");
    }
  }
}

StationStatus Station::CurrentStatus() {
  StationStatus s;
  const RunPipeline& pipeline = controller_.Pipeline();
  s.updated = IsoTime(UtcNowMicros());
  s.phase = PhaseName(controller_.CurrentPhase());
  s.port = view_.PortText();
  s.deviceNumber = pipeline.Device().DeviceNumber();
  s.firmwareVersion = pipeline.Device().FirmwareVersion();
  s.gpsClock = view_.GpsClock();
  if (lastFix_) {
    s.fixAgeSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - *lastFix_).count();
  }
  s.satellites = view_.Satellites();
  s.temperature = view_.Temperature();
  s.shift = view_.Shift();
  s.blockErrors = pipeline.Statistics().BlockErrors();
  s.secondErrors = pipeline.Statistics().SecondErrors();
  s.rateErrors = pipeline.Statistics().RateErrors();
  if (controller_.RunInProgress() && pipeline.SavingStream()) {
    s.recording = kWorkingRecordingName;
  } else {
    s.recording = lastRecording_;
  }
  if (!s.recording.empty()) s.recordingBytes = FileSize(s.recording);
  for (const MseedStream::Written& written : pipeline.ArchiveStream().WrittenSoFar()) {
    s.archive.push_back({written.stream, IsoTime(written.lastSample)});
  }
  s.extra.emplace_back("noise", NoiseJson(NoiseStatus(pipeline)));
  if (live_) {
    const SeedLinkStats stats = live_->Stats();
    s.seedlinkOn = stats.listening;
    s.seedlinkListen = stats.address;
    for (const SeedLinkClientInfo& client : stats.clients) s.clients.push_back({client.peer, client.packetsSent});
    s.packetsSent = stats.packetsSent;
  }
  s.lastProblem = lastProblem_;
  s.exitStatus = controller_.ExitStatus();
  return s;
}

std::string Station::StatusLine(const StationStatus& s) const {
  std::string line = s.phase;
  if (!s.port.empty()) line += " on " + s.port;
  if (!s.gpsClock.empty()) line += "; GPS " + s.gpsClock + ", " + s.satellites + " sats";
  line += "; errors " + std::to_string(s.blockErrors) + "/" + std::to_string(s.secondErrors) + "/" +
          std::to_string(s.rateErrors);
  if (!s.recording.empty()) line += "; " + s.recording + " " + Megabytes(s.recordingBytes);
  if (s.diskState != "ok") line += "; disk " + s.diskState;
  return line;
}

void Station::Tick() {
  StationStatus status = CurrentStatus();
  CheckDisk(status);
  const std::string failure = WriteFileAtomically(statusPath_, StatusJson(status));
  if (failure != statusFailure_) {
    // Said once when it starts failing, and once when it works again.
    if (!failure.empty()) log_.Line(LogLevel::Warning, "status file: " + failure);
    else log_.Line(LogLevel::Notice, "status file written again");
    statusFailure_ = failure;
  }
  notifier_.Notify("STATUS=" + StatusLine(status));
  log_.Flush();
}

}  // namespace voxa
