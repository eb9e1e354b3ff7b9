// Pieces of the item placement (CCollage::CalcItemsPosition): the spatial
// grid in which each item looks only at nearby items for its neighbours, and
// the rule that ends the sweeps.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace vornida {

class PlacementGrid {
 public:
  // A grid over a canvas of width x height with square cells of `cell` pixels.
  PlacementGrid(int32_t width, int32_t height, double cell);

  // Cell size for n items on a width x height canvas: the whole canvas for up
  // to 25 items (every item sees every other), else about one item per cell.
  static double CellSizeFor(int32_t width, int32_t height, int32_t n);

  int32_t cols() const { return cols_; }
  int32_t rows() const { return rows_; }
  double cell() const { return cell_; }

  // Column and row of the cell holding a point (kept inside the grid).
  int32_t ColumnOf(double x) const;
  int32_t RowOf(double y) const;

  void Insert(int32_t item, double x, double y);
  // Removes the item from the cell of (x, y); other items keep their order.
  void Remove(int32_t item, double x, double y);
  const std::vector<int32_t>& Cell(int32_t col, int32_t row) const {
    return cells_[static_cast<size_t>(row) * cols_ + col];
  }

 private:
  int32_t cols_;
  int32_t rows_;
  double cell_;
  std::vector<std::vector<int32_t>> cells_;
};

// Appends to `list` the items of cell (col, row) and then of the rings of
// cells around it at Chebyshev distance 1, 2, ... (for each ring: the columns
// col - r and col + r top to bottom, then the rows row - r and row + r over
// the columns between). Stops after a complete ring once `list` holds at least
// `limit` items, or when a ring lies wholly outside the grid.
void CollectNeighbours(const PlacementGrid& grid, int32_t col, int32_t row, size_t limit, std::vector<int32_t>& list);

// Ends the sweeps once the mean energy has settled: from sweep 10 on, two
// sweeps in a row whose mean differs from the one before by less than 1e-5
// (relative). Earlier sweeps never end them.
class SweepStopRule {
 public:
  // Feeds the mean energy of sweep m; true when the sweeps should stop.
  bool ShouldStop(int32_t m, double mean) {
    const double rel = std::fabs((previous_ - mean) / previous_);
    bool stop = false;
    if (m >= 10 && rel < 0.00001) {
      if (settledOnce_) stop = true;
      settledOnce_ = true;
    } else {
      settledOnce_ = false;
    }
    previous_ = mean;
    return stop;
  }

 private:
  double previous_ = 0;
  bool settledOnce_ = false;
};

}  // namespace vornida
