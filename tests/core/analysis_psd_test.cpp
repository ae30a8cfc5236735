// The noise PSD: Welch's method on known signals, gaps, the sensor response,
// the percentile summary and the noise models.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "analysis/noise_models.h"
#include "analysis/psd.h"
#include "analysis/sensor_response.h"

namespace voxa {
namespace {

constexpr int64_t kSecond = 1'000'000;

std::vector<int32_t> WhiteNoise(size_t count, double sigma, uint32_t seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> normal(0.0, sigma);
  std::vector<int32_t> samples(count);
  for (int32_t& s : samples) s = static_cast<int32_t>(std::lround(normal(random)));
  return samples;
}

// Feeds samples a second at a time, as the dater releases them, doing the
// due work after each piece.
void FeedSeconds(ChannelPsd& psd, int64_t start, const std::vector<int32_t>& samples, int32_t rate) {
  for (size_t at = 0; at < samples.size(); at += static_cast<size_t>(rate)) {
    const auto n = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(rate), samples.size() - at));
    psd.Add(start + static_cast<int64_t>(at) * (kSecond / rate), samples.data() + at, n, 1);
    while (psd.Work()) {
    }
  }
}

TEST(Psd, LayoutFollowsTheWindow) {
  struct Row {
    int32_t rate;
    double window;
    int32_t fft;
    int32_t segments;
  };
  for (const Row& row : {Row{800, 3600, 524288, 18}, Row{800, 300, 32768, 26}, Row{100, 3600, 65536, 18},
                         Row{50, 300, 2048, 26}}) {
    const auto layout = PsdLayout::For(row.rate, row.window);
    ASSERT_TRUE(layout) << row.rate;
    EXPECT_EQ(layout->fftLength, row.fft) << row.rate << " sps, " << row.window << " s";
    EXPECT_EQ(layout->segmentStep, row.fft / 4);
    EXPECT_EQ(layout->segments, row.segments) << row.rate << " sps, " << row.window << " s";
    EXPECT_NEAR(layout->periods.front(), 2.0 / row.rate, 2.0 / row.rate * 0.1);
    EXPECT_LE(layout->periods.back(), static_cast<double>(row.fft) / row.rate);
  }
  EXPECT_FALSE(PsdLayout::For(100, 0.1));
  EXPECT_FALSE(PsdLayout::For(0, 300));
}

TEST(Psd, WhiteNoiseGivesTwoSigmaSquaredOverRate) {
  // Removing each segment's line takes power from its lowest bins, so the
  // check stops an octave and a half short of the segment's length.
  struct Case {
    int32_t rate;
    double window;
    int64_t seconds;
    double longest;
  };
  constexpr double kSigma = 1000.0;
  for (const Case& c : {Case{100, PsdSettings::kShortWindowSeconds, 3000, 5.0},
                        Case{50, PsdSettings::kObspyWindowSeconds, 37800, 60.0}}) {
    ChannelPsd psd;
    ASSERT_TRUE(psd.Start(c.rate, 1, SensorResponse{}, {c.window, 24 * 3600}));
    FeedSeconds(psd, 0, WhiteNoise(static_cast<size_t>(c.seconds * c.rate), kSigma, 7), c.rate);
    ASSERT_EQ(psd.WindowsDone(), static_cast<int64_t>((c.seconds - c.window) / (c.window / 2)) + 1);
    EXPECT_FALSE(psd.Acceleration());

    const double volts = VoltsPerCount(1);
    const double expected = 10.0 * std::log10(2.0 * kSigma * kSigma / c.rate * volts * volts);
    const PsdLayout& layout = psd.Layout();
    double meanError = 0.0;
    int periods = 0;
    for (size_t p = 0; p < layout.periods.size(); ++p) {
      if (layout.periods[p] > c.longest) continue;
      double mean = 0.0;
      for (size_t w = 0; w < psd.KeptWindows(); ++w) mean += psd.KeptWindow(w).decibels[p];
      mean /= static_cast<double>(psd.KeptWindows());
      EXPECT_NEAR(mean, expected, 0.5) << c.window << " s windows, at " << layout.periods[p] << " s";
      meanError += mean - expected;
      ++periods;
    }
    // The mean of log values lies a little below the log of the mean power.
    meanError /= periods;
    EXPECT_LT(meanError, 0.0) << c.window << " s windows";
    EXPECT_GT(meanError, -0.4) << c.window << " s windows";
  }
}

