// "SaveShape": the save dialog and the save worker.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "app/paths.h"
#include "app/registry.h"
#include "base/text.h"
#include "commands/vr_flash_ctrl.h"
#include "engine/collage_run.h"
#include "host/messages.h"
#include "host/movie_calls.h"
#include "host/ui_proxies.h"
#include "host/worker_threads.h"
#include "output/output_checks.h"
#include "output/save_collage.h"
#include "platform/dialogs.h"
#include "platform/event_loop.h"
#include "platform/system_codes.h"

namespace vornida {

namespace {

// The collage's reporting interfaces over the movie's progress bar and state
// text.
class ProgressBarSink final : public ProgressSink {
 public:
  explicit ProgressBarSink(MProgressBar& bar) : bar_(bar) {}
  void SetPos(int32_t pos) override { bar_.SetPos(pos); }
  void SetMax(int32_t max) override { bar_.SetMax(max); }
  int32_t GetMax() const override { return bar_.GetMax(); }

 private:
  MProgressBar& bar_;
};

class LabelSink final : public TextSink {
 public:
  explicit LabelSink(MLabel& label) : label_(label) {}
  void SetText(const std::string& text) override { label_.SetText(text); }

 private:
  MLabel& label_;
};

// The movie's progress bar and state text, made once per control; they
// outlive every save.
struct SaveProxies {
  explicit SaveProxies(CVRFlashCtrl& control) : progress(&control), state(&control, "setStateText") {}
  VRNProgressBar progress;
  VRNLabel state;
};

// One save at a time; the command waits for a running one to end.
struct SaveState {
  std::mutex mutex;
  std::condition_variable changed;
  bool running = false;
  bool registered = false;
  std::shared_ptr<CCollage> saving;  // the collage being written
};

SaveState& Saves() {
  static SaveState state;
  return state;
}

struct SaveJob {
  std::shared_ptr<CCollage> collage;  // null when there was no finished layout
  std::string path;
  int32_t psdFlag = 0;
  SaveOptions options;
};

// Where "SaveShape" sends what the user must know, and who else listens.
struct SaveReporting {
  platform::MessageBoxes* messageBoxes = nullptr;
  SaveListener listener;
};

// A failed or refused save says why in a message box as well as in the state
// text, which is easy to miss. Shown on the UI thread.
void ShowSaveProblem(platform::MessageBoxes* boxes, const std::string& text) {
  if (boxes == nullptr) return;
  platform::MessageBoxRequest request;
  request.text = text;
  request.caption = GetText("Error");
  request.style = platform::kMbOk | platform::kMbIconError;
  boxes->showMessageBox(request);
}

// Waits, turning the loop so that the workers' movie calls are answered,
// until neither a layout run nor a save is going.
void WaitForQuiet(platform::EventLoop& loop) {
  CollageRunner& runner = CollageRunner::Shared();
  while (runner.Running() || SaveRunning()) loop.iterate(true);
}

// The collage of the last layout, when it finished and no run is going. The
// save needs it writable (the renderer reports progress and the photos that
// failed), and no run ever touches a finished collage again: each run builds
// a new one.
std::shared_ptr<CCollage> FinishedCollage() {
  CollageRunner& runner = CollageRunner::Shared();
  std::shared_ptr<const CCollage> finished = runner.CurrentFinishedCollage();
  std::shared_ptr<CCollage> current = runner.CurrentCollage();
  if (!finished || finished.get() != current.get()) return nullptr;
  return current;
}

void RunSave(const SaveJob& job, std::shared_ptr<SaveProxies> proxies, const SaveReporting& reporting,
             platform::SystemShell* shell, platform::EventLoop* loop) {
  SaveState& state = Saves();
  RegisterWorkerThread();
  {
    std::lock_guard<std::mutex> hold(state.mutex);
    state.registered = true;
  }
  state.changed.notify_all();

  NotifyMovie("saving", "1");
  SaveReport report;
  report.path = job.path;
  if (job.collage) {
    CCollage& collage = *job.collage;
    ProgressBarSink progress(proxies->progress);
    LabelSink stateText(proxies->state);
    collage.progressSink = &progress;
    collage.stateSink = &stateText;
    if (!collage.getText) collage.getText = [](const std::string& key) { return GetText(key); };
    report = saveCollage(collage, job.path, job.psdFlag, job.options);
    collage.progressSink = nullptr;
    collage.stateSink = nullptr;
    // The desktop's shell and message boxes belong to the UI thread.
    if (report.outcome == SaveOutcome::Saved && shell != nullptr) {
      const std::string path = job.path;
      loop->post([shell, path]() { shell->execute("open", "Explorer", "/Select, " + path, platform::kShowNormal); });
    } else if (report.outcome == SaveOutcome::Failed) {
      const std::string text = SaveFlowText(collage.getText, "Save_Failed") + ": " + report.status.reason();
      loop->post([boxes = reporting.messageBoxes, text]() { ShowSaveProblem(boxes, text); });
    }
  }
  NotifyMovie("saving", "0");
  if (reporting.listener) reporting.listener(report);
  {
    std::lock_guard<std::mutex> hold(state.mutex);
    state.running = false;
    state.saving.reset();
  }
  state.changed.notify_all();
  loop->post([]() {});  // wakes a UI loop that waits for this save
  UnregisterWorkerThread();
}

void StartSave(SaveJob job, std::shared_ptr<SaveProxies> proxies, const SaveReporting& reporting,
               platform::SystemShell* shell, platform::EventLoop& loop) {
  SaveState& state = Saves();
  {
    std::lock_guard<std::mutex> hold(state.mutex);
    state.running = true;
    state.registered = false;
    state.saving = job.collage;
  }
  std::thread worker([job = std::move(job), proxies = std::move(proxies), reporting, shell, loop = &loop]() {
    RunSave(job, proxies, reporting, shell, loop);
  });
  worker.detach();
  // Answer only once the worker is registered, so that a wait for the
  // workers (exit, the headless "wait") cannot miss it.
  std::unique_lock<std::mutex> hold(state.mutex);
  state.changed.wait(hold, [&] { return state.registered; });
}

}  // namespace

bool SaveRunning() {
  SaveState& state = Saves();
  std::lock_guard<std::mutex> hold(state.mutex);
  return state.running;
}

void CancelSave() {
  SaveState& state = Saves();
  std::lock_guard<std::mutex> hold(state.mutex);
  if (state.running && state.saving) state.saving->cancel = true;
}

void InstallSaveCommands(CVRFlashCtrl& control, platform::EventLoop& loop, SaveListener listener) {
  auto proxies = std::make_shared<SaveProxies>(control);
  control.InstallCommandHandler("SaveShape", [proxies, &loop, listener](CVRFlashCtrl& ctrl, DecodedCall& call) {
    const int32_t psdFlag = ParseMovieInt(call.args.at(1));
    platform::FileDialogs* dialogs = ctrl.Services().fileDialogs;
    if (dialogs == nullptr) {
      call.result = BoolValue(false);
      return true;
    }
    // A layout still drawing or a save still writing ends first.
    WaitForQuiet(loop);

    platform::FileDialogRequest request;
    request.mode = platform::FileDialogMode::Save;
    request.flags = platform::kOfnHideReadOnly | platform::kOfnOverwritePrompt;
    const std::string fileText = GetText("File");
    request.filter = SaveShapeFilter(psdFlag != 0, fileText, GetText("AllFiles"));
    request.initialFolder = GetRecent(kRecentSaveShape);
    request.title = GetText("Save_Shape");
    const platform::FileDialogResult chosen = dialogs->showFileDialog(request);
    if (!chosen.accepted || chosen.paths.empty()) {
      call.result = BoolValue(false);
      return true;
    }
    SaveJob job;
    job.path = chosen.paths.front();
    job.psdFlag = psdFlag;
    job.options.jpegQuality = JpegQualityFromParameters(call.args.at(0));
    SetRecent(kRecentSaveShape, GetFolderPart(job.path));

    // The movie may have started a layout while the dialog was open.
    WaitForQuiet(loop);
    job.collage = FinishedCollage();
    SaveReporting reporting{ctrl.Services().messageBoxes, listener};

    // Replacing one of the collage's own pictures would destroy it: refused
    // here, before the save starts, with nothing written.
    if (job.collage) {
      const std::string input = InputAtOutput(job.path, CollageInputFiles(*job.collage));
      if (!input.empty()) {
        SaveReport refused;
        refused.outcome = SaveOutcome::Failed;
        refused.path = job.path;
        refused.status = OutputIsInput(input, [](const std::string& key) { return GetText(key); });
        ShowSaveProblem(reporting.messageBoxes, refused.status.reason());
        if (listener) listener(refused);
        call.result = BoolValue(false);
        return true;
      }
    }
    StartSave(std::move(job), proxies, reporting, ctrl.Services().shell, loop);
    call.result = BoolValue(true);
    return true;
  });
}

}  // namespace vornida
