// Peterson's (1993) new low and high noise models, the curves a station's
// noise is judged against: acceleration power in dB re 1 (m/s^2)^2/Hz as
// A + B log10(P) on each segment of period P, for 0.1 ... 100,000 s.
#pragma once

#include <optional>
#include <span>

namespace voxa {

enum class NoiseModel { Low, High };

// One line of the published tables: from `period` on (up to the next line's
// period) the model is a + b log10(P).
struct ModelSegment {
  double period;
  double a;
  double b;
};

inline constexpr double kModelShortestPeriod = 0.1;
inline constexpr double kModelLongestPeriod = 100000.0;

// The 21 (low) or 11 (high) segments, in order of period.
std::span<const ModelSegment> ModelSegments(NoiseModel model);

// The model at a period in seconds; nullopt outside 0.1 ... 100,000 s.
std::optional<double> ModelDecibels(NoiseModel model, double period);

}  // namespace voxa
