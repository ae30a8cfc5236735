// The end-of-screen checks and the voltage text of the result labels.
//
// Both examine the frames stored in the screen just completed (at most one
// screen's worth): a screen closed early by a zoom change is judged on what
// it holds. With no frame stored there are no results.
#include <algorithm>
#include <cmath>

#include "analysis/screen.h"
#include "format/number_text.h"
#include "format/sample.h"

namespace voxa {

namespace {

constexpr double kVoltsPerCount = kVoltsPerCountAtGain1;
// Full scale of the dynamic range: the span of a 24-bit sample.
constexpr long double kFullScaleCounts = 16777216.0L;
constexpr double kDecibelsPerBit = 6.02;

// A gain of 0 or below can only come from a broken header; it is read as 1
// rather than turning every voltage into infinity.
double GainInUse(int32_t gain) { return static_cast<double>(std::max(gain, int32_t{1})); }

std::string DynamicRangeText(double bits, double decibels) {
  return FixedText(bits, 6, 2) + " bits |" + FixedText(decibels, 7, 2) + " dB";
}

}  // namespace

std::string VoltageText(double volts) {
  double value = volts;
  const char* unit = " V";
  if (std::fabs(value) < 1.0) {
    value *= 1000.0;
    unit = " mV";
  }
  if (std::fabs(value) < 1.0) {
    value *= 1000.0;
    unit = " \u00B5V";
  }
  return FixedText(value, 6, 2) + unit;
}

ScreenResults Screen::Check(const StreamFormat& format, int32_t gain) const {
  ScreenResults results;
  const int64_t frames = Stored(format);
  if (frames == 0) return results;
  const int32_t channels = Channels(format.channels);
  results.channels = channels;

  // Noise against the offset, as dynamic range. With a single frame there is
  // no N - 1; its one deviation is taken as it is.
  const long double divisor = static_cast<long double>(std::max<int64_t>(frames - 1, 1));
  for (int ch = 0; ch < channels; ++ch) {
    // Extended precision: a full screen of large deviations loses digits in a double.
    long double sumOfSquares = 0.0L;
    for (int64_t f = 0; f < frames; ++f) {
      const int64_t deviation = static_cast<int64_t>(samples_[static_cast<size_t>(f * channels + ch)]) - offset_[ch];
      const long double value = static_cast<double>(deviation);
      sumOfSquares += value * value;
    }
    const long double rms = std::sqrt(sumOfSquares / divisor);
    // A channel equal to its offset throughout has no noise to express in dB.
    if (rms > 0.0L) {
      const double decibels = static_cast<double>(20.0L * std::log10(kFullScaleCounts / rms));
      const double bits = decibels / kDecibelsPerBit;
      results.dynamicRange[ch] = DynamicRangeText(bits, decibels);
    }
    // The offset only means something for screens whose offset was measured.
    if (resetOffset_ || firstScreen_) {
      results.offset[ch] = VoltageText(offset_[ch] * kVoltsPerCount / GainInUse(gain));
    }
  }

  // The peak-to-peak voltage of the screen.
  for (int ch = 0; ch < channels; ++ch) {
    int32_t highest = samples_[static_cast<size_t>(ch)];
    int32_t lowest = highest;
    for (int64_t f = 1; f < frames; ++f) {
      const int32_t sample = samples_[static_cast<size_t>(f * channels + ch)];
      highest = std::max(highest, sample);
      lowest = std::min(lowest, sample);
    }
    const double span = static_cast<double>(static_cast<int64_t>(highest) - lowest);
    results.peakToPeak[ch] = VoltageText(std::fabs(span * kVoltsPerCount / GainInUse(gain)));
  }
  return results;
}

}  // namespace voxa
