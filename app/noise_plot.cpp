// The Noise window's picture in plain numbers.
#include "app/noise_plot.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "analysis/noise_models.h"

namespace voxa {
namespace {

std::string Trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return std::string(text);
}

std::optional<double> PositiveNumber(const std::string& text) {
  double value = 0;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data(), last, value);
  if (text.empty() || error != std::errc() || end != last || !std::isfinite(value) || !(value > 0)) return std::nullopt;
  return value;
}

}  // namespace

NoisePicture LayOutNoise(const std::vector<NoiseChannelView>& channels, bool acceleration, double width, double height) {
  NoisePicture picture;
  double shortest = 1e9, longest = 0;
  double low = 1e9, high = -1e9;
  for (const NoiseChannelView& c : channels) {
    if (c.periods.empty()) continue;
    shortest = std::min(shortest, c.periods.front());
    longest = std::max(longest, c.periods.back());
    for (const auto* values : {&c.latest, &c.p5, &c.p95}) {
      for (const double v : *values) low = std::min(low, v), high = std::max(high, v);
    }
  }
  // 0.1-100 s, or what the rate and window give.
  picture.shortestPeriod = longest > 0 ? std::clamp(shortest, 0.1, 100.0) : 0.1;
  picture.longestPeriod = longest > 0 ? std::clamp(longest, picture.shortestPeriod * 2, 100.0) : 100.0;
  if (acceleration) {
    picture.lowestDb = -200;
    picture.highestDb = -50;
    low = std::min(low, picture.lowestDb);
    high = std::max(high, picture.highestDb);
  }
  if (high >= low) {
    picture.lowestDb = std::floor(low / 10) * 10;
    picture.highestDb = std::max(std::ceil(high / 10) * 10, picture.lowestDb + 40);
  }
  const double logShort = std::log10(picture.shortestPeriod);
  const double logSpan = std::log10(picture.longestPeriod) - logShort;
  const auto x = [&](double period) { return (std::log10(period) - logShort) / logSpan * width; };
  const auto y = [&](double db) {
    return (picture.highestDb - db) / (picture.highestDb - picture.lowestDb) * height;
  };
  const auto inAxis = [&](double period) {
    return period >= picture.shortestPeriod * (1 - 1e-9) && period <= picture.longestPeriod * (1 + 1e-9);
  };
  for (const NoiseChannelView& c : channels) {
    std::vector<NoisePoint>& latest = picture.latest.emplace_back();
    for (size_t p = 0; p < std::min(c.periods.size(), c.latest.size()); ++p) {
      if (inAxis(c.periods[p])) latest.push_back({x(c.periods[p]), y(c.latest[p])});
    }
    std::vector<NoisePoint>& band = picture.band.emplace_back();
    const size_t n = std::min({c.periods.size(), c.p5.size(), c.p95.size()});
    for (size_t p = 0; p < n; ++p) {
      if (inAxis(c.periods[p])) band.push_back({x(c.periods[p]), y(c.p95[p])});
    }
    for (size_t p = n; p-- > 0;) {
      if (inAxis(c.periods[p])) band.push_back({x(c.periods[p]), y(c.p5[p])});
    }
  }
  if (acceleration) {
    // Every 1/16 decade and at each table break, so the straight segments
    // in log period stay straight.
    for (const auto& [model, line] : {std::pair{NoiseModel::Low, &picture.lowModel}, std::pair{NoiseModel::High, &picture.highModel}}) {
      std::vector<double> periods;
      for (double e = logShort; e <= logShort + logSpan + 1e-9; e += 1.0 / 16) periods.push_back(std::pow(10.0, e));
      for (const ModelSegment& s : ModelSegments(model)) {
        if (inAxis(s.period)) periods.push_back(s.period);
      }
      periods.push_back(picture.longestPeriod);
      std::sort(periods.begin(), periods.end());
      for (const double period : periods) {
        if (const std::optional<double> db = ModelDecibels(model, std::min(period, picture.longestPeriod))) {
          line->push_back({x(std::min(period, picture.longestPeriod)), y(*db)});
        }
      }
    }
  }
  for (const double period : {0.1, 0.2, 0.5, 1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0}) {
    if (!inAxis(period)) continue;
    char text[16];
    std::snprintf(text, sizeof text, "%g", period);
    picture.periodTicks.push_back({x(period), text});
  }
  const double step = picture.highestDb - picture.lowestDb > 100 ? 20 : 10;
  for (double db = std::ceil(picture.lowestDb / step) * step; db <= picture.highestDb + 1e-9; db += step) {
    picture.dbTicks.push_back({y(db), std::to_string(static_cast<int>(db))});
  }
  picture.unitLine = acceleration ? "dB re 1 (m/s\u00b2)\u00b2/Hz" : "no sensor: V\u00b2/Hz";
  return picture;
}

std::optional<SensorResponse> ReadSensorFields(std::string_view sensitivity, std::string_view unit,
                                               std::string_view cornerPeriod, std::string& problem) {
  SensorResponse sensor;
  const std::string sensitivityText = Trimmed(sensitivity);
  const std::string cornerText = Trimmed(cornerPeriod);
  if (sensitivityText.empty()) {
    if (!cornerText.empty()) {
      problem = "a corner period needs a sensitivity";
      return std::nullopt;
    }
    return sensor;
  }
  const std::optional<double> volts = PositiveNumber(sensitivityText);
  if (!volts) {
    problem = "the sensitivity '" + sensitivityText + "' is not a positive number of volts per unit";
    return std::nullopt;
  }
  sensor.sensitivity = *volts;
  const std::optional<SensorUnit> parsed = ParseSensorUnit(Trimmed(unit));
  if (!parsed) {
    problem = "the unit '" + Trimmed(unit) + "' is neither m/s nor m/s**2";
    return std::nullopt;
  }
  sensor.unit = *parsed;
  if (!cornerText.empty()) {
    const std::optional<double> corner = PositiveNumber(cornerText);
    if (!corner) {
      problem = "the corner period '" + cornerText + "' is not a positive number of seconds";
      return std::nullopt;
    }
    sensor.cornerPeriod = *corner;
  }
  return sensor;
}

std::string SensorText(const SensorResponse& sensor) {
  if (!sensor.Present()) return "no sensor: V\u00b2/Hz";
  char text[96];
  std::snprintf(text, sizeof text, "%g V/(%s)", sensor.sensitivity, std::string(SensorUnitText(sensor.unit)).c_str());
  std::string line = text;
  if (sensor.cornerPeriod) {
    std::snprintf(text, sizeof text, ", corner %g s", *sensor.cornerPeriod);
    line += text;
  }
  return line;
}

}  // namespace voxa
