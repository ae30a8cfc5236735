// The plot area a window of a given size leaves: the frame and the control
// rows below the plot, the scroll bar of a window narrower than the plot's
// start-up width, and the smallest plot the lay-out works with.
#include "app/window_geometry.h"

#include <gtest/gtest.h>

#include "analysis/screen.h"

namespace voxa {
namespace {

TEST(WindowGeometry, PlotSizeForWindow) {
  const struct {
    const char* legend;
    int width, height;
    int32_t minWidth;
    PlotSize plot;
  } rows[] = {
      {"design size, no minimum yet", 1023, 598, 0, {997, 377}},
      {"tall placement", 1023, 795, 987, {997, 574}},
      {"at the start-up width minus 10", 1013, 795, 987, {987, 574}},
      {"one pixel narrower: the scroll bar takes 15 rows", 1012, 795, 987, {986, 559}},
      {"wider than at start-up", 1400, 900, 987, {1374, 679}},
      {"shrunk to nothing keeps the smallest plot", 10, 10, 987, {kMinPlotWidth, kMinPlotHeight}},
      {"negative sizes too", -50, -50, 0, {kMinPlotWidth, kMinPlotHeight}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(PlotSizeForWindow(row.width, row.height, row.minWidth), row.plot) << row.legend;
  }
}

}  // namespace
}  // namespace voxa
