// Zoom, amplitude and resize arithmetic.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "analysis/display_controls.h"
#include "analysis/plot.h"
#include "stream/acquisition.h"

namespace voxa {
namespace {

TEST(Zoom, InHalvesDownToOneAndClosesTheScreen) {
  struct Case {
    const char* legend;
    int32_t from, to;
  };
  const std::vector<Case> cases = {
      {"1 stays 1", 1, 1},
      {"3 truncates to 1", 3, 1},
      {"8 gives 4", 8, 4},
      {"an odd limit halves downwards", 1537, 768},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    Acquisition a;
    a.ScreenSeconds = c.from;
    a.ScreenSecond = 0;
    a.NewScreen = false;
    ZoomIn(a);
    EXPECT_EQ(a.ScreenSeconds, c.to);
    EXPECT_EQ(a.ScreenSecond, c.to);  // the next complete second closes the screen
    EXPECT_TRUE(a.NewScreen);
  }
}

TEST(Zoom, OutDoublesUpToTheBufferCapacity) {
  struct Case {
    const char* legend;
    int32_t rate, channels, from;
    std::vector<int32_t> steps;
  };
  const std::vector<Case> cases = {
      {"100 sps, 3 channels", 100, 3, 8, {16, 32, 64, 128, 256, 256}},
      {"50 sps, 1 channel", 50, 1, 8, {16, 32, 64, 128, 256, 512, 1024, 1536, 1536}},
      {"800 sps, 1 channel", 800, 1, 32, {64, 96, 96}},
      {"a zoom beyond a later rate's limit comes back to it", 800, 3, 1536, {32}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    Acquisition a;
    a.SampleRate = c.rate;
    a.ChannelCount = c.channels;
    a.ScreenSeconds = c.from;
    for (int32_t expected : c.steps) {
      a.NewScreen = false;
      ZoomOut(a);
      EXPECT_EQ(a.ScreenSeconds, expected);
      EXPECT_EQ(a.ScreenSecond, expected);
      EXPECT_TRUE(a.NewScreen);
    }
  }
}

TEST(Amplitude, ScalesMoveByFourWithinOneTo100000) {
  struct Case {
    const char* legend;
    void (*press)(Acquisition&);
    std::array<int32_t, 3> from, to;
  };
  const std::vector<Case> cases = {
      {"up: quarter rounded half to even", IncreaseAmplitude, {2, 6, 10}, {1, 2, 2}},
      {"up: 14 gives 4, 1 stays 1, 100000 gives 25000", IncreaseAmplitude, {14, 1, 100000}, {4, 1, 25000}},
      {"down: fourfold", DecreaseAmplitude, {1, 3, 25000}, {4, 12, 100000}},
      {"down: capped at 100000", DecreaseAmplitude, {30000, 50000, 100000}, {100000, 100000, 100000}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    Acquisition a;
    a.ChannelCount = 3;
    a.Scale = c.from;
    c.press(a);
    EXPECT_EQ(a.Scale, c.to);
  }

  // Only the channels in use change.
  Acquisition one;
  one.ChannelCount = 1;
  one.Scale = {40, 40, 40};
  DecreaseAmplitude(one);
  EXPECT_EQ(one.Scale, (std::array<int32_t, 3>{160, 40, 40}));
  IncreaseAmplitude(one);
  IncreaseAmplitude(one);
  EXPECT_EQ(one.Scale, (std::array<int32_t, 3>{10, 40, 40}));

  // A second press from 30000 stays at the cap.
  Acquisition capped;
  capped.Scale = {30000, 30000, 30000};
  DecreaseAmplitude(capped);
  DecreaseAmplitude(capped);
  EXPECT_EQ(capped.Scale[0], 100000);
}

TEST(Resize, PlotAreaFollowsTheWindowWithSaneMinimums) {
  struct Case {
    const char* legend;
    int32_t plotMinWidth;
    int width, height;
    int32_t plotWidth, plotHeight;
  };
  const std::vector<Case> cases = {
      {"design size", 983, 1019, 595, 993, 374},
      {"before the start-up values: no narrow loss", 0, 500, 595, 474, 374},
      {"narrower than the start-up width minus 10", 983, 926, 595, 900, 359},
      {"exactly at the minimum width", 983, 1009, 595, 983, 374},
      {"a large screen", 983, 1926, 1080, 1900, 859},
      {"shrunk to nothing", 983, 0, 0, kMinPlotWidth, kMinPlotHeight},
      {"negative size", 983, -100, -100, kMinPlotWidth, kMinPlotHeight},
      {"the narrow loss would take the height below the minimum", 983, 500, 221 + 20, 474, kMinPlotHeight},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    Acquisition a;
    a.PlotMinWidth = c.plotMinWidth;
    a.Resized = false;
    a.NewScreen = false;
    ResizePlot(a, c.width, c.height);
    EXPECT_EQ(a.PlotWidth, c.plotWidth);
    EXPECT_EQ(a.PlotHeight, c.plotHeight);
    EXPECT_TRUE(a.Resized);
    EXPECT_TRUE(a.NewScreen);
  }
}

}  // namespace
}  // namespace voxa
