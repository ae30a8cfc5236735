// The recording file: its layout byte for byte after whole runs, the buffer
// that never overflows or drops a byte, the header that never overlaps the
// records after it, the start records a late first fix rewrites, and names
// that never replace an existing recording.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core_test_support.h"

namespace voxa::test {
namespace {

namespace fs = std::filesystem;

MonitorOptions Recorded(int32_t channels, int32_t screenSeconds = 8) {
  MonitorOptions options;
  options.run.saveStream = true;
  options.run.loadExtHeader = false;
  options.parameters = {50, channels, 16};
  options.screenSeconds = screenSeconds;
  return options;
}

TEST(RecordingRun, ShortStreamLayoutByteForByte) {
  PipelineRig rig;
  rig.Start(Recorded(1));
  ByteVec in = Raw({0x90, 0, 0, 0, 1, 0x12, 0x34});  // an overlong block, then a stray byte
  in.push_back(0xF8);
  AppendText(in, "\nboot\r");
  in.push_back(0xF0);
  AppendText(in, "ZELK_V=V1;");  // no CH_NUM etc.: those values are kept
  AppendBlock(in, 0x80, {2});
  in.insert(in.end(), {0xC3, 0x01});  // an unlisted record
  AppendBlock(in, 0x80, {3});
  in.push_back(0x80);  // pending at STOP: not recorded
  rig.Stream(in);
  const std::string name = rig.Stop();

  // No GPS message: no end-time record, and the name comes from the
  // computer's clock. The device's header arrived before the first write, so
  // it is the header at the start of the file; the boot and header records
  // themselves are not in the recorded stream.
  const ByteVec expected = Concat({Raw({0xF0}), Text("ZELK_V=V1;"),
                                   Raw({0x90, 0, 0, 0, 1, 0x12, 0x34, 0x80, 0, 0, 0, 2, 0xC3, 0x01, 0x80, 0, 0, 0, 3}),
                                   Raw({0xEF})});
  EXPECT_EQ(name, "03071405.000");
  EXPECT_EQ(ReadFileBytes(rig.dir.File(name)), expected);
  EXPECT_FALSE(fs::exists(rig.dir.File(kWorkingRecordingName)));
}

TEST(RecordingRun, DeviceHeaderAfterTheFirstWriteIsFittedToTheLengthWritten) {
  PipelineRig rig;
  rig.Start(Recorded(1, 1));  // every block flushes, so the built header is written first
  const size_t builtLength = rig.pipeline.Device().HeaderText().size();
  ByteVec in = Raw({0x90, 0, 0, 0, 1, 0x80, 0, 0, 0, 2, 0xF0});
  AppendText(in, "ZELK_V=V2.07;DEV_NO=015;CH_NUM=1;S_RATE=50;P_AMPL=16;" + std::string(400, 'x') + ";");
  AppendBlock(in, 0x80, {3});
  in.insert(in.end(), {0x80, 0});
  rig.Stream(in);
  const std::string name = rig.Stop();
  EXPECT_EQ(name, "03071405.015");
  const ByteVec file = ReadFileBytes(rig.dir.File(name));
  ASSERT_GT(file.size(), builtLength + 81);
  const std::string written(file.begin() + 1, file.begin() + 1 + static_cast<std::ptrdiff_t>(builtLength));
  // Whole items of the device header, padded with blanks; the records after
  // the header are intact.
  EXPECT_TRUE(written.starts_with("ZELK_V=V2.07;DEV_NO=015;CH_NUM=1;S_RATE=50;P_AMPL=16;"));
  EXPECT_EQ(written.back(), ' ');
  EXPECT_EQ(file[1 + builtLength], 0xA0);  // no GPS yet: the placeholder follows the header
  const size_t body = 1 + builtLength + 80;
  EXPECT_EQ(file[body], 0x90);
  EXPECT_EQ(file[body + 5], 0x80);
}

TEST(RecordingRun, WithoutDeviceHeaderTheStartTimeGoesIntoTheBuiltHeader) {
  PipelineRig rig;
  rig.Start(Recorded(1));
  rig.Stream(Raw({0x90, 0, 0, 0, 1, 0x80, 0, 0, 0, 2}));
  const ByteVec file = ReadFileBytes(rig.dir.File(rig.Stop()));
  const std::string text(file.begin(), file.end());
  EXPECT_NE(text.find("S_TIME=14:05:09;S_DATE=26/03/07;"), std::string::npos) << text;
  EXPECT_EQ(Tail(file, 3), Raw({0, 2, 0xEF}));  // the last block's cut record, then the end byte
}

TEST(RecordingRun, EveryByteRecordedOnceWhenEachBlockFlushes) {
  // One second per screen: every block belongs to a screen's last second, so
  // the recording is written after every block, just before the marker that
  // ended it is dispatched.
  PipelineRig rig;
  rig.Start(Recorded(1, 1));
  const size_t header = rig.pipeline.Device().HeaderText().size();
  ByteVec in;
  for (int second = 0; second < 3; ++second) {
    for (int i = 0; i < 50; ++i) AppendBlock(in, i == 0 ? 0x90 : 0x80, {second * 100 + i});
    in.push_back(0x04);  // a stray byte now and then
  }
  in.insert(in.end(), {0x80, 0x00});
  rig.Stream(in, 1);
  const ByteVec file = ReadFileBytes(rig.dir.File(rig.Stop()));
  const size_t body = 1 + header + 80;  // the first write came before any GPS message
  ASSERT_EQ(file.size(), body + in.size() + 1);
  EXPECT_EQ(file[1 + header], 0xA0);
  EXPECT_TRUE(std::equal(in.begin(), in.end(), file.begin() + static_cast<std::ptrdiff_t>(body)));
}

TEST(RecordingRun, BufferGrowsBeforeTheFirstWriteAndWritesEarlyAfterIt) {
  PipelineRig rig;
  rig.Start(Recorded(1, 1));
  const size_t header = rig.pipeline.Device().HeaderText().size();
  // More stray bytes than the buffer holds, before the first block.
  const ByteVec stray(Recording::kBufferSize + 1000, 0x21);
  ByteVec in = Concat({Raw({0xC5}), stray});
  rig.Stream(in);
  EXPECT_FALSE(rig.pipeline.Stream().HeaderWritten());
  EXPECT_EQ(rig.Pending().size(), in.size());

  ByteVec more;
  AppendBlock(more, 0x90, {1});
  more.push_back(0x80);  // ends the block: the first write, with the placeholder
  rig.Feed(more);
  EXPECT_TRUE(rig.pipeline.Stream().HeaderWritten());
  EXPECT_EQ(rig.Pending().size(), 0u);
  const ByteVec after(3 * Recording::kBufferSize, 0x22);
  rig.Feed(after);  // after the first write the buffer no longer grows: it is written when full
  EXPECT_LT(rig.Pending().size(), after.size());
  const ByteVec file = ReadFileBytes(rig.dir.File(rig.Stop()));
  const ByteVec expected = Concat({in, Raw({0x90, 0, 0, 0, 1, 0x80}), after, Raw({0xEF})});
  ASSERT_EQ(file.size(), 1 + header + 80 + expected.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + static_cast<std::ptrdiff_t>(1 + header + 80)));
}

TEST(RecordingRun, LastSecondOfTheFirstScreenDecidesThePlaceholderAndWrites) {
  PipelineRig rig;
  rig.Start(Recorded(1, 1));
  const std::string header = rig.pipeline.Device().HeaderText();
  ByteVec in;
  AppendBlock(in, 0x80, {1});
  in.push_back(0x80);
  rig.Stream(in);
  EXPECT_FALSE(rig.pipeline.ScreenState().FirstScreen());
  EXPECT_EQ(rig.Pending().size(), 0u);
  rig.pipeline.CloseOutputs();  // the file as it stands, not finished
  const ByteVec file = ReadFileBytes(rig.dir.File(kWorkingRecordingName));
  EXPECT_EQ(file, Concat({Raw({0xF0}), Text(header), Raw({0xA0}), Text(kPlaceholderGpsText), Raw({0xB0, 0, 0}),
                          Raw({0x80, 0, 0, 0, 1})}));
}

TEST(RecordingRun, StopDuringHeaderOrBootLeavesNoTraceInTheRecording) {
  for (const uint8_t marker : {kMarkerHeader, kMarkerBoot}) {
    SCOPED_TRACE(marker);
    PipelineRig rig;
    rig.Start(Recorded(1));
    const std::string header = rig.pipeline.Device().HeaderText();
    ByteVec in;
    AppendBlock(in, 0x90, {1});
    in.push_back(marker);
    AppendText(in, marker == kMarkerHeader ? "CH_NUM=3;S_RA" : "\nha");
    rig.Stream(in);
    EXPECT_EQ(rig.Pending(), Raw({0x90, 0, 0, 0, 1}));
    const std::string name = rig.Stop();
    // The header still open is never parsed and never replaces the header in force.
    EXPECT_EQ(rig.pipeline.Device().Parameters().channels, 1);
    EXPECT_FALSE(rig.pipeline.Device().DeviceHeaderReceived());
    EXPECT_EQ(rig.host.mainRaised, marker == kMarkerBoot ? 1 : 0);
    EXPECT_EQ(rig.pipeline.Device().HeaderText(), header);
    EXPECT_EQ(Tail(ReadFileBytes(rig.dir.File(name)), 6), Raw({0x90, 0, 0, 0, 1, 0xEF}));
  }
}

TEST(RecordingRun, AbandonWritesWhatIsBufferedBeforeTheFileIsClosed) {
  PipelineRig rig;
  rig.Start(Recorded(1));
  const std::string header = rig.pipeline.Device().HeaderText();
  rig.Stream(Raw({0x90, 0x01}));
  rig.pipeline.Abandon();
  rig.pipeline.CloseOutputs();
  EXPECT_EQ(ReadFileBytes(rig.dir.File(kWorkingRecordingName)), Concat({Raw({0xF0}), Text(header), Raw({0x90, 0x01})}));
}

TEST(RecordingRun, WithoutSaveStreamNothingIsWrittenOrNamed) {
  PipelineRig rig;
  MonitorOptions options = Recorded(1);
  options.run.saveStream = false;
  rig.Start(options);
  rig.Stream(Concat({Raw({0xA0}), Text(kPlaceholderGpsText), Raw({0x90, 0, 0, 0, 1, 0x80})}));
  EXPECT_FALSE(rig.pipeline.SavingStream());
  EXPECT_EQ(rig.Pending().size(), 0u);
  EXPECT_EQ(rig.Stop(), "");
  EXPECT_TRUE(fs::is_empty(rig.dir.Path()));
}

TEST(RecordingNames, SecondRunInTheSameMinuteKeepsBoth) {
  PipelineRig rig;
  std::vector<std::string> names;
  for (int run = 0; run < 2; ++run) {
    rig.Start(Recorded(1), {2026, 3, 7, 14, 5, 0});
    rig.Stream(Raw({0x90, 0, 0, 0, run, 0x80, 0}));
    names.push_back(rig.Stop());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"03071405.000", "03071405-2.000"}));
  EXPECT_EQ(ReadFileBytes(rig.dir.File(names[0])).size(), ReadFileBytes(rig.dir.File(names[1])).size());
}

