// The drop shadow of a borderless window as plain pixel arithmetic: the window's silhouette,
// blurred, tinted in one colour and cut out where the window itself lies. The image is 16
// pixels larger than the window on every side and premultiplied by alpha, in the byte order
// blue, green, red, alpha (the layout of a little-endian ARGB32 premultiplied picture).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pelcato {

// How far the shadow reaches beyond the window on every side.
constexpr int kShadowMargin = 16;

// A 32-bit picture, four bytes per pixel (blue, green, red, alpha), rows from the top, no gaps.
struct TBgraImage {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Bits;

  // New size, every byte 0.
  void Resize(int width, int height);
  uint8_t* Pixel(int x, int y) { return Bits.data() + (size_t(y) * size_t(Width) + size_t(x)) * 4; }
  const uint8_t* Pixel(int x, int y) const {
    return Bits.data() + (size_t(y) * size_t(Width) + size_t(x)) * 4;
  }
};

// A rectangle of pixels; Right and Bottom lie just outside it.
struct TPixelRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  bool operator==(const TPixelRect&) const = default;
};

// [c][a] = c * a / 255 (integer division): a colour component c scaled by an alpha a.
using TProductTable = std::array<std::array<uint8_t, 256>, 256>;
extern const TProductTable ProductTable;

// A colour as 0x00BBGGRR.
using TShadowColor = uint32_t;

// One blur pass in place: every colour component becomes the integer mean of the four diagonal
// neighbours at distance radius, with coordinates held inside the picture. Rows above the
// current one are read as this pass has already written them; alpha is left alone.
void BlurPass(TBgraImage& image, int radius);

// Tints every pixel: with deriveAlpha its alpha becomes its blue value (the blurred grey
// level) first; then each component is the tint's component scaled by that alpha.
void ApplyShadowColor(TBgraImage& image, TShadowColor color, bool deriveAlpha);

// Fills rect (clipped to the picture) with one grey value in blue, green and red; alpha 0.
void FillGrey(TBgraImage& image, const TPixelRect& rect, uint8_t grey);

// Builds the shadow of a window of the given size. shape lists the rectangles of the window's
// region in window coordinates; with fewer than two rectangles the region is not complex and
// the window's own rectangle stands for it. The result is (width + 32) x (height + 32).
void BuildShadowImage(TBgraImage& image, int windowWidth, int windowHeight,
                      const std::vector<TPixelRect>& shape, TShadowColor color);

// The region of a rectangle from (left, top) to just before (right, bottom) with its corners
// rounded by an ellipse of the given width and height, one rectangle per run of equal rows.
// A pixel of a corner belongs to the region when its centre lies inside the corner's ellipse.
std::vector<TPixelRect> RoundRectShape(int left, int top, int right, int bottom, int ellipseWidth,
                                       int ellipseHeight);

}  // namespace pelcato
