#include "engine/fill_quality.h"

namespace vornida {

bool InShape(const MakeShapeBase& shape, int32_t x, int32_t y) {
  const auto* custom = dynamic_cast<const MakeShapeCustom*>(&shape);
  if (!custom) return x >= 0 && y >= 0 && x < shape.width && y < shape.height;
  if (!(custom->maskScale > 0)) return false;
  // The mask cell whose pixel an item centre at (x, y) would stand on.
  const int32_t c = RoundToInt((x - custom->maskOffsetX) / custom->maskScale);
  const int32_t r = RoundToInt((y - custom->maskOffsetY) / custom->maskScale);
  return c >= 0 && r >= 0 && c < custom->maskWidth && r < custom->maskHeight && custom->Inside(c, r);
}

FillQuality MeasureFill(const CCollage& collage, const Bitmap& finalRender) {
  FillQuality q;
  if (!collage.shape || finalRender.empty()) return q;
  int64_t shapePixels = 0, covered = 0, itemPixels = 0, outside = 0;
  for (int64_t y = 0; y < finalRender.height(); ++y) {
    const uint32_t* row = finalRender.row(y);
    for (int64_t x = 0; x < finalRender.width(); ++x) {
      const bool item = (row[x] >> 24) >= 192;
      const bool inside = InShape(*collage.shape, static_cast<int32_t>(x), static_cast<int32_t>(y));
      shapePixels += inside;
      covered += inside && item;
      itemPixels += item;
      outside += item && !inside;
    }
  }
  if (shapePixels > 0) q.shapeCovered = static_cast<double>(covered) / static_cast<double>(shapePixels);
  if (itemPixels > 0) q.itemsOutside = static_cast<double>(outside) / static_cast<double>(itemPixels);
  return q;
}

}  // namespace vornida
