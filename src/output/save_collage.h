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
// Every file is written to a temporary file beside the target and renamed
// into place only when complete: a failed save leaves the earlier file as it
// was, shows the movie's "Error" text instead of "Done" and opens no file
// browser.
//
// Saves never race with layouts or with each other: "SaveShape" first waits
// (keeping the event loop turning) for a layout run or an earlier save that is
// still going, and the worker gets its own share of the finished collage, so
// a layout started meanwhile builds a new collage instead of changing it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/collage.h"
#include "output/psd_writer.h"

namespace vornida {

class CVRFlashCtrl;

namespace platform {
class EventLoop;
}

// The layered-file branch of CCollage::RenderFinal over PsdWriter. It
// remembers whether every step succeeded, since the renderer does not look at
// the answers: a save is good only when `succeeded()` after the render.
// When `cancel` is given and set by the time the render finishes, the
// document is dropped instead of finished, so a cancelled save leaves no
// half-drawn file.
class PsdLayeredOutput final : public LayeredOutput {
 public:
  explicit PsdLayeredOutput(const std::atomic<bool>* cancel = nullptr) : cancel_(cancel) {}
  bool open(const std::string& path, int32_t width, int32_t height, int32_t layerCount) override;
  bool openWithColour(const std::string& path, int32_t width, int32_t height, int32_t itemCount,
                      uint32_t argb) override;
  bool addLayer(const Bitmap& picture, int32_t left, int32_t top) override;
  bool finish() override;

  // True once the document was opened, every layer written and the file put
  // in place.
  bool succeeded() const { return finished_ && !failed_; }

 private:
  bool track(bool ok);

  const std::atomic<bool>* cancel_;
  PsdWriter writer_;
  bool opened_ = false;
  bool finished_ = false;
  bool failed_ = false;
};

enum class SaveOutcome {
  NotLaidOut,  // the collage has no finished layout: nothing written, no texts
  Failed,      // nothing usable written; the state text is getStr("Error")
  Saved,       // the file is in place; the state text is getStr("Done")
};

// Writes `collage` to `path` on the calling (save) thread, reporting through
// the collage's state and progress sinks and texts (getText). With
// `psdFlag` 0 the flat picture is encoded by the extension (see
// FlatPictureMimeType); otherwise the renderer writes the layered file, which
// needs the extension "psd" (any other name gets nothing written and fails).
// A render cancelled through the collage's `cancel` flag (program exit)
// counts as failed: nothing is put in place.
SaveOutcome saveCollage(CCollage& collage, const std::string& path, int32_t psdFlag);

// The save dialog's filter: "PSD"/"PNG", "JPG", "BMP" entries built from the
// movie's "File" text, then the "AllFiles" entry and the closing "|".
std::string SaveShapeFilter(bool psd, const std::string& fileText, const std::string& allFilesText);

// Installs "SaveShape" into the control's command table. The state and
// progress go to the movie through the control; `loop` is the UI loop that
// the waits keep turning.
void InstallSaveCommands(CVRFlashCtrl& control, platform::EventLoop& loop);

// True while a save worker is running.
bool SaveRunning();

// Program exit: asks a running save to stop after the item it is drawing. The
// save then counts as failed and writes nothing; exit still waits for the
// worker (it is in WorkerThreadIds).
void CancelSave();

}  // namespace vornida
