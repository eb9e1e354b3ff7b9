#include "engine/random.h"

#include <cmath>
#include <ctime>
#include <numeric>
#include <utility>

namespace vornida {

double NormalSource::Next(RandomGenerator& rng) {
  if (haveSpare_) {
    haveSpare_ = false;
    return spare_;
  }
  double u = 0, v = 0, s = 0;
  do {
    u = rng.NextUnit() * 2 - 1;
    v = rng.NextUnit() * 2 - 1;
    s = u * u + v * v;
  } while (s >= 1 || s == 0);
  double f = std::sqrt(-2 * std::log(s) / s);
  spare_ = v * f;
  haveSpare_ = true;
  return u * f;
}

std::vector<int32_t> RandomPermutation(RandomGenerator& rng, int32_t n) {
  std::vector<int32_t> order(n > 0 ? static_cast<size_t>(n) : 0);
  std::iota(order.begin(), order.end(), 0);
  for (int32_t i = 0; i < n; ++i) {
    int32_t j = i + static_cast<int32_t>(rng.NextWide() % static_cast<uint32_t>(n - i));
    std::swap(order[i], order[j]);
  }
  return order;
}

uint32_t TimeSeed() { return static_cast<uint32_t>(std::time(nullptr)); }

}  // namespace vornida
