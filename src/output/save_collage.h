// Saving the finished collage: the movie's "SaveShape", the save worker and
// the file writing behind it.
//
// "SaveShape" (parameter text, PSD flag) shows the save dialog for either a
// flat picture (PNG, JPEG, BMP) or a layered PSD file, remembers the chosen
// folder under "Path_SaveShape", and starts one save worker. The worker tells
// the movie "saving" "1", renders the collage of the last layout at full size
// (writing the layers as it draws when the file is a PSD), encodes the flat
// picture by the file's extension, sets the state text, opens the file
// browser on the saved file, and tells the movie "saving" "0".
//
// Every file is written so that it appears whole or not at all
// (AtomicFileWriter): a failed save leaves the earlier file as it was, opens
// no file browser, and says why: the state text and a message box read
// getStr("Save_Failed") + ": " + the reason ("No space left on device", a
// format's size limit, ...). A file that is one of the collage's own pictures
// (a photo, the background picture or the shape picture; the same file by
// device and inode) is refused in the dialog flow with a message box, and
// nothing is written. JPEG files are written at the quality the parameter
// text's `jpegQuality` gives (1..100, default 90).
//
// Saves never race with layouts or with each other: "SaveShape" first waits
// (keeping the event loop turning) for a layout run or an earlier save that is
// still going, and the worker gets its own share of the finished collage, so
// a layout started meanwhile builds a new collage instead of changing it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "engine/collage.h"
#include "output/psd_writer.h"

namespace vornida {

class CVRFlashCtrl;

namespace platform {
class EventLoop;
}

// The layered-file branch of CCollage::RenderFinal over PsdWriter. It
// remembers the first failure, since the renderer does not look at the
// answers: a save is good only when `result()` is ok after the render.
// When `cancel` is given and set by the time the render finishes, the
// document is dropped instead of finished, so a cancelled save leaves no
// half-drawn file.
//
// Each layer keeps only its part on the canvas (a background picture that
// covers the canvas is usually larger): nothing outside can be seen, and
// readers that take layer positions as unsigned numbers (Pillow 9) cannot
// open a file with a layer that starts above or left of the canvas.
class PsdLayeredOutput final : public LayeredOutput {
 public:
  explicit PsdLayeredOutput(const std::atomic<bool>* cancel = nullptr) : cancel_(cancel) {}
  void nameLayers(std::vector<std::string> names) override { writer_.nameLayers(std::move(names)); }
  bool open(const std::string& path, int32_t width, int32_t height, int32_t layerCount) override;
  bool openWithColour(const std::string& path, int32_t width, int32_t height, int32_t itemCount,
                      uint32_t argb) override;
  bool addLayer(const Bitmap& picture, int32_t left, int32_t top) override;
  bool finish(const Bitmap& merged) override;

  // Ok once the document was opened, every layer written and the file put in
  // place; otherwise the first failure.
  Status result() const;
  bool succeeded() const { return result().ok(); }

 private:
  bool track(Status step);

  const std::atomic<bool>* cancel_;
  PsdWriter writer_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  bool opened_ = false;
  bool finished_ = false;
  Status failure_;
};

enum class SaveOutcome {
  NotLaidOut,  // the collage has no finished layout: nothing written, no texts
  Failed,      // nothing written; `status` says why
  Saved,       // the file is in place; the state text is getStr("Done")
};

struct SaveReport {
  SaveOutcome outcome = SaveOutcome::NotLaidOut;
  std::string path;
  Status status;  // the reason when Failed
};

inline constexpr int kDefaultJpegQuality = 90;

struct SaveOptions {
  int jpegQuality = kDefaultJpegQuality;  // 1..100
};

// The JPEG quality a collage-parameter text asks for: its `jpegQuality`
// attribute brought into 1..100; kDefaultJpegQuality when it has none or
// the value does not read as a number.
int JpegQualityFromParameters(std::string_view parameterText);

// Every picture file the collage reads: its photos, the background picture
// and the shape picture. A save must not replace any of them.
std::vector<std::string> CollageInputFiles(const CCollage& collage);

// Writes `collage` to `path` on the calling (save) thread, reporting through
// the collage's state and progress sinks and texts (getText). With
// `psdFlag` 0 the flat picture is encoded by the extension (see
// FlatPictureMimeType); otherwise the renderer writes the layered file, which
// needs the extension "psd" (any other name gets nothing written and fails).
// Before any drawing it refuses a file that is one of the collage's own
// pictures and a canvas or layer count beyond the format's limits
// (CheckOutputLimits). A render cancelled through the collage's `cancel`
// flag (program exit) counts as failed: nothing is put in place.
SaveReport saveCollage(CCollage& collage, const std::string& path, int32_t psdFlag,
                       const SaveOptions& options = {});

// The save dialog's filter: "PSD"/"PNG", "JPG", "BMP" entries built from the
// movie's "File" text, then the "AllFiles" entry and the closing "|".
std::string SaveShapeFilter(bool psd, const std::string& fileText, const std::string& allFilesText);

// Hears how each save that "SaveShape" was asked for ended (from the save
// worker's thread, or from the UI thread for a refused file).
using SaveListener = std::function<void(const SaveReport& report)>;

// Installs "SaveShape" into the control's command table. The state and
// progress go to the movie through the control; `loop` is the UI loop that
// the waits keep turning.
void InstallSaveCommands(CVRFlashCtrl& control, platform::EventLoop& loop, SaveListener listener = {});

// True while a save worker is running.
bool SaveRunning();

// Program exit: asks a running save to stop after the item it is drawing. The
// save then counts as failed and writes nothing; exit still waits for the
// worker (it is in WorkerThreadIds).
void CancelSave();

}  // namespace vornida
