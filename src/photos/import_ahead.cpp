#include "photos/import_ahead.h"

#include <algorithm>
#include <condition_variable>
#include <future>
#include <list>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "host/worker_threads.h"
#include "photos/photo_library.h"

namespace vornida::photos_internal {

namespace {

// Two look-ahead decodes keep both cores busy; more would only hold memory.
constexpr std::size_t kMaxWaiting = 2;

struct Pending {
  std::string path;
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  DecodedPhoto result;

  void Finish(DecodedPhoto decoded) {
    std::lock_guard lock(mutex);
    result = std::move(decoded);
    finished = true;
    done.notify_all();
  }
};

std::mutex pendingMutex;
std::list<std::shared_ptr<Pending>> pendingList;

std::shared_ptr<Pending> Remove(const std::string& path) {
  std::lock_guard lock(pendingMutex);
  auto it = std::find_if(pendingList.begin(), pendingList.end(), [&](const auto& p) { return p->path == path; });
  if (it == pendingList.end()) return nullptr;
  std::shared_ptr<Pending> found = *it;
  pendingList.erase(it);
  return found;
}

}  // namespace

DecodedPhoto DecodeForImport(const std::string& path) {
  DecodedPhoto decoded;
  SizedLoad load = LoadPictureSized(path, [](PictureSize full) { return ThumbnailSizeFor(full.width, full.height); });
  if (load.fullSize.width <= 0 || load.fullSize.height <= 0 || !load.picture || load.picture->empty()) {
    return decoded;
  }
  decoded.ok = true;
  decoded.fullSize = load.fullSize;
  decoded.thumbnail = std::move(load.picture);
  return decoded;
}

void DecodeAhead(const std::string& path) {
  if (IsStopping()) return;
  auto job = std::make_shared<Pending>();
  job->path = path;
  {
    std::lock_guard lock(pendingMutex);
    if (pendingList.size() >= kMaxWaiting) return;
    for (const auto& p : pendingList) {
      if (p->path == path) return;
    }
    pendingList.push_back(job);
  }
  if (!StartRegisteredWorker([job] { job->Finish(DecodeForImport(job->path)); })) {
    // No thread to be had: whoever takes the job must still get its result.
    job->Finish(DecodeForImport(path));
  }
}

DecodedPhoto TakeDecoded(const std::string& path) {
  std::shared_ptr<Pending> job = Remove(path);
  if (!job) return DecodeForImport(path);
  std::unique_lock lock(job->mutex);
  job->done.wait(lock, [&] { return job->finished; });
  return std::move(job->result);
}

void DropDecoded(const std::string& path) { Remove(path); }

bool StartRegisteredWorker(std::function<void()> body) {
  auto registered = std::make_shared<std::promise<void>>();
  std::future<void> ready = registered->get_future();
  try {
    std::thread([registered, body = std::move(body)] {
      RegisterWorkerThread();
      registered->set_value();
      body();
      UnregisterWorkerThread();
    }).detach();
  } catch (const std::system_error&) {
    return false;
  }
  ready.wait();
  return true;
}

}  // namespace vornida::photos_internal
