// The drawing surface the plot draws on: a pen colour, move-to, line-to,
// flood fill up to a border colour, and a refresh. Colours are 0xRRGGBB.
#pragma once

#include <cstdint>

namespace voxa {

using Colour = uint32_t;
inline constexpr Colour kBlack = 0x000000;
inline constexpr Colour kWhite = 0xFFFFFF;
inline constexpr Colour kBlue = 0x0000FF;
inline constexpr Colour kLime = 0x00FF00;
inline constexpr Colour kRed = 0xFF0000;
inline constexpr Colour kMaroon = 0x800000;

// The size of the plot a window gives the surface, in pixels.
struct PlotSize {
  int32_t width = 0;
  int32_t height = 0;
  friend bool operator==(const PlotSize&, const PlotSize&) = default;
};

class Surface {
 public:
  virtual ~Surface() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void SetPenColour(Colour colour) = 0;
  virtual void MoveTo(int x, int y) = 0;
  // Draws from the pen position to (x, y), excluding the end point, and moves the pen there.
  virtual void LineTo(int x, int y) = 0;
  // Fills with the background (white) from (x, y) up to pixels of the border colour.
  virtual void FloodFill(int x, int y, Colour border) = 0;
  // The surface changed: show it.
  virtual void Refresh() = 0;
};

}  // namespace voxa
