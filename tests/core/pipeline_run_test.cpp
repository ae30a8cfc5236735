// Whole runs through the run pipeline: what each kind of record does to the
// statistics, the lists, the recording, the screen, the device settings and
// the window. Every row is fed whole, byte by byte, and split in two at every
// position: the outcome must not depend on how the bytes arrive.
#include <gtest/gtest.h>

#include <functional>

#include "core_test_support.h"

namespace voxa::test {
namespace {

struct Outcome {
  int64_t goodBlocks = 0, blockErrors = 0;
  std::string errorList;
  ByteVec recorded;  // the recording's stream, between its header and its end byte
  std::vector<std::string> events;
  std::map<Label, std::string> labels;
  int rests = 0;
  DeviceParameters parameters;
  std::string device, firmware;
  std::vector<int32_t> samples;
};

struct Row {
  std::string legend;
  int channels;
  bool record;
  ByteVec input;  // input[0] is the first marker
  int64_t goodBlocks, blockErrors;
  std::string errorList;
  ByteVec recorded;
  std::vector<std::string> events = {};  // boot window traffic
  std::function<void(const Outcome&, const PipelineRig&)> extra = nullptr;
};

// Runs one row: the first marker through StartStream, the rest in pieces
// ending at cuts, then STOP.
Outcome RunRow(const Row& row, const std::vector<size_t>& cuts,
               const std::function<void(const Outcome&, const PipelineRig&)>& check = nullptr) {
  PipelineRig rig;
  MonitorOptions options;
  options.run.saveStream = row.record;
  options.run.saveErrorList = true;
  options.run.loadExtHeader = false;
  options.parameters.channels = row.channels;
  rig.Start(options);
  rig.pipeline.StartStream(row.input.at(0));
  Outcome out;
  size_t from = 1;
  std::vector<size_t> ends = cuts;
  ends.push_back(row.input.size());
  for (const size_t end : ends) {
    if (end <= from) continue;
    out.rests += rig.Feed(ByteVec(row.input.begin() + static_cast<long>(from), row.input.begin() + static_cast<long>(end)));
    from = end;
  }
  out.goodBlocks = rig.pipeline.Statistics().GoodBlocks();
  out.blockErrors = rig.pipeline.Statistics().BlockErrors();
  out.events = rig.host.events;
  out.labels = rig.host.labels;
  out.parameters = rig.pipeline.Device().Parameters();
  out.device = rig.pipeline.Device().DeviceNumber();
  out.firmware = rig.pipeline.Device().FirmwareVersion();
  const Screen& screen = rig.pipeline.ScreenState();
  out.samples.assign(screen.Samples().begin(), screen.Samples().begin() + screen.SampleIndex());
  const size_t header = rig.pipeline.Device().HeaderBytes().size();
  const std::string name = rig.Stop();
  out.errorList = ReadFileText(rig.dir.File("error.csv"));
  if (row.record) {
    const ByteVec file = ReadFileBytes(rig.dir.File(name));
    EXPECT_EQ(file.back(), kMarkerEndByte);
    if (file.size() > header + 1) out.recorded.assign(file.begin() + 1 + static_cast<long>(header), file.end() - 1);
  }
  if (check) check(out, rig);
  return out;
}

std::vector<Row> Rows() {
  std::vector<Row> rows = {
      {"one-channel block cut by a marker after 3 bytes is invalid", 1, true,
       Raw({0x90, 1, 2, 3, 0x80, 0, 0, 0, 5, 0x80, 0x00}), 1, 1, ";0;3 Bytes\r\n:: ; 1; sec\r\n",
       Raw({0x90, 1, 2, 3, 0x80, 0, 0, 0, 5, 0x80, 0x00})},
      {"five payload bytes: invalid, ends after the fifth, then stray bytes", 1, true,
       Raw({0x80, 0, 0, 0, 1, 9, 7, 7, 0x80, 0, 0, 0, 2, 0x80, 0}), 1, 1, ";0;5 Bytes\r\n",
       Raw({0x80, 0, 0, 0, 1, 9, 7, 7, 0x80, 0, 0, 0, 2, 0x80, 0})},
      {"unlisted records are skipped but recorded", 1, true,
       Raw({0x80, 0, 0, 0, 1, 0xC0, 5, 6, 0xE0, 7, 0x80, 0, 0, 0, 2, 0x80, 0}), 2, 0, "",
       Raw({0x80, 0, 0, 0, 1, 0xC0, 5, 6, 0xE0, 7, 0x80, 0, 0, 0, 2, 0x80, 0}), {},
       [](const Outcome& o, const PipelineRig&) { EXPECT_EQ(o.samples, (std::vector<int32_t>{1, 2})); }},
      {"a block still open at STOP is not judged, its bytes are recorded", 1, true,
       Raw({0x80, 0, 0, 0, 1, 0x80, 0, 0}), 1, 0, "", Raw({0x80, 0, 0, 0, 1, 0x80, 0, 0})},
      {"records STOP cuts short are recorded as they arrived", 1, true, Raw({0x80, 0, 0, 0, 1, 0xA0, '>', 'R', 'P'}), 1,
       0, "", Raw({0x80, 0, 0, 0, 1, 0xA0, '>', 'R', 'P'})},
      {"a pending marker is not dispatched (nor recorded) before a further byte", 1, true,
       Raw({0x80, 0, 0, 0, 1, 0x90}), 1, 0, "", Raw({0x80, 0, 0, 0, 1})},
      {"three-channel sample values decode as 24-bit two's complement", 3, false,
       Raw({0x80, 0x40, 0, 0, 0, 0x3F, 0x7F, 0x7F, 0x07, 0, 0, 0, 0x7F, 0x80, 0}), 1, 0, "", {}, {},
       [](const Outcome& o, const PipelineRig&) {
         EXPECT_EQ(o.samples, (std::vector<int32_t>{-8388608, 8388607, 127}));
       }},
      {"two boot records: two lines, main window back only after the last", 1, true,
       Concat({Raw({0xF8, '\n'}), Text("VOXA boot"), Raw({'\r', 0xF8, '\n'}), Text("GPS on"),
               Raw({'\r', 0x80, 0, 0, 0, 1, 0x80, 0})}),
       1, 0, "", Raw({0x80, 0, 0, 0, 1, 0x80, 0}), {"show boot", "line VOXA boot", "line GPS on", "raise main"}},
      {"boot records too short for a line give empty lines", 1, false,
       Raw({0xF8, '\n', '\r', 0xF8, '\n', 'x', 0x80, 0, 0, 0, 1, 0x80, 0}), 1, 0, "", {},
       {"show boot", "line ", "line ", "raise main"}},
      {"a header record is parsed, listed item by item and not recorded", 1, true,
       Concat({Raw({0x80, 0, 0, 0, 1, 0xF0}), Text("ZELK_V=V2.07;DEV_NO=015;P_AMPL=8;CH_NUM=1;S_RATE=50;TAIL=1"),
               Raw({0x80, 0, 0, 0, 2, 0x80, 0})}),
       2, 0, "", Raw({0x80, 0, 0, 0, 1, 0x80, 0, 0, 0, 2, 0x80, 0}),
       {"line ZELK_V=V2.07", "line DEV_NO=015", "line P_AMPL=8", "line CH_NUM=1", "line S_RATE=50"},
       [](const Outcome& o, const PipelineRig& rig) {
         EXPECT_EQ(o.rests, 1);
         EXPECT_EQ(o.parameters.channels, 1);
         EXPECT_EQ(o.parameters.rate, 50);
         EXPECT_EQ(o.parameters.gain, 8);
         EXPECT_EQ(o.device, "015");
         EXPECT_EQ(o.firmware, "V2.07");
         EXPECT_EQ(rig.host.shownDevice, "015 V2.07");
         EXPECT_EQ(rig.host.status, " VOXA Header received ");
         EXPECT_EQ(rig.host.statusColour, StatusColour::Lime);
       }},
      {"a header record without KEY=value; items is ignored: a boot line, no rest, header kept", 1, true,
       Concat({Raw({0x80, 0, 0, 0, 1, 0xF0}), Text("ZELK_V=V2.07;DEV_NO=015;P_AMPL=8;CH_NUM=1;S_RATE=50;"),
               Raw({0x80, 0, 0, 0, 2, 0xF0, 0x12, '=', 0x05, 0x80, 0, 0, 0, 3, 0x80, 0})}),
       3, 0, "", Raw({0x80, 0, 0, 0, 1, 0x80, 0, 0, 0, 2, 0x80, 0, 0, 0, 3, 0x80, 0}),
       {"line ZELK_V=V2.07", "line DEV_NO=015", "line P_AMPL=8", "line CH_NUM=1", "line S_RATE=50",
        "line Header: a record without KEY=value; items ignored"},
       [](const Outcome& o, const PipelineRig& rig) {
         EXPECT_EQ(o.rests, 1);  // after the device's header only
         EXPECT_EQ(rig.host.deviceHeaders, 1);
         EXPECT_EQ(o.parameters.rate, 50);
         EXPECT_EQ(o.device, "015");
         const Bytes header = rig.pipeline.Device().HeaderBytes();
         EXPECT_EQ(std::string(header.begin(), header.end()), "ZELK_V=V2.07;DEV_NO=015;P_AMPL=8;CH_NUM=1;S_RATE=50;");
       }},
      {"a stray 0xF0 before any header changes nothing but a boot line", 1, true,
       Raw({0x80, 0, 0, 0, 1, 0xF0, 0x80, 0, 0, 0, 2, 0x80, 0}), 2, 0, "",
       Raw({0x80, 0, 0, 0, 1, 0x80, 0, 0, 0, 2, 0x80, 0}), {"line Header: a record without KEY=value; items ignored"},
       [](const Outcome& o, const PipelineRig& rig) {
         EXPECT_EQ(o.rests, 0);
         EXPECT_EQ(rig.host.deviceHeaders, 0);
         EXPECT_NE(rig.host.status, " VOXA Header received ");
         EXPECT_FALSE(rig.pipeline.Device().DeviceHeaderReceived());
         EXPECT_EQ(o.device, "000");
       }},
      {"GPS record without recording: 70 bytes, the rest skipped", 1, false,
       Concat({Raw({0x80, 0, 0, 0, 1, 0xA0}), Text(kPlaceholderGpsText), Raw({0x80, 0, 0, 0, 2, 0x80, 0})}), 2, 0, "",
       {}, {},
       [](const Outcome& o, const PipelineRig&) {
         EXPECT_EQ(o.labels.at(Label::GpsClock), "00:00:00");
         EXPECT_EQ(o.labels.at(Label::Sats), "07");
         EXPECT_FALSE(o.labels.contains(Label::Temp));
       }},
      {"GPS record cut by a marker while recording is a GPS error and is recorded", 1, true,
       Concat({Raw({0xA0}), Text(kPlaceholderGpsText.substr(0, 40)), Raw({0x80, 0, 0, 0, 3, 0x80, 0})}), 1, 0,
       "GPS Block error\r\n",
       Concat({Raw({0xA0}), Text(kPlaceholderGpsText.substr(0, 40)), Raw({0x80, 0, 0, 0, 3, 0x80, 0})}), {},
       [](const Outcome& o, const PipelineRig&) { EXPECT_FALSE(o.labels.contains(Label::GpsClock)); }},
      {"a shift record is measured and shown", 1, true, Raw({0xB0, 0x01, 0x00, 0x80, 0, 0, 0, 1, 0x80, 0}), 1, 0, "",
       Raw({0xB0, 0x01, 0x00, 0x80, 0, 0, 0, 1, 0x80, 0}), {},
       [](const Outcome& o, const PipelineRig& rig) {
         EXPECT_EQ(rig.pipeline.Shift().Raw(), 128);
         EXPECT_TRUE(o.labels.contains(Label::Shift));
       }},
      {"a marker in a shift record ends it unmeasured; the marker's block counts", 1, true,
       Raw({0xB0, 0x12, 0x90, 0, 0, 0, 1, 0x80, 0}), 1, 0, ":: ; 1; sec\r\n",
       Raw({0xB0, 0x12, 0x90, 0, 0, 0, 1, 0x80, 0}), {},
       [](const Outcome& o, const PipelineRig& rig) {
         EXPECT_EQ(rig.pipeline.Shift().Raw(), 0);
         EXPECT_FALSE(o.labels.contains(Label::Shift));
         EXPECT_EQ(o.samples, (std::vector<int32_t>{1}));
       }},
  };
  {
    // Read blind, a 40-byte record takes the next 30 bytes with it; reading
    // resumes at the next marker after them.
    ByteVec in = Concat({Raw({0x80, 0, 0, 0, 1, 0xA0}), Text(kPlaceholderGpsText.substr(0, 40))});
    for (int i = 0; i < 6; ++i) AppendBlock(in, 0x80, {i});
    AppendBlock(in, 0x80, {7});
    in.insert(in.end(), {0x80, 0});
    rows.push_back({"short GPS record without recording swallows what follows up to 70 bytes", 1, false, in, 2, 0,
                    "GPS Block error\r\n", {}, {}, [](const Outcome& o, const PipelineRig&) {
                      EXPECT_EQ(o.samples, (std::vector<int32_t>{1, 7}));
                    }});
  }
  {
    // Without a marker a header record ends at its capacity.
    std::string header = "ZELK_V=V9;DEV_NO=777;CH_NUM=1;S_RATE=200;P_AMPL=4;";
    header.resize(512, 'x');
    ByteVec in = Concat({Raw({0xF0}), Text(header), Raw({0x05})});  // read as a stray byte
    AppendBlock(in, 0x80, {1});
    in.insert(in.end(), {0x80, 0});
    rows.push_back({"a header of full length without a marker ends after 512 bytes", 1, true, in, 1, 0, "",
                    Raw({0x05, 0x80, 0, 0, 0, 1, 0x80, 0}),
                    {"line ZELK_V=V9", "line DEV_NO=777", "line CH_NUM=1", "line S_RATE=200", "line P_AMPL=4"},
                    [](const Outcome& o, const PipelineRig& rig) {
                      EXPECT_EQ(o.rests, 1);
                      EXPECT_EQ(rig.pipeline.Device().HeaderBytes().size(), 512u);
                      EXPECT_TRUE(rig.pipeline.Device().DeviceHeaderReceived());
                      EXPECT_EQ(o.parameters.rate, 200);
                      EXPECT_EQ(o.device, "777");
                      EXPECT_EQ(rig.host.deviceHeaders, 1);
                    }});
  }
  return rows;
}

TEST(PipelineRun, RecordKindsWholeAndSplitEverywhere) {
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.legend);
    const Outcome whole = RunRow(row, {}, row.extra);
    EXPECT_EQ(whole.goodBlocks, row.goodBlocks);
    EXPECT_EQ(whole.blockErrors, row.blockErrors);
    EXPECT_EQ(whole.errorList, row.errorList);
    EXPECT_EQ(whole.recorded, row.recorded);
    EXPECT_EQ(whole.events, row.events);

