// The UI thread's event loop over the GLib main context of the thread that
// builds it (the GTK main thread).
//
// Posted tasks go into one queue that a single GLib source drains, so they
// run in the order posted whatever else the loop has to do; timers are GLib
// timeout sources. A blocking iterate() never sleeps longer than 100 ms, so a
// caller that waits for a condition without a wake-up still re-checks it.
#pragma once

#include <glib.h>

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/event_loop.h"

namespace vornida::platform {

class GtkEventLoop final : public EventLoop {
 public:
  GtkEventLoop();
  ~GtkEventLoop() override;
  GtkEventLoop(const GtkEventLoop&) = delete;
  GtkEventLoop& operator=(const GtkEventLoop&) = delete;

  void post(Task task) override;
  TimerId startTimer(std::chrono::milliseconds interval, bool repeating, Task task) override;
  void stopTimer(TimerId id) override;
  bool onUiThread() const override;
  bool iterate(bool mayBlock) override;

  // Wakes a blocked iterate(); safe from any thread.
  void wake();

  // The program is closing (its window was closed, or a signal asked it to):
  // modal dialogs and waits that run their own loop give up at once.
  void requestQuit() { quit_ = true; wake(); }
  bool quitRequested() const { return quit_; }
  std::size_t timerCount() const { return timers_.size(); }

 private:
  struct Timer;
  struct Queue;

  static gboolean OnTimer(gpointer data);
  void RunQueue();

  GMainContext* context_;
  std::thread::id uiThread_;
  std::shared_ptr<Queue> queue_;
  std::map<TimerId, std::unique_ptr<Timer>> timers_;
  TimerId nextTimerId_ = 1;
  std::atomic<bool> quit_{false};
};

}  // namespace vornida::platform
