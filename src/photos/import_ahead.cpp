#include "photos/import_ahead.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <future>
#include <list>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "app/folders.h"
#include "host/worker_threads.h"
#include "photos/photo_library.h"

namespace vornida::photos_internal {

namespace {

// Decodes started ahead and not yet taken. Beyond what keeps the cores busy
// they would only hold memory (a second batch can push files on top of
// ones already started).
std::size_t MaxWaiting() { return DecodeAheadCount() + 1; }

// Names the kept decoded pictures; never reset during a run.
std::atomic<std::int32_t> decodedCounter{1000};

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

std::size_t DecodeAheadCount() {
  static const std::size_t count = std::max<std::size_t>(2, std::thread::hardware_concurrency());
  return count;
}

PictureSize DecodedSizeFor(PictureSize fullSize) {
  // 500 pixels a side covers the items of most collages (a hundred photos
  // on 3000 x 2000 are about 250 to 420 pixels) and is still at least what
  // JPEG's smallest DCT scale gives for camera and phone photos, so the
  // import decodes no finer than before.
  constexpr double kBox = 500;
  const double e = std::min(kBox / static_cast<double>(fullSize.width), kBox / static_cast<double>(fullSize.height));
  if (e >= 1) return fullSize;
  return {std::max<std::int64_t>(1, RoundHalfAway(static_cast<double>(fullSize.width) * e)),
          std::max<std::int64_t>(1, RoundHalfAway(static_cast<double>(fullSize.height) * e))};
}

DecodedPhoto DecodeForImport(const std::string& path, const std::string& folder) {
  DecodedPhoto decoded;
  // Read no finer than the kept picture needs: the thumbnail made from it
  // still comes from well over twice its own size.
  SizedLoad load = LoadPictureSized(path, [](PictureSize full) { return DecodedSizeFor(full); }, 1.0);
  decoded.status = load.status;
  decoded.file = load.file;
  if (load.fullSize.width <= 0 || load.fullSize.height <= 0 || !load.picture || load.picture->empty()) {
    return decoded;
  }
  decoded.ok = true;
  decoded.fullSize = load.fullSize;
  // Resizing always gives ARGB; an opaque picture is written as plain RGB,
  // a quarter smaller and quicker to read back.
  bool opaque = true;
  for (std::int64_t y = 0; y < load.picture->height() && opaque; ++y) {
    const std::uint32_t* row = load.picture->row(y);
    for (std::int64_t x = 0; x < load.picture->width(); ++x) {
      if ((row[x] >> 24) != 0xFF) {
        opaque = false;
        break;
      }
    }
  }
  Picture picture = opaque ? ConvertFormat(std::move(load.picture), PixelFormat::Rgb32) : std::move(load.picture);
  const bool reduced = picture->width() < load.fullSize.width || picture->height() < load.fullSize.height;
  if (reduced && !folder.empty()) {
    // Uncompressed: written and read back in a fraction of a millisecond.
    const std::string kept = folder + "/decoded-" + std::to_string(decodedCounter.fetch_add(1)) + ".bmp";
    if (SavePicture(*picture, kept, EncoderId::Bmp)) {
      decoded.decodedPath = kept;
      decoded.decodedSize = {picture->width(), picture->height()};
    }
  }
  const PictureSize thumb = ThumbnailSizeFor(load.fullSize.width, load.fullSize.height);
  picture = ResizeTo(std::move(picture), thumb.width, thumb.height);
  if (!picture || picture->empty()) {
    decoded.ok = false;
    decoded.status = LoadStatus::TooLarge;
    return decoded;
  }
  decoded.thumbnail = opaque ? ConvertFormat(std::move(picture), PixelFormat::Rgb32) : std::move(picture);
  return decoded;
}

void DecodeAhead(const std::string& path) {
  if (IsStopping()) return;
  auto job = std::make_shared<Pending>();
  job->path = path;
  {
    std::lock_guard lock(pendingMutex);
    if (pendingList.size() >= MaxWaiting()) return;
    for (const auto& p : pendingList) {
      if (p->path == path) return;
    }
    pendingList.push_back(job);
  }
  const std::string folder = GetThumbnailFolder();
  if (!StartRegisteredWorker([job, folder] { job->Finish(DecodeForImport(job->path, folder)); })) {
    // No thread to be had: whoever takes the job must still get its result.
    job->Finish(DecodeForImport(path, folder));
  }
}

DecodedPhoto TakeDecoded(const std::string& path) {
  std::shared_ptr<Pending> job = Remove(path);
  if (!job) return DecodeForImport(path, GetThumbnailFolder());
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
