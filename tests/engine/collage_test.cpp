// Layout arithmetic of CCollage::CalcPhotoSizes: items, sizes, borders,
// shadows, chords and the canvas limits.
#include "engine/collage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace vornida {
namespace {

constexpr double kPi = std::numbers::pi;

CollagePhoto Photo(int w, int h, int rotation = 0) {
  CollagePhoto p;
  p.width = w;
  p.height = h;
  p.thumbWidth = std::min(w, 200);
  p.rotation = rotation;
  return p;
}

// A collage over a rectangle shape, with the parameters of a typical run.
struct CollageFixture : ::testing::Test {
  CCollage c;
  CollageFixture() {
    c.shape = std::make_unique<MakeShapeRectangle>();
    c.fixedSeed = 1;
    c.rng().Seed(1);
    c.spacing = 1.0;
    c.itemBoundingBoxWidth = 300;
  }
};

using ItemsTest = CollageFixture;

TEST_F(ItemsTest, PositiveCountRepeatsThePhotosInOrder) {
  c.photos = {Photo(400, 300), Photo(300, 400), Photo(500, 500)};
  c.numPhotos = 7;
  EXPECT_EQ(c.CalcPhotoSizes(), 7);
  EXPECT_EQ(c.itemPhoto, (std::vector<int32_t>{0, 1, 2, 0, 1, 2, 0}));
  EXPECT_EQ(c.numPhotos, 7);
  EXPECT_EQ(c.itemPos.size(), 7u);
  auto order = c.drawOrder;
  std::sort(order.begin(), order.end());
  EXPECT_EQ(order, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6}));
}

TEST_F(ItemsTest, MinusOneGivesOneItemPerPhoto) {
  c.photos = {Photo(4, 3), Photo(4, 3), Photo(4, 3), Photo(4, 3), Photo(4, 3)};
  c.numPhotos = -1;
  EXPECT_EQ(c.CalcPhotoSizes(), 5);
  EXPECT_EQ(c.itemPhoto, (std::vector<int32_t>{0, 1, 2, 3, 4}));
}

TEST_F(ItemsTest, NoPhotosOrNoShapeMeansNoItems) {
  c.numPhotos = 5;
  EXPECT_EQ(c.CalcPhotoSizes(), 0);
  CCollage noShape;
  noShape.photos = {Photo(400, 300)};
  noShape.numPhotos = 3;
  EXPECT_EQ(noShape.CalcPhotoSizes(), 0);
  EXPECT_EQ(noShape.itemCount, 0);
}

TEST_F(ItemsTest, FillModeTakesTheCountThatFits) {
  c.photos = {Photo(400, 400), Photo(400, 400)};
  c.numPhotos = -2;
  c.canvasWidth = 3000;
  c.canvasHeight = 2000;
  c.borderSize = 0;
  c.noShadow = true;
  const int n = c.CalcPhotoSizes();
  // Upright squares of 300: (3000 - 300) / 300 = 9 by (2000 - 300) / 300.
  EXPECT_EQ(n, static_cast<int>(RoundHalfAway(9.0 * (1700.0 / 300))));
  ASSERT_EQ(c.itemPhoto.size(), static_cast<size_t>(n));
  EXPECT_EQ(c.itemPhoto[5], 1);
  EXPECT_EQ(c.itemAngle.size(), static_cast<size_t>(n));
}

TEST_F(ItemsTest, FillModeWithZeroSpacingIsRefusedAsTooMuchWork) {
  // "As many as fit" with no spacing counts without end: the count is held
  // to the maximum, and that many items are more work than a layout may take.
  c.photos = {Photo(400, 400)};
  c.numPhotos = -2;
  c.spacing = 0;
  c.canvasWidth = 3000;
  c.canvasHeight = 2000;
  EXPECT_EQ(c.CalcPhotoSizes(), 0);
  EXPECT_EQ(c.problem.key, "Collage_too_much_work");
  EXPECT_EQ(c.problem.value("count"), std::to_string(CCollage::kMaxItems));
  EXPECT_TRUE(c.itemPos.empty());
}

