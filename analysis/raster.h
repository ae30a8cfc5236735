// An off-screen image the plot draws on: our own pixels, pen, lines and flood
// fill, so the plot can be tested by reading pixels and shown by any window.
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
  std::vector<int> fillStack_;  // reused by FloodFill, so a fill does not allocate once warm
  std::function<void()> onRefresh_;
};

}  // namespace voxa
