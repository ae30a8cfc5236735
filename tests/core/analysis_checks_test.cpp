// The end-of-screen checks: voltage texts, dynamic range, offset and
// peak-to-peak labels, and which frames a screen's checks examine.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "analysis/checks.h"
#include "analysis_recording_host.h"
#include "stream/acquisition.h"

namespace voxa {
namespace {

using testing_support::RecordingHost;

const std::string kMicro = "\u00B5";

TEST(VoltageText, ScalesToTheLargestUnitThatKeepsTheValueAtLeastOne) {
  struct Case {
    const char* legend;
    double volts;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"offset 1000 counts at gain 16", 1.525875e-5, " 15.26 " + kMicro + "V"},
      {"negative millivolts keep their sign", -6.1e-3, " -6.10 mV"},
      {"zero is shown in microvolts", 0.0, "  0.00 " + kMicro + "V"},
      {"just under a millivolt: both scalings, wider than the field", -0.00099999744, "-1000.00 " + kMicro + "V"},
      {"full 24-bit span at gain 1", 4.0959892701, "  4.10 V"},
      {"exactly one volt stays in volts", 1.0, "  1.00 V"},
      {"half a volt", 0.5, "500.00 mV"},
      {"exactly one millivolt", 1e-3, "  1.00 mV"},
      {"a longer number is not cut", 1234.5, "1234.50 V"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    EXPECT_EQ(VoltageText(c.volts), c.text);
  }
}

// One channel, the given samples as the screen's frames, offset as given.
Acquisition OneChannelScreen(const std::vector<int32_t>& samples, int32_t offset) {
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
    std::vector<int32_t> deviations;
    int32_t offset;
    std::string label;
  };
  const std::string kPrevious = "previous";
  const std::vector<Case> cases = {
      {"rms 100", {0, 100, -100, 100, -100, 100, -100, 100, -100, 100}, 0, " 17.36 bits | 104.49 dB"},
      {"rms 1", {0, 1, -1, 1, -1}, 0, " 24.00 bits | 144.49 dB"},
      {"rms 1 about a large negative offset", {0, 1, -1, 1, -1}, -8000000, " 24.00 bits | 144.49 dB"},
      {"a single frame: its deviation is the rms", {100}, 0, " 17.36 bits | 104.49 dB"},
      {"deviations beyond full scale", {16777215, 16777215}, -8388608, " -0.50 bits |  -3.01 dB"},
      {"no noise: the label keeps its text", {0, 0, 0, 0}, 0, kPrevious},
      {"no noise about a non-zero offset", {0, 0}, 4096, kPrevious},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    std::vector<int32_t> samples;
    for (int32_t d : c.deviations) samples.push_back(static_cast<int32_t>(static_cast<int64_t>(d) + c.offset));
    const Acquisition a = OneChannelScreen(samples, c.offset);
    RecordingHost host;
    host.ShowLabel(Label::Noise1, kPrevious);
    NoiseCheck(a, host);
    EXPECT_EQ(host.Text(Label::Noise1), c.label);
  }
}

TEST(NoiseCheck, OffsetLabelOnlyForScreensWhoseOffsetWasMeasured) {
  struct Case {
    const char* legend;
    bool firstScreen, resetOffset;
    int32_t offset, gain;
    std::string label;
  };
  const std::vector<Case> cases = {
      {"first screen", true, false, 1000, 16, " 15.26 " + kMicro + "V"},
      {"reset offset", false, true, -4096, 1, "-1000.00 " + kMicro + "V"},
      {"both", true, true, 0, 64, "  0.00 " + kMicro + "V"},
      {"neither: the last shown value stays", false, false, 1000, 16, "<unset>"},
      {"a gain of 0 from a broken header counts as 1", true, false, -4096, 0, "-1000.00 " + kMicro + "V"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    Acquisition a = OneChannelScreen({c.offset + 5, c.offset - 5, c.offset}, c.offset);
    a.FirstScreen = c.firstScreen;
    a.ResetOffset = c.resetOffset;
    a.Gain = c.gain;
    RecordingHost host;
    NoiseCheck(a, host);
    EXPECT_EQ(host.Text(Label::Offset1), c.label);
    EXPECT_NE(host.Text(Label::Noise1), "<unset>");  // noise is renewed every screen
  }
}

TEST(SignalCheck, PeakToPeakVoltage) {
  struct Case {
    const char* legend;
    std::vector<int32_t> samples;
    int32_t gain;
    std::string label;
  };
  const std::vector<Case> cases = {
      {"full 24-bit span at gain 1", {0, 8388607, -8388608, 5}, 1, "  4.10 V"},
      {"constant channel", {777, 777, 777}, 16, "  0.00 " + kMicro + "V"},
      {"maximum found after the minimum", {-100, -50, 100}, 16, "  3.05 " + kMicro + "V"},
      {"a single frame", {12345}, 1, "  0.00 " + kMicro + "V"},
      {"a gain of 0 from a broken header counts as 1", {0, 8192}, 0, "  2.00 mV"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    Acquisition a = OneChannelScreen(c.samples, 0);
    a.Gain = c.gain;
    RecordingHost host;
    SignalCheck(a, host);
    EXPECT_EQ(host.Text(Label::Volt1), c.label);
  }
}

TEST(ScreenChecks, ExamineTheFramesStoredInThisScreenOnly) {
  struct Case {
    const char* legend;
    int32_t screenSeconds, sampleIndex;
    std::string peakToPeak;  // a ramp: frame f holds f counts, gain 1
  };
  // 50 sps, one channel; a full screen of 2 seconds is 100 frames.
  const std::vector<Case> cases = {
      {"a full screen", 2, 100, " 24.17 " + kMicro + "V"},
      {"closed early after 30 frames", 2, 30, "  7.08 " + kMicro + "V"},
      {"more stored than one screen (zoomed in)", 2, 150, " 24.17 " + kMicro + "V"},
      {"a screen larger than the buffer", 2000, 100000, " 18.75 mV"},
      {"nothing stored: no label changes", 2, 0, "<unset>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    Acquisition a;
    InitStart(a, RunOptions{});
    a.ChannelCount = 1;
    a.SampleRate = 50;
    a.Gain = 1;
    a.ScreenSeconds = c.screenSeconds;
    for (int32_t f = 0; f < kSampleSlots; ++f) a.SampleBuffer[f] = f;
    a.SampleIndex = c.sampleIndex;
    RecordingHost host;
    NoiseCheck(a, host);
    SignalCheck(a, host);
    EXPECT_EQ(host.Text(Label::Volt1), c.peakToPeak);
    if (c.sampleIndex == 0) {
      EXPECT_EQ(host.labelWrites, 0);
    }
  }
}

TEST(ScreenChecks, OnlyTheChannelsInUseAreWritten) {
  struct Case {
    const char* legend;
    int32_t channels;
    std::set<Label> written;
  };
  const std::vector<Case> cases = {
      {"one channel", 1, {Label::Noise1, Label::Offset1, Label::Volt1}},
      {"three channels",
       3,
       {Label::Noise1, Label::Noise2, Label::Noise3, Label::Offset1, Label::Offset2, Label::Offset3, Label::Volt1,
        Label::Volt2, Label::Volt3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    Acquisition a;
    InitStart(a, RunOptions{});
    a.ChannelCount = c.channels;
    a.SampleRate = 50;
    a.ScreenSeconds = 1;
    for (int32_t slot = 0; slot < 50 * c.channels; ++slot) a.SampleBuffer[slot] = slot % 7;
    a.SampleIndex = 50 * c.channels;
    RecordingHost host;
    NoiseCheck(a, host);
    SignalCheck(a, host);
    std::set<Label> written;
    for (const auto& [label, text] : host.labels) written.insert(label);
    EXPECT_EQ(written, c.written);
  }
}

}  // namespace
}  // namespace voxa
