// Handing files and addresses to the desktop through GIO.
//
//   "open" URL or file           the default handler of its type
//   "open" "Explorer" "/Select, PATH"
//                                the file manager with PATH selected
//                                (org.freedesktop.FileManager1.ShowItems over
//                                D-Bus), or PATH's folder when no file manager
//                                answers
//
// With a record file set (vornida --shell-log FILE, for tests), every request
// is written to it as one line "VERB TARGET [PARAMETERS]" and nothing is
// started.
#pragma once

#include <string>

#include "platform/shell.h"

namespace vornida::platform {

class GtkShell final : public SystemShell {
 public:
  explicit GtkShell(std::string recordFile = {}) : recordFile_(std::move(recordFile)) {}

  bool execute(const std::string& verb, const std::string& target, const std::string& parameters,
               int showState) override;

 private:
  std::string recordFile_;
};

// "/Select, PATH" (the parameters of the file manager request) gives PATH;
// anything else gives "".
std::string SelectedPathOf(const std::string& parameters);

}  // namespace vornida::platform
