// Item placement: the neighbour search over the grid, the sweeps' stop rule,
// the corner rule, and that the sweeps spread the items over the shape.
#include "engine/placement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "engine/collage.h"

namespace vornida {
namespace {

TEST(NeighboursTest, RingsInCellOrderUntilTheLimit) {
  // 5 x 5 cells of 10 px; item id = 10 * column + row, one per cell.
  PlacementGrid grid(50, 50, 10);
  ASSERT_EQ(grid.cols(), 5);
  for (int c = 0; c < 5; ++c)
    for (int r = 0; r < 5; ++r) grid.Insert(10 * c + r, c * 10 + 5, r * 10 + 5);
  std::vector<int32_t> list;
  CollectNeighbours(grid, 2, 2, 3, list);
  // The cell itself, then ring 1: column 1 and column 3 top to bottom, then
  // row 1 and row 3 over the column between.
  EXPECT_EQ(list, (std::vector<int32_t>{22, 11, 12, 13, 31, 32, 33, 21, 23}));
  list.clear();
  CollectNeighbours(grid, 2, 2, 10, list);
  EXPECT_EQ(list.size(), 25u);  // rings 1 and 2 complete
  list.clear();
  CollectNeighbours(grid, 0, 0, 1000, list);
  EXPECT_EQ(list.size(), 25u);  // stops when the rings leave the grid
  EXPECT_EQ(list[1], 10);       // column 1, row 0 first: the left column is outside
}

TEST(NeighboursTest, TenItemsSeeEachOther) {
  const double cell = PlacementGrid::CellSizeFor(1000, 800, 10);
  PlacementGrid grid(1000, 800, cell);
  EXPECT_EQ(grid.cols() * grid.rows(), 1);
  for (int k = 0; k < 10; ++k) grid.Insert(k, k * 97, k * 71);
  grid.Remove(4, 4 * 97, 4 * 71);
  std::vector<int32_t> list;
  CollectNeighbours(grid, grid.ColumnOf(4 * 97), grid.RowOf(4 * 71), 9, list);
  EXPECT_EQ(list, (std::vector<int32_t>{0, 1, 2, 3, 5, 6, 7, 8, 9}));
}

TEST(NeighboursTest, ManyItemsGetAboutOneCellEach) {
  EXPECT_EQ(PlacementGrid::CellSizeFor(1000, 800, 25), 1000);
  EXPECT_EQ(PlacementGrid::CellSizeFor(1000, 800, 80), 100);
  // The product is formed in 64 bits.
  EXPECT_EQ(PlacementGrid::CellSizeFor(60000, 60000, 3600), 1000);
}

TEST(StopRuleTest, SettledMeansEndTheSweepsOnlyFromTheTenth) {
  SweepStopRule rule;
  for (int m = 0; m < 10; ++m) EXPECT_FALSE(rule.ShouldStop(m, -5.0)) << m;
  EXPECT_FALSE(rule.ShouldStop(10, -5.0));  // settled once
  EXPECT_TRUE(rule.ShouldStop(11, -5.0));   // twice in a row
  SweepStopRule moving;
  for (int m = 0; m < 10; ++m) moving.ShouldStop(m, -5.0 - m);
  EXPECT_FALSE(moving.ShouldStop(10, -14.0));
  EXPECT_FALSE(moving.ShouldStop(11, -15.0));  // a change clears the flag
  EXPECT_FALSE(moving.ShouldStop(12, -15.0));
  EXPECT_TRUE(moving.ShouldStop(13, -15.0000001));
}

CollagePhoto Photo(int w, int h) {
  CollagePhoto p;
  p.width = w;
  p.height = h;
  return p;
}

// A laid-out collage ready for CalcItemsPosition.
void Prepare(CCollage& c, std::unique_ptr<MakeShapeBase> shape, int items, int w, int h, uint32_t seed) {
  c.shape = std::move(shape);
  c.rng().Seed(seed);
  c.photos = {Photo(400, 300), Photo(300, 400), Photo(350, 350)};
  c.numPhotos = items;
  c.itemBoundingBoxWidth = 60;
  c.spacing = 1.0;
  c.canvasWidth = w;
  c.canvasHeight = h;
  c.CalcPhotoSizes();
}

double MeanNearestDistance(const std::vector<PointD>& pts) {
  double sum = 0;
  for (size_t i = 0; i < pts.size(); ++i) {
    double best = 1e300;
    for (size_t j = 0; j < pts.size(); ++j)
      if (i != j) best = std::min(best, std::hypot(pts[i].x - pts[j].x, pts[i].y - pts[j].y));
    sum += best;
  }
  return sum / pts.size();
}

TEST(PlacementTest, SingleItemGoesToTheCentre) {
  CCollage c;
  Prepare(c, std::make_unique<MakeShapeRectangle>(), 1, 640, 480, 1);
  c.CalcItemsPosition();
  EXPECT_EQ(c.itemPos[0].x, 320);
  EXPECT_EQ(c.itemPos[0].y, 240);
}

TEST(PlacementTest, SweepsSpreadTheItemsOverTheRectangle) {
  CCollage c;
  Prepare(c, std::make_unique<MakeShapeRectangle>(), 120, 1200, 800, 17);
  const double before = MeanNearestDistance(c.itemPos);
  c.CalcItemsPosition();
  const double after = MeanNearestDistance(c.itemPos);
  EXPECT_GT(after, before * 1.5);
  for (int k = 0; k < c.itemCount; ++k) {
    EXPECT_GE(c.itemPos[k].x - c.itemHalf[k].x, -1) << k;
    EXPECT_LE(c.itemPos[k].x + c.itemHalf[k].x, 1200) << k;
    EXPECT_GE(c.itemPos[k].y - c.itemHalf[k].y, -1) << k;
    EXPECT_LE(c.itemPos[k].y + c.itemHalf[k].y, 800) << k;
  }
}

TEST(PlacementTest, ItemsStayInTheDisc) {
  CCollage c;
  Prepare(c, std::make_unique<MakeShapeCircle>(), 80, 1000, 1000, 5);
  c.CalcItemsPosition();
  for (const PointD& p : c.itemPos) EXPECT_LE(std::hypot(p.x - 500, p.y - 500), 500 - 30) << p.x << "," << p.y;
}

TEST(PlacementTest, SameSeedSameLayout) {
  CCollage a, b;
  Prepare(a, std::make_unique<MakeShapeCircle>(), 50, 800, 800, 99);
  Prepare(b, std::make_unique<MakeShapeCircle>(), 50, 800, 800, 99);
  a.CalcItemsPosition();
  b.CalcItemsPosition();
  for (int k = 0; k < 50; ++k) {
    EXPECT_EQ(a.itemPos[k].x, b.itemPos[k].x);
    EXPECT_EQ(a.itemPos[k].y, b.itemPos[k].y);
  }
}

TEST(PlacementTest, AtMostOneItemParksInEachCorner) {
  // Large items crowded on a small rectangle are pushed into the corners;
  // a second item clamped into a taken corner in the same sweep goes to the
  // centre instead.
  CCollage c;
  Prepare(c, std::make_unique<MakeShapeRectangle>(), 12, 200, 150, 3);
  c.CalcItemsPosition();
  std::map<std::pair<double, double>, int> atCorner;
  for (int k = 0; k < c.itemCount; ++k) {
    const PointD p = c.itemPos[k], h = c.itemHalf[k];
    const bool left = p.x == std::min(h.x, 200.0), right = p.x == std::max(0.0, 200 - h.x - 1);
    const bool top = p.y == std::min(h.y, 150.0), bottom = p.y == std::max(0.0, 150 - h.y - 1);
    if ((left || right) && (top || bottom)) ++atCorner[{left ? 0.0 : 1.0, top ? 0.0 : 1.0}];
  }
  for (const auto& [corner, count] : atCorner) EXPECT_LE(count, 1);
}

}  // namespace
}  // namespace vornida
