// The layout run behind the movie's "MakeShape", and the current collage.
//
// "MakeShape" stores the collage-parameter text and starts a worker that runs
// MakeCollageRun: it tells the movie "previewing" "1", builds a fresh CCollage
// from the text and the photo list, lays it out while drawing the preview,
// writes the preview file, tells the movie "haveCreateCollage" "true" and
// setShapePreview, and finally "previewing" "0".
//
// A run that cannot make its collage (a setting out of range, a shape with
// nothing to fill, too much work) tells the movie `notify` "layoutFailed"
// with the reason, before "previewing" "0"; each change the run had
// to make (a reduced canvas) is told as `notify` "layoutNote" with its text.
// Both texts come from the movie's table by key (engine_texts.h), escaped
// for XML.
//
// The layouts of the session (layout_history.h): every layout that finishes
// is recorded with its seed, parameter text and photos. "NewLayout" makes the
// given settings again with a new seed; "UndoLayout" and "RedoLayout" make a
// recorded layout again (same seed, text and photos, so the same
// arrangement, which "SaveShape" then writes) and move the history's cursor
// onto it when it has finished. Each finished layout tells the movie
// `notify` "layoutSeed", "canUndoLayout" and "canRedoLayout"; one made again
// from the history also "layoutRestored" with its parameter text.
//
// Seeds: a parameter text with a "seed" attribute is made with that seed
// (a project keeps its layout's seed); otherwise the fixed seed
// (SetSeed) or the time in seconds.
//
// One run at a time: a "MakeShape" that arrives while a run is going cancels
// it and waits for it to end (turning the event loop, so that the worker's
// movie calls are answered) before the new run starts. The current collage
// is shared: a reader (the save) holds it through CurrentFinishedCollage(),
// and a run never changes a collage that a reader may hold.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/collage.h"
#include "engine/layout_history.h"

namespace vornida {

class CVRFlashCtrl;
class MPictureBox;
class MProgressBar;
class MLabel;

namespace platform {
class EventLoop;
}

// Where a run reports to and what it needs to know.
struct CollageRunSetup {
  MPictureBox* previewBox = nullptr;
  MProgressBar* progressBar = nullptr;
  MLabel* stateLabel = nullptr;
  MLabel* infoLabel = nullptr;
  std::string programFolder;    // "TBgBrush.png" and relative shape paths
  std::string previewFilePath;  // the preview file the movie is pointed to
};

class CollageRunner {
 public:
  static CollageRunner& Shared();

  void Configure(CollageRunSetup setup);
  // A fixed seed makes every following layout reproducible; none (the
  // default) seeds each run with the time in seconds.
  void SetSeed(std::optional<uint32_t> seed);
  // Whether anybody watches the canvas while a layout runs (true unless
  // told otherwise). Without a watcher the runs skip the frames drawn before
  // each sweep; the layout and the finished preview stay the same.
  void SetCanvasWatched(bool watched);
  // The longest canvas side the output can take (a format's own limit),
  // for every following layout; 0 (the default) leaves only the engine's
  // pixel limit. A canvas over it is reduced, with a note.
  void SetCanvasSideLimit(int32_t maxSide);

  // "MakeShape": starts a run with the parameter text; a run still going is
  // cancelled and waited for first. UI thread.
  void Start(const std::string& parameterText, platform::EventLoop& loop);
  // "NewLayout": as Start, with a seed other than the shown layout's.
  void StartNewLayout(const std::string& parameterText, platform::EventLoop& loop);
  // "UndoLayout" (-1) and "RedoLayout" (+1): makes the recorded layout that
  // many steps from the shown one again; false (and no run) when there is
  // none. UI thread.
  bool StartRecordedLayout(int steps, platform::EventLoop& loop);
  // "ClearLayoutHistory": forgets every recorded layout and tells the movie.
  void ClearHistory();
  // Cancels a running run and waits for it to end, turning the loop. UI thread.
  void CancelAndWait(platform::EventLoop& loop);
  // Waits for a running run to end (without cancelling it). UI thread.
  void WaitForRun(platform::EventLoop& loop);
  bool Running() const;

  // The collage of the last run when it finished its layout and no run is
  // going; null otherwise. The holder may render it (one save at a time)
  // while later runs replace it: a run never changes a collage it did not make.
  std::shared_ptr<CCollage> CurrentFinishedCollage() const;
  // The current collage, finished or not (for exit: set its cancel flag).
  std::shared_ptr<CCollage> CurrentCollage() const;

 private:
  struct State;
  // What one run makes: the text, and for a layout made again its seed, its
  // photos and how far the history's cursor moves once it is shown.
  struct Request {
    std::string parameterText;
    std::optional<uint32_t> seed;                     // wins over the text's and the fixed seed
    std::optional<std::vector<CollagePhoto>> photos;  // the photo list when unset
    int historyStep = 0;                              // 0: record the layout as a new one
  };
  CollageRunner();
  void StartRun(Request request, platform::EventLoop& loop);
  // The worker's body: one whole run.
  void MakeCollageRun(const Request& request, const CollageRunSetup& setup, std::optional<uint32_t> fixedSeed,
                      bool canvasWatched, int32_t maxCanvasSide);
  std::shared_ptr<State> state_;
};

// Installs "MakeShape", "NewLayout", "UndoLayout", "RedoLayout" and
// "ClearLayoutHistory" into the control's command table: each run reports
// through the main window's picture box, progress bar and labels
// (CVRFlashCtrl::MainWindow) and waits on the control's event loop.
void InstallCollageCommands(CVRFlashCtrl& control);

}  // namespace vornida
