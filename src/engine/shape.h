// Shape makers: the region of the canvas that a collage fills.
//
// The layout asks a shape maker five questions: how large the canvas must be
// for a number of items (AutoCanvasSize), how the region fits a fixed canvas
// (FitToCanvas), by how much the items must grow so that a number of them
// fill a canvas (ItemScaleForCount), how many items fit (CountItemsThatFit),
// where items start (RandomPositions) and where an item may stand
// (ConstrainItem).
//
// Arguments as the layout passes them: `size` is the canvas, `ext` the mean
// horizontal and vertical chord of the rotated items, `count` the number of
// items, `spacing` a factor that widens the room given to each item, and
// `aspect` the wanted width / height (0 or less: none).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/geometry.h"
#include "engine/random.h"

namespace vornida {

// A picture as the mask-based shapes read it: straight (not premultiplied)
// ARGB words, alpha in the top byte, rows top to bottom.
struct MaskImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> argb;

  MaskImage() = default;
  MaskImage(int32_t w, int32_t h, uint32_t fill)
      : width(w), height(h), argb(static_cast<size_t>(w) * static_cast<size_t>(h), fill) {}
  uint32_t& at(int32_t x, int32_t y) { return argb[static_cast<size_t>(y) * width + x]; }
  uint32_t at(int32_t x, int32_t y) const { return argb[static_cast<size_t>(y) * width + x]; }
};

// A mask pixel belongs to the region when it is clearly visible on white:
// its colour, laid over white by its alpha, has a luma (Rec. 601 weights,
// 0.299 R + 0.587 G + 0.114 B) below kInsideLumaLimit. So every colour at
// least a fifth darker than white is inside, whether it stands on a white
// or a transparent ground (red, dark red, mid grey, blue, orange and cyan
// are; white, and colours as light as pale cyan #7fffff, pink or yellow are
// not), while transparent and faint pixels are outside.
inline constexpr int kInsideLumaLimit = 200;
inline bool IsInsidePixel(uint32_t argb) {
  const int64_t a = argb >> 24;
  const int64_t luma1000 = 299 * ((argb >> 16) & 0xFF) + 587 * ((argb >> 8) & 0xFF) + 114 * (argb & 0xFF);
  // a / 255 of the colour over (255 - a) / 255 of white, times 255000.
  const int64_t onWhite = a * luma1000 + (255 - a) * 255 * 1000;
  return onWhite < int64_t{kInsideLumaLimit} * 255 * 1000;
}

// Scales `src` to exactly w x h with bilinear filtering (alpha-correct).
MaskImage ScaleMaskImage(const MaskImage& src, int32_t w, int32_t h);

// The mask words of a picture: straight ARGB; an opaque (Rgb32) picture reads
// as opaque everywhere, so only its red channel decides.
MaskImage MaskImageFromPicture(const Bitmap& picture);

// Corner codes returned by ConstrainItem of the rectangle.
enum CornerCode : int { kNoCorner = 0, kTopLeft = 1, kBottomLeft = 2, kTopRight = 3, kBottomRight = 4 };

class MakeShapeBase {
 public:
  virtual ~MakeShapeBase() = default;

  virtual double ItemScaleForCount(SizeI size, PointD ext, int32_t count, double spacing) const = 0;
  // Sets width and height to a canvas that holds `count` items of extent `ext`.
  virtual void AutoCanvasSize(double aspect, PointD ext, int32_t count, double spacing) = 0;
  // The canvas is fixed: fit the region into it. The base only stores the size.
  virtual void FitToCanvas(SizeI size, PointD ext);
  virtual int32_t CountItemsThatFit(SizeI size, PointD ext, double spacing) const = 0;
  // Moves the item centre `pos` to a permitted place. `half` is the rotated
  // item's axis-aligned half size, `photoSize` its unrotated size with border,
  // `jitter` an offset pair (always 0, 0 here), `move` the step just taken.
  // Returns a CornerCode (only the rectangle reports corners).
  virtual int ConstrainItem(PointD& pos, PointD half, SizeI photoSize, PointI jitter, PointD move,
                            RandomGenerator& rng) = 0;
  // Random start positions of `count` items; one unset point when there is
  // nothing to place.
  virtual std::vector<PointD> RandomPositions(int32_t count, PointD ext, RandomGenerator& rng) = 0;
  // The region's area in canvas pixels, once it has been fitted to a canvas.
  virtual double RegionArea() const = 0;

  int32_t width = 0;
  int32_t height = 0;
};

// The whole canvas.
class MakeShapeRectangle : public MakeShapeBase {
 public:
  double ItemScaleForCount(SizeI size, PointD ext, int32_t count, double spacing) const override;
  void AutoCanvasSize(double aspect, PointD ext, int32_t count, double spacing) override;
  int32_t CountItemsThatFit(SizeI size, PointD ext, double spacing) const override;
  int ConstrainItem(PointD& pos, PointD half, SizeI photoSize, PointI jitter, PointD move,
                    RandomGenerator& rng) override;
  std::vector<PointD> RandomPositions(int32_t count, PointD ext, RandomGenerator& rng) override;
  double RegionArea() const override { return static_cast<double>(width) * static_cast<double>(height); }
};

// The dark, non-transparent pixels of a picture, scaled onto the canvas.
// Region tests are summed-area lookups, so each costs four table reads.
class MakeShapeCustom : public MakeShapeBase {
 public:
  explicit MakeShapeCustom(MaskImage picture);

  double ItemScaleForCount(SizeI size, PointD ext, int32_t count, double spacing) const override;
  void AutoCanvasSize(double aspect, PointD ext, int32_t count, double spacing) override;
  void FitToCanvas(SizeI size, PointD ext) override;
  int32_t CountItemsThatFit(SizeI size, PointD ext, double spacing) const override;
  int ConstrainItem(PointD& pos, PointD half, SizeI photoSize, PointI jitter, PointD move,
                    RandomGenerator& rng) override;
  std::vector<PointD> RandomPositions(int32_t count, PointD ext, RandomGenerator& rng) override;
  double RegionArea() const override { return insideCount * maskScale * maskScale; }

  // The largest mask that RandomPositions refines to.
  static constexpr int64_t kMaxRefinedPixels = 25000000;

  const MaskImage& maskImage() const { return maskImage_; }
  double maskScale = 1.0;  // canvas pixels per mask pixel
  int32_t maskOffsetX = 0;  // canvas position of the mask's top-left pixel
  int32_t maskOffsetY = 0;
  int32_t maskWidth = 0;
  int32_t maskHeight = 0;
  int32_t insideCount = 0;

  bool Inside(int32_t col, int32_t row) const { return inside_[Index(col, row)] != 0; }
  // Inclusive summed-area table entry: inside pixels in rows 0..row, columns 0..col.
  int32_t InsideSum(int32_t col, int32_t row) const { return insideSum_[Index(col, row)]; }

 protected:
  MakeShapeCustom() = default;
  void SetMaskImage(MaskImage picture);

 private:
  size_t Index(int32_t col, int32_t row) const {
    return static_cast<size_t>(row) * static_cast<size_t>(maskWidth) + static_cast<size_t>(col);
  }
  void RefineMask();
  int64_t Coverage(int32_t c, int32_t r, int32_t hw, int32_t hh, int32_t cmax, int32_t rmax) const;

  MaskImage maskImage_;
  std::vector<int32_t> inside_;
  std::vector<int32_t> insideSum_;
};

// A disc centred in the canvas: a custom shape over a 512 x 512 picture.
class MakeShapeCircle : public MakeShapeCustom {
 public:
  MakeShapeCircle();
};

}  // namespace vornida
