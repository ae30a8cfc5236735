// The one-second plot: the lay-out of a new screen and the drawing of each
// completed second.
#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/screen.h"
#include "format/number_text.h"

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

int32_t RateInUse(const StreamFormat& format) { return std::max(format.rate, int32_t{1}); }

int32_t ClampToInt32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

void DrawVertical(Surface& surface, Colour colour, int x, int plotHeight) {
  surface.SetPenColour(colour);
  surface.MoveTo(x, 1);
  surface.LineTo(x, plotHeight - 1);
}

}  // namespace

// Offset[ch] := mean of the channel's first second, rounded half to even.
void Screen::MeasureOffset(int ch, int64_t frames, int32_t channels) {
  double sum = 0.0;
  for (int64_t f = 0; f < frames; ++f) sum += samples_[static_cast<size_t>(f * channels + ch)];
  offset_[ch] = ClampToInt32(RoundHalfEven(sum / static_cast<double>(frames)));
}

// The first pen position of the channel: its first sample at its own scale,
// deliberately not limited to the plot (the surface clips).
void Screen::PlaceFirstPoint(int ch) {
  const int64_t deviation = static_cast<int64_t>(samples_[static_cast<size_t>(ch)]) - offset_[ch];
  const double scaled = static_cast<double>(deviation) / std::max(scale_[ch], int32_t{1});
  lastY_[ch] = ClampToInt32(static_cast<int64_t>(baseline_[ch]) - RoundHalfEven(scaled));
}

// Scale[ch]: counts per pixel so that the first second's largest deviation
// fits the half band, within 1 ... 100000.
void Screen::MeasureScale(int ch, int64_t frames, int32_t channels) {
  int64_t peak = kMinPeakDeviation;
  for (int64_t f = 0; f < frames; ++f) {
    const int64_t deviation = static_cast<int64_t>(samples_[static_cast<size_t>(f * channels + ch)]) - offset_[ch];
    peak = std::max(peak, deviation < 0 ? -deviation : deviation);
  }
  // The half band is at least 2 with the minimum plot height; the guard keeps
  // the divisor positive whatever state the lay-out is handed.
  const int64_t rows = std::max<int64_t>(halfBand_ - 1, 1);
  scale_[ch] = static_cast<int32_t>(std::clamp<int64_t>(peak / rows, kMinScale, kMaxScale));
}

// Lays out the bands, offsets, scales and horizontal step of a new screen.
// Reads the first second's frames (the screen's first second).
void Screen::PrepareScreen(const StreamFormat& format) {
  const int32_t channels = Channels(format.channels);
  halfBand_ = PlotHeightInUse() / (2 * channels);
  for (int ch = 0; ch < channels; ++ch) baseline_[ch] = halfBand_ * (2 * ch + 1);

  const int64_t frames = std::min<int64_t>(RateInUse(format), Capacity(format.channels));
  if (frames > 0 && (firstScreen_ || resetOffset_)) {
    for (int ch = 0; ch < channels; ++ch) {
      MeasureOffset(ch, frames, channels);
      // Scales are measured on the first screen of a run only; later screens
      // keep what the operator chose with the amplitude buttons.
      if (firstScreen_) MeasureScale(ch, frames, channels);
      PlaceFirstPoint(ch);
    }
  }

  int64_t perScreen = static_cast<int64_t>(screenSeconds_) * RateInUse(format);
  if (perScreen * channels > kScreenSlots) perScreen = kScreenSlots / channels;
  samplesPerScreen_ = static_cast<int32_t>(perScreen);
  samplesPerPixel_ = static_cast<double>(samplesPerScreen_) / PlotWidthInUse();
  if (!(samplesPerPixel_ >= kMinSamplesPerPixel)) samplesPerPixel_ = kMinSamplesPerPixel;
}

