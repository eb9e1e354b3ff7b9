#include "platform/gtk/gtk_frame.h"

#include <glib/gi18n.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

#include "platform/system_codes.h"

namespace vornida::platform {

std::vector<SystemMenuItem> SystemMenuItems(const SystemMenuState& state) {
  return {
      {"_Restore", kScRestore, state.restoreEnabled},
      {"_Move", kScMove, state.moveEnabled},
      {"_Resize", kScSize, state.sizeEnabled},
      {"Mi_nimize", kScMinimize, true},
      {"Ma_ximize", kScMaximize, state.maximizeEnabled},
      {nullptr, 0, false},
      {"_Close", kScClose, true},
  };
}

GtkFrame::GtkFrame(GtkWindow* window, GtkWidget* anchor, GtkEventLoop& loop)
    : window_(window), anchor_(anchor), loop_(loop), alive_(std::make_shared<bool>(true)) {
  g_signal_connect(window_, "window-state-event", G_CALLBACK(&GtkFrame::OnWindowState), this);
}

GtkFrame::~GtkFrame() {
  *alive_ = false;
  g_signal_handlers_disconnect_by_data(window_, this);
}

gboolean GtkFrame::OnWindowState(GtkWidget*, GdkEventWindowState* event, gpointer self) {
  auto* frame = static_cast<GtkFrame*>(self);
  frame->iconified_ = (event->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
  if (!frame->emulatedMaximize_) frame->maximized_ = (event->new_window_state & GDK_WINDOW_STATE_MAXIMIZED) != 0;
  return FALSE;
}

bool GtkFrame::WindowManagerMaximizes() const {
#ifdef GDK_WINDOWING_X11
  GdkScreen* screen = gtk_window_get_screen(window_);
  if (GDK_IS_X11_SCREEN(screen))
    return gdk_x11_screen_supports_net_wm_hint(screen, gdk_atom_intern_static_string("_NET_WM_STATE_MAXIMIZED_VERT"));
#endif
  return true;
}

void GtkFrame::Maximize() {
  if (maximized_) return;
  if (WindowManagerMaximizes()) {
    gtk_window_maximize(window_);
    return;
  }
  // No window manager does it: cover the work area of the window's monitor.
  gtk_window_get_position(window_, &restoreGeometry_.x, &restoreGeometry_.y);
  gtk_window_get_size(window_, &restoreGeometry_.width, &restoreGeometry_.height);
  GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(window_));
  GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window_));
  GdkMonitor* monitor = gdkWindow != nullptr ? gdk_display_get_monitor_at_window(display, gdkWindow)
                                             : gdk_display_get_primary_monitor(display);
  if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
  GdkRectangle area{0, 0, 0, 0};
  if (monitor != nullptr) gdk_monitor_get_workarea(monitor, &area);
  emulatedMaximize_ = true;
  maximized_ = true;
  gtk_window_move(window_, area.x, area.y);
  gtk_window_resize(window_, area.width, area.height);
}

void GtkFrame::ShowMaximized() {
  if (WindowManagerMaximizes()) {
    gtk_window_maximize(window_);  // before showing, so the window maps maximised
    gtk_widget_show(GTK_WIDGET(window_));
  } else {
    gtk_widget_show(GTK_WIDGET(window_));
    Maximize();
  }
}

void GtkFrame::Unmaximize() {
  if (!maximized_) return;
  if (!emulatedMaximize_) {
    gtk_window_unmaximize(window_);
    return;
  }
  emulatedMaximize_ = false;
  maximized_ = false;
  gtk_window_move(window_, restoreGeometry_.x, restoreGeometry_.y);
  gtk_window_resize(window_, restoreGeometry_.width, restoreGeometry_.height);
}

void GtkFrame::BeginPointerDrag(bool resize) {
  GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(window_));
  GdkSeat* seat = gdk_display_get_default_seat(display);
  GdkDevice* pointer = seat != nullptr ? gdk_seat_get_pointer(seat) : nullptr;
  if (pointer == nullptr) return;
  int x = 0, y = 0;
  gdk_device_get_position(pointer, nullptr, &x, &y);
  if (resize)
    gtk_window_begin_resize_drag(window_, GDK_WINDOW_EDGE_SOUTH_EAST, 1, x, y, GDK_CURRENT_TIME);
  else
    gtk_window_begin_move_drag(window_, 1, x, y, GDK_CURRENT_TIME);
}

void GtkFrame::postSysCommand(std::uint32_t command) {
  std::weak_ptr<bool> alive = alive_;
  loop_.post([this, alive, command] {
    if (auto still = alive.lock(); still && *still) sendSysCommand(command);
  });
}

void GtkFrame::sendSysCommand(std::uint32_t command) {
  switch (command) {
    case kScMinimize: gtk_window_iconify(window_); break;
    case kScMaximize: Maximize(); break;
    case kScRestore:
      if (iconified_)
        gtk_window_deiconify(window_);
      else
        Unmaximize();
      break;
    case kScClose:
      if (onClose_) onClose_();
      break;
    case kScMove:
      if (!maximized_) BeginPointerDrag(false);
      break;
    case kScSize:
      if (!maximized_) BeginPointerDrag(true);
      break;
    default: break;
  }
}

void GtkFrame::sendMessage(std::uint32_t message) {
  // A maximised window stays where it is, as a title bar drag does elsewhere.
  if (message == kMsgEnterMoveWindow && !maximized_) BeginPointerDrag(false);
}

std::uint32_t GtkFrame::trackSystemMenu(int clientX, int clientY, const SystemMenuState& state) {
  GtkWidget* menu = gtk_menu_new();
  struct Choice {
    std::uint32_t command = 0;
    bool closed = false;
  } choice;
  for (const SystemMenuItem& item : SystemMenuItems(state)) {
    GtkWidget* entry = item.label == nullptr ? gtk_separator_menu_item_new()
                                             : gtk_menu_item_new_with_mnemonic(g_dgettext("gtk30", item.label));
    gtk_widget_set_sensitive(entry, item.label == nullptr || item.enabled);
    if (item.label != nullptr) {
      g_object_set_data(G_OBJECT(entry), "vornida-command", GUINT_TO_POINTER(item.command));
      g_signal_connect(entry, "activate", G_CALLBACK(+[](GtkMenuItem* activated, gpointer data) {
                         static_cast<Choice*>(data)->command =
                             GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(activated), "vornida-command"));
                       }),
                       &choice);
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), entry);
  }
  gtk_widget_show_all(menu);
  g_signal_connect(menu, "deactivate", G_CALLBACK(+[](GtkMenuShell*, gpointer data) {
                     static_cast<Choice*>(data)->closed = true;
                   }),
                   &choice);
  GtkWidget* anchor = anchor_ != nullptr ? anchor_ : GTK_WIDGET(window_);
  gtk_menu_attach_to_widget(GTK_MENU(menu), anchor, nullptr);
  GdkRectangle at{clientX, clientY, 1, 1};
  gtk_menu_popup_at_rect(GTK_MENU(menu), gtk_widget_get_window(anchor), &at, GDK_GRAVITY_NORTH_WEST,
                         GDK_GRAVITY_NORTH_WEST, nullptr);
  if (!gtk_widget_get_visible(menu)) choice.closed = true;  // the menu could not take the pointer
  while (!choice.closed && !loop_.quitRequested()) loop_.iterate(true);
  // A chosen item's "activate" follows "deactivate" within the same call, so
  // the choice is known here.
  g_signal_handlers_disconnect_by_data(menu, &choice);
  gtk_widget_destroy(menu);
  return choice.command;
}

}  // namespace vornida::platform
