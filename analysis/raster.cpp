// The plot's off-screen image: pixels, a pen, lines that leave out their end
// point, and a border-mode flood fill, all clipped to the image.
#include "analysis/raster.h"

#include <algorithm>
#include <cstddef>

namespace voxa {

namespace {

constexpr uint32_t kOpaque = 0xFF000000u;
constexpr uint32_t kRgbMask = 0x00FFFFFFu;

}  // namespace

Raster::Raster(int width, int height) { Resize(width, height); }

void Raster::Resize(int width, int height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  pixels_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), kOpaque | kWhite);
}

void Raster::SetPenColour(Colour colour) { pen_ = colour & kRgbMask; }

void Raster::MoveTo(int x, int y) {
  penX_ = x;
  penY_ = y;
}

// Bresenham from the pen to (x, y). The end point is left out so that a
// polyline never paints its joints twice and the next segment owns them.
// Only the steps whose major coordinate lies inside the image are walked:
// a trace point millions of pixels away costs one line across the image.
// The minor coordinate at step i is m0 + round(i * minor / major), halves
// away from the start, computed once exactly and then carried incrementally.
void Raster::LineTo(int x, int y) {
  const int64_t x0 = penX_;
  const int64_t y0 = penY_;
  penX_ = x;
  penY_ = y;

  const int64_t dx = static_cast<int64_t>(x) - x0;
  const int64_t dy = static_cast<int64_t>(y) - y0;
  const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
  const int64_t dMajor = xMajor ? dx : dy;
  const int64_t dMinor = xMajor ? dy : dx;
  const int64_t major = dMajor < 0 ? -dMajor : dMajor;
  const int64_t minor = dMinor < 0 ? -dMinor : dMinor;
  if (major == 0) return;

  const int64_t majorStart = xMajor ? x0 : y0;
  const int64_t minorStart = xMajor ? y0 : x0;
  const int64_t majorStep = dMajor < 0 ? -1 : 1;
  const int64_t minorStep = dMinor < 0 ? -1 : 1;
  const int64_t majorLimit = xMajor ? width_ : height_;
  const int64_t minorLimit = xMajor ? height_ : width_;

  int64_t first = 0;
  int64_t last = major - 1;
  if (majorStep > 0) {
    first = std::max(first, -majorStart);
    last = std::min(last, majorLimit - 1 - majorStart);
  } else {
    first = std::max(first, majorStart - (majorLimit - 1));
    last = std::min(last, majorStart);
  }
  if (first > last) return;

  // Exact start even for steps near 2^32 with a minor span near 2^32.
  const __int128 startNumerator = static_cast<__int128>(2) * first * minor + major;
  const int64_t twoMajor = 2 * major;
  int64_t offset = static_cast<int64_t>(startNumerator / twoMajor);
  int64_t remainder = static_cast<int64_t>(startNumerator % twoMajor);

  const uint32_t value = kOpaque | pen_;
  for (int64_t i = first; i <= last; ++i) {
    const int64_t m = majorStart + majorStep * i;
    const int64_t n = minorStart + minorStep * offset;
    if (n >= 0 && n < minorLimit) {
      const int64_t px = xMajor ? m : n;
      const int64_t py = xMajor ? n : m;
      pixels_[static_cast<size_t>(py) * static_cast<size_t>(width_) + static_cast<size_t>(px)] = value;
    }
    remainder += 2 * minor;
    if (remainder >= twoMajor) {
      ++offset;
      remainder -= twoMajor;
    }
  }
}

// Border mode: the 4-connected region around (x, y) of pixels that are not
// the border colour becomes white. Pixels of every other colour are crossed,
// white ones too, so what has been visited is kept in a map rather than read
// from the colours. Span filling: each run of a row is filled once, and only
// the parts of the neighbouring rows not yet covered by the run it came from
// are examined again, so most pixels are tested once or twice.
void Raster::FloodFill(int x, int y, Colour border) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  const size_t width = static_cast<size_t>(width_);
  const size_t count = width * static_cast<size_t>(height_);
  const uint32_t borderRgb = border & kRgbMask;
  if ((pixels_[static_cast<size_t>(y) * width + static_cast<size_t>(x)] & kRgbMask) == borderRgb) return;

  if (visited_.size() != count) {
    visited_.assign(count, 0);
    fillStamp_ = 0;
  }
  if (++fillStamp_ == 0) {
    std::fill(visited_.begin(), visited_.end(), uint8_t{0});
    fillStamp_ = 1;
  }
  const uint8_t stamp = fillStamp_;
  uint32_t* const pixels = pixels_.data();
  uint8_t* const visited = visited_.data();
  const int32_t lastX = width_ - 1;

  fillStack_.clear();
  fillStack_.push_back({x, x, y, 1});
  fillStack_.push_back({x, x, y - 1, -1});
  while (!fillStack_.empty()) {
    FillSpan span = fillStack_.back();
    fillStack_.pop_back();
    if (span.y < 0 || span.y >= height_) continue;
    uint32_t* const row = pixels + static_cast<size_t>(span.y) * width;
    uint8_t* const marks = visited + static_cast<size_t>(span.y) * width;
    const auto inside = [&](int32_t px) { return marks[px] != stamp && (row[px] & kRgbMask) != borderRgb; };
    const auto set = [&](int32_t px) {
      marks[px] = stamp;
      row[px] = kOpaque | kWhite;
    };

    int32_t left = span.left;
    int32_t right = span.right;
    int32_t runStart = left;
    if (inside(runStart)) {
      while (runStart > 0 && inside(runStart - 1)) set(--runStart);
      // The run reaches back beyond the span: the row it came from may
      // continue there too.
      if (runStart < left) fillStack_.push_back({runStart, left - 1, span.y - span.direction, -span.direction});
    }
    while (left <= right) {
      while (left <= lastX && inside(left)) set(left++);
      if (left > runStart) fillStack_.push_back({runStart, left - 1, span.y + span.direction, span.direction});
      if (left - 1 > right) fillStack_.push_back({right + 1, left - 1, span.y - span.direction, -span.direction});
      ++left;
      while (left < right && !inside(left)) ++left;
      runStart = left;
    }
  }
}

void Raster::Refresh() {
  if (onRefresh_) onRefresh_();
}

Colour Raster::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return kWhite;
  return pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)] & kRgbMask;
}

}  // namespace voxa
