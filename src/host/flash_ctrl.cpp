#include "host/flash_ctrl.h"

#include <mutex>
#include <utility>

#include "app/folders.h"
#include "app/paths.h"
#include "base/text.h"
#include "host/messages.h"
#include "host/movie_calls.h"
#include "host/ui_thread.h"
#include "platform/system_codes.h"

namespace vornida {

// ---------------------------------------------------------------------------
// Calls into the movie.
//
// A worker's call is carried out on the UI thread while the worker waits
// (RunOnUiThread). The gate is shared with those posted calls so that a call
// that reaches the UI thread after the control was destroyed fails instead of
// touching it, and it lets worker calls pass one at a time.

struct CFlashCtrl::WorkerGate {
  explicit WorkerGate(platform::EventLoop& uiLoop) : loop(uiLoop) {}
  platform::EventLoop& loop;  // outlives every control on it
  std::mutex mutex;
  CFlashCtrl* control = nullptr;  // null once the control is destroyed
  std::mutex oneCallAtATime;
};

CFlashCtrl::CFlashCtrl(platform::MovieTransport& transport, platform::EventLoop& loop)
    : transport_(transport), loop_(loop), workerGate_(std::make_shared<WorkerGate>(loop)) {
  workerGate_->control = this;
}

CFlashCtrl::~CFlashCtrl() {
  std::lock_guard lock(workerGate_->mutex);
  workerGate_->control = nullptr;
}

bool CFlashCtrl::CallOnUiThread(const std::string& request, std::string& response) {
  if (!transport_.isOpen()) return false;
  return transport_.callFunction(request, response);
}

bool CFlashCtrl::CallFunction(const std::string& request, std::string& response) {
  if (loop_.onUiThread()) return CallOnUiThread(request, response);

  std::shared_ptr<WorkerGate> gate = workerGate_;
  std::lock_guard serial(gate->oneCallAtATime);
  {
    std::lock_guard lock(gate->mutex);
    if (gate->control == nullptr) return false;
  }
  bool ok = false;
  std::string answer;
  // From here on only the gate is used: the control may be destroyed meanwhile.
  RunOnUiThread(gate->loop, [&] {
    CFlashCtrl* control;
    {
      std::lock_guard lock(gate->mutex);
      control = gate->control;
    }
    ok = control != nullptr && control->CallOnUiThread(request, answer);
  });
  if (!ok) return false;
  response = std::move(answer);
  return true;
}

void CFlashCtrl::SetReturnValue(const std::string& value) { transport_.setReturnValue(value); }

// ---------------------------------------------------------------------------
// Timers

CTimerWnd::~CTimerWnd() {
  for (const auto& [id, timer] : timers_) loop_.stopTimer(timer);
}

void CTimerWnd::SetTimer(std::uint32_t id, std::uint32_t milliseconds) {
  KillTimer(id);
  timers_[id] = loop_.startTimer(std::chrono::milliseconds(milliseconds), true, [this, id] {
    if (owner_ != nullptr) owner_->OnTimerTick(id);
  });
}

void CTimerWnd::KillTimer(std::uint32_t id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  loop_.stopTimer(it->second);
  timers_.erase(it);
}

// ---------------------------------------------------------------------------
// CFlashCtrlEx

CFlashCtrlEx::CFlashCtrlEx(platform::MovieTransport& transport, platform::EventLoop& loop)
    : CFlashCtrl(transport, loop), timerWindow_(loop, this) {
  transport.setEventSink(this);
}

CFlashCtrlEx::~CFlashCtrlEx() {
  Transport().setEventSink(nullptr);
  timerWindow_.KillTimer(kDelayedCallTimer);
  delayQueue_.clear();
}

void CFlashCtrlEx::onFlashCall(const std::string& request) { OnFlashCall(request); }

bool CFlashCtrlEx::onFsCommand(const std::string& command, const std::string& argument) {
  DecodedCall call{command, MovieArgs{argument}, {}};
  return OnExternalCall(call);  // this channel carries no answer
}

bool CFlashCtrlEx::OnFlashCall(const std::string& request) {
  DecodedCall call;
  if (!ParseInvoke(request, call)) return false;
  const bool handled = OnExternalCall(call);
  if (handled && !call.result.empty()) SetReturnValue(call.result);
  return handled;
}

bool CFlashCtrlEx::OnExternalCall(DecodedCall& call) {
  if (call.name == "__DELAY_CALL__") {
    if (call.args.empty() || delayQueue_.size() > kDelayQueueLimit) return false;
    delayQueue_.push_back(call.args);
    SetTimer(kDelayedCallTimer, 0);
    return true;
  }
  return DispatchCall(call);
}

bool CFlashCtrlEx::RunDelayedCall() {
  if (delayQueue_.empty()) return false;
  MovieArgs queued = std::move(delayQueue_.front());
  delayQueue_.pop_front();
  if (queued.empty()) return false;
  // The answer of a delayed call has nobody to go to; a "__DELAY_CALL__"
  // inside one reaches DispatchCall directly, which does not know it.
  DecodedCall call;
  call.name = std::move(queued.front());
  call.args.assign(std::make_move_iterator(queued.begin() + 1), std::make_move_iterator(queued.end()));
  return DispatchCall(call);
}

void CFlashCtrlEx::OnTimerTick(std::uint32_t id) {
  if (id >= kFirstOneShotTimer) KillTimer(id);
  if (id == kDelayedCallTimer) {
    KillTimer(kDelayedCallTimer);
    RunDelayedCall();
    if (!delayQueue_.empty()) SetTimer(kDelayedCallTimer, 0);
  }
}

bool CFlashCtrlEx::DispatchCall(DecodedCall& call) {
  const std::string& name = call.name;
  if (name == "Trace") return CheckArgCount(call, 1);  // the program keeps no log
  if (name == "GetAppPath") {
    call.result = StringValue(GetProgramFolder());
    return true;
  }
  if (name == "LoadComplete") {
    OnMovieLoaded();
    return true;
  }
  if (name == "FileExists") {
    if (!CheckArgCount(call, 1)) return false;
    call.result = BoolValue(IsFile(call.args[0]));
    return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// CAppFlashCtrlBase

CAppFlashCtrlBase::CAppFlashCtrlBase(platform::MovieTransport& transport, const platform::Services& services)
    : CFlashCtrlEx(transport, *services.loop), services_(services) {}

bool CAppFlashCtrlBase::DispatchCall(DecodedCall& call) {
  const std::string& name = call.name;
  const MovieArgs& args = call.args;
  if (name == "MessageBox") {
    if (!CheckArgCount(call, 1)) return false;
    return ShowMessageBox(call);
  }
  if (name == "WndSysCommand") {
    if (!CheckArgCount(call, 1)) return false;
    if (ownerFrame_ == nullptr) return true;
    const std::string& command = args[0];
    if (command == "SC_MINIMIZE")
      ownerFrame_->postSysCommand(platform::kScMinimize);
    else if (command == "SC_MAXIMIZE")
      ownerFrame_->postSysCommand(platform::kScMaximize);
    else if (command == "SC_CLOSE")
      ownerFrame_->postSysCommand(platform::kScClose);
    else if (command == "SC_RESTORE")
      ownerFrame_->postSysCommand(platform::kScRestore);
    return true;
  }
  if (name == "EnterMoveWnd") {
    if (ownerFrame_ != nullptr) ownerFrame_->sendMessage(platform::kMsgEnterMoveWindow);
    return true;
  }
  if (name == "ExitMoveWnd") {
    if (ownerFrame_ != nullptr) ownerFrame_->sendMessage(platform::kMsgExitMoveWindow);
    return true;
  }
  if (name == "CaptionBarDoubleClick") {
    if (ownerFrame_ != nullptr)
      ownerFrame_->sendSysCommand(ownerFrame_->isMaximized() ? platform::kScRestore : platform::kScMaximize);
    return true;
  }
  if (name == "PopupSysMenu") {
    if (!CheckArgCount(call, 2)) return false;
    if (ownerFrame_ != nullptr) PopupSysMenu(ParseMovieInt(args[0]), ParseMovieInt(args[1]));
    return true;
  }
  return CFlashCtrlEx::DispatchCall(call);
}

namespace {

// The movie writes line breaks as the two characters backslash and n.
std::string ExpandLineBreaks(const std::string& text) {
  std::string expanded;
  expanded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      expanded += '\n';
      ++i;
    } else {
      expanded += text[i];
    }
  }
  return expanded;
}

}  // namespace

bool CAppFlashCtrlBase::ShowMessageBox(DecodedCall& call) {
  const MovieArgs& args = call.args;
  platform::MessageBoxRequest box;
  box.text = ExpandLineBreaks(args[0]);
  box.caption = args.size() > 1 && !args[1].empty() ? args[1] : "Msg.Title";
  box.style = args.size() > 2 ? static_cast<std::uint32_t>(ParseMovieInt(args[2])) : 0;
  const int reply = services_.messageBoxes != nullptr ? services_.messageBoxes->showMessageBox(box)
                                                      : platform::kIdCancel;
  call.result = NumberValue(reply);

  const std::string replyFunction = args.size() > 3 ? args[3] : std::string();
  if (replyFunction.empty()) return true;
  const std::string replyText = args.size() > 4 ? args[4] : std::string();
  Transport().focus();
  const std::string request = replyText.empty() ? movie_request::Reply(replyFunction, reply)
                                                : movie_request::Reply(replyFunction, reply, replyText);
  std::string ignored;
  CallFunction(request, ignored);
  return true;
}

void CAppFlashCtrlBase::PopupSysMenu(int x, int y) {
  if (!ownerFrame_->hasSystemMenu()) return;
  platform::SystemMenuState state;
  const bool maximized = ownerFrame_->isMaximized();
  state.maximizeEnabled = state.moveEnabled = state.sizeEnabled = !maximized;
  state.restoreEnabled = maximized;
  const std::uint32_t command = ownerFrame_->trackSystemMenu(x, y, state);
  ownerFrame_->sendSysCommand(command);
}

}  // namespace vornida
