// The end-of-screen checks: voltage texts, dynamic range, offset and
// peak-to-peak results, and which frames a screen's checks examine.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "analysis/screen.h"

namespace voxa {
namespace {

const std::string kMicroVolt = " \u00B5V";
constexpr StreamFormat kFormat{50, 1};

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

// One channel at 50 sps, a 2-second screen holding the given frames.
struct CheckedScreen {
  CheckedScreen(const std::vector<int32_t>& samples, int32_t offset) {
    screen.StartRun(false, true, kFormat);
    screen.SetScreenSeconds(2);
    screen.SetOffset({offset, 0, 0});
    std::ranges::copy(samples, screen.MutableSamples().begin());
    screen.SetSampleIndex(static_cast<int32_t>(samples.size()));
  }
  Screen screen;
};

TEST(ScreenChecks, DynamicRangeFromTheNoiseAboutTheOffset) {
  struct Case {
    const char* legend;
    std::vector<int32_t> samples;
    int32_t offset;
    std::optional<std::string> result;
  };
  const std::vector<Case> cases = {
      {"rms 100", {0, 100, -100, 100, -100, 100, -100, 100, -100, 100}, 0, " 17.36 bits | 104.49 dB"},
      {"rms 1 about a large offset", {-8000000, -7999999, -8000001, -7999999, -8000001}, -8000000,
       " 24.00 bits | 144.49 dB"},
      {"a single frame: its deviation is the rms", {100}, 0, " 17.36 bits | 104.49 dB"},
      {"deviations beyond full scale", {8388607, 8388607}, -8388608, " -0.50 bits |  -3.01 dB"},
      {"no noise: no result, the label keeps its text", {4096, 4096, 4096}, 4096, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    const ScreenResults results = CheckedScreen(c.samples, c.offset).screen.Check(kFormat, 16);
    EXPECT_EQ(results.channels, 1);
    EXPECT_EQ(results.dynamicRange[0], c.result);
    EXPECT_FALSE(results.dynamicRange[1]);  // one channel: its results only
  }
}

TEST(ScreenChecks, OffsetOnlyForScreensWhoseOffsetWasMeasured) {
  struct Case {
    bool firstScreen, resetOffset;
    int32_t offset, gain;
    std::optional<std::string> result;
  };
  const std::vector<Case> cases = {
      {true, false, 1000, 16, " 15.26" + kMicroVolt},
      {false, true, -4096, 1, "-1000.00" + kMicroVolt},
      {false, false, 1000, 16, std::nullopt},             // the last shown value stays
      {true, true, -4096, 0, "-1000.00" + kMicroVolt},    // gain 0 from a broken header counts as 1
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.firstScreen << c.resetOffset << c.gain);
    CheckedScreen checked({c.offset + 5, c.offset - 5, c.offset}, c.offset);
    checked.screen.SetFirstScreen(c.firstScreen);
    checked.screen.SetResetOffset(c.resetOffset);
    const ScreenResults results = checked.screen.Check(kFormat, c.gain);
    EXPECT_EQ(results.offset[0], c.result);
    EXPECT_FALSE(results.offset[1]);
  }
}

TEST(ScreenChecks, PeakToPeakOverTheFramesStoredInThisScreen) {
  struct Case {
    const char* legend;
    int32_t screenSeconds, sampleIndex, gain;
    std::string result;
  };
  // 50 sps, one channel; a ramp: frame f holds f counts (gain 1 unless said).
  const std::vector<Case> cases = {
      {"a full 2-second screen: 99 counts", 2, 100, 1, " 24.17" + kMicroVolt},
      {"closed early after 30 frames", 2, 30, 1, "  7.08" + kMicroVolt},
      {"more stored than one screen (zoomed in)", 2, 150, 1, " 24.17" + kMicroVolt},
      {"a screen larger than the buffer", 2000, 100000, 1, " 18.75 mV"},
      {"a single frame", 2, 1, 1, "  0.00" + kMicroVolt},
      {"gain 0 counts as 1", 2, 100, 0, " 24.17" + kMicroVolt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    CheckedScreen checked({}, 0);
    std::vector<int32_t>& samples = checked.screen.MutableSamples();
    for (size_t f = 0; f < samples.size(); ++f) samples[f] = static_cast<int32_t>(f);
    checked.screen.SetScreenSeconds(c.screenSeconds);
    checked.screen.SetSampleIndex(c.sampleIndex);
    const ScreenResults results = checked.screen.Check(kFormat, c.gain);
    EXPECT_EQ(results.channels, 1);
    EXPECT_EQ(results.peakToPeak[0], c.result);
  }
  // Nothing stored: no results at all, so no label changes.
  const ScreenResults none = CheckedScreen({}, 0).screen.Check(kFormat, 1);
  EXPECT_EQ(none.channels, 0);
  EXPECT_FALSE(none.dynamicRange[0] || none.offset[0]);
  EXPECT_EQ(none.peakToPeak[0], "");
  // The full 24-bit span at gain 1.
  EXPECT_EQ(CheckedScreen({0, 8388607, -8388608, 5}, 0).screen.Check(kFormat, 1).peakToPeak[0], "  4.10 V");
}

}  // namespace
}  // namespace voxa
