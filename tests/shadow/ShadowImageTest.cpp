#include <gtest/gtest.h>

#include "shadow/ShadowImage.h"

namespace pelcato {
namespace {

constexpr TShadowColor kTint = 0xA1794A;  // red 74, green 121, blue 161

TBgraImage GreyImage(int w, int h, std::initializer_list<uint8_t> greys, uint8_t alpha) {
  TBgraImage img;
  img.Resize(w, h);
  auto it = greys.begin();
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x, ++it) {
      uint8_t* p = img.Pixel(x, y);
      p[0] = p[1] = p[2] = *it;
      p[3] = alpha;
    }
  }
  return img;
}

TEST(ProductTable, ScalesAComponentByAnAlpha) {
  EXPECT_EQ(ProductTable[255][255], 255);
  EXPECT_EQ(ProductTable[0][200], 0);
  EXPECT_EQ(ProductTable[200][0], 0);
  EXPECT_EQ(ProductTable[128][128], 64);  // 16384 / 255 = 64.25
  EXPECT_EQ(ProductTable[200][100], 78);  // 20000 / 255 = 78.4
  EXPECT_EQ(ProductTable[255][1], 1);
  EXPECT_EQ(ProductTable[1][254], 0);
  EXPECT_EQ(ProductTable[161][200], 126);
}

// A single white pixel in a 3 x 3 picture, worked through by hand: the pass writes into the
// picture it reads, so each row sees the row above as already blurred, and the clamped reads
// of the first and last rows see the current row.
TEST(BlurPass, InPlaceMeanOfDiagonalNeighbours) {
  TBgraImage img = GreyImage(3, 3, {0, 0, 0, 0, 255, 0, 0, 0, 0}, 7);
  BlurPass(img, 1);
  const uint8_t expected[9] = {63, 15, 67, 19, 32, 20, 12, 12, 16};
  for (int i = 0; i < 9; ++i) {
    const uint8_t* p = img.Pixel(i % 3, i / 3);
    EXPECT_EQ(p[0], expected[i]) << "pixel " << i;
    EXPECT_EQ(p[1], expected[i]) << "pixel " << i;
    EXPECT_EQ(p[2], expected[i]) << "pixel " << i;
    EXPECT_EQ(p[3], 7) << "alpha of pixel " << i;
  }
}

TEST(BlurPass, RadiusBeyondThePictureClampsToItsEdges) {
  // Every read is clamped to the corners: the mean of the four corners, as far as written.
  TBgraImage img = GreyImage(2, 1, {100, 200}, 0);
  BlurPass(img, 5);
  // x=0: (100 + 200 + 100 + 200) / 4 = 150; x=1 reads the new 150: (150+200+150+200)/4 = 175.
  EXPECT_EQ(img.Pixel(0, 0)[0], 150);
  EXPECT_EQ(img.Pixel(1, 0)[0], 175);
  TBgraImage empty;
  BlurPass(empty, 1);  // nothing to do, no crash
}

TEST(ApplyShadowColor, DerivesAlphaFromGreyThenRetintsWithStoredAlpha) {
  TBgraImage img = GreyImage(2, 1, {200, 0}, 0);
  ApplyShadowColor(img, kTint, true);
  const uint8_t* p = img.Pixel(0, 0);
  EXPECT_EQ(p[3], 200);
  EXPECT_EQ(p[0], 126);  // 161 * 200 / 255
  EXPECT_EQ(p[1], 94);   // 121 * 200 / 255
  EXPECT_EQ(p[2], 58);   // 74 * 200 / 255
  EXPECT_EQ(img.Pixel(1, 0)[3], 0);

  ApplyShadowColor(img, 0x0000FF, false);  // pure red, alpha as stored
  EXPECT_EQ(p[3], 200);
  EXPECT_EQ(p[0], 0);
  EXPECT_EQ(p[1], 0);
  EXPECT_EQ(p[2], 200);
}

