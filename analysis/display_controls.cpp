// The zoom, amplitude and resize arithmetic behind the window's handlers.
#include "analysis/display_controls.h"

#include <algorithm>
#include <cstdint>

#include "analysis/plot.h"
#include "stream/number_text.h"

namespace voxa {

namespace {

// The window's frame and the control rows below the plot.
constexpr int32_t kWindowWidthOutsidePlot = 26;
constexpr int32_t kWindowHeightOutsidePlot = 221;
// A window narrower than its start-up width minus 10 shows a horizontal
// scroll bar under the controls, which takes these rows from the plot.
constexpr int32_t kNarrowWindowHeightLoss = 15;

int32_t ChannelsWithScale(const Acquisition& a) { return std::clamp(a.ChannelCount, int32_t{0}, kMaxChannels); }

// Setting ScreenSecond to the new ScreenSeconds makes the next complete
// second close the current screen, so the new zoom starts on a fresh one.
void CloseScreenAtNextSecond(Acquisition& a) {
  a.ScreenSecond = a.ScreenSeconds;
  a.NewScreen = true;
}

}  // namespace

void ZoomIn(Acquisition& a) {
  a.ScreenSeconds = std::max(a.ScreenSeconds / 2, int32_t{1});
  CloseScreenAtNextSecond(a);
}

void ZoomOut(Acquisition& a) {
  const int64_t perSecond = std::max<int64_t>(static_cast<int64_t>(a.SampleRate) * a.ChannelCount, 1);
  const int64_t doubled = static_cast<int64_t>(a.ScreenSeconds) * 2;
  // One screen must fit the sample buffer; the limit need not be a power of two.
  const int64_t seconds = doubled * perSecond > kSampleSlots ? kSampleSlots / perSecond : doubled;
  a.ScreenSeconds = static_cast<int32_t>(std::max<int64_t>(seconds, 1));
  CloseScreenAtNextSecond(a);
}

void IncreaseAmplitude(Acquisition& a) {
  for (int ch = 0; ch < ChannelsWithScale(a); ++ch) {
    const int64_t quarter = RoundHalfEven(a.Scale[ch] / 4.0);
    a.Scale[ch] = static_cast<int32_t>(std::clamp<int64_t>(quarter, kMinScale, kMaxScale));
  }
}

void DecreaseAmplitude(Acquisition& a) {
  for (int ch = 0; ch < ChannelsWithScale(a); ++ch) {
    const int64_t fourfold = static_cast<int64_t>(a.Scale[ch]) * 4;
    a.Scale[ch] = static_cast<int32_t>(std::clamp<int64_t>(fourfold, kMinScale, kMaxScale));
  }
}

void ResizePlot(Acquisition& a, int windowWidth, int windowHeight) {
  const int64_t width = static_cast<int64_t>(windowWidth) - kWindowWidthOutsidePlot;
  int64_t height = static_cast<int64_t>(windowHeight) - kWindowHeightOutsidePlot;
  if (width < a.PlotMinWidth) height -= kNarrowWindowHeightLoss;
  // A window shrunk to nothing still leaves a plot the lay-out can divide by.
  a.PlotWidth = static_cast<int32_t>(std::clamp<int64_t>(width, kMinPlotWidth, INT32_MAX));
  a.PlotHeight = static_cast<int32_t>(std::clamp<int64_t>(height, kMinPlotHeight, INT32_MAX));
  a.Resized = true;
  a.NewScreen = true;
}

}  // namespace voxa
