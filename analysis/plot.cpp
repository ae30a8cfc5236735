// The one-second plot and the high-pass filter.
//
// A screen shows ScreenSeconds seconds, one band per channel. Each second is
// drawn once, right after it is complete, continuing the traces from where
// the previous second ended; a screen is never redrawn from the buffer.
#include "analysis/plot.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/checks.h"
#include "analysis/screen_frames.h"
#include "stream/number_text.h"

namespace voxa {

namespace {

// One frame never takes more than 5 pixels: a short screen at a low rate
// stays compact on the left instead of stretching a few frames wide.
constexpr double kMinSamplesPerPixel = 0.2;
// A quiet first second is not blown up to fill its band with a few counts.
constexpr int64_t kMinPeakDeviation = 50;
// The clearing flood fills start here, inside the frame and clear of its edge.
constexpr int kClearSeedX = 10;
constexpr int kClearSeedY = 10;

int32_t PlotWidthInUse(const Acquisition& a) { return std::max(a.PlotWidth, kMinPlotWidth); }
int32_t PlotHeightInUse(const Acquisition& a) { return std::max(a.PlotHeight, kMinPlotHeight); }
int32_t RateInUse(const Acquisition& a) { return std::max(a.SampleRate, int32_t{1}); }

int32_t ClampToInt32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// Frames of the screen's first second that PrepareScreen may read.
int64_t FirstSecondFrames(const Acquisition& a) {
  return std::min<int64_t>(RateInUse(a), screen_frames::Capacity(a));
}

// Offset[ch] := mean of the channel's first second, rounded half to even.
void MeasureOffset(Acquisition& a, int ch, int64_t frames) {
  const int32_t channels = screen_frames::Channels(a);
  double sum = 0.0;
  for (int64_t f = 0; f < frames; ++f) sum += a.SampleBuffer[static_cast<size_t>(f * channels + ch)];
  a.Offset[ch] = ClampToInt32(RoundHalfEven(sum / static_cast<double>(frames)));
}

// The first pen position of the channel: its first sample at its own scale,
// deliberately not limited to the plot (the surface clips).
void PlaceFirstPoint(Acquisition& a, int ch) {
  const int64_t deviation = static_cast<int64_t>(a.SampleBuffer[static_cast<size_t>(ch)]) - a.Offset[ch];
  const double scaled = static_cast<double>(deviation) / std::max(a.Scale[ch], int32_t{1});
  a.LastY[ch] = ClampToInt32(static_cast<int64_t>(a.Baseline[ch]) - RoundHalfEven(scaled));
}

// Scale[ch]: counts per pixel so that the first second's largest deviation
// fits the half band, within 1 ... 100000.
void MeasureScale(Acquisition& a, int ch, int64_t frames) {
  const int32_t channels = screen_frames::Channels(a);
  int64_t peak = kMinPeakDeviation;
  for (int64_t f = 0; f < frames; ++f) {
    const int64_t deviation = static_cast<int64_t>(a.SampleBuffer[static_cast<size_t>(f * channels + ch)]) - a.Offset[ch];
    peak = std::max(peak, deviation < 0 ? -deviation : deviation);
  }
  // HalfBand is at least 2 with the minimum plot height; the guard keeps the
  // divisor positive whatever state the lay-out is handed.
  const int64_t rows = std::max<int64_t>(a.HalfBand - 1, 1);
  a.Scale[ch] = static_cast<int32_t>(std::clamp<int64_t>(peak / rows, kMinScale, kMaxScale));
}

void DrawVertical(Surface& surface, Colour colour, int x, int plotHeight) {
  surface.SetPenColour(colour);
  surface.MoveTo(x, 1);
  surface.LineTo(x, plotHeight - 1);
}

// The surface has no "clear": the first fill repaints everything but the red
// second lines, the second one (up to lime, which the first has just painted
// over) repaints the red lines too.
void StartScreenSurface(Acquisition& a, Surface& surface) {
  const int32_t width = PlotWidthInUse(a);
  const int32_t height = PlotHeightInUse(a);
  const int32_t channels = screen_frames::Channels(a);

  surface.FloodFill(kClearSeedX, kClearSeedY, kRed);
  surface.FloodFill(kClearSeedX, kClearSeedY, kLime);

  surface.SetPenColour(kBlue);
  surface.MoveTo(0, 0);
  surface.LineTo(width - 1, 0);
  surface.LineTo(width - 1, height - 1);
  surface.LineTo(0, height - 1);
  surface.LineTo(0, 0);
  surface.Refresh();

  surface.SetPenColour(kLime);
  for (int ch = 0; ch < channels; ++ch) {
    surface.MoveTo(0, a.Baseline[ch]);
    surface.LineTo(width, a.Baseline[ch]);
  }

  // After a resize the traces go on at the x they had reached.
  if (a.Resized) {
    a.Resized = false;
  } else {
    a.ScreenStartX = 0;
  }
  a.NewScreen = false;
}

// Red after every second of a short screen, after every tenth of a screen up
// to ten minutes; maroon after every minute of a screen longer than one.
void DrawSecondLine(const Acquisition& a, Surface& surface) {
  const int32_t height = PlotHeightInUse(a);
  const int32_t seconds = a.ScreenSeconds;
  const int32_t k = a.ScreenSecond;
  if (seconds < 60 || (seconds < 600 && k % 10 == 0)) DrawVertical(surface, kRed, a.CurrentX, height);
  if (seconds > 60 && k % 60 == 0) DrawVertical(surface, kMaroon, a.CurrentX, height);
}

void EndScreen(Acquisition& a, Host& host) {
  NoiseCheck(a, host);
  SignalCheck(a, host);
  a.ScreenSecond = 0;
  a.SampleIndex = 0;
  // The next screen starts on a zeroed buffer, so a screen closed early never
  // sees another screen's samples or uninitialised slots.
  std::fill(a.SampleBuffer.begin(), a.SampleBuffer.end(), int32_t{0});
  std::fill(a.SecondMarks.begin(), a.SecondMarks.end(), uint8_t{0});
  a.NewScreen = true;
}

}  // namespace

void PrepareScreen(Acquisition& a) {
  const int32_t channels = screen_frames::Channels(a);
  a.HalfBand = PlotHeightInUse(a) / (2 * channels);
  for (int ch = 0; ch < channels; ++ch) a.Baseline[ch] = a.HalfBand * (2 * ch + 1);

  const int64_t frames = FirstSecondFrames(a);
  if (frames > 0 && (a.FirstScreen || a.ResetOffset)) {
    for (int ch = 0; ch < channels; ++ch) {
      MeasureOffset(a, ch, frames);
      // Scales are measured on the first screen of a run only; later screens
      // keep what the operator chose with the amplitude buttons.
      if (a.FirstScreen) MeasureScale(a, ch, frames);
      PlaceFirstPoint(a, ch);
    }
  }

  int64_t perScreen = static_cast<int64_t>(a.ScreenSeconds) * RateInUse(a);
  if (perScreen * channels > kSampleSlots) perScreen = kSampleSlots / channels;
  a.SamplesPerScreen = static_cast<int32_t>(perScreen);
  a.SamplesPerPixel = static_cast<double>(a.SamplesPerScreen) / PlotWidthInUse(a);
  if (!(a.SamplesPerPixel >= kMinSamplesPerPixel)) a.SamplesPerPixel = kMinSamplesPerPixel;
}

void PlotOneSecond(Acquisition& a, Surface& surface, Host& host) {
  if (a.NewScreen) StartScreenSurface(a, surface);

  const int32_t channels = screen_frames::Channels(a);
  const int32_t height = PlotHeightInUse(a);
  const int32_t rate = RateInUse(a);
  const int64_t capacity = screen_frames::Capacity(a);
  const double samplesPerPixel = a.SamplesPerPixel >= kMinSamplesPerPixel ? a.SamplesPerPixel : kMinSamplesPerPixel;
  const double pixelsPerSample = 1.0 / samplesPerPixel;
  const int64_t firstFrame = static_cast<int64_t>(a.ScreenSecond) * rate;

  for (int ch = 0; ch < channels; ++ch) {
    // Without AutoScale all channels share the first channel's scale, so
    // their traces can be compared by eye.
    const double scale = std::clamp(a.AutoScale ? a.Scale[ch] : a.Scale[0], kMinScale, kMaxScale);
    const int64_t baseline = a.Baseline[ch];
    surface.SetPenColour(kBlack);
    surface.MoveTo(a.ScreenStartX, a.LastY[ch]);
    for (int32_t i = 0; i < rate; ++i) {
      const int64_t j = firstFrame + i;
      // The second that closes a screen after a zoom change may lie past the
      // buffer's end; such frames are not drawn.
      if (j < 0) continue;
      if (j >= capacity) break;
      const size_t slot = static_cast<size_t>(j * channels);
      const int32_t x = static_cast<int32_t>(pixelsPerSample * static_cast<double>(j + 1));
      a.CurrentX = x;
      const double d = static_cast<double>(static_cast<int64_t>(a.SampleBuffer[slot + ch]) - a.Offset[ch]) / scale;
      int64_t y = baseline - static_cast<int64_t>(std::trunc(d));
      if (y > height - 1) y = height - 1;
      if (d > static_cast<double>(baseline)) y = 0;
      surface.LineTo(x, static_cast<int>(y));
      a.LastY[ch] = static_cast<int32_t>(y);
      if (ch == 0 && a.SecondMarks[slot] != 0) {
        DrawVertical(surface, kLime, x, height);
        surface.SetPenColour(kBlack);
        surface.MoveTo(x, static_cast<int>(y));
      }
    }
  }
  a.ScreenStartX = a.CurrentX;

  DrawSecondLine(a, surface);

  ++a.ScreenSecond;
  if (a.ScreenSecond >= a.ScreenSeconds) EndScreen(a, host);
  host.Repaint();
}

void InitHighPass(Acquisition& a) {
  // Corner at SampleRate / (2 pi 2^shift), about 0.5 Hz at every standard rate.
  int32_t shift = 0;
  if (a.SampleRate > 0) {
    const long double exponent = std::log(static_cast<long double>(a.SampleRate) / 3.14159265L) / std::log(2.0L);
    shift = static_cast<int32_t>(std::clamp<long double>(std::nearbyint(exponent), 0.0L, 30.0L));
  }
  a.HighPassShift = shift;
  a.HighPassState.fill(0);
  a.HighPassRate = a.SampleRate;
}

// 32-bit integer arithmetic that wraps rather than overflows; the shift rounds
// toward zero so that positive and negative signals settle alike.
int32_t HighPassStep(Acquisition& a, int ch, int32_t x) {
  if (ch < 0 || ch >= kMaxChannels) return x;
  const int shift = std::clamp(a.HighPassShift, int32_t{0}, int32_t{31});
  int32_t& state = a.HighPassState[ch];
  const int32_t y = static_cast<int32_t>(static_cast<uint32_t>(x) - static_cast<uint32_t>(state));
  const int64_t wide = y;
  const int64_t q = wide >= 0 ? (wide >> shift) : -((-wide) >> shift);
  state = static_cast<int32_t>(static_cast<uint32_t>(state) + static_cast<uint32_t>(q));
  return y;
}

}  // namespace voxa
