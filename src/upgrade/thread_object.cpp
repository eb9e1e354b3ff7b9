#include "upgrade/thread_object.h"

#include <exception>
#include <system_error>

#include "platform/event_loop.h"

namespace vornida {

ThreadNotifySink::ThreadNotifySink(platform::EventLoop& loop, Handler handler)
    : loop_(loop), state_(std::make_shared<State>()) {
  state_->handler = std::move(handler);
}

ThreadNotifySink::~ThreadNotifySink() { Close(); }

bool ThreadNotifySink::Post(const ThreadNotification& notification) {
  if (!state_->open.load()) return false;
  // The task holds the state, not the sink: a sink destroyed while the task
  // waits in the queue only turns it into nothing.
  loop_.post([state = state_, notification] {
    if (state->open.load() && state->handler) state->handler(notification);
  });
  return true;
}

void ThreadNotifySink::Close() { state_->open.store(false); }

bool ThreadNotifySink::IsOpen() const { return state_->open.load(); }

CThreadObject::~CThreadObject() { StopAndJoin(); }

int CThreadObject::Reset() {
  m_bRunning = false;
  m_bStopRequested = false;
  m_nStatus = kStatusIdle;
  m_nErrorCode = kErrorNone;
  return 0;
}

void CThreadObject::Close() { StopAndJoin(); }

std::string CThreadObject::GetStatusText(std::uint16_t status) const {
  switch (status) {
    case kStatusIdle: return "无动作";
    case kStatusStopped: return "用户中断";
    case kStatusError: return "遇到错误,线程中断";
    default: return {};
  }
}

std::string CThreadObject::GetErrorText(std::uint16_t code) const {
  switch (code) {
    case kErrorNone: return "无错误";
    case kErrorUnknown: return "未知错误";
    case kErrorInvalidParameter: return "参数无效";
    case kErrorException: return "网络异常错误";
    default: return {};
  }
}

bool CThreadObject::Start() {
  if (m_bRunning.load()) return false;
  // The previous thread has cleared the running flag and is about to return.
  if (m_hThread.joinable()) m_hThread.join();
  m_bRunning = true;
  m_bStopRequested = false;
  try {
    m_hThread = std::thread(&CThreadObject::ThreadMain, this);
  } catch (const std::system_error&) {
    m_bRunning = false;
    return false;
  }
  return true;
}

bool CThreadObject::RequestStop() {
  if (m_bRunning.load()) m_bStopRequested = true;
  return true;
}

bool CThreadObject::Notify(std::uint16_t kind, std::uint16_t value) {
  ThreadNotifySink* sink = m_pNotifyWnd.load();
  if (!sink) return false;
  return sink->Post(ThreadNotification{this, kind, value});
}

int CThreadObject::Run() { return 1; }

void CThreadObject::SetNotifyWindow(ThreadNotifySink* sink) { m_pNotifyWnd = sink; }

std::string CThreadObject::GetLastErrorText() const {
  std::lock_guard lock(m_errorTextLock);
  return m_strErrorText;
}

void CThreadObject::Terminate() { StopAndJoin(); }

void CThreadObject::SetStatus(std::uint16_t status) {
  if (m_nStatus.exchange(status) == status) return;
  Notify(kNotifyStatus, status);
}

void CThreadObject::SetError(std::uint16_t code, const std::string& text) {
  m_nStatus = kStatusError;
  m_nErrorCode = code;
  {
    std::string stored = text.empty() ? GetErrorText(code) : text;
    std::lock_guard lock(m_errorTextLock);
    m_strErrorText = std::move(stored);
  }
  Notify(kNotifyStatus, kStatusError);
  Notify(kNotifyError, code);
}

void CThreadObject::StopAndJoin() {
  RequestStop();
  if (m_hThread.joinable()) {
    if (m_hThread.get_id() == std::this_thread::get_id())
      m_hThread.detach();  // only a job that destroys its own object gets here
    else
      m_hThread.join();
  }
  m_bRunning = false;
}

void CThreadObject::ThreadMain(CThreadObject* self) {
  if (!self) return;
  self->m_bRunning = true;
  self->Notify(kNotifyBegin, 0);
  try {
    self->Run();
  } catch (const std::exception&) {
    self->SetError(kErrorException, {});
  } catch (...) {
    self->SetError(kErrorException, {});
  }
  self->m_bRunning = false;
  self->Notify(kNotifyEnd, 0);
}

}  // namespace vornida
