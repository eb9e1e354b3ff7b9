// CMainFrame: the main window. An undecorated, resizable window whose whole
// client area is the main movie (the movie draws the title bar), with the
// collage canvas laid over it. It owns the main movie's control with every
// module's commands installed, the canvas with its placement and the
// reporting proxies.
//
// It is created hidden while the main movie loads inside the splash; on
// "LoadComplete" the movie moves in, the splash goes and the window shows
// maximised (HandOver). Photos, folders and projects dropped on the window
// are imported or opened.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "commands/vr_flash_ctrl.h"
#include "desktop/desktop_context.h"
#include "host/main_window_parts.h"
#include "platform/gtk/gtk_canvas.h"
#include "platform/gtk/gtk_frame.h"
#include "platform/gtk/web_movie.h"

namespace vornida {

class CMainFrame {
 public:
  // Builds the window (hidden, sized from the screen, centred) and the main
  // movie's view, control and parts. `onClose` runs when the window is to
  // close (its close command, "Exit", SC_CLOSE, the window manager).
  CMainFrame(DesktopContext& context, std::function<void()> onClose);
  ~CMainFrame();
  CMainFrame(const CMainFrame&) = delete;
  CMainFrame& operator=(const CMainFrame&) = delete;

  GtkWindow* Window() const { return window_; }
  platform::WebMovie& Movie() { return *movie_; }
  CVRFlashCtrl& Control() { return *control_; }
  MainWindowParts& Parts() { return *parts_; }
  platform::GtkFrame& Frame() { return *frame_; }
  platform::GtkCanvas& Canvas() { return *canvas_; }
  bool IsHandedOver() const { return handedOver_; }
  // What "LoadComplete" of the main movie starts (the program's hand-over).
  void SetLoadCompleteHandler(std::function<void()> handler) { onLoadComplete_ = std::move(handler); }

  // The movie's view moves into this window, which shows maximised and takes
  // the focus. `takeFromSplash` detaches the view from where it loaded.
  void HandOver(const std::function<void(GtkWidget*)>& takeFromSplash);
  // Imports photos and folders, or opens a project (command line, drops).
  void OpenFiles(const std::vector<std::string>& inputs);

  // The size of the movie in the maximised window: the primary monitor's
  // work area.
  static GdkRectangle MaximisedArea();
  // The size the window is created with, from the screen: 900/1280 of it.
  static void InitialSize(int screenWidth, int screenHeight, int& width, int& height);

 private:
  // Files dragged over the window land on it, not in the page; the page is
  // told with the DOM drag events it would have had ("dragenter" with a
  // "Files" type, "dragleave", "drop"), so that it can show where they go.
  void TellPageOfDrag(const char* event);
  bool dragOver_ = false;
  static void OnDragDataReceived(GtkWidget* widget, GdkDragContext* drag, int x, int y, GtkSelectionData* data,
                                 guint info, guint time, gpointer self);

  DesktopContext& context_;
  std::function<void()> onClose_;
  std::function<void()> onLoadComplete_;
  GtkWindow* window_ = nullptr;
  GtkOverlay* overlay_ = nullptr;
  bool handedOver_ = false;
  // Destroyed in reverse order: the control before the movie it talks to.
  std::unique_ptr<platform::WebMovie> movie_;
  std::unique_ptr<platform::GtkCanvas> canvas_;
  std::unique_ptr<platform::GtkFrame> frame_;
  std::unique_ptr<CVRFlashCtrl> control_;
  std::unique_ptr<MainWindowParts> parts_;
};

}  // namespace vornida
