// The screen: the samples of the seconds on screen, the one-second plot that
// draws each completed second, and the end-of-screen checks (dynamic range,
// offset, peak-to-peak voltage) with their results.
//
// A screen shows screenSeconds seconds, one band per channel. Each second is
// drawn once, right after it is complete, continuing the traces from where
// the previous second ended; a screen is never redrawn from the buffer. The
// zoom, amplitude, "RST Offset", "High Pass" and "Auto Scale" choices and the
// plot size persist from one run to the next.
//
// The plot never draws outside the surface and never divides by a plot size:
// a plot area below kMinPlotWidth x kMinPlotHeight (a window shrunk to
// nothing, or a size not yet set) is laid out as if it had the minimum size.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/high_pass.h"
#include "analysis/surface.h"
#include "format/records.h"
#include "format/sample.h"

namespace voxa {

// One screen never holds more than this many sample values.
inline constexpr int32_t kScreenSlots = 76800;
// Smallest plot area the lay-out works with. The height gives three channel
// bands of at least two rows each, so the scale's divisor HalfBand - 1 is
// never zero; the width keeps the horizontal step finite.
inline constexpr int32_t kMinPlotWidth = 20;
inline constexpr int32_t kMinPlotHeight = 12;
// Every channel's vertical scale, in counts per pixel, stays within these.
inline constexpr int32_t kMinScale = 1;
inline constexpr int32_t kMaxScale = 100000;

// What the checks at the end of a screen found, per channel. A result that
// is absent leaves its label as it was: no noise to express in dB, or an
// offset that was not measured for this screen.
struct ScreenResults {
  int32_t channels = 0;
  std::array<std::optional<std::string>, kMaxChannels> dynamicRange;
  std::array<std::optional<std::string>, kMaxChannels> offset;
  std::array<std::string, kMaxChannels> peakToPeak;
};

class Screen {
 public:
  Screen();

  // --- A run ---------------------------------------------------------------
  // START: fresh buffers, the first screen of the run due; autoScale and
  // resetOffset as the check boxes were.
  void StartRun(bool autoScale, bool resetOffset, const StreamFormat& format);
  // Keeps screenSeconds x rate x channels within the sample buffer. True when
  // the screen had to be shortened.
  bool RestoreCapacity(const StreamFormat& format);
  // The device's header changed the rate or channel count: the frames stored
  // so far have the old layout, so a fresh screen starts.
  void StartFreshScreen();

  // A valid sample block: its frame is stored (through the filter when on).
  void StoreFrame(const SampleBlock& block, int32_t channels);
  // The blocks of the last second of a screen are being collected.
  bool CollectingLastSecond() const { return screenSecond_ == screenSeconds_ - 1; }
  // A block arrived during that second: the run's first screen is over.
  void LeaveFirstScreen() { firstScreen_ = false; }
  bool FirstScreen() const { return firstScreen_; }
  // A second is complete when rate valid blocks have been stored since the last.
  bool SecondComplete(int32_t rate) const { return blocksInSecond_ >= rate; }
  // Draws the second just completed (setting a new screen up first when one
  // is due); at the end of a screen runs the checks and returns their results.
  std::optional<ScreenResults> PlotSecond(Surface& surface, const StreamFormat& format, int32_t gain);

  // --- The operator's choices ------------------------------------------------
  void ZoomIn();
  void ZoomOut(const StreamFormat& format);
  void IncreaseAmplitude(int32_t channels);  // "++": scale / 4, at least 1
  void DecreaseAmplitude(int32_t channels);  // "- -": scale x 4, at most 100000
  // A new plot area (never below kMinPlotWidth x kMinPlotHeight); a new
  // screen is due that keeps its x.
  void ResizePlot(int32_t width, int32_t height);
  void SetScreenSeconds(int32_t seconds) { screenSeconds_ = seconds; }
  void SetResetOffset(bool on) { resetOffset_ = on; }
  void SetHighPass(bool on) { highPassOn_ = on; }
  HighPassFilter& HighPass() { return highPass_; }

