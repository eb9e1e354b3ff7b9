#include "headless/headless_host.h"

#include <utility>

#include "app/folders.h"
#include "app/registry.h"
#include "engine/collage_run.h"
#include "headless/headless_wizard.h"
#include "host/messages.h"
#include "host/worker_threads.h"
#include "wiring/module_wiring.h"
#include "xml/xml_doc.h"

namespace vornida {

HeadlessHost::HeadlessHost(std::ostream& out, HeadlessOptions options) : HeadlessHost(&out, std::move(options)) {}

HeadlessHost::HeadlessHost(HeadlessOptions options) : HeadlessHost(nullptr, std::move(options)) {}

HeadlessHost::HeadlessHost(std::ostream* out, HeadlessOptions options)
    : options_(std::move(options)),
      log_(out != nullptr ? *out : discarded_),
      movie_([this](const std::string& request) { DispatchMovieCall(request); },
             [this](const std::string& request) { return AnswerMovieFunction(request); }),
      dialogs_(log_),
      shell_(log_),
      frame_(log_),
      canvas_(log_) {
  if (out != nullptr) AddObserver(logLines_);
  // The program's folders and stores, as start-up prepares them.
  InitThumbnailFolder("Vornida");
  InitAppDataFolder("Vornida");
  SelectRegistryStore("Vornida", "vornida");

  services_.loop = &loop_;
  services_.fileDialogs = &dialogs_;
  services_.messageBoxes = &dialogs_;
  services_.shell = &shell_;

  // The movie talks to the main window once it runs, shown maximised.
  frame_.setMaximized(true);
  control_ = std::make_unique<CVRFlashCtrl>(movie_, services_);
  control_->SetOwnerFrame(&frame_);
  mainWindow_ = std::make_unique<MainWindowParts>(control_.get(), &canvas_);
  control_->SetMainWindow(mainWindow_.get());
  SetWorkerChangeListener([this] { loop_.wake(); });
  HostModules modules;
  modules.loop = &loop_;
  modules.upgrade = HeadlessUpgradeSettings();
  modules.upgrade.makeView = HeadlessWizardViewFactory(log_, loop_);
  modules.onSave = [this](const SaveReport& report) { ReportSave(report); };
  InstallModuleCommands(*control_, modules);
}

HeadlessHost::~HeadlessHost() {
  // As at program exit: ask workers to stop and keep the loop turning, since
  // a stopping worker may still be waiting for a movie call.
  SetStopping(true);
  CollageRunner::Shared().CancelAndWait(loop_);
  while (WorkerThreadCount() > 0) loop_.iterate(true);
  SetWorkerChangeListener({});
  control_->SetMainWindow(nullptr);
  mainWindow_.reset();
  control_.reset();
  SetStopping(false);
}

std::optional<std::string> HeadlessHost::Request(const std::string& request) {
  std::optional<std::string> value = movie_.deliverFlashCall(request);
  log_.line("answer: " + (value ? *value : std::string("none")));
  return value;
}

void HeadlessHost::AddObserver(RunObserver& observer) {
  std::lock_guard lock(observersMutex_);
  observers_.push_back(&observer);
}

void HeadlessHost::RemoveObserver(RunObserver& observer) {
  std::lock_guard lock(observersMutex_);
  std::erase(observers_, &observer);
}

void HeadlessHost::DispatchMovieCall(const std::string& request) {
  DecodedCall call;
  const bool decoded = ParseInvoke(request, call);
  // One event at a time, so that every observer sees them in one order.
  std::lock_guard lock(observersMutex_);
  for (RunObserver* observer : observers_) {
    observer->onMovieCall(request);
    if (decoded) DeliverMovieCall(*observer, call);
  }
}

void HeadlessHost::ReportSave(const SaveReport& report) {
  std::lock_guard lock(observersMutex_);
  for (RunObserver* observer : observers_) observer->onSaveFinished(report);
}

bool HeadlessHost::IsIdle() const {
  return WorkerThreadCount() == 0 && control_->DelayedCallCount() == 0 && !loop_.hasPendingWork();
}

bool HeadlessHost::Wait(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!IsIdle()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    loop_.iterate(true);
  }
  return true;
}

std::optional<std::string> HeadlessHost::AnswerMovieFunction(const std::string& request) const {
  DecodedCall call;
  if (!ParseInvoke(request, call)) return std::nullopt;
  if (call.name == "getStr") {
    const std::string key = call.args.empty() ? std::string() : call.args[0];
    auto text = options_.strings.find(key);
    return StringValue(XmlEscape(text != options_.strings.end() ? text->second : key));
  }
  if (call.name == "getVerStr") return StringValue(XmlEscape(options_.movieVersion));
  return std::string();  // the movie's other functions answer nothing
}

}  // namespace vornida
