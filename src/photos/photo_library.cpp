#include "photos/photo_library.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <unordered_map>

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
  // The same records by identity (the path with ASCII letters folded), so
  // that finding a photo does not walk the list: a project of thousands of
  // entries checks each one.
  std::unordered_map<std::string, PhotoRecord> byPath;
  std::vector<std::string> importQueue;  // taken from the back
  std::int32_t total = 0;                // progress maximum of the batch
  std::int32_t imported = 0;             // photos added since the batch began
  // Files of the running batches that the user is told about at their end,
  // by name, in the order they were imported.
  std::vector<std::pair<ImportTrouble, std::string>> notices;
  // The last import's trouble of each file that had one (by path).
  std::map<std::string, ImportTrouble, std::less<>> troubles;
};

std::string IdentityOf(std::string_view path) { return AsciiLowered(path); }

LibraryState& State() {
  static LibraryState state;
  return state;
}

// Under EngineLock.
bool InListLocked(std::string_view path) { return State().byPath.count(IdentityOf(path)) != 0; }

// Names the thumbnails; never reset during a run.
std::atomic<std::int32_t> thumbnailCounter{1000};

using Lock = std::lock_guard<std::recursive_mutex>;

void SetStateText(const std::string& text) { CallMovie(movie_request::SetLabelText("setStateText", text)); }

ImportTrouble TroubleFor(LoadStatus status, const std::string& path) {
  switch (status) {
    case LoadStatus::Unreadable: {
      // Told apart from a file that is there but will not open: a project
      // may name a photo that has since been moved or deleted.
      struct stat st;
      if (::lstat(path.c_str(), &st) != 0 && errno == ENOENT) return ImportTrouble::Missing;
      return ImportTrouble::NotAPicture;
    }
    case LoadStatus::Decoded: return ImportTrouble::None;
    case LoadStatus::Damaged: return ImportTrouble::Damaged;
    case LoadStatus::NotAFile: return ImportTrouble::NotAFile;
    case LoadStatus::TooLarge: return ImportTrouble::TooLarge;
    default: return ImportTrouble::NotAPicture;
  }
}

void Remember(const std::string& path, ImportTrouble trouble) {
  Lock lock(EngineLock());
  if (trouble == ImportTrouble::None) {
    State().troubles.erase(path);
    return;
  }
  State().troubles[path] = trouble;
  // Pictures that cannot be read at all stay unmentioned, as they always
  // have; the others would surprise the user without a word.
  if (trouble != ImportTrouble::NotAPicture) State().notices.emplace_back(trouble, GetFileNamePart(path));
}

// One line for the state text: each kind of trouble with the names of its
// files (the first few, then how many more).
std::string NoticeText(const std::vector<std::pair<ImportTrouble, std::string>>& notices) {
  constexpr std::size_t kNamesShown = 3;
  std::string text;
  auto title = [](ImportTrouble kind) {
    switch (kind) {
      case ImportTrouble::Damaged: return GetText("Photo_Damaged");
      case ImportTrouble::NotAFile: return GetText("Photo_Not_A_File");
      case ImportTrouble::Missing: return GetText("Photo_Missing");
      default: return GetText("Photo_Too_Large");
    }
  };
  for (const ImportTrouble kind :
       {ImportTrouble::Missing, ImportTrouble::Damaged, ImportTrouble::NotAFile, ImportTrouble::TooLarge}) {
    std::vector<std::string> names;
    for (const auto& notice : notices)
      if (notice.first == kind) names.push_back(notice.second);
    if (names.empty()) continue;
    std::string line = title(kind) + ": ";
    for (std::size_t i = 0; i < names.size() && i < kNamesShown; ++i) line += (i ? ", " : "") + names[i];
    if (names.size() > kNamesShown) line += ", … (+" + std::to_string(names.size() - kNamesShown) + ")";
    text += (text.empty() ? "" : "; ") + line;
  }
  return text;
}