TEST_F(ItemsTest, WorkBudgetCountsItemsAndTheirPixels) {
  c.photos = {Photo(400, 300)};
  c.canvasWidth = 2000;
  c.canvasHeight = 2000;
  // Many small items: 70000 fixed shares are over the budget.
  c.numPhotos = 70000;
  c.itemBoundingBoxWidth = 4;
  EXPECT_EQ(c.CalcPhotoSizes(), 0);
  EXPECT_EQ(c.problem.key, "Collage_too_much_work");

  // Few huge items: 20 of 30000 x 22500 on a small canvas.
  CCollage big;
  big.shape = std::make_unique<MakeShapeRectangle>();
  big.photos = {Photo(400, 300)};
  big.canvasWidth = big.canvasHeight = 1000;
  big.numPhotos = 20;
  big.itemBoundingBoxWidth = 30000;
  big.samePhotoSize = true;
  big.noShadow = true;
  EXPECT_EQ(big.CalcPhotoSizes(), 0);
  EXPECT_EQ(big.problem.key, "Collage_items_too_large");

  // An ordinary large collage passes: 20000 items on a poster canvas.
  CCollage poster;
  poster.shape = std::make_unique<MakeShapeRectangle>();
  poster.photos = {Photo(400, 300)};
  poster.canvasWidth = 9000;
  poster.canvasHeight = 6000;
  poster.numPhotos = 20000;
  poster.itemBoundingBoxWidth = -1;
  poster.spacing = 1;
  EXPECT_EQ(poster.CalcPhotoSizes(), 20000);
  EXPECT_TRUE(poster.problem.empty());
}

using AnglesTest = CollageFixture;

TEST_F(AnglesTest, ZeroMaximumGivesTheAverageMinusTheRotation) {
  c.photos = {Photo(400, 300, 90), Photo(400, 300, 0)};
  c.numPhotos = 4;
  c.avgAngle = 15 * kPi / 180;
  c.maxAngle = c.angleSpread = 0;
  c.CalcPhotoSizes();
  EXPECT_DOUBLE_EQ(c.itemAngle[0], 15 * kPi / 180 - 90 * kPi / 180);
  EXPECT_DOUBLE_EQ(c.itemAngle[1], 15 * kPi / 180);
  EXPECT_DOUBLE_EQ(c.itemAngle[2], c.itemAngle[0]);
}

TEST_F(AnglesTest, AnglesStayWithinTheMaximum) {
  c.photos = {Photo(400, 300)};
  c.numPhotos = 500;
  c.maxAngle = c.angleSpread = 20 * kPi / 180;
  c.CalcPhotoSizes();
  double spread = 0;
  for (double a : c.itemAngle) {
    EXPECT_LE(std::fabs(a), c.maxAngle);
    spread = std::max(spread, std::fabs(a));
  }
  EXPECT_GT(spread, c.maxAngle * 0.8);
}

TEST_F(AnglesTest, NegativeMaximumDoesNotHang) {
  c.photos = {Photo(400, 300)};
  c.numPhotos = 20;
  c.maxAngle = c.angleSpread = -10 * kPi / 180;
  EXPECT_EQ(c.CalcPhotoSizes(), 20);
  for (double a : c.itemAngle) EXPECT_LE(std::fabs(a), 10 * kPi / 180 + 1e-12);
}

using SizesTest = CollageFixture;

TEST_F(SizesTest, BorderFollowsTheItemBox) {
  c.photos = {Photo(400, 300)};
  c.numPhotos = 2;
  c.canvasWidth = c.canvasHeight = 1000;
  c.borderSize = 0.03;
  c.CalcPhotoSizes();
  EXPECT_EQ(c.borderPx, 9);
  CCollage thin;
  thin.shape = std::make_unique<MakeShapeRectangle>();
  thin.photos = c.photos;
  thin.numPhotos = 2;
  thin.itemBoundingBoxWidth = 300;
  thin.canvasWidth = thin.canvasHeight = 1000;
  thin.borderSize = 0.001;
  thin.CalcPhotoSizes();
  EXPECT_EQ(thin.borderPx, 1);
  CCollage none;
  none.shape = std::make_unique<MakeShapeRectangle>();
  none.photos = c.photos;
  none.numPhotos = 2;
  none.itemBoundingBoxWidth = 300;
  none.canvasWidth = none.canvasHeight = 1000;
  none.borderSize = 0;
  none.CalcPhotoSizes();
  EXPECT_EQ(none.borderPx, 0);
}

