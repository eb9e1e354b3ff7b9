// Shape makers: canvas arithmetic of the rectangle, the mask-based region
// tests of the custom and circle makers, and their start positions.
#include "engine/shape.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vornida {
namespace {

TEST(RoundingTest, RoundToIntGoesHalfAwayAndSaturates) {
  EXPECT_EQ(RoundToInt(2.5), 3);
  EXPECT_EQ(RoundToInt(-2.5), -3);
  EXPECT_EQ(RoundToInt(-0.4), 0);
  EXPECT_EQ(RoundToInt(1e300), INT32_MAX);
  EXPECT_EQ(RoundToInt(-INFINITY), INT32_MIN);
  EXPECT_EQ(RoundToInt(NAN), 0);
}

TEST(RectangleShapeTest, ItemScaleForCountSolvesTheQuadratic) {
  MakeShapeRectangle rect;
  // count 3, spacing 1: n' = 1, x = 0, the factor is -g / f.
  const PointD ext{100, 50};
  const double f = 600.0 / 50 + 800.0 / 100, g = -(800.0 * 600) / 100 / 50;
  EXPECT_DOUBLE_EQ(rect.ItemScaleForCount({800, 600}, ext, 3, 1.0), -g / f);
  // One item grows until it touches the nearer pair of sides.
  EXPECT_DOUBLE_EQ(rect.ItemScaleForCount({800, 600}, ext, 1, 1.0), 8.0);
  EXPECT_EQ(rect.ItemScaleForCount({800, 600}, {0, 50}, 5, 1.0), 1.0);
  // The general case: with spacing 1.2 and 10 items the factor is the root
  // of x s^2 + f s + g = 0.
  const double s = rect.ItemScaleForCount({800, 600}, ext, 10, 1.2);
  const double n = std::pow(std::sqrt(11.0) - 1, 2), x = n * 1.44 - 1;
  EXPECT_NEAR(x * s * s + f * s + g, 0.0, 1e-9);
}

TEST(RectangleShapeTest, ItemScaleForCountDoesNotOverflowOnHugeCanvases) {
  MakeShapeRectangle rect;
  // W x H beyond 32 bits: 60000 x 60000.
  const double s = rect.ItemScaleForCount({60000, 60000}, {100, 100}, 1000, 1.0);
  EXPECT_GT(s, 0);
  EXPECT_TRUE(std::isfinite(s));
}

TEST(RectangleShapeTest, AutoCanvasSize) {
  MakeShapeRectangle rect;
  rect.AutoCanvasSize(1.2, {150, 100}, 1, 1.0);  // 1.2 < 1.5: the height grows
  EXPECT_EQ(rect.width, 150);
  EXPECT_EQ(rect.height, 125);
  rect.AutoCanvasSize(2.0, {150, 100}, 1, 1.0);  // 2.0 > 1.5: the width grows
  EXPECT_EQ(rect.width, 200);
  EXPECT_EQ(rect.height, 100);
  rect.AutoCanvasSize(0, {100, 80}, 8, 1.0);  // k = (3 - 1) * 1 + 1
  EXPECT_EQ(rect.width, 300);
  EXPECT_EQ(rect.height, 240);
  rect.AutoCanvasSize(0, {100, 0}, 8, 1.0);
  EXPECT_EQ(rect.width, 0);
  EXPECT_EQ(rect.height, 0);
}

TEST(RectangleShapeTest, AutoCanvasWithAspectHoldsTheCountItFits) {
  MakeShapeRectangle rect;
  for (int count : {4, 20, 150}) {
    rect.AutoCanvasSize(1.5, {120, 90}, count, 1.1);
    EXPECT_NEAR(static_cast<double>(rect.width) / rect.height, 1.5, 0.01);
    // The count formula without its lower bounds gives back the count.
    const double nx = (rect.width - 120.0) / 120 / 1.1, ny = (rect.height - 90.0) / 90 / 1.1;
    EXPECT_NEAR(nx * ny, count, count * 0.03 + 1) << count;
  }
}

TEST(RectangleShapeTest, CountItemsThatFitIsAtLeastOne) {
  MakeShapeRectangle rect;
  EXPECT_EQ(rect.CountItemsThatFit({100, 100}, {400, 300}, 1.0), 1);
  EXPECT_EQ(rect.CountItemsThatFit({1000, 700}, {100, 100}, 1.0), 9 * 6);
  EXPECT_EQ(rect.CountItemsThatFit({1000, 700}, {0, 100}, 1.0), 0);
}

TEST(RectangleShapeTest, ConstrainItemClampsAndReportsCorners) {
  MakeShapeRectangle rect;
  rect.FitToCanvas({200, 100}, {10, 10});
  RandomGenerator rng(1);
  PointD pos{-50, -50};
  EXPECT_EQ(rect.ConstrainItem(pos, {20, 10}, {40, 20}, {}, {}, rng), kTopLeft);
  EXPECT_EQ(pos.x, 20);
  EXPECT_EQ(pos.y, 10);
  pos = {-5, 500};
  EXPECT_EQ(rect.ConstrainItem(pos, {20, 10}, {40, 20}, {}, {}, rng), kBottomLeft);
  EXPECT_EQ(pos.y, 100 - 10 - 1);
  pos = {500, -5};
  EXPECT_EQ(rect.ConstrainItem(pos, {20, 10}, {40, 20}, {}, {}, rng), kTopRight);
  EXPECT_EQ(pos.x, 200 - 20 - 1);
  pos = {500, 500};
  EXPECT_EQ(rect.ConstrainItem(pos, {20, 10}, {40, 20}, {}, {}, rng), kBottomRight);
  pos = {100, 50};
  EXPECT_EQ(rect.ConstrainItem(pos, {20, 10}, {40, 20}, {}, {}, rng), kNoCorner);
  EXPECT_EQ(pos.x, 100);
  // Half width beyond the canvas: the centre goes to x = 0.
  pos = {100, 50};
  rect.ConstrainItem(pos, {300, 10}, {600, 20}, {}, {}, rng);
  EXPECT_EQ(pos.x, 0);
}

TEST(RectangleShapeTest, RandomPositionsLieOnTheCanvas) {
  MakeShapeRectangle rect;
  rect.FitToCanvas({300, 7}, {10, 10});
  RandomGenerator rng(42);
  auto points = rect.RandomPositions(500, {10, 10}, rng);
  ASSERT_EQ(points.size(), 500u);
  double maxX = 0;
  for (const PointD& p : points) {
    EXPECT_GE(p.x, 0);
    EXPECT_LT(p.x, 300);
    EXPECT_LT(p.y, 7);
    maxX = std::max(maxX, p.x);
  }
  EXPECT_GT(maxX, 250);  // spread over the width, not bunched
  EXPECT_EQ(rect.RandomPositions(0, {10, 10}, rng).size(), 1u);
}

// A mask picture with a dark rectangle on light ground.
MaskImage BoxPicture(int w, int h, int x0, int y0, int x1, int y1) {
  MaskImage img(w, h, 0xFFFFFFFF);
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) img.at(x, y) = 0xFF202020;
  return img;
}

