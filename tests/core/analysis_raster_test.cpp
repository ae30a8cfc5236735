// The plot's own image: lines without their end point, clipping, and the
// border-mode flood fill the plot clears its screens with.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "analysis/raster.h"

namespace voxa {
namespace {

using Points = std::vector<std::pair<int, int>>;

// Every pixel that is not white, row by row.
Points Painted(const Raster& raster) {
  Points points;
  for (int y = 0; y < raster.Height(); ++y) {
    for (int x = 0; x < raster.Width(); ++x) {
      if (raster.Pixel(x, y) != kWhite) points.emplace_back(x, y);
    }
  }
  return points;
}

TEST(RasterLine, PaintsFromThePenUpToButExcludingTheEndPoint) {
  struct Case {
    const char* legend;
    int x0, y0, x1, y1;
    Points expected;  // row by row
  };
  const std::vector<Case> cases = {
      {"leftwards", 5, 2, 1, 2, {{2, 2}, {3, 2}, {4, 2}, {5, 2}}},
      {"upwards", 3, 4, 3, 1, {{3, 2}, {3, 3}, {3, 4}}},
      {"shallow: y rounds to the nearest row", 0, 0, 6, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 2}}},
      {"steep: x rounds to the nearest column", 0, 0, 2, 6, {{0, 0}, {0, 1}, {1, 2}, {1, 3}, {1, 4}, {2, 5}}},
      {"zero length", 2, 2, 2, 2, {}},
      {"clipped at both ends", -3, 7, 9, 7, {{0, 7}, {1, 7}, {2, 7}, {3, 7}, {4, 7}, {5, 7}, {6, 7}, {7, 7}}},
      {"entirely outside", -10, -10, -1, 20, {}},
      // Only the visible part is walked, and its start is computed exactly:
      // the column changes exactly halfway, at row 0.
      {"billions of rows, one column step", 3, -2000000000, 4, 2000000000,
       {{4, 0}, {4, 1}, {4, 2}, {4, 3}, {4, 4}, {4, 5}, {4, 6}, {4, 7}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    Raster raster(8, 8);
    raster.SetPenColour(kBlue);
    raster.MoveTo(c.x0, c.y0);
    raster.LineTo(c.x1, c.y1);
    EXPECT_EQ(Painted(raster), c.expected);
    for (const auto& [x, y] : c.expected) EXPECT_EQ(raster.Pixel(x, y), kBlue);
  }
}

// The span fill against the plainest possible 4-connected fill, on random
// pictures of short lines in four colours (fixed seed: every run is alike).
// Covers crossing white pixels, stopping at diagonal borders, seeds on the
// border and fills that leave pockets.
TEST(RasterFloodFill, MatchesAPlainPixelByPixelFillOnRandomPictures) {
  const Colour colours[] = {kRed, kLime, kBlack, kWhite};
  uint32_t random = 2024;
  const auto next = [&](uint32_t range) {
    random = random * 1103515245u + 12345u;
    return static_cast<int>((random >> 8) % range);
  };
  for (int picture = 0; picture < 200; ++picture) {
    SCOPED_TRACE(picture);
    const int width = 1 + next(40);
    const int height = 1 + next(30);
    Raster raster(width, height);
    for (int line = next(60); line > 0; --line) {
      raster.SetPenColour(colours[next(4)]);
      raster.MoveTo(next(width), next(height));
      raster.LineTo(next(width + 4) - 2, next(height + 4) - 2);
    }
    const int seedX = next(width);
    const int seedY = next(height);
    const Colour border = colours[next(2)];

    std::vector<Colour> expected;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) expected.push_back(raster.Pixel(x, y));
    }
    std::vector<bool> seen(expected.size(), false);
    Points todo = {{seedX, seedY}};
    while (!todo.empty()) {
      const auto [x, y] = todo.back();
      todo.pop_back();
      if (x < 0 || y < 0 || x >= width || y >= height || seen[y * width + x] || expected[y * width + x] == border) {
        continue;
      }
      seen[y * width + x] = true;
      expected[y * width + x] = kWhite;
      todo.insert(todo.end(), {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}});
    }

    raster.FloodFill(seedX, seedY, border);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) ASSERT_EQ(raster.Pixel(x, y), expected[y * width + x]) << x << "," << y;
    }
  }
}

TEST(RasterFloodFill, ARegionLeftAloneForManyFillsIsFilledAgain) {
  // The visited map is reused with a new mark per fill; marks from a fill
  // about 255 fills ago must not count as visited.
  for (int fillsBetween : {1, 254, 255, 256, 600}) {
    SCOPED_TRACE(fillsBetween);
    Raster raster(6, 6);
    raster.SetPenColour(kRed);
    raster.MoveTo(3, 0);
    raster.LineTo(3, 6);
    raster.SetPenColour(kBlack);
    raster.FloodFill(5, 5, kRed);
    for (int i = 0; i < fillsBetween; ++i) raster.FloodFill(0, 0, kRed);
    raster.MoveTo(4, 4);
    raster.LineTo(6, 4);
    raster.FloodFill(5, 5, kRed);
    EXPECT_EQ(raster.Pixel(4, 4), kWhite);
    EXPECT_EQ(raster.Pixel(5, 4), kWhite);
  }
}

TEST(Raster, PixelsAreOpaqueRgb32ForTheWindow) {
  Raster raster(4, 3);
  raster.SetPenColour(0xABCDEF);
  raster.MoveTo(3, 2);
  raster.LineTo(4, 2);
  EXPECT_EQ(raster.Data()[2 * 4 + 3], 0xFFABCDEFu);
  EXPECT_EQ(raster.Data()[0], 0xFFFFFFFFu);
}

}  // namespace
}  // namespace voxa