TEST_F(SizesTest, ScaledSizesByLargestPhotoOrSameSize) {
  c.photos = {Photo(4000, 3000), Photo(1000, 500)};
  c.numPhotos = 2;
  c.itemBoundingBoxWidth = 400;
  c.borderSize = 0.03;  // 12 px
  c.canvasWidth = c.canvasHeight = 2000;
  c.CalcPhotoSizes();
  EXPECT_DOUBLE_EQ(c.photoScale, 0.1);
  EXPECT_EQ(c.photoSize[0].w, 400 + 24);
  EXPECT_EQ(c.photoSize[0].h, 300 + 24);
  EXPECT_EQ(c.photoSize[1].w, 100 + 24);
  EXPECT_EQ(c.photoSize[1].h, 50 + 24);

  CCollage same;
  same.shape = std::make_unique<MakeShapeRectangle>();
  same.photos = c.photos;
  same.numPhotos = 2;
  same.itemBoundingBoxWidth = 400;
  same.borderSize = 0;
  same.samePhotoSize = true;
  same.canvasWidth = same.canvasHeight = 2000;
  same.CalcPhotoSizes();
  EXPECT_EQ(same.photoSize[0].w, 400);
  EXPECT_EQ(same.photoSize[0].h, 300);
  EXPECT_EQ(same.photoSize[1].w, 400);
  EXPECT_EQ(same.photoSize[1].h, 200);
}

TEST_F(SizesTest, UnreadablePhotoKeepsNoSize) {
  c.photos = {Photo(400, 300), Photo(0, 0)};
  c.numPhotos = 4;
  c.canvasWidth = c.canvasHeight = 2000;
  c.CalcPhotoSizes();
  EXPECT_EQ(c.photoSize[1].w, 0);
  EXPECT_EQ(c.photoSize[1].h, 0);
  EXPECT_EQ(c.itemCount, 4);
}

TEST_F(SizesTest, ShadowValuesAndDivisionTable) {
  c.photos = {Photo(400, 300)};
  c.numPhotos = 2;
  c.itemBoundingBoxWidth = 400;
  c.borderSize = 0.03;  // 12
  c.canvasWidth = c.canvasHeight = 2000;
  c.CalcPhotoSizes();
  // a = 400 + 24 = 424: radius 0.025 a = 10.6, offset 0.01 a = 4.24
  EXPECT_EQ(c.shadowRadius, 11);
  EXPECT_EQ(c.shadowOffset.x, 4);
  EXPECT_EQ(c.shadowOffset.y, 4);
  ASSERT_EQ(c.blurDivTable.size(), 144u * 256);
  EXPECT_EQ(c.blurDivTable[0], 0);
  EXPECT_EQ(c.blurDivTable[71], 0);
  EXPECT_EQ(c.blurDivTable[72], 1);  // 72 / 144 = 0.5 rounds up
  EXPECT_EQ(c.blurDivTable[144 * 255], 255);
}

TEST(ChordTest, ChordsOfATurnedBox) {
  EXPECT_DOUBLE_EQ(BoxChord(400, 300, 0), 400);
  EXPECT_NEAR(BoxChord(400, 300, kPi / 2), 300, 1e-9);
  EXPECT_NEAR(BoxChord(400, 300, -kPi / 2), 300, 1e-9);
  EXPECT_NEAR(BoxChord(400, 300, kPi), 400, 1e-9);
  EXPECT_NEAR(BoxChord(100, 100, kPi / 4), 100 * std::sqrt(2.0), 1e-9);
  // Past the corner direction the chord is cut by the long sides.
  EXPECT_NEAR(BoxChord(400, 300, 1.2), 300 / std::cos(1.2 - kPi / 2), 1e-9);
  EXPECT_NEAR(BoxChord(400, 300, 3 * kPi), 400, 1e-9);
}

using CanvasTest = CollageFixture;

TEST_F(CanvasTest, AverageExtentIsTheMeanChord) {
  c.photos = {Photo(400, 300)};
  c.numPhotos = 3;
  c.itemBoundingBoxWidth = 400;
  c.borderSize = 0;
  c.canvasWidth = c.canvasHeight = 2000;
  c.CalcPhotoSizes();
  EXPECT_DOUBLE_EQ(c.avgExtent.x, 400);
  EXPECT_NEAR(c.avgExtent.y, 300, 1e-9);
}

TEST_F(CanvasTest, OversizedCanvasIsShrunkToTheLimit) {
  c.photos = {Photo(400, 300)};
  c.numPhotos = 2;
  c.canvasWidth = c.canvasHeight = 40000;
  c.CalcPhotoSizes();
  EXPECT_EQ(c.canvasWidth, 16384);
  EXPECT_EQ(c.canvasHeight, 16384);
  EXPECT_LE(int64_t{c.canvasWidth} * c.canvasHeight, CCollage::kMaxCanvasPixels);
  // Said once, with the sizes and the limit.
  ASSERT_EQ(c.notes.size(), 1u);
  EXPECT_EQ(c.NoteText(c.notes[0]),
            "The canvas was reduced from 40000 x 40000 to 16384 x 16384 pixels: a collage has at most 268 million "
            "pixels.");
}

