// What the miniSEED tests share: recordings made by the run pipeline from
// the simulated device, what a device stream holds (block by block, decoded
// here on its own), and two readers of an archive: libmseed, and Debian's
// mseed2sac program with the SAC files it writes.
#pragma once

#include <gtest/gtest.h>
#include <libmseed.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/raster.h"
#include "mseed/utc_time.h"
#include "pipeline/host.h"
#include "pipeline/run_pipeline.h"
#include "support/test_files.h"
#include "tools/sim_stream.h"

namespace voxa::test {

namespace fs = std::filesystem;

inline Micros UtcOf(const sim::UtcTime& t) {
  return *UtcInstant(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

// A dated sample as an archive holds it.
struct TimedValue {
  Micros time = 0;
  int32_t value = 0;
  friend bool operator==(const TimedValue&, const TimedValue&) = default;
  friend bool operator<(const TimedValue& a, const TimedValue& b) {
    return a.time != b.time ? a.time < b.time : a.value < b.value;
  }
};

// What the device sent, block by block, with the time each block's sample
// belongs at: the GPS time of its second plus its place in the second.
struct DeviceStream {
  std::vector<uint8_t> bytes;
  // Per channel, every valid block's sample, in stream order.
  std::vector<std::vector<TimedValue>> channels;
  int64_t blocks = 0;
  int64_t invalidBlocks = 0;
};

inline int32_t Decode24(const uint8_t* b) {
  // Groups of 7, 7, 7 and 3 bits, the last one added as the device adds it.
  const int32_t raw = b[0] * 131072 + b[1] * 1024 + b[2] * 8 + b[3];
  return raw > 8388607 ? raw - 16777216 : raw;
}

inline DeviceStream Generate(const sim::SimOptions& options) {
  DeviceStream stream;
  stream.channels.resize(static_cast<size_t>(options.channels));
  sim::StreamGenerator generator(options);
  generator.Start(stream.bytes);
  const Micros interval = SampleInterval(options.rate);
  const size_t payload = static_cast<size_t>(4 * options.channels);
  while (!generator.Done()) {
    std::vector<uint8_t> second;
    const int64_t index = generator.SecondsGenerated();
    generator.NextSecond(second);
    const Micros secondTime = UtcOf(generator.GpsTimeOfSecond(index));
    int64_t block = 0;
    for (size_t at = 0; at < second.size();) {
      const uint8_t marker = second[at];
      size_t end = at + 1;
      if (marker == sim::kShiftMarker) {
        at += 3;
        continue;
      }
      while (end < second.size() && second[end] < 0x80) ++end;
      if (marker == sim::kBlockMarker || marker == sim::kSecondMarkMarker || marker == sim::kAlternateBlockMarker) {
        ++stream.blocks;
        if (end - at - 1 == payload) {
          for (size_t ch = 0; ch < stream.channels.size(); ++ch) {
            stream.channels[ch].push_back({secondTime + block * interval, Decode24(&second[at + 1 + 4 * ch])});
          }
        } else {
          ++stream.invalidBlocks;
        }
        ++block;
      }
      at = end;
    }
    stream.bytes.insert(stream.bytes.end(), second.begin(), second.end());
  }
  return stream;
}

// The live archive a run writes beside its recording: where, and the
// computer's clock at START (local fields and UTC).
struct LiveArchive {
  std::string directory;
  ClockFields startClock{2026, 12, 7, 9, 30, 15};
  Micros utcStart = 0;
  CodeChoices codes;
  size_t stopAfter = SIZE_MAX;  // STOP after this many bytes of the stream
  bool killed = false;          // at stopAfter the program dies (SIGKILL): no STOP, nothing finished
  bool replay = false;          // the bytes are a recording replayed in place of the port
  // What the run said: its boot-window lines and the archive's report.
  mutable std::vector<std::string> bootLines;
  mutable ArchiveReport report;
};

// Keeps the boot window's lines.
class BootLineHost : public NullHost {
 public:
  void AppendBootLine(std::string_view line) override { lines.emplace_back(line); }
  std::vector<std::string> lines;
};

// A run through the run pipeline as the controller drives it, the stream
// saved (and the live archive written when live is given); returns the
// finished recording's path in dir.
inline std::string Record(const std::vector<uint8_t>& bytes, const sim::SimOptions& device, int screenSeconds,
                          const ScratchDir& dir, const LiveArchive* live = nullptr) {
  BootLineHost host;
  Raster raster(320, 160);
  RunPipeline pipeline(host, raster);
  MonitorOptions options;
  options.parameters = {device.rate, device.channels, device.gain};
  options.screenSeconds = screenSeconds;
  options.run.saveStream = true;
  options.run.loadExtHeader = false;
  if (live != nullptr) {
    options.run.saveMseed = true;
    options.mseedDirectory = live->directory;
    options.codes = live->codes;
  }
  pipeline.Configure(options);
  pipeline.ResizePlot(300, 150);
  if (live != nullptr) pipeline.SetReplay(live->replay);
  pipeline.StartRun(options.run, dir.File("config.txt"));
  if (live != nullptr) {
    pipeline.Arm(live->startClock, live->utcStart);
  } else {
    pipeline.Arm({2026, 12, 7, 9, 30, 15});
  }
  const OutputFailures failures = pipeline.OpenOutputs(OutputPaths::In(dir.Path()));
  EXPECT_FALSE(failures.stream);
  EXPECT_FALSE(failures.archive) << failures.archiveFailure;
  const auto first = std::find_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b >= 0x80; });
  std::vector<uint8_t> stream(first, bytes.end());
  if (live != nullptr && live->stopAfter < stream.size()) stream.resize(std::max<size_t>(1, live->stopAfter));
  pipeline.StartStream(stream.at(0));
  for (size_t at = 1; at < stream.size();) {
    at += pipeline.Feed(stream.data() + at, std::min<size_t>(4093, stream.size() - at));
  }
  // A killed program leaves what it had handed to the system, and no more.
  if (live != nullptr && live->killed) return "";
  pipeline.Finish();
  if (live != nullptr) {
    live->bootLines = host.lines;
    live->report = pipeline.Archive();
  }
  EXPECT_TRUE(pipeline.Writer().Failures().empty());
  pipeline.CloseOutputs();
  const std::string name = pipeline.SavedRecording();
  EXPECT_FALSE(name.empty());
  return dir.File(name);
}

// A record as libmseed reads it back.
struct ReadRecord {
  std::string file;  // relative to the archive's root
  std::string source;  // NET_STA_LOC_CHA
  Micros start = 0;
  double rate = 0;
  std::vector<int32_t> samples;
  int encoding = 0;
  int reclen = 0;
  uint8_t ioFlags = 0;
  uint8_t dqFlags = 0;
  std::optional<uint8_t> timingQuality;
  Micros End() const { return start + static_cast<Micros>(samples.size()) * SampleInterval(static_cast<int32_t>(rate)); }
};

// Every record of every file under root, files in name order (day files of a
// channel thus in day order), records in file order.
inline std::vector<ReadRecord> ReadArchive(const std::string& root) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), root).string());
  }
  std::sort(files.begin(), files.end());
  std::vector<ReadRecord> records;
  for (const std::string& file : files) {
    const std::string path = (fs::path(root) / file).string();
    MSFileParam* param = nullptr;
    MSRecord* msr = nullptr;
    int status = MS_NOERROR;
    while ((status = ms_readmsr_r(&param, &msr, path.c_str(), 0, nullptr, nullptr, 1, 1, 0)) == MS_NOERROR) {
      ReadRecord r;
      r.file = file;
      char source[64];
      msr_srcname(msr, source, 0);
      r.source = source;
      r.start = msr->starttime;
      r.rate = msr->samprate;
      r.encoding = msr->encoding;
      r.reclen = msr->reclen;
      r.ioFlags = msr->fsdh->io_flags;
      r.dqFlags = msr->fsdh->dq_flags;
      if (msr->Blkt1001 != nullptr) r.timingQuality = msr->Blkt1001->timing_qual;
      const auto* data = static_cast<const int32_t*>(msr->datasamples);
      r.samples.assign(data, data + msr->numsamples);
      records.push_back(std::move(r));
    }
    EXPECT_EQ(status, MS_ENDOFFILE) << "libmseed cannot read all of " << file;
    ms_readmsr_r(&param, &msr, nullptr, 0, nullptr, nullptr, 0, 0, 0);
  }
  return records;
}

