// PNG, GIF (first frame), WebP, TIFF (first page) and HEIC/HEIF through
// libvips. Only these loaders are let loose on outside data.
#include <vips/vips.h>

#include <cstring>
#include <mutex>
#include <string_view>

#include "imaging/decoders.h"

namespace vornida::imaging_internal {

namespace {

void InitVips() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (VIPS_INIT("vornida") != 0) return;
    // Buffers handed to a loader are ours and short-lived: nothing may
    // keep referring to them from an operation cache.
    vips_cache_set_max(0);
    vips_block_untrusted_set(TRUE);
  });
}

bool AllowedLoader(const char* name) {
  if (name == nullptr) return false;
  const std::string_view n(name);
  // libvips names the loader by its class.
  return n == "VipsForeignLoadPngBuffer" || n == "VipsForeignLoadNsgifBuffer" || n == "VipsForeignLoadWebpBuffer" ||
         n == "VipsForeignLoadTiffBuffer" || n == "VipsForeignLoadHeifBuffer";
}

struct Unref {
  void operator()(void* object) const {
    if (object != nullptr) g_object_unref(object);
  }
};
template <typename T>
using VipsPtr = std::unique_ptr<T, Unref>;

// Brings any band layout and depth to 8-bit sRGB with 3 or 4 bands.
VipsPtr<VipsImage> ToSrgb8(VipsImage* in) {
  VipsImage* out = nullptr;
  if (vips_colourspace(in, &out, VIPS_INTERPRETATION_sRGB, nullptr) != 0) return nullptr;
  VipsPtr<VipsImage> image(out);
  if (vips_image_get_format(image.get()) != VIPS_FORMAT_UCHAR) {
    if (vips_cast_uchar(image.get(), &out, nullptr) != 0) return nullptr;
    image.reset(out);
  }
  const int bands = vips_image_get_bands(image.get());
  if (bands > 4) {
    if (vips_extract_band(image.get(), &out, 0, "n", 4, nullptr) != 0) return nullptr;
    image.reset(out);
  } else if (bands != 3 && bands != 4) {
    return nullptr;
  }
  return image;
}

}  // namespace

Picture DecodeWithVips(std::span<const std::uint8_t> bytes, PictureSize& storedSize) {
  InitVips();
  if (bytes.empty()) return nullptr;
  if (!AllowedLoader(vips_foreign_find_load_buffer(bytes.data(), bytes.size()))) {
    vips_error_clear();
    return nullptr;
  }
  VipsPtr<VipsImage> loaded(vips_image_new_from_buffer(bytes.data(), bytes.size(), "", "access",
                                                       VIPS_ACCESS_SEQUENTIAL, "fail_on", VIPS_FAIL_ON_ERROR,
                                                       nullptr));
  if (!loaded) {
    vips_error_clear();
    return nullptr;
  }
  const std::int64_t width = vips_image_get_width(loaded.get());
  const std::int64_t height = vips_image_get_height(loaded.get());
  if (width <= 0 || height <= 0 || width * height > MaxDecodedPixels()) return nullptr;
  const int orientation = vips_image_get_orientation(loaded.get());

  VipsPtr<VipsImage> image = ToSrgb8(loaded.get());
  if (!image || vips_image_get_width(image.get()) != width || vips_image_get_height(image.get()) != height) {
    vips_error_clear();
    return nullptr;
  }
  const int bands = vips_image_get_bands(image.get());
  Picture picture = Bitmap::Create(width, height, bands == 4 ? PixelFormat::Argb32 : PixelFormat::Rgb32);
  if (!picture || picture->empty()) return nullptr;

  VipsPtr<VipsRegion> region(vips_region_new(image.get()));
  if (!region) return nullptr;
  constexpr int kStrip = 64;
  for (std::int64_t top = 0; top < height; top += kStrip) {
    VipsRect rect{0, static_cast<int>(top), static_cast<int>(width),
                  static_cast<int>(std::min<std::int64_t>(kStrip, height - top))};
    if (vips_region_prepare(region.get(), &rect) != 0) {
      vips_error_clear();
      return nullptr;
    }
    for (int y = rect.top; y < rect.top + rect.height; ++y) {
      const auto* src = reinterpret_cast<const std::uint8_t*>(VIPS_REGION_ADDR(region.get(), 0, y));
      std::uint32_t* out = picture->row(y);
      if (bands == 4) {
        for (std::int64_t x = 0; x < width; ++x, src += 4) {
          out[x] = Premultiply((static_cast<std::uint32_t>(src[3]) << 24) | (src[0] << 16) | (src[1] << 8) | src[2]);
        }
      } else {
        for (std::int64_t x = 0; x < width; ++x, src += 3) {
          out[x] = 0xFF000000u | (src[0] << 16) | (src[1] << 8) | src[2];
        }
      }
    }
  }
  picture->setExifOrientation(static_cast<std::uint16_t>(orientation >= 1 && orientation <= 8 ? orientation : 0));
  storedSize = {width, height};
  return picture;
}

}  // namespace vornida::imaging_internal
