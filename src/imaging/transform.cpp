// Resizing, cloning, converting and cropping.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/resample.h"

namespace vornida {

namespace {

using imaging_internal::AccumulateRow;
using imaging_internal::MakeTaps;
using imaging_internal::PackRow;
using imaging_internal::ResampleRow;
using imaging_internal::Taps;

// Two separable passes over premultiplied pixels: columns first into a
// buffer of the new height (a vectorised sum over whole rows), then rows
// into the result. The shrinking row target does the same, pass for pass.
bool Resample(const Bitmap& src, Bitmap& dst) {
  const std::int64_t sw = src.width(), dw = dst.width(), dh = dst.height();
  const Taps horizontal = MakeTaps(sw, dw);
  const Taps vertical = MakeTaps(src.height(), dh);
  const bool opaque = src.format() == PixelFormat::Rgb32;

  Picture between = Bitmap::Create(sw, dh, PixelFormat::Argb32);
  if (!between) return false;
  std::vector<std::int32_t> acc(static_cast<std::size_t>(sw) * 4);
  for (std::int64_t y = 0; y < dh; ++y) {
    std::fill(acc.begin(), acc.end(), 0);
    const std::int32_t* w = vertical.WeightsOf(y);
    for (int k = 0; k < vertical.count[y]; ++k) AccumulateRow(src.row(vertical.first[y] + k), w[k], acc.data(), sw);
    PackRow(acc.data(), between->row(y), sw, opaque);
  }
  for (std::int64_t y = 0; y < dh; ++y) ResampleRow(between->row(y), dst.row(y), horizontal, dw, 0);
  return true;
}

}  // namespace

Picture ResizeTo(Picture picture, std::int64_t width, std::int64_t height) {
  if (!picture) return nullptr;
  if (picture->width() == width && picture->height() == height) return picture;
  if (width <= 0 || height <= 0 || picture->empty()) return Bitmap::CreateEmpty();
  Picture resized = Bitmap::Create(width, height, PixelFormat::Argb32);
  if (!resized || !Resample(*picture, *resized)) return Bitmap::CreateEmpty();
  return resized;
}

Picture ClonePicture(const Bitmap& picture) {
  Picture copy = Bitmap::Create(picture.width(), picture.height(), picture.format());
  if (!copy) return Bitmap::CreateEmpty();
  for (std::int64_t y = 0; y < picture.height(); ++y) {
    std::memcpy(copy->row(y), picture.row(y), static_cast<std::size_t>(picture.width()) * 4);
  }
  copy->setExifOrientation(picture.exifOrientation());
  return copy;
}

// Converting needs no second buffer: both formats share the word layout, and
// premultiplied colour over black is the colour itself.
Picture ConvertFormat(Picture picture, PixelFormat format) {
  if (!picture || picture->format() == format) return picture;
  for (std::int64_t y = 0; y < picture->height(); ++y) {
    std::uint32_t* row = picture->row(y);
    for (std::int64_t x = 0; x < picture->width(); ++x) row[x] |= 0xFF000000u;
  }
  picture->format_ = format;
  return picture;
}

Picture CropToContent(Picture picture) {
  if (!picture || picture->empty()) return picture;
  std::int64_t minX = picture->width(), minY = picture->height(), maxX = 0, maxY = 0;
  {
    const LockedPixels pixels = LockPixels(*picture);
    for (std::int64_t y = 0; y < pixels.height(); ++y) {
      const std::uint32_t* row = pixels.row(y);
      for (std::int64_t x = 0; x < pixels.width(); ++x) {
        if ((row[x] >> 24) == 0) continue;
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
      }
    }
  }
  if (minX == 0 && minY == 0 && maxX == picture->width() - 1 && maxY == picture->height() - 1) return picture;
  if (minX > maxX || minY > maxY) return picture;  // no content at all
  const std::int64_t width = maxX - minX + 1, height = maxY - minY + 1;
  Picture cropped = Bitmap::Create(width, height, picture->format());
  if (!cropped) return Bitmap::CreateEmpty();
  for (std::int64_t y = 0; y < height; ++y) {
    std::memcpy(cropped->row(y), picture->row(minY + y) + minX, static_cast<std::size_t>(width) * 4);
  }
  return cropped;
}

}  // namespace vornida