TEST(Psd, SinePeaksAtItsPeriod) {
  // An octave's mean of dB values spreads a line over the centres within half
  // an octave of it, and raises most the one with the fewest bins (the
  // longest); so the peak is within half an octave of the sine's period. At
  // short periods, where an octave holds hundreds of bins, a line hardly
  // lifts the mean at all (as in any PPSD), so the periods here are long.
  constexpr int32_t kRate = 200;
  constexpr double kSigma = 1000.0;
  const double volts = VoltsPerCount(1);
  const double floor = 10.0 * std::log10(2.0 * kSigma * kSigma / kRate * volts * volts);
  for (const double period : {1.0, 2.0, 4.0, 8.0}) {
    ChannelPsd psd;
    ASSERT_TRUE(psd.Start(kRate, 1, SensorResponse{}, {PsdSettings::kShortWindowSeconds, 3600}));
    std::vector<int32_t> samples = WhiteNoise(300 * kRate, kSigma, 3);
    for (size_t i = 0; i < samples.size(); ++i) {
      samples[i] += static_cast<int32_t>(std::lround(50000.0 * std::sin(2 * std::numbers::pi * i / (kRate * period))));
    }
    FeedSeconds(psd, 0, samples, kRate);
    ASSERT_EQ(psd.WindowsDone(), 1);
    const std::vector<float>& db = psd.Latest()->decibels;
    const size_t peak = static_cast<size_t>(std::max_element(db.begin(), db.end()) - db.begin());
    EXPECT_LE(std::abs(std::log2(psd.Layout().periods[peak] / period)), 0.5) << "sine of " << period << " s";
    EXPECT_GT(*AtPeriod(psd.Layout().periods, std::vector<double>(db.begin(), db.end()), period), floor + 3.0)
        << "sine of " << period << " s";
  }
}

// The whole chain written out plainly (a direct DFT of each detrended,
// tapered segment; the mean power; octave means of dB), against which the
// PSD's stepped, half-length transform must agree.
std::vector<double> ReferenceWindow(const std::vector<int32_t>& x, const PsdLayout& layout, int gain) {
  const int32_t n = layout.fftLength;
  const size_t edge = static_cast<size_t>(std::lround(0.1 * n));
  std::vector<double> taper(static_cast<size_t>(n), 1.0);
  for (size_t i = 0; i < edge; ++i) {
    taper[i] = taper[static_cast<size_t>(n) - 1 - i] = 0.5 * (1.0 - std::cos(std::numbers::pi * i / edge));
  }
  double taperPower = 0.0;
  for (const double w : taper) taperPower += w * w;
  std::vector<double> power(static_cast<size_t>(n / 2 + 1), 0.0);
  for (int32_t s = 0; s < layout.segments; ++s) {
    std::vector<double> y(x.begin() + s * layout.segmentStep, x.begin() + s * layout.segmentStep + n);
    double mean = 0.0, across = 0.0;
    for (const double v : y) mean += v / n;
    for (int32_t i = 0; i < n; ++i) across += (i - (n - 1) / 2.0) * (y[static_cast<size_t>(i)] - mean);
    const double slope = across / (n * (static_cast<double>(n) * n - 1.0) / 12.0);
    for (int32_t i = 0; i < n; ++i) {
      auto& v = y[static_cast<size_t>(i)];
      v = (v - mean - slope * (i - (n - 1) / 2.0)) * taper[static_cast<size_t>(i)];
    }
    for (int32_t k = 0; k <= n / 2; ++k) {
      double re = 0.0, im = 0.0;
      for (int32_t i = 0; i < n; ++i) {
        const double angle = -2.0 * std::numbers::pi * static_cast<double>((int64_t{k} * i) % n) / n;
        re += y[static_cast<size_t>(i)] * std::cos(angle);
        im += y[static_cast<size_t>(i)] * std::sin(angle);
      }
      power[static_cast<size_t>(k)] += (re * re + im * im) * (k == n / 2 ? 1.0 : 2.0) /
                                       (layout.segments * static_cast<double>(layout.rate) * taperPower);
    }
  }
  std::vector<double> decibels;
  for (const auto& [first, last] : layout.bins) {
    double total = 0.0;
    for (int32_t k = first; k <= last; ++k) {
      total += 10.0 * std::log10(power[static_cast<size_t>(k)] *
                                 CountPowerFactor(SensorResponse{}, gain, static_cast<double>(k) * layout.rate / n));
    }
    decibels.push_back(total / (last - first + 1));
  }
  return decibels;
}