TEST(RecordingNames, ExistingFilesUnderTheDatedNameAreNeverReplaced) {
  // Files that appear under the dated name while the run goes on (another
  // program, a copy) are kept: the recording takes the next free suffix.
  PipelineRig rig;
  rig.Start(Recorded(1), {2026, 3, 7, 14, 5, 0});
  rig.Stream(Raw({0x90, 0, 0, 0, 1, 0x80, 0}));
  std::ofstream(rig.dir.File("03071405.000")) << "first";
  std::ofstream(rig.dir.File("03071405-2.000")) << "second";
  EXPECT_EQ(rig.Stop(), "03071405-3.000");
  EXPECT_EQ(ReadFileText(rig.dir.File("03071405.000")), "first");
  EXPECT_EQ(ReadFileText(rig.dir.File("03071405-2.000")), "second");
  EXPECT_FALSE(fs::exists(rig.dir.File(kWorkingRecordingName)));
}

TEST(RecordingNames, UnfinishedRecordingIsMovedAsideBeforeTheNextStart) {
  ScratchDir dir;
  PosixFileStore store;
  const std::string working = dir.File(kWorkingRecordingName);
  EXPECT_EQ(KeepUnfinishedRecording(store, working).name, "");
  std::ofstream(working).close();  // empty: nothing to keep, and it goes
  EXPECT_EQ(KeepUnfinishedRecording(store, working).name, "");
  EXPECT_FALSE(fs::exists(working));
  std::ofstream(working) << "bytes";
  std::ofstream(dir.File("streamdat-2.bin")) << "taken";
  const KeptRecording kept = KeepUnfinishedRecording(store, working);
  EXPECT_EQ(kept.name, "streamdat-3.bin");
  EXPECT_EQ(kept.failure, "");
  EXPECT_EQ(ReadFileText(dir.File("streamdat-3.bin")), "bytes");
  EXPECT_EQ(ReadFileText(dir.File("streamdat-2.bin")), "taken");
  EXPECT_FALSE(fs::exists(working));

  PipelineRig rig;  // OpenOutputs does it before it creates the new recording
  std::ofstream(rig.dir.File(kWorkingRecordingName)) << "left";
  rig.pipeline.Configure(Recorded(1));
  rig.pipeline.StartRun(Recorded(1).run, rig.dir.File("config.txt"));
  const OutputFailures failures = rig.pipeline.OpenOutputs(OutputPaths::In(rig.dir.Path()));
  EXPECT_EQ(failures.keptUnfinished, "streamdat-2.bin");
  EXPECT_FALSE(failures.stream);
  rig.pipeline.CloseOutputs();
  EXPECT_EQ(ReadFileText(rig.dir.File("streamdat-2.bin")), "left");
}

