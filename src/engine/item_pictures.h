// The decorated item pictures of the preview, kept across layout runs.
//
// For every photo in use the cache holds its thumbnail at item size with
// border and shadow (`prepared`) and that picture at the preview scale
// (`scaled`), so that a preview frame only composes cached pictures. The
// look memory says with which settings they were made; PrepareLayoutImages
// drops what the current settings no longer match.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

#include "imaging/bitmap.h"

namespace vornida {

struct ItemLook {
  double borderSize = 0;
  uint32_t borderColor = 0xFF000000;
  double offsetX = 0;
  double offsetY = 0;
  bool noShadow = false;
  bool samePhotoSize = false;
  int32_t itemBoundingBoxWidth = 0;
  double photoScale = 0;
  double previewScale = 0;
};

struct ItemPictures {
  Picture prepared;
  Picture scaled;
};

class ItemPictureCache {
 public:
  // The program's one cache.
  static ItemPictureCache& Shared();

  ItemLook look;
  // Keyed by the photo's path, compared without regard to ASCII case.
  std::unordered_map<std::string, ItemPictures> byPath;
  // A layout run holds this while it prepares and draws the pictures.
  std::mutex mutex;

  static std::string KeyFor(const std::string& path);
};

}  // namespace vornida
