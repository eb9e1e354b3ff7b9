// vornida-headless [--strings FILE] [--movie-version TEXT] [--update-url URL] [--seed N] [SCRIPT]
//
// Plays the movie's part from a script (or standard input) against the real
// native side and prints every event, a line each. See headless/headless_host.h.
#include <charconv>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "engine/collage_run.h"
#include "headless/headless_host.h"
#include "headless/headless_wizard.h"

namespace {

constexpr int kUsageError = 1;

int Usage(const std::string& problem) {
  std::cerr << "vornida-headless: " << problem << "\n"
            << "usage: vornida-headless [--strings FILE] [--movie-version TEXT] [--update-url URL] [--seed N] [SCRIPT]\n";
  return kUsageError;
}

bool ReadWholeFile(const std::string& path, std::string& text) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream bytes;
  bytes << file.rdbuf();
  text = bytes.str();
  return !file.bad();
}

}  // namespace

int main(int argc, char** argv) {
  vornida::HeadlessOptions options;
  std::string scriptPath;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--strings" || arg == "--movie-version" || arg == "--update-url" || arg == "--seed") {
      if (i + 1 >= argc) return Usage(arg + " needs a value");
      const std::string value = argv[++i];
      if (arg == "--seed") {
        // Makes every layout of the run reproducible (otherwise each is
        // seeded with the time in seconds).
        std::uint32_t seed = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seed);
        if (error != std::errc() || end != value.data() + value.size()) return Usage("--seed needs a whole number");
        vornida::CollageRunner::Shared().SetSeed(seed);
        continue;
      }
      if (arg == "--update-url") {
        // Replaces the built-in manifest URL list (tests point it at a local server).
        vornida::SetHeadlessUpdateUrl(value);
        continue;
      }
      if (arg == "--movie-version") {
        options.movieVersion = value;
        continue;
      }
      std::string json;
      if (!ReadWholeFile(value, json)) return Usage("cannot read the string table " + value);
      auto table = vornida::ParseStringTable(json);
      if (!table) return Usage(value + " is not a JSON object of key to text");
      options.strings = std::move(*table);
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage("unknown option " + arg);
    } else if (scriptPath.empty()) {
      scriptPath = arg;
    } else {
      return Usage("more than one script");
    }
  }

  std::ifstream scriptFile;
  if (!scriptPath.empty()) {
    scriptFile.open(scriptPath);
    if (!scriptFile) return Usage("cannot open the script " + scriptPath);
  }
  std::istream& script = scriptPath.empty() ? std::cin : scriptFile;

  vornida::HeadlessHost host(std::cout, std::move(options));
  return vornida::RunScript(host, script, std::cerr);
}
