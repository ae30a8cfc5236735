// What voxa-psd computes: the PSDs of every data channel of miniSEED files
// (an SDS archive or day files) or of VOXA recordings, over a span, and the
// probability density of them (a histogram of 1 dB bins per period) with
// its percentiles. Plain C++; the program draws the picture.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/psd.h"
#include "analysis/sensor_response.h"

namespace voxa {

struct PsdReportOptions {
  SensorResponse sensor;
  std::optional<int> gain;  // the digitiser's gain; a recording's header states it, else 16
  double windowSeconds = PsdSettings::kObspyWindowSeconds;
  std::optional<int64_t> startMicros;  // UTC, inclusive
  std::optional<int64_t> endMicros;    // UTC, exclusive
  std::string channel;  // "" all data channels; else a channel code (EHZ) or a stream code (NET.STA.LOC.CHA)
};

struct ChannelReportPsd {
  std::string stream;  // NET.STA.LOC.CHA
  int32_t rate = 0;
  int gain = 16;
  int64_t samples = 0;
  int64_t gaps = 0;
  int64_t firstMicros = 0, lastMicros = 0;
  PsdLayout layout;
  std::unique_ptr<PsdHistogram> histogram;
  PsdSummary summary;
};

class PsdReport {
 public:
  explicit PsdReport(PsdReportOptions options);
  ~PsdReport();

  // Reads one input: a directory (every file under it, in name order, so
  // an SDS archive's day files come in time order), a miniSEED file or a
  // VOXA recording. Returns "" or what made it unreadable.
  std::string Read(const std::string& path);
  // Finishes every channel: the last due segments, the percentiles.
  void Finish();

  const std::vector<ChannelReportPsd>& Channels() const { return channels_; }
  bool Acceleration() const { return options_.sensor.Present(); }
  const std::vector<std::string>& Notes() const { return notes_; }

  // Samples of one stream, dated; a change of rate starts the stream's PSD
  // again (the earlier part is kept under the same code only when it is the
  // same rate).
  void Feed(const std::string& stream, int32_t rate, int gain, int64_t startMicros, const int32_t* samples,
            int32_t count);

 private:
  struct Running;
  std::string ReadMseedFile(const std::string& path, bool& wasMseed);
  std::string ReadRecording(const std::string& path);
  bool Wanted(const std::string& stream) const;

  PsdReportOptions options_;
  std::vector<ChannelReportPsd> channels_;
  std::vector<std::unique_ptr<Running>> running_;
  std::vector<std::string> notes_;
};

// The CSV: a header line, then per channel and period the stream code, the
// period in seconds, the 5th, 50th and 95th percentile and the mode in dB
// and the unit the dB refer to.
std::string PsdCsv(const PsdReport& report);

// "2024-01-01T00:00:00" (also with a trailing Z, fractional seconds, or a
// date alone) as UTC microseconds.
std::optional<int64_t> ParseUtcText(const std::string& text);

}  // namespace voxa
