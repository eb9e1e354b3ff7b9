// The resampling weights shared by ResizeTo and the shrinking row target, so
// that a picture shrunk while it is decoded has exactly the pixels of one
// decoded whole and then resized.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace vornida::imaging_internal {

inline constexpr int kWeightBits = 14;
inline constexpr std::int32_t kWeightOne = 1 << kWeightBits;

// For each output position, the first source position and the fixed-point
// weights of the sources it reads. Shrinking averages the exact area each
// output pixel covers; enlarging interpolates linearly between neighbours.
// The weights of each output position add up to exactly kWeightOne.
struct Taps {
  std::vector<std::int64_t> first;
  std::vector<int> count;
  std::vector<std::int32_t> weights;  // `stride` per output position
  int stride = 0;

  const std::int32_t* WeightsOf(std::int64_t i) const { return &weights[static_cast<std::size_t>(i) * stride]; }
};

Taps MakeTaps(std::int64_t srcSize, std::int64_t dstSize);

// Four weighted channel sums (B, G, R, A order) back to a premultiplied word.
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

// One row through the horizontal taps: `in` has the source width, `out` the
// output width. `forceAlpha` is 0xFF000000 for opaque sources, whose stored
// top byte may be anything.
void ResampleRow(const std::uint32_t* in, std::uint32_t* out, const Taps& taps, std::int64_t outWidth,
                 std::uint32_t forceAlpha);

// Adds `weight` times the channels of `count` pixels to their sums (four a
// pixel, B, G, R, A). A plain loop over bytes, which the compiler turns into
// vector instructions.
void AccumulateRow(const std::uint32_t* in, std::int32_t weight, std::int32_t* acc, std::int64_t count);
// The sums of `count` pixels back to premultiplied words; `opaque` makes
// every alpha 255 (the top byte of an opaque picture's words is not kept).
void PackRow(const std::int32_t* acc, std::uint32_t* out, std::int64_t count, bool opaque);

}  // namespace vornida::imaging_internal