TEST(FittedHeader, ShorterPaddedLongerCutAtAWholeItem) {
  const ByteVec text = Text("AB=1;CD=22;EF=333;");
  auto fitted = [&](int32_t length) {
    const std::vector<uint8_t> h = FittedHeader(Bytes(text), length);
    return std::string(h.begin(), h.end());
  };
  EXPECT_EQ(fitted(18), "AB=1;CD=22;EF=333;");
  EXPECT_EQ(fitted(22), "AB=1;CD=22;EF=333;    ");
  EXPECT_EQ(fitted(14), "AB=1;CD=22;   ");
  EXPECT_EQ(fitted(3), "AB=");  // no whole item fits: cut
  EXPECT_EQ(fitted(0), "");
}

// A fix after the placeholder was written dates the start: its fields, its
// record and the blocks before it are kept until STOP, and only the first.
TEST(RecordingStart, LateFirstFixBeforeTheDeviceHeaderIsKeptForTheEnd) {
  RecordingRig rig;
  rig.Start();
  rig.recording.OnLastSecondOfScreen(false);
  const size_t header = rig.device.HeaderText().size();
  rig.Sound(Fix("03738", "010203", "111111"), 1234);  // the device number is not known yet
  rig.ReplaceHeader("DEV_NO=015;");
  const GpsTime later = rig.Sound(Fix("07399", "020304", "111111"), 10);  // neither moves the start nor names it
  const FinishedRecording finished = rig.Finish(later, true);
  EXPECT_EQ(finished.name, "11110102.015");
  // The first fix moved back by 1234 / 100 s, checksums valid again.
  const ByteVec file = rig.File(finished.name);
  ASSERT_GT(file.size(), 1 + header + 77);
  EXPECT_EQ(file[1 + header], 0xA0);
  EXPECT_EQ(std::string(file.begin() + 2 + static_cast<long>(header), file.begin() + 78 + static_cast<long>(header)),
            Checksummed(Fix("03726", "010151", "111111")));
}