TEST_F(CanvasTest, OutputSideLimitReducesTheCanvasAndSaysWhy) {
  c.photos = {Photo(400, 300)};
  c.numPhotos = 2;
  c.maxCanvasSide = 8000;
  c.canvasWidth = 12000;
  c.canvasHeight = 3000;
  c.CalcPhotoSizes();
  EXPECT_EQ(c.canvasWidth, 8000);
  EXPECT_EQ(c.canvasHeight, 2000);
  ASSERT_EQ(c.notes.size(), 1u);
  EXPECT_EQ(c.notes[0].key, "Canvas_reduced_side");
  EXPECT_EQ(c.notes[0].value("side"), "8000");

  // Within both limits nothing is said.
  CCollage small;
  small.shape = std::make_unique<MakeShapeRectangle>();
  small.photos = {Photo(400, 300)};
  small.numPhotos = 2;
  small.maxCanvasSide = 8000;
  small.canvasWidth = 8000;
  small.canvasHeight = 8000;
  small.CalcPhotoSizes();
  EXPECT_EQ(small.canvasWidth, 8000);
  EXPECT_TRUE(small.notes.empty());
}

TEST(CanvasLimitTest, LongSideAndAreaLimits) {
  SizeI s{15000, 14000};
  EXPECT_EQ(LimitCanvas(s, CCollage::kMaxCanvasPixels), 1.0);
  EXPECT_EQ(s.w, 15000);
  SizeI wide{2000000000, 2};
  const double t = LimitCanvas(wide, CCollage::kMaxCanvasPixels);
  EXPECT_EQ(wide.w, 1 << 28);
  EXPECT_EQ(wide.h, 1);  // 0.27 rounds to nothing, but a side stays
  EXPECT_NEAR(t, 268435456.0 / 2000000000, 1e-12);
  SizeI tall{300, 70000};
  EXPECT_NEAR(LimitCanvas(tall, CCollage::kMaxCanvasPixels, 65535), 65535.0 / 70000, 1e-12);
  EXPECT_EQ(tall.h, 65535);
  EXPECT_EQ(tall.w, 281);
}

TEST_F(CanvasTest, SinglePhotoCanvasIsItsTurnedBoxWithShadowRoom) {
  c.photos = {Photo(400, 300)};
  c.numPhotos = 1;
  c.itemBoundingBoxWidth = 400;
  c.borderSize = 0;
  c.avgAngle = 30 * kPi / 180;
  c.CalcPhotoSizes();
  // radius RoundHalfAway(0.025 * 400) = 10, q = 5: box 425 x 325 turned 30 degrees.
  const double W = 425, H = 325, th = 30 * kPi / 180;
  EXPECT_EQ(c.canvasWidth, static_cast<int>(std::ceil(W * std::cos(th) + H * std::sin(th))));
  EXPECT_EQ(c.canvasHeight, static_cast<int>(std::ceil(W * std::sin(th) + H * std::cos(th))));
}

TEST_F(CanvasTest, AutomaticCanvasComesFromTheShape) {
  c.photos = {Photo(100, 80)};
  c.numPhotos = 8;
  c.itemBoundingBoxWidth = 100;
  c.borderSize = 0;
  c.CalcPhotoSizes();
  EXPECT_EQ(c.canvasWidth, 300);  // k = (3 - 1) + 1
  EXPECT_EQ(c.canvasHeight, 240);
}

TEST_F(CanvasTest, AutomaticItemSizeFillsTheGivenCanvas) {
  c.photos = {Photo(1000, 1000)};
  c.numPhotos = 3;
  c.itemBoundingBoxWidth = -1;
  c.borderSize = 0.01;
  c.canvasWidth = 1200;
  c.canvasHeight = 600;
  c.CalcPhotoSizes();
  // Items of 1020 with border; spacing 1 and 3 items: the factor is -g / f
  // with f = (600 + 1200) / 1020 and g = -1200 * 600 / 1020^2.
  const double f = 720000.0 / (1020.0 * 1800.0);
  EXPECT_EQ(c.itemBoundingBoxWidth, static_cast<int>(1000 * f));
  EXPECT_DOUBLE_EQ(c.photoScale, f);
  EXPECT_EQ(c.borderPx, 4);
  EXPECT_EQ(c.photoSize[0].w, static_cast<int>(RoundHalfAway(1000 * f)) + 8);
  EXPECT_NEAR(c.avgExtent.x, 1020 * f, 1e-9);
}

