// The one-second plot, checked on the pixels of our own raster: bands,
// scales, clamping, second and minute lines, screen ends, resize, zoom
// changes and plot sizes too small to lay out.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "analysis/raster.h"
#include "analysis/screen.h"
#include "core_test_support.h"

namespace voxa::test {
namespace {

using Signal = std::function<int32_t(int frame, int ch)>;  // frame within the screen

int32_t Flat(int, int) { return 0; }

// A screen and a raster larger than the plot, so that drawing past the
// plot's edges would show.
struct PlotRig {
  PlotRig(int channels, int rate, int screenSeconds, int plotWidth, int plotHeight, int rasterWidth = 1900,
          int rasterHeight = 400)
      : format{rate, channels}, raster(rasterWidth, rasterHeight) {
    screen.StartRun(false, true, format);
    screen.SetScreenSeconds(screenSeconds);
    screen.ResizePlot(plotWidth, plotHeight);
  }
  // Stores one second as sample blocks; markFrame carries the second mark.
  void Store(const Signal& signal, int markFrame = -1) {
    for (int i = 0; i < format.rate; ++i) {
      const int frame = screen.SampleIndex() / format.channels;
      ByteVec bytes{static_cast<uint8_t>(i == markFrame ? kMarkerSecondBlock : kMarkerBlock)};
      for (int ch = 0; ch < format.channels; ++ch) AppendSample(bytes, signal(frame, ch));
      screen.StoreFrame({bytes[0], Bytes(bytes).subspan(1), true, Bytes(bytes)}, format.channels);
    }
  }
  std::optional<ScreenResults> Plot() { return screen.PlotSecond(raster, format, 16); }
  // What the pipeline does with each completed second.
  std::optional<ScreenResults> StoreAndPlot(const Signal& signal, int seconds = 1) {
    std::optional<ScreenResults> results;
    for (int s = 0; s < seconds; ++s) {
      Store(signal);
      results = Plot();
    }
    return results;
  }
  StreamFormat format;
  Screen screen;
  Raster raster;
};

TEST(PlotLayout, FirstScreenBandsOffsetsAndScales) {
  struct Case {
    const char* legend;
    int channels, plotHeight;
    Signal first;  // channel 0's first second; the others are flat
    int halfBand, offset, scale;
  };
  const std::vector<Case> cases = {
      {"one channel, one band", 1, 150, Flat, 75, 0, 1},
      {"flat signal: deviation floor 50 / 60 gives scale 1", 3, 369, Flat, 61, 0, 1},
      {"a 6000 spike: mean 60, peak 5940 / 60", 3, 369, [](int f, int) { return f == 7 ? 6000 : 0; }, 61, 60, 99},
      {"mean 10.5 rounds to even", 3, 374, [](int f, int) { return 10 + f % 2; }, 62, 10, 1},
      {"mean 11.5 rounds to even", 3, 374, [](int f, int) { return 11 + f % 2; }, 62, 12, 1},
      {"a full 24-bit swing is capped at 100000", 3, 369, [](int f, int) { return f % 2 ? -8388608 : 8388607; }, 61, 0,
       100000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    PlotRig rig(c.channels, 100, 8, 400, c.plotHeight);
    rig.StoreAndPlot([&](int f, int ch) { return ch == 0 ? c.first(f, ch) : 0; });
    EXPECT_EQ(rig.screen.Offset()[0], c.offset);
    EXPECT_EQ(rig.screen.Scale()[0], c.scale);
    // Right of the first second only the frame and one zero line per band.
    for (int y = 0; y < c.plotHeight; ++y) {
      const bool zeroLine = y % (2 * c.halfBand) == c.halfBand && y < 2 * c.halfBand * c.channels;
      const bool edge = y == 0 || y == c.plotHeight - 1;
      EXPECT_EQ(rig.raster.Pixel(398, y), edge ? kBlue : zeroLine ? kLime : kWhite) << y;
      EXPECT_EQ(rig.raster.Pixel(399, y), zeroLine ? kLime : kBlue) << y;
      EXPECT_EQ(rig.raster.Pixel(400, y), kWhite) << y;
    }
  }
}

TEST(PlotLayout, LaterScreensMeasureOffsetsOnlyWithResetOffset) {
  // The first screen leaves offset 5, scale 550 / 74 = 7 and its last point
  // at row 75 - (250 - 5) / 7 = 40. The next screen's first second has mean
  // 700 and starts at 770. {FirstScreen, ResetOffset} -> offset, scale, the
  // row the trace starts from, and the row next to it outside the trace.
  struct Case {
    bool firstScreen, resetOffset;
    int32_t offset, scale, startY, outsideY;
  };
  const std::vector<Case> cases = {
      {true, false, 700, 1, 75 - 70, 4},    // the first screen measures everything
      {false, true, 700, 7, 75 - 10, 64},   // the operator's scale is kept
      {false, false, 5, 7, 40, 41},         // traces continue as they were
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.firstScreen << c.resetOffset);
    PlotRig rig(1, 100, 8, 400, 150);
    rig.StoreAndPlot([](int f, int) { return f == 0 ? 555 : f == 1 ? -545 : f < 100 ? 5 : 250; }, 8);
    ASSERT_EQ(rig.screen.Offset()[0], 5);
    ASSERT_EQ(rig.screen.Scale()[0], 7);
    rig.screen.SetFirstScreen(c.firstScreen);
    rig.screen.SetResetOffset(c.resetOffset);
    rig.StoreAndPlot([](int f, int) { return f == 0 ? 770 : (f == 1 ? 630 : 700); });
    EXPECT_EQ(rig.screen.Offset()[0], c.offset);
    EXPECT_EQ(rig.screen.Scale()[0], c.scale);
    EXPECT_EQ(rig.raster.Pixel(0, c.startY), kBlack);
    EXPECT_NE(rig.raster.Pixel(0, c.outsideY), kBlack);
  }
}

TEST(PlotTraces, ClampingFloorOfTheStepAndSecondMarks) {
  // 8 s at 100 sps on 400 pixels: 2 frames per pixel, second 1 at x 50 ... 100.
  PlotRig rig(1, 100, 8, 400, 150, 600, 300);
  rig.Store(Flat, 25);
  rig.Plot();
  rig.StoreAndPlot([](int f, int) { return f < 150 ? 1000000 : -1000000; });
  EXPECT_EQ(rig.raster.Pixel(60, 0), kBlack);    // far above: top row
  EXPECT_EQ(rig.raster.Pixel(90, 149), kBlack);  // far below: bottom row
  for (int y = 150; y < 300; ++y) ASSERT_EQ(rig.raster.Pixel(90, y), kWhite);
  // The mark of frame 25 at x = 13: lime across the plot, trace painted on top.
  for (int y : {1, 74, 76, 148}) EXPECT_EQ(rig.raster.Pixel(13, y), kLime) << y;
  EXPECT_EQ(rig.raster.Pixel(13, 75), kBlack);
  EXPECT_EQ(rig.raster.Pixel(13, 149), kBlue);

  // One second per screen at 50 sps on a wide plot: 5 pixels per frame at
  // most, so the second spans x = 5 ... 250 only.
  PlotRig floor(1, 50, 1, 993, 150);
  floor.StoreAndPlot(Flat);
  EXPECT_EQ(floor.raster.Pixel(249, 75), kBlack);
  EXPECT_EQ(floor.raster.Pixel(250, 2), kRed);
  EXPECT_EQ(floor.raster.Pixel(251, 75), kLime);
}

TEST(PlotTraces, ChannelsShareTheFirstScaleUnlessAutoScale) {
  // Channel 0 gets scale 99 from its spike, channel 1 scale 1; in second 1
  // channel 1 sits 40 counts above its offset.
  for (const bool autoScale : {false, true}) {
    SCOPED_TRACE(autoScale);
    PlotRig rig(3, 100, 8, 400, 369);
    rig.screen.SetAutoScale(autoScale);
    rig.Store([](int f, int ch) { return ch == 0 ? (f == 3 ? 6000 : 0) : (ch == 1 && f == 0 ? -30 : 0); }, 25);
    rig.Plot();
    // The first point always uses the channel's own scale: 30 rows below 183.
    EXPECT_EQ(rig.raster.Pixel(0, 183 + 30), kBlack);
    EXPECT_NE(rig.raster.Pixel(0, 183 + 31), kBlack);
    rig.StoreAndPlot([](int, int ch) { return ch == 1 ? 40 : 0; });
    const int y = autoScale ? 183 - 40 : 183;  // 40 / 99 truncates to 0
    EXPECT_EQ(rig.raster.Pixel(75, y), kBlack);
    EXPECT_NE(rig.raster.Pixel(75, autoScale ? 183 : 143), kBlack);
    // The mark at x = 13 is drawn with channel 0 only: later traces stay on top.
    EXPECT_EQ(rig.raster.Pixel(13, 100), kLime);
    EXPECT_EQ(rig.raster.Pixel(13, 61), kBlack);
  }
}

TEST(PlotTraces, SecondAndMinuteLinesFollowTheScreenLength) {
  struct Line {
    int second, x;
    Colour colour;  // at rows 2 and 148, away from the trace
  };
  struct Case {
    const char* legend;
    int rate, screenSeconds, plotWidth;
    std::vector<Line> lines;
  };
  const std::vector<Case> cases = {
      {"1 second: red after it", 100, 1, 400, {{0, 400, kRed}}},
      // 8 frames per pixel: second k ends at x = trunc(12.5 (k + 1)).
      {"60 seconds: red every ten, no maroon", 100, 60, 750, {{0, 12, kRed}, {1, 25, kWhite}, {10, 137, kRed}}},
      {"64 seconds: red every ten, maroon at 0 and 60", 100, 64, 800,
       {{0, 12, kMaroon}, {9, 125, kWhite}, {20, 262, kRed}, {59, 750, kWhite}, {60, 762, kMaroon}, {63, 800, kWhite}}},
      // 16 frames per pixel: second k ends at x = trunc(3.125 (k + 1)).
      {"600 seconds: maroon every minute only", 50, 600, 1875,
       {{0, 3, kMaroon}, {10, 34, kWhite}, {60, 190, kMaroon}, {120, 378, kMaroon}, {590, 1846, kWhite}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    PlotRig rig(1, c.rate, c.screenSeconds, c.plotWidth, 150);
    rig.StoreAndPlot(Flat, c.screenSeconds);
    for (const Line& line : c.lines) {
      EXPECT_EQ(rig.raster.Pixel(line.x, 2), line.colour) << "second " << line.second;
      EXPECT_EQ(rig.raster.Pixel(line.x, 148), line.colour) << "second " << line.second;
    }
  }
}

TEST(PlotScreens, EveryScreenEndRunsTheChecksAndStartsClean) {
  PlotRig rig(1, 100, 2, 400, 150);
  int refreshes = 0;
  rig.raster.SetRefreshCallback([&] { ++refreshes; });
  rig.screen.SetFirstScreen(false);  // offset 0, scale 1 kept
  rig.screen.SetResetOffset(false);
  EXPECT_FALSE(rig.StoreAndPlot([](int, int) { return 30; }));  // a trace 30 rows up, red at x 200
  const std::optional<ScreenResults> results = rig.StoreAndPlot([](int, int) { return 30; });  // ... and 400
  EXPECT_EQ(rig.raster.Pixel(300, 45), kBlack);
  ASSERT_TRUE(results);
  EXPECT_EQ(results->dynamicRange[0], " 19.09 bits | 114.93 dB");  // 200 x 30 counts: rms 30.08
  EXPECT_EQ(rig.screen.SampleIndex(), 0);
  EXPECT_TRUE(std::ranges::all_of(rig.screen.Samples(), [](int32_t v) { return v == 0; }));
  EXPECT_TRUE(std::ranges::all_of(rig.screen.MutableSecondMarks(), [](uint8_t v) { return v == 0; }));

  // The next screen's first second: old traces and lines cleared, traces
  // start again at x = 0.
  rig.StoreAndPlot(Flat);
  EXPECT_EQ(rig.raster.Pixel(200, 2), kRed);
  EXPECT_EQ(rig.raster.Pixel(400, 2), kWhite);  // red: only the second fill clears it
  for (int x = 201; x < 399; ++x) {
    for (int y = 1; y < 149; ++y) ASSERT_EQ(rig.raster.Pixel(x, y), y == 75 ? kLime : kWhite) << x << "," << y;
  }
  EXPECT_EQ(rig.screen.ScreenSecond(), 1);
  EXPECT_EQ(refreshes, 2);
}

TEST(PlotScreens, ResizeRedrawsTheFrameAndKeepsTheTracePosition) {
  PlotRig rig(1, 100, 8, 400, 150);
  rig.StoreAndPlot(Flat, 2);  // 2 frames per pixel: ends at x = 100
  rig.screen.ResizePlot(800, 150);
  rig.StoreAndPlot(Flat);  // 1 frame per pixel: frames 200 ... 299 at x 201 ... 300
  EXPECT_EQ(rig.screen.ScreenSecond(), 3);
  EXPECT_EQ(rig.raster.Pixel(99, 75), kLime);  // earlier traces cleared
  EXPECT_EQ(rig.raster.Pixel(100, 75), kBlack);
  EXPECT_EQ(rig.raster.Pixel(299, 75), kBlack);
  EXPECT_EQ(rig.raster.Pixel(300, 2), kRed);
  EXPECT_EQ(rig.raster.Pixel(799, 40), kBlue);  // frame at the new size
  EXPECT_EQ(rig.raster.Pixel(399, 40), kWhite);
  // The next screen starts at x = 0 again, not where the resized one ended.
  rig.StoreAndPlot(Flat, 6);
  EXPECT_EQ(rig.raster.Pixel(50, 75), kBlack);
  EXPECT_EQ(rig.raster.Pixel(400, 75), kLime);
}

TEST(PlotScreens, ZoomChangeClosesTheScreenOnTheFramesItHolds) {
  // Slots past the stored frames hold stale samples the checks must not see.
  PlotRig rig(1, 100, 8, 400, 150);
  std::ranges::fill(rig.screen.MutableSamples(), 5000000);
  const Signal small = [](int f, int) { return f % 2 ? -100 : 100; };
  rig.StoreAndPlot(small, 2);
  ASSERT_FALSE(rig.screen.NewScreenDue());
  rig.screen.ZoomOut(rig.format);
  EXPECT_TRUE(rig.screen.NewScreenDue());
  const std::optional<ScreenResults> closed = rig.StoreAndPlot(small);
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->peakToPeak[0], "  3.05 \u00B5V");  // 200 counts at gain 16
  EXPECT_EQ(rig.screen.ScreenSecond(), 0);
  rig.StoreAndPlot(small);  // the new screen, 16 s on 400 pixels: 4 frames per pixel
  EXPECT_EQ(rig.raster.Pixel(25, 2), kRed);
  EXPECT_EQ(rig.raster.Pixel(26, 2), kWhite);

  // 256 s x 100 sps x 3 channels fills all 76800 slots: after a zoom change
  // the closing second lies past them and is not drawn (nor read).
  PlotRig full(3, 100, 256, 1000, 369);
  full.StoreAndPlot([](int f, int ch) { return f % 7 * (ch + 1); }, 2);
  full.screen.ZoomOut(full.format);
  const std::optional<ScreenResults> results = full.StoreAndPlot(Flat);
  EXPECT_EQ(full.screen.ScreenSecond(), 0);
  ASSERT_TRUE(results);
  EXPECT_EQ(results->peakToPeak[2], "  0.27 \u00B5V");  // 18 counts over the 300 stored frames
  for (int x = 0; x < 1000; ++x) {
    for (int y = 0; y < 369; ++y) ASSERT_NE(full.raster.Pixel(x, y), kBlack) << x << "," << y;
  }
}

TEST(PlotScreens, PlotsTooSmallToLayOutStayInsideTheMinimumArea) {
  struct Case {
    const char* legend;
    int channels, plotWidth, plotHeight, rasterWidth, rasterHeight;
  };
  const std::vector<Case> cases = {
      {"zero plot", 3, 0, 0, 300, 200},          {"negative plot", 3, -40, -25, 300, 200},
      {"one pixel", 1, 1, 1, 300, 200},          {"plot larger than a tiny raster", 3, 400, 300, 3, 3},
      {"empty raster", 1, 400, 300, 0, 0},       {"negative raster", 1, 400, 300, -5, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    PlotRig rig(c.channels, 50, 2, c.plotWidth, c.plotHeight, c.rasterWidth, c.rasterHeight);
    rig.StoreAndPlot([](int f, int ch) { return (f % 5 - 2) * 300000 * (ch + 1); }, 5);
    EXPECT_LE(rig.screen.Scale()[0], kMaxScale);
    for (int y = 0; y < rig.raster.Height(); ++y) {
      // Only a screen's first segment, from its unlimited first point, may
      // reach below the plot.
      for (int x = 0; x < rig.raster.Width(); ++x) {
        const Colour pixel = rig.raster.Pixel(x, y);
        const bool rightOfPlot = x > std::max(c.plotWidth, kMinPlotWidth);
        const bool belowPlot = y >= std::max(c.plotHeight, kMinPlotHeight);
        ASSERT_TRUE(pixel == kWhite || (!rightOfPlot && (!belowPlot || pixel == kBlack))) << x << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace voxa::test
