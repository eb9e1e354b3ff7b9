// CVornidaApp: the desktop program from start to exit.
//
// Start-up, in order: the display and the web engine (a web view that
// cannot be made gives a message box and status 1), the movie files (a
// missing one is named in a message box, status 1), the temporary and data
// folders, the settings store, the splash window playing splash.html, the
// hidden main window whose movie loads main.html inside the splash. On the
// main movie's "LoadComplete" the movie moves into the main window, which
// shows maximised; the silent update check's timers start and the files of
// the command line are opened.
//
// Exit, when the main window closes (its commands, the window manager,
// SIGTERM, SIGINT, SIGHUP): the window hides at once, a running layout is
// cancelled, the workers are told to stop and waited for with the loop
// turning, the windows and photos are released and the temporary folder is
// emptied. A movie that fails to load, or whose page process ends, is named
// in a message box and the program ends with status 1.
#pragma once

#include <memory>
#include <string>

#include "desktop/command_line.h"

namespace vornida {

class CMainFrame;
class CSplashScreenDlg;
class TimingLog;
struct DesktopContext;

class CVornidaApp {
 public:
  CVornidaApp();
  ~CVornidaApp();

  // Runs the program; returns its exit status.
  int Run(const DesktopOptions& options);

 private:
  bool InitInstance(const DesktopOptions& options);
  int ExitInstance();
  void OnMainMovieLoaded();
  void RequestExit();
  // Tells the user that a movie could not be shown and ends the program.
  void FailStartup(const std::string& file, const std::string& reason);

  std::unique_ptr<DesktopContext> context_;
  std::unique_ptr<CSplashScreenDlg> splash_;
  std::unique_ptr<CMainFrame> mainWindow_;
  std::unique_ptr<TimingLog> timing_;
  int exitStatus_ = 0;
  unsigned loadWatch_ = 0;
};

// The message box of a missing or failed movie file.
std::string MovieFailureText(const std::string& file, const std::string& reason);

}  // namespace vornida
