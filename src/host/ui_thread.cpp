#include "host/ui_thread.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace vornida {
namespace {

struct Completion {
  std::mutex mutex;
  std::condition_variable changed;
  bool finished = false;
  bool ran = false;

  void Finish(bool didRun) {
    {
      std::lock_guard lock(mutex);
      if (finished) return;
      finished = true;
      ran = didRun;
    }
    changed.notify_all();
  }
};

// Travels with the posted task; whichever way the task goes (run, or dropped
// by a loop that shuts down), destroying the last copy releases the waiter.
struct Ticket {
  std::shared_ptr<Completion> completion;
  ~Ticket() { completion->Finish(false); }
};

}  // namespace

bool RunOnUiThread(platform::EventLoop& loop, const std::function<void()>& task) {
  if (loop.onUiThread()) {
    task();
    return true;
  }
  auto completion = std::make_shared<Completion>();
  {
    auto ticket = std::make_shared<Ticket>();
    ticket->completion = completion;
    // The task is captured by reference: this thread waits below until it has
    // run or was dropped, so the reference outlives every use.
    loop.post([ticket, &task] {
      task();
      ticket->completion->Finish(true);
    });
  }
  std::unique_lock lock(completion->mutex);
  completion->changed.wait(lock, [&] { return completion->finished; });
  return completion->ran;
}

}  // namespace vornida
