// The one-second plot, checked on the pixels of our own raster: bands, zero
// lines, scales, clamping, second and minute lines, resize, zoom changes and
// plot sizes too small to lay out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "analysis/display_controls.h"
#include "analysis/plot.h"
#include "analysis/raster.h"
#include "analysis_recording_host.h"
#include "stream/acquisition.h"

namespace voxa {
namespace {

using testing_support::RecordingHost;
// Sample of channel ch at frame f of the screen.
using Signal = std::function<int32_t(int f, int ch)>;

int32_t Flat(int, int) { return 0; }

// A run's state plus a raster larger than the plot, so that drawing past the
// plot's edges would show.
struct PlotRig {
  PlotRig(int channels, int rate, int screenSeconds, int plotWidth, int plotHeight, int rasterWidth = 1900,
          int rasterHeight = 600)
      : raster(rasterWidth, rasterHeight) {
    InitStart(a, RunOptions{});
    a.ChannelCount = channels;
    a.SampleRate = rate;
    a.ScreenSeconds = screenSeconds;
    a.PlotWidth = plotWidth;
    a.PlotHeight = plotHeight;
  }

  // Stores one second as the block decoding does; markFrame (within the
  // second) carries the second mark.
  void Store(const Signal& signal, int markFrame = -1) {
    const int channels = a.ChannelCount;
    for (int i = 0; i < a.SampleRate; ++i) {
      if (a.SampleIndex + channels > kSampleSlots) return;
      const int frame = a.SampleIndex / channels;
      for (int ch = 0; ch < channels; ++ch) a.SampleBuffer[a.SampleIndex + ch] = signal(frame, ch);
      a.SecondMarks[a.SampleIndex] = i == markFrame ? 1 : 0;
      a.SampleIndex += channels;
    }
  }

  // What the receive loop does when a second is complete.
  void Plot() {
    if (a.NewScreen) PrepareScreen(a);
    PlotOneSecond(a, raster, host);
  }

  void StoreAndPlot(const Signal& signal, int seconds = 1) {
    for (int s = 0; s < seconds; ++s) {
      Store(signal);
      Plot();
    }
  }

