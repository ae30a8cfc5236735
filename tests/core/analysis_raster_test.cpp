// The plot's own image: lines without their end point, clipping, and the
// border-mode flood fill that the plot uses to clear a screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "analysis/raster.h"

namespace voxa {
namespace {

using Points = std::vector<std::pair<int, int>>;

// Every pixel that is not white, in row-major order.
Points Painted(const Raster& raster) {
  Points points;
  for (int y = 0; y < raster.Height(); ++y) {
    for (int x = 0; x < raster.Width(); ++x) {
      if (raster.Pixel(x, y) != kWhite) points.emplace_back(x, y);
    }
  }
  return points;
}

Points RowMajor(Points points) {
  std::sort(points.begin(), points.end(), [](const auto& l, const auto& r) {
    return l.second != r.second ? l.second < r.second : l.first < r.first;
  });
  return points;
}

struct LineCase {
  const char* legend;
  int x0, y0, x1, y1;
  Points expected;
};

TEST(RasterLine, PaintsFromPenUpToButExcludingEndPoint) {
  const std::vector<LineCase> cases = {
      {"horizontal, rightwards", 1, 2, 5, 2, {{1, 2}, {2, 2}, {3, 2}, {4, 2}}},
      {"horizontal, leftwards", 5, 2, 1, 2, {{2, 2}, {3, 2}, {4, 2}, {5, 2}}},
      {"vertical, downwards", 3, 1, 3, 4, {{3, 1}, {3, 2}, {3, 3}}},
      {"vertical, upwards", 3, 4, 3, 1, {{3, 2}, {3, 3}, {3, 4}}},
      {"diagonal", 0, 0, 3, 3, {{0, 0}, {1, 1}, {2, 2}}},
      {"shallow: y rounds to the nearest row", 0, 0, 6, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 2}}},
      {"steep: x rounds to the nearest column", 0, 0, 2, 6, {{0, 0}, {0, 1}, {1, 2}, {1, 3}, {1, 4}, {2, 5}}},
      {"zero length paints nothing", 2, 2, 2, 2, {}},
      {"starts left of the image", -3, 1, 3, 1, {{0, 1}, {1, 1}, {2, 1}}},
      {"ends below the image", 6, 5, 6, 12, {{6, 5}, {6, 6}, {6, 7}}},
      {"entirely outside", -10, -10, -1, 20, {}},
      {"billions of pixels across", -2000000000, 4, 2000000000, 4,
       {{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}, {5, 4}, {6, 4}, {7, 4}}},
      // The column changes exactly halfway, at row 0: the start of the visible
      // part has to be computed exactly, not by stepping or in floating point.
      {"billions of rows, one column step", 3, -2000000000, 4, 2000000000,
       {{4, 0}, {4, 1}, {4, 2}, {4, 3}, {4, 4}, {4, 5}, {4, 6}, {4, 7}}},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.legend);
    Raster raster(8, 8);
    raster.SetPenColour(kBlue);
    raster.MoveTo(c.x0, c.y0);
    raster.LineTo(c.x1, c.y1);
    EXPECT_EQ(Painted(raster), RowMajor(c.expected));
    for (const auto& [x, y] : c.expected) EXPECT_EQ(raster.Pixel(x, y), kBlue);
  }
}

TEST(RasterLine, PolylineContinuesFromTheEndPointInTheCurrentColour) {
  Raster raster(8, 8);
  raster.SetPenColour(kRed);
  raster.MoveTo(1, 1);
  raster.LineTo(4, 1);
  raster.SetPenColour(kLime);
  raster.LineTo(4, 4);
  EXPECT_EQ(Painted(raster), RowMajor({{1, 1}, {2, 1}, {3, 1}, {4, 1}, {4, 2}, {4, 3}}));
  EXPECT_EQ(raster.Pixel(3, 1), kRed);
  EXPECT_EQ(raster.Pixel(4, 1), kLime);  // the joint belongs to the second segment
  EXPECT_EQ(raster.Pixel(4, 4), kWhite);
}

// A 10 x 10 image: a red square outline from (2,2) to (6,6), a black dot and
// a lime dot inside it, a black dot outside it.
Raster BoxedImage() {
  Raster raster(10, 10);
  raster.SetPenColour(kRed);
  raster.MoveTo(2, 2);
  raster.LineTo(6, 2);
  raster.LineTo(6, 6);
  raster.LineTo(2, 6);
  raster.LineTo(2, 2);
  raster.SetPenColour(kBlack);
  raster.MoveTo(4, 4);
  raster.LineTo(5, 4);
  raster.MoveTo(8, 8);
  raster.LineTo(9, 8);
  raster.SetPenColour(kLime);
  raster.MoveTo(3, 5);
  raster.LineTo(4, 5);
  return raster;
}

TEST(RasterFloodFill, WhitensTheRegionUpToTheBorderColourOnly) {
  struct Case {
    const char* legend;
    int x, y;
    Colour border;
    Colour inside1, inside2, outside;  // expected at (4,4), (3,5), (8,8)
    Colour frame;                      // expected at (2,2)
  };
  const std::vector<Case> cases = {
      {"inside the red box", 4, 4, kRed, kWhite, kWhite, kBlack, kRed},
      {"outside the red box", 0, 0, kRed, kBlack, kLime, kWhite, kRed},
      {"starting on the border does nothing", 2, 4, kRed, kBlack, kLime, kBlack, kRed},
      {"starting outside the image does nothing", -1, 4, kLime, kBlack, kLime, kBlack, kRed},
      {"a border colour absent from the image fills everything", 0, 0, kBlue, kWhite, kWhite, kWhite, kWhite},
      {"up to lime: the box is crossed, the lime dot kept", 0, 0, kLime, kWhite, kLime, kWhite, kWhite},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.legend);
    Raster raster = BoxedImage();
    raster.FloodFill(c.x, c.y, c.border);
    EXPECT_EQ(raster.Pixel(4, 4), c.inside1);
    EXPECT_EQ(raster.Pixel(3, 5), c.inside2);
    EXPECT_EQ(raster.Pixel(8, 8), c.outside);
    EXPECT_EQ(raster.Pixel(2, 2), c.frame);
  }
}

