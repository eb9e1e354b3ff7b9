#include "engine/shape.h"

#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace vornida {

namespace {

bool ExtentIsZero(PointD ext) { return ext.x == 0 || ext.y == 0; }

uint32_t PremultiplyWord(uint32_t p) {
  uint32_t a = p >> 24;
  if (a == 255) return p;
  auto ch = [a](uint32_t v) { return (v * a + 127) / 255; };
  return (a << 24) | (ch((p >> 16) & 0xFF) << 16) | (ch((p >> 8) & 0xFF) << 8) | ch(p & 0xFF);
}

uint32_t UnpremultiplyWord(uint32_t p) {
  uint32_t a = p >> 24;
  if (a == 255 || a == 0) return p;
  auto ch = [a](uint32_t v) { return std::min<uint32_t>(255, (v * 255 + a / 2) / a); };
  return (a << 24) | (ch((p >> 16) & 0xFF) << 16) | (ch((p >> 8) & 0xFF) << 8) | ch(p & 0xFF);
}

// The clamp shared by both makers: keeps the item's box within the canvas.
struct ClampBox {
  double ax, ay, ex, ey;
};

ClampBox MakeClampBox(double ax, double ay, int32_t w, int32_t h) {
  ClampBox box;
  box.ax = std::min(ax, static_cast<double>(w));
  box.ay = std::min(ay, static_cast<double>(h));
  box.ex = std::max(0.0, w - box.ax - 1);
  box.ey = std::max(0.0, h - box.ay - 1);
  return box;
}

void ClampInto(PointD& pos, const ClampBox& box) {
  pos.x = std::min(box.ex, std::max(box.ax, pos.x));
  pos.y = std::min(box.ey, std::max(box.ay, pos.y));
}

}  // namespace

MaskImage MaskImageFromPicture(const Bitmap& picture) {
  if (picture.empty() || picture.width() > INT32_MAX || picture.height() > INT32_MAX) return {};
  MaskImage mask(static_cast<int32_t>(picture.width()), static_cast<int32_t>(picture.height()), 0);
  const bool opaque = !picture.hasAlpha();
  for (int32_t y = 0; y < mask.height; ++y) {
    const uint32_t* row = picture.row(y);
    for (int32_t x = 0; x < mask.width; ++x)
      mask.at(x, y) = opaque ? (row[x] | 0xFF000000u) : vornida::Unpremultiply(row[x]);
  }
  return mask;
}

MaskImage ScaleMaskImage(const MaskImage& src, int32_t w, int32_t h) {
  MaskImage out(std::max(0, w), std::max(0, h), 0);
  if (out.width == 0 || out.height == 0 || src.width <= 0 || src.height <= 0) return out;
  std::vector<uint32_t> premul(src.argb.size());
  std::transform(src.argb.begin(), src.argb.end(), premul.begin(), PremultiplyWord);
  pixman_image_t* s = pixman_image_create_bits(PIXMAN_a8r8g8b8, src.width, src.height, premul.data(),
                                               src.width * 4);
  pixman_image_t* d = pixman_image_create_bits(PIXMAN_a8r8g8b8, out.width, out.height, out.argb.data(),
                                               out.width * 4);
  pixman_transform_t t;
  pixman_transform_init_scale(&t, pixman_double_to_fixed(static_cast<double>(src.width) / out.width),
                              pixman_double_to_fixed(static_cast<double>(src.height) / out.height));
  pixman_image_set_transform(s, &t);
  pixman_image_set_filter(s, PIXMAN_FILTER_BILINEAR, nullptr, 0);
  pixman_image_set_repeat(s, PIXMAN_REPEAT_PAD);
  pixman_image_composite32(PIXMAN_OP_SRC, s, nullptr, d, 0, 0, 0, 0, 0, 0, out.width, out.height);
  pixman_image_unref(s);
  pixman_image_unref(d);
  std::transform(out.argb.begin(), out.argb.end(), out.argb.begin(), UnpremultiplyWord);
  return out;
}

void MakeShapeBase::FitToCanvas(SizeI size, PointD) {
  width = size.w;
  height = size.h;
}

// ---------------------------------------------------------------- rectangle

