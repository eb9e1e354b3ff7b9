#include "desktop/main_frame.h"

#include <vector>

#include "desktop/opened_files.h"
#include "photos/photo_library.h"
#include "platform/gtk/gtk_wizard_view.h"
#include "project/project_commands.h"
#include "upgrade/upgrade_commands.h"
#include "wiring/module_wiring.h"

namespace vornida {

namespace {

const GtkTargetEntry kDropTargets[] = {{const_cast<char*>("text/uri-list"), 0, 0}};

}  // namespace

GdkRectangle CMainFrame::MaximisedArea() {
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
  GdkRectangle area{0, 0, 1280, 1024};
  if (monitor != nullptr) gdk_monitor_get_workarea(monitor, &area);
  return area;
}

void CMainFrame::InitialSize(int screenWidth, int screenHeight, int& width, int& height) {
  width = screenWidth * 900 / 1280;
  height = screenHeight * 900 / 1280;
}

CMainFrame::CMainFrame(DesktopContext& context, std::function<void()> onClose)
    : context_(context), onClose_(std::move(onClose)) {
  window_ = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
  g_object_ref_sink(window_);
  gtk_widget_set_name(GTK_WIDGET(window_), "vornida-main");
  gtk_window_set_title(window_, "Vornida");
  gtk_window_set_decorated(window_, FALSE);
  gtk_window_set_resizable(window_, TRUE);

  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
  GdkRectangle screen{0, 0, 1280, 1024};
  if (monitor != nullptr) gdk_monitor_get_geometry(monitor, &screen);
  int width = 0, height = 0;
  InitialSize(screen.width, screen.height, width, height);
  gtk_window_set_default_size(window_, width, height);
  gtk_window_set_position(window_, GTK_WIN_POS_CENTER);
  SetProgramIcon(window_);

  overlay_ = GTK_OVERLAY(gtk_overlay_new());
  gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(overlay_));

  platform::WebMovie::Options movieOptions;
  movieOptions.controlledByAutomation = context_.options.automation;
  movieOptions.shell = &context_.shell;
  movie_ = std::make_unique<platform::WebMovie>(context_.engine, context_.loop, movieOptions);
  context_.engine.SetAutomationView(movie_->View());
  canvas_ = std::make_unique<platform::GtkCanvas>(overlay_);
  frame_ = std::make_unique<platform::GtkFrame>(window_, GTK_WIDGET(overlay_), context_.loop);
  frame_->SetCloseHandler([this] {
    if (onClose_) onClose_();
  });

  control_ = std::make_unique<CVRFlashCtrl>(*movie_, context_.services);
  control_->SetOwnerFrame(frame_.get());
  parts_ = std::make_unique<MainWindowParts>(control_.get(), canvas_.get());
  control_->SetMainWindow(parts_.get());

  HostModules modules;
  modules.loop = &context_.loop;
  GtkWindow* owner = window_;
  const std::string header = ProgramPicturePath("wizard-header.png");
  platform::GtkEventLoop* loop = &context_.loop;
  modules.upgrade.makeView = [owner, header, loop](bool silent) -> std::unique_ptr<WizardView> {
    return std::make_unique<platform::GtkWizardView>(owner, silent, header, *loop);
  };
  if (!context_.options.updateUrls.empty()) modules.upgrade.urlList = context_.options.updateUrls;
  if (context_.options.trustedUpdateKey) modules.upgrade.trustedKey = *context_.options.trustedUpdateKey;
  InstallModuleCommands(*control_, modules);
  // The hand-over is this window's; it runs after the movie's call returned,
  // since the movie's view moves between windows.
  control_->InstallCommandHandler("LoadComplete", [this](CVRFlashCtrl&, DecodedCall&) {
    if (onLoadComplete_) onLoadComplete_();
    return true;
  });

  // The canvas starts as a small white picture, as the preview background.
  std::vector<std::uint32_t> white(10 * 10, VRNPictureBox::kBackground);
  parts_->pictureBox.DrawImage(platform::PixelView{white.data(), 10, 10, 10 * 4});

