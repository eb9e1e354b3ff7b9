// Randomness of a layout run.
//
// One generator of 15-bit values drives everything random in a run: start
// positions, angles, draw order, the sweeps of the placement and the tie
// breaks of the shape makers. Seeding it with a fixed value makes a layout
// reproducible; by default a run seeds it with the time in seconds.
#pragma once

#include <cstdint>
#include <vector>

namespace vornida {

class RandomGenerator {
 public:
  static constexpr int kMax = 32767;

  explicit RandomGenerator(uint32_t seed = 1) : state_(seed) {}
  void Seed(uint32_t seed) { state_ = seed; }

  // Next value in 0..32767.
  int Next15() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFF);
  }

  // Two draws combined, first << 16 | second: 0..2^31-1.
  uint32_t NextWide() {
    uint32_t hi = static_cast<uint32_t>(Next15());
    uint32_t lo = static_cast<uint32_t>(Next15());
    return (hi << 16) | lo;
  }

  // A draw in 0..1 (value / 32767).
  double NextUnit() { return Next15() / static_cast<double>(kMax); }

 private:
  uint32_t state_;
};

// Standard normal deviates by the polar method. Each call site that needs its
// own stream of deviates keeps its own source; the second deviate of a pair
// is kept for the next call.
class NormalSource {
 public:
  double Next(RandomGenerator& rng);

 private:
  bool haveSpare_ = false;
  double spare_ = 0;
};

// A random permutation of 0..n-1: swap entry i with entry i + R mod (n - i).
std::vector<int32_t> RandomPermutation(RandomGenerator& rng, int32_t n);

// The seed a run uses when none is fixed: the current time in seconds.
uint32_t TimeSeed();

}  // namespace vornida
