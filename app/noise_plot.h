// The Noise window's picture in plain numbers: the axes (log period, dB), the
// latest window's PSD and the 5-95 percentile band of each channel and the
// noise models as lines in pixels, and the sensor fields read into a sensor
// response. The window only draws what this gives, so all of it is checked
// without a screen.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/sensor_response.h"

namespace voxa {

struct NoisePoint {
  double x = 0, y = 0;
};

// One channel as the run's PSD has it.
struct NoiseChannelView {
  std::string stream;            // NET.STA.LOC.CHA
  std::vector<double> periods;   // s, shortest first
  std::vector<double> latest;    // dB of the latest window; empty before the first
  std::vector<double> p5, p95;   // over the kept windows; empty before the first
};

struct NoiseTick {
  double at = 0;  // pixel x (period) or y (dB)
  std::string text;
};

struct NoisePicture {
  double shortestPeriod = 0.1, longestPeriod = 100;  // s, the axis
  double lowestDb = -200, highestDb = -50;
  std::vector<std::vector<NoisePoint>> latest;  // per channel
  std::vector<std::vector<NoisePoint>> band;    // per channel: a closed outline, p95 along, p5 back
  std::vector<NoisePoint> lowModel, highModel;  // empty without a sensor
  std::vector<NoiseTick> periodTicks, dbTicks;
  std::string unitLine;
};

// The picture in a plot area of width x height pixels (origin top left).
// The period axis is 0.1-100 s, cut to the periods the channels have; the dB
// axis is -200 to -50 with a sensor (it holds both models), else fitted to
// the values in steps of 10 dB.
NoisePicture LayOutNoise(const std::vector<NoiseChannelView>& channels, bool acceleration, double width, double height);

// The sensor fields: a sensitivity (V per m/s or m/s**2), a unit, a corner
// period (empty: flat). An empty sensitivity is no sensor (a response without
// sensitivity); nullopt and the problem when a field is wrong.
std::optional<SensorResponse> ReadSensorFields(std::string_view sensitivity, std::string_view unit,
                                               std::string_view cornerPeriod, std::string& problem);

// A sensor in one line, for the window: "28.8 V/(m/s), corner 4.5 s", or
// "no sensor: V²/Hz".
std::string SensorText(const SensorResponse& sensor);

}  // namespace voxa
