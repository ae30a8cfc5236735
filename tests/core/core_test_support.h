// Test doubles for the core: a host that records what the window would show,
// a scratch directory, byte and GPS record builders, and a rig that runs a
// RunPipeline the way the run controller does (resting after header records).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/raster.h"
#include "format/gps_record.h"
#include "pipeline/run_pipeline.h"
#include "timing/gps_clock.h"
#include "support/test_file_store.h"
#include "support/test_files.h"

namespace voxa::test {

using ByteVec = std::vector<uint8_t>;

class RecordingHost : public Host {
 public:
  void ShowLabel(Label label, std::string_view text) override {
    labels[label] = std::string(text);
    ++labelWrites;
  }
  void ShowStatus(std::string_view text, StatusColour colour) override {
    status = std::string(text);
    statusColour = colour;
  }
  void ShowDeviceHeader(const DeviceSettings& device) override {
    ++deviceHeaders;
    shownDevice = device.DeviceNumber() + " " + device.FirmwareVersion();
  }
  void ShowBootWindow() override { events.push_back("show boot"); }
  void AppendBootLine(std::string_view line) override {
    bootLines.emplace_back(line);
    events.push_back("line " + std::string(line));
  }
  void RaiseMainWindow() override {
    ++mainRaised;
    events.push_back("raise main");
  }
  void Repaint() override { ++repaints; }

  // "<unset>" for a label never written.
  std::string Text(Label label) const {
    const auto it = labels.find(label);
    return it == labels.end() ? "<unset>" : it->second;
  }