TEST(RecordingStart, ShiftPairIsTheTwentySixthRecordAfterALateFixAndPersists) {
  // {shift records after the fix} -> the pair after the rewritten record.
  // The first run settles {5, 6}; a run too short to settle keeps it.
  const std::vector<std::pair<int, std::array<uint8_t, 2>>> runs = {{26, {5, 6}}, {25, {5, 6}}, {27, {26, 0x40}}};
  RecordingRig rig;
  const size_t header = rig.device.HeaderText().size();
  for (const auto& [records, pair] : runs) {
    SCOPED_TRACE(records);
    rig.Start();
    rig.recording.OnLastSecondOfScreen(false);
    rig.recording.OnShift(9, 9);  // before the fix: not counted
    rig.Sound(kPlaceholderGpsText.data(), 0);
    for (int record = 1; record <= records; ++record) {
      rig.recording.OnShift(records == 26 ? 5 : static_cast<uint8_t>(record), records == 26 ? 6 : 0x40);
    }
    const ByteVec file = rig.File(rig.Finish({}, true).name);
    ASSERT_GT(file.size(), 1 + header + 80);
    EXPECT_EQ(ByteVec(file.begin() + static_cast<long>(1 + header + 77), file.begin() + static_cast<long>(1 + header + 80)),
              Raw({0xB0, pair[0], pair[1]}));
  }
}

}  // namespace
}  // namespace voxa::test
