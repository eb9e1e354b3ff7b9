#include "imaging/resample.h"

#include <cmath>

namespace vornida::imaging_internal {

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

void ResampleRow(const std::uint32_t* in, std::uint32_t* out, const Taps& taps, std::int64_t outWidth,
                 std::uint32_t forceAlpha) {
  for (std::int64_t x = 0; x < outWidth; ++x) {
    std::int32_t acc[4] = {0, 0, 0, 0};
    const std::int32_t* w = taps.WeightsOf(x);
    const std::uint32_t* p = in + taps.first[x];
    for (int k = 0; k < taps.count[x]; ++k) {
      const std::uint32_t v = p[k] | forceAlpha;
      acc[0] += static_cast<std::int32_t>(v & 0xFF) * w[k];
      acc[1] += static_cast<std::int32_t>((v >> 8) & 0xFF) * w[k];
      acc[2] += static_cast<std::int32_t>((v >> 16) & 0xFF) * w[k];
      acc[3] += static_cast<std::int32_t>(v >> 24) * w[k];
    }
    out[x] = Pack(acc);
  }
}

void AccumulateRow(const std::uint32_t* in, std::int32_t weight, std::int32_t* acc, std::int64_t count) {
  // The words' bytes in memory are B, G, R, A on the little-endian machines
  // we build for: the order of the sums.
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(in);
  const std::int64_t n = count * 4;
  for (std::int64_t i = 0; i < n; ++i) acc[i] += static_cast<std::int32_t>(bytes[i]) * weight;
}

void PackRow(const std::int32_t* acc, std::uint32_t* out, std::int64_t count, bool opaque) {
  std::int32_t sums[4];
  for (std::int64_t x = 0; x < count; ++x, acc += 4) {
    sums[0] = acc[0];
    sums[1] = acc[1];
    sums[2] = acc[2];
    sums[3] = opaque ? 255 * kWeightOne : acc[3];
    out[x] = Pack(sums);
  }
}

}  // namespace vornida::imaging_internal
