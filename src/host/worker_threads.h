// The process-wide record of running worker threads.
//
// Layout, save and import workers enter their thread id when they start and
// remove it when they end, under EngineLock, which also guards the shared
// data of the engine (the import queue and the photo list). Shutdown sets
// `stopping` and keeps the UI loop turning until no worker is left; the
// headless host's `wait` waits for the same.
//
// Never call the movie while holding EngineLock: the call waits for the UI
// thread, and the UI thread may be waiting for EngineLock.
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vornida {

std::recursive_mutex& EngineLock();

// Adds or removes the calling thread.
void RegisterWorkerThread();
void UnregisterWorkerThread();
std::size_t WorkerThreadCount();
std::vector<std::thread::id> WorkerThreadIds();

// The exit flag: once set, workers end on their own as soon as they can.
bool IsStopping();
void SetStopping(bool stopping);

// Called (from the worker's thread) whenever a worker registers or leaves,
// e.g. to wake a loop that waits for all workers to end. Pass an empty
// function to stop listening.
void SetWorkerChangeListener(std::function<void()> listener);

// Registers the calling thread for the lifetime of the scope.
class WorkerThreadScope {
 public:
  WorkerThreadScope() { RegisterWorkerThread(); }
  ~WorkerThreadScope() { UnregisterWorkerThread(); }
  WorkerThreadScope(const WorkerThreadScope&) = delete;
  WorkerThreadScope& operator=(const WorkerThreadScope&) = delete;
};

}  // namespace vornida