// The samples of one channel (by source name) in file and record order.
inline std::vector<TimedValue> SamplesOf(const std::vector<ReadRecord>& records, const std::string& source) {
  std::vector<TimedValue> samples;
  for (const ReadRecord& r : records) {
    if (r.source != source) continue;
    const Micros interval = SampleInterval(static_cast<int32_t>(r.rate));
    for (size_t i = 0; i < r.samples.size(); ++i) {
      samples.push_back({r.start + static_cast<Micros>(i) * interval, r.samples[i]});
    }
  }
  return samples;
}

// A SAC file as mseed2sac writes it (binary, this computer's byte order).
struct SacTrace {
  std::string name;
  Micros start = 0;
  double delta = 0;
  std::vector<float> samples;
};

// Runs mseed2sac on every day file of a channel (in every year under the
// archive's root) and reads back the SAC files it wrote, one per continuous
// piece.
inline std::vector<SacTrace> Mseed2Sac(const std::string& root, const std::string& channel, const ScratchDir& scratch) {
  const fs::path out = fs::path(scratch.Path()) / ("sac-" + channel);
  fs::create_directories(out);
  std::string command = "cd '" + out.string() + "' && mseed2sac";
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file() && entry.path().parent_path().filename() == channel + ".D") {
      files.push_back(entry.path().string());
    }
  }
  EXPECT_FALSE(files.empty()) << "no day file of " << channel;
  std::sort(files.begin(), files.end());
  for (const std::string& file : files) command += " '" + file + "'";
  command += " >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;

  std::vector<SacTrace> traces;
  for (const auto& entry : fs::directory_iterator(out)) {
    const std::vector<uint8_t> bytes = ReadFileBytes(entry.path().string());
    if (bytes.size() < 632) {
      ADD_FAILURE() << "short SAC file " << entry.path();
      continue;
    }
    float floats[70];
    int32_t ints[40];
    std::memcpy(floats, bytes.data(), sizeof floats);
    std::memcpy(ints, bytes.data() + 280, sizeof ints);
    SacTrace trace;
    trace.name = entry.path().filename().string();
    trace.delta = floats[0];
    // nzyear, nzjday, nzhour, nzmin, nzsec, nzmsec, then the begin offset b.
    const Micros dayStart = *UtcInstant(ints[0], 1, 1, 0, 0, 0) + (ints[1] - 1) * kMicrosPerDay;
    trace.start = dayStart + ((ints[2] * 60 + ints[3]) * 60 + ints[4]) * kMicrosPerSecond + ints[5] * 1000 +
                  static_cast<Micros>(std::llround(floats[5] * 1e6));
    const auto npts = static_cast<size_t>(ints[9]);
    EXPECT_EQ(bytes.size(), 632 + 4 * npts);
    trace.samples.resize(npts);
    std::memcpy(trace.samples.data(), bytes.data() + 632, 4 * std::min(npts, (bytes.size() - 632) / 4));
    traces.push_back(std::move(trace));
  }
  return traces;
}

