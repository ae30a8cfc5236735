// The main window's geometry, in plain numbers: how much of the window the
// plot gets. Sizes of the windows follow the classic desktop convention the
// layout was designed with: they include a 4-pixel border on every side and a
// 23-pixel caption. The client area is that much smaller, whatever frame the
// window manager then draws around it.
#pragma once

#include <cstdint>

#include "analysis/surface.h"

namespace voxa {

inline constexpr int kFrameWidth = 8;
inline constexpr int kFrameHeight = 31;

// The plot area of a window of this size (frame included). A window narrower
// than minWidth (the plot's start-up width minus 10) shows a horizontal
// scroll bar under the controls, which takes rows from the plot. The plot
// never gets smaller than the lay-out can work with.
PlotSize PlotSizeForWindow(int windowWidth, int windowHeight, int32_t minWidth);

}  // namespace voxa
