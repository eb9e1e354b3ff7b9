// The main window as the movie's window commands drive it: an undecorated,
// resizable GtkWindow whose title bar the movie draws.
//
//   SC_MINIMIZE / SC_MAXIMIZE / SC_RESTORE   iconify, maximise, unmaximise
//                                            (or deiconify)
//   SC_CLOSE                                 the close handler, as the
//                                            window's close button would
//   SC_MOVE / SC_SIZE                        a move or resize with the pointer
//   "EnterMoveWnd" (1725)                    starts moving the window with
//                                            the pointer, so that dragging the
//                                            movie's title bar moves it
//
// The system menu is a GtkMenu at the point the movie gives, with the system
// command ids. Without a window manager that can maximise (a bare X server),
// maximising is done here: the window covers the monitor's work area and
// restoring gives back its earlier place and size.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>

#include "platform/frame_window.h"
#include "platform/gtk/gtk_event_loop.h"

namespace vornida::platform {

// One entry of the system menu.
struct SystemMenuItem {
  const char* label;     // mnemonic label
  std::uint32_t command; // kSc*, 0 for a separator
  bool enabled;
};

// The system menu's entries in order, with their states.
std::vector<SystemMenuItem> SystemMenuItems(const SystemMenuState& state);

class GtkFrame final : public FrameWindow {
 public:
  // `anchor` is the widget whose top-left corner is the movie's (0, 0).
  GtkFrame(GtkWindow* window, GtkWidget* anchor, GtkEventLoop& loop);
  ~GtkFrame() override;
  GtkFrame(const GtkFrame&) = delete;
  GtkFrame& operator=(const GtkFrame&) = delete;

  // What SC_CLOSE does (the program's own close, which may refuse).
  void SetCloseHandler(std::function<void()> handler) { onClose_ = std::move(handler); }

  void postSysCommand(std::uint32_t command) override;
  void sendSysCommand(std::uint32_t command) override;
  void sendMessage(std::uint32_t message) override;
  bool isMaximized() const override { return maximized_; }
  bool hasSystemMenu() const override { return true; }
  std::uint32_t trackSystemMenu(int clientX, int clientY, const SystemMenuState& state) override;

  // Shows the window maximised (the first showing of the main window).
  void ShowMaximized();
  void Maximize();
  void Unmaximize();
  bool IsIconified() const { return iconified_; }

 private:
  static gboolean OnWindowState(GtkWidget* widget, GdkEventWindowState* event, gpointer self);
  bool WindowManagerMaximizes() const;
  void BeginPointerDrag(bool resize);

  GtkWindow* window_;
  GtkWidget* anchor_;
  GtkEventLoop& loop_;
  std::shared_ptr<bool> alive_;
  std::function<void()> onClose_;
  bool maximized_ = false;
  bool iconified_ = false;
  bool emulatedMaximize_ = false;
  GdkRectangle restoreGeometry_{0, 0, 0, 0};
};

}  // namespace vornida::platform
