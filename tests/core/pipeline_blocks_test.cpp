// Sample blocks through the run pipeline: the block statistics and the checks
// at every second mark, as error.csv, shift.csv and the error labels show them.
#include <gtest/gtest.h>

#include "core_test_support.h"
#include "format/number_text.h"

namespace voxa::test {
namespace {

// A run with error.csv and shift.csv, one channel at 100 sps, its stream
// opened by a GPS record at 12:00:05. A block is judged when the marker after
// it arrives.
class BlockRig {
 public:
  BlockRig() {
    MonitorOptions options;
    options.run.saveErrorList = options.run.saveShift = true;
    options.run.loadExtHeader = false;
    options.parameters = {100, 1, 16};
    rig.Start(options);
    rig.pipeline.StartStream(kMarkerGps);
    Gps(43205, false);
  }

  // A GPS record whose time of day is secondOfDay.
  void Gps(int32_t secondOfDay, bool marker = true) {
    const int32_t t = secondOfDay % 86400;
    const std::string clock = ZeroPadded(t / 3600, 2) + ZeroPadded(t % 3600 / 60, 2) + ZeroPadded(t % 60, 2);
    ByteVec bytes = marker ? Raw({kMarkerGps}) : ByteVec{};
    AppendText(bytes, Fix(ZeroPadded(t, 5), clock, "111111"));
    rig.Feed(bytes);
  }
  void Block(uint8_t marker, int payloadBytes = 4) {
    ByteVec bytes(static_cast<size_t>(payloadBytes) + 1, 0);
    bytes[0] = marker;
    rig.Feed(bytes);
  }
  void Blocks(int count) {
    for (int i = 0; i < count; ++i) Block(kMarkerBlock);
  }
  // The first screen is over from the next block on.
  void LeaveFirstScreen() {
    Block(kMarkerBlock);
    rig.pipeline.MutableScreen().SetFirstScreen(false);
  }
  // Ends the last block; closes the lists.
  void End() {
    rig.Feed({kMarkerBlock});
    rig.pipeline.CloseOutputs();
  }
  std::string Errors() const { return ReadFileText(rig.dir.File("error.csv")); }
  std::string Shifts() const { return ReadFileText(rig.dir.File("shift.csv")); }
  const BlockStatistics& Statistics() const { return rig.pipeline.Statistics(); }
  std::string LabelText(Label label) const { return rig.host.Text(label); }

