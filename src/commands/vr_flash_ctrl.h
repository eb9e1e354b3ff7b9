// CVRFlashCtrl: the main movie's control and the table of the application's
// commands.
//
// Every command the movie may call is recognised here with the number of
// arguments it needs (fewer, and the call is not handled). Names it does not
// know go on to the window commands and the built-ins of its base classes.
// The commands whose work is small live here; the others belong to the
// modules that own the work and reach the table through InstallCommandHandler:
//
//   "MakeShape" (1)         layout run            "SaveShape" (2)  image export
//   "SaveProject" (2)       projects              "OpenProject"    projects
//   "OpenAddPhotosDlg"      photo library         "RemovePhoto" (1) photo library
//   "CheckUpdate"           upgrade wizard        "LoadComplete"   main window hand-over
//   "SwapPhotos" (2)        photo library
//   "NewLayout" (1)         layout run: the parameter text again with a new seed
//   "UndoLayout"            layout run: the layout before the shown one again
//   "RedoLayout"            layout run: the layout after the shown one again
//   "ClearLayoutHistory"    layout run: forgets the layouts of the session
//
// "UndoLayout" and "RedoLayout" answer <true/> when they start a run and
// <false/> when there is no layout that way; "NewLayout" answers as
// "MakeShape" does. After every finished layout the run tells the movie
// `notify` "layoutSeed" (its seed, decimal), "canUndoLayout" and
// "canRedoLayout" ("1" or "0"); a layout made again from the history also
// `notify` "layoutRestored" with its parameter text (escaped for XML), so
// the movie can show the settings it was made with. "ClearLayoutHistory"
// tells "canUndoLayout" and "canRedoLayout" "0".
//
// Until a module installs its handler such a command is recognised but not
// handled: the movie gets no value ("LoadComplete" is handled and does
// nothing more). A handler runs on the UI thread after the argument count has
// been checked, may put one value element into call.result, and returns
// whether it handled the call. Long work starts a worker and answers at once.
//
// A module joins like this (both hosts call such installers through
// wiring/module_wiring.h):
//
//   void InstallPhotoCommands(CVRFlashCtrl& control) {
//     control.InstallCommandHandler("RemovePhoto", [](CVRFlashCtrl& c, DecodedCall& call) {
//       RemovePhotoByPath(call.args[0]);      // args[0] exists: the count was checked
//       return true;                          // handled, no answer
//     });
//   }
//
// What a handler may use: c.Services() (loop, file dialogs, message boxes,
// shell), c.OwnerFrame(), c.MainWindow() (canvas placement, progress bar,
// labels, picture box), c.Settings(), c.CurrentProjectPath(), and the movie
// calls of host/movie_calls.h, which work from worker threads too.
//
// Exactly one CVRFlashCtrl exists at a time; its constructor makes it
// MainMovieCtrl (host/movie_calls.h). The settings folders (app/folders.h)
// must be initialised before it is constructed.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "app/profile.h"
#include "base/version.h"
#include "host/canvas_area.h"
#include "host/main_window_parts.h"
#include "host/flash_ctrl.h"

namespace vornida {

class CVRFlashCtrl;

using MovieCommandHandler = std::function<bool(CVRFlashCtrl& control, DecodedCall& call)>;
using TimerHandler = std::function<void(CVRFlashCtrl& control)>;

class CVRFlashCtrl : public CAppFlashCtrlBase {
 public:
  // The "GetVerText" answer: the program's version.
  static constexpr std::string_view kVersionText = kVornidaVersion;
  // Timers the main window's hand-over starts (see InstallTimerHandler).
  static constexpr std::uint32_t kAfterLoadTimer = 1006;
  static constexpr std::uint32_t kSilentUpdateTimer = 1007;

  CVRFlashCtrl(platform::MovieTransport& transport, const platform::Services& services);
  ~CVRFlashCtrl() override;

  bool DispatchCall(DecodedCall& call) override;
  // Runs the installed handler of the timer, then the base behaviour (which
  // stops one-shot timers, so a handler cannot restart its own id).
  void OnTimerTick(std::uint32_t id) override;
  // Runs the installed "LoadComplete" handler, if any.
  void OnMovieLoaded() override;

  // --- Where other modules plug in (UI thread) ---

  // True for the names listed above, whose work lives in other modules.
  static bool IsPluggableCommand(std::string_view name);
  // Installs (or, with an empty handler, removes) the work of a pluggable
  // command; false for any other name. A later install replaces an earlier.
  bool InstallCommandHandler(std::string_view name, MovieCommandHandler handler);
  bool HasCommandHandler(std::string_view name) const;
  // Work to do when timer `id` of this control fires (start it with SetTimer).
  void InstallTimerHandler(std::uint32_t id, TimerHandler handler);

  // --- State the commands share with the main window and the modules ---

  // The main window's canvas and proxies; null until the main window
  // attaches them (until then "UpdateVornidaCanvasPos" answers false).
  void SetMainWindow(MainWindowParts* parts) { mainWindow_ = parts; }
  MainWindowParts* MainWindow() const { return mainWindow_; }
  CanvasPlacement* Canvas() const { return mainWindow_ != nullptr ? &mainWindow_->placement : nullptr; }

  // The project file last saved or opened; emptied by "NewProject".
  const std::string& CurrentProjectPath() const { return currentProjectPath_; }
  void SetCurrentProjectPath(std::string path) { currentProjectPath_ = std::move(path); }

  // Setting.ini in the data folder, default section "Main".
  CProfile& Settings() { return settings_; }
  const std::string& VersionText() const { return versionText_; }

 private:
  struct Command;
  static const Command* FindCommand(std::string_view name);

  bool UpdateCanvasPos(DecodedCall& call);
  bool BrowsePicture(std::string_view recentKey, std::string_view movieFunction);
  bool SetTextShape(DecodedCall& call);
  bool ReadSetting(DecodedCall& call, bool registry);
  bool WriteSetting(DecodedCall& call, bool registry);

  std::string currentProjectPath_;
  CProfile settings_;
  std::string versionText_;
  MainWindowParts* mainWindow_ = nullptr;
  std::map<std::string, MovieCommandHandler, std::less<>> handlers_;
  std::map<std::uint32_t, TimerHandler> timerHandlers_;
};

// Decodes Base64 text the way the movie's picture texts are read: the
// standard alphabet with '+' and '/'; blanks, tabs and line breaks are
// skipped; any other character outside the alphabet counts as 0; decoding
// stops at the first '=' or at the end of the text.
std::string DecodeMovieBase64(std::string_view text);

// Where "SetTextShape" writes its picture: TextShape.png in the program's
// temporary folder.
std::string TextShapePath();

}  // namespace vornida
