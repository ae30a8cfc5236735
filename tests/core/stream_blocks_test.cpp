// Block storage and the second-mark checks, and the recording's buffer: what
// error.csv says for each kind of timing fault, and that every recorded byte
// reaches the file exactly once.
#include <gtest/gtest.h>

#include "stream/blocks.h"
#include "stream/number_text.h"
#include "stream/recording.h"
#include "stream_test_support.h"

namespace voxa::test {
namespace {

TEST(DecodeSample, SevenBitGroupsToSigned24Bit) {
  struct Case {
    const char* legend;
    uint8_t b1, b2, b3, b4;
    int32_t value;
  } cases[] = {
      {"top bit set: most negative", 0x40, 0x00, 0x00, 0x00, -8388608},
      {"largest positive", 0x3F, 0x7F, 0x7F, 0x07, 8388607},
      {"last group added unmasked", 0x00, 0x00, 0x00, 0x7F, 127},
      {"minus one", 0x7F, 0x7F, 0x7F, 0x07, -1},
      {"zero", 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeSample(c.b1, c.b2, c.b3, c.b4), c.value) << c.legend;
  }
}

// A run's acquisition state with error.csv and shift.csv in a scratch
// directory, fed block by block as the separator would.
class Rig {
 public:
  Rig() {
    a.ChannelCount = 1;
    a.SampleRate = 100;
    RunOptions options;
    options.saveErrorList = true;
    options.saveShift = true;
    InitStart(a, options);
    a.ScreenSeconds = 8;
    EXPECT_TRUE(a.ErrorFile.Create(dir.File("error.csv")));
    EXPECT_TRUE(a.ShiftFile.Create(dir.File("shift.csv")));
    SetGpsTime(43205);  // 12:00:05
  }

  void SetGpsTime(int32_t secondOfDay) {
    a.GpsSecondOfDay = secondOfDay;
    const int32_t t = ((secondOfDay % 86400) + 86400) % 86400;
    a.GpsHour = ZeroPadded(t / 3600, 2);
    a.GpsMinute = ZeroPadded(t % 3600 / 60, 2);
    a.GpsSecond = ZeroPadded(t % 60, 2);
  }
  void Block(uint8_t marker, int payloadBytes = 4) {
    a.MarkerByte = marker;
    a.BlockBuffer = {};
    a.BlockIndex = payloadBytes + 1;
    AcceptBlock(a);
  }
  void Blocks(int count) {
    for (int i = 0; i < count; ++i) Block(0x80);
  }
  // Ends the first screen the way the plot does.
  void LeaveFirstScreen() {
    a.ScreenSecond = a.ScreenSeconds - 1;
    Block(0x80);
    a.ScreenSecond = 0;
    EXPECT_FALSE(a.FirstScreen);
  }
  std::string Errors() {
    a.ErrorFile.Close();
    return ReadFileText(dir.File("error.csv"));
  }
  std::string Shifts() {
    a.ShiftFile.Close();
    return ReadFileText(dir.File("shift.csv"));
  }