    std::vector<size_t> everyByte;
    for (size_t i = 2; i < row.input.size(); ++i) everyByte.push_back(i);
    const Outcome single = RunRow(row, everyByte);
    for (size_t cut = 1; cut <= row.input.size(); ++cut) {
      SCOPED_TRACE("split at " + std::to_string(cut));
      const Outcome split = cut == 1 ? single : RunRow(row, {cut});
      EXPECT_EQ(split.goodBlocks, whole.goodBlocks);
      EXPECT_EQ(split.blockErrors, whole.blockErrors);
      EXPECT_EQ(split.errorList, whole.errorList);
      EXPECT_EQ(split.recorded, whole.recorded);
      EXPECT_EQ(split.events, whole.events);
      EXPECT_EQ(split.labels, whole.labels);
      EXPECT_EQ(split.rests, whole.rests);
      EXPECT_EQ(split.samples, whole.samples);
    }
  }
}

TEST(PipelineRun, FeedStopsAtHeaderEndAndRestsBeforeTheNextRecord) {
  PipelineRig rig;
  MonitorOptions options;
  options.parameters.channels = 1;
  rig.Start(options);
  ByteVec in = Text("CH_NUM=1;");
  const size_t headerEnd = in.size() + 1;  // the marker that ends it is taken too
  AppendBlock(in, 0x80, {1});
  in.insert(in.end(), {0x80, 0});
  rig.pipeline.StartStream(kMarkerHeader);
  const size_t taken = rig.pipeline.Feed(in.data(), in.size());
  EXPECT_EQ(taken, headerEnd);
  EXPECT_EQ(rig.pipeline.RestMilliseconds(), RunPipeline::kHeaderRestMs);
  EXPECT_EQ(rig.pipeline.Feed(in.data() + taken, in.size() - taken), in.size() - taken);
  EXPECT_EQ(rig.pipeline.RestMilliseconds(), 0);
  EXPECT_EQ(rig.pipeline.Statistics().GoodBlocks(), 1);
}

