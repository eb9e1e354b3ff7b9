// Handing files, folders and web addresses to the desktop: "open" a document
// or URL with its default handler, show a file in the file manager, start an
// installer.
#pragma once

#include <string>

namespace vornida::platform {

inline constexpr int kShowNormal = 1;  // the show state passed with "open"
inline constexpr int kShowShow = 5;

class SystemShell {
 public:
  virtual ~SystemShell() = default;
  // Runs `verb` ("open") on `target` with `parameters` (e.g. "/Select, PATH"
  // for the file manager). Returns whether the desktop accepted it.
  virtual bool execute(const std::string& verb, const std::string& target, const std::string& parameters,
                       int showState) = 0;
};

}  // namespace vornida::platform
