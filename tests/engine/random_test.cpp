// The run's randomness: reproducible from a seed, the draws in their ranges,
// normal deviates with the right spread, permutations that are permutations.
#include "engine/random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace vornida {
namespace {

TEST(RandomTest, SameSeedGivesTheSameSequence) {
  RandomGenerator a(77), b(77), c(78);
  bool differs = false;
  for (int i = 0; i < 100; ++i) {
    int va = a.Next15();
    EXPECT_EQ(va, b.Next15());
    differs |= va != c.Next15();
  }
  EXPECT_TRUE(differs);
}

TEST(RandomTest, DrawsStayInTheirRanges) {
  RandomGenerator rng(1);
  int lo = 32767, hi = 0;
  for (int i = 0; i < 200000; ++i) {
    int v = rng.Next15();
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 32767);
  // A wide draw is the first value shifted left by 16, OR-ed with the second.
  RandomGenerator x(9), y(9);
  uint32_t wide = x.NextWide();
  uint32_t first = static_cast<uint32_t>(y.Next15());
  uint32_t second = static_cast<uint32_t>(y.Next15());
  EXPECT_EQ(wide, (first << 16) | second);
  EXPECT_LT(wide, 1u << 31);
}

TEST(RandomTest, NormalSourceHasUnitSpreadAndKeepsTheSecondDeviate) {
  RandomGenerator rng(123);
  NormalSource normal;
  double sum = 0, sumSq = 0;
  const int n = 100000;
  for (int i = 0; i < n; ++i) {
    double g = normal.Next(rng);
    sum += g;
    sumSq += g * g;
  }
  EXPECT_NEAR(sum / n, 0.0, 0.02);
  EXPECT_NEAR(sumSq / n, 1.0, 0.03);
  // The second deviate of a pair costs no draw.
  RandomGenerator a(5);
  NormalSource s;
  s.Next(a);
  RandomGenerator after = a;
  s.Next(a);
  EXPECT_EQ(a.Next15(), after.Next15());
}

TEST(RandomTest, PermutationHoldsEveryIndexOnce) {
  RandomGenerator rng(7);
  auto p = RandomPermutation(rng, 1000);
  ASSERT_EQ(p.size(), 1000u);
  auto sorted = p;
  std::sort(sorted.begin(), sorted.end());
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(sorted[i], i);
  int fixedPoints = 0;
  for (int i = 0; i < 1000; ++i) fixedPoints += p[i] == i;
  EXPECT_LT(fixedPoints, 10);
  EXPECT_TRUE(RandomPermutation(rng, 0).empty());
}

}  // namespace
}  // namespace vornida
