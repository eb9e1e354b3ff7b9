// Drawing with pixman into pictures of any size.
//
// pixman keeps positions in 16.16 fixed point, so a transform or a
// rectangle at 32768 or beyond silently draws nothing. Every call here
// therefore draws through a pixman image that covers only the touched part
// of the canvas (tiles of at most kTile pixels a side), with the canvas's
// stride, and moves the transform so that the tile's corner is its origin.
#include <algorithm>
#include <cmath>

#include "imaging/bitmap.h"

namespace vornida {

namespace {

constexpr std::int64_t kTile = 16384;

pixman_format_code_t PixmanFormat(const Bitmap& picture) {
  return picture.format() == PixelFormat::Argb32 ? PIXMAN_a8r8g8b8 : PIXMAN_x8r8g8b8;
}

struct Box {
  std::int64_t x0, y0, x1, y1;  // half-open
  bool empty() const { return x0 >= x1 || y0 >= y1; }
};

Box Clip(Box box, const Bitmap& canvas) {
  return {std::max<std::int64_t>(box.x0, 0), std::max<std::int64_t>(box.y0, 0),
          std::min<std::int64_t>(box.x1, canvas.width()), std::min<std::int64_t>(box.y1, canvas.height())};
}

// Calls draw(tileImage, tileX, tileY, width, height) for each tile of `box`.
template <typename Draw>
bool ForEachTile(Bitmap& canvas, Box box, Draw draw) {
  for (std::int64_t ty = box.y0; ty < box.y1; ty += kTile) {
    for (std::int64_t tx = box.x0; tx < box.x1; tx += kTile) {
      const std::int64_t w = std::min(kTile, box.x1 - tx), h = std::min(kTile, box.y1 - ty);
      PixmanImage tile = WrapForPixman(canvas, tx, ty, w, h);
      if (!tile) return false;
      draw(tile.get(), tx, ty, static_cast<int>(w), static_cast<int>(h));
    }
  }
  return true;
}

bool Invert(const Affine& m, Affine& inverse) {
  const double det = m.xx * m.yy - m.xy * m.yx;
  if (!std::isfinite(det) || std::fabs(det) < 1e-12) return false;
  inverse.xx = m.yy / det;
  inverse.xy = -m.xy / det;
  inverse.yx = -m.yx / det;
  inverse.yy = m.xx / det;
  inverse.x0 = -(inverse.xx * m.x0 + inverse.xy * m.y0);
  inverse.y0 = -(inverse.yx * m.x0 + inverse.yy * m.y0);
  return true;
}

}  // namespace

Affine Affine::Rotation(double radians) {
  const double c = std::cos(radians), s = std::sin(radians);
  return {c, s, -s, c, 0, 0};
}

Affine Affine::operator*(const Affine& f) const {
  Affine r;
  r.xx = xx * f.xx + xy * f.yx;
  r.yx = yx * f.xx + yy * f.yx;
  r.xy = xx * f.xy + xy * f.yy;
  r.yy = yx * f.xy + yy * f.yy;
  r.x0 = xx * f.x0 + xy * f.y0 + x0;
  r.y0 = yx * f.x0 + yy * f.y0 + y0;
  return r;
}

PixmanImage WrapForPixman(Bitmap& picture, std::int64_t x, std::int64_t y, std::int64_t width,
                          std::int64_t height) {
  if (x < 0 || y < 0 || width <= 0 || height <= 0 || width > 32767 || height > 32767 ||
      x + width > picture.width() || y + height > picture.height() || picture.stride() > 0x7FFFFFFF) {
    return nullptr;
  }
  auto* first = reinterpret_cast<std::uint32_t*>(picture.data() + y * picture.stride() + x * 4);
  return PixmanImage(pixman_image_create_bits(PixmanFormat(picture), static_cast<int>(width),
                                              static_cast<int>(height), first, static_cast<int>(picture.stride())));
}

PixmanImage WrapForPixman(const Bitmap& picture) {
  // pixman only reads a source image; it never writes through this pointer.
  return WrapForPixman(const_cast<Bitmap&>(picture), 0, 0, picture.width(), picture.height());
}

bool DrawPicture(Bitmap& canvas, const Bitmap& picture, const Affine& placement, DrawFilter filter,
                 std::uint8_t opacity) {
  if (canvas.empty() || picture.empty() || opacity == 0) return false;
  Affine inverse;
  if (!Invert(placement, inverse)) return false;
  PixmanImage source = WrapForPixman(picture);
  if (!source) return false;

  // Canvas area the picture can touch: its transformed corners, widened by
  // a pixel for the filter's reach.
  const double w = static_cast<double>(picture.width()), h = static_cast<double>(picture.height());
  double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
  for (const auto& [px, py] : {std::pair{0.0, 0.0}, {w, 0.0}, {0.0, h}, {w, h}}) {
    const double cx = placement.xx * px + placement.xy * py + placement.x0;
    const double cy = placement.yx * px + placement.yy * py + placement.y0;
    minX = std::min(minX, cx);
    maxX = std::max(maxX, cx);
    minY = std::min(minY, cy);
    maxY = std::max(maxY, cy);
  }
  if (!std::isfinite(minX) || !std::isfinite(maxX) || !std::isfinite(minY) || !std::isfinite(maxY)) return false;
  const double limit = 4.0 * static_cast<double>(std::max(canvas.width(), canvas.height())) + 4.0;
  const Box box = Clip({static_cast<std::int64_t>(std::floor(std::max(minX, -limit))) - 1,
                        static_cast<std::int64_t>(std::floor(std::max(minY, -limit))) - 1,
                        static_cast<std::int64_t>(std::ceil(std::min(maxX, limit))) + 1,
                        static_cast<std::int64_t>(std::ceil(std::min(maxY, limit))) + 1},
                       canvas);
  if (box.empty()) return true;  // wholly outside: nothing to do

  pixman_image_set_repeat(source.get(), PIXMAN_REPEAT_NONE);
  switch (filter) {
    case DrawFilter::Nearest:
      pixman_image_set_filter(source.get(), PIXMAN_FILTER_NEAREST, nullptr, 0);
      break;
    case DrawFilter::Bilinear:
      pixman_image_set_filter(source.get(), PIXMAN_FILTER_BILINEAR, nullptr, 0);
      break;
    case DrawFilter::HighQuality: {
      // Source pixels per canvas pixel along each canvas axis.
      const double sx = std::max(1.0, std::hypot(inverse.xx, inverse.yx));
      const double sy = std::max(1.0, std::hypot(inverse.xy, inverse.yy));
      int count = 0;
      pixman_fixed_t* params = pixman_filter_create_separable_convolution(
          &count, pixman_double_to_fixed(sx), pixman_double_to_fixed(sy), PIXMAN_KERNEL_LINEAR,
          PIXMAN_KERNEL_LINEAR, PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, 4, 4);
      if (params == nullptr) return false;
      pixman_image_set_filter(source.get(), PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, count);
      free(params);
      break;
    }
  }
  PixmanImage mask;
  if (opacity != 255) {
    const pixman_color_t color{0, 0, 0, static_cast<std::uint16_t>(opacity * 257)};
    mask.reset(pixman_image_create_solid_fill(&color));
    if (!mask) return false;
  }

  return ForEachTile(canvas, box, [&](pixman_image_t* tile, std::int64_t tx, std::int64_t ty, int tw, int th) {
    // Tile pixel (u, v) is canvas (u + tx, v + ty): move the inverse so the
    // tile corner maps to the right source point.
    struct pixman_f_transform f {};
    f.m[0][0] = inverse.xx;
    f.m[0][1] = inverse.xy;
    f.m[0][2] = inverse.xx * static_cast<double>(tx) + inverse.xy * static_cast<double>(ty) + inverse.x0;
    f.m[1][0] = inverse.yx;
    f.m[1][1] = inverse.yy;
    f.m[1][2] = inverse.yx * static_cast<double>(tx) + inverse.yy * static_cast<double>(ty) + inverse.y0;
    f.m[2][2] = 1;
    pixman_transform_t t;
    if (!pixman_transform_from_pixman_f_transform(&t, &f)) return;
    pixman_image_set_transform(source.get(), &t);
    pixman_image_composite32(PIXMAN_OP_OVER, source.get(), mask.get(), tile, 0, 0, 0, 0, 0, 0, tw, th);
  });
}

bool DrawPictureAt(Bitmap& canvas, const Bitmap& picture, std::int64_t x, std::int64_t y, bool replace) {
  if (canvas.empty() || picture.empty()) return false;
  const Box box = Clip({x, y, x + picture.width(), y + picture.height()}, canvas);
  if (box.empty()) return true;
  const pixman_op_t op = replace ? PIXMAN_OP_SRC : PIXMAN_OP_OVER;
  // Source tiles too, so that neither side ever sees a large offset.
  return ForEachTile(canvas, box, [&](pixman_image_t* tile, std::int64_t tx, std::int64_t ty, int tw, int th) {
    PixmanImage source = WrapForPixman(const_cast<Bitmap&>(picture), tx - x, ty - y, tw, th);
    if (!source) return;
    pixman_image_composite32(op, source.get(), nullptr, tile, 0, 0, 0, 0, 0, 0, tw, th);
  });
}

void FillRect(Bitmap& canvas, std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height,
              std::uint32_t straightArgb, bool replace) {
  if (canvas.empty() || width <= 0 || height <= 0) return;
  const Box box = Clip({x, y, x + width, y + height}, canvas);
  if (box.empty()) return;
  const std::uint32_t p = Premultiply(straightArgb);
  auto widen = [](std::uint32_t c) { return static_cast<std::uint16_t>(c * 257); };
  const pixman_color_t color{widen((p >> 16) & 0xFF), widen((p >> 8) & 0xFF), widen(p & 0xFF), widen(p >> 24)};
  const pixman_op_t op = replace ? PIXMAN_OP_SRC : PIXMAN_OP_OVER;
  ForEachTile(canvas, box, [&](pixman_image_t* tile, std::int64_t, std::int64_t, int tw, int th) {
    const pixman_box32_t whole{0, 0, tw, th};
    pixman_image_fill_boxes(op, tile, &color, 1, &whole);
  });
}

void Fill(Bitmap& canvas, std::uint32_t straightArgb) {
  FillRect(canvas, 0, 0, canvas.width(), canvas.height(), straightArgb, true);
}

}  // namespace vornida
