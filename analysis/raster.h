// An off-screen image the plot draws on: our own pixels, pen, lines and flood
// fill, so the plot can be tested by reading pixels and shown by any window.
// Every drawing operation is clipped to the image; coordinates far outside it
// (a trace point of a wildly offset channel) cost no more than a line across it.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "analysis/surface.h"

namespace voxa {

class Raster : public Surface {
 public:
  Raster(int width, int height);

  // New size; the whole image becomes white.
  void Resize(int width, int height);
  int Width() const override { return width_; }
  int Height() const override { return height_; }

  void SetPenColour(Colour colour) override;
  void MoveTo(int x, int y) override;
  void LineTo(int x, int y) override;
  void FloodFill(int x, int y, Colour border) override;
  void Refresh() override;

  // Called by Refresh(): the window repaints the plot control.
  void SetRefreshCallback(std::function<void()> callback) { onRefresh_ = std::move(callback); }

  // 0xRRGGBB of a pixel; white outside the image.
  Colour Pixel(int x, int y) const;
  // Row-major pixels, Width() per row, each 0xFFRRGGBB: QImage::Format_RGB32 can wrap them.
  const uint32_t* Data() const { return pixels_.data(); }

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<uint32_t> pixels_;
  Colour pen_ = kBlack;
  int penX_ = 0;
  int penY_ = 0;
  // A run of pixels still to be examined in row y, and the direction (+1 or
  // -1) of the row whose fill produced it.
  struct FillSpan {
    int32_t left, right, y, direction;
  };
  // Reused by FloodFill, so a fill does not allocate once warm. The fill
  // marks what it has visited instead of testing colours, because it paints
  // white over regions that may already be white. A pixel is visited by the
  // current fill when its mark equals fillStamp_, so the map needs clearing
  // only once every 255 fills.
  std::vector<FillSpan> fillStack_;
  std::vector<uint8_t> visited_;
  uint8_t fillStamp_ = 0;
  std::function<void()> onRefresh_;
};

}  // namespace voxa
