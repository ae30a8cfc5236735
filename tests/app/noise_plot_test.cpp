// The Noise window's picture in numbers: the axes a rate and window allow,
// the curves placed on them, and the sensor fields read or refused.
#include "app/noise_plot.h"

#include <gtest/gtest.h>

#include <cmath>

namespace voxa {
namespace {

TEST(NoisePlot, AxesAndCurves) {
  NoiseChannelView channel;
  for (int k = -27; k <= 43; ++k) channel.periods.push_back(std::exp2(k / 8.0));  // 0.096 ... 41 s
  channel.latest.assign(channel.periods.size(), -140);
  channel.p5.assign(channel.periods.size(), -150);
  channel.p95.assign(channel.periods.size(), -130);
  const NoisePicture withSensor = LayOutNoise({channel}, true, 600, 300);
  EXPECT_DOUBLE_EQ(withSensor.shortestPeriod, 0.1);
  EXPECT_NEAR(withSensor.longestPeriod, std::exp2(43 / 8.0), 1e-9);  // what the window allows, not 100 s
  EXPECT_EQ(withSensor.lowestDb, -200);
  EXPECT_EQ(withSensor.highestDb, -50);
  // -140 dB is 90/150 of the way down from -50; the curve spans the axis.
  ASSERT_FALSE(withSensor.latest[0].empty());
  EXPECT_NEAR(withSensor.latest[0].front().y, 180, 1e-9);
  EXPECT_NEAR(withSensor.latest[0].back().x, 600, 1e-6);
  EXPECT_EQ(withSensor.band[0].size(), 2 * withSensor.latest[0].size());
  EXPECT_NEAR(withSensor.band[0].front().y, 160, 1e-9);  // p95 along the top
  EXPECT_NEAR(withSensor.band[0].back().y, 200, 1e-9);  // p5 back along the bottom
  EXPECT_FALSE(withSensor.lowModel.empty());
  EXPECT_FALSE(withSensor.highModel.empty());
  EXPECT_EQ(withSensor.periodTicks.front().text, "0.1");
  EXPECT_EQ(withSensor.periodTicks.back().text, "20");

  // In volts the dB axis fits the values, with no models.
  const NoisePicture volts = LayOutNoise({channel}, false, 600, 300);
  EXPECT_EQ(volts.lowestDb, -150);
  EXPECT_EQ(volts.highestDb, -110);
  EXPECT_TRUE(volts.lowModel.empty());
  EXPECT_EQ(volts.unitLine, "no sensor: V\u00b2/Hz");
  // Before any window: the axes alone.
  const NoisePicture empty = LayOutNoise({}, true, 600, 300);
  EXPECT_TRUE(empty.latest.empty());
  EXPECT_DOUBLE_EQ(empty.longestPeriod, 100);
}

TEST(NoisePlot, SensorFields) {
  struct Row {
    const char* legend;
    const char *sensitivity, *unit, *corner;
    double expectedSensitivity;  // < 0: refused
    const char* problemPart;
  };
  const Row rows[] = {
      {"none", "", "m/s", "", 0, ""},
      {"a geophone", " 28.8 ", "m/s", "4.5", 28.8, ""},
      {"an accelerometer", "2.5", "m/s**2", "", 2.5, ""},
      {"not a number", "28,8", "m/s", "", -1, "'28,8' is not a positive number"},
      {"zero", "0", "m/s", "", -1, "not a positive number"},
      {"a bad corner", "28.8", "m/s", "-1", -1, "corner period '-1'"},
      {"a corner alone", "", "m/s", "4.5", -1, "needs a sensitivity"},
  };
  for (const Row& row : rows) {
    std::string problem;
    const std::optional<SensorResponse> sensor = ReadSensorFields(row.sensitivity, row.unit, row.corner, problem);
    if (row.expectedSensitivity < 0) {
      EXPECT_FALSE(sensor) << row.legend;
      EXPECT_NE(problem.find(row.problemPart), std::string::npos) << row.legend << ": " << problem;
      continue;
    }
    ASSERT_TRUE(sensor) << row.legend << ": " << problem;
    EXPECT_EQ(sensor->sensitivity, row.expectedSensitivity) << row.legend;
  }
  std::string problem;
  const SensorResponse geophone = *ReadSensorFields("28.8", "m/s", "4.5", problem);
  EXPECT_EQ(SensorText(geophone), "28.8 V/(m/s), corner 4.5 s");
  EXPECT_EQ(SensorText(SensorResponse{}), "no sensor: V\u00b2/Hz");
}

}  // namespace
}  // namespace voxa
