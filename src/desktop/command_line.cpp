#include "desktop/command_line.h"

#include <cstdlib>

namespace vornida {

namespace {

DesktopCommandLine Failure(std::string error) {
  DesktopCommandLine line;
  line.action = DesktopCommandLine::Action::Fail;
  line.error = std::move(error);
  return line;
}

}  // namespace

DesktopCommandLine ParseDesktopCommandLine(const std::vector<std::string>& args) {
  DesktopCommandLine line;
  DesktopOptions& options = line.options;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-') {
      options.files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      line.action = DesktopCommandLine::Action::ShowHelp;
      return line;
    }
    if (arg == "--version") {
      line.action = DesktopCommandLine::Action::ShowVersion;
      return line;
    }
    if (arg == "--automation") {
      options.automation = true;
      continue;
    }
    // Options with a value, as "--name VALUE" or "--name=VALUE".
    std::string name = arg;
    std::string value;
    bool hasValue = false;
    if (const std::size_t equals = arg.find('='); equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
      hasValue = true;
    }
    const bool known = name == "--movie-folder" || name == "--shell-log" || name == "--update-url" || name == "--timing-log" ||
                       name == "--load-timeout";
    if (!known) return Failure("unknown option " + arg);
    if (!hasValue) {
      if (i + 1 >= args.size()) return Failure(name + " needs a value");
      value = args[++i];
    }
    if (value.empty()) return Failure(name + " needs a value");
    if (name == "--movie-folder") {
      options.movieFolder = value;
    } else if (name == "--shell-log") {
      options.shellLog = value;
    } else if (name == "--timing-log") {
      options.timingLog = value;
    } else if (name == "--update-url") {
      options.updateUrls = value;
    } else {
      char* end = nullptr;
      const long seconds = std::strtol(value.c_str(), &end, 10);
      if (end == value.c_str() || *end != '\0' || seconds < 1 || seconds > 3600)
        return Failure("--load-timeout takes seconds from 1 to 3600, not " + value);
      options.loadTimeoutSeconds = static_cast<int>(seconds);
    }
  }
  return line;
}

std::string DesktopUsage() {
  return "Usage: vornida [OPTION...] [FILE...]\n"
         "Makes photo collages: photos fill a shape (the canvas, a disc, a picture's\n"
         "silhouette or a line of text). FILEs are photos, folders of photos or one\n"
         "project (.vrn) to open once the window is up.\n"
         "\n"
         "  --movie-folder DIR  show the user interface pages of DIR\n"
         "  --automation        allow WebKitWebDriver to drive the window\n"
         "  --shell-log FILE    record files and addresses the program would open\n"
         "                      in FILE instead of opening them\n"
         "  --update-url URL    look for updates at URL (several separated by ';')\n"
         "  --timing-log FILE   record start-up times, main-loop stalls and preview\n"
         "                      frames in FILE (for the benchmarks)\n"
         "  --load-timeout SEC  give up when the interface has not started after SEC\n"
         "                      seconds (default 60)\n"
         "  --help              show this help\n"
         "  --version           show the version\n";
}

}  // namespace vornida
