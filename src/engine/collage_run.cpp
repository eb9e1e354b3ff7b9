#include "engine/collage_run.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/folders.h"
#include "commands/vr_flash_ctrl.h"
#include "engine/collage_params.h"
#include "host/movie_calls.h"
#include "host/ui_interfaces.h"
#include "host/main_window_parts.h"
#include "host/ui_proxies.h"
#include "host/worker_threads.h"
#include "photos/photo_library.h"
#include "platform/event_loop.h"
#include "xml/xml_doc.h"

namespace vornida {

namespace {

// The engine's sinks over the host's proxies.
class PictureBoxSink final : public PreviewSink {
 public:
  explicit PictureBoxSink(MPictureBox* box) : box_(box) {}
  void DrawImage(const Bitmap& picture) override {
    if (picture.empty()) return;
    platform::PixelView view;
    view.pixels = picture.row(0);
    view.width = static_cast<int>(picture.width());
    view.height = static_cast<int>(picture.height());
    view.stride = static_cast<int>(picture.stride());
    box_->DrawImage(view);
  }
  void SetSize(int32_t width, int32_t height) override { box_->SetSize(width, height); }
  int32_t GetWidth() const override { return box_->GetWidth(); }
  int32_t GetHeight() const override { return box_->GetHeight(); }
  void Show() override { box_->Show(); }

 private:
  MPictureBox* box_;
};

class ProgressBarSink final : public ProgressSink {
 public:
  explicit ProgressBarSink(MProgressBar* bar) : bar_(bar) {}
  void SetPos(int32_t pos) override { bar_->SetPos(pos); }
  void SetMax(int32_t max) override { bar_->SetMax(max); }
  int32_t GetMax() const override { return bar_->GetMax(); }

 private:
  MProgressBar* bar_;
};

class LabelSink final : public TextSink {
 public:
  explicit LabelSink(MLabel* label) : label_(label) {}
  void SetText(const std::string& text) override { label_->SetText(text); }

