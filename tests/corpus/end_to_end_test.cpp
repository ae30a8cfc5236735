// Whole runs from the first marker to STOP: error.csv, shift.csv and the
// finished recording compared with golden files in tests/data, plus the
// properties every recording must have.
//
// The golden cases replay a stored stream, tests/data/<case>/input.bin,
// written once by tests/corpus/make_corpus (its table has the simulated
// device's settings for each), so a change to the simulator cannot move
// their goldens. The window's parameters match that device: 1 channel,
// 100 sps, gain 16.
//
// Set VOXA_UPDATE_GOLDEN=1 to write the golden files anew (then read the
// diff before committing it); a missing golden file is a failure.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "analysis/raster.h"
#include "pipeline/run_pipeline.h"
#include "tools/sim_stream.h"
#include "whole_run_support.h"

namespace voxa::test {
namespace {

namespace fs = std::filesystem;

void ExpectGolden(const std::string& name, const std::vector<uint8_t>& actual) {
  const fs::path path = fs::path(VOXA_TEST_DATA_DIR) / name;
  if (std::getenv("VOXA_UPDATE_GOLDEN") != nullptr) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(actual.data()),
                                                 static_cast<std::streamsize>(actual.size()));
    return;
  }
  ASSERT_TRUE(fs::exists(path)) << "missing golden file " << path << " (VOXA_UPDATE_GOLDEN=1 writes it)";
  const std::vector<uint8_t> expected = ReadFileBytes(path.string());
  EXPECT_TRUE(expected == actual) << "differs from golden file " << path << " (" << actual.size() << " bytes, golden "
                                  << expected.size() << ")";
}

void ExpectGolden(const std::string& name, const std::string& actual) {
  ExpectGolden(name, std::vector<uint8_t>(actual.begin(), actual.end()));
}

struct RunResult {
  std::string name;
  std::vector<uint8_t> recording;
  std::string errors;
  std::string shifts;
  std::vector<uint8_t> stream;  // what the device sent, from its first marker
  std::vector<std::string> bootLines;
  std::map<Label, std::string> labels;
  int64_t goodBlocks = 0, blockErrors = 0, secErrors = 0, spsErrors = 0;
};

// The window's parameters before START.
struct WindowParameters {
  int channels = 1;
  int rate = 100;
  int gain = 16;
};

// A run on what the device sent (text before the first marker included),
// every file saved, the header built from the window's parameters.
RunResult Run(const std::vector<uint8_t>& bytes, const WindowParameters& window, int screenSeconds) {
  const auto first = std::find_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b >= 0x80; });

  ScratchDir dir;
  LabelHost host;
  Raster raster(320, 160);
  RunPipeline pipeline(host, raster);
  MonitorOptions options;
  options.parameters = {window.rate, window.channels, window.gain};
  options.screenSeconds = screenSeconds;
  options.run.saveStream = options.run.saveErrorList = options.run.saveShift = true;
  options.run.loadExtHeader = false;
  pipeline.Configure(options);
  pipeline.ResizePlot(300, 150);
  pipeline.StartRun(options.run, dir.File("config.txt"));
  pipeline.Arm({2026, 12, 7, 9, 30, 15});
  const OutputFailures failures = pipeline.OpenOutputs(OutputPaths::In(dir.Path()));
  EXPECT_FALSE(failures.errorList || failures.shiftList || failures.stream);

  RunResult result;
  result.stream.assign(first, bytes.end());
  pipeline.StartStream(result.stream.at(0));
  // Odd chunks, as a serial port delivers them; a rest after a header record
  // passes without a clock.
  for (size_t at = 1; at < result.stream.size();) {
    at += pipeline.Feed(result.stream.data() + at, std::min<size_t>(997, result.stream.size() - at));
  }
  pipeline.Finish();
  pipeline.CloseOutputs();
  result.name = pipeline.SavedRecording();
  result.recording = ReadFileBytes(dir.File(result.name));
  result.errors = ReadFileText(dir.File("error.csv"));
  result.shifts = ReadFileText(dir.File("shift.csv"));
  result.bootLines = host.bootLines;
  result.labels = host.labels;
  const BlockStatistics& statistics = pipeline.Statistics();
  result.goodBlocks = statistics.GoodBlocks();
  result.blockErrors = statistics.BlockErrors();
  result.secErrors = statistics.SecondErrors();
  result.spsErrors = statistics.RateErrors();
  EXPECT_FALSE(fs::exists(dir.File(kWorkingRecordingName)));
  return result;
}

