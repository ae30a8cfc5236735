// The one-second plot, checked on the pixels of our own raster: bands,
// scales, clamping, second and minute lines, screen ends, resize, zoom
// changes and plot sizes too small to lay out.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <vector>

#include "analysis/display_controls.h"
#include "analysis/plot.h"
#include "analysis/raster.h"
#include "analysis_recording_host.h"
#include "stream/acquisition.h"

namespace voxa {
namespace {

using testing_support::RecordingHost;
using Signal = std::function<int32_t(int frame, int ch)>;  // frame within the screen

int32_t Flat(int, int) { return 0; }

// A run's state and a raster larger than the plot, so that drawing past the
// plot's edges would show.
struct PlotRig {
  PlotRig(int channels, int rate, int screenSeconds, int plotWidth, int plotHeight, int rasterWidth = 1900,
          int rasterHeight = 400)
      : raster(rasterWidth, rasterHeight) {
    InitStart(a, RunOptions{});
    a.ChannelCount = channels;
    a.SampleRate = rate;
    a.ScreenSeconds = screenSeconds;
    a.PlotWidth = plotWidth;
    a.PlotHeight = plotHeight;
  }
  // Stores one second as the block decoding does; markFrame carries the second mark.
  void Store(const Signal& signal, int markFrame = -1) {
    for (int i = 0; i < a.SampleRate && a.SampleIndex + a.ChannelCount <= kSampleSlots; ++i) {
      for (int ch = 0; ch < a.ChannelCount; ++ch) a.SampleBuffer[a.SampleIndex + ch] = signal(a.SampleIndex / a.ChannelCount, ch);
      a.SecondMarks[a.SampleIndex] = i == markFrame ? 1 : 0;
      a.SampleIndex += a.ChannelCount;
    }
  }
  // What the receive loop does with each completed second.
  void StoreAndPlot(const Signal& signal, int seconds = 1) {
    for (int s = 0; s < seconds; ++s) {
      Store(signal);
      if (a.NewScreen) PrepareScreen(a);
      PlotOneSecond(a, raster, host);
    }
  }
  Acquisition a;
  Raster raster;
  RecordingHost host;
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
    EXPECT_EQ(rig.a.HalfBand, c.halfBand);
    EXPECT_EQ(rig.a.Offset[0], c.offset);
    EXPECT_EQ(rig.a.Scale[0], c.scale);
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
  // {FirstScreen, ResetOffset} -> {Offset, Scale, LastY}. The last screen left
  // 5, 7, 40; the new first second has mean 700 and starts at 770.
  const std::vector<std::pair<std::array<bool, 2>, std::array<int32_t, 3>>> cases = {
      {{true, false}, {700, 1, 75 - 70}},   // the first screen measures everything
      {{false, true}, {700, 7, 75 - 10}},   // the operator's scale is kept
      {{false, false}, {5, 7, 40}},         // traces continue as they were
  };
  for (const auto& [flags, expected] : cases) {
    PlotRig rig(1, 100, 8, 400, 150);
    rig.a.FirstScreen = flags[0];
    rig.a.ResetOffset = flags[1];
    rig.a.Offset[0] = 5;
    rig.a.Scale[0] = 7;
    rig.a.LastY[0] = 40;
    rig.Store([](int f, int) { return f == 0 ? 770 : (f == 1 ? 630 : 700); });
    PrepareScreen(rig.a);
    EXPECT_EQ((std::array<int32_t, 3>{rig.a.Offset[0], rig.a.Scale[0], rig.a.LastY[0]}), expected) << flags[0] << flags[1];
  }
}

TEST(PlotTraces, ClampingFloorOfTheStepAndSecondMarks) {
  // 8 s at 100 sps on 400 pixels: 2 frames per pixel, second 1 at x 50 ... 100.
  PlotRig rig(1, 100, 8, 400, 150, 600, 300);
  rig.Store(Flat, 25);
  PrepareScreen(rig.a);
  PlotOneSecond(rig.a, rig.raster, rig.host);
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
  EXPECT_DOUBLE_EQ(floor.a.SamplesPerPixel, 0.2);
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
    rig.a.AutoScale = autoScale;
    rig.Store([](int f, int ch) { return ch == 0 ? (f == 3 ? 6000 : 0) : (ch == 1 && f == 0 ? -30 : 0); }, 25);
    PrepareScreen(rig.a);
    EXPECT_EQ(rig.a.LastY[1], 183 + 30);  // the first point always uses the channel's own scale
    PlotOneSecond(rig.a, rig.raster, rig.host);
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
  rig.a.FirstScreen = rig.a.ResetOffset = false;  // offset 0, scale 1 kept
  rig.a.LastY[0] = 45;
  rig.StoreAndPlot([](int, int) { return 30; }, 2);  // a trace 30 rows up, red at x 200, 400
  EXPECT_EQ(rig.raster.Pixel(300, 45), kBlack);
  EXPECT_EQ(rig.host.Text(Label::Noise1), " 19.09 bits | 114.93 dB");  // 200 x 30 counts: rms 30.08
  EXPECT_EQ(rig.a.SampleIndex, 0);
  EXPECT_TRUE(std::all_of(rig.a.SampleBuffer.begin(), rig.a.SampleBuffer.end(), [](int32_t v) { return v == 0; }));
  EXPECT_TRUE(std::all_of(rig.a.SecondMarks.begin(), rig.a.SecondMarks.end(), [](uint8_t v) { return v == 0; }));

  // The next screen's first second: old traces and lines cleared, traces
  // start again at x = 0.
  rig.StoreAndPlot(Flat);
  EXPECT_EQ(rig.raster.Pixel(200, 2), kRed);
  EXPECT_EQ(rig.raster.Pixel(400, 2), kWhite);  // red: only the second fill clears it
  for (int x = 201; x < 399; ++x) {
    for (int y = 1; y < 149; ++y) ASSERT_EQ(rig.raster.Pixel(x, y), y == 75 ? kLime : kWhite) << x << "," << y;
  }
  EXPECT_EQ(rig.a.ScreenSecond, 1);
  EXPECT_EQ(refreshes, 2);
  EXPECT_EQ(rig.host.repaints, 3);
}

TEST(PlotScreens, ResizeRedrawsTheFrameAndKeepsTheTracePosition) {
  PlotRig rig(1, 100, 8, 400, 150);
  rig.StoreAndPlot(Flat, 2);  // 2 frames per pixel: ends at x = 100
  ResizePlot(rig.a, 800 + 26, 150 + 221);
  rig.StoreAndPlot(Flat);  // 1 frame per pixel: frames 200 ... 299 at x 201 ... 300
  EXPECT_EQ(rig.a.ScreenSecond, 3);
  EXPECT_FALSE(rig.a.Resized);  // the next new screen starts at x = 0 again
  EXPECT_EQ(rig.raster.Pixel(99, 75), kLime);  // earlier traces cleared
  EXPECT_EQ(rig.raster.Pixel(100, 75), kBlack);
  EXPECT_EQ(rig.raster.Pixel(299, 75), kBlack);
  EXPECT_EQ(rig.raster.Pixel(300, 2), kRed);
  EXPECT_EQ(rig.raster.Pixel(799, 40), kBlue);  // frame at the new size
  EXPECT_EQ(rig.raster.Pixel(399, 40), kWhite);
}

TEST(PlotScreens, ZoomChangeClosesTheScreenOnTheFramesItHolds) {
  // Slots past the stored frames hold stale samples the checks must not see.
  PlotRig rig(1, 100, 8, 400, 150);
  std::fill(rig.a.SampleBuffer.begin(), rig.a.SampleBuffer.end(), 5000000);
  const Signal small = [](int f, int) { return f % 2 ? -100 : 100; };
  rig.StoreAndPlot(small, 2);
  ZoomOut(rig.a);
  rig.StoreAndPlot(small);
  EXPECT_EQ(rig.host.Text(Label::Volt1), "  3.05 \u00B5V");  // 200 counts at gain 16
  EXPECT_EQ(rig.a.ScreenSecond, 0);
  rig.StoreAndPlot(small);  // the new screen, 16 s on 400 pixels
  EXPECT_EQ(rig.a.CurrentX, 25);

  // 256 s x 100 sps x 3 channels fills all 76800 slots: after a zoom change
  // the closing second lies past them and is not drawn (nor read).
  PlotRig full(3, 100, 256, 1000, 369);
  full.StoreAndPlot([](int f, int ch) { return f % 7 * (ch + 1); }, 2);
  const int x = full.a.CurrentX;
  ZoomOut(full.a);
  full.StoreAndPlot(Flat);
  EXPECT_EQ(full.a.CurrentX, x);
  EXPECT_EQ(full.a.ScreenSecond, 0);
  EXPECT_EQ(full.host.Text(Label::Volt3), "  0.27 \u00B5V");  // 18 counts over the 300 stored frames
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
    EXPECT_GE(rig.a.HalfBand, 2);
    EXPECT_LE(rig.a.Scale[0], 100000);
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
}  // namespace voxa