TEST(CustomShapeTest, PixelRuleTakesWhatIsClearlyVisibleOnWhite) {
  struct Case {
    uint32_t argb;  // straight alpha
    bool inside;
  };
  const Case palette[] = {
      {0xFF000000, true},   // black
      {0xFFC00000, true},   // dark red
      {0xFFFF0000, true},   // red
      {0xFF808080, true},   // mid grey
      {0xFF0000FF, true},   // blue
      {0xFF008000, true},   // green
      {0xFFFFA500, true},   // orange
      {0xFF00FFFF, true},   // cyan
      {0xFFC0C0C0, true},   // silver: luma 192
      {0xFFFFFFFF, false},  // white
      {0xFF7FFFFF, false},  // pale cyan: luma 217
      {0xFFFFFF00, false},  // yellow: luma 226
      {0xFFFFC0CB, false},  // pink: luma 212
      {0xFFD3D3D3, false},  // light grey: luma 211
      {0x00000000, false},  // transparent
      {0x00FF0000, false},  // transparent, whatever its colour
      {0x80000000, true},   // half-transparent black shows as grey 128
      {0x30000000, false},  // a faint shadow
      {0xFFC8C8C8, false},  // luma 200 exactly: the first outside
      {0xFFC7C7C7, true},   // luma 199
  };
  for (const Case& c : palette) EXPECT_EQ(IsInsidePixel(c.argb), c.inside) << std::hex << c.argb;
  // The masks read by the rule: a red heart on transparent is its shape.
  MaskImage img(3, 1, 0);
  img.at(0, 0) = 0xFFFF0000;
  img.at(1, 0) = 0x00FFFFFF;
  img.at(2, 0) = 0xFFC00000;
  MakeShapeCustom shape(img);
  EXPECT_TRUE(shape.Inside(0, 0));
  EXPECT_FALSE(shape.Inside(1, 0));
  EXPECT_EQ(shape.insideCount, 2);
}

