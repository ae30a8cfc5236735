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

namespace {

// The elements each step touches at most: a slice of the linear passes costs
// a small fraction of the transform, which is the one step that is not cut.
constexpr int64_t kSlice = int64_t{1} << 15;

}  // namespace

// The real segment of n samples is transformed as n/2 complex values (even
// samples real, odd imaginary) and unpacked: in place, half the work of a
// complex transform of n, and faster than the real transform's own plan
// under FFTW_ESTIMATE.
struct ChannelPsd::Fft {
  explicit Fft(int32_t n)
      : data(static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * static_cast<size_t>(n / 2)))),
        // ESTIMATE: planning a 2^19 transform by measuring would hold up a
        // run's start for seconds, for a transform done twice an hour.
        plan(fftw_plan_dft_1d(n / 2, data, data, FFTW_FORWARD, FFTW_ESTIMATE)) {}
  ~Fft() {
    fftw_destroy_plan(plan);
    fftw_free(data);
  }
  Fft(const Fft&) = delete;
  Fft& operator=(const Fft&) = delete;
  double* Samples() { return reinterpret_cast<double*>(data); }
  fftw_complex* data;
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
  decibelSums_.assign(n / 2 + 1, 0.0);
  decibelBins_.assign(n / 2 + 1, 0);
  blockSum_.assign(static_cast<size_t>(layout_.segments) + 3, 0.0);
  blockMoment_.assign(static_cast<size_t>(layout_.segments) + 3, 0.0);

  // A cosine over 10% of the segment at each end.
  taper_.assign(n, 1.0);
  const size_t edge = static_cast<size_t>(std::lround(0.1 * static_cast<double>(n)));
  for (size_t i = 0; i < edge; ++i) {
    const double w = 0.5 * (1.0 - std::cos(std::numbers::pi * static_cast<double>(i) / static_cast<double>(edge)));
    taper_[i] = w;
    taper_[n - 1 - i] = w;
  }
  taperEdge_ = static_cast<int64_t>(edge);
  taperPower_ = 0.0;
  for (const double w : taper_) taperPower_ += w * w;

  twiddleCos_.resize(n / 4 + 1);
  twiddleSin_.resize(n / 4 + 1);
  for (size_t k = 0; k <= n / 4; ++k) {
    const double angle = -2.0 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(n);
    twiddleCos_[k] = std::cos(angle);
    twiddleSin_[k] = std::sin(angle);
  }

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
  segment_ = blocksDone_ = 0;
  step_ = Step::Idle;
  haveNext_ = false;
  started_ = true;
  return true;
}

void ChannelPsd::Stop() {
  started_ = false;
  step_ = Step::Idle;
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
    // The ring may not overwrite what the segment in hand still needs, nor
    // the start of the next window, whose segments are done after this one's.
    const int64_t keep = std::min(SegmentStart(), windowStart_ + layout_.hopSamples);
    const int64_t room = keep + capacity - written_;
    if (room <= 0) {
      FinishSegment();
      continue;
    }
    // In runs up to the ring's end, so no index is reduced per sample.
    const int64_t at = written_ % capacity;
    const auto n = static_cast<int32_t>(std::min<int64_t>({room, count - done, capacity - at}));
    int32_t* to = ring_.data() + at;
    const int32_t* from = samples + static_cast<ptrdiff_t>(done) * stride;
    for (int32_t i = 0; i < n; ++i) to[i] = from[static_cast<ptrdiff_t>(i) * stride];
    written_ += n;
    done += n;
  }
}

void ChannelPsd::Restart(int64_t startMicros) {
  // The windows that end before the gap are finished; the one it falls in
  // is dropped, with the work begun on it.
  Drain();
  ++gaps_;
  written_ = windowStart_ = 0;
  ResetWindow();
  originMicros_ = startMicros;
}

bool ChannelPsd::Work() {
  if (!started_ || (step_ == Step::Idle && !Due())) return false;
  DoStep();
  return true;
}

void ChannelPsd::Drain() {
  while (started_ && WindowComplete()) FinishSegment();
}

void ChannelPsd::FinishSegment() {
  const int32_t segment = segment_;
  const int64_t windowStart = windowStart_;
  if (step_ == Step::Idle && !Due()) return;
  do {
    DoStep();
  } while (step_ != Step::Idle && segment_ == segment && windowStart_ == windowStart);
  // A window's last segment goes on to its decibels: finish those too.
  while (step_ != Step::Idle && windowStart_ == windowStart) DoStep();
}