TEST(PipelineRun, HeaderThatChangesTheLayoutStartsAFreshScreenWithinCapacity) {
  PipelineRig rig;
  MonitorOptions options;
  options.parameters = {50, 1, 16};
  options.screenSeconds = 1536;  // fits 50 sps with one channel only
  rig.Start(options);
  ASSERT_EQ(rig.pipeline.ScreenState().ScreenSeconds(), 1536);
  ByteVec in;
  for (int i = 0; i < 30; ++i) AppendBlock(in, i == 0 ? 0x90 : 0x80, {i});
  in.push_back(0xF0);
  AppendText(in, "P_AMPL=1;CH_NUM=3;S_RATE=800;");
  AppendBlock(in, 0x80, {1, 2, 3});
  in.insert(in.end(), {0x80, 0});
  rig.Stream(in);
  const DeviceParameters& p = rig.pipeline.Device().Parameters();
  EXPECT_EQ(p.channels, 3);
  EXPECT_EQ(p.rate, 800);
  EXPECT_LE(int64_t{rig.pipeline.ScreenState().ScreenSeconds()} * p.rate * p.channels, kSampleSlots);
  EXPECT_EQ(rig.pipeline.ScreenState().SampleIndex(), 3);  // only the block after the header is in the new screen
  EXPECT_EQ(rig.pipeline.Statistics().BlockErrors(), 0);   // the separator judges it by the new size
}

