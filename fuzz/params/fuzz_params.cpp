// Feeds arbitrary text to the collage-parameter reader and, when it reads,
// runs the sizing on what it produced as a layout would: every value goes
// through as the reader let it, so the ranges, the canvas limit and the work
// budget are what keep each input quick and small. A short placement runs
// on collages small enough to settle in a moment.
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
  vornida::CollagePhoto photo;
  photo.width = 300;
  photo.height = 200;
  vornida::CollagePhoto tall;
  tall.width = 90;
  tall.height = 4000;
  vornida::CollagePhoto unreadable;
  collage.photos = {photo, unreadable, tall};
  if (collage.CalcPhotoSizes() > 0 && collage.itemCount <= 2000 &&
      int64_t{collage.canvasWidth} * collage.canvasHeight <= 4000000)
    collage.CalcItemsPosition();
  return 0;
}