void ImportOneFile(const std::string& path) {
  if (FindPhotoByPath(path)) {
    photos_internal::DropDecoded(path);
    return;
  }
  const std::string name = GetFileNamePart(path);
  SetStateText(GetText("Loading_Photo") + ": " + name);

  photos_internal::DecodedPhoto decoded = photos_internal::TakeDecoded(path);
  Remember(path, TroubleFor(decoded.status, path));
  if (!decoded.ok) return;

  auto photo = std::make_shared<CVRPhoto>();
  photo->srcPath = path;
  photo->width = static_cast<std::int32_t>(decoded.fullSize.width);
  photo->height = static_cast<std::int32_t>(decoded.fullSize.height);
  photo->decodedPath = decoded.decodedPath;
  photo->decodedWidth = static_cast<std::int32_t>(decoded.decodedSize.width);
  photo->decodedHeight = static_cast<std::int32_t>(decoded.decodedSize.height);
  photo->file = decoded.file;
  photo->damaged = decoded.status == LoadStatus::Damaged;
  const std::int32_t n = thumbnailCounter.fetch_add(1);
  const std::string folder = GetThumbnailFolder();
  photo->thumbPath = folder + "/" + std::to_string(n) + ".png";
  // A failed save is not reported. Without a thumbnail folder (refused at
  // start-up) the path would name the root folder: write nothing then.
  if (!folder.empty()) SavePng(*decoded.thumbnail, photo->thumbPath);
  photo->thumbWidth = static_cast<std::int32_t>(decoded.thumbnail->width());
  photo->thumbHeight = static_cast<std::int32_t>(decoded.thumbnail->height());
  decoded.thumbnail.reset();

  OpenAddPhotosDlgCallBack(EscapedPhotoText(path, photo->thumbPath));

  std::int32_t imported = 0, total = 0;
  {
    Lock lock(EngineLock());
    State().byPath.emplace(IdentityOf(photo->srcPath), photo);
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
  std::string path;
  std::vector<std::string> next;
  {
    Lock lock(EngineLock());
    auto& queue = State().importQueue;
    // Paths already in the list are passed over here, as the import would
    // pass them over (nothing is told for them), without a worker and a
    // decode each.
    while (!queue.empty() && InListLocked(queue.back())) {
      photos_internal::DropDecoded(queue.back());
      queue.pop_back();
    }
    if (queue.empty()) {
      path.clear();
    } else {
      path = std::move(queue.back());
      queue.pop_back();
    }
    // The new files that come next, newest first: decoding them now keeps
    // the other cores busy while this worker saves and reports.
    for (auto it = queue.rbegin(); it != queue.rend() && next.size() < photos_internal::DecodeAheadCount(); ++it) {
      if (!InListLocked(*it) && *it != path) next.push_back(*it);
    }
  }
  if (!path.empty()) {
    for (const std::string& ahead : next) photos_internal::DecodeAhead(ahead);
    ImportOneFile(path);
  }
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
  const auto found = State().byPath.find(IdentityOf(path));
  return found == State().byPath.end() ? nullptr : found->second;
}

bool RemovePhoto(std::string_view path) {
  PhotoRecord removed;  // released after the lock
  Lock lock(EngineLock());
  const auto found = State().byPath.find(IdentityOf(path));
  if (found == State().byPath.end()) return false;
  removed = std::move(found->second);
  State().byPath.erase(found);
  auto& photos = State().photos;
  photos.erase(std::find(photos.begin(), photos.end(), removed));
  return true;
}

bool SwapPhotos(std::string_view first, std::string_view second) {
  Lock lock(EngineLock());
  const auto a = State().byPath.find(IdentityOf(first));
  const auto b = State().byPath.find(IdentityOf(second));
  if (a == State().byPath.end() || b == State().byPath.end()) return false;
  auto& photos = State().photos;
  std::iter_swap(std::find(photos.begin(), photos.end(), a->second), std::find(photos.begin(), photos.end(), b->second));
  return true;
}

void ClearAllPhotos() {
  std::vector<PhotoRecord> released;
  std::unordered_map<std::string, PhotoRecord> index;
  Lock lock(EngineLock());
  released.swap(State().photos);
  index.swap(State().byPath);
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
  std::vector<std::pair<ImportTrouble, std::string>> notices;
  {
    Lock lock(EngineLock());
    empty = State().importQueue.empty();
    batchStart = State().imported == 0;
    if (empty) notices.swap(State().notices);
  }
  if (empty) {
    if (!notices.empty()) SetStateText(NoticeText(notices));
    NotifyMovie("importing", "0");
    return;
  }
  if (batchStart) NotifyMovie("importing", "1");
  photos_internal::StartRegisteredWorker(RunImportWorker);
}

ImportTrouble ImportTroubleOf(std::string_view path) {
  Lock lock(EngineLock());
  const auto it = State().troubles.find(path);
  return it == State().troubles.end() ? ImportTrouble::None : it->second;
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