TEST(PipelineRun, HighPassFilterIsSetUpForTheRateInForce) {
  PipelineRig rig;
  MonitorOptions options;
  options.run.highPass = true;
  rig.Start(options);
  EXPECT_EQ(rig.pipeline.ScreenState().HighPass().Rate(), 100);
  rig.Stream(Concat({Raw({0xF0}), Text("S_RATE=50;"), Raw({0x80})}));
  EXPECT_EQ(rig.pipeline.ScreenState().HighPass().Rate(), 50);
  rig.pipeline.SetHighPass(false, true);
  rig.pipeline.MutableScreen().HighPass().Init(800);  // a stale set-up ...
  rig.pipeline.SetHighPass(true, true);               // ... is not what a tick mid-run starts from
  EXPECT_EQ(rig.pipeline.ScreenState().HighPass().Rate(), 50);
}

TEST(PipelineRun, EverySecondIsDrawnAndEveryScreenEndShowsItsResults) {
  PipelineRig rig;
  MonitorOptions options;
  options.parameters = {50, 1, 16};
  options.screenSeconds = 2;
  rig.Start(options);
  ByteVec in;
  for (int i = 0; i < 100; ++i) AppendBlock(in, i % 50 == 0 ? 0x90 : 0x80, {i % 2 ? 100 : -100});
  in.push_back(0x80);
  rig.Stream(in);
  EXPECT_EQ(rig.host.repaints, 2);
  EXPECT_EQ(rig.host.Text(Label::Volt1), "  3.05 \u00B5V");  // 200 counts at gain 16
  EXPECT_EQ(rig.host.Text(Label::Offset1), "  0.00 \u00B5V");
  EXPECT_NE(rig.host.Text(Label::Noise1), "<unset>");
  EXPECT_EQ(rig.host.Text(Label::Noise2), "<unset>");  // one channel: its labels only
}

