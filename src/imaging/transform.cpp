// Resizing, cloning, converting and cropping.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/bitmap.h"

namespace vornida {

namespace {

constexpr int kWeightBits = 14;
constexpr std::int32_t kWeightOne = 1 << kWeightBits;

// For each output position, the first source position and the fixed-point
// weights of the sources it reads. Shrinking averages the exact area each
// output pixel covers; enlarging interpolates linearly between neighbours.
struct Taps {
  std::vector<std::int64_t> first;
  std::vector<int> count;
  std::vector<std::int32_t> weights;  // `stride` per output position
  int stride = 0;
};

Taps MakeTaps(std::int64_t srcSize, std::int64_t dstSize) {
  Taps taps;
  const double scale = static_cast<double>(srcSize) / static_cast<double>(dstSize);
  taps.stride = scale > 1 ? static_cast<int>(std::ceil(scale)) + 2 : 2;
  taps.first.resize(dstSize);
  taps.count.resize(dstSize);
  taps.weights.assign(static_cast<std::size_t>(dstSize) * taps.stride, 0);
  std::vector<double> w(taps.stride);
  for (std::int64_t i = 0; i < dstSize; ++i) {
    std::int64_t first = 0;
    int n = 0;
    if (scale > 1) {
      const double lo = static_cast<double>(i) * scale, hi = lo + scale;
      first = static_cast<std::int64_t>(std::floor(lo));
      const std::int64_t last = std::min(srcSize - 1, static_cast<std::int64_t>(std::ceil(hi)) - 1);
      for (std::int64_t j = first; j <= last && n < taps.stride; ++j) {
        w[n++] = std::min(hi, static_cast<double>(j + 1)) - std::max(lo, static_cast<double>(j));
      }
    } else {
      const double pos = (static_cast<double>(i) + 0.5) * scale - 0.5;
      const double base = std::floor(pos);
      const double f = pos - base;
      first = static_cast<std::int64_t>(base);
      if (first < 0) {
        first = 0;
        w[n++] = 1;
      } else if (first >= srcSize - 1) {
        first = srcSize - 1;
        w[n++] = 1;
      } else {
        w[n++] = 1 - f;
        w[n++] = f;
      }
    }
    double sum = 0;
    for (int k = 0; k < n; ++k) sum += w[k];
    // Fixed-point weights that add up to exactly one, so flat areas stay flat.
    std::int32_t total = 0;
    std::int32_t* out = &taps.weights[static_cast<std::size_t>(i) * taps.stride];
    int largest = 0;
    for (int k = 0; k < n; ++k) {
      out[k] = static_cast<std::int32_t>(std::lround(w[k] / sum * kWeightOne));
      total += out[k];
      if (out[k] > out[largest]) largest = k;
    }
    out[largest] += kWeightOne - total;
    taps.first[i] = first;
    taps.count[i] = n;
  }
  return taps;
}

inline std::uint32_t Pack(const std::int32_t* acc) {
  auto channel = [](std::int32_t v) {
    v = (v + (kWeightOne >> 1)) >> kWeightBits;
    return static_cast<std::uint32_t>(std::clamp(v, 0, 255));
  };
  const std::uint32_t a = channel(acc[3]);
  // Premultiplied colour never exceeds its alpha.
  const std::uint32_t r = std::min(channel(acc[2]), a), g = std::min(channel(acc[1]), a),
                      b = std::min(channel(acc[0]), a);
  return (a << 24) | (r << 16) | (g << 8) | b;
}

// Two separable passes over premultiplied pixels: rows first into a buffer
// of the new width, then columns into the result.
bool Resample(const Bitmap& src, Bitmap& dst) {
  const std::int64_t sw = src.width(), sh = src.height(), dw = dst.width(), dh = dst.height();
  const Taps horizontal = MakeTaps(sw, dw);
  const Taps vertical = MakeTaps(sh, dh);
  const std::uint32_t forceAlpha = src.format() == PixelFormat::Rgb32 ? 0xFF000000u : 0;

  Picture between = Bitmap::Create(dw, sh, PixelFormat::Argb32);
  if (!between) return false;
  for (std::int64_t y = 0; y < sh; ++y) {
    const std::uint32_t* in = src.row(y);
    std::uint32_t* out = between->row(y);
    for (std::int64_t x = 0; x < dw; ++x) {
      std::int32_t acc[4] = {0, 0, 0, 0};
      const std::int32_t* w = &horizontal.weights[static_cast<std::size_t>(x) * horizontal.stride];
      const std::uint32_t* p = in + horizontal.first[x];
      for (int k = 0; k < horizontal.count[x]; ++k) {
        const std::uint32_t v = p[k] | forceAlpha;
        acc[0] += static_cast<std::int32_t>(v & 0xFF) * w[k];
        acc[1] += static_cast<std::int32_t>((v >> 8) & 0xFF) * w[k];
        acc[2] += static_cast<std::int32_t>((v >> 16) & 0xFF) * w[k];
        acc[3] += static_cast<std::int32_t>(v >> 24) * w[k];
      }
      out[x] = Pack(acc);
    }
  }
  std::vector<std::int32_t> acc(static_cast<std::size_t>(dw) * 4);
  for (std::int64_t y = 0; y < dh; ++y) {
    std::fill(acc.begin(), acc.end(), 0);
    const std::int32_t* w = &vertical.weights[static_cast<std::size_t>(y) * vertical.stride];
    for (int k = 0; k < vertical.count[y]; ++k) {
      const std::uint32_t* in = between->row(vertical.first[y] + k);
      const std::int32_t weight = w[k];
      std::int32_t* a = acc.data();
      for (std::int64_t x = 0; x < dw; ++x, a += 4) {
        const std::uint32_t v = in[x];
        a[0] += static_cast<std::int32_t>(v & 0xFF) * weight;
        a[1] += static_cast<std::int32_t>((v >> 8) & 0xFF) * weight;
        a[2] += static_cast<std::int32_t>((v >> 16) & 0xFF) * weight;
        a[3] += static_cast<std::int32_t>(v >> 24) * weight;
      }
    }
    std::uint32_t* out = dst.row(y);
    const std::int32_t* a = acc.data();
    for (std::int64_t x = 0; x < dw; ++x, a += 4) out[x] = Pack(a);
  }
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
