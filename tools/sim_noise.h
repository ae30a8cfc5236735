// The simulator's ground noise: a level between the low and high noise
// models ("nlnm+10dB", "nhnm-6dB"), coloured to follow the model's shape,
// as the converter counts a sensor of given sensitivity and a gain make of
// it; and a synthetic earthquake.
//
// The noise is built block by block in the frequency domain (white noise
// shaped by the model's amplitude spectrum, FFTW), and the blocks are
// cross-faded with sine and cosine halves, whose squares sum to one, so the
// variance stays level across the joins.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace voxa::sim {

struct NoiseLevel {
  bool lowModel = true;  // NLNM; else NHNM
  double offsetDb = 0.0;
};

// "nlnm", "nlnm+10dB", "nhnm-6.5dB" (dB optional, case-insensitive); nullopt for anything else.
std::optional<NoiseLevel> ParseNoiseLevel(std::string_view text);

struct ModelNoiseSettings {
  NoiseLevel level;
  int rate = 100;
  int gain = 16;
  double sensitivity = 0.0;   // V/(m/s), or V/(m/s^2) for an accelerometer
  bool accelerometer = false;
  uint64_t seed = 1;
};

// The model's power at frequency f in converter counts^2/Hz (the 0.1 s
// value above 10 Hz, where the models end).
double ModelCountPower(const ModelNoiseSettings& settings, double frequency);

class ModelNoise {
 public:
  explicit ModelNoise(const ModelNoiseSettings& settings);
  ~ModelNoise();
  ModelNoise(const ModelNoise&) = delete;
  ModelNoise& operator=(const ModelNoise&) = delete;
  // The next sample, in counts.
  double Next();

 private:
  void NewBlock(std::vector<double>& block);
  double Gaussian();

  int32_t length_;
  std::vector<double> shape_;  // amplitude per frequency bin
  std::vector<double> current_, next_;
  int32_t at_ = 0;  // position in current_, which next_ starts halfway through
  uint64_t state_;
  std::optional<double> spare_;
  struct Fft;
  std::unique_ptr<Fft> fft_;
};

// A synthetic earthquake at a stream second: a P wave (6 Hz) and, 5 s later,
// an S wave (2 Hz) with four times its amplitude, peak ground motion `peak`
// in the sensor's unit (m/s or m/s^2).
struct Quake {
  double second = 0.0;
  double peak = 0.0;
};
// "SECONDS:PEAK", e.g. "60:1e-4".
std::optional<Quake> ParseQuake(std::string_view text);
// The quake's ground motion at time t seconds after the stream's start.
double QuakeMotion(const Quake& quake, double t);

// One count in volts at a gain (the device's 2.4414e-7 V at gain 1).
double SimVoltsPerCount(int gain);

}  // namespace voxa::sim
