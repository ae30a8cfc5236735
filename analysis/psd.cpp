#include "analysis/psd.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace voxa {

// --- Layout ----------------------------------------------------------------------

std::optional<PsdLayout> PsdLayout::For(int32_t rate, double windowSeconds) {
  if (rate <= 0 || !(windowSeconds > 0.0)) return std::nullopt;
  PsdLayout layout;
  layout.rate = rate;
  layout.windowSamples = std::llround(windowSeconds * rate);
  layout.hopSamples = layout.windowSamples / 2;
  int64_t fft = 1;
  while (fft * 2 <= layout.windowSamples / 4) fft *= 2;
  if (fft < 16) return std::nullopt;
  layout.fftLength = static_cast<int32_t>(fft);
  layout.segmentStep = layout.fftLength / 4;
  layout.segments = static_cast<int32_t>((layout.windowSamples - fft) / layout.segmentStep + 1);

  const double fs = rate;
  const double binWidth = fs / fft;
  const int32_t lastBin = layout.fftLength / 2;
  const int kFirst = static_cast<int>(std::ceil(8.0 * std::log2(2.0 / fs) - 1e-9));
  const int kLast = static_cast<int>(std::floor(8.0 * std::log2(fft / fs) + 1e-9));
  for (int k = kFirst; k <= kLast; ++k) {
    const double period = std::exp2(k / 8.0);
    const double low = 1.0 / (period * std::numbers::sqrt2);
    const double high = std::numbers::sqrt2 / period;
    const auto first = std::max<int32_t>(1, static_cast<int32_t>(std::ceil(low / binWidth - 1e-9)));
    const auto last = std::min<int32_t>(lastBin, static_cast<int32_t>(std::floor(high / binWidth + 1e-9)));
    if (first > last) continue;
    layout.periods.push_back(period);
    layout.bins.push_back({first, last});
  }
  return layout;
}

// --- Histogram -------------------------------------------------------------------

PsdHistogram::PsdHistogram(size_t periods) : periods_(periods), counts_(periods * kBins, 0) {}

void PsdHistogram::Add(const std::vector<float>& decibels) {
  const size_t n = std::min(periods_, decibels.size());
  for (size_t p = 0; p < n; ++p) {
    const int bin = std::clamp(static_cast<int>(std::floor(decibels[p])) - kLowestDecibel, 0, kBins - 1);
    ++counts_[p * kBins + static_cast<size_t>(bin)];
  }
  ++windows_;
}

std::optional<double> PsdHistogram::Percentile(size_t period, double percent) const {
  if (windows_ == 0) return std::nullopt;
  const double wanted = percent / 100.0 * static_cast<double>(windows_);
  int64_t cumulative = 0;
  for (int bin = 0; bin < kBins; ++bin) {
    cumulative += Count(period, bin);
    if (static_cast<double>(cumulative) >= wanted && cumulative > 0) return BinCentre(bin);
  }
  return BinCentre(kBins - 1);
}

std::optional<double> PsdHistogram::Mode(size_t period) const {
  if (windows_ == 0) return std::nullopt;
  int best = 0;
  for (int bin = 1; bin < kBins; ++bin) {
    if (Count(period, bin) > Count(period, best)) best = bin;
  }
  return BinCentre(best);
}

std::optional<double> AtPeriod(const std::vector<double>& periods, const std::vector<double>& values, double period) {
  const size_t n = std::min(periods.size(), values.size());
  if (n == 0 || !(period > 0.0)) return std::nullopt;
  constexpr double kSlack = 1e-9;
  if (period < periods.front() * (1 - kSlack) || period > periods[n - 1] * (1 + kSlack)) return std::nullopt;
  for (size_t i = 0; i + 1 < n; ++i) {
    if (period <= periods[i + 1]) {
      const double t = std::clamp(std::log(period / periods[i]) / std::log(periods[i + 1] / periods[i]), 0.0, 1.0);
      return values[i] + t * (values[i + 1] - values[i]);
    }
  }
  return values[n - 1];
}

// --- One channel -------------------------------------------------------------------

