#include "host/worker_threads.h"

#include <algorithm>
#include <atomic>

namespace vornida {
namespace {

std::vector<std::thread::id>& Ids() {
  static std::vector<std::thread::id> ids;
  return ids;
}

std::atomic<bool> stoppingFlag{false};

std::mutex& ListenerMutex() {
  static std::mutex mutex;
  return mutex;
}

std::function<void()>& Listener() {
  static std::function<void()> listener;
  return listener;
}

void NotifyListener() {
  std::lock_guard lock(ListenerMutex());
  if (Listener()) Listener()();
}

}  // namespace

std::recursive_mutex& EngineLock() {
  static std::recursive_mutex lock;
  return lock;
}

void RegisterWorkerThread() {
  {
    std::lock_guard lock(EngineLock());
    Ids().push_back(std::this_thread::get_id());
  }
  NotifyListener();
}

void UnregisterWorkerThread() {
  {
    std::lock_guard lock(EngineLock());
    auto& ids = Ids();
    auto it = std::find(ids.begin(), ids.end(), std::this_thread::get_id());
    if (it != ids.end()) ids.erase(it);
  }
  NotifyListener();
}

std::size_t WorkerThreadCount() {
  std::lock_guard lock(EngineLock());
  return Ids().size();
}

std::vector<std::thread::id> WorkerThreadIds() {
  std::lock_guard lock(EngineLock());
  return Ids();
}

bool IsStopping() { return stoppingFlag.load(); }
void SetStopping(bool stopping) { stoppingFlag.store(stopping); }

void SetWorkerChangeListener(std::function<void()> listener) {
  std::lock_guard lock(ListenerMutex());
  Listener() = std::move(listener);
}

}  // namespace vornida
