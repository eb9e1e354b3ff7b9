// vornida-headless [--strings FILE] [--movie-version TEXT] [--seed N] [SCRIPT]
//                  [--update-url URL] [--update-ca FILE] [--update-speed-floor BYTES]
//                  [--update-speed-window SECONDS] [--update-redirect-limit SECONDS]
//
// Plays the movie's part from a script (or standard input) against the real
// native side and prints every event, a line each. See headless/headless_host.h.
//
// The update options point the upgrade wizard at another server (tests use a
// local one), name the authorities its https certificate is checked against,
// and set the speed floor with its window and the time a redirect chain may
// take. The key that update manifests must be signed with cannot be changed
// here: a copy of this program built for the tests (vornida-headless-testkey)
// has the test key compiled in instead of ours.
#include <charconv>
#include <chrono>
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
            << "usage: vornida-headless [--strings FILE] [--movie-version TEXT] [--seed N] [SCRIPT]\n"
               "         [--update-url URL] [--update-ca FILE] [--update-speed-floor BYTES]\n"
               "         [--update-speed-window SECONDS] [--update-redirect-limit SECONDS]\n";
  return kUsageError;
}

// A whole number of bytes per second.
bool ReadCount(const std::string& text, std::uint32_t& out) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
  return error == std::errc() && end == text.data() + text.size();
}

// Seconds, possibly with a fraction ("0.5"), between 0.01 and a day.
bool ReadSeconds(const std::string& text, std::chrono::milliseconds& out) {
  double seconds = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (error != std::errc() || end != text.data() + text.size() || !(seconds >= 0.01 && seconds <= 86400))
    return false;
  out = std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
  return true;
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
#ifdef VORNIDA_TEST_UPDATE_KEY
  // The test copy only: manifests signed with the test key are trusted.
  vornida::UpdateKey testKey{};
  if (!vornida::ParseUpdateKeyHex(VORNIDA_TEST_UPDATE_KEY, testKey)) return Usage("the test key is malformed");
  vornida::SetHeadlessUpdateKey(testKey);
#endif
  vornida::HeadlessOptions options;
  vornida::TransferLimits limits;
  std::string scriptPath;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--update-ca" || arg == "--update-speed-floor" || arg == "--update-speed-window" ||
        arg == "--update-redirect-limit") {
      if (i + 1 >= argc) return Usage(arg + " needs a value");
      const std::string value = argv[++i];
      if (arg == "--update-ca") {
        vornida::SetHeadlessUpdateCaFile(value);
      } else if (arg == "--update-speed-floor") {
        if (!ReadCount(value, limits.speedFloor)) return Usage(arg + " needs a whole number of bytes per second");
      } else if (!ReadSeconds(value, arg == "--update-speed-window" ? limits.speedWindow
                                                                     : limits.redirectChainLimit)) {
        return Usage(arg + " needs seconds between 0.01 and 86400");
      }
      continue;
    }
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

  vornida::SetHeadlessTransferLimits(limits);
  vornida::HeadlessHost host(std::cout, std::move(options));
  return vornida::RunScript(host, script, std::cerr);
}
