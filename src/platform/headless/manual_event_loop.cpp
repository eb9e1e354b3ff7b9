#include "platform/headless/manual_event_loop.h"

#include <utility>

namespace vornida::platform {

ManualEventLoop::ManualEventLoop() : uiThread_(std::this_thread::get_id()) {}

void ManualEventLoop::post(Task task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wakeUp_.notify_all();
}

EventLoop::TimerId ManualEventLoop::startTimer(std::chrono::milliseconds interval, bool repeating, Task task) {
  std::lock_guard lock(mutex_);
  const TimerId id = nextTimerId_++;
  timers_.emplace(id, Timer{Clock::now() + interval, interval, repeating, std::move(task)});
  return id;
}

void ManualEventLoop::stopTimer(TimerId id) {
  std::lock_guard lock(mutex_);
  timers_.erase(id);
}

bool ManualEventLoop::onUiThread() const { return std::this_thread::get_id() == uiThread_; }

bool ManualEventLoop::hasPendingWork() const {
  std::lock_guard lock(mutex_);
  return !tasks_.empty() || !timers_.empty();
}

std::size_t ManualEventLoop::timerCount() const {
  std::lock_guard lock(mutex_);
  return timers_.size();
}

void ManualEventLoop::wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  wakeUp_.notify_all();
}

// Runs the earliest due timer, if any. The timer is rescheduled (or removed)
// before its task runs, so that the task may stop or start timers freely.
bool ManualEventLoop::runDueTimer() {
  Task task;
  {
    std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    auto due = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it)
      if (it->second.due <= now && (due == timers_.end() || it->second.due < due->second.due)) due = it;
    if (due == timers_.end()) return false;
    task = due->second.task;
    if (due->second.repeating)
      due->second.due = now + due->second.interval;
    else
      timers_.erase(due);
  }
  task();
  return true;
}

bool ManualEventLoop::iterate(bool mayBlock) {
  bool ran = false;
  // Tasks posted before this turn run now; tasks they post wait for the next.
  std::deque<Task> batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(tasks_);
  }
  for (auto& task : batch) {
    task();
    ran = true;
  }
  if (runDueTimer()) ran = true;
  if (ran || !mayBlock) return ran;

  std::unique_lock lock(mutex_);
  if (!tasks_.empty() || woken_) {
    woken_ = false;
    return false;
  }
  auto until = Clock::now() + std::chrono::milliseconds(100);
  for (const auto& [id, timer] : timers_)
    if (timer.due < until) until = timer.due;
  wakeUp_.wait_until(lock, until, [&] { return !tasks_.empty() || woken_; });
  woken_ = false;
  return false;
}

}  // namespace vornida::platform
