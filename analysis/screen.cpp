// The screen's storage, its run and the operator's zoom, amplitude and resize
// choices, and the high-pass filter.
#include "analysis/screen.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "format/number_text.h"

namespace voxa {

Screen::Screen() : samples_(kScreenSlots, 0), secondMarks_(kScreenSlots, 0) {}

int32_t Screen::PlotWidthInUse() const { return std::max(plotWidth_, kMinPlotWidth); }
int32_t Screen::PlotHeightInUse() const { return std::max(plotHeight_, kMinPlotHeight); }

int32_t Screen::Channels(int32_t channels) { return std::clamp(channels, int32_t{1}, kMaxChannels); }

int64_t Screen::Capacity(int32_t channels) const {
  const int64_t slots = std::min<int64_t>({static_cast<int64_t>(samples_.size()),
                                           static_cast<int64_t>(secondMarks_.size()), kScreenSlots});
  return slots / Channels(channels);
}

// The frames stored in this screen, at most one screen's worth. A screen
// closed early by a zoom change holds fewer than screenSeconds x rate; the
// slots after them are not its own.
int64_t Screen::Stored(const StreamFormat& format) const {
  const int64_t stored = std::max<int64_t>(sampleIndex_, 0) / Channels(format.channels);
  const int64_t screen = std::max<int64_t>(static_cast<int64_t>(screenSeconds_) * format.rate, 0);
  return std::min({stored, screen, Capacity(format.channels)});
}

void Screen::StartRun(bool autoScale, bool resetOffset, const StreamFormat& format) {
  samples_.assign(kScreenSlots, 0);
  secondMarks_.assign(kScreenSlots, 0);
  sampleIndex_ = 0;
  blocksInSecond_ = 0;
  firstScreen_ = true;
  newScreen_ = true;
  resized_ = false;
  screenSecond_ = 0;
  autoScale_ = autoScale;
  resetOffset_ = resetOffset;
  RestoreCapacity(format);
}

bool Screen::RestoreCapacity(const StreamFormat& format) {
  const int64_t perSecond = static_cast<int64_t>(std::max(format.rate, 1)) * std::max(format.channels, 1);
  const int32_t limit = static_cast<int32_t>(std::max<int64_t>(1, kScreenSlots / perSecond));
  if (screenSeconds_ < 1) {
    screenSeconds_ = 1;
    return true;
  }
  if (screenSeconds_ > limit) {
    screenSeconds_ = limit;
    return true;
  }
  return false;
}

void Screen::StartFreshScreen() {
  std::fill(samples_.begin(), samples_.end(), 0);
  std::fill(secondMarks_.begin(), secondMarks_.end(), uint8_t{0});
  sampleIndex_ = 0;
  blocksInSecond_ = 0;
  screenSecond_ = 0;
  newScreen_ = true;
}

void Screen::StoreFrame(const SampleBlock& block, int32_t channels) {
  // The screen's capacity is kept by the zoom and header code; this guard only
  // makes sure a frame never lands outside the buffer whatever happened.
  const bool fits = sampleIndex_ >= 0 && sampleIndex_ + channels <= kScreenSlots;
  const uint8_t* payload = block.payload.data();
  for (int32_t k = 0; k < channels; ++k) {
    const size_t at = static_cast<size_t>(4 * k);
    int32_t value = DecodeSample(payload[at], payload[at + 1], payload[at + 2], payload[at + 3]);
    if (highPassOn_) value = highPass_.Step(k, value);
    if (fits) samples_[static_cast<size_t>(sampleIndex_ + k)] = value;
  }
  if (fits) {
    secondMarks_[static_cast<size_t>(sampleIndex_)] = block.SecondMark() ? 1 : 0;
    sampleIndex_ += channels;
  }
  blocksInSecond_ += 1;
}

// Setting the second to the new screen length makes the next complete second
// close the current screen, so the new zoom starts on a fresh one.
void Screen::CloseScreenAtNextSecond() {
  screenSecond_ = screenSeconds_;
  newScreen_ = true;
}

void Screen::ZoomIn() {
  screenSeconds_ = std::max(screenSeconds_ / 2, int32_t{1});
  CloseScreenAtNextSecond();
}

void Screen::ZoomOut(const StreamFormat& format) {
  const int64_t perSecond = std::max<int64_t>(static_cast<int64_t>(format.rate) * format.channels, 1);
  const int64_t doubled = static_cast<int64_t>(screenSeconds_) * 2;
  // One screen must fit the sample buffer; the limit need not be a power of two.
  const int64_t seconds = doubled * perSecond > kScreenSlots ? kScreenSlots / perSecond : doubled;
  screenSeconds_ = static_cast<int32_t>(std::max<int64_t>(seconds, 1));
  CloseScreenAtNextSecond();
}

void Screen::IncreaseAmplitude(int32_t channels) {
  for (int ch = 0; ch < std::clamp(channels, int32_t{0}, kMaxChannels); ++ch) {
    const int64_t quarter = RoundHalfEven(scale_[ch] / 4.0);
    scale_[ch] = static_cast<int32_t>(std::clamp<int64_t>(quarter, kMinScale, kMaxScale));
  }
}

void Screen::DecreaseAmplitude(int32_t channels) {
  for (int ch = 0; ch < std::clamp(channels, int32_t{0}, kMaxChannels); ++ch) {
    const int64_t fourfold = static_cast<int64_t>(scale_[ch]) * 4;
    scale_[ch] = static_cast<int32_t>(std::clamp<int64_t>(fourfold, kMinScale, kMaxScale));
  }
}

void Screen::ResizePlot(int32_t width, int32_t height) {
  // A window shrunk to nothing still leaves a plot the lay-out can divide by.
  plotWidth_ = std::max(width, kMinPlotWidth);
  plotHeight_ = std::max(height, kMinPlotHeight);
  resized_ = true;
  newScreen_ = true;
}

void HighPassFilter::Init(int32_t rate) {
  // Corner at rate / (2 pi 2^shift), about 0.5 Hz at every standard rate.
  int32_t shift = 0;
  if (rate > 0) {
    const long double exponent = std::log(static_cast<long double>(rate) / 3.14159265L) / std::log(2.0L);
    shift = static_cast<int32_t>(std::clamp<long double>(std::nearbyint(exponent), 0.0L, 30.0L));
  }
  shift_ = shift;
  state_.fill(0);
  rate_ = rate;
}

// 32-bit integer arithmetic that wraps rather than overflows; the shift rounds
// toward zero so that positive and negative signals settle alike.
int32_t HighPassFilter::Step(int ch, int32_t x) {
  if (ch < 0 || ch >= kMaxChannels) return x;
  const int shift = std::clamp(shift_, int32_t{0}, int32_t{31});
  int32_t& state = state_[ch];
  const int32_t y = static_cast<int32_t>(static_cast<uint32_t>(x) - static_cast<uint32_t>(state));
  const int64_t wide = y;
  const int64_t q = wide >= 0 ? (wide >> shift) : -((-wide) >> shift);
  state = static_cast<int32_t>(static_cast<uint32_t>(state) + static_cast<uint32_t>(q));
  return y;
}

}  // namespace voxa
