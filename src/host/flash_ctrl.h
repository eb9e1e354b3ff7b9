// The controls that host a movie and connect it to the native side.
//
//   CFlashCtrl         the bare control: calls into the movie, answers its calls
//   CFlashCtrlEx       + the movie's calls, the dispatch chain, delayed calls,
//                        one-shot timers and the built-in commands
//   CAppFlashCtrlBase  + the window commands and "MessageBox"
//   CVRFlashCtrl       + the application's commands (commands/vr_flash_ctrl.h)
//
// A call from the movie arrives as an `invoke` request text, is decoded into a
// command name and string arguments, and is offered to DispatchCall of the
// most derived class; each class handles its own names and passes the rest to
// its base. An unhandled call, or one whose answer is empty, gives the movie
// no value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/messages.h"
#include "platform/event_loop.h"
#include "platform/frame_window.h"
#include "platform/movie_transport.h"
#include "platform/services.h"

namespace vornida {

using MovieArgs = std::vector<std::string>;

class CFlashCtrl {
 public:
  CFlashCtrl(platform::MovieTransport& transport, platform::EventLoop& loop);
  virtual ~CFlashCtrl();
  CFlashCtrl(const CFlashCtrl&) = delete;
  CFlashCtrl& operator=(const CFlashCtrl&) = delete;

  // Calls a function of the movie and gives its answer text. Returns false
  // when the movie's window does not exist or the call failed; `response` is
  // then left as it was.
  //
  // Safe from any thread. A worker's call is carried out on the UI thread
  // while the worker waits; worker calls run one at a time, each receiving
  // its own answer. The UI thread must keep its loop turning while it waits
  // for workers (never block it on a worker), or such a call cannot finish.
  // Calls made after the control is gone fail.
  bool CallFunction(const std::string& request, std::string& response);

  // Answers the movie's current call. UI thread only.
  void SetReturnValue(const std::string& value);

  platform::MovieTransport& Transport() const { return transport_; }
  platform::EventLoop& Loop() const { return loop_; }

 private:
  struct WorkerGate;

  bool CallOnUiThread(const std::string& request, std::string& response);

  platform::MovieTransport& transport_;
  platform::EventLoop& loop_;
  std::shared_ptr<WorkerGate> workerGate_;
};

class CFlashCtrlEx;

// The hidden timer source of a control: numbered timers whose ticks go to
// the owner's OnTimerTick. Setting a running id restarts it.
class CTimerWnd {
 public:
  CTimerWnd(platform::EventLoop& loop, CFlashCtrlEx* owner) : loop_(loop), owner_(owner) {}
  ~CTimerWnd();
  CTimerWnd(const CTimerWnd&) = delete;
  CTimerWnd& operator=(const CTimerWnd&) = delete;

  void SetTimer(std::uint32_t id, std::uint32_t milliseconds);
  void KillTimer(std::uint32_t id);
  bool IsRunning(std::uint32_t id) const { return timers_.count(id) != 0; }

 private:
  platform::EventLoop& loop_;
  CFlashCtrlEx* owner_;
  std::map<std::uint32_t, platform::EventLoop::TimerId> timers_;
};

class CFlashCtrlEx : public CFlashCtrl, private platform::MovieEventSink {
 public:
  static constexpr std::uint32_t kDelayedCallTimer = 888;
  // Timers from this id up fire once.
  static constexpr std::uint32_t kFirstOneShotTimer = 1000;
  // "__DELAY_CALL__" is refused once more than this many calls wait.
  static constexpr std::size_t kDelayQueueLimit = 1000;

  CFlashCtrlEx(platform::MovieTransport& transport, platform::EventLoop& loop);
  ~CFlashCtrlEx() override;

  // Decodes a request text and runs it; sets the answer when the call was
  // handled and answered. Returns whether it was handled.
  virtual bool OnFlashCall(const std::string& request);
  // Queues "__DELAY_CALL__" calls, hands every other call to DispatchCall.
  virtual bool OnExternalCall(DecodedCall& call);
  // The dispatch chain; this level knows the built-ins. A handler puts its
  // answer (one value element) into call.result.
  virtual bool DispatchCall(DecodedCall& call);
  // Called by "LoadComplete"; nothing to do at this level.
  virtual void OnMovieLoaded() {}
  // Runs the oldest delayed call; returns what its dispatcher returned.
  virtual bool RunDelayedCall();
  virtual void OnTimerTick(std::uint32_t id);

  void SetTimer(std::uint32_t id, std::uint32_t milliseconds) { timerWindow_.SetTimer(id, milliseconds); }
  void KillTimer(std::uint32_t id) { timerWindow_.KillTimer(id); }
  bool IsTimerRunning(std::uint32_t id) const { return timerWindow_.IsRunning(id); }

  std::size_t DelayedCallCount() const { return delayQueue_.size(); }

 private:
  void onFlashCall(const std::string& request) override;
  bool onFsCommand(const std::string& command, const std::string& argument) override;

  CTimerWnd timerWindow_;
  std::deque<MovieArgs> delayQueue_;  // each entry: target command name, then its arguments
};

class CAppFlashCtrlBase : public CFlashCtrlEx {
 public:
  CAppFlashCtrlBase(platform::MovieTransport& transport, const platform::Services& services);

  // The frame the window commands act on; they do nothing while it is null.
  void SetOwnerFrame(platform::FrameWindow* frame) { ownerFrame_ = frame; }
  platform::FrameWindow* OwnerFrame() const { return ownerFrame_; }
  const platform::Services& Services() const { return services_; }

  bool DispatchCall(DecodedCall& call) override;

 private:
  bool ShowMessageBox(DecodedCall& call);
  void PopupSysMenu(int x, int y);

  platform::Services services_;
  platform::FrameWindow* ownerFrame_ = nullptr;
};

}  // namespace vornida
