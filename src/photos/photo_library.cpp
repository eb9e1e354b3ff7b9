#include "photos/photo_library.h"

#include <atomic>
#include <mutex>

#include "app/folders.h"
#include "app/paths.h"
#include "base/text.h"
#include "host/movie_calls.h"
#include "host/worker_threads.h"
#include "photos/import_ahead.h"
#include "xml/xml_doc.h"

namespace vornida {

namespace {

// Everything here is guarded by EngineLock.
struct LibraryState {
  std::vector<PhotoRecord> photos;
  std::vector<std::string> importQueue;  // taken from the back
  std::int32_t total = 0;                // progress maximum of the batch
  std::int32_t imported = 0;             // photos added since the batch began
};

LibraryState& State() {
  static LibraryState state;
  return state;
}

// Names the thumbnails; never reset during a run.
std::atomic<std::int32_t> thumbnailCounter{1000};

using Lock = std::lock_guard<std::recursive_mutex>;

void SetStateText(const std::string& text) { CallMovie(movie_request::SetLabelText("setStateText", text)); }

void ImportOneFile(const std::string& path) {
  if (FindPhotoByPath(path)) {
    photos_internal::DropDecoded(path);
    return;
  }
  const std::string name = GetFileNamePart(path);
  SetStateText(GetText("Loading_Photo") + ": " + name);

  photos_internal::DecodedPhoto decoded = photos_internal::TakeDecoded(path);
  if (!decoded.ok) return;

  auto photo = std::make_shared<CVRPhoto>();
  photo->srcPath = path;
  photo->width = static_cast<std::int32_t>(decoded.fullSize.width);
  photo->height = static_cast<std::int32_t>(decoded.fullSize.height);
  const std::int32_t n = thumbnailCounter.fetch_add(1);
  photo->thumbPath = GetThumbnailFolder() + "/" + std::to_string(n) + ".png";
  SavePng(*decoded.thumbnail, photo->thumbPath);  // a failed save is not reported
  photo->thumbWidth = static_cast<std::int32_t>(decoded.thumbnail->width());
  photo->thumbHeight = static_cast<std::int32_t>(decoded.thumbnail->height());
  decoded.thumbnail.reset();

  OpenAddPhotosDlgCallBack(EscapedPhotoText(path, photo->thumbPath));

  std::int32_t imported = 0, total = 0;
  {
    Lock lock(EngineLock());
    State().photos.push_back(std::move(photo));
    imported = ++State().imported;
    total = State().total;
  }
  CallMovie(movie_request::SetProgress(imported));
  if (imported >= total) {
    SetMovieProgressVisual();
    SetStateText("");
  }
}

// One worker per file: take the newest queued path, import it, start the
// next worker. It is entered into WorkerThreadIds by whoever started it.
void RunImportWorker() {
  std::string path, next;
  {
    Lock lock(EngineLock());
    auto& queue = State().importQueue;
    if (queue.empty()) return;
    path = std::move(queue.back());
    queue.pop_back();
    if (!queue.empty()) next = queue.back();
  }
  if (!next.empty()) photos_internal::DecodeAhead(next);
  ImportOneFile(path);
  StartNextImport();
}

}  // namespace

std::size_t PhotoCount() {
  Lock lock(EngineLock());
  return State().photos.size();
}

PhotoRecord PhotoAt(std::size_t index) {
  Lock lock(EngineLock());
  const auto& photos = State().photos;
  return index < photos.size() ? photos[index] : nullptr;
}

std::vector<PhotoRecord> PhotoSnapshot() {
  Lock lock(EngineLock());
  return State().photos;
}

PhotoRecord FindPhotoByPath(std::string_view path) {
  Lock lock(EngineLock());
  for (const PhotoRecord& photo : State().photos) {
    if (EqualsIgnoreAsciiCase(photo->srcPath, path)) return photo;
  }
  return nullptr;
}

bool RemovePhoto(std::string_view path) {
  PhotoRecord removed;  // released after the lock
  Lock lock(EngineLock());
  auto& photos = State().photos;
  for (auto it = photos.begin(); it != photos.end(); ++it) {
    if (EqualsIgnoreAsciiCase((*it)->srcPath, path)) {
      removed = std::move(*it);
      photos.erase(it);
      return true;
    }
  }
  return false;
}

void ClearAllPhotos() {
  std::vector<PhotoRecord> released;
  Lock lock(EngineLock());
  released.swap(State().photos);
}

void QueuePhotoImports(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    Lock lock(EngineLock());
    State().importQueue.push_back(path);
  }
  std::int32_t total = 0;
  {
    Lock lock(EngineLock());
    State().total = static_cast<std::int32_t>(State().importQueue.size());
    State().imported = 0;
    total = State().total;
  }
  CallMovie(movie_request::SetProgressMaximum(total));
  CallMovie(movie_request::SetProgress(0));
  StartNextImport();
}

void StartNextImport() {
  if (IsStopping()) return;
  bool empty = false, batchStart = false;
  {
    Lock lock(EngineLock());
    empty = State().importQueue.empty();
    batchStart = State().imported == 0;
  }
  if (empty) {
    NotifyMovie("importing", "0");
    return;
  }
  if (batchStart) NotifyMovie("importing", "1");
  photos_internal::StartRegisteredWorker(RunImportWorker);
}

PictureSize ThumbnailSizeFor(std::int64_t width, std::int64_t height) {
  // Single precision on the sizes read as unsigned, truncated, as the
  // thumbnails have always been sized.
  const float w = static_cast<float>(static_cast<std::uint32_t>(width));
  const float h = static_cast<float>(static_cast<std::uint32_t>(height));
  PictureSize size;
  const float tall = 200.0f * h / w;
  if (tall <= 200.0f) {
    size = {200, static_cast<std::int64_t>(tall)};
  } else {
    size = {static_cast<std::int64_t>(200.0f * w / h), 200};
  }
  // A very thin picture would get a side of 0, which no file can hold.
  size.width = std::max<std::int64_t>(size.width, 1);
  size.height = std::max<std::int64_t>(size.height, 1);
  return size;
}

std::string EscapedPhotoText(const std::string& srcPath, const std::string& thumbPath) {
  const std::string text =
      "<photo name='" + GetFileNamePart(srcPath) + "' src='" + srcPath + "' thumb='" + thumbPath + "'/>";
  return XmlEscape(text);
}

}  // namespace vornida