TEST(Psd, AgreesWithThePlainComputation) {
  // A ramp, a sine and noise, so the detrending, the bins' unpacking and
  // the octave means all count.
  for (const int32_t rate : {8, 20}) {
    ChannelPsd psd;
    ASSERT_TRUE(psd.Start(rate, 4, SensorResponse{}, {128.0, 3600}));
    std::vector<int32_t> samples = WhiteNoise(static_cast<size_t>(128 * rate), 300.0, 17);
    for (size_t i = 0; i < samples.size(); ++i) {
      samples[i] += static_cast<int32_t>(std::lround(3.0 * i + 2000.0 * std::sin(0.7 * i)));
    }
    FeedSeconds(psd, 0, samples, rate);
    ASSERT_EQ(psd.WindowsDone(), 1) << rate << " sps";
    const std::vector<double> expected = ReferenceWindow(samples, psd.Layout(), 4);
    ASSERT_EQ(psd.Latest()->decibels.size(), expected.size());
    for (size_t p = 0; p < expected.size(); ++p) {
      EXPECT_NEAR(psd.Latest()->decibels[p], expected[p], 1e-3) << rate << " sps, " << psd.Layout().periods[p] << " s";
    }
  }
}

TEST(Psd, GapsStartNewWindowsAndSkipTheOnesTheyFallIn) {
  constexpr int32_t kRate = 50;
  const std::vector<int32_t> noise = WhiteNoise(2000 * kRate, 100.0, 11);
  struct Case {
    const char* legend;
    int64_t jumpMicros;  // added to every time from second 400 on
    int64_t windows;
  };
  // 300 s windows every 150 s: 0 ... 2000 s holds 12; with a gap at 400 s,
  // 0 ... 400 s holds one (150 ... 450 s crosses it) and 400 ... 2000 s nine.
  for (const Case& c : {Case{"no gap", 0, 12}, Case{"a lost sample", kSecond / kRate, 10},
                        Case{"a lost second", kSecond, 10}, Case{"an overlap", -kSecond / 2, 10}}) {
    ChannelPsd psd;
    ASSERT_TRUE(psd.Start(kRate, 1, SensorResponse{}, {PsdSettings::kShortWindowSeconds, 24 * 3600}));
    for (int64_t s = 0; s < 2000; ++s) {
      const int64_t time = s * kSecond + (s >= 400 ? c.jumpMicros : 0);
      psd.Add(time, noise.data() + s * kRate, kRate, 1);
      psd.Work();
    }
    psd.Drain();
    EXPECT_EQ(psd.WindowsDone(), c.windows) << c.legend;
    EXPECT_EQ(psd.Gaps(), c.jumpMicros == 0 ? 0 : 1) << c.legend;
    for (size_t w = 0; w < psd.KeptWindows(); ++w) {
      const int64_t start = psd.KeptWindow(w).startMicros;
      const int64_t end = start + 300 * kSecond;
      EXPECT_TRUE(end <= 400 * kSecond || start >= 400 * kSecond + c.jumpMicros || c.jumpMicros == 0)
          << c.legend << ": a window over the gap at " << start;
    }
  }
}