struct ChannelPsd::Fft {
  explicit Fft(int32_t n)
      : in(static_cast<double*>(fftw_malloc(sizeof(double) * static_cast<size_t>(n)))),
        out(static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * static_cast<size_t>(n / 2 + 1)))),
        // ESTIMATE: planning a 2^19 transform by measuring would hold up a
        // run's start for seconds, for a transform done twice an hour.
        plan(fftw_plan_dft_r2c_1d(n, in, out, FFTW_ESTIMATE)) {}
  ~Fft() {
    fftw_destroy_plan(plan);
    fftw_free(out);
    fftw_free(in);
  }
  Fft(const Fft&) = delete;
  Fft& operator=(const Fft&) = delete;
  double* in;
  fftw_complex* out;
  fftw_plan plan;
};

ChannelPsd::ChannelPsd() = default;
ChannelPsd::~ChannelPsd() = default;

bool ChannelPsd::Start(int32_t rate, int gain, const SensorResponse& sensor, const PsdSettings& settings) {
  Stop();
  const std::optional<PsdLayout> layout = PsdLayout::For(rate, settings.windowSeconds);
  if (!layout) return false;
  layout_ = *layout;
  sensor_ = sensor;
  interval_ = 1'000'000 / rate;
  const auto n = static_cast<size_t>(layout_.fftLength);
  ring_.assign(static_cast<size_t>(layout_.windowSamples), 0);
  sum_.assign(n / 2 + 1, 0.0);

  // A cosine over 10% of the segment at each end.
  taper_.assign(n, 1.0);
  const size_t edge = static_cast<size_t>(std::lround(0.1 * static_cast<double>(n)));
  for (size_t i = 0; i < edge; ++i) {
    const double w = 0.5 * (1.0 - std::cos(std::numbers::pi * static_cast<double>(i) / static_cast<double>(edge)));
    taper_[i] = w;
    taper_[n - 1 - i] = w;
  }
  taperPower_ = 0.0;
  for (const double w : taper_) taperPower_ += w * w;

  factorDb_.assign(n / 2 + 1, 0.0);
  for (size_t bin = 1; bin <= n / 2; ++bin) {
    const double frequency = static_cast<double>(bin) * rate / static_cast<double>(n);
    const double factor = CountPowerFactor(sensor, gain, frequency);
    factorDb_[bin] = factor > 0.0 ? 10.0 * std::log10(factor) : -std::numeric_limits<double>::infinity();
  }
  fft_ = std::make_unique<Fft>(layout_.fftLength);

  const double hop = layout_.hopSamples / static_cast<double>(rate);
  const auto keep = static_cast<size_t>(std::max(1.0, std::ceil(settings.keepSeconds / hop)));
  kept_.assign(keep, PsdWindow{0, std::vector<float>(layout_.periods.size(), 0.0f)});
  keptFirst_ = keptCount_ = 0;
  windowsDone_ = gaps_ = 0;
  written_ = windowStart_ = 0;
  segment_ = 0;
  haveNext_ = false;
  started_ = true;
  return true;
}

void ChannelPsd::Stop() {
  started_ = false;
  fft_.reset();
}

const PsdWindow& ChannelPsd::KeptWindow(size_t index) const { return kept_[(keptFirst_ + index) % kept_.size()]; }

void ChannelPsd::Add(int64_t startMicros, const int32_t* samples, int32_t count, int32_t stride) {
  if (!started_ || count <= 0) return;
  if (haveNext_ && std::llabs(startMicros - nextMicros_) > interval_ / 2) Restart(startMicros);
  if (written_ == 0) originMicros_ = startMicros;
  nextMicros_ = startMicros + count * interval_;
  haveNext_ = true;

  const auto capacity = static_cast<int64_t>(ring_.size());
  int32_t done = 0;
  while (done < count) {
    // The ring may not overwrite what the next segment still needs, nor the
    // start of the next window, whose segments are done after this one's.
    const int64_t keep = std::min(SegmentStart(), windowStart_ + layout_.hopSamples);
    const int64_t room = keep + capacity - written_;
    if (room <= 0) {
      DoSegment();
      continue;
    }
    const auto n = static_cast<int32_t>(std::min<int64_t>(room, count - done));
    for (int32_t i = 0; i < n; ++i) {
      ring_[static_cast<size_t>(written_ % capacity)] = samples[static_cast<size_t>(done + i) * static_cast<size_t>(stride)];
      ++written_;
    }
    done += n;
  }
}

