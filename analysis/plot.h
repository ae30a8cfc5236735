// The one-second plot: screen lay-out, drawing each completed second, and
// the first-order high-pass filter applied while samples are stored.
//
// The plot never draws outside the surface and never divides by a plot size:
// a plot area below kMinPlotWidth x kMinPlotHeight (a window shrunk to
// nothing, or a size not yet set) is laid out as if it had the minimum size.
#pragma once

#include <cstdint>

#include "analysis/surface.h"
#include "stream/acquisition.h"
#include "stream/host.h"

namespace voxa {

// Smallest plot area the lay-out works with. The height gives three channel
// bands of at least two rows each, so the scale's divisor HalfBand - 1 is
// never zero; the width keeps the horizontal step finite.
inline constexpr int32_t kMinPlotWidth = 20;
inline constexpr int32_t kMinPlotHeight = 12;
// Every channel's vertical scale, in counts per pixel, stays within these.
inline constexpr int32_t kMinScale = 1;
inline constexpr int32_t kMaxScale = 100000;

// Lays out the bands, offsets, scales and horizontal step of a new screen.
// Reads the first SampleRate frames of SampleBuffer (the screen's first second).
void PrepareScreen(Acquisition& a);
// Draws the second just completed; at the end of a screen runs the checks and
// starts a new screen with a zeroed sample buffer.
void PlotOneSecond(Acquisition& a, Surface& surface, Host& host);

// Sets the filter up for the current SampleRate, state zeroed, and records
// that rate in HighPassRate. Called at START and after every device header
// record when the filter is on, and also by the window when "High Pass" is
// ticked in the middle of a run: the filter then starts from a fresh set-up
// for the rate in force, never from a stale shift and state.
void InitHighPass(Acquisition& a);
// One filter step for channel ch; returns the value to store.
int32_t HighPassStep(Acquisition& a, int ch, int32_t x);

}  // namespace voxa