TEST(Psd, SamplesReleasedAtOnceAreAllUsed) {
  // The dater may hand on minutes of samples in one call at the first fix.
  constexpr int32_t kRate = 100;
  const std::vector<int32_t> noise = WhiteNoise(900 * kRate, 100.0, 5);
  ChannelPsd stepwise, atOnce;
  const PsdSettings settings{PsdSettings::kShortWindowSeconds, 3600};
  ASSERT_TRUE(stepwise.Start(kRate, 1, SensorResponse{}, settings));
  ASSERT_TRUE(atOnce.Start(kRate, 1, SensorResponse{}, settings));
  FeedSeconds(stepwise, 0, noise, kRate);
  atOnce.Add(0, noise.data(), static_cast<int32_t>(noise.size()), 1);
  atOnce.Drain();
  ASSERT_EQ(atOnce.WindowsDone(), stepwise.WindowsDone());
  for (size_t w = 0; w < atOnce.KeptWindows(); ++w) {
    EXPECT_EQ(atOnce.KeptWindow(w).decibels, stepwise.KeptWindow(w).decibels) << "window " << w;
  }
}

TEST(Psd, SummaryPercentilesAndMode) {
  PsdHistogram histogram(1);
  for (int i = 0; i < 100; ++i) histogram.Add({static_cast<float>(-150 + i / 10)});  // -150 ... -141, 10 each
  histogram.Add({-400.0f});  // below the range: counted in the lowest bin
  EXPECT_EQ(histogram.Windows(), 101);
  EXPECT_DOUBLE_EQ(*histogram.Percentile(0, 50), -145.5);
  EXPECT_DOUBLE_EQ(*histogram.Percentile(0, 95), -140.5);
  EXPECT_DOUBLE_EQ(*histogram.Percentile(0, 5), -149.5);
  EXPECT_DOUBLE_EQ(*histogram.Mode(0), -149.5);  // the first of the equal bins; -150 has 10 too
  EXPECT_EQ(histogram.Count(0, 0), 1);
  EXPECT_FALSE(PsdHistogram(1).Percentile(0, 50));

  const std::vector<double> periods{1.0, 2.0, 4.0};
  const std::vector<double> values{-100.0, -110.0, -90.0};
  EXPECT_DOUBLE_EQ(*AtPeriod(periods, values, 2.0), -110.0);
  EXPECT_NEAR(*AtPeriod(periods, values, std::sqrt(2.0)), -105.0, 1e-9);
  EXPECT_FALSE(AtPeriod(periods, values, 0.5));
  EXPECT_FALSE(AtPeriod(periods, values, 8.0));
}