  PipelineRig rig;
};

TEST(BlockChecks, FirstMarkAfter37BlocksCountsASecondAndARateError) {
  BlockRig r;
  r.Blocks(37);
  r.Block(kMarkerSecondBlock);
  r.End();
  EXPECT_EQ(r.Statistics().SecondErrors(), 1);
  EXPECT_EQ(r.Statistics().RateErrors(), 1);
  EXPECT_EQ(r.Errors(), "12:00:05 ; 1; sec\r\n12:00:05 ; 37; sps\r\n");
  EXPECT_EQ(r.Shifts(), "12:00:05 ; 37; sps\r\n");
  EXPECT_EQ(r.LabelText(Label::SecErrors) + " " + r.LabelText(Label::SpsErrors), "1 1");
  EXPECT_EQ(r.LabelText(Label::BlockErrors), "<unset>");
}

TEST(BlockChecks, VeryFirstBlockAMarkGivesOnlyASecondError) {
  BlockRig r;
  r.Block(kMarkerSecondBlock);
  r.End();
  EXPECT_EQ(r.Statistics().RateErrors(), 0);
  EXPECT_EQ(r.Errors(), "12:00:05 ; 1; sec\r\n");
}

TEST(BlockChecks, SteadyStreamWithOneInvalidBlockGivesOnlyTheBlockError) {
  BlockRig r;
  r.Block(kMarkerSecondBlock);
  for (int second = 1; second <= 3; ++second) {
    r.Blocks(40);
    r.Block(kMarkerBlock, second == 2 ? 3 : 4);
    r.Blocks(58);
    r.Gps(43205 + second);
    r.Block(kMarkerSecondBlock);
  }
  r.End();
  EXPECT_EQ(r.Statistics().SecondErrors(), 1);  // the first mark of the run only
  EXPECT_EQ(r.Statistics().RateErrors(), 0);
  EXPECT_EQ(r.Statistics().BlockErrors(), 1);
  EXPECT_EQ(r.Statistics().GoodBlocks(), 300);
  EXPECT_EQ(r.Errors(), "12:00:05 ; 1; sec\r\n;141;3 Bytes\r\n");
  EXPECT_EQ(r.LabelText(Label::BlockErrors), "1");
}

TEST(BlockChecks, InvalidMarkBlockStillRunsTheChecks) {
  BlockRig r;
  r.Block(kMarkerSecondBlock, 2);
  r.End();
  EXPECT_EQ(r.Statistics().BlockErrors(), 1);
  EXPECT_EQ(r.Statistics().SecondErrors(), 1);
  EXPECT_EQ(r.Errors(), ";0;2 Bytes\r\n12:00:05 ; 1; sec\r\n");
}

TEST(BlockChecks, MarkSpacingTable) {
  struct Case {
    const char* legend;
    bool afterFirstScreen;
    int blocks;         // blocks between the two marks
    int32_t gpsStep;    // seconds the GPS clock advanced
    std::string lines;  // error lines of the second mark
  } cases[] = {
      {"50 blocks after the first screen", true, 50, 1, "12:00:06 ; 1; sec\r\n12:00:06 ; 50; sps\r\n"},
      {"50 blocks during the first screen", false, 50, 1, "12:00:06 ; 1; sec\r\n12:00:06 ; 50; sps\r\n"},
      {"200 blocks and two GPS seconds after the first screen", true, 200, 2, ""},
      {"200 blocks during the first screen count one GPS second", false, 200, 2, "12:00:07 ; -1; sec\r\n"},
      {"100 blocks, one GPS second", true, 100, 1, ""},
      {"150 blocks: 1.5 rounds to 2", true, 150, 2, "12:00:07 ; 150; sps\r\n"},
      {"250 blocks: 2.5 rounds to 2", true, 250, 2, "12:00:07 ; 250; sps\r\n"},
      {"noon to midnight: a jump of half a day", true, 100, -43205, "00:00:00 ; -43206; sec\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    BlockRig r;
    r.Block(kMarkerSecondBlock);
    if (c.afterFirstScreen) r.LeaveFirstScreen();
    r.Blocks(c.blocks - 1 - (c.afterFirstScreen ? 1 : 0));
    r.Gps(43205 + c.gpsStep);
    r.Block(kMarkerSecondBlock);
    r.End();
    EXPECT_EQ(r.Errors(), "12:00:05 ; 1; sec\r\n" + c.lines);  // the run's first mark, then the second
  }
}

// Ten years at 800 sps are 2.5e11 blocks; 32-bit counts would overflow
// after 31 days. Counts past 2^31 reach the lists and labels in full.
TEST(BlockChecks, CountsPastTwoToThe31ReachTheListsInFull) {
  constexpr int64_t kTwo31 = int64_t{1} << 31;
  BlockRig r;
  r.Block(kMarkerSecondBlock);
  r.LeaveFirstScreen();
  r.rig.pipeline.MutableStatistics().SetCountsForTest(kTwo31 - 2, 1, kTwo31 - 1);  // the block before is judged after this
  r.rig.pipeline.MutableClock().SetBlocksSinceFixForTest(kTwo31 - 1);
  r.Block(kMarkerBlock, 3);     // judged once the next marker arrives: 2^31 blocks before it
  r.Block(kMarkerSecondBlock);  // 2^31 + 1 blocks since the last mark
  r.End();
  EXPECT_EQ(r.Statistics().GoodBlocks(), kTwo31);
  EXPECT_EQ(r.Statistics().BlockErrors(), 2);
  EXPECT_EQ(r.Statistics().BlocksSinceMark(), 1);
  EXPECT_EQ(r.rig.pipeline.Clock().BlocksSinceFix(), kTwo31 + 2);
  // The GPS clock stood still while 21474836.49 seconds of blocks came.
  EXPECT_EQ(r.Errors(), "12:00:05 ; 1; sec\r\n;2147483648;3 Bytes\r\n12:00:05 ; -21474836; sec\r\n"
                        "12:00:05 ; 2147483649; sps\r\n");
  EXPECT_EQ(r.LabelText(Label::BlockErrors), "2");
}

TEST(BlockChecks, BlocksAreCountedEvenWhenTheScreenHasNoRoomForThem) {
  BlockRig r;
  r.rig.pipeline.MutableScreen().SetSampleIndex(kScreenSlots);
  r.Block(kMarkerBlock);
  r.End();
  EXPECT_EQ(r.rig.pipeline.ScreenState().SampleIndex(), kScreenSlots);
  EXPECT_EQ(r.Statistics().GoodBlocks(), 1);
  EXPECT_EQ(r.rig.pipeline.Clock().BlocksSinceFix(), 1);
}

}  // namespace
}  // namespace voxa::test
