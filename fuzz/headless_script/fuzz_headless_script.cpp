// Plays arbitrary movie scripts against the headless host: the script reader,
// request decoding and every command of the dispatch chain get outside input.
// The first byte chooses between a script and a string table.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>

#include "headless/headless_host.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/vornida-fuzz-XXXXXX";
  const std::string root = mkdtemp(pattern);
  for (const char* name : {"TMPDIR", "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
    std::filesystem::create_directories(root + "/" + name);
    setenv(name, (root + "/" + name).c_str(), 1);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] == '{') {
    vornida::ParseStringTable(text);
    return 0;
  }
  std::ostringstream out, errors;
  vornida::HeadlessHost host(out, {});
  std::istringstream script(text);
  vornida::RunScript(host, script, errors, std::chrono::milliseconds(200));
  return 0;
}