TEST(RasterFloodFill, CrossesWhitePixelsAndStopsAtADiagonalBorder) {
  // Black dots reachable from the seed only across white pixels, on both
  // sides of a red diagonal: a 4-connected fill does not slip through it.
  Raster raster(10, 10);
  raster.SetPenColour(kRed);
  raster.MoveTo(0, 0);
  raster.LineTo(10, 10);
  raster.SetPenColour(kBlack);
  raster.MoveTo(8, 1);
  raster.LineTo(9, 1);  // above the diagonal
  raster.MoveTo(1, 8);
  raster.LineTo(2, 8);  // below it
  raster.FloodFill(9, 0, kRed);
  EXPECT_EQ(raster.Pixel(8, 1), kWhite);
  EXPECT_EQ(raster.Pixel(1, 8), kBlack);
  EXPECT_EQ(raster.Pixel(5, 5), kRed);
}

TEST(RasterFloodFill, EachFillStartsAfreshAlsoAfterAResize) {
  // A region left alone for about as many fills as the visited map has
  // marks, then filled again: its old marks must not count as visited.
  for (int fillsBetween : {1, 254, 255, 256, 600}) {
    SCOPED_TRACE(fillsBetween);
    Raster raster(6, 6);
    raster.SetPenColour(kRed);
    raster.MoveTo(3, 0);
    raster.LineTo(3, 6);
    raster.SetPenColour(kBlack);
    raster.FloodFill(5, 5, kRed);
    for (int i = 0; i < fillsBetween; ++i) {
      raster.MoveTo(0, 2);
      raster.LineTo(3, 2);
      raster.FloodFill(0, 0, kRed);
      ASSERT_EQ(raster.Pixel(1, 2), kWhite);
    }
    raster.MoveTo(4, 4);
    raster.LineTo(6, 4);
    raster.FloodFill(5, 5, kRed);
    EXPECT_EQ(raster.Pixel(4, 4), kWhite);
    EXPECT_EQ(raster.Pixel(5, 4), kWhite);
  }

  Raster raster(6, 6);
  raster.FloodFill(0, 0, kRed);
  raster.Resize(12, 3);
  raster.SetPenColour(kMaroon);
  raster.MoveTo(11, 0);
  raster.LineTo(11, 3);
  raster.FloodFill(0, 0, kRed);
  EXPECT_EQ(Painted(raster), Points{});
}

// The span fill against the plainest possible 4-connected fill, on random
// pictures of short lines in four colours (fixed seeds, so every run is alike).
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

    std::vector<Colour> expected(static_cast<size_t>(width * height));
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) expected[y * width + x] = raster.Pixel(x, y);
    }
    if (raster.Pixel(seedX, seedY) != border) {
      std::vector<bool> seen(expected.size(), false);
      std::vector<std::pair<int, int>> todo = {{seedX, seedY}};
      while (!todo.empty()) {
        const auto [x, y] = todo.back();
        todo.pop_back();
        if (x < 0 || y < 0 || x >= width || y >= height) continue;
        const int i = y * width + x;
        if (seen[i] || expected[i] == border) continue;
        seen[i] = true;
        expected[i] = kWhite;
        todo.insert(todo.end(), {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}});
      }
    }

    raster.FloodFill(seedX, seedY, border);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) ASSERT_EQ(raster.Pixel(x, y), expected[y * width + x]) << x << "," << y;
    }
  }
}

TEST(Raster, PixelsAreOpaqueRgb32AndEverythingIsClipped) {
  Raster raster(4, 3);
  raster.SetPenColour(0xABCDEF);
  raster.MoveTo(3, 2);
  raster.LineTo(4, 2);
  EXPECT_EQ(raster.Data()[2 * 4 + 3], 0xFFABCDEFu);
  EXPECT_EQ(raster.Data()[0], 0xFFFFFFFFu);
  EXPECT_EQ(raster.Pixel(3, 2), 0xABCDEFu);
  EXPECT_EQ(raster.Pixel(4, 2), kWhite);  // outside reads as background
  EXPECT_EQ(raster.Pixel(-1, 0), kWhite);

  raster.Resize(5, 2);
  EXPECT_EQ(raster.Width(), 5);
  EXPECT_EQ(raster.Height(), 2);
  EXPECT_EQ(Painted(raster), Points{});

  int refreshes = 0;
  raster.SetRefreshCallback([&] { ++refreshes; });
  raster.Refresh();
  raster.Refresh();
  EXPECT_EQ(refreshes, 2);
}

TEST(Raster, AnEmptyOrNegativeSizeDrawsNothingAndDoesNotFail) {
  for (const auto& [width, height] : std::vector<std::pair<int, int>>{{0, 0}, {-5, 4}, {4, -5}}) {
    SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
    Raster raster(width, height);
    EXPECT_EQ(raster.Width() * raster.Height(), 0);
    raster.MoveTo(-10, -10);
    raster.LineTo(10, 10);
    raster.FloodFill(0, 0, kRed);
    EXPECT_EQ(raster.Pixel(0, 0), kWhite);
  }
}

}  // namespace
}  // namespace voxa
