// The photo library: the ordered list of photos a collage is made from,
// their import on worker threads, and their thumbnails.
//
// The user picks files in a multi-select dialog ("OpenAddPhotosDlg"). The
// paths go onto ImportQueue, which is taken from its tail (a stack: the last
// selected file is imported first). Each file is imported by its own short
// worker thread, which starts the next one when done, so one batch imports
// one file at a time. Importing decodes the file upright, writes a PNG
// thumbnail of at most 200 x 200 into ThumbnailFolder (named from 1000.png
// upward), appends a CVRPhoto to PhotoList and announces it to the movie with
// openAddPhotosDlgCallBack. While one file is imported the next queued files
// are already decoded on the other cores; the movie and the list see exactly
// the sequential order.
//
// Only regular files are read (a FIFO or device in the list is skipped, never
// waited on). When a batch ends, the state text names the files that were
// not found, damaged (imported as far as they could be read), skipped as no
// file, or skipped as too large, with the movie's texts "Photo_Missing",
// "Photo_Damaged", "Photo_Not_A_File" and "Photo_Too_Large".
//
// Locking: EngineLock (host/worker_threads.h) guards the queue, the list and
// the batch counts. Readers on other threads use PhotoSnapshot() or
// PhotoAt(), which hand out shared records: a record removed from the list
// stays valid for whoever still holds it. The movie is never called while
// EngineLock is held.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/bitmap.h"
#include "platform/dialogs.h"

namespace vornida {

class CVRFlashCtrl;

struct CVRPhoto {
  std::int32_t width = 0;        // as decoded and turned upright
  std::int32_t height = 0;
  std::int32_t thumbWidth = 0;   // of the thumbnail written
  std::int32_t thumbHeight = 0;
  Picture scaledImage;           // engine-owned caches; null after import
  Picture preparedImage;
  std::string srcPath;           // the photo's identity (ASCII case ignored)
  std::string thumbPath;         // ThumbnailFolder + "/" + n + ".png"
  std::int32_t rotation = 0;     // degrees the layout subtracts; 0 from import
  // The picture the import decoded (within 500 x 500), kept in
  // ThumbnailFolder so that a final render whose item is no larger need not
  // decode the photo again; empty when none was kept. Valid while the photo
  // file still has `file`'s stamp.
  std::string decodedPath;
  std::int32_t decodedWidth = 0;
  std::int32_t decodedHeight = 0;
  FileStamp file;
  bool damaged = false;          // the file ended early: only part of it was read
};

using PhotoRecord = std::shared_ptr<CVRPhoto>;

// ---- the list ------------------------------------------------------------

std::size_t PhotoCount();
// The record at `index`, or null when out of range.
PhotoRecord PhotoAt(std::size_t index);
// The whole list in order, taken under EngineLock.
std::vector<PhotoRecord> PhotoSnapshot();
// First record whose srcPath equals `path` ignoring ASCII case, else null.
PhotoRecord FindPhotoByPath(std::string_view path);
// "RemovePhoto": removes the first match (ASCII case ignored); false when
// none matched. The thumbnail file stays until exit.
bool RemovePhoto(std::string_view path);
// "SwapPhotos": swaps the places of two listed photos (ASCII case ignored),
// so that the next layout gives each the other's items; false, changing
// nothing, when either is not listed.
bool SwapPhotos(std::string_view first, std::string_view second);
// Releases every record (at exit).
void ClearAllPhotos();

// ---- import --------------------------------------------------------------

// Appends the paths to ImportQueue in order, sets the batch's progress
// maximum to everything now waiting, and starts importing. Any thread may
// call it; it calls the movie.
void QueuePhotoImports(const std::vector<std::string>& paths);

// Starts the next import worker, or tells the movie "importing" "0" when the
// queue is empty. Does nothing once the program is stopping.
void StartNextImport();

// The thumbnail size for a picture: the 200 x 200 box, keeping the aspect
// ratio, computed in single precision and truncated (small pictures are
// enlarged). A side that would truncate to 0 is 1.
PictureSize ThumbnailSizeFor(std::int64_t width, std::int64_t height);

// What went wrong when a file was last imported: damaged (imported, only in
// part), or skipped because it does not exist, is no regular file, is too
// large, or is no picture that can be read. None for a file imported whole,
// or never imported.
enum class ImportTrouble { None, Damaged, Missing, NotAFile, TooLarge, NotAPicture };
ImportTrouble ImportTroubleOf(std::string_view path);

// The text announced to the movie for a photo, escaped for transport.
std::string EscapedPhotoText(const std::string& srcPath, const std::string& thumbPath);

// ---- the add-photos dialog -------------------------------------------------

// The open dialog of the program with the view it asks for recorded.
class CFileDialogEx {
 public:
  static constexpr std::uint32_t kDetailsView = 0x702C;
  static constexpr std::uint32_t kThumbnailsView = 0x702D;

  CFileDialogEx(bool open, std::string defaultExtension, std::string fileName, std::uint32_t flags,
                std::string filter);

  void SetViewMode(std::uint32_t command) { viewMode_ = command; }
  std::uint32_t ViewMode() const { return viewMode_; }
  void SetInitialFolder(std::string folder) { request_.initialFolder = std::move(folder); }
  // Shows the dialog modally through the platform's dialogs, asking for the
  // recorded view.
  platform::FileDialogResult DoModal(platform::FileDialogs& dialogs);
  // Asks an open dialog's file view to switch to `command`. The platform
  // dialogs take the view only when they open, so there is never a view to
  // reach here: returns false.
  bool SendViewCommand(std::uint32_t command) const;

 private:
  platform::FileDialogRequest request_;
  std::uint32_t viewMode_ = kDetailsView;
};

// "OpenAddPhotosDlg": shows the dialog in the remembered "ImportPhotoPath",
// remembers the chosen folder and queues the chosen files. UI thread.
void OpenAddPhotosDialog(platform::FileDialogs& dialogs);

// Installs "OpenAddPhotosDlg", "RemovePhoto" and "SwapPhotos" (answering
// <true/> when it swapped) into the command table.
void InstallPhotoCommands(CVRFlashCtrl& control);

}  // namespace vornida
