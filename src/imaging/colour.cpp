#include "imaging/colour.h"

#include <lcms2.h>

#include <algorithm>
#include <cstring>
#include <list>
#include <mutex>
#include <string>
#include <string_view>

#include "imaging/bitmap.h"

namespace vornida::imaging_internal {

namespace {

// Most photos of a collection carry one of a few profiles: their transforms
// are made once and shared (little CMS transforms may be used from several
// threads at once when made without their one-pixel cache).
struct CachedTransform {
  std::string profile;
  SourceLayout layout;
  std::shared_ptr<void> transform;  // null for a profile that gives none
};
constexpr std::size_t kCachedTransforms = 8;

std::mutex cacheMutex;
std::list<CachedTransform>& Cache() {
  static auto* cache = new std::list<CachedTransform>();  // lives as long as the program
  return *cache;
}

cmsUInt32Number LcmsInputFormat(SourceLayout layout) {
  switch (layout) {
    case SourceLayout::Rgb: return TYPE_RGB_8;
    case SourceLayout::Rgba: return TYPE_RGBA_8;
    case SourceLayout::Bgrx: return TYPE_BGRA_8;
    case SourceLayout::Grey: return TYPE_GRAY_8;
    case SourceLayout::GreyAlpha: return TYPE_GRAYA_8;
    case SourceLayout::Cmyk: return TYPE_CMYK_8;
    case SourceLayout::CmykInverted: return TYPE_CMYK_8_REV;
  }
  return TYPE_RGB_8;
}

cmsColorSpaceSignature SpaceOf(SourceLayout layout) {
  switch (layout) {
    case SourceLayout::Grey:
    case SourceLayout::GreyAlpha: return cmsSigGrayData;
    case SourceLayout::Cmyk:
    case SourceLayout::CmykInverted: return cmsSigCmykData;
    default: return cmsSigRgbData;
  }
}

bool IsSrgb(cmsHPROFILE profile) {
  char description[256] = {};
  cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", description, sizeof description - 1);
  return std::string_view(description).find("sRGB") != std::string_view::npos;
}

void QuietErrors(cmsContext, cmsUInt32Number, const char*) {}

cmsHTRANSFORM MakeTransform(SourceLayout layout, std::span<const std::uint8_t> bytes) {
  static std::once_flag quiet;
  std::call_once(quiet, [] { cmsSetLogErrorHandler(QuietErrors); });
  cmsHPROFILE input = cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
  if (input == nullptr) return nullptr;
  cmsHTRANSFORM transform = nullptr;
  if (cmsGetColorSpace(input) == SpaceOf(layout) && !(SpaceOf(layout) == cmsSigRgbData && IsSrgb(input))) {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    // Alpha (or libjpeg's filler byte) travels along unchanged.
    const bool extra = layout == SourceLayout::Rgba || layout == SourceLayout::GreyAlpha || layout == SourceLayout::Bgrx;
    const cmsUInt32Number flags = cmsFLAGS_NOCACHE | (extra ? cmsFLAGS_COPY_ALPHA : 0);
    transform = cmsCreateTransform(input, LcmsInputFormat(layout), srgb, TYPE_BGRA_8, INTENT_PERCEPTUAL, flags);
    cmsCloseProfile(srgb);
  }
  cmsCloseProfile(input);
  return transform;
}

std::shared_ptr<void> SharedTransform(SourceLayout layout, std::span<const std::uint8_t> bytes) {
  // Profiles beyond a few megabytes are no colour description we need.
  if (bytes.size() < 128 || bytes.size() > (std::size_t{4} << 20)) return nullptr;
  std::string key(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::lock_guard lock(cacheMutex);
  auto& cache = Cache();
  for (auto it = cache.begin(); it != cache.end(); ++it) {
    if (it->layout == layout && it->profile == key) {
      cache.splice(cache.begin(), cache, it);
      return it->transform;
    }
  }
  // A profile that gives no transform is remembered too, as null. A
  // transform dropped from the cache lives on while a decode still uses it.
  std::shared_ptr<void> transform;
  if (cmsHTRANSFORM made = MakeTransform(layout, bytes)) transform.reset(made, cmsDeleteTransform);
  cache.push_front({std::move(key), layout, transform});
  if (cache.size() > kCachedTransforms) cache.pop_back();
  return transform;
}

inline std::uint32_t Word(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return 0xFF000000u | (r << 16) | (g << 8) | b;
}

// White less the ink, darkened by the black: full black ink is black.
inline std::uint32_t InkToWord(std::uint32_t c, std::uint32_t m, std::uint32_t y, std::uint32_t k) {
  const std::uint32_t white = 255 - k;
  return Word(((255 - c) * white + 127) / 255, ((255 - m) * white + 127) / 255, ((255 - y) * white + 127) / 255);
}

}  // namespace

ColourConverter::ColourConverter(SourceLayout layout, std::span<const std::uint8_t> profile) : layout_(layout) {
  if (!profile.empty()) transform_ = SharedTransform(layout, profile);
}

ColourConverter::~ColourConverter() = default;

int ColourConverter::BytesPerPixel(SourceLayout layout) {
  switch (layout) {
    case SourceLayout::Rgb: return 3;
    case SourceLayout::Grey: return 1;
    case SourceLayout::GreyAlpha: return 2;
    default: return 4;
  }
}

void ColourConverter::ToWords(const std::uint8_t* in, std::uint32_t* out, std::int64_t count) const {
  if (transform_ != nullptr) {
    // Through the profile into B, G, R, A bytes, which on our little-endian
    // machines are the words themselves; alpha is copied along (or left as
    // it was written before, 0xFF for opaque layouts).
    if (!hasAlpha() && static_cast<const void*>(in) != static_cast<const void*>(out)) {
      for (std::int64_t x = 0; x < count; ++x) out[x] = 0xFF000000u;
    }
    // Long rows go through in pieces: little CMS counts pixels in 32 bits.
    constexpr std::int64_t kPiece = 1 << 20;
    const int bpp = BytesPerPixel(layout_);
    for (std::int64_t done = 0; done < count; done += kPiece) {
      const std::int64_t n = std::min(kPiece, count - done);
      cmsDoTransform(transform_.get(), in + done * bpp, out + done,
                     static_cast<cmsUInt32Number>(n));
    }
    if (layout_ == SourceLayout::Bgrx) {
      for (std::int64_t x = 0; x < count; ++x) out[x] |= 0xFF000000u;
    } else if (hasAlpha()) {
      for (std::int64_t x = 0; x < count; ++x) out[x] = Premultiply(out[x]);
    }
    return;
  }
  switch (layout_) {
    case SourceLayout::Rgb:
      for (std::int64_t x = 0; x < count; ++x, in += 3) out[x] = Word(in[0], in[1], in[2]);
      break;
    case SourceLayout::Rgba:
      for (std::int64_t x = 0; x < count; ++x, in += 4) {
        out[x] = Premultiply((static_cast<std::uint32_t>(in[3]) << 24) | (in[0] << 16) | (in[1] << 8) | in[2]);
      }
      break;
    case SourceLayout::Bgrx:
      for (std::int64_t x = 0; x < count; ++x, in += 4) out[x] = Word(in[2], in[1], in[0]);
      break;
    case SourceLayout::Grey:
      for (std::int64_t x = 0; x < count; ++x) out[x] = Word(in[x], in[x], in[x]);
      break;
    case SourceLayout::GreyAlpha:
      for (std::int64_t x = 0; x < count; ++x, in += 2) {
        out[x] = Premultiply((static_cast<std::uint32_t>(in[1]) << 24) | (in[0] << 16) | (in[0] << 8) | in[0]);
      }
      break;
    case SourceLayout::Cmyk:
      for (std::int64_t x = 0; x < count; ++x, in += 4) out[x] = InkToWord(in[0], in[1], in[2], in[3]);
      break;
    case SourceLayout::CmykInverted:
      for (std::int64_t x = 0; x < count; ++x, in += 4) {
        out[x] = InkToWord(255u - in[0], 255u - in[1], 255u - in[2], 255u - in[3]);
      }
      break;
  }
}

}  // namespace vornida::imaging_internal
