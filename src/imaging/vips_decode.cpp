// PNG, GIF (first frame), WebP, TIFF (first page) and HEIC/HEIF through
// libvips. Only these loaders are let loose on outside data. The file is
// read through a libvips source in pieces and the picture pulled in strips
// of rows into the row target; WebP and HEIF are shrunk while they load
// where their libraries can (a scaled WebP decode, a HEIF file's own
// thumbnail when it is large enough).
#include <vips/vips.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "imaging/colour.h"
#include "imaging/decoder_warnings.h"
#include "imaging/decoders.h"
#include "imaging/row_target.h"

namespace vornida {

namespace {

// The file this thread decodes now (regions are computed on the thread that
// asks for them), and the files that drew a warning.
thread_local const std::string* decodingPath = nullptr;
std::mutex warnedMutex;
std::vector<std::string> warnedFiles;

void NoteLibraryWarning(const gchar*, GLogLevelFlags, const gchar*, gpointer) {
  if (decodingPath == nullptr || decodingPath->empty()) return;
  std::lock_guard<std::mutex> hold(warnedMutex);
  if (std::find(warnedFiles.begin(), warnedFiles.end(), *decodingPath) == warnedFiles.end())
    warnedFiles.push_back(*decodingPath);
}

class DecodingFile {
 public:
  explicit DecodingFile(const std::string& path) : previous_(decodingPath) { decodingPath = &path; }
  ~DecodingFile() { decodingPath = previous_; }
  DecodingFile(const DecodingFile&) = delete;
  DecodingFile& operator=(const DecodingFile&) = delete;

 private:
  const std::string* previous_;
};

}  // namespace

std::vector<std::string> TakeFilesWithDecoderWarnings() {
  std::lock_guard<std::mutex> hold(warnedMutex);
  return std::exchange(warnedFiles, {});
}

}  // namespace vornida

namespace vornida::imaging_internal {

namespace {

void InitVips() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Before anything can warn: libvips's words (and those of the format
    // libraries it passes on) never reach the terminal.
    g_log_set_handler("VIPS",
                      static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE |
                                                  G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG),
                      NoteLibraryWarning, nullptr);
    if (VIPS_INIT("vornida") != 0) return;
    // Buffers handed to a loader are ours and short-lived: nothing may
    // keep referring to them from an operation cache.
    vips_cache_set_max(0);
    vips_block_untrusted_set(TRUE);
  });
}

enum class Kind { Png, Gif, Webp, Tiff, Heif, Other };

// libvips names the loader by its class.
Kind KindOf(const char* loader) {
  if (loader == nullptr) return Kind::Other;
  const std::string_view n(loader);
  if (n == "VipsForeignLoadPngSource") return Kind::Png;
  if (n == "VipsForeignLoadNsgifSource") return Kind::Gif;
  if (n == "VipsForeignLoadWebpSource") return Kind::Webp;
  if (n == "VipsForeignLoadTiffSource") return Kind::Tiff;
  if (n == "VipsForeignLoadHeifSource") return Kind::Heif;
  return Kind::Other;
}

struct Unref {
  void operator()(void* object) const {
    if (object != nullptr) g_object_unref(object);
  }
};
template <typename T>
using VipsPtr = std::unique_ptr<T, Unref>;

VipsPtr<VipsImage> Open(VipsSource* source) {
  return VipsPtr<VipsImage>(vips_image_new_from_source(source, "", "access", VIPS_ACCESS_SEQUENTIAL, "fail_on",
                                                       VIPS_FAIL_ON_ERROR, nullptr));
}

// What the frame-at-once decoders hold while the picture is read, in bytes
// per pixel of what they load (0: read in strips).
double HeldBytesPerPixel(Kind kind, VipsImage* image) {
  switch (kind) {
    case Kind::Gif:
    case Kind::Webp: return 4;
    // The decoded YUV planes, the RGB frame made from them and libde265's
    // own frames: measured at ten bytes a pixel.
    case Kind::Heif: return 10;
    case Kind::Png: {
      int interlaced = 0;
      if (vips_image_get_typeof(image, "interlaced") != 0 && vips_image_get_int(image, "interlaced", &interlaced) == 0 &&
          interlaced != 0) {
        return static_cast<double>(vips_image_get_bands(image)) *
               (vips_image_get_format(image) == VIPS_FORMAT_USHORT ? 2 : 1);
      }
      return 0;
    }
    default: return 0;
  }
}