TEST(CustomShapeTest, SummedAreaTableCountsInsidePixels) {
  MakeShapeCustom shape(BoxPicture(10, 8, 2, 3, 6, 5));  // 4 x 2 dark box
  EXPECT_EQ(shape.insideCount, 8);
  EXPECT_EQ(shape.InsideSum(9, 7), 8);
  EXPECT_EQ(shape.InsideSum(3, 3), 2);
  EXPECT_EQ(shape.InsideSum(9, 3), 4);
  EXPECT_EQ(shape.InsideSum(1, 7), 0);
}

TEST(CustomShapeTest, FitToCanvasCentresTheMaskWithHalfAnItemOfMargin) {
  MakeShapeCustom shape(BoxPicture(100, 50, 0, 0, 100, 50));
  shape.FitToCanvas({1000, 1000}, {100, 60});
  // margins 50 and 30: min((1000 - 60) / 50, (1000 - 100) / 100) = 9
  EXPECT_DOUBLE_EQ(shape.maskScale, 9.0);
  EXPECT_EQ(shape.maskOffsetX, 50);
  EXPECT_EQ(shape.maskOffsetY, 275);
}

TEST(CustomShapeTest, AutoCanvasSizeScalesTheMaskToTheCount) {
  MakeShapeCustom shape(BoxPicture(100, 100, 0, 0, 100, 100));
  // 10000 inside pixels, items 50 x 50, 16 items: scale sqrt(16 / 4) = 2.
  shape.AutoCanvasSize(0, {50, 50}, 16, 1.0);
  EXPECT_DOUBLE_EQ(shape.maskScale, 2.0);
  EXPECT_EQ(shape.width, 250);
  EXPECT_EQ(shape.height, 250);
  EXPECT_EQ(shape.maskOffsetX, 25);
  EXPECT_EQ(shape.CountItemsThatFit({250, 250}, {50, 50}, 1.0), 16);
  // With an aspect the canvas widens and the mask is centred again.
  shape.AutoCanvasSize(2.0, {50, 50}, 16, 1.0);
  EXPECT_EQ(shape.width, 500);
  EXPECT_EQ(shape.height, 250);
  EXPECT_EQ(shape.maskOffsetX, 150);
}

TEST(CustomShapeTest, EmptyPictureStandsInOneMiddlePixel) {
  // A light picture without alpha has no inside pixel.
  MakeShapeCustom shape(MaskImage(40, 30, 0xFFFFFFFF));
  EXPECT_EQ(shape.insideCount, 0);
  EXPECT_EQ(shape.ItemScaleForCount({100, 100}, {10, 10}, 5, 1.0), 1.0);
  shape.AutoCanvasSize(0, {21, 11}, 5, 1.0);
  EXPECT_EQ(shape.insideCount, 1);
  EXPECT_EQ(shape.maskWidth, 21);
  EXPECT_EQ(shape.maskHeight, 11);
  EXPECT_TRUE(shape.Inside(10, 5));
  RandomGenerator rng(3);
  auto points = shape.RandomPositions(7, {21, 11}, rng);
  ASSERT_EQ(points.size(), 7u);
  for (const PointD& p : points) {
    EXPECT_EQ(p.x, points[0].x);
    EXPECT_EQ(p.y, points[0].y);
  }
}

TEST(CustomShapeTest, RandomPositionsRefineAMagnifiedMask) {
  MakeShapeCustom shape(BoxPicture(20, 10, 5, 0, 15, 10));
  shape.FitToCanvas({2000, 1000}, {2, 2});  // scale about 99.8
  ASSERT_GT(shape.maskScale, 90);
  RandomGenerator rng(5);
  auto points = shape.RandomPositions(200, {2, 2}, rng);
  EXPECT_NEAR(shape.maskScale, 1.0, 0.01);
  EXPECT_GT(shape.maskWidth, 1900);
  // Every start lies over the dark middle half of the picture.
  for (const PointD& p : points) {
    EXPECT_GE(p.x, 490);
    EXPECT_LE(p.x, 1510);
  }
}

