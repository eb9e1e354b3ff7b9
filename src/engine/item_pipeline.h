// Making the final render's item pictures on every core, ahead of the
// thread that draws them in order.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "imaging/bitmap.h"

namespace vornida {

// Makes the pictures of items 0 .. count - 1 on worker threads (one per
// core) while the caller takes them with Take(0), Take(1), ... The workers
// run at most a few items ahead of the taker, and only as far as the
// estimated bytes of the items made and not yet taken stay under a limit;
// the item the taker waits for is always made, whatever its size.
class ItemPipeline {
 public:
  using Make = std::function<Picture(int32_t item)>;
  using Bytes = std::function<int64_t(int32_t item)>;

  ItemPipeline(int32_t count, Make make, Bytes estimate, const std::atomic<bool>& cancel,
               int64_t byteLimit = int64_t{256} << 20);
  ~ItemPipeline();
  ItemPipeline(const ItemPipeline&) = delete;
  ItemPipeline& operator=(const ItemPipeline&) = delete;

  // The picture of `item` (null when none could be made); items are taken
  // in order, each once. Waits while it is being made.
  Picture Take(int32_t item);
  // Ends the workers (an item being made is finished first).
  void Stop();

 private:
  void Work();
  bool MayStart() const;

  const int32_t count_;
  const Make make_;
  const Bytes estimate_;
  const std::atomic<bool>& cancel_;
  const int64_t byteLimit_;
  int32_t window_ = 0;

  std::mutex mutex_;
  std::condition_variable changed_;
  int32_t next_ = 0;   // the next item a worker starts
  int32_t taken_ = 0;  // the next item the taker takes
  int64_t bytesAhead_ = 0;
  std::map<int32_t, int64_t> bytesOf_;
  std::map<int32_t, Picture> ready_;
  bool stopped_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace vornida
