// The one-second plot: screen lay-out, drawing each completed second, and
// the first-order high-pass filter applied while samples are stored.
#pragma once

#include <cstdint>

#include "analysis/surface.h"
#include "stream/acquisition.h"
#include "stream/host.h"

namespace voxa {

// Lays out the bands, offsets, scales and horizontal step of a new screen.
void PrepareScreen(Acquisition& a);
// Draws the second just completed; at the end of a screen runs the checks and
// starts a new screen.
void PlotOneSecond(Acquisition& a, Surface& surface, Host& host);

// Sets the filter up for the current SampleRate, state zeroed.
void InitHighPass(Acquisition& a);
// One filter step for channel ch; returns the value to store.
int32_t HighPassStep(Acquisition& a, int ch, int32_t x);

}  // namespace voxa
