// Running a piece of work on the UI thread from any thread.
#pragma once

#include <functional>

#include "platform/event_loop.h"

namespace vornida {

// Runs `task` on the UI thread of `loop`: at once when called there; from
// another thread it is posted and the caller waits until it has run. Returns
// false when the loop dropped the task without running it (shut down), so a
// waiting thread is never left hanging. The UI thread must keep turning its
// loop while any thread waits here.
bool RunOnUiThread(platform::EventLoop& loop, const std::function<void()>& task);

}  // namespace vornida
