#include "app/window_geometry.h"

#include <algorithm>
#include <climits>

#include "analysis/screen.h"

namespace voxa {
namespace {

// The window's frame and the control rows below the plot.
constexpr int64_t kWindowWidthOutsidePlot = 26;
constexpr int64_t kWindowHeightOutsidePlot = 221;
// Rows the horizontal scroll bar of a narrow window takes.
constexpr int64_t kNarrowWindowHeightLoss = 15;

}  // namespace

PlotSize PlotSizeForWindow(int windowWidth, int windowHeight, int32_t minWidth) {
  const int64_t width = static_cast<int64_t>(windowWidth) - kWindowWidthOutsidePlot;
  int64_t height = static_cast<int64_t>(windowHeight) - kWindowHeightOutsidePlot;
  if (width < minWidth) height -= kNarrowWindowHeightLoss;
  // A window shrunk to nothing still leaves a plot the lay-out can divide by.
  return {static_cast<int32_t>(std::clamp<int64_t>(width, kMinPlotWidth, INT32_MAX)),
          static_cast<int32_t>(std::clamp<int64_t>(height, kMinPlotHeight, INT32_MAX))};
}

}  // namespace voxa