std::vector<uint8_t> StoredStream(const std::string& name) {
  const fs::path path = fs::path(VOXA_TEST_DATA_DIR) / name / "input.bin";
  EXPECT_TRUE(fs::exists(path)) << "missing stored stream " << path << " (build/tests/make_corpus tests/data writes it)";
  return ReadFileBytes(path.string());
}

RunResult RunStored(const std::string& name, int screenSeconds) {
  return Run(StoredStream(name), WindowParameters{}, screenSeconds);
}

RunResult RunSimulated(const sim::SimOptions& device, int screenSeconds) {
  return Run(sim::GenerateStream(device, device.durationSeconds), {device.channels, device.rate, device.gain},
             screenSeconds);
}

// The text of the first header record in a stream: what follows its 0xF0
// marker up to the next marker.
std::string HeaderRecord(const std::vector<uint8_t>& stream) {
  const auto marker = std::find(stream.begin(), stream.end(), uint8_t{0xF0});
  if (marker == stream.end()) return {};
  const auto end = std::find_if(marker + 1, stream.end(), [](uint8_t b) { return b >= 0x80; });
  return std::string(marker + 1, end);
}

// The device's stream without its boot-message and header records, which the
// recording leaves out, and without a last marker that nothing followed.
std::vector<uint8_t> RecordableStream(const std::vector<uint8_t>& stream) {
  std::vector<uint8_t> out;
  bool skipping = false;
  for (size_t i = 0; i < stream.size(); ++i) {
    const uint8_t b = stream[i];
    if (b == 0xB0 && !skipping) {  // shift records: two bytes, whatever they are
      out.insert(out.end(), stream.begin() + static_cast<std::ptrdiff_t>(i),
                 stream.begin() + static_cast<std::ptrdiff_t>(std::min(i + 3, stream.size())));
      i += 2;
      continue;
    }
    if (b >= 0x80) skipping = b == 0xF0 || b == 0xF8;
    if (!skipping) out.push_back(b);
  }
  if (!out.empty() && out.back() >= 0x80) out.pop_back();
  return out;
}

sim::SimOptions Device() {
  sim::SimOptions o;
  o.channels = 1;
  o.rate = 100;
  o.gain = 16;
  o.deviceNumber = "015";
  o.firmwareVersion = "V2.07";
  o.start = {2026, 3, 7, 23, 59, 52};
  o.utcOffset = 18;
  o.amplitude = 20000;
  o.offset = 1000;
  o.noise = 30;
  o.seed = 7;
  o.durationSeconds = 12;
  o.preamble = "VOXA starting\r\n";
  o.bootLines = {"VOXA boot v2", "GPS receiver found"};
  return o;
}

