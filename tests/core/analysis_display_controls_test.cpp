// Zoom, amplitude and resize arithmetic.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "analysis/display_controls.h"
#include "analysis/plot.h"
#include "stream/acquisition.h"

namespace voxa {
namespace {

TEST(PlotZoom, StepsStayWithinOneAndTheBufferCapacity) {
  struct Case {
    const char* legend;
    void (*press)(Acquisition&);
    int32_t rate, channels, from;
    std::vector<int32_t> steps;
  };
  const std::vector<Case> cases = {
      {"in from 1", ZoomIn, 100, 3, 1, {1}},
      {"in from 3", ZoomIn, 100, 3, 3, {1}},
      {"in from 8", ZoomIn, 100, 3, 8, {4, 2, 1, 1}},
      {"out at 100 sps, 3 channels", ZoomOut, 100, 3, 8, {16, 32, 64, 128, 256, 256}},
      {"out at 50 sps, 1 channel", ZoomOut, 50, 1, 256, {512, 1024, 1536, 1536}},
      {"out at 800 sps, 1 channel", ZoomOut, 800, 1, 32, {64, 96, 96}},
      {"out from beyond a later rate's limit", ZoomOut, 800, 3, 1536, {32}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    Acquisition a;
    a.SampleRate = c.rate;
    a.ChannelCount = c.channels;
    a.ScreenSeconds = c.from;
    for (int32_t expected : c.steps) {
      a.NewScreen = false;
      c.press(a);
      EXPECT_EQ(a.ScreenSeconds, expected);
      EXPECT_EQ(a.ScreenSecond, expected);  // the next complete second closes the screen
      EXPECT_TRUE(a.NewScreen);
    }
  }
}

TEST(PlotAmplitude, ScalesMoveByFourWithinOneTo100000) {
  struct Case {
    void (*press)(Acquisition&);
    int32_t channels;
    std::array<int32_t, 3> from, to;
  };
  const std::vector<Case> cases = {
      {IncreaseAmplitude, 3, {2, 6, 10}, {1, 2, 2}},  // quarter, halves to even
      {IncreaseAmplitude, 3, {14, 1, 100000}, {4, 1, 25000}},
      {DecreaseAmplitude, 3, {30000, 50000, 100000}, {100000, 100000, 100000}},
      {DecreaseAmplitude, 1, {3, 40, 40}, {12, 40, 40}},  // only the channels in use
  };
  for (const Case& c : cases) {
    Acquisition a;
    a.ChannelCount = c.channels;
    a.Scale = c.from;
    c.press(a);
    EXPECT_EQ(a.Scale, c.to) << c.from[0];
  }
}

TEST(PlotResize, PlotAreaFollowsTheWindowWithSaneMinimums) {
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
      {"shrunk to nothing", 983, 0, 0, kMinPlotWidth, kMinPlotHeight},
      {"negative size", 983, -100, -100, kMinPlotWidth, kMinPlotHeight},
      {"the narrow loss would cross the minimum height", 983, 500, 241, 474, kMinPlotHeight},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    Acquisition a;
    a.PlotMinWidth = c.plotMinWidth;
    a.Resized = a.NewScreen = false;
    ResizePlot(a, c.width, c.height);
    EXPECT_EQ(a.PlotWidth, c.plotWidth);
    EXPECT_EQ(a.PlotHeight, c.plotHeight);
    EXPECT_TRUE(a.Resized && a.NewScreen);
  }
}

}  // namespace
}  // namespace voxa
