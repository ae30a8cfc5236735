// The arithmetic behind the zoom, amplitude and resize handlers of the window.
#pragma once

#include "stream/acquisition.h"

namespace voxa {

void ZoomIn(Acquisition& a);
void ZoomOut(Acquisition& a);
void IncreaseAmplitude(Acquisition& a);  // "++": Scale / 4, at least 1
void DecreaseAmplitude(Acquisition& a);  // "- -": Scale x 4, at most 100000

// A new window size: PlotWidth, PlotHeight (never below kMinPlotWidth x
// kMinPlotHeight); a new screen is due that keeps its x.
void ResizePlot(Acquisition& a, int windowWidth, int windowHeight);

}  // namespace voxa