  g_signal_connect(window_, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                     auto* frame = static_cast<CMainFrame*>(self);
                     if (frame->onClose_) frame->onClose_();
                     return TRUE;  // the program closes the window itself
                   }),
                   this);
  g_signal_connect(overlay_, "size-allocate", G_CALLBACK(+[](GtkWidget*, GdkRectangle*, gpointer self) {
                     auto* frame = static_cast<CMainFrame*>(self);
                     if (!frame->frame_->IsIconified()) frame->parts_->placement.CenterCanvas();
                   }),
                   this);
  g_signal_connect(window_, "focus-in-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                     auto* frame = static_cast<CMainFrame*>(self);
                     if (frame->handedOver_) frame->movie_->focus();
                     return FALSE;
                   }),
                   this);
  // The page asked to close (window.close(), or an automation session ending).
  g_signal_connect(movie_->View(), "close", G_CALLBACK(+[](WebKitWebView*, gpointer self) {
                     auto* frame = static_cast<CMainFrame*>(self);
                     if (frame->onClose_) frame->onClose_();
                   }),
                   this);
  gtk_drag_dest_set(GTK_WIDGET(overlay_), GTK_DEST_DEFAULT_ALL, kDropTargets, 1, GDK_ACTION_COPY);
  g_signal_connect(overlay_, "drag-data-received", G_CALLBACK(&CMainFrame::OnDragDataReceived), this);
  g_signal_connect(overlay_, "drag-motion",
                   G_CALLBACK(+[](GtkWidget*, GdkDragContext*, int, int, guint, gpointer self) -> gboolean {
                     auto* frame = static_cast<CMainFrame*>(self);
                     if (!frame->dragOver_) frame->TellPageOfDrag("dragenter");
                     frame->dragOver_ = true;
                     return FALSE;  // GTK answers the motion itself (GTK_DEST_DEFAULT_MOTION)
                   }),
                   this);
  g_signal_connect(overlay_, "drag-leave", G_CALLBACK(+[](GtkWidget*, GdkDragContext*, guint, gpointer self) {
                     auto* frame = static_cast<CMainFrame*>(self);
                     if (frame->dragOver_) frame->TellPageOfDrag("dragleave");
                     frame->dragOver_ = false;
                   }),
                   this);
}

void CMainFrame::TellPageOfDrag(const char* event) {
  if (!handedOver_) return;
  // The page looks for a "Files" entry in the transfer's types.
  const std::string script = std::string(
                                 "(() => { const transfer = new DataTransfer();"
                                 " try { transfer.items.add(new File([], 'dragged')); } catch (e) {}"
                                 " document.dispatchEvent(new DragEvent('") +
                             event + "', { bubbles: true, cancelable: true, dataTransfer: transfer })); })();";
  webkit_web_view_evaluate_javascript(movie_->View(), script.c_str(), -1, "vornida-drag", nullptr, nullptr,
                                      nullptr, nullptr);
}

CMainFrame::~CMainFrame() {
  g_signal_handlers_disconnect_by_data(window_, this);
  g_signal_handlers_disconnect_by_data(overlay_, this);
  g_signal_handlers_disconnect_by_data(movie_->View(), this);
  control_->SetMainWindow(nullptr);
  parts_.reset();
  control_.reset();
  frame_.reset();
  canvas_.reset();
  movie_.reset();
  gtk_widget_destroy(GTK_WIDGET(window_));
  g_object_unref(window_);
}

void CMainFrame::HandOver(const std::function<void(GtkWidget*)>& takeFromSplash) {
  if (handedOver_) return;
  handedOver_ = true;
  GtkWidget* view = movie_->Widget();
  if (gtk_widget_get_parent(view) != nullptr) takeFromSplash(view);
  gtk_container_add(GTK_CONTAINER(overlay_), view);
  // Drops land on the window (files to import), not in the page.
  gtk_drag_dest_unset(view);
  gtk_widget_show(GTK_WIDGET(overlay_));
  gtk_widget_show(view);
  parts_->placement.CenterCanvas();
  frame_->ShowMaximized();
  gtk_window_present(window_);
  movie_->focus();
  StartSilentUpdateTimers(*control_);
}

void CMainFrame::OpenFiles(const std::vector<std::string>& inputs) {
  if (inputs.empty()) return;
  const OpenedFiles opened = SortOpenedFiles(inputs);
  if (!opened.project.empty()) OpenProjectFile(*control_, opened.project, QueuePhotoImports);
  if (!opened.photos.empty()) QueuePhotoImports(opened.photos);
}

void CMainFrame::OnDragDataReceived(GtkWidget*, GdkDragContext* drag, int, int, GtkSelectionData* data, guint,
                                    guint time, gpointer self) {
  auto* frame = static_cast<CMainFrame*>(self);
  std::vector<std::string> paths;
  gchar** uris = gtk_selection_data_get_uris(data);
  for (gchar** uri = uris; uri != nullptr && *uri != nullptr; ++uri) {
    gchar* path = g_filename_from_uri(*uri, nullptr, nullptr);
    if (path != nullptr) paths.emplace_back(path);
    g_free(path);
  }
  g_strfreev(uris);
  gtk_drag_finish(drag, !paths.empty(), FALSE, time);
  frame->dragOver_ = false;
  frame->TellPageOfDrag("drop");
  if (paths.empty()) return;
  // Imported after the drop has been answered, so the source is not kept waiting.
  frame->context_.loop.post([frame, paths] { frame->OpenFiles(paths); });
}

}  // namespace vornida