// The image as 8-bit bands in a layout the colour converter takes. Depths
// above 8 bits keep their top byte, so that CMYK stays CMYK and the
// embedded profile still applies; anything more exotic (Lab, floats) goes
// through libvips to sRGB, without a profile.
VipsPtr<VipsImage> EightBitBands(VipsImage* in, SourceLayout& layout, bool& keepProfile) {
  VipsImage* out = nullptr;
  VipsPtr<VipsImage> image;
  keepProfile = true;
  const VipsBandFormat format = vips_image_get_format(in);
  const VipsInterpretation interpretation = vips_image_get_interpretation(in);
  const bool plain = interpretation == VIPS_INTERPRETATION_sRGB || interpretation == VIPS_INTERPRETATION_RGB16 ||
                     interpretation == VIPS_INTERPRETATION_B_W || interpretation == VIPS_INTERPRETATION_GREY16 ||
                     interpretation == VIPS_INTERPRETATION_CMYK || interpretation == VIPS_INTERPRETATION_MULTIBAND ||
                     interpretation == VIPS_INTERPRETATION_RGB;
  if (plain && format == VIPS_FORMAT_UCHAR) {
    g_object_ref(in);
    image.reset(in);
  } else if (plain && format == VIPS_FORMAT_USHORT) {
    if (vips_msb(in, &out, nullptr) != 0) return nullptr;
    image.reset(out);
  } else {
    keepProfile = false;
    if (vips_colourspace(in, &out, VIPS_INTERPRETATION_sRGB, nullptr) != 0) return nullptr;
    image.reset(out);
    if (vips_image_get_format(image.get()) != VIPS_FORMAT_UCHAR) {
      if (vips_cast_uchar(image.get(), &out, nullptr) != 0) return nullptr;
      image.reset(out);
    }
  }
  int bands = vips_image_get_bands(image.get());
  if (interpretation == VIPS_INTERPRETATION_CMYK && keepProfile) {
    if (bands < 4) return nullptr;
    if (bands > 4) {  // ink and alpha: the alpha is dropped, as CMYK pictures are flattened
      if (vips_extract_band(image.get(), &out, 0, "n", 4, nullptr) != 0) return nullptr;
      image.reset(out);
    }
    layout = SourceLayout::Cmyk;
    return image;
  }
  if (bands > 4) {
    if (vips_extract_band(image.get(), &out, 0, "n", 4, nullptr) != 0) return nullptr;
    image.reset(out);
    bands = 4;
  }
  static constexpr SourceLayout kByBands[] = {SourceLayout::Grey, SourceLayout::GreyAlpha, SourceLayout::Rgb,
                                              SourceLayout::Rgba};
  layout = kByBands[bands - 1];
  return image;
}

}  // namespace

