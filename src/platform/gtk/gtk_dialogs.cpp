#include "platform/gtk/gtk_dialogs.h"

#include <glib/gi18n.h>

#include <algorithm>
#include <string>

#include "platform/gtk/dialog_mapping.h"
#include "platform/system_codes.h"

namespace vornida::platform {

namespace {

constexpr int kPreviewSize = 220;

// GTK's own translation of a stock button label.
const char* ButtonLabel(const char* label) { return g_dgettext("gtk30", label); }

void AddFilters(GtkFileChooser* chooser, const std::string& filter) {
  for (const FileFilterEntry& entry : ParseFileFilter(filter)) {
    GtkFileFilter* gtkFilter = gtk_file_filter_new();
    gtk_file_filter_set_name(gtkFilter, entry.name.c_str());
    for (const std::string& pattern : entry.patterns) gtk_file_filter_add_pattern(gtkFilter, pattern.c_str());
    gtk_file_chooser_add_filter(chooser, gtkFilter);  // takes the floating reference
  }
}

void Configure(GtkFileChooser* chooser, const FileDialogRequest& request) {
  const bool multiple = request.allowMultiple || (request.flags & kOfnAllowMultiSelect) != 0;
  if (request.mode == FileDialogMode::Open) gtk_file_chooser_set_select_multiple(chooser, multiple);
  gtk_file_chooser_set_local_only(chooser, TRUE);
  if (request.mode == FileDialogMode::Save) {
    gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
    if (!request.initialFileName.empty()) gtk_file_chooser_set_current_name(chooser, request.initialFileName.c_str());
  }
  if (!request.initialFolder.empty() && g_file_test(request.initialFolder.c_str(), G_FILE_TEST_IS_DIR))
    gtk_file_chooser_set_current_folder(chooser, request.initialFolder.c_str());
  AddFilters(chooser, request.filter);
}

// A save dialog without a typed extension takes the default extension, as
// the system's dialog does, when one is given.
std::string WithDefaultExtension(std::string path, const FileDialogRequest& request) {
  if (request.mode != FileDialogMode::Save || request.defaultExtension.empty()) return path;
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) path += "." + request.defaultExtension;
  return path;
}

FileDialogResult Collect(GtkFileChooser* chooser, const FileDialogRequest& request) {
  FileDialogResult result;
  GSList* files = gtk_file_chooser_get_filenames(chooser);
  for (GSList* item = files; item != nullptr; item = item->next) {
    result.paths.push_back(WithDefaultExtension(static_cast<char*>(item->data), request));
    g_free(item->data);
  }
  g_slist_free(files);
  result.accepted = !result.paths.empty();
  return result;
}

void UpdatePreview(GtkFileChooser* chooser, gpointer data) {
  GtkWidget* image = GTK_WIDGET(data);
  char* path = gtk_file_chooser_get_preview_filename(chooser);
  GdkPixbuf* picture = nullptr;
  if (path != nullptr && g_file_test(path, G_FILE_TEST_IS_REGULAR)) {
    picture = gdk_pixbuf_new_from_file_at_size(path, kPreviewSize, kPreviewSize, nullptr);
    if (picture != nullptr) {
      GdkPixbuf* upright = gdk_pixbuf_apply_embedded_orientation(picture);
      g_object_unref(picture);
      picture = upright;
    }
  }
  g_free(path);
  gtk_image_set_from_pixbuf(GTK_IMAGE(image), picture);
  gtk_file_chooser_set_preview_widget_active(chooser, picture != nullptr);
  if (picture != nullptr) g_object_unref(picture);
}

// A dialog of a comfortable size that fits on the parent's screen, centred on
// the parent (the chooser would take its remembered size, which may not fit).
void FitToParent(GtkWindow* dialog, GtkWindow* parent) {
  int width = 960, height = 680;
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = display != nullptr ? gdk_display_get_primary_monitor(display) : nullptr;
  if (monitor == nullptr && display != nullptr) monitor = gdk_display_get_monitor(display, 0);
  if (monitor != nullptr) {
    GdkRectangle area{0, 0, width, height};
    gdk_monitor_get_workarea(monitor, &area);
    width = std::min(width, area.width * 9 / 10);
    height = std::min(height, area.height * 9 / 10);
  }
  gtk_window_resize(dialog, width, height);
  int x = 0, y = 0, parentWidth = 0, parentHeight = 0;
  if (parent != nullptr && gtk_widget_get_visible(GTK_WIDGET(parent))) {
    gtk_window_get_position(parent, &x, &y);
    gtk_window_get_size(parent, &parentWidth, &parentHeight);
    gtk_window_move(dialog, x + std::max(0, (parentWidth - width) / 2), y + std::max(0, (parentHeight - height) / 2));
  }
}

struct Answer {
  bool done = false;
  int response = GTK_RESPONSE_NONE;
};

}  // namespace

bool FileDialogsUsePortal() {
  const char* usePortal = g_getenv("GTK_USE_PORTAL");
  return (usePortal != nullptr && usePortal[0] == '1') || g_file_test("/.flatpak-info", G_FILE_TEST_EXISTS);
}

GtkDialogs::GtkDialogs(GtkEventLoop& loop, std::function<GtkWindow*()> parent)
    : loop_(loop), parent_(std::move(parent)) {}