  Acquisition a;
  Raster raster;
  RecordingHost host;
};

TEST(PlotLayout, BandsZeroLinesAndFrame) {
  struct Case {
    const char* legend;
    int channels, plotHeight, halfBand;
    std::vector<int> baselines;
  };
  const std::vector<Case> cases = {
      {"one channel, one band", 1, 150, 75, {75}},
      {"three channels on a small screen", 3, 369, 61, {61, 183, 305}},
      {"three channels, odd height truncates", 3, 374, 62, {62, 186, 310}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    PlotRig rig(c.channels, 100, 8, 400, c.plotHeight);
    rig.StoreAndPlot(Flat);
    EXPECT_EQ(rig.a.HalfBand, c.halfBand);
    for (int y = 2; y < c.plotHeight - 1; ++y) {
      const bool isBaseline = std::find(c.baselines.begin(), c.baselines.end(), y) != c.baselines.end();
      // Right of the first second's trace only the zero lines are drawn.
      EXPECT_EQ(rig.raster.Pixel(398, y), isBaseline ? kLime : kWhite) << "row " << y;
      EXPECT_EQ(rig.raster.Pixel(400, y), kWhite) << "row " << y;
    }
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{
             {0, 0}, {200, 0}, {399, 0}, {399, 30}, {399, c.plotHeight - 1}, {200, c.plotHeight - 1}, {0, 30}}) {
      EXPECT_EQ(rig.raster.Pixel(x, y), kBlue) << x << "," << y;
    }
    EXPECT_EQ(rig.raster.Pixel(200, c.plotHeight), kWhite);
  }
}

TEST(PlotLayout, FirstScreenMeasuresOffsetsAndScales) {
  struct Case {
    const char* legend;
    Signal firstSecond;  // channel 0 only; channels 1 and 2 are flat
    int offset, scale;
  };
  // Three channels, plot 369 high: HalfBand 61, so the scale is peak / 60.
  const std::vector<Case> cases = {
      {"flat signal: peak deviation floor 50 gives scale 1", Flat, 0, 1},
      {"a 6000 spike: mean 60, peak 5940", [](int f, int) { return f == 7 ? 6000 : 0; }, 60, 99},
      {"mean 10.5 rounds to the even 10", [](int f, int) { return f % 2 == 0 ? 10 : 11; }, 10, 1},
      {"mean 11.5 rounds to the even 12", [](int f, int) { return f % 2 == 0 ? 11 : 12; }, 12, 1},
      {"negative mean", [](int, int) { return -123456; }, -123456, 1},
      {"a full 24-bit swing is capped at the largest scale", [](int f, int) { return f % 2 == 0 ? 8388607 : -8388608; },
       0, 100000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    PlotRig rig(3, 100, 8, 400, 369);
    rig.Store([&](int f, int ch) { return ch == 0 ? c.firstSecond(f, ch) : 0; });
    PrepareScreen(rig.a);
    EXPECT_EQ(rig.a.Offset[0], c.offset);
    EXPECT_EQ(rig.a.Scale[0], c.scale);
    EXPECT_EQ(rig.a.Scale[1], 1);
    EXPECT_EQ(rig.a.Offset[1], 0);
  }
}

TEST(PlotLayout, LaterScreensMeasureOffsetsOnlyWithResetOffset) {
  struct Case {
    const char* legend;
    bool firstScreen, resetOffset;
    int offset, scale, lastY;
  };
  // Previous screen left Offset 5, Scale 7, LastY 40; the new first second
  // sits at 700 with its first sample at 770. Baseline 75.
  const std::vector<Case> cases = {
      {"first screen measures everything", true, false, 700, 1, 75 - 70},
      {"reset offset keeps the operator's scale", false, true, 700, 7, 75 - 10},
      {"neither: traces continue as they were", false, false, 5, 7, 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    PlotRig rig(1, 100, 8, 400, 150);
    rig.a.FirstScreen = c.firstScreen;
    rig.a.ResetOffset = c.resetOffset;
    rig.a.Offset[0] = 5;
    rig.a.Scale[0] = 7;
    rig.a.LastY[0] = 40;
    rig.Store([](int f, int) { return f == 0 ? 770 : (f == 1 ? 630 : 700); });
    PrepareScreen(rig.a);
    EXPECT_EQ(rig.a.Offset[0], c.offset);
    EXPECT_EQ(rig.a.Scale[0], c.scale);
    EXPECT_EQ(rig.a.LastY[0], c.lastY);
  }
}

TEST(PlotLayout, HorizontalStepHasAFloorOfFivePixelsPerFrame) {
  // One second per screen at 50 sps on a wide plot: x = 5 ... 250.
  PlotRig rig(1, 50, 1, 993, 150);
  rig.StoreAndPlot(Flat);
  EXPECT_DOUBLE_EQ(rig.a.SamplesPerPixel, 0.2);
  EXPECT_EQ(rig.a.CurrentX, 250);
  EXPECT_EQ(rig.raster.Pixel(200, 75), kBlack);
  EXPECT_EQ(rig.raster.Pixel(250, 2), kRed);
  EXPECT_EQ(rig.raster.Pixel(260, 75), kLime);  // only the zero line beyond

  // A screen larger than the buffer is laid out as the buffer's share.
  PlotRig wide(3, 800, 64, 1000, 150);
  PrepareScreen(wide.a);
  EXPECT_EQ(wide.a.SamplesPerScreen, kSampleSlots / 3);
}

TEST(PlotTraces, PointsBeyondTheBandAreClampedToThePlot) {
  // Second 1 of an 8-second screen, 2 frames per pixel: x = 50 ... 100.
  PlotRig rig(1, 100, 8, 400, 150, 600, 300);
  rig.StoreAndPlot(Flat);
  rig.StoreAndPlot([](int f, int) { return f < 150 ? 1000000 : -1000000; });
  EXPECT_EQ(rig.raster.Pixel(60, 0), kBlack);    // far above: top row
  EXPECT_EQ(rig.raster.Pixel(90, 149), kBlack);  // far below: bottom row
  EXPECT_EQ(rig.a.LastY[0], 149);
  for (int y = 150; y < rig.raster.Height(); ++y) {
    for (int x = 0; x < rig.raster.Width(); ++x) ASSERT_EQ(rig.raster.Pixel(x, y), kWhite) << x << "," << y;
  }
}

TEST(PlotTraces, ChannelsShareTheFirstScaleUnlessAutoScale) {
  struct Case {
    const char* legend;
    bool autoScale;
    int y, otherY;
  };
  // Channel 0 gets scale 99 from its swing, channel 1 scale 1 from a flat
  // first second; in second 1 channel 1 sits 40 counts above its offset.
  const std::vector<Case> cases = {
      {"without AutoScale: 40 / 99 truncates to the zero line", false, 183, 143},
      {"with AutoScale: 40 / 1 is 40 rows up", true, 143, 183},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    PlotRig rig(3, 100, 8, 400, 369);
    rig.a.AutoScale = c.autoScale;
    rig.Store([](int f, int ch) {
      if (ch == 0) return f == 3 ? 6000 : 0;
      return ch == 1 && f == 0 ? -30 : 0;
    });
    PrepareScreen(rig.a);
    EXPECT_EQ(rig.a.Scale[0], 99);
    EXPECT_EQ(rig.a.Scale[1], 1);
    // The first pen position of a screen always uses the channel's own scale.
    EXPECT_EQ(rig.a.LastY[1], 183 + 30);
    PlotOneSecond(rig.a, rig.raster, rig.host);

    rig.Store([](int, int ch) { return ch == 1 ? 40 : 0; });
    rig.Plot();
    EXPECT_EQ(rig.raster.Pixel(75, c.y), kBlack);
    EXPECT_NE(rig.raster.Pixel(75, c.otherY), kBlack);
  }
}

TEST(PlotTraces, SecondMarkDrawsALimeLineAcrossThePlot) {
  // 2 frames per pixel: the mark at frame 25 lands at x = 13.
  PlotRig rig(3, 100, 8, 400, 369);
  rig.Store(Flat, 25);
  rig.Plot();
  for (int y : {1, 2, 100, 250, 367}) EXPECT_EQ(rig.raster.Pixel(13, y), kLime) << y;
  EXPECT_EQ(rig.raster.Pixel(13, 0), kBlue);
  EXPECT_EQ(rig.raster.Pixel(13, 368), kBlue);
  EXPECT_EQ(rig.raster.Pixel(12, 2), kWhite);
  EXPECT_EQ(rig.raster.Pixel(14, 61), kBlack);  // the trace goes on past the mark
  // Only the first channel draws the mark, so no trace point is painted over.
  for (int y : {61, 183, 305}) EXPECT_EQ(rig.raster.Pixel(13, y), kBlack) << y;
}

TEST(PlotTraces, SecondAndMinuteLinesFollowTheScreenLength) {
  struct Mark {
    int second, x;
    Colour colour;  // at row 2, away from the traces
  };
  struct Case {
    const char* legend;
    int rate, screenSeconds, plotWidth;
    std::vector<Mark> marks;
  };
  const std::vector<Case> cases = {
      // 100 frames over 400 pixels: the second ends at x = 400.
      {"1 second: a red line after the second", 100, 1, 400, {{0, 400, kRed}}},
      // 8 frames per pixel: second k ends at x = trunc(12.5 (k + 1)).
      {"64 seconds: red every ten, maroon at 0 and 60",
       100,
       64,
       800,
       {{0, 12, kMaroon},
        {1, 25, kWhite},
        {9, 125, kWhite},
        {10, 137, kRed},
        {20, 262, kRed},
        {50, 637, kRed},
        {59, 750, kWhite},
        {60, 762, kMaroon},
        {63, 800, kWhite}}},
      // A screen of exactly one minute has red lines only.
      {"60 seconds: red every ten, no maroon",
       100,
       60,
       750,
       {{0, 12, kRed}, {1, 25, kWhite}, {10, 137, kRed}, {59, 750, kWhite}}},
      // 16 frames per pixel: second k ends at x = trunc(3.125 (k + 1)).
      {"600 seconds: only maroon, every minute",
       50,
       600,
       1875,
       {{0, 3, kMaroon},
        {1, 6, kWhite},
        {10, 34, kWhite},
        {59, 187, kWhite},
        {60, 190, kMaroon},
        {120, 378, kMaroon},
        {590, 1846, kWhite},
        {599, 1875, kWhite}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    PlotRig rig(1, c.rate, c.screenSeconds, c.plotWidth, 150);
    rig.StoreAndPlot(Flat, c.screenSeconds);
    for (const Mark& m : c.marks) {
      EXPECT_EQ(rig.raster.Pixel(m.x, 2), m.colour) << "second " << m.second << " at x " << m.x;
      if (m.colour != kWhite) {
        EXPECT_EQ(rig.raster.Pixel(m.x, 148), m.colour) << "second " << m.second;
        EXPECT_NE(rig.raster.Pixel(m.x + 1, 2), m.colour) << "second " << m.second;
      }
    }
    EXPECT_TRUE(rig.a.NewScreen);
  }
}

TEST(PlotScreens, EveryScreenEndRunsTheChecksAndStartsClean) {
  PlotRig rig(1, 100, 2, 400, 150);
  int refreshes = 0;
  rig.raster.SetRefreshCallback([&] { ++refreshes; });
  // A later screen with offsets kept: offset 0, scale 1.
  rig.a.FirstScreen = false;
  rig.a.ResetOffset = false;
  rig.a.Offset[0] = 0;
  rig.a.Scale[0] = 1;
  rig.a.LastY[0] = 45;
  // Screen 1: a trace 30 rows above the zero line, red lines at x 200, 400.
  rig.StoreAndPlot([](int, int) { return 30; }, 2);
  EXPECT_EQ(rig.raster.Pixel(300, 45), kBlack);
  EXPECT_EQ(rig.raster.Pixel(400, 2), kRed);
  EXPECT_EQ(rig.host.Text(Label::Noise1), " 19.09 bits | 114.93 dB");  // 200 x 30 counts: rms 30.08
  EXPECT_EQ(rig.a.ScreenSecond, 0);
  EXPECT_EQ(rig.a.SampleIndex, 0);
  EXPECT_TRUE(std::all_of(rig.a.SampleBuffer.begin(), rig.a.SampleBuffer.end(), [](int32_t v) { return v == 0; }));
  EXPECT_TRUE(std::all_of(rig.a.SecondMarks.begin(), rig.a.SecondMarks.end(), [](uint8_t v) { return v == 0; }));

  // Screen 2, first second: the old trace and the old second-1 line are gone.
  rig.Store(Flat);
  rig.Plot();
  EXPECT_EQ(rig.raster.Pixel(300, 45), kWhite);
  EXPECT_EQ(rig.raster.Pixel(400, 2), kWhite);
  EXPECT_EQ(rig.raster.Pixel(200, 2), kRed);
  // The new screen's traces start again at x = 0, not where the last ended.
  for (int x = 201; x < 400; ++x) {
    for (int y = 1; y < 149; ++y) ASSERT_NE(rig.raster.Pixel(x, y), kBlack) << x << "," << y;
  }
  EXPECT_EQ(rig.raster.Pixel(100, 75), kBlack);
  EXPECT_EQ(rig.a.ScreenSecond, 1);
  EXPECT_EQ(refreshes, 2);
  EXPECT_EQ(rig.host.repaints, 3);
}

TEST(PlotScreens, ResizeRedrawsTheFrameAndKeepsTheTracePosition) {
  // 2 frames per pixel at width 400: two seconds end at x = 100.
  PlotRig rig(1, 100, 8, 400, 150);
  rig.StoreAndPlot(Flat, 2);
  ASSERT_EQ(rig.a.CurrentX, 100);
  ASSERT_EQ(rig.raster.Pixel(50, 75), kBlack);

  ResizePlot(rig.a, 800 + 26, 150 + 221);
  rig.StoreAndPlot(Flat);
  // At width 800 one frame per pixel: frames 200 ... 299 at x = 201 ... 300,
  // drawn on from x = 100 where the traces had got to.
  EXPECT_FALSE(rig.a.Resized);
  EXPECT_EQ(rig.a.ScreenSecond, 3);
  EXPECT_EQ(rig.a.CurrentX, 300);
  EXPECT_EQ(rig.raster.Pixel(50, 75), kLime);  // earlier traces cleared
  EXPECT_EQ(rig.raster.Pixel(99, 75), kLime);
  EXPECT_EQ(rig.raster.Pixel(100, 75), kBlack);
  EXPECT_EQ(rig.raster.Pixel(299, 75), kBlack);
  EXPECT_EQ(rig.raster.Pixel(300, 2), kRed);
  EXPECT_EQ(rig.raster.Pixel(799, 40), kBlue);  // frame at the new size
  EXPECT_EQ(rig.raster.Pixel(399, 40), kWhite);
}

TEST(PlotScreens, ZoomChangeClosesTheScreenOnTheFramesItHolds) {
  // Slots past the stored frames hold another screen's samples: the checks
  // of the screen closed early must not see them.
  PlotRig rig(1, 100, 8, 400, 150);
  std::fill(rig.a.SampleBuffer.begin(), rig.a.SampleBuffer.end(), 5000000);
  const Signal small = [](int f, int) { return f % 2 == 0 ? 100 : -100; };
  rig.StoreAndPlot(small, 2);
  ZoomOut(rig.a);
  ASSERT_EQ(rig.a.ScreenSeconds, 16);
  ASSERT_EQ(rig.a.ScreenSecond, 16);
  rig.StoreAndPlot(small);
  // 300 frames of +-100 about offset 0: 200 counts at gain 16.
  EXPECT_EQ(rig.host.Text(Label::Volt1), "  3.05 \u00B5V");
  EXPECT_EQ(rig.host.Text(Label::Noise1), " 17.36 bits | 104.48 dB");  // rms 100.17
  EXPECT_EQ(rig.a.ScreenSecond, 0);
  EXPECT_TRUE(rig.a.NewScreen);

  // The following second starts the new screen at x = 0 with the new zoom.
  rig.StoreAndPlot(small);
  EXPECT_EQ(rig.a.ScreenSecond, 1);
  EXPECT_EQ(rig.a.SamplesPerScreen, 1600);
  EXPECT_EQ(rig.a.CurrentX, 25);
}

TEST(PlotScreens, TheSecondPastAFullBufferIsNotRead) {
  // 256 s x 100 sps x 3 channels fills all 76800 slots; after a zoom change
  // the closing second would lie entirely past them.
  PlotRig rig(3, 100, 256, 1000, 369);
  rig.StoreAndPlot([](int f, int ch) { return (f % 7) * (ch + 1); }, 2);
  const int x = rig.a.CurrentX;
  ZoomOut(rig.a);
  ASSERT_EQ(rig.a.ScreenSeconds, 256);
  ASSERT_EQ(rig.a.ScreenSecond, 256);
  rig.StoreAndPlot(Flat);
  EXPECT_EQ(rig.a.CurrentX, x);
  EXPECT_EQ(rig.a.ScreenSecond, 0);
  EXPECT_TRUE(rig.a.NewScreen);
  EXPECT_NE(rig.host.Text(Label::Volt3), "<unset>");
}

TEST(PlotScreens, PlotsTooSmallToLayOutStayInsideTheMinimumArea) {
  struct Case {
    const char* legend;
    int channels, plotWidth, plotHeight, rasterWidth, rasterHeight;
  };
  const std::vector<Case> cases = {
      {"zero plot", 3, 0, 0, 300, 200},
      {"negative plot", 3, -40, -25, 300, 200},
      {"one pixel", 1, 1, 1, 300, 200},
      {"three rows for three channels", 3, 5, 3, 300, 200},
      {"plot larger than a tiny raster", 3, 400, 300, 3, 3},
      {"empty raster", 1, 400, 300, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    PlotRig rig(c.channels, 50, 2, c.plotWidth, c.plotHeight, c.rasterWidth, c.rasterHeight);
    rig.StoreAndPlot([](int f, int ch) { return (f % 5 - 2) * 300000 * (ch + 1); }, 5);
    EXPECT_GE(rig.a.HalfBand, 2);
    EXPECT_GE(rig.a.SamplesPerPixel, 0.2);
    for (int ch = 0; ch < c.channels; ++ch) {
      EXPECT_GE(rig.a.Scale[ch], 1);
      EXPECT_LE(rig.a.Scale[ch], 100000);
    }
    const int width = std::max(c.plotWidth, kMinPlotWidth);
    const int height = std::max(c.plotHeight, kMinPlotHeight);
    for (int y = 0; y < rig.raster.Height(); ++y) {
      for (int x = 0; x < rig.raster.Width(); ++x) {
        // Below the plot only the first segment of a screen may show: it
        // starts at the unlimited first pen position.
        if (x > width) {
          ASSERT_EQ(rig.raster.Pixel(x, y), kWhite) << x << "," << y;
        } else if (y >= height) {
          const Colour pixel = rig.raster.Pixel(x, y);
          ASSERT_TRUE(pixel == kWhite || pixel == kBlack) << x << "," << y;
        }
      }
    }
  }
}

}  // namespace
}  // namespace voxa