TEST(RoundRectShape, RoundsTheFourCornersAlike) {
  const auto rects = RoundRectShape(2, 1, 593, 452, 9, 9);
  ASSERT_FALSE(rects.empty());
  EXPECT_EQ(rects.front().Top, 1);
  EXPECT_EQ(rects.back().Bottom, 452);
  // The top row lacks two pixels at each end, the next one one pixel; the rest are whole.
  ASSERT_GE(rects.size(), 5u);
  EXPECT_EQ(rects[0], (TPixelRect{4, 1, 591, 2}));
  EXPECT_EQ(rects[1], (TPixelRect{3, 2, 592, 3}));
  EXPECT_EQ(rects[2], (TPixelRect{2, 3, 593, 450}));
  int fullRows = 0;
  for (const TPixelRect& r : rects) {
    EXPECT_EQ(r.Left - 2, 593 - r.Right) << "row " << r.Top;
    if (r.Left == 2 && r.Right == 593) fullRows += r.Bottom - r.Top;
  }
  EXPECT_EQ(fullRows, 451 - 4);
  // Top and bottom mirror each other.
  const auto& last = rects.back();
  EXPECT_EQ(last.Left, 4);
  EXPECT_EQ(last.Bottom - last.Top, rects.front().Bottom - rects.front().Top);
  EXPECT_TRUE(RoundRectShape(5, 5, 5, 9, 9, 9).empty());
}

bool InShape(const std::vector<TPixelRect>& shape, int x, int y) {
  for (const TPixelRect& r : shape) {
    if (x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom) return true;
  }
  return false;
}

TEST(BuildShadowImage, FadesOutwardAndLeavesTheWindowClear) {
  const auto shape = RoundRectShape(2, 1, 60, 40, 9, 9);
  TBgraImage img;
  BuildShadowImage(img, 60, 40, shape, kTint);
  ASSERT_EQ(img.Width, 92);
  ASSERT_EQ(img.Height, 72);
  for (int y = 0; y < img.Height; ++y) {
    for (int x = 0; x < img.Width; ++x) {
      const uint8_t* p = img.Pixel(x, y);
      if (InShape(shape, x - kShadowMargin, y - kShadowMargin)) {
        ASSERT_EQ(p[0] | p[1] | p[2] | p[3], 0) << "under the window at " << x << "," << y;
      }
      // Premultiplied: no component exceeds the tint's share of the alpha.
      ASSERT_LE(p[2], ProductTable[74][p[3]]);
      ASSERT_EQ(p[0], ProductTable[161][p[3]]);
    }
  }
  // Along the middle row, the shadow is strongest next to the window and gone at the edge.
  const int y = 36;
  const int edge = kShadowMargin + 2;  // first column of the window's shape
  EXPECT_GT(img.Pixel(edge - 1, y)[3], img.Pixel(edge - 4, y)[3]);
  EXPECT_GT(img.Pixel(edge - 4, y)[3], 0);
  EXPECT_EQ(img.Pixel(0, y)[3], 0);
  EXPECT_EQ(img.Pixel(0, 0)[3], 0);
  EXPECT_GT(img.Pixel(img.Width - kShadowMargin, y)[3], 0);  // right of the window
  EXPECT_GT(img.Pixel(40, kShadowMargin)[3], 0);             // the row the mask leaves out
}

TEST(BuildShadowImage, PlainRectangleUsesTheWindowRectangle) {
  TBgraImage img;
  BuildShadowImage(img, 10, 8, {}, kTint);
  EXPECT_EQ(img.Width, 42);
  EXPECT_EQ(img.Height, 40);
  EXPECT_EQ(img.Pixel(16, 16)[3], 0);
  EXPECT_EQ(img.Pixel(25, 23)[3], 0);
  EXPECT_GT(img.Pixel(15, 20)[3], 0);
  EXPECT_GT(img.Pixel(26, 20)[3], 0);
}

}  // namespace
}  // namespace pelcato
