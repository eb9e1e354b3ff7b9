// EXIF orientation: reading the tag and turning pictures upright.
#include <libexif/exif-data.h>

#include <algorithm>
#include <cstring>

#include "imaging/decoders.h"

namespace vornida {

namespace imaging_internal {

std::uint16_t ReadExifOrientation(std::span<const std::uint8_t> block) {
  if (block.size() < 8 || block.size() > 0xFFFF + 16) return 0;
  ExifData* data = exif_data_new();
  if (data == nullptr) return 0;
  // Read the tags as they are; libexif would otherwise "repair" the data.
  exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_load_data(data, block.data(), static_cast<unsigned>(block.size()));
  std::uint16_t orientation = 0;
  ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
  if (entry != nullptr && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 && entry->size >= 2 &&
      entry->data != nullptr) {
    const ExifShort value = exif_get_short(entry->data, exif_data_get_byte_order(data));
    if (value >= 1 && value <= 8) orientation = value;
  }
  exif_data_unref(data);
  return orientation;
}

}  // namespace imaging_internal

namespace {

void MirrorRows(Bitmap& p) {
  for (std::int64_t y = 0; y < p.height(); ++y) std::reverse(p.row(y), p.row(y) + p.width());
}

void FlipVertically(Bitmap& p) {
  for (std::int64_t top = 0, bottom = p.height() - 1; top < bottom; ++top, --bottom) {
    std::swap_ranges(p.row(top), p.row(top) + p.width(), p.row(bottom));
  }
}

}  // namespace

bool ApplyExifOrientation(Bitmap& picture) {
  const std::uint16_t orientation = picture.exifOrientation();
  if (orientation < 2 || orientation > 8 || picture.empty()) {
    if (orientation != 0) picture.setExifOrientation(1);
    return true;
  }
  switch (orientation) {
    case 2:
      MirrorRows(picture);
      break;
    case 3:
      MirrorRows(picture);
      FlipVertically(picture);
      break;
    case 4:
      FlipVertically(picture);
      break;
    default: {
      // Quarter turns need a second buffer; work in tiles so both pictures
      // are walked through the cache rather than a column at a time.
      const std::int64_t w = picture.width(), h = picture.height();
      Picture turned = Bitmap::Create(h, w, picture.format());
      if (!turned) return false;
      constexpr std::int64_t kTile = 64;
      for (std::int64_t ty = 0; ty < w; ty += kTile) {
        for (std::int64_t tx = 0; tx < h; tx += kTile) {
          const std::int64_t yEnd = std::min(ty + kTile, w), xEnd = std::min(tx + kTile, h);
          for (std::int64_t y = ty; y < yEnd; ++y) {
            std::uint32_t* out = turned->row(y);
            for (std::int64_t x = tx; x < xEnd; ++x) {
              std::int64_t sx = 0, sy = 0;
              switch (orientation) {
                case 5: sx = y; sy = x; break;                  // transpose
                case 6: sx = y; sy = h - 1 - x; break;          // 90 degrees clockwise
                case 7: sx = w - 1 - y; sy = h - 1 - x; break;  // transverse
                default: sx = w - 1 - y; sy = x; break;         // 8: 270 degrees clockwise
              }
              out[x] = picture.row(sy)[sx];
            }
          }
        }
      }
      picture.swapContents(*turned);
      break;
    }
  }
  picture.setExifOrientation(1);
  return true;
}

}  // namespace vornida
