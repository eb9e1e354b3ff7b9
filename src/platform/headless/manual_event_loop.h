// An event loop turned by hand, for the headless host and for tests.
//
// Tasks posted from any thread are queued; timers run on a clock that is
// real time by default. The thread that constructs the loop is its UI thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "platform/event_loop.h"

namespace vornida::platform {

class ManualEventLoop final : public EventLoop {
 public:
  ManualEventLoop();

  void post(Task task) override;
  TimerId startTimer(std::chrono::milliseconds interval, bool repeating, Task task) override;
  void stopTimer(TimerId id) override;
  bool onUiThread() const override;
  bool iterate(bool mayBlock) override;

  // True while tasks are queued or any timer is running.
  bool hasPendingWork() const;
  // Number of running timers.
  std::size_t timerCount() const;
  // Wakes a blocked iterate() so that the caller can re-check its condition.
  void wake();

 private:
  using Clock = std::chrono::steady_clock;
  struct Timer {
    Clock::time_point due;
    std::chrono::milliseconds interval;
    bool repeating;
    Task task;
  };

  bool runDueTimer();

  std::thread::id uiThread_;
  mutable std::mutex mutex_;
  std::condition_variable wakeUp_;
  std::deque<Task> tasks_;
  std::map<TimerId, Timer> timers_;
  TimerId nextTimerId_ = 1;
  bool woken_ = false;
};

}  // namespace vornida::platform
