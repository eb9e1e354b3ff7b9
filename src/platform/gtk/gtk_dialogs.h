// File dialogs and message boxes over GTK.
//
// File dialogs: GtkFileChooserNative (the desktop's own dialog when a portal
// is in use). An open dialog that shows pictures (the thumbnails view) is a
// GtkFileChooserDialog with a preview of the highlighted picture when no
// portal is in use, since the native chooser cannot take a preview widget.
// Message boxes: a GtkMessageDialog with the buttons, icon and default button
// of the Windows style the movie sent, answering the Windows button id.
//
// Both are modal to the current main window and run their own loop; they
// give up (as Cancel, or the box's close answer) when the program closes.
#pragma once

#include <gtk/gtk.h>

#include <functional>

#include "platform/dialogs.h"
#include "platform/gtk/gtk_event_loop.h"

namespace vornida::platform {

class GtkDialogs final : public FileDialogs, public MessageBoxes {
 public:
  // `parent` gives the window the dialogs belong to (it changes when the
  // splash hands over to the main window); it may give null.
  GtkDialogs(GtkEventLoop& loop, std::function<GtkWindow*()> parent);

  FileDialogResult showFileDialog(const FileDialogRequest& request) override;
  int showMessageBox(const MessageBoxRequest& request) override;

 private:
  GtkEventLoop& loop_;
  std::function<GtkWindow*()> parent_;
};

// True when GTK hands file dialogs to the desktop portal.
bool FileDialogsUsePortal();

}  // namespace vornida::platform
