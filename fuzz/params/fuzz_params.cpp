// Feeds arbitrary text to the collage-parameter reader and, when it reads,
// runs the layout arithmetic and a short placement on what it produced.
// Sizes are held small so that each input stays quick; every other value
// (spacing, angles, aspect, border, shadow, colours) goes through unchanged.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/collage_params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  vornida::CCollage collage;
  if (!vornida::ReadCollageParams(text, collage, "")) return 0;
  if (!collage.shape) return 0;
  collage.rng().Seed(1);
  collage.canvasWidth = std::clamp(collage.canvasWidth, -10, 1500);
  collage.canvasHeight = std::clamp(collage.canvasHeight, -10, 1500);
  collage.numPhotos = std::clamp(collage.numPhotos, -2, 40);
  collage.itemBoundingBoxWidth = std::clamp(collage.itemBoundingBoxWidth, -1, 400);
  if (collage.numPhotos == -2) collage.spacing = std::max(collage.spacing, 0.5);
  vornida::CollagePhoto photo;
  photo.width = 300;
  photo.height = 200;
  vornida::CollagePhoto unreadable;
  collage.photos = {photo, unreadable, photo};
  // "As many as fit" with tiny items asks for up to a million items, whose
  // placement takes minutes: correct, but no use to a fuzzer. Place only
  // collages small enough to settle quickly.
  if (collage.CalcPhotoSizes() > 0 && collage.itemCount <= 2000 &&
      int64_t{collage.canvasWidth} * collage.canvasHeight <= 4000000)
    collage.CalcItemsPosition();
  return 0;
}