// Stored stream: 12 s from 2026-03-07 23:59:52 UTC, device 015, with a byte
// dropped (second 3), an extra byte (4), a broken GPS record (5), a missing
// second mark (6), an unlisted record (7) and 150 blocks in second 9.
TEST(EndToEnd, InjectedFaultsAreListedAndTheStreamIsRecordedWhole) {
  const RunResult run = RunStored("faults", 4);
  ExpectGolden("faults/error.csv", run.errors);
  ExpectGolden("faults/shift.csv", run.shifts);
  ExpectGolden("faults/recording.bin", run.recording);
  ExpectGolden("faults/name.txt", run.name + "\n");

  EXPECT_EQ(run.blockErrors, 2);
  EXPECT_EQ(run.bootLines.front(), "VOXA boot v2");
  EXPECT_EQ(run.labels.at(Label::BlockErrors), "2");
  // Named after the first fix (UTC month, day, hour, minute) and the device.
  EXPECT_EQ(run.name, "03072359.015");
  // 0xF0, the device's header, the stream as sent (boot and header records
  // left out), the end-time record, 0xEF.
  const std::vector<uint8_t> recorded = RecordableStream(run.stream);
  const std::string header = HeaderRecord(run.stream);
  ASSERT_FALSE(header.empty());
  ASSERT_EQ(run.recording.size(), 1 + header.size() + recorded.size() + 56 + 1);
  EXPECT_EQ(run.recording[0], 0xF0);
  EXPECT_EQ(std::string(run.recording.begin() + 1, run.recording.begin() + 1 + header.size()), header);
  EXPECT_TRUE(std::equal(recorded.begin(), recorded.end(), run.recording.begin() + 1 + header.size()));
  const size_t endRecord = 1 + header.size() + recorded.size();
  EXPECT_EQ(run.recording[endRecord], 0xE0);
  EXPECT_EQ(std::string(run.recording.begin() + endRecord + 1, run.recording.end() - 1),
            "E_TIME=00:00:03;E_DATE=26/03/08;D_VOLT=0;E_VOLT=0;DUMMY");
  EXPECT_EQ(run.recording.back(), 0xEF);
}

// Stored stream: 12 s from 2026-11-02 08:15:30 UTC, no header record.
TEST(EndToEnd, WithoutDeviceHeaderTheFirstFixDatesTheBuiltHeader) {
  const RunResult run = RunStored("no-header", 8);
  ExpectGolden("no-header/recording.bin", run.recording);
  EXPECT_EQ(run.name, "11020815.000");
  const std::string text(run.recording.begin(), run.recording.end());
  EXPECT_NE(text.find("S_TIME=08:15:30;S_DATE=26/11/02;"), std::string::npos);
  EXPECT_NE(text.find("E_TIME=08:15:41;E_DATE=26/11/02;"), std::string::npos);
}

// Stored stream: 45 s from 2026-11-02 08:15:30 UTC, no GPS record in the
// first 10 s, so it goes on past the 26th shift record after the first fix.
TEST(EndToEnd, GpsWithheldPastTheFirstScreenRewritesThePlaceholderRecords) {
  const RunResult run = RunStored("late-gps", 4);
  ExpectGolden("late-gps/recording.bin", run.recording);
  ExpectGolden("late-gps/error.csv", run.errors);
  EXPECT_EQ(run.name, "11020815.015");

  const std::string header = HeaderRecord(run.stream);
  ASSERT_FALSE(header.empty());
  const size_t stretch = 1 + header.size();
  // The first sample block, now at the start of the stretch.
  EXPECT_EQ(run.recording.at(stretch), 0x90);
  // The back-dated GPS record stands after the first blocks: the time of the
  // first sample, 08:15:30, checksums valid.
  const std::string text(run.recording.begin(), run.recording.end());
  const size_t gps = text.find(">RTM081530");
  ASSERT_NE(gps, std::string::npos);
  ASSERT_GE(gps, 40u);
  EXPECT_EQ(static_cast<uint8_t>(text[gps - 40]), 0xA0);
  EXPECT_LT(gps - 40, stretch + 80);
  const std::string record = text.substr(gps - 39, 76);
  EXPECT_EQ(record.substr(36, 2), sim::GpsChecksum(record.substr(0, 36)));
  EXPECT_EQ(record.substr(73, 2), sim::GpsChecksum(record.substr(39, 34)));
  // ... and by the shift record of the 26th shift record after the first fix
  // (the device sends 1234 + second; the first fix came in second 10).
  EXPECT_EQ(static_cast<uint8_t>(text[gps + 37]), 0xB0);
  EXPECT_EQ(static_cast<uint8_t>(text[gps + 38]) * 128 + static_cast<uint8_t>(text[gps + 39]), 1234 + 35);
}