double MakeShapeRectangle::ItemScaleForCount(SizeI size, PointD ext, int32_t count, double spacing) const {
  if (count == 0 || ExtentIsZero(ext)) return 1.0;
  const double W = size.w, H = size.h;
  if (count == 1) return std::min(H / ext.y, W / ext.x);
  double root = std::sqrt(static_cast<double>(count) + 1) - 1;
  double nPrime = root * root;
  double x = nPrime * spacing * spacing - 1;
  double f = H / ext.y + W / ext.x;
  double area = static_cast<double>(static_cast<int64_t>(size.w) * size.h);
  double g = -area / ext.x / ext.y;
  if (x == 0) return -g / f;
  return (std::sqrt(f * f - 4 * x * g) - f) * 0.5 / x;
}

void MakeShapeRectangle::AutoCanvasSize(double aspect, PointD ext, int32_t count, double spacing) {
  if (count == 0 || ExtentIsZero(ext)) {
    width = height = 0;
    return;
  }
  if (aspect <= 0) {
    double k = count == 1 ? 1.0 : (std::sqrt(static_cast<double>(count) + 1) - 1) * spacing + 1;
    width = RoundToInt(k * ext.x);
    height = RoundToInt(k * ext.y);
    return;
  }
  if (count == 1) {
    width = RoundToInt(ext.x);
    height = RoundToInt(ext.y);
    if (aspect > static_cast<double>(width) / height)
      width = RoundToInt(height * aspect);
    else
      height = RoundToInt(width / aspect);
    return;
  }
  // The height for which CountItemsThatFit (without its lower bounds) gives
  // `count` on a canvas of aspect * h by h:
  //   (aspect h - ext.x)(h - ext.y) = count spacing^2 ext.x ext.y,
  // a quadratic in h whose leading coefficient is the aspect itself.
  double g = -(ext.y * aspect + ext.x);
  double A = aspect;
  double Q = (1 - count * spacing * spacing) * ext.x * ext.y;
  double h = (std::sqrt(g * g - 4 * A * Q) - g) * 0.5 / A;
  width = RoundToInt(h * aspect);
  height = RoundToInt(h);
}

int32_t MakeShapeRectangle::CountItemsThatFit(SizeI size, PointD ext, double spacing) const {
  if (ExtentIsZero(ext)) return 0;
  double nx = std::max(1.0, (size.w - ext.x) / ext.x / spacing);
  double ny = std::max(1.0, (size.h - ext.y) / ext.y / spacing);
  return RoundToInt(nx * ny);
}

int MakeShapeRectangle::ConstrainItem(PointD& pos, PointD half, SizeI, PointI jitter, PointD, RandomGenerator&) {
  ClampBox box = MakeClampBox(jitter.x + half.x, jitter.y + half.y, width, height);
  ClampInto(pos, box);
  bool left = pos.x == box.ax, right = pos.x == box.ex;
  bool top = pos.y == box.ay, bottom = pos.y == box.ey;
  if (left && top) return kTopLeft;
  if (left && bottom) return kBottomLeft;
  if (top && right) return kTopRight;
  if (right && bottom) return kBottomRight;
  return kNoCorner;
}

std::vector<PointD> MakeShapeRectangle::RandomPositions(int32_t count, PointD ext, RandomGenerator& rng) {
  if (count <= 0 || ExtentIsZero(ext)) return std::vector<PointD>(1);
  std::vector<PointD> points(static_cast<size_t>(count));
  for (PointD& p : points) {
    uint32_t rx = rng.NextWide();
    p.x = width > 0 ? rx % static_cast<uint32_t>(width) : 0;
    uint32_t ry = rng.NextWide();
    p.y = height > 0 ? ry % static_cast<uint32_t>(height) : 0;
  }
  return points;
}

// ------------------------------------------------------------------- custom

MakeShapeCustom::MakeShapeCustom(MaskImage picture) { SetMaskImage(std::move(picture)); }

void MakeShapeCustom::SetMaskImage(MaskImage picture) {
  maskImage_ = std::move(picture);
  maskWidth = maskImage_.width;
  maskHeight = maskImage_.height;
  const size_t n = static_cast<size_t>(maskWidth) * static_cast<size_t>(maskHeight);
  inside_.assign(n, 0);
  insideSum_.assign(n, 0);
  for (int32_t r = 0; r < maskHeight; ++r) {
    int32_t rowSum = 0;
    for (int32_t c = 0; c < maskWidth; ++c) {
      int32_t v = IsInsidePixel(maskImage_.at(c, r)) ? 1 : 0;
      inside_[Index(c, r)] = v;
      rowSum += v;
      insideSum_[Index(c, r)] = rowSum + (r > 0 ? insideSum_[Index(c, r - 1)] : 0);
    }
  }
  insideCount = n > 0 ? insideSum_.back() : 0;
}