  std::map<Label, std::string> labels;
  std::vector<std::string> bootLines;
  std::vector<std::string> events;
  std::string status;
  StatusColour statusColour = StatusColour::Standard;
  std::string shownDevice;
  int labelWrites = 0;
  int deviceHeaders = 0;
  int mainRaised = 0;
  int repaints = 0;
};


// The time fields a GPS record gives, which must decode.
inline GpsTime Decoded(const std::string& text) {
  GpsClock clock;
  EXPECT_TRUE(clock.Decode(text));
  return clock.Time();
}

inline ByteVec Tail(const ByteVec& bytes, size_t count) {
  return ByteVec(bytes.end() - static_cast<std::ptrdiff_t>(std::min(count, bytes.size())), bytes.end());
}

inline ByteVec Raw(std::initializer_list<int> values) {
  ByteVec out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

inline void AppendText(ByteVec& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

inline ByteVec Concat(std::initializer_list<ByteVec> parts) {
  ByteVec out;
  for (const ByteVec& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline ByteVec Text(std::string_view text) { return ByteVec(text.begin(), text.end()); }

// One sample's four 7-bit groups.
inline void AppendSample(ByteVec& out, int32_t value) {
  const uint32_t raw = static_cast<uint32_t>(value) & 0xFFFFFFu;
  out.push_back(static_cast<uint8_t>((raw >> 17) & 0x7F));
  out.push_back(static_cast<uint8_t>((raw >> 10) & 0x7F));
  out.push_back(static_cast<uint8_t>((raw >> 3) & 0x7F));
  out.push_back(static_cast<uint8_t>(raw & 0x07));
}

// One sample block record: marker and 4 bytes per value.
inline void AppendBlock(ByteVec& out, uint8_t marker, std::initializer_list<int32_t> values) {
  out.push_back(marker);
  for (int32_t v : values) AppendSample(out, v);
}

// --- GPS records --------------------------------------------------------------------

// The placeholder record (or base) with texts put at 1-based positions.
inline std::string GpsText(std::initializer_list<std::pair<size_t, std::string_view>> fields,
                           std::string_view base = kPlaceholderGpsText) {
  std::string record(base);
  for (const auto& [pos, text] : fields) record.replace(pos - 1, text.size(), text);
  return record;
}

// A record with time of day, hhmmss, ddMMyy and GPS - UTC offset in place.
inline std::string Fix(std::string_view timeOfDay, std::string_view clock, std::string_view date,
                       std::string_view offset = "15") {
  return GpsText({{5, timeOfDay}, {44, clock}, {53, date.substr(0, 4)}, {59, date.substr(4)}, {61, offset}});
}

// Both checksums put in, each the exclusive or of its message from ">" through "*".
inline std::string Checksummed(std::string record) {
  for (const auto& [from, to] : {std::pair<size_t, size_t>{0, 36}, {39, 73}}) {
    unsigned sum = 0;
    for (size_t i = from; i < to; ++i) sum ^= static_cast<unsigned char>(record[i]);
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", sum);
    record.replace(to, 2, digits);
  }
  return record;
}

// --- A run ----------------------------------------------------------------------------

// A RunPipeline with its host and surface, its files in a scratch directory
// on a disk that a test can make fail (and that skips the syncs).
struct PipelineRig {
  PipelineRig() {
    pipeline.ResizePlot(100, 60);
    store.SkipSyncs();
    pipeline.UseWriter(writer);
  }

  // Configure, START (config.txt from the scratch directory), connect, files.
  void Start(const MonitorOptions& options, const ClockFields& clock = {2026, 3, 7, 14, 5, 9}) {
    pipeline.Configure(options);
    pipeline.StartRun(options.run, dir.File("config.txt"));
    pipeline.Arm(clock);
    const OutputFailures failures = pipeline.OpenOutputs(OutputPaths::In(dir.Path()));
    EXPECT_FALSE(failures.errorList || failures.shiftList || failures.stream);
  }

  // Bytes in chunks of at most chunk, resting (without a clock) whenever the
  // pipeline asks to. Returns how many rests there were.
  int Feed(const ByteVec& bytes, size_t chunk = SIZE_MAX) {
    int rests = 0;
    size_t at = 0;
    while (at < bytes.size()) {
      const size_t n = std::min(chunk, bytes.size() - at);
      const size_t taken = pipeline.Feed(bytes.data() + at, n);
      if (taken < n) {
        EXPECT_GT(pipeline.RestMilliseconds(), 0);
      }
      if (pipeline.RestMilliseconds() > 0) {
        EXPECT_EQ(pipeline.RestMilliseconds(), RunPipeline::kHeaderRestMs);
        ++rests;
      }
      at += taken;
    }
    return rests;
  }

  // The whole stream: its first byte starts it, the rest is fed.
  int Stream(const ByteVec& bytes, size_t chunk = SIZE_MAX) {
    pipeline.StartStream(bytes.at(0));
    return Feed(ByteVec(bytes.begin() + 1, bytes.end()), chunk);
  }

  // STOP and the files closed; the recording's name.
  std::string Stop() {
    pipeline.Finish();
    pipeline.CloseOutputs();
    return pipeline.SavedRecording();
  }

  ByteVec Pending() const {
    const Bytes pending = pipeline.Stream().Pending();
    return ByteVec(pending.begin(), pending.end());
  }

  ScratchDir dir;
  TestFileStore store;
  FileWriter writer{store};
  RecordingHost host;
  Raster raster{120, 80};
  RunPipeline pipeline{host, raster};
};

// --- A recording on its own ----------------------------------------------------------

// A Recording in a scratch directory, with the header in force either the
// device's (deviceHeader given) or the one built from the parameters.
struct RecordingRig {
  explicit RecordingRig(const std::string& deviceHeader = "") {
    Notes notes;
    device.LoadConfiguration("", false, notes);
    if (!deviceHeader.empty()) ReplaceHeader(deviceHeader);
  }
  void ReplaceHeader(const std::string& text) {
    Notes notes;
    device.ReplaceHeader(Bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size()), notes);
  }
  void Start() {
    recording.StartRun(true);
    std::string failure;
    ASSERT_TRUE(recording.Create(writer, dir.File(kWorkingRecordingName), failure)) << failure;
  }
  void Record(const ByteVec& bytes) { recording.Record(Bytes(bytes)); }
  // A sound GPS record, as the GPS clock decodes it; its time.
  GpsTime Sound(const std::string& text, int64_t blocksBeforeFix) {
    GpsClock clock;
    EXPECT_TRUE(clock.Decode(text));
    recording.OnSoundGps(clock.Time(), text, blocksBeforeFix);
    return clock.Time();
  }
  // STOP; the name is the one the recording got.
  FinishedRecording Finish(const GpsTime& time, bool gpsSeen, int64_t blocksSinceFix = 0) {
    FinishedRecording finished = recording.Finish({time, gpsSeen, blocksSinceFix, clock});
    finished.name = recording.Outcome().name;
    return finished;
  }
  ByteVec File(const std::string& name) const { return ReadFileBytes(dir.File(name)); }

  ScratchDir dir;
  PosixFileStore store;
  FileWriter writer{store};
  DeviceSettings device;
  Recording recording{device};
  ClockFields clock{2026, 3, 7, 14, 5, 9};
};

}  // namespace voxa::test
