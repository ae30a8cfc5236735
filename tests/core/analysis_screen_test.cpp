// The operator's zoom, amplitude and plot-size choices on the screen, and
// frames that never land outside its buffer.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "analysis/raster.h"
#include "analysis/screen.h"
#include "core_test_support.h"

namespace voxa::test {
namespace {

TEST(ScreenZoom, StepsStayWithinOneAndTheBufferCapacity) {
  struct Case {
    const char* legend;
    bool in;
    int32_t rate, channels, from;
    std::vector<int32_t> steps;
  };
  const std::vector<Case> cases = {
      {"in from 1", true, 100, 3, 1, {1}},
      {"in from 3", true, 100, 3, 3, {1}},
      {"in from 8", true, 100, 3, 8, {4, 2, 1, 1}},
      {"out at 100 sps, 3 channels", false, 100, 3, 8, {16, 32, 64, 128, 256, 256}},
      {"out at 50 sps, 1 channel", false, 50, 1, 256, {512, 1024, 1536, 1536}},
      {"out at 800 sps, 1 channel", false, 800, 1, 32, {64, 96, 96}},
      {"out from beyond a later rate's limit", false, 800, 3, 1536, {32}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    Screen screen;
    screen.SetScreenSeconds(c.from);
    for (int32_t expected : c.steps) {
      c.in ? screen.ZoomIn() : screen.ZoomOut({c.rate, c.channels});
      EXPECT_EQ(screen.ScreenSeconds(), expected);
      EXPECT_EQ(screen.ScreenSecond(), expected);  // the next complete second closes the screen
    }
  }
}

TEST(ScreenAmplitude, ScalesMoveByFourWithinOneTo100000) {
  struct Case {
    bool increase;
    int32_t channels;
    std::array<int32_t, 3> from, to;
  };
  const std::vector<Case> cases = {
      {true, 3, {2, 6, 10}, {1, 2, 2}},  // quarter, halves to even
      {true, 3, {14, 1, 100000}, {4, 1, 25000}},
      {false, 3, {30000, 50000, 100000}, {100000, 100000, 100000}},
      {false, 1, {3, 40, 40}, {12, 40, 40}},  // only the channels in use
  };
  for (const Case& c : cases) {
    Screen screen;
    screen.SetScale(c.from);
    c.increase ? screen.IncreaseAmplitude(c.channels) : screen.DecreaseAmplitude(c.channels);
    EXPECT_EQ(screen.Scale(), c.to) << c.from[0];
  }
}

TEST(ScreenResize, PlotAreaNeverBelowTheMinimumAndANewScreenIsDue) {
  struct Case {
    const char* legend;
    int32_t width, height, plotWidth, plotHeight;
  };
  const std::vector<Case> cases = {
      {"design size", 993, 374, 993, 374},
      {"shrunk to nothing", 0, 0, kMinPlotWidth, kMinPlotHeight},
      {"negative size", -100, -100, kMinPlotWidth, kMinPlotHeight},
      {"only too low", 474, 5, 474, kMinPlotHeight},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    Screen screen;
    Raster raster(50, 50);
    const StreamFormat format{50, 1};
    screen.StartRun(false, true, format);
    screen.PlotSecond(raster, format, 16);
    ASSERT_FALSE(screen.NewScreenDue());
    screen.ResizePlot(c.width, c.height);
    EXPECT_EQ(screen.PlotWidth(), c.plotWidth);
    EXPECT_EQ(screen.PlotHeight(), c.plotHeight);
    EXPECT_TRUE(screen.NewScreenDue());
  }
}

TEST(ScreenStorage, FramesNeverLandOutsideTheBuffer) {
  ByteVec bytes;
  AppendBlock(bytes, kMarkerSecondBlock, {1, -2, 3});
  const SampleBlock block{kMarkerSecondBlock, Bytes(bytes).subspan(1), true, Bytes(bytes)};
  Screen screen;
  screen.StartRun(false, true, {100, 3});
  screen.StoreFrame(block, 3);
  EXPECT_EQ(screen.SampleIndex(), 3);
  EXPECT_EQ(std::vector<int32_t>(screen.Samples().begin(), screen.Samples().begin() + 3),
            (std::vector<int32_t>{1, -2, 3}));
  EXPECT_EQ(screen.MutableSecondMarks()[0], 1);
  screen.SetSampleIndex(kScreenSlots - 2);  // a frame of three would overrun
  screen.StoreFrame(block, 3);
  EXPECT_EQ(screen.SampleIndex(), kScreenSlots - 2);
  // Still counted for the second, stored or not.
  EXPECT_TRUE(screen.SecondComplete(2));
  EXPECT_FALSE(screen.SecondComplete(3));
}

}  // namespace
}  // namespace voxa::test
