#include "shadow/ShadowImage.h"

#include <algorithm>
#include <cmath>

namespace pelcato {

namespace {

constexpr TProductTable MakeProductTable() {
  TProductTable table{};
  for (int c = 0; c < 256; ++c) {
    for (int a = 0; a < 256; ++a) table[c][a] = uint8_t(c * a / 255);
  }
  return table;
}

int Clamp(int v, int lo, int hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

}  // namespace

// Built by the compiler, so it is ready before any code runs.
constinit const TProductTable ProductTable = MakeProductTable();

void TBgraImage::Resize(int width, int height) {
  Width = std::max(width, 0);
  Height = std::max(height, 0);
  Bits.assign(size_t(Width) * size_t(Height) * 4, 0);
}

void BlurPass(TBgraImage& image, int radius) {
  const int w = image.Width;
  const int h = image.Height;
  if (w <= 0 || h <= 0) return;
  const size_t stride = size_t(w) * 4;
  uint8_t* bits = image.Bits.data();
  for (int y = 0; y < h; ++y) {
    const uint8_t* rowA = bits + size_t(Clamp(y - radius, 0, h - 1)) * stride;
    const uint8_t* rowB = bits + size_t(Clamp(y + radius, 0, h - 1)) * stride;
    uint8_t* row = bits + size_t(y) * stride;
    for (int x = 0; x < w; ++x) {
      const size_t x1 = size_t(Clamp(x - radius, 0, w - 1)) * 4;
      const size_t x2 = size_t(Clamp(x + radius, 0, w - 1)) * 4;
      uint8_t* p = row + size_t(x) * 4;
      // Red, then green, then blue; each write is seen by the reads that follow.
      for (int c : {2, 1, 0}) {
        p[c] = uint8_t((rowA[x1 + c] + rowA[x2 + c] + rowB[x1 + c] + rowB[x2 + c]) >> 2);
      }
    }
  }
}

void ApplyShadowColor(TBgraImage& image, TShadowColor color, bool deriveAlpha) {
  const auto& red = ProductTable[color & 0xFF];
  const auto& green = ProductTable[(color >> 8) & 0xFF];
  const auto& blue = ProductTable[(color >> 16) & 0xFF];
  uint8_t* p = image.Bits.data();
  uint8_t* const end = p + image.Bits.size();
  for (; p != end; p += 4) {
    if (deriveAlpha) p[3] = p[0];
    const uint8_t a = p[3];
    p[0] = blue[a];
    p[1] = green[a];
    p[2] = red[a];
  }
}

void FillGrey(TBgraImage& image, const TPixelRect& rect, uint8_t grey) {
  const int left = std::max(rect.Left, 0);
  const int right = std::min(rect.Right, image.Width);
  const int top = std::max(rect.Top, 0);
  const int bottom = std::min(rect.Bottom, image.Height);
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      uint8_t* p = image.Pixel(x, y);
      p[0] = p[1] = p[2] = grey;
      p[3] = 0;
    }
  }
}

void BuildShadowImage(TBgraImage& image, int windowWidth, int windowHeight,
                      const std::vector<TPixelRect>& shape, TShadowColor color) {
  image.Resize(windowWidth + 2 * kShadowMargin, windowHeight + 2 * kShadowMargin);
  std::vector<TPixelRect> silhouette;
  if (shape.size() >= 2) {
    for (TPixelRect r : shape) {
      silhouette.push_back({r.Left + kShadowMargin, r.Top + kShadowMargin, r.Right + kShadowMargin,
                            r.Bottom + kShadowMargin});
    }
  } else {
    silhouette.push_back(
        {kShadowMargin, kShadowMargin, kShadowMargin + windowWidth, kShadowMargin + windowHeight});
  }
  for (const TPixelRect& r : silhouette) FillGrey(image, r, 255);
  BlurPass(image, 1);
  BlurPass(image, 2);
  BlurPass(image, 3);
  // Nothing of the shadow may show through the window itself.
  for (const TPixelRect& r : silhouette) FillGrey(image, r, 0);
  ApplyShadowColor(image, color, true);
}

std::vector<TPixelRect> RoundRectShape(int left, int top, int right, int bottom, int ellipseWidth,
                                       int ellipseHeight) {
  std::vector<TPixelRect> rects;
  if (right <= left || bottom <= top) return rects;
  const double rx = std::min(ellipseWidth, right - left) / 2.0;
  const double ry = std::min(ellipseHeight, bottom - top) / 2.0;
  for (int y = top; y < bottom; ++y) {
    const double cy = y + 0.5;
    double dy = 0.0;
    if (cy < top + ry) {
      dy = top + ry - cy;
    } else if (cy > bottom - ry) {
      dy = cy - (bottom - ry);
    }
    int from = left;
    int to = right;
    if (dy > 0.0 && ry > 0.0) {
      const double q = dy / ry;
      const double half = q >= 1.0 ? 0.0 : rx * std::sqrt(1.0 - q * q);
      from = std::max(left, int(std::ceil(left + rx - half - 0.5)));
      to = std::min(right, int(std::floor(right - rx + half - 0.5)) + 1);
    }
    if (to <= from) continue;
    if (!rects.empty() && rects.back().Bottom == y && rects.back().Left == from &&
        rects.back().Right == to) {
      rects.back().Bottom = y + 1;
    } else {
      rects.push_back({from, y, to, y + 1});
    }
  }
  return rects;
}

}  // namespace pelcato
