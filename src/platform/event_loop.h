// The user-interface thread's event loop, as the core sees it.
//
// Every movie command runs on the UI thread. Workers never touch UI state
// directly: they post a task, and the loop runs it on the UI thread in the
// order posted. Timers fire on the UI thread too. The desktop host implements
// this over the GLib main loop; the headless host turns it by hand.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace vornida::platform {

class EventLoop {
 public:
  using Task = std::function<void()>;
  using TimerId = std::uint64_t;  // 0 is never a valid id

  virtual ~EventLoop() = default;

  // Runs `task` on the UI thread soon after. Safe to call from any thread.
  virtual void post(Task task) = 0;

  // Calls `task` on the UI thread after `interval`, and again every
  // `interval` while `repeating`, until stopTimer. An interval of zero fires
  // on the next turn of the loop. UI thread only.
  virtual TimerId startTimer(std::chrono::milliseconds interval, bool repeating, Task task) = 0;

  // Stops a timer; unknown or already stopped ids are ignored. UI thread only.
  virtual void stopTimer(TimerId id) = 0;

  // True when called on the UI thread.
  virtual bool onUiThread() const = 0;

  // Runs one turn of the loop from inside a handler on the UI thread: due
  // timers and posted tasks. Used where the UI thread must wait for a worker
  // that itself needs the UI thread; never block the UI thread on such a
  // condition. Returns true when anything ran. `mayBlock` allows it to sleep
  // until something is due.
  virtual bool iterate(bool mayBlock) = 0;
};

}  // namespace vornida::platform
