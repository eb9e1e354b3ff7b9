// Small value types and the rounding shared by the collage engine. Every
// rounding is half away from zero (RoundHalfAway of the imaging module).
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "imaging/bitmap.h"

namespace vornida {

struct PointD {
  double x = 0;
  double y = 0;
};

struct SizeI {
  int32_t w = 0;
  int32_t h = 0;
};

struct PointI {
  int32_t x = 0;
  int32_t y = 0;
};

// Converts a real to a 32-bit int, saturating (NaN gives 0). The layout
// arithmetic can produce infinities from degenerate input (a zero spacing, an
// empty shape); saturating keeps the conversion defined.
inline int32_t SaturateToInt32(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

// RoundHalfAway into a 32-bit int, saturating; defined for any input.
inline int32_t RoundToInt(double x) { return SaturateToInt32(x > 0 ? std::floor(x + 0.5) : std::ceil(x - 0.5)); }

}  // namespace vornida
