// The noise PSD a run computes: the simulator's ground noise at a model
// level is found at that level, through the whole pipeline (dating and all),
// gaps restart the windows, and the status names each channel's median.
#include <gtest/gtest.h>

#include <optional>

#include <cmath>

#include "analysis/noise_models.h"
#include "core_test_support.h"
#include "pipeline/noise_status.h"
#include "tools/sim_stream.h"

namespace voxa::test {
namespace {

sim::SimOptions NoiseStream(int rate, int64_t seconds) {
  sim::SimOptions options;
  options.rate = rate;
  options.amplitude = 0.0;
  options.noiseModel = sim::ParseNoiseLevel("nlnm+20dB");
  options.sensitivity = 28.8;
  options.durationSeconds = seconds;
  options.bootLines.clear();
  return options;
}

TEST(PipelineNoise, FindsTheSimulatedModelLevel) {
  PipelineRig rig;
  MonitorOptions options;
  options.run.loadExtHeader = false;
  options.noise.windowSeconds = PsdSettings::kObspyWindowSeconds;
  options.noise.sensor.sensitivity = 28.8;
  rig.Start(options);
  const sim::SimOptions stream = NoiseStream(100, 3700);
  rig.Stream(sim::GenerateStream(stream, stream.durationSeconds), 4096);
  rig.pipeline.Finish();

  ASSERT_EQ(rig.pipeline.NoiseChannels(), 3);
  for (int32_t ch = 0; ch < 3; ++ch) {
    const ChannelPsd& psd = rig.pipeline.Noise(ch);
    ASSERT_EQ(psd.WindowsDone(), 1) << "channel " << ch;
    EXPECT_EQ(psd.Gaps(), 0);
    EXPECT_TRUE(psd.Acceleration());
    const PsdLayout& layout = psd.Layout();
    for (size_t p = 0; p < layout.periods.size(); ++p) {
      if (layout.periods[p] < 0.1 || layout.periods[p] > 10.0) continue;
      // The model as the PSD sees it: the octave's mean of its dB values (where
      // the model bends, that lies up to 2 dB off the value at the centre).
      // Bins beyond the model's periods (below 0.1 s) have no model value.
      double model = 0.0;
      int32_t modelled = 0;
      for (int32_t bin = layout.bins[p][0]; bin <= layout.bins[p][1]; ++bin) {
        const std::optional<double> level =
            ModelDecibels(NoiseModel::Low, static_cast<double>(layout.fftLength) / (bin * layout.rate));
        if (!level) continue;
        model += *level + 20.0;
        ++modelled;
      }
      ASSERT_GT(modelled, 0);
      model /= modelled;
      EXPECT_NEAR(psd.Latest()->decibels[p], model, 1.0) << "channel " << ch << " at " << layout.periods[p] << " s";
    }
  }
  const std::vector<ChannelNoiseStatus> status = NoiseStatus(rig.pipeline);
  ASSERT_EQ(status.size(), 3u);
  EXPECT_EQ(status[0].stream, "XX.V015..EHZ");
  EXPECT_EQ(status[2].stream, "XX.V015..EHE");
  for (size_t ch = 0; ch < status.size(); ++ch) {
    const ChannelNoiseStatus& entry = status[ch];
    const ChannelPsd& psd = rig.pipeline.Noise(static_cast<int32_t>(ch));
    const std::vector<double> latest(psd.Latest()->decibels.begin(), psd.Latest()->decibels.end());
    EXPECT_TRUE(entry.acceleration);
    EXPECT_EQ(entry.windows, 1);
    for (size_t i = 0; i < kStatusPeriods.size(); ++i) {
      ASSERT_TRUE(entry.medianDb[i]) << entry.stream << " at " << kStatusPeriods[i] << " s";
      // The median of one window is that window, read from 1 dB bins.
      EXPECT_NEAR(*entry.medianDb[i], *AtPeriod(psd.Layout().periods, latest, kStatusPeriods[i]), 0.6)
          << entry.stream << " at " << kStatusPeriods[i] << " s";
    }
  }
}

TEST(PipelineNoise, LostBlocksAndSecondsAreGaps) {
  struct Case {
    const char* legend;
    sim::FaultKind kind;
    int value;
  };
  for (const Case& c : {Case{"a second short of blocks", sim::FaultKind::kBlockCount, 30},
                        Case{"a lost second mark", sim::FaultKind::kMissingMark, 0},
                        Case{"a block losing a byte", sim::FaultKind::kDropByte, 0}}) {
    PipelineRig rig;
    MonitorOptions options;
    options.run.loadExtHeader = false;
    rig.Start(options);
    sim::SimOptions stream = NoiseStream(50, 1000);
    stream.faults.push_back({c.kind, 500, 5, c.value});
    rig.Stream(sim::GenerateStream(stream, stream.durationSeconds));
    rig.pipeline.Finish();
    const ChannelPsd& psd = rig.pipeline.Noise(0);
    EXPECT_FALSE(psd.Acceleration()) << "no sensor: V^2/Hz";
    // 300 s windows every 150 s: 0 ... 1000 s holds 5; a gap at 500 s leaves
    // 0 ... 500 s two and 500 ... 1000 s two.
    if (c.kind == sim::FaultKind::kMissingMark) {
      // A lost mark alone loses no sample: the next mark's time follows on.
      EXPECT_EQ(psd.Gaps(), 0) << c.legend;
      EXPECT_EQ(psd.WindowsDone(), 5) << c.legend;
    } else {
      EXPECT_EQ(psd.Gaps(), 1) << c.legend;
      EXPECT_EQ(psd.WindowsDone(), 4) << c.legend;
    }
  }
}

}  // namespace
}  // namespace voxa::test
