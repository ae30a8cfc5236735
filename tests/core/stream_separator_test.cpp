// The stream separator, record kind by record kind. Every row is fed whole,
// byte by byte, and split in two at every position: the outcome must not
// depend on how the bytes arrive.
#include <gtest/gtest.h>

#include <functional>

#include "stream/blocks.h"
#include "stream/recording.h"
#include "stream_test_support.h"
#include "timing/gps.h"

namespace voxa::test {
namespace {

struct Outcome {
  int32_t goodBlocks = 0;
  int32_t blockErrors = 0;
  std::string errorList;
  std::vector<uint8_t> recorded;
  std::vector<std::string> events;
  std::string gpsText;
  int rests = 0;
  int32_t channels = 0, rate = 0, gain = 0;
  std::string device, firmware;
  std::vector<int32_t> samples;
};

struct Row {
  std::string legend;
  int channels;
  bool record;
  std::vector<uint8_t> input;  // input[0] is the first marker
  int32_t goodBlocks;
  int32_t blockErrors;
  std::string errorList;
  std::vector<uint8_t> recorded;            // what RawBuffer holds at the end
  std::vector<std::string> events;          // boot window traffic
  std::function<void(const Outcome&)> extra = nullptr;
};

// Runs one row: the first marker through Begin, the rest in the given pieces.
Outcome RunRow(const Row& row, const std::vector<size_t>& cuts) {
  ScratchDir dir;
  Acquisition a;
  a.ChannelCount = row.channels;
  RunOptions options;
  options.saveStream = row.record;
  options.saveErrorList = true;
  InitStart(a, options);
  EXPECT_TRUE(a.ErrorFile.Create(dir.File("error.csv")));
  RecordingHost host;
  Raster raster(120, 80);
  a.PlotWidth = 100;
  a.PlotHeight = 60;
  StreamSeparator separator(a, host, raster);
  separator.Begin(row.input.at(0));

  Outcome out;
  size_t from = 1;
  std::vector<size_t> ends = cuts;
  ends.push_back(row.input.size());
  for (size_t end : ends) {
    if (end <= from) continue;
    std::vector<uint8_t> piece(row.input.begin() + static_cast<std::ptrdiff_t>(from),
                               row.input.begin() + static_cast<std::ptrdiff_t>(end));
    out.rests += FeedAll(separator, piece);
    from = end;
  }
  a.ErrorFile.Close();
  out.goodBlocks = a.GoodBlocks;
  out.blockErrors = a.BlockErrors;
  out.errorList = ReadFileText(dir.File("error.csv"));
  out.recorded.assign(a.RawBuffer.begin(), a.RawBuffer.begin() + a.RawCount);
  out.events = host.events;
  out.gpsText = a.GpsText;
  out.channels = a.ChannelCount;
  out.rate = a.SampleRate;
  out.gain = a.Gain;
  out.device = a.DeviceNumber;
  out.firmware = a.FirmwareVersion;
  out.samples.assign(a.SampleBuffer.begin(), a.SampleBuffer.begin() + a.SampleIndex);
  return out;
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<uint8_t> Text(std::string_view text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::vector<Row> Rows() {
  std::vector<Row> rows;
  {
    const auto in = Bytes({0x90, 1, 2, 3, 0x80, 0, 0, 0, 5, 0x80, 0x00});
    rows.push_back({"one-channel block cut by a marker after 3 bytes is invalid", 1, true, in, 1, 1,
                    ";0;3 Bytes\r\n:: ; 1; sec\r\n", in, {}});
  }
  {
    const auto in = Bytes({0x80, 0, 0, 0, 1, 9, 7, 7, 0x80, 0, 0, 0, 2, 0x80, 0});
    rows.push_back({"five payload bytes: invalid, ends after the fifth, then stray bytes", 1, true, in, 1, 1,
                    ";0;5 Bytes\r\n", in, {}});
  }
  {
    const auto in = Bytes({0x80, 0, 0, 0, 1, 0xC0, 5, 6, 0xE0, 7, 0x80, 0, 0, 0, 2, 0x80, 0});
    rows.push_back({"unlisted records are skipped but recorded", 1, true, in, 2, 0, "", in, {},
                    [](const Outcome& o) { EXPECT_EQ(o.samples, (std::vector<int32_t>{1, 2})); }});
  }
  {
    const auto in = Bytes({0x80, 0, 0, 0, 1, 0x80, 0, 0});
    rows.push_back({"a block still open at the end is not judged, its bytes are recorded", 1, true, in, 1, 0, "",
                    in, {}});
  }
  {
    const auto in = Bytes({0x80, 0, 0, 0, 1, 0x90});
    rows.push_back({"a pending marker is not dispatched (nor recorded) before a further byte", 1, true, in, 1, 0,
                    "", Bytes({0x80, 0, 0, 0, 1}), {}});
  }
  {
    const auto in = Bytes({0x80, 0x40, 0, 0, 0, 0x3F, 0x7F, 0x7F, 0x07, 0, 0, 0, 0x7F, 0x80, 0});
    rows.push_back({"three-channel sample values decode as 24-bit two's complement", 3, false, in, 1, 0, "", {}, {},
                    [](const Outcome& o) {
                      EXPECT_EQ(o.samples, (std::vector<int32_t>{-8388608, 8388607, 127}));
                    }});
  }
  {
    const auto in = Concat({Bytes({0xF8, '\n'}), Text("VOXA boot"), Bytes({'\r', 0xF8, '\n'}), Text("GPS on"),
                            Bytes({'\r', 0x80, 0, 0, 0, 1, 0x80, 0})});
    rows.push_back({"two boot records: two lines, main window back only after the last", 1, true, in, 1, 0, "",
                    Bytes({0x80, 0, 0, 0, 1, 0x80, 0}),
                    {"show boot", "line VOXA boot", "line GPS on", "raise main"}});
  }
  {
    const auto in = Concat({Bytes({0xF8, '\n', '\r', 0xF8, '\n', 'x', 0x80, 0, 0, 0, 1, 0x80, 0})});
    rows.push_back({"boot records too short for a line give empty lines", 1, false, in, 1, 0, "", {},
                    {"show boot", "line ", "line ", "raise main"}});
  }
  {
    const auto in = Concat({Bytes({0x80, 0, 0, 0, 1, 0xF0}),
                            Text("ZELK_V=V2.07;DEV_NO=015;P_AMPL=8;CH_NUM=1;S_RATE=50;TAIL=1"),
                            Bytes({0x80, 0, 0, 0, 2, 0x80, 0})});
    rows.push_back({"a header record is parsed, listed item by item and not recorded", 1, true, in, 2, 0, "",
                    Bytes({0x80, 0, 0, 0, 1, 0x80, 0, 0, 0, 2, 0x80, 0}),
                    {"line ZELK_V=V2.07", "line DEV_NO=015", "line P_AMPL=8", "line CH_NUM=1", "line S_RATE=50"},
                    [](const Outcome& o) {
                      EXPECT_EQ(o.rests, 1);
                      EXPECT_EQ(o.channels, 1);
                      EXPECT_EQ(o.rate, 50);
                      EXPECT_EQ(o.gain, 8);
                      EXPECT_EQ(o.device, "015");
                      EXPECT_EQ(o.firmware, "V2.07");
                    }});
  }
  {
    // Recording off: exactly 70 bytes are taken; the 6 after them are stray.
    const auto in = Concat({Bytes({0x80, 0, 0, 0, 1, 0xA0}), Text(kPlaceholderGpsText),
                            Bytes({0x80, 0, 0, 0, 2, 0x80, 0})});
    rows.push_back({"GPS record without recording: 70 bytes, the rest skipped", 1, false, in, 2, 0, "", {}, {},
                    [](const Outcome& o) {
                      EXPECT_EQ(o.gpsText, std::string(kPlaceholderGpsText.substr(0, 70)));
                    }});
  }
  {
    // Recording off and a record of 40 bytes: the 70 taken include the next
    // records, and reading resumes at the next marker after them.
    std::vector<uint8_t> in = Concat({Bytes({0x80, 0, 0, 0, 1, 0xA0}), Text(kPlaceholderGpsText.substr(0, 40))});
    for (int i = 0; i < 6; ++i) AppendBlock(in, 0x80, {i});  // 30 bytes swallowed by the 70
    AppendBlock(in, 0x80, {7});
    in.push_back(0x80);
    in.push_back(0);
    rows.push_back({"short GPS record without recording swallows what follows up to 70 bytes", 1, false, in, 2, 0,
                    "GPS Block error\r\n", {}, {}, [](const Outcome& o) {
                      EXPECT_EQ(o.gpsText.size(), 70u);
                      EXPECT_EQ(static_cast<uint8_t>(o.gpsText[40]), 0x80);
                      EXPECT_EQ(o.samples, (std::vector<int32_t>{1, 7}));
                    }});
  }
  {
    std::vector<uint8_t> in = Concat({Bytes({0xA0}), Text(kPlaceholderGpsText.substr(0, 40))});
    AppendBlock(in, 0x80, {3});
    in.push_back(0x80);
    in.push_back(0);
    std::vector<uint8_t> recorded = in;
    rows.push_back({"GPS record cut by a marker while recording keeps the marker as last character", 1, true, in, 1,
                    0, "GPS Block error\r\n", recorded, {}, [](const Outcome& o) {
                      ASSERT_EQ(o.gpsText.size(), 41u);
                      EXPECT_EQ(static_cast<uint8_t>(o.gpsText.back()), 0x80);
                    }});
  }
  {
    const auto in = Bytes({0xB0, 0x85, 0x90, 0x80, 0, 0, 0, 1, 0x80, 0});
    rows.push_back({"a shift record takes two bytes whatever their top bits", 1, true, in, 1, 0, "", in, {}});
  }
  return rows;
}

TEST(StreamSeparator, RecordKindsWholeAndSplitEverywhere) {
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.legend);
    const Outcome whole = RunRow(row, {});
    EXPECT_EQ(whole.goodBlocks, row.goodBlocks);
    EXPECT_EQ(whole.blockErrors, row.blockErrors);
    EXPECT_EQ(whole.errorList, row.errorList);
    if (row.record) {
      EXPECT_EQ(whole.recorded, row.recorded);
    }
    std::vector<std::string> bootEvents;
    for (const auto& e : whole.events) bootEvents.push_back(e);
    EXPECT_EQ(bootEvents, row.events);
    if (row.extra) row.extra(whole);

    std::vector<size_t> everyByte;
    for (size_t i = 2; i < row.input.size(); ++i) everyByte.push_back(i);
    const Outcome single = RunRow(row, everyByte);
    for (size_t cut = 1; cut <= row.input.size(); ++cut) {
      const Outcome split = cut == 1 ? single : RunRow(row, {cut});
      SCOPED_TRACE("split at " + std::to_string(cut));
      EXPECT_EQ(split.goodBlocks, whole.goodBlocks);
      EXPECT_EQ(split.blockErrors, whole.blockErrors);
      EXPECT_EQ(split.errorList, whole.errorList);
      EXPECT_EQ(split.recorded, whole.recorded);
      EXPECT_EQ(split.events, whole.events);
      EXPECT_EQ(split.gpsText, whole.gpsText);
      EXPECT_EQ(split.samples, whole.samples);
    }
  }
}

class SeparatorRun : public ::testing::Test {
 protected:
  void Start(int channels, bool record) {
    a.ChannelCount = channels;
    RunOptions options;
    options.saveStream = record;
    InitStart(a, options);
    a.PlotWidth = 100;
    a.PlotHeight = 60;
    if (record) {
      ASSERT_TRUE(a.StreamFile.Create(dir.File(kWorkingRecordingName)));
    }
  }
  ScratchDir dir;
  Acquisition a;
  RecordingHost host;
  Raster raster{120, 80};
  StreamSeparator separator{a, host, raster};
};

TEST_F(SeparatorRun, HeaderOfFullLengthWithoutMarkerEndsAfter512Bytes) {
  Start(1, true);
  std::vector<uint8_t> in;
  std::string header = "ZELK_V=V9;DEV_NO=777;CH_NUM=1;S_RATE=200;P_AMPL=4;";
  header.resize(512, 'x');
  AppendText(in, header);
  in.push_back(0x05);  // read by the main loop: a stray byte
  AppendBlock(in, 0x80, {1});
  in.push_back(0x80);
  in.push_back(0);
  separator.Begin(0xF0);
  EXPECT_EQ(FeedAll(separator, in), 1);
  EXPECT_EQ(a.HeaderLength, 512);
  EXPECT_EQ(a.SampleRate, 200);
  EXPECT_EQ(a.DeviceNumber, "777");
  const std::vector<uint8_t> recorded(a.RawBuffer.begin(), a.RawBuffer.begin() + a.RawCount);
  EXPECT_EQ(recorded, Bytes({0x05, 0x80, 0, 0, 0, 1, 0x80, 0}));
  EXPECT_EQ(host.status, " VOXA Header received ");
  EXPECT_EQ(host.statusColour, StatusColour::Lime);
  EXPECT_EQ(host.deviceHeaders, 1);
  EXPECT_FALSE(a.AwaitingDeviceHeader);
}

TEST_F(SeparatorRun, FeedStopsAtHeaderEndAndRestsBeforeTheNextRecord) {
  Start(1, false);
  std::vector<uint8_t> in;
  AppendText(in, "CH_NUM=1;");
  const size_t headerEnd = in.size() + 1;  // the marker that ends it is taken too
  AppendBlock(in, 0x80, {1});
  in.push_back(0x80);
  in.push_back(0);
  separator.Begin(0xF0);
  const size_t taken = separator.Feed(in.data(), in.size());
  EXPECT_EQ(taken, headerEnd);
  EXPECT_EQ(separator.PauseMilliseconds(), StreamSeparator::kHeaderPauseMs);
  EXPECT_EQ(separator.Feed(in.data() + taken, in.size() - taken), in.size() - taken);
  EXPECT_EQ(separator.PauseMilliseconds(), 0);
  EXPECT_EQ(a.GoodBlocks, 1);
}

TEST_F(SeparatorRun, StopDuringHeaderOrBootLeavesNoTraceInTheRecording) {
  Start(1, true);
  std::vector<uint8_t> in;
  AppendBlock(in, 0x80, {1});
  in.push_back(0xF0);
  AppendText(in, "CH_NUM=3;S_RA");
  const std::string before = std::string(a.HeaderBuffer.begin(), a.HeaderBuffer.begin() + a.HeaderLength);
  separator.Begin(0x90);
  FeedAll(separator, std::vector<uint8_t>(in.begin() + 1, in.end()));
  // The pending header is never parsed and never replaces the header in force.
  EXPECT_EQ(a.ChannelCount, 1);
  separator.Finish();
  EXPECT_EQ(std::string(a.HeaderBuffer.begin(), a.HeaderBuffer.begin() + a.HeaderLength), before);
  // The recording is renamed; it ends with the block, no header marker, then 0xEF.
  std::vector<uint8_t> file;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) file = ReadFileBytes(entry.path());
  ASSERT_GE(file.size(), 6u);
  const std::vector<uint8_t> end(file.end() - 6, file.end());
  EXPECT_EQ(end, Bytes({0x90, 0, 0, 0, 1, 0xEF}));
}

TEST_F(SeparatorRun, StopDuringBootRecordsRaisesMainWindowAndDropsTheMarker) {
  Start(1, true);
  separator.Begin(0xF8);
  const auto in = Bytes({'\n', 'h', 'a'});
  FeedAll(separator, in);
  EXPECT_EQ(a.RawCount, 1);  // the boot marker, until the boot records end
  separator.Finish();
  EXPECT_EQ(host.mainRaised, 1);
  EXPECT_EQ(a.RawCount, 0);
}

TEST_F(SeparatorRun, HeaderThatChangesTheLayoutStartsAFreshScreenWithinCapacity) {
  Start(1, false);
  a.SampleRate = 50;
  a.ScreenSeconds = 1536;  // fits 50 sps with one channel only
  std::vector<uint8_t> in;
  for (int i = 0; i < 30; ++i) AppendBlock(in, 0x80, {i});
  in.push_back(0xF0);
  AppendText(in, "P_AMPL=1;CH_NUM=3;S_RATE=800;");
  AppendBlock(in, 0x80, {1, 2, 3});
  in.push_back(0x80);
  in.push_back(0);
  separator.Begin(0x90);
  FeedAll(separator, std::vector<uint8_t>(in.begin() + 1, in.end()));
  EXPECT_EQ(a.ChannelCount, 3);
  EXPECT_EQ(a.SampleRate, 800);
  EXPECT_EQ(a.BlockSize, 12);
  EXPECT_LE(int64_t{a.ScreenSeconds} * a.SampleRate * a.ChannelCount, kSampleSlots);
  EXPECT_EQ(a.SampleIndex, 3);  // only the block after the header is in the new screen
  EXPECT_EQ(a.BlockErrors, 0);
}

}  // namespace
}  // namespace voxa::test