TEST(SensorResponse, CountsToGroundMotion) {
  const double volts = VoltsPerCount(16);
  EXPECT_DOUBLE_EQ(volts, 2.4414e-7 / 16);
  EXPECT_DOUBLE_EQ(VoltsPerCount(0), 2.4414e-7);
  EXPECT_DOUBLE_EQ(CountPowerFactor(SensorResponse{}, 16, 1.0), volts * volts);

  SensorResponse accelerometer;
  accelerometer.sensitivity = 2.0;
  accelerometer.unit = SensorUnit::Acceleration;
  EXPECT_DOUBLE_EQ(CountPowerFactor(accelerometer, 16, 3.0), volts * volts / 4.0);

  SensorResponse geophone;
  geophone.sensitivity = 28.8;
  const double omega = 2 * std::numbers::pi * 5.0;
  EXPECT_NEAR(CountPowerFactor(geophone, 16, 5.0), volts * volts / (28.8 * 28.8) * omega * omega, 1e-30);
  // With a 4.5 Hz corner: flat well above it, -12 dB per octave well below,
  // and at the corner 1/(2h)^2 of the flat gain.
  geophone.cornerPeriod = 1.0 / 4.5;
  const auto gain = [&](double f) {
    const double w = 2 * std::numbers::pi * f;
    return volts * volts * w * w / CountPowerFactor(geophone, 16, f) / (28.8 * 28.8);
  };
  EXPECT_NEAR(gain(450.0), 1.0, 1e-3);
  EXPECT_NEAR(gain(4.5), 1.0 / (4 * 0.707 * 0.707), 1e-9);
  EXPECT_NEAR(10 * std::log10(gain(0.045) / gain(0.09)), -12.04, 0.05);

  // Poles and zeros of the same geophone give the same shape.
  SensorResponse poleZero = geophone;
  poleZero.cornerPeriod.reset();
  const double w0 = 2 * std::numbers::pi * 4.5;
  poleZero.poles = {{-0.707 * w0, w0 * std::sqrt(1 - 0.5)}, {-0.707 * w0, -w0 * std::sqrt(1 - 0.5)}};
  poleZero.zeros = {{0, 0}, {0, 0}};
  poleZero.normalizationFrequency = 1000.0;
  for (const double f : {0.1, 1.0, 4.5, 20.0}) {
    EXPECT_NEAR(CountPowerFactor(poleZero, 16, f) / CountPowerFactor(geophone, 16, f), 1.0, 2e-3) << f << " Hz";
  }
}

TEST(SensorResponse, BadValuesAreNamed) {
  EXPECT_EQ(CheckSensorResponse(SensorResponse{}), "");
  SensorResponse bad;
  bad.sensitivity = -1.0;
  EXPECT_NE(CheckSensorResponse(bad).find("sensitivity"), std::string::npos);
  bad.sensitivity = 1.0;
  bad.cornerPeriod = 0.0;
  EXPECT_NE(CheckSensorResponse(bad).find("corner period"), std::string::npos);
  EXPECT_EQ(ParseSensorUnit("m/s"), SensorUnit::Velocity);
  EXPECT_EQ(ParseSensorUnit("m/s**2"), SensorUnit::Acceleration);
  EXPECT_FALSE(ParseSensorUnit("g"));
}

TEST(NoiseModels, TabulatedValues) {
  struct Row {
    NoiseModel model;
    double period;
    double decibels;
  };
  for (const Row& row : {Row{NoiseModel::Low, 0.1, -168.0}, Row{NoiseModel::Low, 1.0, -166.40},
                         Row{NoiseModel::Low, 10.0, -163.75}, Row{NoiseModel::Low, 100.0, -185.07},
                         Row{NoiseModel::Low, 100000.0, -103.13}, Row{NoiseModel::High, 0.1, -91.50},
                         Row{NoiseModel::High, 1.0, -116.85}, Row{NoiseModel::High, 10.0, -115.79},
                         Row{NoiseModel::High, 100.0, -131.50}}) {
    EXPECT_NEAR(*ModelDecibels(row.model, row.period), row.decibels, 0.005)
        << (row.model == NoiseModel::Low ? "NLNM" : "NHNM") << " at " << row.period << " s";
  }
  EXPECT_EQ(ModelSegments(NoiseModel::Low).size(), 21u);
  EXPECT_EQ(ModelSegments(NoiseModel::High).size(), 11u);
  EXPECT_FALSE(ModelDecibels(NoiseModel::Low, 0.09));
  EXPECT_FALSE(ModelDecibels(NoiseModel::High, 100001.0));
  // With the exact break periods each curve is continuous where its lines meet.
  for (const NoiseModel model : {NoiseModel::Low, NoiseModel::High}) {
    const auto segments = ModelSegments(model);
    for (size_t i = 1; i < segments.size(); ++i) {
      const double p = segments[i].period;
      const double before = segments[i - 1].a + segments[i - 1].b * std::log10(p);
      EXPECT_NEAR(before, *ModelDecibels(model, p), 0.02) << "break at " << p << " s";
    }
  }
}

}  // namespace
}  // namespace voxa
