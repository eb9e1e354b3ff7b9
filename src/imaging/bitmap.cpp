#include "imaging/bitmap.h"

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "imaging/memory.h"

namespace vornida {

namespace {

// Small pictures come from the heap; large ones are mapped directly so that
// their pages go back to the system at once when freed, and are populated in
// one go (first touch of a multi-gigabyte canvas page by page is several
// times slower).
constexpr std::size_t kMapThreshold = std::size_t{8} << 20;

std::uint8_t* AllocatePixels(std::size_t bytes) {
  if (bytes < kMapThreshold) {
    return static_cast<std::uint8_t*>(std::calloc(1, bytes));
  }
  if (!imaging_internal::MemoryAvailableFor(bytes)) return nullptr;
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  return p == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(p);
}

void FreePixels(std::uint8_t* data, std::size_t bytes) {
  if (data == nullptr) return;
  if (bytes < kMapThreshold) {
    std::free(data);
  } else {
    munmap(data, bytes);
  }
}

}  // namespace

std::unique_ptr<Bitmap> Bitmap::Create(std::int64_t width, std::int64_t height, PixelFormat format) {
  if (width < 0 || height < 0) return nullptr;
  if (width > std::numeric_limits<std::int32_t>::max() || height > std::numeric_limits<std::int32_t>::max()) {
    return nullptr;
  }
  if (width != 0 && height > kMaxPicturePixels / width) return nullptr;
  std::unique_ptr<Bitmap> bitmap(new Bitmap());
  bitmap->format_ = format;
  if (width == 0 || height == 0) return bitmap;
  const std::int64_t stride = width * 4;
  const std::size_t bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
  bitmap->data_ = AllocatePixels(bytes);
  if (bitmap->data_ == nullptr) return nullptr;
  bitmap->allocated_ = bytes;
  bitmap->width_ = width;
  bitmap->height_ = height;
  bitmap->stride_ = stride;
  return bitmap;
}

std::unique_ptr<Bitmap> Bitmap::CreateEmpty() { return std::unique_ptr<Bitmap>(new Bitmap()); }

Bitmap::~Bitmap() { FreePixels(data_, allocated_); }

void Bitmap::swapContents(Bitmap& other) noexcept {
  std::swap(width_, other.width_);
  std::swap(height_, other.height_);
  std::swap(stride_, other.stride_);
  std::swap(format_, other.format_);
  std::swap(exifOrientation_, other.exifOrientation_);
  std::swap(data_, other.data_);
  std::swap(allocated_, other.allocated_);
}

std::uint32_t Premultiply(std::uint32_t argb) {
  const std::uint32_t a = argb >> 24;
  if (a == 255) return argb;
  if (a == 0) return 0;
  auto mul = [a](std::uint32_t c) {
    const std::uint32_t t = c * a + 128;
    return (t + (t >> 8)) >> 8;  // exact rounding of c * a / 255
  };
  return (a << 24) | (mul((argb >> 16) & 0xFF) << 16) | (mul((argb >> 8) & 0xFF) << 8) | mul(argb & 0xFF);
}

std::uint32_t Unpremultiply(std::uint32_t argb) {
  const std::uint32_t a = argb >> 24;
  if (a == 255) return argb;
  if (a == 0) return 0;
  auto div = [a](std::uint32_t c) { return std::min<std::uint32_t>(255, (c * 255 + a / 2) / a); };
  return (a << 24) | (div((argb >> 16) & 0xFF) << 16) | (div((argb >> 8) & 0xFF) << 8) | div(argb & 0xFF);
}

std::int64_t RoundHalfAway(double x) {
  // Converting NaN or an out-of-range double is undefined: such factors give
  // a size no picture can have, which callers turn into an empty picture.
  constexpr double kLimit = 9.0e18;
  if (std::isnan(x)) return 0;
  if (x >= kLimit) return static_cast<std::int64_t>(kLimit);
  if (x <= -kLimit) return -static_cast<std::int64_t>(kLimit);
  return static_cast<std::int64_t>(x > 0 ? std::floor(x + 0.5) : std::ceil(x - 0.5));
}

LockedPixels LockPixels(Bitmap& picture) {
  LockedPixels locked;
  if (picture.empty()) return locked;
  if (picture.format() == PixelFormat::Rgb32) {
    for (std::int64_t y = 0; y < picture.height(); ++y) {
      std::uint32_t* row = picture.row(y);
      for (std::int64_t x = 0; x < picture.width(); ++x) row[x] |= 0xFF000000u;
    }
  }
  locked.first_ = picture.row(0);
  locked.stride_ = picture.stride();
  locked.width_ = picture.width();
  locked.height_ = picture.height();
  return locked;
}

}  // namespace vornida