  // --- What tests and the window read ---------------------------------------
  int32_t ScreenSeconds() const { return screenSeconds_; }
  int32_t ScreenSecond() const { return screenSecond_; }
  bool NewScreenDue() const { return newScreen_; }
  int32_t PlotWidth() const { return plotWidth_; }
  int32_t PlotHeight() const { return plotHeight_; }
  bool HighPassOn() const { return highPassOn_; }
  bool ResetOffset() const { return resetOffset_; }
  const HighPassFilter& HighPass() const { return highPass_; }
  const std::array<int32_t, kMaxChannels>& Scale() const { return scale_; }
  const std::array<int32_t, kMaxChannels>& Offset() const { return offset_; }
  // Slot f x channels + k holds channel k of frame f of the current screen.
  const std::vector<int32_t>& Samples() const { return samples_; }
  int32_t SampleIndex() const { return sampleIndex_; }

  // --- Seams for tests of the plot and the checks ----------------------------
  std::vector<int32_t>& MutableSamples() { return samples_; }
  std::vector<uint8_t>& MutableSecondMarks() { return secondMarks_; }
  void SetSampleIndex(int32_t index) { sampleIndex_ = index; }
  void SetScale(const std::array<int32_t, kMaxChannels>& scale) { scale_ = scale; }
  void SetOffset(const std::array<int32_t, kMaxChannels>& offset) { offset_ = offset; }
  void SetScreenSecond(int32_t second) { screenSecond_ = second; }
  void SetNewScreenDue(bool due) { newScreen_ = due; }
  void SetFirstScreen(bool first) { firstScreen_ = first; }
  void SetAutoScale(bool on) { autoScale_ = on; }
  // The checks on what the screen holds, as at the end of a screen.
  ScreenResults Check(const StreamFormat& format, int32_t gain) const;

 private:
  void PrepareScreen(const StreamFormat& format);
  void StartScreenSurface(Surface& surface, int32_t channels);
  void DrawSecondLine(Surface& surface) const;
  ScreenResults EndScreen(const StreamFormat& format, int32_t gain);
  void MeasureOffset(int ch, int64_t frames, int32_t channels);
  void MeasureScale(int ch, int64_t frames, int32_t channels);
  void PlaceFirstPoint(int ch);
  void CloseScreenAtNextSecond();

  int32_t PlotWidthInUse() const;
  int32_t PlotHeightInUse() const;
  // Bounds of what may be read of the buffers: every read of the samples and
  // second marks goes through these, so a channel count or rate from a broken
  // header, or a screen closed early by a zoom change, never reads outside
  // what was stored.
  static int32_t Channels(int32_t channels);
  int64_t Capacity(int32_t channels) const;
  int64_t Stored(const StreamFormat& format) const;

  // Storage.
  std::vector<int32_t> samples_;
  std::vector<uint8_t> secondMarks_;  // 1 at a frame's first slot when it came from a 0x90 block
  int32_t sampleIndex_ = 0;           // next free slot
  int32_t blocksInSecond_ = 0;        // valid blocks since the last second was drawn

  // Screen and lay-out.
  int32_t screenSeconds_ = 8;
  int32_t screenSecond_ = 0;
  bool newScreen_ = true;
  bool resized_ = false;
  bool firstScreen_ = true;
  int32_t plotWidth_ = 993;
  int32_t plotHeight_ = 377;
  int32_t halfBand_ = 0;
  std::array<int32_t, kMaxChannels> baseline_{};
  std::array<int32_t, kMaxChannels> lastY_{};
  std::array<int32_t, kMaxChannels> offset_{};
  std::array<int32_t, kMaxChannels> scale_{1, 1, 1};
  int32_t samplesPerScreen_ = 0;
  double samplesPerPixel_ = 1.0;
  int32_t screenStartX_ = 0;
  int32_t currentX_ = 0;

  // Choices.
  bool autoScale_ = false;
  bool resetOffset_ = true;
  bool highPassOn_ = false;
  HighPassFilter highPass_;
};

// A value in volts scaled to " V", " mV" or " µV" (UTF-8), two decimals
// right-aligned in 6 characters.
std::string VoltageText(double volts);

}  // namespace voxa