// Stored stream: 12 s, neither a header record nor a GPS record.
TEST(EndToEnd, NoGpsAtAllDatesTheRecordingFromTheComputerClock) {
  const RunResult run = RunStored("no-gps", 4);
  ExpectGolden("no-gps/recording.bin", run.recording);
  EXPECT_EQ(run.name, "12070930.000");
  const std::string text(run.recording.begin(), run.recording.end());
  EXPECT_NE(text.find("S_TIME=09:30:15;S_DATE=26/12/07;"), std::string::npos);
  EXPECT_EQ(text.find("E_TIME="), std::string::npos);  // no end-time record
  EXPECT_EQ(run.recording.back(), 0xEF);
}

// Generated at test time: it checks what the simulator promises (every
// block sound), not a stored output.
TEST(EndToEnd, FastestStreamThreeChannelsHasNoErrors) {
  sim::SimOptions device = Device();
  device.channels = 3;
  device.rate = 800;
  device.durationSeconds = 6;
  const RunResult run = RunSimulated(device, 2);
  EXPECT_EQ(run.blockErrors, 0);
  EXPECT_EQ(run.spsErrors, 0);
  EXPECT_EQ(run.secErrors, 1);  // the run's first mark counts no blocks before it
  EXPECT_EQ(run.goodBlocks, 6 * 800 - 1);  // the last block waits for a marker that never came
  EXPECT_EQ(run.labels.at(Label::Sats), "07");
  EXPECT_FALSE(run.labels.at(Label::Noise1).empty());
}

// The GPS time of day wraps at GPS midnight (23:59:42 UTC at an offset of
// 18 s): a fault-free stream across it lists only the run's first mark, at
// the end of a month and a year too; a real jump of the clock near the wrap
// is still listed with its size.
TEST(EndToEnd, GpsMidnightCountsTheSecondsAcrossTheWrap) {
  struct Row {
    const char* legend;
    sim::UtcTime start;
    int jumpSecond, jumpBy;  // jumpBy 0: no jump
    std::string jumpLine;    // the line the jump lists
  };
  const Row rows[] = {
      {"a day's end", {2026, 3, 7, 23, 59, 30}, 0, 0, ""},
      {"a month's end", {2026, 6, 30, 23, 59, 30}, 0, 0, ""},
      {"the end of February in a leap year", {2028, 2, 28, 23, 59, 30}, 0, 0, ""},
      {"a year's end", {2025, 12, 31, 23, 59, 30}, 0, 0, ""},
      {"forward across the wrap", {2026, 3, 7, 23, 59, 30}, 11, 5, "23:59:46 ; 5; sec"},
      {"back across the wrap", {2026, 3, 7, 23, 59, 30}, 13, -4, "23:59:39 ; -4; sec"},
      {"back just before the wrap", {2026, 3, 7, 23, 59, 30}, 10, -3, "23:59:37 ; -3; sec"},
      {"forward just after the wrap", {2025, 12, 31, 23, 59, 30}, 14, 2, "23:59:46 ; 2; sec"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    sim::SimOptions device = Device();
    device.start = row.start;
    device.durationSeconds = 24;
    if (row.jumpBy != 0) device.faults = {{sim::FaultKind::kGpsJump, row.jumpSecond, 0, row.jumpBy}};
    const RunResult run = RunSimulated(device, 4);
    const std::string expected = ":: ; 1; sec\r\n" + (row.jumpLine.empty() ? "" : row.jumpLine + "\r\n");
    EXPECT_EQ(run.errors, expected);
    EXPECT_EQ(run.secErrors, row.jumpBy == 0 ? 1 : 2);
  }
}

}  // namespace
}  // namespace voxa::test