void ChannelPsd::DoStep() {
  const int64_t n = layout_.fftLength;
  // Each sliced step runs over [stepAt_, end) in slices and then hands on.
  const auto slice = [this](int64_t end, auto&& body, Step next) {
    const int64_t to = std::min(end, stepAt_ + kSlice);
    body(stepAt_, to);
    stepAt_ = to;
    if (stepAt_ == end) {
      step_ = next;
      stepAt_ = 0;
    }
  };
  switch (step_) {
    case Step::Idle:
      // The blocks the segment before already summed are not read again.
      stepAt_ = std::max(0, blocksDone_ - segment_) * int64_t{layout_.segmentStep};
      for (int32_t b = std::max(blocksDone_, segment_); b < segment_ + 4; ++b) {
        blockSum_[static_cast<size_t>(b)] = blockMoment_[static_cast<size_t>(b)] = 0.0;
      }
      step_ = Step::Sums;
      [[fallthrough]];
    case Step::Sums:
      slice(n, [this](int64_t a, int64_t b) { Sums(a, b); }, Step::Pack);
      if (step_ == Step::Pack) SegmentSums();
      break;
    case Step::Pack:
      slice(n, [this](int64_t a, int64_t b) { Pack(a, b); }, Step::Transform);
      break;
    case Step::Transform:
      fftw_execute(fft_->plan);
      step_ = Step::Power;
      break;
    case Step::Power:
      slice(n / 4 + 1, [this](int64_t a, int64_t b) { Power(a, b); }, Step::Idle);
      if (step_ == Step::Idle && ++segment_ == layout_.segments) step_ = Step::Decibels;
      break;
    case Step::Decibels:
      slice(n / 2, [this](int64_t a, int64_t b) { Decibels(a, b); }, Step::Centres);
      break;
    case Step::Centres:
      KeepWindow();
      break;
  }
}

void ChannelPsd::Sums(int64_t from, int64_t to) {
  // A window's segments advance by a quarter of their length, so the sums
  // are kept per quarter (a block) and each block is read once for the up to
  // four segments that hold it. The ring is read in at most two runs, so no
  // index is reduced modulo the ring per sample. The sums are of integers,
  // exact in pieces of kExact samples: twice a sample's place in its block
  // is below 2^19 and the sample below 2^31, so a piece's sum stays below 2^63.
  constexpr int64_t kExact = 4096;
  const auto capacity = static_cast<int64_t>(ring_.size());
  const int64_t step = layout_.segmentStep;
  int64_t i = from;
  while (i < to) {
    const int64_t block = i / step;
    const int64_t at = (SegmentStart() + i) % capacity;
    const int64_t run = std::min({to - i, capacity - at, kExact, (block + 1) * step - i});
    const int32_t* x = ring_.data() + at;
    const int64_t place = i - block * step;
    int64_t sum = 0;
    int64_t moment = 0;
    for (int64_t j = 0; j < run; ++j) {
      sum += x[j];
      moment += 2 * (place + j) * x[j];
    }
    const auto b = static_cast<size_t>(segment_ + block);
    blockSum_[b] += static_cast<double>(sum);
    blockMoment_[b] += static_cast<double>(moment);
    i += run;
  }
}

void ChannelPsd::SegmentSums() {
  // Over the segment's four blocks: the sum, and the sum weighted by twice
  // the distance from the segment's middle, 2 (q step + place) - (n - 1).
  const int64_t step = layout_.segmentStep;
  double sum = 0.0;
  double moment = 0.0;
  for (int64_t q = 0; q < 4; ++q) {
    const auto b = static_cast<size_t>(segment_ + q);
    sum += blockSum_[b];
    moment += 2.0 * static_cast<double>(q * step) * blockSum_[b] + blockMoment_[b];
  }
  blocksDone_ = segment_ + 4;
  sumX_ = sum;
  sumCentredX_ = 0.5 * (moment - static_cast<double>(layout_.fftLength - 1) * sum);
}

