// A channel's noise as a power spectral density, by Welch's method with the
// conventions of a PPSD (McNamara and Buland) as ObsPy applies them:
//   - windows of windowSeconds (3600 s; 300 s for a first result within
//     minutes) advancing by half a window;
//   - in each window, FFT segments of the largest power of two up to a
//     quarter of the window, overlapping by 75%, each detrended (least-squares
//     line) and tapered with a cosine over 10% of it at each end;
//   - power 2|X|^2/(fs * sum w^2) (one-sided; DC and Nyquist not doubled),
//     the mean over the segments, the DC term dropped;
//   - counts to ground acceleration through the digitiser and the sensor, dB;
//   - full-octave means of those dB values at centres every 1/8 octave
//     (centres at 2^(k/8) s, so 1 s is one), shortest at the Nyquist period,
//     longest at the segment's length;
//   - a histogram of 1 dB bins per period over the windows kept, from which
//     the 5th, 50th and 95th percentile and the mode are read.
//
// Only contiguous samples go into a window: samples whose time does not
// follow the last one's (a lost block, a missing second, an overlap) start
// new windows, and the windows the gap falls in are skipped.
//
// The samples wait in a ring of one window; the FFTs are done by Work(), one
// bounded step at a time (a slice of a segment's detrending, its transform,
// a slice of its power, a slice of a finished window's decibels), so the
// caller spreads a window over its blocks and no step costs more than one
// transform. Add() only finishes a segment itself when the ring would
// otherwise overwrite samples that segment still needs (a burst of samples
// released at once). Nothing is allocated after Start.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "analysis/sensor_response.h"

namespace voxa {

struct PsdSettings {
  static constexpr double kObspyWindowSeconds = 3600.0;
  static constexpr double kShortWindowSeconds = 300.0;
  double windowSeconds = kObspyWindowSeconds;
  // The windows kept for the percentile summary, by the time they cover.
  double keepSeconds = 24.0 * 3600.0;
};

// The numbers of a window at one rate.
struct PsdLayout {
  int32_t rate = 0;
  int64_t windowSamples = 0;
  int64_t hopSamples = 0;  // half a window
  int32_t fftLength = 0;
  int32_t segmentStep = 0;  // a quarter of the FFT length: 75% overlap
  int32_t segments = 0;
  std::vector<double> periods;  // the octave centres, in seconds, shortest first
  // FFT bins [first, last] averaged for each centre.
  std::vector<std::array<int32_t, 2>> bins;

  // nullopt when the window holds too few samples for a spectrum.
  static std::optional<PsdLayout> For(int32_t rate, double windowSeconds);
};

// One window's result: the dB value at each of the layout's periods.
struct PsdWindow {
  int64_t startMicros = 0;  // UTC of the window's first sample, microseconds since 1970
  std::vector<float> decibels;
};

// 1 dB bins from kLowest to kHighest dB; a value outside is counted in the
// edge bin, so every window counts at every period.
class PsdHistogram {
 public:
  static constexpr int kLowestDecibel = -250;
  static constexpr int kHighestDecibel = 0;
  static constexpr int kBins = kHighestDecibel - kLowestDecibel;

  explicit PsdHistogram(size_t periods);
  void Add(const std::vector<float>& decibels);
  int64_t Windows() const { return windows_; }
  int64_t Count(size_t period, int bin) const { return counts_[period * kBins + static_cast<size_t>(bin)]; }
  // Centre of the bin where the cumulative count reaches percent of the
  // windows; nullopt without windows.
  std::optional<double> Percentile(size_t period, double percent) const;
  std::optional<double> Mode(size_t period) const;
  static double BinCentre(int bin) { return kLowestDecibel + bin + 0.5; }

 private:
  size_t periods_;
  std::vector<int64_t> counts_;
  int64_t windows_ = 0;
};

struct PsdSummary {
  std::vector<double> periods;
  std::vector<double> p5, p50, p95, mode;
  int64_t windows = 0;
  bool acceleration = false;  // dB re 1 (m/s^2)^2/Hz; else dB re 1 V^2/Hz
};

// A value of a curve given at periods, at another period: linear in log
// period between the two neighbours; nullopt outside the curve.
std::optional<double> AtPeriod(const std::vector<double>& periods, const std::vector<double>& values, double period);

class ChannelPsd {
 public:
  ChannelPsd();
  ~ChannelPsd();
  ChannelPsd(const ChannelPsd&) = delete;
  ChannelPsd& operator=(const ChannelPsd&) = delete;

