#include "tools/psd_report.h"

#include <libmseed.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "device/device_settings.h"
#include "mseed/archive.h"
#include "mseed/codes.h"
#include "mseed/recording_converter.h"
#include "mseed/utc_time.h"

namespace voxa {

// A stream's PSD while it is read: its windows go to the histogram as they
// are finished.
struct PsdReport::Running {
  ChannelPsd psd;
  int64_t collected = 0;
};

namespace {

// Every window the stream's PSD finished since the last call goes to the
// histogram (a burst of samples may finish more than one at a time).
void CollectWindows(ChannelReportPsd& channel, ChannelPsd& psd, int64_t& collected) {
  const int64_t fresh = std::min<int64_t>(psd.WindowsDone() - collected, static_cast<int64_t>(psd.KeptWindows()));
  for (int64_t i = fresh; i > 0; --i) channel.histogram->Add(psd.KeptWindow(psd.KeptWindows() - static_cast<size_t>(i)).decibels);
  collected = psd.WindowsDone();
}

}  // namespace

PsdReport::PsdReport(PsdReportOptions options) : options_(std::move(options)) {}
PsdReport::~PsdReport() = default;

bool PsdReport::Wanted(const std::string& stream) const {
  for (const std::string_view health : {kClockPhaseChannel, kClockQualityChannel, kTemperatureChannel, kSatelliteChannel}) {
    if (stream.size() > health.size() && stream.ends_with(health) && stream[stream.size() - health.size() - 1] == '.') {
      return false;
    }
  }
  if (options_.channel.empty()) return true;
  if (options_.channel.find('.') != std::string::npos) return stream == options_.channel;
  return stream.size() > options_.channel.size() && stream.ends_with(options_.channel) &&
         stream[stream.size() - options_.channel.size() - 1] == '.';
}

void PsdReport::Feed(const std::string& stream, int32_t rate, int gain, int64_t startMicros, const int32_t* samples,
                     int32_t count) {
  if (count <= 0 || rate <= 0 || !Wanted(stream)) return;
  const int64_t interval = 1'000'000 / rate;
  // The span: samples before start or at and after end are left out.
  int32_t first = 0;
  int32_t last = count;
  if (options_.startMicros && startMicros < *options_.startMicros) {
    first = static_cast<int32_t>(std::min<int64_t>(count, (*options_.startMicros - startMicros + interval - 1) / interval));
  }
  if (options_.endMicros) {
    const int64_t before = (*options_.endMicros - startMicros + interval - 1) / interval;
    last = static_cast<int32_t>(std::clamp<int64_t>(before, 0, count));
  }
  if (first >= last) return;

  size_t at = 0;
  while (at < channels_.size() && !(channels_[at].stream == stream && channels_[at].rate == rate)) ++at;
  if (at == channels_.size()) {
    auto running = std::make_unique<Running>();
    PsdSettings settings;
    settings.windowSeconds = options_.windowSeconds;
    settings.keepSeconds = 4 * options_.windowSeconds;  // the histogram keeps what the report needs
    if (!running->psd.Start(rate, gain, options_.sensor, settings)) {
      notes_.push_back(stream + ": " + std::to_string(options_.windowSeconds) + " s at " + std::to_string(rate) +
                       " sps is too short for a spectrum; left out");
      return;
    }
    ChannelReportPsd channel;
    channel.stream = stream;
    channel.rate = rate;
    channel.gain = gain;
    channel.layout = running->psd.Layout();
    channel.histogram = std::make_unique<PsdHistogram>(channel.layout.periods.size());
    channel.firstMicros = startMicros + first * interval;
    channels_.push_back(std::move(channel));
    running_.push_back(std::move(running));
  }
  ChannelReportPsd& channel = channels_[at];
  Running& running = *running_[at];
  running.psd.Add(startMicros + first * interval, samples + first, last - first, 1);
  channel.samples += last - first;
  channel.lastMicros = startMicros + (last - 1) * interval;
  CollectWindows(channel, running.psd, running.collected);
  while (running.psd.Work()) CollectWindows(channel, running.psd, running.collected);
}

void PsdReport::Finish() {
  for (size_t i = 0; i < channels_.size(); ++i) {
    ChannelReportPsd& channel = channels_[i];
    Running& running = *running_[i];
    while (running.psd.Work()) CollectWindows(channel, running.psd, running.collected);
    channel.gaps = running.psd.Gaps();
    PsdSummary& summary = channel.summary;
    summary.periods = channel.layout.periods;
    summary.acceleration = options_.sensor.Present();
    summary.windows = channel.histogram->Windows();
    if (summary.windows == 0) continue;
    for (size_t p = 0; p < summary.periods.size(); ++p) {
      summary.p5.push_back(*channel.histogram->Percentile(p, 5));
      summary.p50.push_back(*channel.histogram->Percentile(p, 50));
      summary.p95.push_back(*channel.histogram->Percentile(p, 95));
      summary.mode.push_back(*channel.histogram->Mode(p));
    }
  }
}

namespace {

std::string StreamOf(const MSRecord& msr) {
  return std::string(msr.network) + "." + msr.station + "." + msr.location + "." + msr.channel;
}

int64_t TotalSamples(const std::vector<ChannelReportPsd>& channels) {
  int64_t total = 0;
  for (const ChannelReportPsd& c : channels) total += c.samples;
  return total;
}

// The recording's records, parsed as the converter packs them and fed on.
class FeedFiles final : public ArchiveFiles {
 public:
  FeedFiles(PsdReport& report, int gain) : report_(report), gain_(gain) {}
  ~FeedFiles() override {
    if (msr_ != nullptr) msr_free(&msr_);
  }
  void Append(size_t, const std::string&, const uint8_t* data, size_t length) override {
    std::vector<char> record(data, data + length);
    if (msr_parse(record.data(), static_cast<int>(length), &msr_, static_cast<int>(length), 1, 0) != MS_NOERROR) return;
    if (msr_->sampletype != 'i' || msr_->numsamples <= 0) return;
    report_.Feed(StreamOf(*msr_), static_cast<int32_t>(std::lround(msr_->samprate)), gain_, msr_->starttime,
                 static_cast<const int32_t*>(msr_->datasamples), static_cast<int32_t>(msr_->numsamples));
  }
  // Nothing is on disk: the records only pass through.
  void ReadHeld(const std::string&, const Reader&) override {}
  void CloseAll() override {}
  const std::vector<std::string>& Written() const override { return written_; }