  ScratchDir dir;
  Acquisition a;
};

TEST(BlockChecks, FirstMarkAfter37BlocksCountsASecondAndARateError) {
  Rig r;
  r.Blocks(37);
  r.Block(0x90);
  EXPECT_EQ(r.a.SecErrors, 1);
  EXPECT_EQ(r.a.SpsErrors, 1);
  EXPECT_TRUE(r.a.SecErrorFlag);
  EXPECT_TRUE(r.a.SpsErrorFlag);
  EXPECT_EQ(r.Errors(), "12:00:05 ; 1; sec\r\n12:00:05 ; 37; sps\r\n");
  EXPECT_EQ(r.Shifts(), "12:00:05 ; 37; sps\r\n");
}

TEST(BlockChecks, VeryFirstBlockAMarkGivesOnlyASecondError) {
  Rig r;
  r.Block(0x90);
  EXPECT_EQ(r.a.SpsErrors, 0);
  EXPECT_EQ(r.Errors(), "12:00:05 ; 1; sec\r\n");
}

TEST(BlockChecks, SteadyStreamWithOneInvalidBlockGivesOnlyTheBlockError) {
  Rig r;
  r.Block(0x90);
  for (int second = 1; second <= 3; ++second) {
    r.Blocks(40);
    r.Block(0x80, second == 2 ? 3 : 4);
    r.Blocks(58);
    r.SetGpsTime(43205 + second);
    r.Block(0x90);
    EXPECT_FALSE(r.a.SecErrorFlag);
    EXPECT_FALSE(r.a.SpsErrorFlag);
  }
  EXPECT_EQ(r.a.SecErrors, 1);  // the first mark of the run only
  EXPECT_EQ(r.a.SpsErrors, 0);
  EXPECT_EQ(r.a.BlockErrors, 1);
  EXPECT_EQ(r.a.GoodBlocks, 300);
  EXPECT_EQ(r.Errors(), "12:00:05 ; 1; sec\r\n;141;3 Bytes\r\n");
}

TEST(BlockChecks, InvalidMarkBlockStillRunsTheChecks) {
  Rig r;
  r.Block(0x90, 2);
  EXPECT_EQ(r.a.BlockErrors, 1);
  EXPECT_EQ(r.a.SecErrors, 1);
  EXPECT_EQ(r.Errors(), ";0;2 Bytes\r\n12:00:05 ; 1; sec\r\n");
}

TEST(BlockChecks, MarkSpacingTable) {
  struct Case {
    const char* legend;
    bool afterFirstScreen;
    int blocks;        // blocks between the two marks
    int32_t gpsStep;   // seconds the GPS clock advanced
    std::string lines; // error lines of the second mark
  } cases[] = {
      {"50 blocks after the first screen", true, 50, 1, "12:00:06 ; 1; sec\r\n12:00:06 ; 50; sps\r\n"},
      {"50 blocks during the first screen", false, 50, 1, "12:00:06 ; 1; sec\r\n12:00:06 ; 50; sps\r\n"},
      {"200 blocks and two GPS seconds after the first screen", true, 200, 2, ""},
      {"200 blocks during the first screen count one GPS second", false, 200, 2, "12:00:07 ; -1; sec\r\n"},
      {"100 blocks, one GPS second", true, 100, 1, ""},
      {"150 blocks: 1.5 rounds to 2", true, 150, 2, "12:00:07 ; 150; sps\r\n"},
      {"250 blocks: 2.5 rounds to 2", true, 250, 2, "12:00:07 ; 250; sps\r\n"},
      {"midnight wrap", true, 100, -43205, "00:00:00 ; -43206; sec\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    Rig r;
    r.Block(0x90);
    if (c.afterFirstScreen) r.LeaveFirstScreen();
    const std::string before = "12:00:05 ; 1; sec\r\n";  // the run's first mark
    r.Blocks(c.blocks - 1 - (c.afterFirstScreen ? 1 : 0));
    r.SetGpsTime(43205 + c.gpsStep);
    r.Block(0x90);
    EXPECT_EQ(r.Errors(), before + c.lines);
  }
}

TEST(BlockChecks, LastSecondOfTheFirstScreenDecidesThePlaceholderAndFlushes) {
  Rig r;
  r.a.SaveStream = true;
  ASSERT_TRUE(r.a.StreamFile.Create(r.dir.File(kWorkingRecordingName)));
  r.a.HeaderText = "P_AMPL=16;";
  std::copy(r.a.HeaderText.begin(), r.a.HeaderText.end(), r.a.HeaderBuffer.begin());
  r.a.HeaderLength = static_cast<int32_t>(r.a.HeaderText.size());
  AppendRaw(r.a, 0x80);
  r.a.ScreenSecond = r.a.ScreenSeconds - 1;
  r.Block(0x80);
  EXPECT_TRUE(r.a.GpsPlaceholder);
  EXPECT_TRUE(r.a.PlaceholderWritten);
  EXPECT_FALSE(r.a.FirstScreen);
  EXPECT_EQ(r.a.RawCount, 0);
  r.a.StreamFile.Close();
  const std::vector<uint8_t> file = ReadFileBytes(r.dir.File(kWorkingRecordingName));
  ASSERT_EQ(file.size(), 1u + 10u + 80u + 1u);
  EXPECT_EQ(file[0], 0xF0);
  EXPECT_EQ(file[11], 0xA0);
  EXPECT_EQ(file[88], 0xB0);
  EXPECT_EQ(file.back(), 0x80);
}

TEST(BlockChecks, FramesNeverLandOutsideTheScreenBuffer) {
  Rig r;
  r.a.ChannelCount = 3;
  r.a.BlockSize = 12;
  r.a.SampleIndex = kSampleSlots - 2;  // a frame of three would overrun
  r.Block(0x80, 12);
  EXPECT_EQ(r.a.SampleIndex, kSampleSlots - 2);
  EXPECT_EQ(r.a.GoodBlocks, 1);
  EXPECT_EQ(r.a.BlocksInSecond, 1);
}

}  // namespace
}  // namespace voxa::test