FileDialogResult GtkDialogs::showFileDialog(const FileDialogRequest& request) {
  if (loop_.quitRequested()) return {};
  const bool save = request.mode == FileDialogMode::Save;
  const GtkFileChooserAction action = save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN;
  const char* title = !request.title.empty() ? request.title.c_str() : (save ? ButtonLabel("Save") : ButtonLabel("Open"));
  GtkWindow* parent = parent_ ? parent_() : nullptr;
  Answer answer;
  FileDialogResult result;

  if (!save && request.viewMode == kFileDialogThumbnailView && !FileDialogsUsePortal()) {
    GtkWidget* dialog = gtk_file_chooser_dialog_new(title, parent, action, ButtonLabel("_Cancel"), GTK_RESPONSE_CANCEL,
                                                    ButtonLabel("_Open"), GTK_RESPONSE_ACCEPT, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);

    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    Configure(chooser, request);
    GtkWidget* preview = gtk_image_new();
    gtk_widget_set_size_request(preview, kPreviewSize, -1);
    gtk_file_chooser_set_preview_widget(chooser, preview);
    gtk_file_chooser_set_use_preview_label(chooser, FALSE);
    g_signal_connect(chooser, "update-preview", G_CALLBACK(UpdatePreview), preview);
    g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkDialog*, int response, gpointer data) {
                       auto* a = static_cast<Answer*>(data);
                       a->done = true;
                       a->response = response;
                     }),
                     &answer);
    gtk_widget_show(dialog);
    // The chooser sizes itself when shown; fit it to the screen after that.
    FitToParent(GTK_WINDOW(dialog), parent);
    while (!answer.done && !loop_.quitRequested()) loop_.iterate(true);
    if (answer.done && answer.response == GTK_RESPONSE_ACCEPT) result = Collect(chooser, request);
    g_signal_handlers_disconnect_by_data(dialog, &answer);
    gtk_widget_destroy(dialog);
    return result;
  }

  GtkFileChooserNative* native = gtk_file_chooser_native_new(title, parent, action, nullptr, nullptr);
  gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(native), TRUE);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(native);
  Configure(chooser, request);
  g_signal_connect(native, "response", G_CALLBACK(+[](GtkNativeDialog*, int response, gpointer data) {
                     auto* a = static_cast<Answer*>(data);
                     a->done = true;
                     a->response = response;
                   }),
                   &answer);
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(native));
  while (!answer.done && !loop_.quitRequested()) loop_.iterate(true);
  if (answer.done && answer.response == GTK_RESPONSE_ACCEPT) result = Collect(chooser, request);
  g_signal_handlers_disconnect_by_data(native, &answer);
  if (!answer.done) gtk_native_dialog_hide(GTK_NATIVE_DIALOG(native));
  gtk_native_dialog_destroy(GTK_NATIVE_DIALOG(native));
  g_object_unref(native);
  return result;
}

int GtkDialogs::showMessageBox(const MessageBoxRequest& request) {
  const MessageBoxLayout layout = LayoutForStyle(request.style);
  if (loop_.quitRequested()) return layout.closeId;
  GtkMessageType type = GTK_MESSAGE_OTHER;
  switch (layout.icon) {
    case MessageBoxIcon::Error: type = GTK_MESSAGE_ERROR; break;
    case MessageBoxIcon::Question: type = GTK_MESSAGE_QUESTION; break;
    case MessageBoxIcon::Warning: type = GTK_MESSAGE_WARNING; break;
    case MessageBoxIcon::Information: type = GTK_MESSAGE_INFO; break;
    case MessageBoxIcon::None: type = GTK_MESSAGE_OTHER; break;
  }
  GtkWindow* parent = parent_ ? parent_() : nullptr;
  GtkWidget* dialog = gtk_message_dialog_new(parent, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), type,
                                             GTK_BUTTONS_NONE, "%s", request.text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), request.caption.c_str());
  gtk_window_set_position(GTK_WINDOW(dialog), parent != nullptr ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  // GTK 3 shows no icon in message dialogs by itself; the style asks for one.
  const char* iconName = nullptr;
  switch (layout.icon) {
    case MessageBoxIcon::Error: iconName = "dialog-error"; break;
    case MessageBoxIcon::Question: iconName = "dialog-question"; break;
    case MessageBoxIcon::Warning: iconName = "dialog-warning"; break;
    case MessageBoxIcon::Information: iconName = "dialog-information"; break;
    case MessageBoxIcon::None: break;
  }
  if (iconName != nullptr) {
    GtkWidget* image = gtk_image_new_from_icon_name(iconName, GTK_ICON_SIZE_DIALOG);
    gtk_widget_set_valign(image, GTK_ALIGN_START);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(dialog), image);
    G_GNUC_END_IGNORE_DEPRECATIONS
    gtk_widget_show(image);
  }
  for (const MessageBoxButton& button : layout.buttons)
    gtk_dialog_add_button(GTK_DIALOG(dialog), ButtonLabel(button.label), button.id);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), layout.defaultId);
  if (GtkWidget* focus = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), layout.defaultId))
    gtk_widget_grab_focus(focus);
  Answer answer;
  g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkDialog*, int response, gpointer data) {
                     auto* a = static_cast<Answer*>(data);
                     a->done = true;
                     a->response = response;
                   }),
                   &answer);
  gtk_widget_show(dialog);
  gtk_window_present(GTK_WINDOW(dialog));
  while (!answer.done && !loop_.quitRequested()) loop_.iterate(true);
  g_signal_handlers_disconnect_by_data(dialog, &answer);
  gtk_widget_destroy(dialog);
  return answer.done && answer.response > 0 ? answer.response : layout.closeId;
}

}  // namespace vornida::platform