DecodeOutcome DecodeWithVips(const PictureInput& input, const DecodeWish& wish) {
  DecodeOutcome outcome;
  InitVips();
  const DecodingFile decoding(input.path());
  if (input.size() <= 0) return outcome;
  VipsPtr<VipsSource> source(input.descriptor() >= 0
                                 ? vips_source_new_from_descriptor(input.descriptor())
                                 : vips_source_new_from_memory(input.memory().data(), input.memory().size()));
  if (!source) {
    vips_error_clear();
    return outcome;
  }
  const Kind kind = KindOf(vips_foreign_find_load_source(source.get()));
  if (kind == Kind::Other) {
    vips_error_clear();
    return outcome;
  }
  VipsPtr<VipsImage> loaded = Open(source.get());
  if (!loaded) {
    vips_error_clear();
    return outcome;
  }
  const std::int64_t width = vips_image_get_width(loaded.get());
  const std::int64_t height = vips_image_get_height(loaded.get());
  if (width <= 0 || height <= 0) return outcome;
  if (width * height > MaxDecodedPixels()) {
    outcome.status = LoadStatus::TooLarge;
    return outcome;
  }
  // In HEIF the container's rotation and mirror properties are what count,
  // and libheif has applied them already; an EXIF orientation there is only
  // informative and must not turn the picture a second time.
  const int tag = kind == Kind::Heif ? 1 : vips_image_get_orientation(loaded.get());
  const std::uint16_t orientation = static_cast<std::uint16_t>(tag >= 1 && tag <= 8 ? tag : 0);
  const PictureSize wanted = WantedStoredSize({width, height}, orientation, wish.choose);

  // Shrink on load, keeping at least the margin over the wanted size.
  if (wanted.width < width && wanted.height < height) {
    if (kind == Kind::Webp) {
      const double scale = std::max(wish.margin * static_cast<double>(wanted.width) / static_cast<double>(width),
                                    wish.margin * static_cast<double>(wanted.height) / static_cast<double>(height));
      if (scale < 1) {
        VipsPtr<VipsImage> scaled(vips_image_new_from_source(source.get(), "", "access", VIPS_ACCESS_SEQUENTIAL,
                                                             "fail_on", VIPS_FAIL_ON_ERROR, "scale", scale, nullptr));
        if (scaled && vips_image_get_width(scaled.get()) >= wanted.width &&
            vips_image_get_height(scaled.get()) >= wanted.height) {
          loaded = std::move(scaled);
        }
      }
    } else if (kind == Kind::Heif) {
      VipsPtr<VipsImage> thumbnail(vips_image_new_from_source(source.get(), "", "access", VIPS_ACCESS_SEQUENTIAL,
                                                              "fail_on", VIPS_FAIL_ON_ERROR, "thumbnail", TRUE,
                                                              nullptr));
      if (thumbnail && vips_image_get_width(thumbnail.get()) >= wish.margin * static_cast<double>(wanted.width) &&
          vips_image_get_height(thumbnail.get()) >= wish.margin * static_cast<double>(wanted.height) &&
          vips_image_get_width(thumbnail.get()) < width) {
        loaded = std::move(thumbnail);
      }
    }
    vips_error_clear();
  }
  auto heldBytes = [kind](VipsImage* image) {
    return HeldBytesPerPixel(kind, image) * static_cast<double>(vips_image_get_width(image)) *
           static_cast<double>(vips_image_get_height(image));
  };
  if (heldBytes(loaded.get()) > static_cast<double>(DecoderMemoryBudget())) {
    // libheif decodes a picture whole: one too large for that is read from
    // the thumbnail the file carries, when it carries one and a reduced
    // picture was asked for (sharper would need the memory it does not have).
    VipsPtr<VipsImage> thumbnail;
    if (kind == Kind::Heif && wish.choose != nullptr) {
      thumbnail.reset(vips_image_new_from_source(source.get(), "", "access", VIPS_ACCESS_SEQUENTIAL, "fail_on",
                                                 VIPS_FAIL_ON_ERROR, "thumbnail", TRUE, nullptr));
      vips_error_clear();
    }
    if (!thumbnail || vips_image_get_width(thumbnail.get()) >= width ||
        heldBytes(thumbnail.get()) > static_cast<double>(DecoderMemoryBudget())) {
      outcome.status = LoadStatus::TooLarge;
      return outcome;
    }
    loaded = std::move(thumbnail);
  }
  const std::int64_t loadedWidth = vips_image_get_width(loaded.get());
  const std::int64_t loadedHeight = vips_image_get_height(loaded.get());

  SourceLayout layout = SourceLayout::Rgb;
  bool keepProfile = true;
  VipsPtr<VipsImage> image = EightBitBands(loaded.get(), layout, keepProfile);
  if (!image || vips_image_get_width(image.get()) != loadedWidth || vips_image_get_height(image.get()) != loadedHeight) {
    vips_error_clear();
    return outcome;
  }
  std::span<const std::uint8_t> profile;
  if (keepProfile && vips_image_get_typeof(loaded.get(), VIPS_META_ICC_NAME) != 0) {
    const void* data = nullptr;
    size_t length = 0;
    if (vips_image_get_blob(loaded.get(), VIPS_META_ICC_NAME, &data, &length) == 0 && data != nullptr) {
      profile = {static_cast<const std::uint8_t*>(data), length};
    }
  }
  const ColourConverter colour(layout, profile);

  std::unique_ptr<RowTarget> target = RowTarget::Make({loadedWidth, loadedHeight}, wanted,
                                                      colour.hasAlpha() ? PixelFormat::Argb32 : PixelFormat::Rgb32);
  if (!target) {
    outcome.status = LoadStatus::TooLarge;
    return outcome;
  }
  VipsPtr<VipsRegion> region(vips_region_new(image.get()));
  if (!region) return outcome;
  constexpr int kStrip = 64;
  for (std::int64_t top = 0; top < loadedHeight; top += kStrip) {
    VipsRect rect{0, static_cast<int>(top), static_cast<int>(loadedWidth),
                  static_cast<int>(std::min<std::int64_t>(kStrip, loadedHeight - top))};
    if (vips_region_prepare(region.get(), &rect) != 0) {
      vips_error_clear();
      return outcome;
    }
    for (int y = rect.top; y < rect.top + rect.height; ++y) {
      const auto* src = reinterpret_cast<const std::uint8_t*>(VIPS_REGION_ADDR(region.get(), 0, y));
      colour.ToWords(src, target->Row(y), loadedWidth);
      target->Commit();
    }
  }
  outcome.picture = target->Finish();
  outcome.picture->setExifOrientation(orientation);
  outcome.stored = {width, height};
  outcome.status = LoadStatus::Decoded;
  return outcome;
}

}  // namespace vornida::imaging_internal
