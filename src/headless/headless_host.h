// The whole native side without a display: the main movie's control with its
// dispatch chain and every module wired in, over an in-memory movie, scripted
// dialogs and message boxes, a recorded shell, frame and canvas, and a loop
// turned by hand. What the native side tells the movie reaches the host's
// observers as typed events (RunObserver). Everything the native side shows
// or asks is written to an event log, one line per event, when the host has
// one:
//
//   call: REQUEST                          a movie function the native side called
//   answer: VALUE | answer: none           the value set for a request of the movie
//   dialog: open|save title=... folder=... filter=...
//   msgbox: style=N caption=... text=...
//   shell: VERB TARGET [PARAMETERS]
//   window: syscommand 0xHEX | window: sysmenu X Y | window: message N
//   canvas: move X Y W H | canvas: show | canvas: hide | canvas: draw W H
//
// The movie's side answers getStr from its string table (the key itself for
// a key it does not hold), getVerStr with its version, and every other
// function with nothing. The folders come from TMPDIR, XDG_DATA_HOME and
// XDG_CONFIG_HOME, so that runs can be kept apart.
//
// vornida-headless plays scripts against it (RunScript); the command-line
// collage maker and the end-to-end tests drive it directly.
#pragma once

#include <chrono>
#include <cstdint>
#include <istream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/version.h"
#include "commands/vr_flash_ctrl.h"
#include "headless/run_observer.h"
#include "host/main_window_parts.h"
#include "platform/headless/headless_platform.h"
#include "platform/headless/manual_event_loop.h"

namespace vornida {

struct HeadlessOptions {
  std::map<std::string, std::string> strings;  // the movie's text table
  std::string movieVersion{kVornidaVersion};  // the movie's getVerStr answer
};

class HeadlessHost {
 public:
  // Prepares the program's folders and settings stores, then builds the
  // control with every module's commands installed. Events go to `out`.
  HeadlessHost(std::ostream& out, HeadlessOptions options);
  // The same without an event log: only observers hear of the run.
  explicit HeadlessHost(HeadlessOptions options);
  // Lets running workers finish (keeping the loop turning) before the
  // control goes.
  ~HeadlessHost();
  HeadlessHost(const HeadlessHost&) = delete;
  HeadlessHost& operator=(const HeadlessHost&) = delete;

  // Delivers one request text from the movie, logs "answer: ..." and gives
  // the value set, or nullopt when none was.
  std::optional<std::string> Request(const std::string& request);

  // What the simulated user answers to the next dialog, message box, menu.
  void PrepareFileDialog(std::optional<std::vector<std::string>> paths) { dialogs_.prepareFileDialog(std::move(paths)); }
  void PrepareMessageBox(int button) { dialogs_.prepareMessageBox(button); }
  void PrepareMenu(std::uint32_t command) { frame_.prepareMenu(command); }

  // Turns the loop until no worker is registered, no delayed call is queued
  // and nothing is pending. False when that did not happen within `limit`.
  bool Wait(std::chrono::milliseconds limit);
  // True when Wait would return at once.
  bool IsIdle() const;

  // From now on `observer` hears the run's events; it must be removed
  // before it goes, or outlive the host.
  void AddObserver(RunObserver& observer);
  void RemoveObserver(RunObserver& observer);
  // How a save ended, for the observers (the save flow's listener).
  void ReportSave(const SaveReport& report);

  CVRFlashCtrl& Control() { return *control_; }
  platform::ManualEventLoop& Loop() { return loop_; }
  platform::EventLog& Log() { return log_; }
  platform::HeadlessCanvas& Canvas() { return canvas_; }
  platform::HeadlessFrame& Frame() { return frame_; }
  platform::HeadlessMovie& Movie() { return movie_; }
  MainWindowParts& MainWindow() { return *mainWindow_; }
  CanvasPlacement& Placement() { return mainWindow_->placement; }
  const platform::Services& Services() const { return services_; }

 private:
  HeadlessHost(std::ostream* out, HeadlessOptions options);
  std::optional<std::string> AnswerMovieFunction(const std::string& request) const;
  void DispatchMovieCall(const std::string& request);

  // The event log as an observer: one "call: ..." line per movie call.
  class LogLines final : public RunObserver {
   public:
    explicit LogLines(platform::EventLog& log) : log_(log) {}
    void onMovieCall(const std::string& request) override { log_.line("call: " + request); }

   private:
    platform::EventLog& log_;
  };

  HeadlessOptions options_;
  platform::ManualEventLoop loop_;
  std::ostream discarded_{nullptr};  // the event log of a host without one
  platform::EventLog log_;
  LogLines logLines_{log_};
  std::mutex observersMutex_;
  std::vector<RunObserver*> observers_;
  platform::HeadlessMovie movie_;
  platform::ScriptedDialogs dialogs_;
  platform::RecordingShell shell_;
  platform::HeadlessFrame frame_;
  platform::HeadlessCanvas canvas_;
  platform::Services services_;
  std::unique_ptr<CVRFlashCtrl> control_;
  std::unique_ptr<MainWindowParts> mainWindow_;
};

// Reads a string table: a JSON object of key to text. nullopt when the text
// is not such an object.
std::optional<std::map<std::string, std::string>> ParseStringTable(const std::string& json);

// Exit statuses of RunScript.
inline constexpr int kScriptDone = 0;
inline constexpr int kScriptUnreadableLine = 2;
inline constexpr int kScriptWaitGaveUp = 3;

// Plays a movie script against the host, a directive per line (blank lines
// and lines starting with '#' are skipped):
//   <invoke ...>         a request of the movie, delivered as a FlashCall
//   dialog [P1|P2...]    answer to the next file dialog (alone: Cancel)
//   msgbox N             button id that closes the next message box
//   menu N               command chosen in the next system menu
//   wizard P1,P2...      presses for the upgrade wizard: next, finish, cancel
//   wait                 turn the loop until idle (gives up after `waitLimit`)
// A line it cannot read stops the script with its number on `errors`.
int RunScript(HeadlessHost& host, std::istream& script, std::ostream& errors,
              std::chrono::milliseconds waitLimit = std::chrono::seconds(600));

}  // namespace vornida
