#include "engine/item_pipeline.h"

#include <algorithm>
#include <new>

namespace vornida {

ItemPipeline::ItemPipeline(int32_t count, Make make, Bytes estimate, const std::atomic<bool>& cancel,
                           int64_t byteLimit)
    : count_(count), make_(std::move(make)), estimate_(std::move(estimate)), cancel_(cancel), byteLimit_(byteLimit) {
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const int workers = std::min<int32_t>(cores, std::max<int32_t>(count, 0));
  // Two items per worker keeps every worker busy while the taker draws.
  window_ = 2 * std::max(workers, 1);
  for (int w = 0; w < workers; ++w) workers_.emplace_back([this] { Work(); });
}

ItemPipeline::~ItemPipeline() { Stop(); }

bool ItemPipeline::MayStart() const {
  if (next_ >= count_ || next_ - taken_ >= window_) return false;
  return next_ == taken_ || bytesAhead_ + estimate_(next_) <= byteLimit_;
}

void ItemPipeline::Work() {
  for (;;) {
    int32_t item = 0;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stopped_ || next_ >= count_ || MayStart(); });
      if (stopped_ || next_ >= count_) return;
      item = next_++;
      const int64_t bytes = estimate_(item);
      bytesOf_[item] = bytes;
      bytesAhead_ += bytes;
    }
    Picture picture;
    if (!cancel_) {
      try {
        picture = make_(item);
      } catch (const std::bad_alloc&) {
        picture = nullptr;  // the item is listed as failed
      }
    }
    {
      std::lock_guard lock(mutex_);
      ready_[item] = std::move(picture);
    }
    changed_.notify_all();
  }
}

Picture ItemPipeline::Take(int32_t item) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return ready_.count(item) != 0 || (stopped_ && next_ <= item); });
  auto it = ready_.find(item);
  if (it == ready_.end()) return nullptr;
  Picture picture = std::move(it->second);
  ready_.erase(it);
  bytesAhead_ -= bytesOf_[item];
  bytesOf_.erase(item);
  taken_ = item + 1;
  lock.unlock();
  changed_.notify_all();
  return picture;
}

void ItemPipeline::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
  }
  changed_.notify_all();
  for (std::thread& worker : workers_) {
    if (worker.joinable()) worker.join();
  }
  workers_.clear();
}

}  // namespace vornida
