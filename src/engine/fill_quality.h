// How well a finished collage fills its shape, measured on a final render
// with a transparent background: the share of the shape's pixels that items
// cover, and the share of the items' pixels that lie outside the shape.
// Shadows (at most 75 % opaque) do not count as item pixels.
#pragma once

#include "engine/collage.h"

namespace vornida {

struct FillQuality {
  double shapeCovered = 0;  // covered shape pixels / shape pixels
  double itemsOutside = 0;  // item pixels outside the shape / item pixels
};

// True when canvas pixel (x, y) belongs to the collage's shape region.
bool InShape(const MakeShapeBase& shape, int32_t x, int32_t y);

FillQuality MeasureFill(const CCollage& collage, const Bitmap& finalRender);

}  // namespace vornida
