#include "analysis/sensor_response.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "format/sample.h"

namespace voxa {

std::optional<SensorUnit> ParseSensorUnit(std::string_view text) {
  if (text == "m/s") return SensorUnit::Velocity;
  if (text == "m/s**2" || text == "m/s^2" || text == "m/s2") return SensorUnit::Acceleration;
  return std::nullopt;
}

std::string_view SensorUnitText(SensorUnit unit) { return unit == SensorUnit::Velocity ? "m/s" : "m/s**2"; }

std::string CheckSensorResponse(const SensorResponse& sensor) {
  if (!std::isfinite(sensor.sensitivity) || sensor.sensitivity < 0.0) {
    return "the sensor's sensitivity must be a positive number of volts per unit";
  }
  if (sensor.cornerPeriod && !(std::isfinite(*sensor.cornerPeriod) && *sensor.cornerPeriod > 0.0)) {
    return "the sensor's corner period must be a positive number of seconds";
  }
  if (!(std::isfinite(sensor.damping) && sensor.damping > 0.0)) return "the sensor's damping must be positive";
  if (!sensor.poles.empty() && !(std::isfinite(sensor.normalizationFrequency) && sensor.normalizationFrequency > 0.0)) {
    return "the sensor's normalization frequency must be a positive number of hertz";
  }
  return "";
}

double VoltsPerCount(int gain) { return kVoltsPerCountAtGain1 / static_cast<double>(std::max(gain, 1)); }

namespace {

// |prod(s - z) / prod(s - p)| at s = 2 pi i f.
double PoleZeroMagnitude(const SensorResponse& sensor, double frequency) {
  const std::complex<double> s(0.0, 2.0 * std::numbers::pi * frequency);
  std::complex<double> value(1.0, 0.0);
  for (const auto& zero : sensor.zeros) value *= s - zero;
  for (const auto& pole : sensor.poles) value /= s - pole;
  return std::abs(value);
}

// The sensor's power gain, V^2 per unit^2, at frequency f.
double SensorPowerGain(const SensorResponse& sensor, double frequency) {
  const double flat = sensor.sensitivity * sensor.sensitivity;
  if (!sensor.poles.empty()) {
    const double norm = PoleZeroMagnitude(sensor, sensor.normalizationFrequency);
    const double shape = norm > 0.0 ? PoleZeroMagnitude(sensor, frequency) / norm : 0.0;
    return flat * shape * shape;
  }
  if (sensor.cornerPeriod) {
    const double x = frequency * *sensor.cornerPeriod;  // f / f0
    const double x2 = x * x;
    const double below = (1.0 - x2) * (1.0 - x2) + 4.0 * sensor.damping * sensor.damping * x2;
    return flat * x2 * x2 / below;
  }
  return flat;
}

}  // namespace

double CountPowerFactor(const SensorResponse& sensor, int gain, double frequency) {
  const double volts = VoltsPerCount(gain);
  double factor = volts * volts;
  if (!sensor.Present()) return factor;
  const double power = SensorPowerGain(sensor, frequency);
  if (!(power > 0.0)) return 0.0;
  factor /= power;
  if (sensor.unit == SensorUnit::Velocity) {
    const double omega = 2.0 * std::numbers::pi * frequency;
    factor *= omega * omega;
  }
  return factor;
}

}  // namespace voxa
