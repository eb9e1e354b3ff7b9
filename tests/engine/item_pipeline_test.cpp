// The final render's item pipeline: items made on several threads come out
// in order, the workers never run further ahead than allowed, and a cancel
// stops them.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "engine/item_pipeline.h"

namespace vornida {
namespace {

// A 1 x 1 picture whose pixel names the item it was made for.
Picture Numbered(int32_t item) {
  Picture p = Bitmap::Create(1, 1, PixelFormat::Rgb32);
  p->row(0)[0] = static_cast<uint32_t>(item);
  return p;
}

TEST(ItemPipeline, ItemsComeInOrderAndTheWorkersStayWithinTheirBounds) {
  std::atomic<bool> cancel{false};
  std::mutex mutex;
  std::set<int32_t> made;
  int32_t taken = 0;
  int32_t furthestAhead = 0;
  int64_t mostBytesAhead = 0;
  auto bytes = [](int32_t item) -> int64_t { return item % 5 == 0 ? 600 : 100; };
  ItemPipeline pipeline(
      60,
      [&](int32_t item) {
        {
          std::lock_guard lock(mutex);
          made.insert(item);
          furthestAhead = std::max(furthestAhead, item - taken);
          int64_t ahead = 0;
          for (int32_t m : made) ahead += m >= taken ? bytes(m) : 0;
          mostBytesAhead = std::max(mostBytesAhead, ahead);
        }
        // Uneven work, so that later items often finish first.
        std::this_thread::sleep_for(std::chrono::microseconds(item % 3 == 0 ? 3000 : 200));
        return item == 17 ? nullptr : Numbered(item);
      },
      bytes, cancel, 1000);
  for (int32_t i = 0; i < 60; ++i) {
    Picture p = pipeline.Take(i);
    {
      std::lock_guard lock(mutex);
      taken = i + 1;
    }
    if (i == 17) {
      EXPECT_EQ(p, nullptr);  // an item that could not be made
      continue;
    }
    ASSERT_NE(p, nullptr) << i;
    EXPECT_EQ(p->row(0)[0], static_cast<uint32_t>(i));
  }
  EXPECT_EQ(made.size(), 60u);
  const int32_t window = 2 * static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency()));
  // (`taken` here lags the pipeline's own count by the one Take in progress.)
  EXPECT_LE(furthestAhead, window);
  // The bytes of items made and not yet taken stay within the limit, but
  // the item being waited for is always made.
  EXPECT_LE(mostBytesAhead, 1000 + 600);
}

TEST(ItemPipeline, CancelStopsTheWorkers) {
  std::atomic<bool> cancel{false};
  std::atomic<int> made{0};
  ItemPipeline pipeline(
      1000,
      [&](int32_t item) {
        ++made;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return Numbered(item);
      },
      [](int32_t) { return int64_t{1}; }, cancel);
  ASSERT_NE(pipeline.Take(0), nullptr);
  cancel = true;
  pipeline.Stop();
  EXPECT_LT(made.load(), 100);
  // After a stop, what was never made comes back empty instead of waiting.
  EXPECT_EQ(pipeline.Take(999), nullptr);
}

}  // namespace
}  // namespace vornida