 private:
  MLabel* label_;
};

// What the run had to change, told to the movie as it happens.
class NoteSink final : public TextSink {
 public:
  void SetText(const std::string& text) override { NotifyMovie("layoutNote", XmlEscape(text)); }
};

std::vector<CollagePhoto> PhotosForLayout() {
  std::vector<CollagePhoto> photos;
  for (const PhotoRecord& record : PhotoSnapshot()) {
    CollagePhoto p;
    p.width = record->width;
    p.height = record->height;
    p.thumbWidth = record->thumbWidth;
    p.rotation = record->rotation;
    p.srcPath = record->srcPath;
    p.thumbPath = record->thumbPath;
    p.decodedPath = record->decodedPath;
    p.decodedWidth = record->decodedWidth;
    p.decodedHeight = record->decodedHeight;
    p.file = record->file;
    photos.push_back(std::move(p));
  }
  return photos;
}

}  // namespace

struct CollageRunner::State {
  mutable std::mutex mutex;
  std::condition_variable changed;
  CollageRunSetup setup;
  std::optional<uint32_t> seed;
  bool canvasWatched = true;
  int32_t maxCanvasSide = 0;
  bool running = false;
  bool registered = false;  // the worker has entered WorkerThreadIds
  std::shared_ptr<CCollage> current;
  LayoutHistory history;
};

CollageRunner::CollageRunner() : state_(std::make_shared<State>()) {}

CollageRunner& CollageRunner::Shared() {
  static CollageRunner runner;
  return runner;
}

void CollageRunner::Configure(CollageRunSetup setup) {
  std::lock_guard<std::mutex> hold(state_->mutex);
  state_->setup = std::move(setup);
}

void CollageRunner::SetSeed(std::optional<uint32_t> seed) {
  std::lock_guard<std::mutex> hold(state_->mutex);
  state_->seed = seed;
}

void CollageRunner::SetCanvasWatched(bool watched) {
  std::lock_guard<std::mutex> hold(state_->mutex);
  state_->canvasWatched = watched;
}

void CollageRunner::SetCanvasSideLimit(int32_t maxSide) {
  std::lock_guard<std::mutex> hold(state_->mutex);
  state_->maxCanvasSide = std::max(0, maxSide);
}

bool CollageRunner::Running() const {
  std::lock_guard<std::mutex> hold(state_->mutex);
  return state_->running;
}

std::shared_ptr<CCollage> CollageRunner::CurrentFinishedCollage() const {
  std::lock_guard<std::mutex> hold(state_->mutex);
  if (state_->running || !state_->current || !state_->current->layoutDone) return nullptr;
  return state_->current;
}

std::shared_ptr<CCollage> CollageRunner::CurrentCollage() const {
  std::lock_guard<std::mutex> hold(state_->mutex);
  return state_->current;
}

void CollageRunner::WaitForRun(platform::EventLoop& loop) {
  // The worker calls the movie, which needs this (the UI) thread: keep the
  // loop turning instead of blocking on the worker.
  while (Running()) loop.iterate(true);
}

void CollageRunner::CancelAndWait(platform::EventLoop& loop) {
  {
    std::lock_guard<std::mutex> hold(state_->mutex);
    if (state_->running && state_->current) state_->current->cancel = true;
  }
  WaitForRun(loop);
}

void CollageRunner::Start(const std::string& parameterText, platform::EventLoop& loop) {
  Request request;
  request.parameterText = parameterText;
  StartRun(std::move(request), loop);
}

void CollageRunner::StartNewLayout(const std::string& parameterText, platform::EventLoop& loop) {
  // The shown layout's seed, as it is once a run still going has ended.
  CancelAndWait(loop);
  Request request;
  request.parameterText = parameterText;
  {
    std::lock_guard<std::mutex> hold(state_->mutex);
    const LayoutRecord* shown = state_->history.Shown();
    const uint32_t last = shown ? shown->seed : state_->current ? state_->current->seed : state_->seed.value_or(0);
    request.seed = NextLayoutSeed(last, state_->seed.has_value());
  }
  StartRun(std::move(request), loop);
}

bool CollageRunner::StartRecordedLayout(int steps, platform::EventLoop& loop) {
  CancelAndWait(loop);
  Request request;
  {
    std::lock_guard<std::mutex> hold(state_->mutex);
    std::optional<LayoutRecord> layout = steps < 0 ? state_->history.Previous() : state_->history.Next();
    if (steps == 0 || !layout) return false;
    request.parameterText = std::move(layout->parameterText);
    request.seed = layout->seed;
    request.photos = std::move(layout->photos);
    request.historyStep = steps < 0 ? -1 : 1;
  }
  StartRun(std::move(request), loop);
  return true;
}

void CollageRunner::ClearHistory() {
  {
    std::lock_guard<std::mutex> hold(state_->mutex);
    state_->history.Clear();
  }
  NotifyMovie("canUndoLayout", "0");
  NotifyMovie("canRedoLayout", "0");
}

void CollageRunner::StartRun(Request request, platform::EventLoop& loop) {
  CancelAndWait(loop);
  CollageRunSetup setup;
  std::optional<uint32_t> seed;
  bool watched = true;
  int32_t maxSide = 0;
  {
    std::lock_guard<std::mutex> hold(state_->mutex);
    state_->running = true;
    state_->registered = false;
    setup = state_->setup;
    seed = state_->seed;
    watched = state_->canvasWatched;
    maxSide = state_->maxCanvasSide;
  }
  std::thread worker([this, request = std::move(request), setup, seed, watched, maxSide]() {
    MakeCollageRun(request, setup, seed, watched, maxSide);
  });
  worker.detach();
  // Return only once the worker is a registered worker, so that whoever waits
  // for the workers to end cannot miss this one.
  std::unique_lock<std::mutex> hold(state_->mutex);
  state_->changed.wait(hold, [&] { return state_->registered; });
}

void CollageRunner::MakeCollageRun(const Request& request, const CollageRunSetup& setup,
                                   std::optional<uint32_t> fixedSeed, bool canvasWatched, int32_t maxCanvasSide) {
  std::shared_ptr<State> state = state_;
  RegisterWorkerThread();
  {
    std::lock_guard<std::mutex> hold(state->mutex);
    state->registered = true;
  }
  state->changed.notify_all();

  NotifyMovie("previewing", "1");
  auto collage = std::make_shared<CCollage>();
  {
    // Readers of the previous collage keep their share of it.
    std::lock_guard<std::mutex> hold(state->mutex);
    state->current = collage;
  }
  PictureBoxSink preview(setup.previewBox);
  ProgressBarSink progress(setup.progressBar);
  LabelSink stateText(setup.stateLabel);
  LabelSink infoText(setup.infoLabel);
  if (setup.previewBox) collage->previewSink = &preview;
  if (setup.progressBar) collage->progressSink = &progress;
  if (setup.stateLabel) collage->stateSink = &stateText;
  if (setup.infoLabel) collage->infoSink = &infoText;
  NoteSink notes;
  collage->noteSink = &notes;
  collage->getText = [](const std::string& key) { return GetText(key); };
  collage->programFolder = setup.programFolder;
  collage->previewFilePath = setup.previewFilePath;
  collage->drawFrames = canvasWatched;
  collage->maxCanvasSide = maxCanvasSide;

  if (ReadCollageParams(request.parameterText, *collage, setup.programFolder)) {
    collage->fixedSeed = request.seed ? request.seed : collage->paramSeed ? collage->paramSeed : fixedSeed;
    collage->photos = request.photos ? *request.photos : PhotosForLayout();
    LayoutRecord made;
    made.parameterText = request.parameterText;
    made.photos = collage->photos;
    if (collage->CreateLayout()) {
      NotifyMovie("haveCreateCollage", "true");
      SetMovieShapePreview(setup.previewFilePath);
      bool canUndo = false, canRedo = false;
      {
        std::lock_guard<std::mutex> hold(state->mutex);
        if (request.historyStep != 0) {
          state->history.Move(request.historyStep);
        } else {
          made.seed = collage->seed;
          state->history.Record(std::move(made));
        }
        canUndo = state->history.CanUndo();
        canRedo = state->history.CanRedo();
      }
      if (request.historyStep != 0) NotifyMovie("layoutRestored", XmlEscape(request.parameterText));
      NotifyMovie("layoutSeed", std::to_string(collage->seed));
      NotifyMovie("canUndoLayout", canUndo ? "1" : "0");
      NotifyMovie("canRedoLayout", canRedo ? "1" : "0");
    }
  }
  // Why there is no collage, as an event the movie shows an error for.
  if (!collage->problem.empty()) NotifyMovie("layoutFailed", XmlEscape(collage->ProblemText()));
  // The sinks end with this scope; the collage outlives it.
  collage->previewSink = nullptr;
  collage->progressSink = nullptr;
  collage->stateSink = nullptr;
  collage->infoSink = nullptr;
  collage->noteSink = nullptr;
  NotifyMovie("previewing", "0");
  {
    std::lock_guard<std::mutex> hold(state->mutex);
    state->running = false;
  }
  state->changed.notify_all();
  UnregisterWorkerThread();
}

namespace {

// Points the runner at the main window's canvas and proxies as attached now
// (a run without a main window reports nowhere but still lays out) and
// gives the loop a run waits on; null, and nothing to run, without one.
platform::EventLoop* PrepareRun(CVRFlashCtrl& control) {
  if (control.Services().loop == nullptr) return nullptr;
  CollageRunSetup setup;
  if (MainWindowParts* parts = control.MainWindow()) {
    setup.previewBox = &parts->pictureBox;
    setup.progressBar = &parts->progressBar;
    setup.stateLabel = &parts->stateLabel;
    setup.infoLabel = &parts->infoLabel;
  }
  setup.programFolder = GetProgramFolder();
  setup.previewFilePath = GetThumbnailFolder() + "/_vornida_preview.png";
  CollageRunner::Shared().Configure(setup);
  return control.Services().loop;
}

}  // namespace

void InstallCollageCommands(CVRFlashCtrl& control) {
  // "MakeShape" lays out with the seed the settings name (or a fresh one);
  // "NewLayout" with a seed other than the shown layout's.
  using StartWithSettings = void (CollageRunner::*)(const std::string&, platform::EventLoop&);
  for (const auto& command : {std::pair<const char*, StartWithSettings>{"MakeShape", &CollageRunner::Start},
                              std::pair<const char*, StartWithSettings>{"NewLayout", &CollageRunner::StartNewLayout}}) {
    const StartWithSettings start = command.second;
    control.InstallCommandHandler(command.first, [start](CVRFlashCtrl& c, DecodedCall& call) {
      platform::EventLoop* loop = PrepareRun(c);
      if (loop == nullptr) return false;
      (CollageRunner::Shared().*start)(call.args[0], *loop);
      call.result = "<true/>";
      return true;
    });
  }
  for (const auto& command : {std::pair{"UndoLayout", -1}, std::pair{"RedoLayout", 1}}) {
    // A copy, not a structured binding: clang cannot capture those yet.
    const int steps = command.second;
    control.InstallCommandHandler(command.first, [steps](CVRFlashCtrl& c, DecodedCall& call) {
      platform::EventLoop* loop = PrepareRun(c);
      if (loop == nullptr) return false;
      call.result = CollageRunner::Shared().StartRecordedLayout(steps, *loop) ? "<true/>" : "<false/>";
      return true;
    });
  }
  control.InstallCommandHandler("ClearLayoutHistory", [](CVRFlashCtrl&, DecodedCall&) {
    CollageRunner::Shared().ClearHistory();
    return true;
  });
}

}  // namespace vornida