TEST_F(CanvasTest, CustomShapeKeepsItsMaskInsideTheCanvas) {
  c.shape = std::make_unique<MakeShapeCircle>();
  c.photos = {Photo(400, 300), Photo(300, 400)};
  c.numPhotos = 40;
  c.itemBoundingBoxWidth = 100;
  c.CalcPhotoSizes();
  auto* circle = static_cast<MakeShapeCircle*>(c.shape.get());
  EXPECT_GT(c.canvasWidth, 0);
  EXPECT_EQ(c.canvasWidth, circle->width);
  EXPECT_GE(circle->maskOffsetX, 0);
  EXPECT_LE(circle->maskOffsetX + circle->maskWidth * circle->maskScale, c.canvasWidth + 1);
}

TEST(PreviewScaleTest, FitsThePreviewAndNeverMagnifies) {
  struct Box : PreviewSink {
    int32_t w, h, setW = -1, setH = -1;
    Box(int32_t w, int32_t h) : w(w), h(h) {}
    void DrawImage(const Bitmap&) override {}
    void SetSize(int32_t nw, int32_t nh) override { setW = nw, setH = nh; }
    int32_t GetWidth() const override { return w; }
    int32_t GetHeight() const override { return h; }
    void Show() override {}
  } box(600, 400);
  CCollage c;
  c.previewSink = &box;
  c.canvasWidth = 3000;
  c.canvasHeight = 1000;
  EXPECT_DOUBLE_EQ(c.PreviewScale(), 0.2);
  c.SizePreview();
  EXPECT_EQ(box.setW, 600);
  EXPECT_EQ(box.setH, 200);
  c.canvasWidth = 300;
  c.canvasHeight = 100;
  EXPECT_DOUBLE_EQ(c.PreviewScale(), 1.0);
}

}  // namespace
}  // namespace vornida

namespace vornida {
namespace {

// A run's texts, by key, in the order the run asked for them.
struct RunTexts {
  std::vector<std::string> keys;
  std::function<std::string(const std::string&)> Source() {
    return [this](const std::string& key) {
      keys.push_back(key);
      return "<" + key + ">";
    };
  }
  bool Asked(const std::string& key) const { return std::find(keys.begin(), keys.end(), key) != keys.end(); }
};

struct Label : TextSink {
  std::vector<std::string> texts;
  void SetText(const std::string& text) override { texts.push_back(text); }
};

struct SmallBox : PreviewSink {
  void DrawImage(const Bitmap&) override {}
  void SetSize(int32_t, int32_t) override {}
  int32_t GetWidth() const override { return 150; }
  int32_t GetHeight() const override { return 140; }
  void Show() override {}
};

TEST(CreateLayoutTest, BigCanvasIsOnlyWarnedAbout) {
  RunTexts texts;
  Label state, info;
  SmallBox box;
  CCollage c;
  c.shape = std::make_unique<MakeShapeRectangle>();
  c.getText = texts.Source();
  c.stateSink = &state;
  c.infoSink = &info;
  c.previewSink = &box;
  c.fixedSeed = 4;
  c.canvasWidth = 15000;
  c.canvasHeight = 14000;
  c.itemBoundingBoxWidth = 3000;
  c.numPhotos = 3;
  c.spacing = 1;
  c.photos = {Photo(4000, 3000)};
  EXPECT_TRUE(c.CreateLayout());
  EXPECT_EQ(c.canvasWidth, 15000);  // within 2^30 pixels: unchanged
  EXPECT_EQ(c.canvasHeight, 14000);
  EXPECT_TRUE(texts.Asked("Big_collage_message"));
  EXPECT_TRUE(texts.Asked("Yes"));
  EXPECT_TRUE(c.layoutDone);
  ASSERT_FALSE(info.texts.empty());
  EXPECT_EQ(info.texts.back(), "<Dimensions> 15000 x 14000, <Photos> 3");
  EXPECT_EQ(state.texts.back(), "<Done>");
}

TEST(CreateLayoutTest, NoPhotosEndsTheRunQuietly) {
  RunTexts texts;
  CCollage c;
  c.shape = std::make_unique<MakeShapeCircle>();
  c.getText = texts.Source();
  c.numPhotos = 10;
  EXPECT_FALSE(c.CreateLayout());
  EXPECT_TRUE(texts.Asked("None_of_the_photos_could_be_read"));
  EXPECT_FALSE(texts.Asked("Creating_the_layout"));
  EXPECT_FALSE(c.layoutDone);
}

}  // namespace
}  // namespace vornida
