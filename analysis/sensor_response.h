// From the converter's counts to ground motion: the digitiser's volts per
// count, then the sensor. The station file, the command line and the Noise
// window all fill one SensorResponse; without a sensor a PSD stays in V^2/Hz.
#pragma once

#include <complex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace voxa {

// What the sensor's output voltage is proportional to.
enum class SensorUnit {
  Velocity,      // V/(m/s): a geophone or a seismometer
  Acceleration,  // V/(m/s^2): an accelerometer
};

// "m/s" or "m/s**2" (also "m/s^2", "m/s2"); nullopt for anything else.
std::optional<SensorUnit> ParseSensorUnit(std::string_view text);
std::string_view SensorUnitText(SensorUnit unit);

struct SensorResponse {
  double sensitivity = 0.0;  // V per unit of ground motion; 0: no sensor
  SensorUnit unit = SensorUnit::Velocity;
  // A geophone's natural period in seconds: below its frequency the response
  // falls as a damped second-order high-pass. Absent: flat.
  std::optional<double> cornerPeriod;
  double damping = 0.707;
  // Optional poles and zeros in rad/s; when there are poles they replace the
  // corner period, normalised to 1 at normalizationFrequency.
  std::vector<std::complex<double>> poles;
  std::vector<std::complex<double>> zeros;
  double normalizationFrequency = 1.0;
  std::string description;

  bool Present() const { return sensitivity > 0.0; }
};

// "" when the response can be used, else what is wrong with it.
std::string CheckSensorResponse(const SensorResponse& sensor);

// One count of the 24-bit converter in volts at this gain (the screen checks'
// figure, 2.4414e-7 V at gain 1; a gain of 0 or below is read as 1).
double VoltsPerCount(int gain);

// The factor that turns a count's power (counts^2/Hz) at frequency f into
// ground acceleration power ((m/s^2)^2/Hz), or into V^2/Hz without a sensor.
double CountPowerFactor(const SensorResponse& sensor, int gain, double frequency);

}  // namespace voxa