// The surface has no "clear": the first fill repaints everything but the red
// second lines, the second one (up to lime, which the first has just painted
// over) repaints the red lines too.
void Screen::StartScreenSurface(Surface& surface, int32_t channels) {
  const int32_t width = PlotWidthInUse();
  const int32_t height = PlotHeightInUse();

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
    surface.MoveTo(0, baseline_[ch]);
    surface.LineTo(width, baseline_[ch]);
  }

  // After a resize the traces go on at the x they had reached.
  if (resized_) {
    resized_ = false;
  } else {
    screenStartX_ = 0;
  }
  newScreen_ = false;
}

// Red after every second of a short screen, after every tenth of a screen up
// to ten minutes; maroon after every minute of a screen longer than one.
void Screen::DrawSecondLine(Surface& surface) const {
  const int32_t height = PlotHeightInUse();
  const int32_t seconds = screenSeconds_;
  const int32_t k = screenSecond_;
  if (seconds < 60 || (seconds < 600 && k % 10 == 0)) DrawVertical(surface, kRed, currentX_, height);
  if (seconds > 60 && k % 60 == 0) DrawVertical(surface, kMaroon, currentX_, height);
}

ScreenResults Screen::EndScreen(const StreamFormat& format, int32_t gain) {
  ScreenResults results = Check(format, gain);
  screenSecond_ = 0;
  sampleIndex_ = 0;
  // The next screen starts on a zeroed buffer, so a screen closed early never
  // sees another screen's samples or uninitialised slots.
  std::fill(samples_.begin(), samples_.end(), int32_t{0});
  std::fill(secondMarks_.begin(), secondMarks_.end(), uint8_t{0});
  newScreen_ = true;
  return results;
}

std::optional<ScreenResults> Screen::PlotSecond(Surface& surface, const StreamFormat& format, int32_t gain) {
  blocksInSecond_ = 0;
  if (newScreen_) PrepareScreen(format);
  const int32_t channels = Channels(format.channels);
  if (newScreen_) StartScreenSurface(surface, channels);

  const int32_t height = PlotHeightInUse();
  const int32_t rate = RateInUse(format);
  const int64_t capacity = Capacity(format.channels);
  const double samplesPerPixel = samplesPerPixel_ >= kMinSamplesPerPixel ? samplesPerPixel_ : kMinSamplesPerPixel;
  const double pixelsPerSample = 1.0 / samplesPerPixel;
  const int64_t firstFrame = static_cast<int64_t>(screenSecond_) * rate;

  for (int ch = 0; ch < channels; ++ch) {
    // Without "Auto Scale" all channels share the first channel's scale, so
    // their traces can be compared by eye.
    const double scale = std::clamp(autoScale_ ? scale_[ch] : scale_[0], kMinScale, kMaxScale);
    const int64_t baseline = baseline_[ch];
    surface.SetPenColour(kBlack);
    surface.MoveTo(screenStartX_, lastY_[ch]);
    for (int32_t i = 0; i < rate; ++i) {
      const int64_t j = firstFrame + i;
      // The second that closes a screen after a zoom change may lie past the
      // buffer's end; such frames are not drawn.
      if (j < 0) continue;
      if (j >= capacity) break;
      const size_t slot = static_cast<size_t>(j * channels);
      const int32_t x = static_cast<int32_t>(pixelsPerSample * static_cast<double>(j + 1));
      currentX_ = x;
      const double d = static_cast<double>(static_cast<int64_t>(samples_[slot + ch]) - offset_[ch]) / scale;
      int64_t y = baseline - static_cast<int64_t>(std::trunc(d));
      if (y > height - 1) y = height - 1;
      if (d > static_cast<double>(baseline)) y = 0;
      surface.LineTo(x, static_cast<int>(y));
      lastY_[ch] = static_cast<int32_t>(y);
      if (ch == 0 && secondMarks_[slot] != 0) {
        DrawVertical(surface, kLime, x, height);
        surface.SetPenColour(kBlack);
        surface.MoveTo(x, static_cast<int>(y));
      }
    }
  }
  screenStartX_ = currentX_;

  DrawSecondLine(surface);

  ++screenSecond_;
  if (screenSecond_ >= screenSeconds_) return EndScreen(format, gain);
  return std::nullopt;
}

}  // namespace voxa
