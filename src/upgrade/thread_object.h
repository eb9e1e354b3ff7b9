// One job on one worker thread, reporting to the UI thread.
//
// CThreadObject owns a thread, a status and an error state. Everything that
// happens is reported as a thread notification (sender, kind, value) posted to
// the UI thread's event loop through a ThreadNotifySink; the worker never
// calls into UI code directly. Notifications arrive in the order they were
// posted.
//
// Lifetime: the object outlives its thread. Destroying it asks a running job
// to stop and waits for the thread to end; nothing is ever killed. A class
// that overrides Run() must call StopAndJoin() first thing in its own
// destructor, because the job may still use the derived part.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vornida::platform {
class EventLoop;
}

namespace vornida {

class CThreadObject;

// Message number the notifications stood for on the original platform;
// kept so that traces and tests speak of the same thing.
inline constexpr unsigned WM_THREAD_NOTIFY = 7012;

// Notification kinds.
enum ThreadNotifyKind : std::uint16_t {
  kNotifyStatus = 1,    // value: the new status (2 on every error)
  kNotifyBegin = 2,     // the thread has begun, before the job runs
  kNotifyEnd = 3,       // the thread is about to end, after the job
  kNotifyError = 4,     // value: the error code, right after its kind 1
  kNotifyPercent = 101, // value: whole percent, only when it grew
};

// Status codes of every thread object.
enum ThreadStatus : std::uint16_t {
  kStatusIdle = 0,
  kStatusStopped = 1,
  kStatusError = 2,
};

// Error codes of every thread object.
enum ThreadError : std::uint16_t {
  kErrorNone = 0,
  kErrorUnknown = 1,
  kErrorInvalidParameter = 2,
  kErrorException = 3,
};

struct ThreadNotification {
  CThreadObject* sender = nullptr;
  std::uint16_t kind = 0;
  std::uint16_t value = 0;
};

// The receiving end of thread notifications: stands in for the window that
// received the posted message. Post() may be called from any thread; the
// handler runs on the UI thread. Once the sink is closed or destroyed,
// notifications still queued are dropped and Post() fails, so a receiver that
// owns both the sink and the worker is never called after it is gone.
class ThreadNotifySink {
 public:
  using Handler = std::function<void(const ThreadNotification&)>;

  ThreadNotifySink(platform::EventLoop& loop, Handler handler);
  ~ThreadNotifySink();
  ThreadNotifySink(const ThreadNotifySink&) = delete;
  ThreadNotifySink& operator=(const ThreadNotifySink&) = delete;

  // Queues the notification for the UI thread; false when the sink is closed.
  bool Post(const ThreadNotification& notification);
  // Stops delivery (UI thread).
  void Close();
  bool IsOpen() const;

 private:
  struct State {
    std::atomic<bool> open{true};
    Handler handler;
  };
  platform::EventLoop& loop_;
  std::shared_ptr<State> state_;
};

class CThreadObject {
 public:
  CThreadObject() = default;
  virtual ~CThreadObject();
  CThreadObject(const CThreadObject&) = delete;
  CThreadObject& operator=(const CThreadObject&) = delete;

  // Clears both flags, the status and the error code; returns 0. Only
  // meaningful while no job runs.
  virtual int Reset();
  // Asks a running job to stop and waits for its thread to end.
  virtual void Close();
  virtual std::string GetStatusText(std::uint16_t status) const;
  virtual std::string GetErrorText(std::uint16_t code) const;
  // Starts the job on a new thread. False when a job is running already or
  // no thread could be created.
  virtual bool Start();
  // Asks a running job to stop; returns at once. Always true.
  virtual bool RequestStop();
  // Posts a notification to the sink; false when nothing was posted.
  virtual bool Notify(std::uint16_t kind, std::uint16_t value);
  // The job; runs on the worker thread. The base has nothing to do.
  virtual int Run();

  void SetNotifyWindow(ThreadNotifySink* sink);
  std::uint16_t GetStatus() const { return m_nStatus.load(); }
  bool IsRunning() const { return m_bRunning.load(); }
  std::uint16_t GetErrorCode() const { return m_nErrorCode.load(); }
  // Text stored by the last SetError.
  std::string GetLastErrorText() const;

  // Stops the job cooperatively and waits for it: the stand-in for a forced
  // termination, which is never done.
  void Terminate();

 protected:
  // Stores the status and posts kind 1 when it changed.
  void SetStatus(std::uint16_t status);
  // Enters the error state: status 2, the code, the text (GetErrorText(code)
  // when empty); posts kind 1 (2) and kind 4 (code).
  void SetError(std::uint16_t code, const std::string& text);
  bool IsStopRequested() const { return m_bStopRequested.load(); }
  // Asks the job to stop and joins the thread, if there is one.
  void StopAndJoin();

 private:
  static void ThreadMain(CThreadObject* self);

  std::atomic<ThreadNotifySink*> m_pNotifyWnd{nullptr};
  std::atomic<bool> m_bRunning{false};
  std::atomic<bool> m_bStopRequested{false};
  std::thread m_hThread;
  std::atomic<std::uint16_t> m_nStatus{kStatusIdle};
  std::atomic<std::uint16_t> m_nErrorCode{kErrorNone};
  mutable std::mutex m_errorTextLock;
  std::string m_strErrorText;
};

}  // namespace vornida