// The SAC traces as dated samples, sorted; times to the nearest microsecond
// the interval gives (SAC keeps the interval as a 32-bit float).
inline std::vector<TimedValue> SacSamples(const std::vector<SacTrace>& traces, int32_t rate) {
  std::vector<TimedValue> samples;
  const Micros interval = SampleInterval(rate);
  for (const SacTrace& trace : traces) {
    EXPECT_NEAR(trace.delta, 1.0 / rate, 1e-9) << trace.name;
    for (size_t i = 0; i < trace.samples.size(); ++i) {
      samples.push_back({trace.start + static_cast<Micros>(i) * interval, static_cast<int32_t>(trace.samples[i])});
    }
  }
  std::sort(samples.begin(), samples.end());
  return samples;
}

inline void PrintTo(const TimedValue& v, std::ostream* out) { *out << IsoText(v.time) << " " << v.value; }

// Equal sample by sample; says where two sequences part.
inline ::testing::AssertionResult SameSamples(const std::vector<TimedValue>& a, const std::vector<TimedValue>& b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    if (!(a[i] == b[i])) {
      return ::testing::AssertionFailure() << "sample " << i << ": " << IsoText(a[i].time) << " " << a[i].value
                                           << " against " << IsoText(b[i].time) << " " << b[i].value;
    }
  }
  if (a.size() != b.size()) {
    return ::testing::AssertionFailure() << a.size() << " samples against " << b.size();
  }
  return ::testing::AssertionSuccess();
}

inline std::vector<TimedValue> Sorted(std::vector<TimedValue> samples) {
  std::sort(samples.begin(), samples.end());
  return samples;
}

}  // namespace voxa::test