double MakeShapeCustom::ItemScaleForCount(SizeI size, PointD ext, int32_t count, double spacing) const {
  if (count == 0 || ExtentIsZero(ext)) return 1.0;
  const double W = size.w, H = size.h;
  if (count == 1 || spacing <= 0) return std::min(H / ext.y, W / ext.x);
  if (insideCount == 0) return 1.0;
  return std::sqrt(insideCount / (ext.x * ext.y * spacing * spacing) / count) *
         std::min(H / maskHeight, W / maskWidth);
}

void MakeShapeCustom::AutoCanvasSize(double aspect, PointD ext, int32_t count, double spacing) {
  if (count == 0 || ExtentIsZero(ext)) {
    width = height = 0;
    return;
  }
  const int32_t mX = std::max(0, RoundToInt(ext.x / 2));
  const int32_t mY = std::max(0, RoundToInt(ext.y / 2));
  maskOffsetX = mX;
  maskOffsetY = mY;
  double scale;
  if (insideCount > 0) {
    scale = std::sqrt(count / (insideCount / (ext.x * ext.y * spacing * spacing)));
  } else {
    // No inside pixel at all: stand in a one-pixel region in the middle of an
    // item-sized picture, so that the items still have somewhere to go.
    int32_t w = SaturateToInt32(std::ceil(ext.x)), h = SaturateToInt32(std::ceil(ext.y));
    MaskImage dot(std::max(1, w), std::max(1, h), 0xFFFFFFFF);
    dot.at(dot.width / 2, dot.height / 2) = 0xFF000000;
    SetMaskImage(std::move(dot));
    scale = 1.0;
  }
  if (!(scale > 0)) scale = std::min(static_cast<double>(height) / maskHeight, static_cast<double>(width) / maskWidth);
  maskScale = scale;
  width = SaturateToInt32(std::ceil(maskWidth * scale + 2.0 * mX));
  height = SaturateToInt32(std::ceil(maskHeight * scale + 2.0 * mY));
  if (aspect > 0) {
    if (aspect > static_cast<double>(width) / height)
      width = RoundToInt(height * aspect);
    else
      height = RoundToInt(width / aspect);
    maskOffsetX = RoundToInt((width - maskWidth * scale) / 2);
    maskOffsetY = RoundToInt((height - maskHeight * scale) / 2);
  }
}

void MakeShapeCustom::FitToCanvas(SizeI size, PointD ext) {
  width = size.w;
  height = size.h;
  if (ExtentIsZero(ext)) return;
  const int32_t mX = std::max(0, RoundToInt(ext.x / 2));
  const int32_t mY = std::max(0, RoundToInt(ext.y / 2));
  const double W = size.w, H = size.h;
  maskScale = std::min((H - 2.0 * mY) / maskHeight, (W - 2.0 * mX) / maskWidth);
  if (!(maskScale > 0)) maskScale = std::min(H / maskHeight, W / maskWidth);
  maskOffsetX = RoundToInt((W - maskWidth * maskScale) / 2);
  maskOffsetY = RoundToInt((H - maskHeight * maskScale) / 2);
}

int32_t MakeShapeCustom::CountItemsThatFit(SizeI, PointD ext, double spacing) const {
  if (ExtentIsZero(ext)) return 0;
  if (spacing == 0) return 1;
  return RoundToInt(insideCount / ((ext.y / maskScale) * (ext.x / maskScale) * spacing * spacing));
}

void MakeShapeCustom::RefineMask() {
  // A magnified mask would place items on a coarse grid of mask pixels;
  // redraw it at canvas resolution, within a pixel budget.
  if (!(maskScale > 1) || maskWidth <= 0 || maskHeight <= 0) return;
  double f = maskScale;
  const double pixels = static_cast<double>(maskWidth) * maskHeight;
  if (pixels * f * f > static_cast<double>(kMaxRefinedPixels))
    f = std::sqrt(static_cast<double>(kMaxRefinedPixels / (static_cast<int64_t>(maskWidth) * maskHeight)));
  // A mask already over the budget gives f = 0 above; it is used as it is.
  if (!(f > 1)) return;
  // The finer mask is drawn from the region itself, black inside and white
  // outside, and split again halfway: its edge then runs where the region's
  // does, whatever colours the picture had.
  MaskImage region(maskWidth, maskHeight, 0xFFFFFFFF);
  for (size_t j = 0; j < inside_.size(); ++j)
    if (inside_[j]) region.argb[j] = 0xFF000000;
  MaskImage finer = ScaleMaskImage(region, RoundToInt(maskWidth * f), RoundToInt(maskHeight * f));
  for (uint32_t& p : finer.argb) p = (p & 0xFF) < 128 ? 0xFF000000 : 0xFFFFFFFF;
  SetMaskImage(std::move(finer));
  maskScale /= f;
}

