// vornida-collage: makes a photo collage from the command line. See --help.
#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "base/version.h"
#include "tools/vornida-collage/cli_options.h"
#include "tools/vornida-collage/collage_job.h"

int main(int argc, char** argv) {
  using namespace vornida::collage_cli;
  // A reader that goes away (`| head -1`) must not end the run half way:
  // writes to it fail quietly and the collage is still made and tidied up.
  std::signal(SIGPIPE, SIG_IGN);
  const std::vector<std::string> args(argv + 1, argv + argc);
  const ParseOutcome parsed = ParseCommandLine(args);
  if (!parsed.ok) {
    std::cerr << "vornida-collage: " << parsed.error << "\n";
    return kExitUsage;
  }
  if (parsed.line.help) {
    std::cout << UsageText();
    return kExitDone;
  }
  if (parsed.line.version) {
    std::cout << "vornida-collage " << vornida::kVornidaVersion << "\n";
    return kExitDone;
  }
  JobEnvironment environment;
  environment.demoPhotos = vornida::FindProgramFile("demo-photos");
  environment.messages = &std::cerr;
  environment.progress = ::isatty(STDERR_FILENO) ? ProgressStyle::Bar : ProgressStyle::Lines;
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) environment.terminalColumns = size.ws_col;
  return RunCollageJob(parsed.line, environment);
}