void ChannelPsd::Pack(int64_t from, int64_t to) {
  // The least-squares line, with time centred on the segment's middle
  // (the centred times sum to zero, so the slope needs no mean of x).
  const auto n = static_cast<double>(layout_.fftLength);
  const double middle = (n - 1.0) / 2.0;
  const double mean = sumX_ / n;
  const double slope = sumCentredX_ / (n * (n * n - 1.0) / 12.0);
  const auto capacity = static_cast<int64_t>(ring_.size());
  double* out = fft_->Samples();
  int64_t i = from;
  while (i < to) {
    const int64_t at = (SegmentStart() + i) % capacity;
    const int64_t run = std::min(to - i, capacity - at);
    const int32_t* x = ring_.data() + at;
    for (int64_t j = 0; j < run; ++j) {
      out[i + j] = x[j] - mean - slope * (static_cast<double>(i + j) - middle);
    }
    i += run;
  }
  // The taper is 1 between its edges, so only the edges are multiplied.
  const int64_t n64 = layout_.fftLength;
  for (int64_t k = from; k < std::min(to, taperEdge_); ++k) out[k] *= taper_[static_cast<size_t>(k)];
  for (int64_t k = std::max(from, n64 - taperEdge_); k < to; ++k) out[k] *= taper_[static_cast<size_t>(k)];
}

void ChannelPsd::Power(int64_t from, int64_t to) {
  // With Z the half-length transform of z[m] = x[2m] + i x[2m+1] (M = n/2
  // values), E = (Z[k] + conj Z[M-k]) / 2 and O = (Z[k] - conj Z[M-k]) / 2i
  // are the transforms of the even and odd samples, and the real
  // transform's bins are X[k] = E + W^k O and X[M-k] = conj(E - W^k O), with
  // W = exp(-2 pi i / n). Bins k and M-k are done together, so the twiddles
  // are needed only up to k = M/2.
  const int64_t half = layout_.fftLength / 2;
  const fftw_complex* z = fft_->data;
  for (int64_t k = from; k < to; ++k) {
    const fftw_complex& a = z[k];
    const fftw_complex& b = z[k == 0 ? 0 : half - k];
    const double evenRe = 0.5 * (a[0] + b[0]);
    const double evenIm = 0.5 * (a[1] - b[1]);
    const double oddRe = 0.5 * (a[1] + b[1]);
    const double oddIm = -0.5 * (a[0] - b[0]);
    const double c = twiddleCos_[static_cast<size_t>(k)];
    const double s = twiddleSin_[static_cast<size_t>(k)];
    const double turnedRe = c * oddRe - s * oddIm;
    const double turnedIm = c * oddIm + s * oddRe;
    const double lowRe = evenRe + turnedRe, lowIm = evenIm + turnedIm;
    const double highRe = evenRe - turnedRe, highIm = evenIm - turnedIm;
    sum_[static_cast<size_t>(k)] += lowRe * lowRe + lowIm * lowIm;
    if (half - k != k) sum_[static_cast<size_t>(half - k)] += highRe * highRe + highIm * highIm;
  }
}

void ChannelPsd::Decibels(int64_t from, int64_t to) {
  // Bins from + 1 .. to, each in dB, summed on from the bin before.
  const int64_t half = layout_.fftLength / 2;
  const double scale = 1.0 / (layout_.segments * static_cast<double>(layout_.rate) * taperPower_);
  for (int64_t i = from; i < to; ++i) {
    const auto b = static_cast<size_t>(i + 1);
    const double oneSided = i + 1 == half ? 1.0 : 2.0;
    const double power = oneSided * sum_[b] * scale;
    double total = decibelSums_[b - 1];
    int32_t bins = decibelBins_[b - 1];
    if (power > 0.0 && std::isfinite(factorDb_[b])) {
      total += 10.0 * std::log10(power) + factorDb_[b];
      ++bins;
    }
    decibelSums_[b] = total;
    decibelBins_[b] = bins;
  }
}

void ChannelPsd::KeepWindow() {
  PsdWindow& out = kept_[(keptFirst_ + keptCount_) % kept_.size()];
  if (keptCount_ == kept_.size()) {
    keptFirst_ = (keptFirst_ + 1) % kept_.size();
  } else {
    ++keptCount_;
  }
  out.startMicros = originMicros_ + windowStart_ * interval_;
  for (size_t p = 0; p < layout_.periods.size(); ++p) {
    const auto first = static_cast<size_t>(layout_.bins[p][0]);
    const auto last = static_cast<size_t>(layout_.bins[p][1]);
    const int32_t bins = decibelBins_[last] - decibelBins_[first - 1];
    const double total = decibelSums_[last] - decibelSums_[first - 1];
    out.decibels[p] = bins > 0 ? static_cast<float>(total / bins) : static_cast<float>(PsdHistogram::kLowestDecibel);
  }
  ++windowsDone_;
  windowStart_ += layout_.hopSamples;
  ResetWindow();
}

void ChannelPsd::ResetWindow() {
  segment_ = 0;
  blocksDone_ = 0;
  step_ = Step::Idle;
  stepAt_ = 0;
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