TEST(CustomShapeTest, RefinedMaskStaysWithinItsPixelBudget) {
  MakeShapeCustom shape(BoxPicture(100, 100, 10, 10, 90, 90));
  shape.FitToCanvas({30000, 30000}, {2, 2});
  RandomGenerator rng(5);
  shape.RandomPositions(10, {2, 2}, rng);
  EXPECT_LE(static_cast<int64_t>(shape.maskWidth) * shape.maskHeight, MakeShapeCustom::kMaxRefinedPixels);
  EXPECT_EQ(shape.maskWidth, 5000);
  EXPECT_NEAR(shape.maskScale, 30000.0 / 100 / 50, 0.05);
}

TEST(CircleShapeTest, MaskIsTheDisc) {
  MakeShapeCircle circle;
  EXPECT_EQ(circle.maskWidth, 512);
  EXPECT_NEAR(circle.insideCount, 3.14159265 * 256 * 256, 300);
  EXPECT_TRUE(circle.Inside(256, 256));
  EXPECT_TRUE(circle.Inside(256, 1));
  EXPECT_FALSE(circle.Inside(0, 0));
  EXPECT_FALSE(circle.Inside(511, 511));
}

TEST(CircleShapeTest, ItemInAMaskCornerMovesToTheNearestDiscPixel) {
  MakeShapeCircle circle;
  circle.FitToCanvas({512, 512}, {0, 0});  // scale 1, no margin
  RandomGenerator rng(9);
  PointD pos{0, 0};
  circle.ConstrainItem(pos, {0.5, 0.5}, {1, 1}, {}, {}, rng);
  // The clamp puts the centre at (1, 1); the nearest disc pixel from there.
  int64_t best = INT64_MAX;
  for (int r = 0; r < 512; ++r)
    for (int c = 0; c < 512; ++c)
      if (circle.Inside(c, r)) best = std::min<int64_t>(best, int64_t{c - 1} * (c - 1) + int64_t{r - 1} * (r - 1));
  const int c = static_cast<int>(pos.x), r = static_cast<int>(pos.y);
  EXPECT_TRUE(circle.Inside(c, r));
  EXPECT_EQ(int64_t{c - 1} * (c - 1) + int64_t{r - 1} * (r - 1), best);
}

TEST(CircleShapeTest, ItemTooLargeForTheRegionStaysWhereTheClampPutIt) {
  MakeShapeCircle circle;
  circle.FitToCanvas({512, 512}, {0, 0});
  RandomGenerator rng(9);
  PointD pos{3, 3};
  circle.ConstrainItem(pos, {0.5, 0.5}, {600, 10}, {}, {}, rng);
  EXPECT_EQ(pos.x, 3);
  EXPECT_EQ(pos.y, 3);
}

TEST(CircleShapeTest, RandomPositionsFallInsideTheDisc) {
  MakeShapeCircle circle;
  circle.FitToCanvas({800, 800}, {40, 40});  // the disc: radius 380 about (400, 400)
  RandomGenerator rng(11);
  for (const PointD& p : circle.RandomPositions(300, {40, 40}, rng)) {
    const double dx = p.x - 400, dy = p.y - 400;
    EXPECT_LE(std::sqrt(dx * dx + dy * dy), 381) << p.x << "," << p.y;
  }
}

TEST(CustomShapeTest, ClimbChoosesBetweenEqualMovesWithEqualChance) {
  // Light columns 18 and 22 on a dark 41 x 21 picture. An item of 5 x 3 mask
  // pixels at column 20 gains the same by a step left as by a step right, and
  // the window allows no vertical move.
  MaskImage img(41, 21, 0xFF000000);
  for (int y = 0; y < 21; ++y) img.at(18, y) = img.at(22, y) = 0xFFFFFFFF;
  MakeShapeCustom shape(img);
  shape.FitToCanvas({41, 21}, {0, 0});
  RandomGenerator rng(2024);
  int right = 0, left = 0;
  for (int i = 0; i < 4000; ++i) {
    PointD pos{20, 10};
    shape.ConstrainItem(pos, {2, 10}, {5, 3}, {}, {}, rng);
    EXPECT_EQ(pos.y, 10);
    if (pos.x == 21) ++right;
    if (pos.x == 19) ++left;
  }
  EXPECT_EQ(right + left, 4000);
  EXPECT_NEAR(right, 2000, 150);
}

}  // namespace
}  // namespace vornida