std::vector<PointD> MakeShapeCustom::RandomPositions(int32_t count, PointD ext, RandomGenerator& rng) {
  if (count <= 0 || ExtentIsZero(ext)) return std::vector<PointD>(1);
  RefineMask();
  std::vector<uint32_t> candidates;
  candidates.reserve(static_cast<size_t>(insideCount));
  const size_t n = static_cast<size_t>(maskWidth) * static_cast<size_t>(maskHeight);
  for (size_t j = 0; j < n; ++j)
    if (inside_[j]) candidates.push_back(static_cast<uint32_t>(j));
  if (candidates.empty() && n > 0) {
    candidates.push_back(static_cast<uint32_t>(n / 2));
    inside_[n / 2] = 1;
  }
  std::vector<PointD> points(static_cast<size_t>(count));
  if (candidates.empty()) return points;
  for (PointD& p : points) {
    uint32_t j = candidates[rng.NextWide() % candidates.size()];
    p.x = (j % static_cast<uint32_t>(maskWidth)) * maskScale + maskOffsetX;
    p.y = (j / static_cast<uint32_t>(maskWidth)) * maskScale + maskOffsetY;
  }
  return points;
}

int64_t MakeShapeCustom::Coverage(int32_t c, int32_t r, int32_t hw, int32_t hh, int32_t cmax, int32_t rmax) const {
  // Clamped like the table reads of the original arithmetic: at the top and
  // left edges row or column 0 is read like any other.
  int32_t t = std::max(0, r - hh - 1);
  int32_t l = std::max(0, c - hw - 1);
  int32_t b = std::min(r + hh, rmax);
  int32_t rt = std::min(c + hw, cmax);
  return static_cast<int64_t>(InsideSum(rt, b)) + InsideSum(l, t) - InsideSum(l, b) - InsideSum(rt, t);
}