  // A new stream at rate sps; false (and nothing started) when the window
  // holds too few samples at that rate.
  bool Start(int32_t rate, int gain, const SensorResponse& sensor, const PsdSettings& settings);
  void Stop();
  bool Started() const { return started_; }
  const PsdLayout& Layout() const { return layout_; }
  bool Acceleration() const { return sensor_.Present(); }

  // count samples, the first at startMicros, one every sample interval,
  // samples[0], samples[stride], ...
  void Add(int64_t startMicros, const int32_t* samples, int32_t count, int32_t stride);
  // One step of the due work; false when nothing was due.
  bool Work();
  // Every window whose samples are all in, finished; the due segments of a
  // window still waiting for samples are left to Work.
  void Drain();

  // Windows finished since Start, and the gaps that restarted windows.
  int64_t WindowsDone() const { return windowsDone_; }
  int64_t Gaps() const { return gaps_; }
  // The windows kept, oldest first.
  size_t KeptWindows() const { return keptCount_; }
  const PsdWindow& KeptWindow(size_t index) const;
  const PsdWindow* Latest() const { return keptCount_ == 0 ? nullptr : &KeptWindow(keptCount_ - 1); }
  // The percentiles over the windows kept that start at or after sinceMicros.
  PsdSummary Summary(int64_t sinceMicros = INT64_MIN) const;

 private:
  struct Fft;
  // What the next step of Work does.
  enum class Step {
    Idle,       // no segment begun
    Sums,       // a slice of the segment's mean and slope
    Pack,       // a slice detrended, tapered and packed for the half-length transform
    Transform,  // the transform
    Power,      // a slice of bins' power added to the window's sums
    Decibels,   // a slice of the finished window's bins in dB
    Centres,    // the octave means; the window is kept
  };
  int64_t SegmentStart() const { return windowStart_ + static_cast<int64_t>(segment_) * layout_.segmentStep; }
  bool Due() const { return started_ && written_ >= SegmentStart() + layout_.fftLength; }
  // The current window's last segment has all its samples.
  bool WindowComplete() const {
    return written_ >= windowStart_ + static_cast<int64_t>(layout_.segments - 1) * layout_.segmentStep + layout_.fftLength;
  }
  void DoStep();
  // Steps until the segment in hand (or the next due one) and a window it
  // finishes are done.
  void FinishSegment();
  void Sums(int64_t from, int64_t to);
  void SegmentSums();
  void Pack(int64_t from, int64_t to);
  void Power(int64_t from, int64_t to);
  void Decibels(int64_t from, int64_t to);
  void KeepWindow();
  void ResetWindow();
  void Restart(int64_t startMicros);

  bool started_ = false;
  PsdLayout layout_;
  SensorResponse sensor_;
  int64_t interval_ = 0;  // microseconds
  std::vector<int32_t> ring_;
  int64_t written_ = 0;      // samples since the origin
  int64_t windowStart_ = 0;  // the current window's first sample, from the origin
  int32_t segment_ = 0;      // the current window's next segment
  int64_t originMicros_ = 0;
  int64_t nextMicros_ = 0;
  bool haveNext_ = false;
  Step step_ = Step::Idle;
  int64_t stepAt_ = 0;         // where the step's next slice starts
  double sumX_ = 0.0;          // the segment's samples summed
  double sumCentredX_ = 0.0;   // and weighted by their distance from its middle
  // Per quarter segment of the window (a block): its samples summed, and
  // weighted by twice their place in the block; blocks before blocksDone_
  // are summed.
  std::vector<double> blockSum_, blockMoment_;
  int32_t blocksDone_ = 0;
  std::vector<double> taper_;
  int64_t taperEdge_ = 0;    // samples of taper at each end; 1 between
  double taperPower_ = 0.0;  // sum of w^2
  std::vector<double> sum_;  // |X|^2 summed over the window's segments
  std::vector<double> factorDb_;  // counts^2/Hz to the result, dB, per bin
  // exp(-2 pi i k / fftLength) for k up to a quarter of the FFT length: it
  // unpacks the half-length complex transform into the real one's bins.
  std::vector<double> twiddleCos_, twiddleSin_;
  // A finished window's dB summed over bins 1..k (and how many bins had a
  // value), so each octave's mean is one difference.
  std::vector<double> decibelSums_;
  std::vector<int32_t> decibelBins_;
  std::unique_ptr<Fft> fft_;
  std::vector<PsdWindow> kept_;
  size_t keptFirst_ = 0;
  size_t keptCount_ = 0;
  int64_t windowsDone_ = 0;
  int64_t gaps_ = 0;
};

}  // namespace voxa
