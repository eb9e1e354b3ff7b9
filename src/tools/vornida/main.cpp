// vornida: the desktop program (see desktop/vornida_app.h and
// desktop/command_line.h). The key that update manifests must be signed with
// cannot be changed here: a copy built for the tests (vornida-testkey) has
// the test key compiled in instead of ours.
#include <cstdio>
#include <string>
#include <vector>

#include "desktop/command_line.h"
#include "desktop/vornida_app.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const vornida::DesktopCommandLine line = vornida::ParseDesktopCommandLine(args);
  switch (line.action) {
    case vornida::DesktopCommandLine::Action::ShowHelp:
      std::fputs(vornida::DesktopUsage().c_str(), stdout);
      return 0;
    case vornida::DesktopCommandLine::Action::ShowVersion:
      std::printf("vornida %s\n", VORNIDA_VERSION);
      return 0;
    case vornida::DesktopCommandLine::Action::Fail:
      std::fprintf(stderr, "vornida: %s\nTry 'vornida --help'.\n", line.error.c_str());
      return 2;
    case vornida::DesktopCommandLine::Action::Run: break;
  }
  vornida::DesktopOptions options = line.options;
#ifdef VORNIDA_TEST_UPDATE_KEY
  vornida::UpdateKey testKey{};
  if (!vornida::ParseUpdateKeyHex(VORNIDA_TEST_UPDATE_KEY, testKey)) {
    std::fputs("vornida: the test key is malformed\n", stderr);
    return 2;
  }
  options.trustedUpdateKey = testKey;
#endif
  vornida::CVornidaApp app;
  return app.Run(options);
}
