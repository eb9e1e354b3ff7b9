#include "upgrade/thread_object.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/headless/manual_event_loop.h"

namespace vornida {
namespace {

// A job that reports two errors in a row, then runs until asked to stop.
class ErrorsThenWait final : public CThreadObject {
 public:
  explicit ErrorsThenWait(std::atomic<bool>& finished) : finished_(finished) {}
  ~ErrorsThenWait() override { StopAndJoin(); }

 protected:
  int Run() override {
    SetError(kErrorInvalidParameter, {});
    SetError(kErrorUnknown, "custom text");
    while (!IsStopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    SetStatus(kStatusStopped);
    finished_ = true;
    return 1;
  }

 private:
  std::atomic<bool>& finished_;
};

std::string Kinds(const std::vector<ThreadNotification>& notes) {
  std::string text;
  for (const auto& n : notes) text += std::to_string(n.kind) + ":" + std::to_string(n.value) + " ";
  return text;
}

TEST(ThreadObjectTest, ReportsEveryErrorAndStopsOnRequest) {
  platform::ManualEventLoop loop;
  std::vector<ThreadNotification> notes;
  ThreadNotifySink sink(loop, [&](const ThreadNotification& n) { notes.push_back(n); });
  std::atomic<bool> finished{false};
  ErrorsThenWait job(finished);
  EXPECT_FALSE(job.Notify(kNotifyBegin, 0)) << "no receiver yet";
  job.SetNotifyWindow(&sink);
  ASSERT_TRUE(job.Start());
  EXPECT_FALSE(job.Start()) << "already running";
  while (job.GetErrorCode() != kErrorUnknown) std::this_thread::yield();
  EXPECT_TRUE(job.IsRunning());
  EXPECT_EQ(job.GetLastErrorText(), "custom text");
  EXPECT_TRUE(job.RequestStop());
  while (notes.empty() || notes.back().kind != kNotifyEnd) loop.iterate(true);
  // Both errors post kind 1 (2) and kind 4, even though the status was 2 already.
  EXPECT_EQ(Kinds(notes), "2:0 1:2 4:2 1:2 4:1 1:1 3:0 ");
  EXPECT_FALSE(job.IsRunning());
  EXPECT_EQ(job.GetStatusText(job.GetStatus()), "用户中断");
  EXPECT_EQ(job.GetErrorText(kErrorException), "网络异常错误");
  EXPECT_EQ(job.GetErrorText(999), "");
}

TEST(ThreadObjectTest, DestructionWaitsForTheJobAndClosedSinksDeliverNothing) {
  platform::ManualEventLoop loop;
  int delivered = 0;
  auto sink = std::make_unique<ThreadNotifySink>(loop, [&](const ThreadNotification&) { ++delivered; });
  std::atomic<bool> finished{false};
  {
    ErrorsThenWait job(finished);
    job.SetNotifyWindow(sink.get());
    ASSERT_TRUE(job.Start());
    while (job.GetErrorCode() != kErrorUnknown) std::this_thread::yield();
    sink->Close();  // the receiver goes before the worker
    EXPECT_FALSE(sink->IsOpen());
  }  // asks the job to stop and joins it
  EXPECT_TRUE(finished) << "the job ran to its end before the object went";
  sink.reset();
  while (loop.iterate(false)) {
  }
  EXPECT_EQ(delivered, 0) << "queued notifications of a closed receiver are dropped";
}

}  // namespace
}  // namespace vornida
