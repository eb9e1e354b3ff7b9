// One run of the command-line collage maker over the headless host: the
// photos go through the import, the collage through "MakeShape" and the file
// through "SaveShape", exactly as the desktop movie drives them.
#pragma once

#include <ostream>
#include <string>

#include "app/folders.h"
#include "tools/vornida-collage/cli_options.h"
#include "tools/vornida-collage/run_observer.h"

namespace vornida::collage_cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct JobEnvironment {
  ProgramFile demoPhotos;  // the sample photos of --demo, or why they are missing
  std::ostream* messages = nullptr;  // errors and notes, one line each
  ProgressStyle progress = ProgressStyle::Lines;
  int terminalColumns = 80;  // width of the terminal a bar is drawn on
};

// Runs the job the command line describes and returns the exit status.
// Errors are written as one line each; nothing is left behind on failure
// (the output, preview and project files are replaced only whole).
//
// The host's folders (temporary files, settings) live in a private folder
// that is removed at the end, so runs never touch the desktop program's
// settings or thumbnails. This sets TMPDIR, XDG_DATA_HOME and
// XDG_CONFIG_HOME for the process. SIGINT, SIGTERM and SIGHUP end the run
// at once, after removing what it had begun to write (status 128 + signal).
int RunCollageJob(const CommandLine& line, const JobEnvironment& environment);

// Base64 (RFC 4648, with padding), as the movie sends picture bytes.
std::string EncodeBase64(const void* data, std::size_t size);

}  // namespace vornida::collage_cli
