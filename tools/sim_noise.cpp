#include "tools/sim_noise.h"

#include <fftw3.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <numbers>

#include "analysis/noise_models.h"

namespace voxa::sim {

std::optional<NoiseLevel> ParseNoiseLevel(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  NoiseLevel level;
  if (lower.starts_with("nlnm")) {
    level.lowModel = true;
  } else if (lower.starts_with("nhnm")) {
    level.lowModel = false;
  } else {
    return std::nullopt;
  }
  std::string_view rest = std::string_view(lower).substr(4);
  if (rest.empty()) return level;
  if (rest.ends_with("db")) rest.remove_suffix(2);
  if (rest.empty() || (rest[0] != '+' && rest[0] != '-')) return std::nullopt;
  const bool negative = rest[0] == '-';
  rest.remove_prefix(1);
  double value = 0.0;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
  if (error != std::errc() || end != rest.data() + rest.size() || !std::isfinite(value) || value > 100.0) {
    return std::nullopt;
  }
  level.offsetDb = negative ? -value : value;
  return level;
}

double SimVoltsPerCount(int gain) { return 2.4414e-7 / std::max(gain, 1); }

double ModelCountPower(const ModelNoiseSettings& settings, double frequency) {
  if (!(frequency > 0.0)) return 0.0;
  const double period = std::clamp(1.0 / frequency, voxa::kModelShortestPeriod, voxa::kModelLongestPeriod);
  const double db = *voxa::ModelDecibels(settings.level.lowModel ? voxa::NoiseModel::Low : voxa::NoiseModel::High,
                                         period) + settings.level.offsetDb;
  double power = std::pow(10.0, db / 10.0);  // (m/s^2)^2/Hz
  if (!settings.accelerometer) {
    const double omega = 2.0 * std::numbers::pi * frequency;
    power /= omega * omega;  // (m/s)^2/Hz
  }
  const double volts = SimVoltsPerCount(settings.gain);
  return power * settings.sensitivity * settings.sensitivity / (volts * volts);
}

struct ModelNoise::Fft {
  explicit Fft(int32_t n)
      : time(static_cast<double*>(fftw_malloc(sizeof(double) * static_cast<size_t>(n)))),
        frequency(static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * static_cast<size_t>(n / 2 + 1)))),
        forward(fftw_plan_dft_r2c_1d(n, time, frequency, FFTW_ESTIMATE)),
        backward(fftw_plan_dft_c2r_1d(n, frequency, time, FFTW_ESTIMATE)) {}
  ~Fft() {
    fftw_destroy_plan(backward);
    fftw_destroy_plan(forward);
    fftw_free(frequency);
    fftw_free(time);
  }
  Fft(const Fft&) = delete;
  Fft& operator=(const Fft&) = delete;
  double* time;
  fftw_complex* frequency;
  fftw_plan forward, backward;
};

ModelNoise::ModelNoise(const ModelNoiseSettings& settings) : state_(settings.seed * 0x9E3779B97F4A7C15ULL + 1) {
  // Blocks of at least 600 s, so the shape holds to periods of a minute and
  // more and the joins' modulation stays far below the band of interest.
  length_ = 1;
  while (length_ < 600 * settings.rate) length_ *= 2;
  const auto n = static_cast<size_t>(length_);
  shape_.assign(n / 2 + 1, 0.0);
  for (size_t bin = 1; bin <= n / 2; ++bin) {
    // White noise of variance 1 has a one-sided PSD of 2/fs; a bin scaled by
    // sqrt(P fs / 2) gives P.
    const double f = static_cast<double>(bin) * settings.rate / static_cast<double>(n);
    shape_[bin] = std::sqrt(ModelCountPower(settings, f) * settings.rate / 2.0);
  }
  fft_ = std::make_unique<Fft>(length_);
  current_.assign(n, 0.0);
  next_.assign(n, 0.0);
  NewBlock(current_);
  NewBlock(next_);
  // From the first sample on two blocks overlap, so the level holds from the start.
  at_ = length_ / 2;
}

ModelNoise::~ModelNoise() = default;

double ModelNoise::Gaussian() {
  if (spare_) {
    const double value = *spare_;
    spare_.reset();
    return value;
  }
  const auto uniform = [this] {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return (static_cast<double>((state_ * 0x2545F4914F6CDD1DULL) >> 11) + 0.5) * 0x1.0p-53;
  };
  const double radius = std::sqrt(-2.0 * std::log(uniform()));
  const double angle = 2.0 * std::numbers::pi * uniform();
  spare_ = radius * std::sin(angle);
  return radius * std::cos(angle);
}

void ModelNoise::NewBlock(std::vector<double>& block) {
  const auto n = static_cast<size_t>(length_);
  for (size_t i = 0; i < n; ++i) fft_->time[i] = Gaussian();
  fftw_execute(fft_->forward);
  for (size_t bin = 0; bin <= n / 2; ++bin) {
    fft_->frequency[bin][0] *= shape_[bin];
    fft_->frequency[bin][1] *= shape_[bin];
  }
  fftw_execute(fft_->backward);
  // The sine window of the cross-fade, and FFTW's unnormalised inverse.
  for (size_t i = 0; i < n; ++i) {
    block[i] = fft_->time[i] / static_cast<double>(n) * std::sin(std::numbers::pi * (static_cast<double>(i) + 0.5) / n);
  }
}

double ModelNoise::Next() {
  const int32_t half = length_ / 2;
  const double value = current_[static_cast<size_t>(at_)] + (at_ >= half ? next_[static_cast<size_t>(at_ - half)] : 0.0);
  if (++at_ == length_) {
    // The next block is halfway through: it becomes the current one.
    std::swap(current_, next_);
    at_ = half;
    NewBlock(next_);
  }
  return value;
}

std::optional<Quake> ParseQuake(std::string_view text) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  Quake quake;
  const auto parse = [](std::string_view part, double& value) {
    const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
    return error == std::errc() && end == part.data() + part.size() && std::isfinite(value);
  };
  if (!parse(text.substr(0, colon), quake.second) || !parse(text.substr(colon + 1), quake.peak)) return std::nullopt;
  if (quake.second < 0 || quake.peak <= 0 || quake.peak > 10) return std::nullopt;
  return quake;
}

double QuakeMotion(const Quake& quake, double t) {
  // Each wave a sine under the envelope (t/tau) e^(1 - t/tau), which peaks at 1.
  const auto wave = [](double since, double frequency, double tau) {
    if (since <= 0) return 0.0;
    return since / tau * std::exp(1.0 - since / tau) * std::sin(2.0 * std::numbers::pi * frequency * since);
  };
  const double since = t - quake.second;
  if (since <= 0 || since > 300) return 0.0;
  return quake.peak * (0.25 * wave(since, 6.0, 1.0) + wave(since - 5.0, 2.0, 3.0));
}

}  // namespace voxa::sim