TEST(PipelineRun, GpsShiftAndTemperatureReachTheLabelsAndTheLists) {
  PipelineRig rig;
  MonitorOptions options;
  options.run.saveShift = options.run.saveErrorList = true;
  rig.Start(options);
  const ByteVec in = Concat({Raw({0xB0, 0x00, 0x00, 0xA0}),  // before any GPS message the time texts are empty
                             Text(GpsText({{1, ">XPV+23.5"}, {44, "123456"}, {61, "18"}})),
                             Raw({0xB0, 0x09, 0x52, 0xA0}), Text(GpsText({{40, "#"}})), Raw({0x80})});
  rig.Stream(in);
  rig.pipeline.CloseOutputs();
  EXPECT_EQ(ReadFileText(rig.dir.File("shift.csv")), "::; 0; shift\r\n12:34:56; 1234; shift\r\n");
  EXPECT_EQ(ReadFileText(rig.dir.File("error.csv")), "GPS Block error\r\n");
  EXPECT_EQ(rig.host.Text(Label::Shift), "3013 \u00B5sec");
  EXPECT_EQ(rig.host.Text(Label::GpsClock), "12:34:56");
  EXPECT_EQ(rig.host.Text(Label::Temp), "+23.5");
  EXPECT_EQ(rig.pipeline.Shift().Raw(), 1234);
  EXPECT_EQ(rig.pipeline.Clock().Time().secondOfDay, 45314);
}

}  // namespace
}  // namespace voxa::test
