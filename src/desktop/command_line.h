// The desktop program's command line:
//
//   vornida [OPTION...] [FILE...]
//
// FILEs are photos, folders of photos or one project (.vrn); they are
// imported (or the project opened) once the main movie has loaded. Options:
//
//   --movie-folder DIR  play the movies (main.html, splash.html) of DIR instead
//                       of the program folder's movie/
//   --automation        let WebKitWebDriver drive the main movie's view
//   --shell-log FILE    write what would be handed to the desktop ("open" a
//                       file or address, show a saved file) to FILE, one line
//                       each, instead of doing it (for tests)
//   --update-url URL    the manifest URL list of the upgrade check
//   --timing-log FILE   write when the splash and the main window were first
//                       shown, every late turn of the main loop and every
//                       preview frame to FILE (desktop/timing_log.h)
//   --load-timeout SEC  give up when the main movie has not reported that it
//                       loaded SEC seconds after its page arrived (default 60)
//   --help, --version
//
// "--" ends the options; a lone "-" and anything else starting with "-" is
// an unknown option.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "upgrade/update_signature.h"

namespace vornida {

struct DesktopOptions {
  std::string movieFolder;  // empty: the program folder's movie/
  bool automation = false;
  std::string shellLog;
  std::string timingLog;
  std::string updateUrls;   // empty: the built-in list
  int loadTimeoutSeconds = 60;
  std::vector<std::string> files;
  // Set only by the tests' copy of the program (vornida-testkey): the key
  // update manifests must be signed with instead of ours. No option sets it.
  std::optional<UpdateKey> trustedUpdateKey;
};

struct DesktopCommandLine {
  enum class Action { Run, ShowHelp, ShowVersion, Fail } action = Action::Run;
  DesktopOptions options;
  std::string error;  // for Fail: one line naming what was wrong
};

DesktopCommandLine ParseDesktopCommandLine(const std::vector<std::string>& args);

// The --help text.
std::string DesktopUsage();

}  // namespace vornida
