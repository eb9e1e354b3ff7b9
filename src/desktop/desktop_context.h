// What the desktop program's windows share: the loop, the web engine, the
// dialogs, the shell, and the service bundle the core reaches them through.
#pragma once

#include <gtk/gtk.h>

#include <memory>

#include "desktop/command_line.h"
#include "platform/gtk/gtk_dialogs.h"
#include "platform/gtk/gtk_event_loop.h"
#include "platform/gtk/gtk_shell.h"
#include "platform/gtk/web_movie.h"
#include "platform/services.h"

namespace vornida {

struct DesktopContext {
  DesktopContext(const DesktopOptions& options, const std::string& movieFolder);

  DesktopOptions options;
  std::string movieFolder;
  std::string languageTag;  // the movie's text table, from the locale
  platform::GtkEventLoop loop;
  platform::WebEngine engine;
  platform::GtkShell shell;
  // Dialogs belong to whichever window is the program's main window now.
  GtkWindow* dialogParent = nullptr;
  platform::GtkDialogs dialogs;
  platform::Services services;
};

// The program's own pictures (the wizard's header), in the program folder.
std::string ProgramPicturePath(const std::string& name);
// Gives `window` the program's icon: the theme's icon by the desktop id
// when the theme has it, else the program's own PNG sizes.
void SetProgramIcon(GtkWindow* window);

}  // namespace vornida