 private:
  PsdReport& report_;
  int gain_;
  MSRecord* msr_ = nullptr;
  std::vector<std::string> written_;
};

}  // namespace

std::string PsdReport::ReadMseedFile(const std::string& path, bool& wasMseed) {
  MSRecord* msr = nullptr;
  int status = MS_NOERROR;
  int64_t records = 0;
  const int gain = options_.gain.value_or(16);
  while ((status = ms_readmsr(&msr, path.c_str(), 0, nullptr, nullptr, 1, 1, 0)) == MS_NOERROR) {
    ++records;
    if (msr->sampletype != 'i' || msr->numsamples <= 0) continue;
    Feed(StreamOf(*msr), static_cast<int32_t>(std::lround(msr->samprate)), gain, msr->starttime,
         static_cast<const int32_t*>(msr->datasamples), static_cast<int32_t>(msr->numsamples));
  }
  ms_readmsr(&msr, nullptr, 0, nullptr, nullptr, 0, 0, 0);
  wasMseed = records > 0;
  if (status != MS_ENDOFFILE && records == 0) return "is neither miniSEED nor a VOXA recording";
  if (status != MS_ENDOFFILE) return std::string("is damaged after ") + std::to_string(records) + " records: " + ms_errorstr(status);
  return "";
}

std::string PsdReport::ReadRecording(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> opening(1 << 20);
  in.read(reinterpret_cast<char*>(opening.data()), static_cast<std::streamsize>(opening.size()));
  opening.resize(static_cast<size_t>(in.gcount()));
  const RecordingOpening inspected = InspectRecording(opening.data(), opening.size());
  if (!inspected.problem.empty()) return inspected.problem;
  int gain = 16;
  {
    DeviceSettings device;
    voxa::Notes notes;
    const std::string_view header = inspected.header;
    if (device.ReplaceHeader(Bytes(reinterpret_cast<const uint8_t*>(header.data()), header.size()), notes)) {
      gain = device.Parameters().gain;
    }
  }
  if (options_.gain) gain = *options_.gain;
  MseedSettings settings;
  settings.flushEachRecord = false;
  settings.openFiles = [this, gain] { return std::make_unique<FeedFiles>(*this, gain); };
  RecordingConverter converter(settings);
  const ConversionResult result = converter.Convert(path);
  if (!result.usable) return result.problem;
  return "";
}

std::string PsdReport::Read(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (error || !fs::exists(status)) return "cannot be read: " + (error ? error.message() : "no such file or directory");
  if (fs::is_directory(status)) {
    std::vector<std::string> files;
    for (auto it = fs::recursive_directory_iterator(path, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
      if (it->is_regular_file()) files.push_back(it->path().string());
    }
    if (error) return "cannot be read: " + error.message();
    std::sort(files.begin(), files.end());
    const int64_t before = TotalSamples(channels_);
    for (const std::string& file : files) {
      bool wasMseed = false;
      const std::string problem = ReadMseedFile(file, wasMseed);
      if (!problem.empty() && wasMseed) notes_.push_back(file + " " + problem);
    }
    if (TotalSamples(channels_) == before) return "holds no miniSEED samples of the channels and span asked for";
    return "";
  }
  const int64_t before = TotalSamples(channels_);
  std::ifstream probe(path, std::ios::binary);
  if (!probe) return "cannot be opened";
  const int first = probe.get();
  if (first == EOF) return "is empty: no samples";
  std::string problem;
  if (first == 0xF0) {
    problem = ReadRecording(path);
  } else {
    bool wasMseed = false;
    problem = ReadMseedFile(path, wasMseed);
  }
  if (!problem.empty()) return problem;
  if (TotalSamples(channels_) == before) return "holds no samples of the channels and span asked for";
  return "";
}

std::string PsdCsv(const PsdReport& report) {
  std::string out = "stream,period_s,p5_db,p50_db,p95_db,mode_db,unit\n";
  const char* unit = report.Acceleration() ? "(m/s^2)^2/Hz" : "V^2/Hz";
  char line[256];
  for (const ChannelReportPsd& channel : report.Channels()) {
    const PsdSummary& s = channel.summary;
    if (s.windows == 0) continue;
    for (size_t p = 0; p < s.periods.size(); ++p) {
      std::snprintf(line, sizeof line, "%s,%.6g,%.1f,%.1f,%.1f,%.1f,%s\n", channel.stream.c_str(), s.periods[p], s.p5[p],
                    s.p50[p], s.p95[p], s.mode[p], unit);
      out += line;
    }
  }
  return out;
}

std::optional<int64_t> ParseUtcText(const std::string& text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, used = 0;
  double fraction = 0.0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &used) != 3) return std::nullopt;
  std::string rest = text.substr(static_cast<size_t>(used));
  if (!rest.empty()) {
    int more = 0;
    if (std::sscanf(rest.c_str(), "T%2d:%2d:%2d%n", &hour, &minute, &second, &more) != 3) return std::nullopt;
    rest = rest.substr(static_cast<size_t>(more));
    if (!rest.empty() && rest[0] == '.') {
      int digits = 0;
      if (std::sscanf(rest.c_str(), "%lf%n", &fraction, &digits) != 1) return std::nullopt;
      rest = rest.substr(static_cast<size_t>(digits));
    }
    if (rest == "Z") rest.clear();
    if (!rest.empty()) return std::nullopt;
  }
  const std::optional<Micros> instant = UtcInstant(year, month, day, hour, minute, second);
  if (!instant) return std::nullopt;
  return *instant + std::llround(fraction * 1e6);
}

}  // namespace voxa
