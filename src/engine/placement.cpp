#include <algorithm>
#include <cfloat>
#include <cmath>
#include <numbers>

#include "engine/collage.h"
#include "engine/placement.h"

namespace vornida {

PlacementGrid::PlacementGrid(int32_t width, int32_t height, double cell) : cell_(std::max(1.0, cell)) {
  cols_ = std::max(1, SaturateToInt32(std::ceil(std::max(1, width) / cell_)));
  rows_ = std::max(1, SaturateToInt32(std::ceil(std::max(1, height) / cell_)));
  cells_.resize(static_cast<size_t>(cols_) * static_cast<size_t>(rows_));
}

double PlacementGrid::CellSizeFor(int32_t width, int32_t height, int32_t n) {
  double g = std::max(width, height);
  if (n > 25) {
    const int64_t perItem = static_cast<int64_t>(width) * height / n;
    g = static_cast<double>(RoundHalfAway(std::sqrt(static_cast<double>(perItem))));
  }
  return g;
}

int32_t PlacementGrid::ColumnOf(double x) const { return std::clamp(SaturateToInt32(x / cell_), 0, cols_ - 1); }
int32_t PlacementGrid::RowOf(double y) const { return std::clamp(SaturateToInt32(y / cell_), 0, rows_ - 1); }

void PlacementGrid::Insert(int32_t item, double x, double y) {
  cells_[static_cast<size_t>(RowOf(y)) * cols_ + ColumnOf(x)].push_back(item);
}

void PlacementGrid::Remove(int32_t item, double x, double y) {
  auto& list = cells_[static_cast<size_t>(RowOf(y)) * cols_ + ColumnOf(x)];
  auto it = std::find(list.begin(), list.end(), item);
  if (it != list.end()) list.erase(it);
}

void CollectNeighbours(const PlacementGrid& grid, int32_t col, int32_t row, size_t limit, std::vector<int32_t>& list) {
  const int32_t cols = grid.cols(), rows = grid.rows();
  auto appendCell = [&](int32_t c, int32_t r) {
    const auto& cell = grid.Cell(c, r);
    list.insert(list.end(), cell.begin(), cell.end());
  };
  appendCell(col, row);
  for (int32_t r = 1;; ++r) {
    if (list.size() >= limit) return;
    const bool leftIn = col - r >= 0, rightIn = col + r < cols;
    const bool topIn = row - r >= 0, bottomIn = row + r < rows;
    if (!leftIn && !rightIn && !topIn && !bottomIn) return;
    const int32_t r0 = std::max(0, row - r), r1 = std::min(rows - 1, row + r);
    if (leftIn)
      for (int32_t y = r0; y <= r1; ++y) appendCell(col - r, y);
    if (rightIn)
      for (int32_t y = r0; y <= r1; ++y) appendCell(col + r, y);
    const int32_t c0 = std::max(0, col - r + 1), c1 = std::min(cols - 1, col + r - 1);
    if (topIn)
      for (int32_t x = c0; x <= c1; ++x) appendCell(x, row - r);
    if (bottomIn)
      for (int32_t x = c0; x <= c1; ++x) appendCell(x, row + r);
  }
}

namespace {

// Gaussian model of one item: its covariance.
struct Covariance {
  double s11 = 0, s12 = 0, s21 = 0, s22 = 0;
};

}  // namespace

void CCollage::CalcItemsPosition() {
  const int32_t n = itemCount;
  const double W = canvasWidth, H = canvasHeight;
  if (n <= 0 || static_cast<int32_t>(itemPos.size()) < n) return;

  // 1. A single item stands in the middle.
  if (numPhotos == 1) {
    for (int32_t k = 0; k < n; ++k) itemPos[k] = {W * 0.5, H * 0.5};
    return;
  }

  // 2. Covariance and rotated half box of every valid item.
  std::vector<Covariance> cov(static_cast<size_t>(n));
  std::vector<char> valid(static_cast<size_t>(n), 0);
  itemHalf.assign(static_cast<size_t>(n), PointD{});
  for (int32_t k = 0; k < n; ++k) {
    const SizeI s = photoSize[itemPhoto[k]];
    if (s.w <= 0 || s.h <= 0) continue;
    valid[k] = 1;
    const double a = std::ceil(s.w / 2.0), b = std::ceil(s.h / 2.0);
    const double c = std::cos(itemAngle[k]), sn = std::sin(itemAngle[k]);
    Covariance& v = cov[k];
    v.s11 = a * a * c * c + b * b * sn * sn;
    v.s12 = v.s21 = (a * a - b * b) * sn * c;
    v.s22 = a * a * sn * sn + b * b * c * c;
    itemHalf[k] = {std::max(std::fabs(c * a + sn * b), std::fabs(c * a - sn * b)),
                   std::max(std::fabs(sn * a - c * b), std::fabs(c * b + sn * a))};
  }

  // 3. Step and jitter amplitude.
  const double box = std::max(1, itemBoundingBoxWidth);
  double step = std::min(H / box, W / box) / 5;
  double amplitude = std::max(avgExtent.x, avgExtent.y) * 0.5;

  // 4. Grid.
  PlacementGrid grid(canvasWidth, canvasHeight, PlacementGrid::CellSizeFor(canvasWidth, canvasHeight, numPhotos));
  for (int32_t k = 0; k < n; ++k)
    if (valid[k]) grid.Insert(k, itemPos[k].x, itemPos[k].y);

  // 5./6.
  SetProgressPos(0);
  SetProgressMax(100);
  const size_t limit = static_cast<size_t>(std::max(0, std::min(numPhotos - 1, 15)));

  NormalSource jitterSource;
  std::vector<double> energy(static_cast<size_t>(n), 0.0);
  std::vector<PointD> push(static_cast<size_t>(n));
  std::vector<int32_t> list;
  const double halfLogMax = 0.5 * std::log(DBL_MAX);
  SweepStopRule stopRule;

  auto clampToCanvas = [W, H](PointD& p, PointD half) {
    p.x = std::min(std::max(p.x, std::min(half.x, W)), std::max(0.0, W - half.x - 1));
    p.y = std::min(std::max(p.y, std::min(half.y, H)), std::max(0.0, H - half.y - 1));
  };

  for (int32_t m = 0; m < 100; ++m) {
    // 7.1 The user watches the items spread.
    if (previewSink) ShowPreviewFrame(true);

    // 7.2
    bool corner[5] = {false, false, false, false, false};
    const std::vector<int32_t> order = RandomPermutation(rng_, n);
    double sumEnergy = 0;

    // 7.3
    for (int32_t k : order) {
      if (!valid[k]) continue;
      PointD& pos = itemPos[k];
      const PointD half = itemHalf[k];
      grid.Remove(k, pos.x, pos.y);

      // Jitter, kept within the canvas.
      pos.x = std::min(std::max(pos.x + jitterSource.Next(rng_) * amplitude, std::min(half.x, W)),
                       std::max(0.0, W - half.x - 1));
      pos.y = std::min(std::max(pos.y + jitterSource.Next(rng_) * amplitude, std::min(half.y, H)),
                       std::max(0.0, H - half.y - 1));

      list.clear();
      CollectNeighbours(grid, grid.ColumnOf(pos.x), grid.RowOf(pos.y), limit, list);

      // Density and push of every neighbour at the item's place. A neighbour
      // at exactly the same place has neither and is left out.
      double top = -DBL_MAX;
      int32_t used = 0;
      for (int32_t e : list) {
        const double dx = pos.x - itemPos[e].x, dy = pos.y - itemPos[e].y;
        if (dx == 0 && dy == 0) continue;
        const Covariance& v = cov[e];
        const double det = v.s11 * v.s22 - v.s12 * v.s12;
        const double q = (v.s22 * dx * dx + 2 * v.s12 * dx * dy + v.s11 * dy * dy) / det;
        energy[e] = -std::log(2 * std::numbers::pi * std::sqrt(v.s11 * v.s22 - v.s21 * v.s12)) - q / 2;
        const double gx = (v.s22 * dx + v.s12 * dy) / det, gy = (v.s11 * dy + v.s12 * dx) / det;
        const double scale = std::sqrt(dx * dx + dy * dy) / std::sqrt(q) / std::sqrt(gx * gx + gy * gy);
        push[e] = {gx * scale, gy * scale};
        top = std::max(top, energy[e]);
        ++used;
      }

      PointD move;
      if (used > 0) {
        // Weighted mean of the pushes, in logarithms so that the sums stay
        // finite however far or near the neighbours are.
        const double shift = top - halfLogMax + 2 * std::log(static_cast<double>(used));
        double S = 0;
        PointD F;
        for (int32_t e : list) {
          const double dx = pos.x - itemPos[e].x, dy = pos.y - itemPos[e].y;
          if (dx == 0 && dy == 0) continue;
          const double wgt = std::exp(energy[e] - shift);
          S += wgt;
          F.x += push[e].x * wgt;
          F.y += push[e].y * wgt;
        }
        const double logS = std::log(S);
        sumEnergy += logS + shift;
        auto component = [&](double f) {
          if (f == 0) return 0.0;
          return std::copysign(std::exp(std::log(std::fabs(f)) + shift - (logS + shift)), f) * step;
        };
        move = {component(F.x), component(F.y)};
        pos.x += move.x;
        pos.y += move.y;
      }

      const SizeI size = photoSize[itemPhoto[k]];
      const int code = shape->ConstrainItem(pos, half, size, PointI{}, move, rng_);
      // Only one item per sweep may park in each corner of the canvas.
      if (code > 0 && code <= 4) {
        if (corner[code])
          pos = {W * 0.5, H * 0.5};
        else
          corner[code] = true;
      }
      clampToCanvas(pos, half);
      grid.Insert(k, pos.x, pos.y);
    }

    // 7.4 - 7.8
    step *= 0.975;
    amplitude *= 0.9;
    SetProgressPos(m);
    if (stopRule.ShouldStop(m, sumEnergy / numPhotos)) break;
    if (cancel) break;
  }
  if (progressSink) progressSink->SetPos(progressSink->GetMax());
}

}  // namespace vornida
