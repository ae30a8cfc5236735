// The end-of-screen checks: voltage texts, dynamic range, offset and
// peak-to-peak labels, and which frames a screen's checks examine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/checks.h"
#include "analysis_recording_host.h"
#include "stream/acquisition.h"

namespace voxa {
namespace {

using testing_support::RecordingHost;
const std::string kMicroVolt = " \u00B5V";

TEST(VoltageText, ScalesToTheLargestUnitThatKeepsTheValueAtLeastOne) {
  const std::vector<std::pair<double, std::string>> cases = {
      {1.525875e-5, " 15.26" + kMicroVolt},      // offset 1000 counts at gain 16
      {-6.1e-3, " -6.10 mV"},                    // the sign is kept
      {0.0, "  0.00" + kMicroVolt},              // zero in microvolts
      {-0.00099999744, "-1000.00" + kMicroVolt}, // both scalings; wider than the field, not cut
      {4.0959892701, "  4.10 V"},                // full 24-bit span at gain 1
      {1.0, "  1.00 V"},
      {0.5, "500.00 mV"},
  };
  for (const auto& [volts, text] : cases) EXPECT_EQ(VoltageText(volts), text) << volts;
}

// One channel at gain 16 holding the given frames.
Acquisition Screen(const std::vector<int32_t>& samples, int32_t offset) {
  Acquisition a;
  InitStart(a, RunOptions{});
  a.ChannelCount = 1;
  a.SampleRate = 50;
  a.ScreenSeconds = 2;
  a.Gain = 16;
  a.Offset[0] = offset;
  for (size_t i = 0; i < samples.size(); ++i) a.SampleBuffer[i] = samples[i];
  a.SampleIndex = static_cast<int32_t>(samples.size());
  return a;
}

TEST(NoiseCheck, DynamicRangeFromTheNoiseAboutTheOffset) {
  struct Case {
    const char* legend;
    std::vector<int32_t> samples;
    int32_t offset;
    std::string label;
  };
  const std::vector<Case> cases = {
      {"rms 100", {0, 100, -100, 100, -100, 100, -100, 100, -100, 100}, 0, " 17.36 bits | 104.49 dB"},
      {"rms 1 about a large offset", {-8000000, -7999999, -8000001, -7999999, -8000001}, -8000000,
       " 24.00 bits | 144.49 dB"},
      {"a single frame: its deviation is the rms", {100}, 0, " 17.36 bits | 104.49 dB"},
      {"deviations beyond full scale", {8388607, 8388607}, -8388608, " -0.50 bits |  -3.01 dB"},
      {"no noise: the label keeps its text", {4096, 4096, 4096}, 4096, "previous"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    RecordingHost host;
    host.ShowLabel(Label::Noise1, "previous");
    NoiseCheck(Screen(c.samples, c.offset), host);
    EXPECT_EQ(host.Text(Label::Noise1), c.label);
  }
}

TEST(NoiseCheck, OffsetLabelOnlyForScreensWhoseOffsetWasMeasured) {
  struct Case {
    bool firstScreen, resetOffset;
    int32_t offset, gain;
    std::string label;
  };
  const std::vector<Case> cases = {
      {true, false, 1000, 16, " 15.26" + kMicroVolt},
      {false, true, -4096, 1, "-1000.00" + kMicroVolt},
      {false, false, 1000, 16, "<unset>"},                // the last shown value stays
      {true, true, -4096, 0, "-1000.00" + kMicroVolt},    // gain 0 from a broken header counts as 1
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.firstScreen << c.resetOffset << c.gain);
    Acquisition a = Screen({c.offset + 5, c.offset - 5, c.offset}, c.offset);
    a.FirstScreen = c.firstScreen;
    a.ResetOffset = c.resetOffset;
    a.Gain = c.gain;
    RecordingHost host;
    NoiseCheck(a, host);
    EXPECT_EQ(host.Text(Label::Offset1), c.label);
    EXPECT_EQ(host.Text(Label::Noise2), "<unset>");  // one channel: its labels only
  }
}

TEST(ScreenChecks, PeakToPeakOverTheFramesStoredInThisScreen) {
  struct Case {
    const char* legend;
    int32_t screenSeconds, sampleIndex, gain;
    std::string label;
  };
  // 50 sps, one channel; a ramp: frame f holds f counts (gain 1 unless said).
  const std::vector<Case> cases = {
      {"a full 2-second screen: 99 counts", 2, 100, 1, " 24.17" + kMicroVolt},
      {"closed early after 30 frames", 2, 30, 1, "  7.08" + kMicroVolt},
      {"more stored than one screen (zoomed in)", 2, 150, 1, " 24.17" + kMicroVolt},
      {"a screen larger than the buffer", 2000, 100000, 1, " 18.75 mV"},
      {"a single frame", 2, 1, 1, "  0.00" + kMicroVolt},
      {"gain 0 counts as 1", 2, 100, 0, " 24.17" + kMicroVolt},
      {"nothing stored: no label changes", 2, 0, 1, "<unset>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    Acquisition a = Screen({}, 0);
    for (int32_t f = 0; f < kSampleSlots; ++f) a.SampleBuffer[f] = f;
    a.ScreenSeconds = c.screenSeconds;
    a.SampleIndex = c.sampleIndex;
    a.Gain = c.gain;
    RecordingHost host;
    NoiseCheck(a, host);
    SignalCheck(a, host);
    EXPECT_EQ(host.Text(Label::Volt1), c.label);
    if (c.sampleIndex == 0) {
      EXPECT_EQ(host.labelWrites, 0);
    }
  }
  // The full 24-bit span at gain 1.
  Acquisition a = Screen({0, 8388607, -8388608, 5}, 0);
  a.Gain = 1;
  RecordingHost host;
  SignalCheck(a, host);
  EXPECT_EQ(host.Text(Label::Volt1), "  4.10 V");
}

}  // namespace
}  // namespace voxa