void ChannelPsd::Restart(int64_t startMicros) {
  // The windows that end before the gap are finished; the one it falls in
  // is dropped.
  while (Due()) DoSegment();
  ++gaps_;
  written_ = windowStart_ = 0;
  segment_ = 0;
  std::fill(sum_.begin(), sum_.end(), 0.0);
  originMicros_ = startMicros;
}

bool ChannelPsd::Work() {
  if (!Due()) return false;
  DoSegment();
  return true;
}

void ChannelPsd::Drain() {
  while (Due()) DoSegment();
}

void ChannelPsd::DoSegment() {
  const auto n = static_cast<size_t>(layout_.fftLength);
  const auto capacity = static_cast<int64_t>(ring_.size());
  const int64_t first = SegmentStart();
  double* in = fft_->in;
  double mean = 0.0;
  for (size_t i = 0; i < n; ++i) {
    in[i] = ring_[static_cast<size_t>((first + static_cast<int64_t>(i)) % capacity)];
    mean += in[i];
  }
  mean /= static_cast<double>(n);
  // The least-squares line, with time centred on the segment's middle.
  const double middle = (static_cast<double>(n) - 1.0) / 2.0;
  double across = 0.0;
  for (size_t i = 0; i < n; ++i) across += (static_cast<double>(i) - middle) * (in[i] - mean);
  const double spread = static_cast<double>(n) * (static_cast<double>(n) * n - 1.0) / 12.0;
  const double slope = across / spread;
  for (size_t i = 0; i < n; ++i) in[i] = (in[i] - mean - slope * (static_cast<double>(i) - middle)) * taper_[i];

  fftw_execute(fft_->plan);
  for (size_t bin = 0; bin <= n / 2; ++bin) {
    const double re = fft_->out[bin][0];
    const double im = fft_->out[bin][1];
    sum_[bin] += re * re + im * im;
  }
  if (++segment_ == layout_.segments) FinishWindow();
}

void ChannelPsd::FinishWindow() {
  const auto n = static_cast<size_t>(layout_.fftLength);
  const double scale = 1.0 / (layout_.segments * static_cast<double>(layout_.rate) * taperPower_);
  PsdWindow& out = kept_[(keptFirst_ + keptCount_) % kept_.size()];
  if (keptCount_ == kept_.size()) {
    keptFirst_ = (keptFirst_ + 1) % kept_.size();
  } else {
    ++keptCount_;
  }
  out.startMicros = originMicros_ + windowStart_ * interval_;
  for (size_t p = 0; p < layout_.periods.size(); ++p) {
    double total = 0.0;
    int32_t bins = 0;
    for (int32_t bin = layout_.bins[p][0]; bin <= layout_.bins[p][1]; ++bin) {
      const auto b = static_cast<size_t>(bin);
      const double oneSided = b == n / 2 ? 1.0 : 2.0;
      const double power = oneSided * sum_[b] * scale;
      if (!(power > 0.0) || !std::isfinite(factorDb_[b])) continue;
      total += 10.0 * std::log10(power) + factorDb_[b];
      ++bins;
    }
    out.decibels[p] = bins > 0 ? static_cast<float>(total / bins) : static_cast<float>(PsdHistogram::kLowestDecibel);
  }
  ++windowsDone_;
  windowStart_ += layout_.hopSamples;
  segment_ = 0;
  std::fill(sum_.begin(), sum_.end(), 0.0);
}

PsdSummary ChannelPsd::Summary(int64_t sinceMicros) const {
  PsdSummary summary;
  summary.periods = layout_.periods;
  summary.acceleration = sensor_.Present();
  PsdHistogram histogram(layout_.periods.size());
  for (size_t i = 0; i < keptCount_; ++i) {
    const PsdWindow& window = KeptWindow(i);
    if (window.startMicros >= sinceMicros) histogram.Add(window.decibels);
  }
  summary.windows = histogram.Windows();
  if (summary.windows == 0) return summary;
  for (size_t p = 0; p < layout_.periods.size(); ++p) {
    summary.p5.push_back(*histogram.Percentile(p, 5));
    summary.p50.push_back(*histogram.Percentile(p, 50));
    summary.p95.push_back(*histogram.Percentile(p, 95));
    summary.mode.push_back(*histogram.Mode(p));
  }
  return summary;
}

}  // namespace voxa