int MakeShapeCustom::ConstrainItem(PointD& pos, PointD half, SizeI photoSize, PointI jitter, PointD,
                                   RandomGenerator& rng) {
  // 1. Item size with border; an item larger than the region's room stays.
  const int64_t w = static_cast<int64_t>(photoSize.w) + 2 * static_cast<int64_t>(jitter.x);
  const int64_t h = static_cast<int64_t>(photoSize.h) + 2 * static_cast<int64_t>(jitter.y);
  if (w >= static_cast<int64_t>(width) - maskOffsetX || h >= static_cast<int64_t>(height) - maskOffsetY) return 0;
  if (maskWidth <= 0 || maskHeight <= 0 || !(maskScale > 0)) return 0;
  // 2. Item size in mask pixels.
  const int64_t kw = static_cast<int64_t>(std::ceil(w / maskScale));
  const int64_t kh = static_cast<int64_t>(std::ceil(h / maskScale));
  // 3. Clamp, and the window of mask cells the centre may take.
  ClampBox box = MakeClampBox(std::ceil(jitter.x + half.x), std::ceil(jitter.y + half.y), width, height);
  ClampInto(pos, box);
  const int32_t cmin = std::max(0, SaturateToInt32((box.ax - maskOffsetX) / maskScale));
  const int32_t rmin = std::max(0, SaturateToInt32((box.ay - maskOffsetY) / maskScale));
  const int32_t cmax = std::min(maskWidth - 1, SaturateToInt32((box.ex - maskOffsetX) / maskScale));
  const int32_t rmax = std::min(maskHeight - 1, SaturateToInt32((box.ey - maskOffsetY) / maskScale));
  // The window can be empty when the item barely fits the canvas but not the
  // mask; then there is no cell to test and the clamped place stands.
  if (cmin > cmax || rmin > rmax) return 0;

  auto placeAt = [&](int32_t c, int32_t r) {
    pos.x = c * maskScale + maskOffsetX;
    pos.y = r * maskScale + maskOffsetY;
    ClampInto(pos, box);
  };

  // 4. Current cell, pulled into the window.
  int32_t c = RoundToInt((pos.x - maskOffsetX) / maskScale);
  int32_t r = RoundToInt((pos.y - maskOffsetY) / maskScale);
  if (c < cmin || c > cmax || r < rmin || r > rmax) {
    c = std::clamp(c, cmin, cmax);
    r = std::clamp(r, rmin, rmax);
    placeAt(c, r);
  }

  // 5. Nearest inside pixel, ring by ring.
  if (!Inside(c, r)) {
    int64_t bestD2 = INT64_MAX;
    int32_t bestC = c, bestR = r;
    auto consider = [&](int32_t cc, int32_t rr) {
      if (!Inside(cc, rr)) return;
      int64_t dc = cc - c, dr = rr - r;
      int64_t d2 = dc * dc + dr * dr;
      if (d2 < bestD2) {
        bestD2 = d2;
        bestC = cc;
        bestR = rr;
      }
    };
    const int32_t limit = std::max(maskWidth, maskHeight);
    for (int32_t d = 1; d < limit; ++d) {
      const int32_t c0 = std::max(cmin, c - d), c1 = std::min(cmax, c + d);
      const int32_t r0 = std::max(rmin, r - d), r1 = std::min(rmax, r + d);
      for (int32_t rr : {r - d, r + d})
        if (rr >= rmin && rr <= rmax)
          for (int32_t cc = c0; cc <= c1; ++cc) consider(cc, rr);
      for (int32_t cc : {c - d, c + d})
        if (cc >= cmin && cc <= cmax)
          for (int32_t rr = r0; rr <= r1; ++rr) consider(cc, rr);
      if (bestD2 <= static_cast<int64_t>(d) * d) break;
    }
    if (bestD2 != INT64_MAX) {
      c = bestC;
      r = bestR;
      placeAt(c, r);
    }
  }

  // 6. Coverage of the item's footprint; done when it lies wholly inside.
  const int32_t hw = static_cast<int32_t>((kw - 1) / 2);
  const int32_t hh = static_cast<int32_t>((kh - 1) / 2);
  if (cmax < hw || rmax < hh) return 0;
  int64_t current = Coverage(c, r, hw, hh, cmax, rmax);
  if (current == (2 * static_cast<int64_t>(hh) + 1) * (2 * static_cast<int64_t>(hw) + 1)) return 0;

  // 7./8. Climb to a local maximum of coverage, with a hysteresis of two
  // thirds of a side so that items do not creep over small gains.
  const int32_t startC = c, startR = r;
  const int32_t loC = std::max(cmin, startC - hw), hiC = std::min(cmax, startC + hw);
  const int32_t loR = std::max(rmin, startR - hh), hiR = std::min(rmax, startR + hh);
  // ceil(2/3 of a side), in integers so that a side of 3 gives exactly 2.
  const int64_t stepSide = (2 * h + 2) / 3;
  const int64_t stepUpDown = (2 * w + 2) / 3;
  const int64_t stepDiagonal = std::max(stepSide, stepUpDown);
  static constexpr int kDirections[8][2] = {{1, 0}, {0, 1}, {1, 1}, {1, -1}, {-1, 0}, {0, -1}, {-1, -1}, {-1, 1}};
  for (;;) {
    int64_t best = current;
    int32_t candC = c, candR = r;
    int ties = 0;
    for (const auto& dir : kDirections) {
      int32_t nc = c + dir[0], nr = r + dir[1];
      if (nc < loC || nc > hiC || nr < loR || nr > hiR) continue;
      int64_t threshold = dir[0] == 0 ? stepUpDown : dir[1] == 0 ? stepSide : stepDiagonal;
      int64_t R = Coverage(nc, nr, hw, hh, cmax, rmax);
      if (R < best || R < current + threshold) continue;
      if (R > best) {
        candC = nc;
        candR = nr;
        best = R;
        ties = 0;
      } else {
        ++ties;
        if (rng.NextUnit() <= 1.0 / (ties + 1)) {
          candC = nc;
          candR = nr;
        }
      }
    }
    if (best <= current) break;
    c = candC;
    r = candR;
    current = best;
  }
  // 9. Move to where the climb ended.
  if (c != startC || r != startR) placeAt(c, r);
  return 0;
}

MakeShapeCircle::MakeShapeCircle() {
  constexpr int32_t kSize = 512;
  MaskImage disc(kSize, kSize, 0xFFFFFFFF);
  // The ellipse touching all four sides: pixel centres within the radius.
  const double radius = kSize / 2.0;
  for (int32_t y = 0; y < kSize; ++y)
    for (int32_t x = 0; x < kSize; ++x) {
      double dx = x + 0.5 - radius, dy = y + 0.5 - radius;
      if (dx * dx + dy * dy <= radius * radius) disc.at(x, y) = 0xFF000000;
    }
  SetMaskImage(std::move(disc));
}

}  // namespace vornida
