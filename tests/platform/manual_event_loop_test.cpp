#include "platform/headless/manual_event_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace vornida::platform {
namespace {

using namespace std::chrono_literals;

TEST(ManualEventLoop, RunsTasksPostedFromWorkersOnTheUiThreadInOrder) {
  ManualEventLoop loop;
  std::vector<int> seen;
  std::atomic<bool> allOnUi{true};
  std::thread worker([&] {
    for (int i = 0; i < 5; ++i)
      loop.post([&, i] {
        if (!loop.onUiThread()) allOnUi = false;
        seen.push_back(i);
      });
  });
  worker.join();
  while (loop.hasPendingWork()) loop.iterate(true);
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_TRUE(allOnUi);
}

TEST(ManualEventLoop, TimersFireOnceOrRepeatAndCanStopThemselves) {
  ManualEventLoop loop;
  int once = 0, repeats = 0;
  loop.startTimer(0ms, false, [&] { ++once; });
  EventLoop::TimerId repeating = 0;
  repeating = loop.startTimer(1ms, true, [&] {
    if (++repeats == 3) loop.stopTimer(repeating);
  });
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (loop.hasPendingWork() && std::chrono::steady_clock::now() < deadline) loop.iterate(true);
  EXPECT_EQ(once, 1);
  EXPECT_EQ(repeats, 3);
  EXPECT_EQ(loop.timerCount(), 0u);
}

TEST(ManualEventLoop, BlockingIterationWakesForAPostFromAnotherThread) {
  ManualEventLoop loop;
  bool ran = false;
  loop.startTimer(10s, false, [] {});  // keeps the loop from having nothing to wait for
  std::thread worker([&] {
    std::this_thread::sleep_for(20ms);
    loop.post([&] { ran = true; });
  });
  const auto start = std::chrono::steady_clock::now();
  while (!ran) loop.iterate(true);
  worker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

}  // namespace
}  // namespace vornida::platform
