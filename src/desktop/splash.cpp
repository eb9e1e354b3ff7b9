#include "desktop/splash.h"

namespace vornida {

namespace {

// Resolves once the page has produced two animation frames.
constexpr const char* kTwoFrames =
    "return new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(() => done(true))));";

}  // namespace

CSplashScreenDlg::CSplashScreenDlg(DesktopContext& context) : context_(context) {
  window_ = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
  g_object_ref_sink(window_);
  gtk_widget_set_name(GTK_WIDGET(window_), "vornida-splash");
  // Not "Vornida": that names the main window, for people and for tools.
  gtk_window_set_title(window_, "Vornida splash");
  gtk_window_set_decorated(window_, FALSE);
  gtk_window_set_resizable(window_, FALSE);
  gtk_window_set_type_hint(window_, GDK_WINDOW_TYPE_HINT_SPLASHSCREEN);
  gtk_window_set_keep_above(window_, TRUE);
  gtk_window_set_skip_taskbar_hint(window_, TRUE);
  gtk_window_set_default_size(window_, kWidth, kHeight);
  gtk_widget_set_size_request(GTK_WIDGET(window_), kWidth, kHeight);
  gtk_window_set_position(window_, GTK_WIN_POS_CENTER);
  SetProgramIcon(window_);
  // Closing the splash (a window manager's close) closes the program.
  g_signal_connect(window_, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer data) -> gboolean {
                     static_cast<platform::GtkEventLoop*>(data)->requestQuit();
                     return TRUE;
                   }),
                   &context_.loop);

  overlay_ = GTK_OVERLAY(gtk_overlay_new());
  gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(overlay_));

  platform::WebMovie::Options options;
  options.shell = &context_.shell;
  movie_ = std::make_unique<platform::WebMovie>(context_.engine, context_.loop, options);
  // The splash movie knows only the built-in commands.
  control_ = std::make_unique<CFlashCtrlEx>(*movie_, context_.loop);
  GtkWidget* view = movie_->Widget();
  // A one-pixel frame of the window's colour around the movie; the frame
  // also hides the main movie that loads underneath.
  GtkWidget* frame = gtk_event_box_new();
  gtk_widget_set_name(frame, "vornida-splash-frame");
  gtk_widget_set_margin_start(view, 1);
  gtk_widget_set_margin_end(view, 1);
  gtk_widget_set_margin_top(view, 1);
  gtk_widget_set_margin_bottom(view, 1);
  gtk_container_add(GTK_CONTAINER(frame), view);
  gtk_overlay_add_overlay(overlay_, frame);
}

CSplashScreenDlg::~CSplashScreenDlg() {
  CancelPaintWatch();
  if (paintWatch_ != 0) context_.loop.stopTimer(paintWatch_);
  if (movie_) g_signal_handlers_disconnect_by_data(movie_->Widget(), this);
  g_signal_handlers_disconnect_by_data(window_, &context_.loop);
  g_signal_handlers_disconnect_by_data(overlay_, this);
  control_.reset();
  movie_.reset();
  gtk_widget_destroy(GTK_WIDGET(window_));
  g_object_unref(window_);
}

void CSplashScreenDlg::Show() {
  // The page has been drawn once two animation frames have passed in the web
  // process after its load; the next frame of the window puts it on the screen.
  paintCancel_ = g_cancellable_new();
  movie_->SetLoadedHandler([this] {
    if (!movie_ || settled_) return;
    webkit_web_view_call_async_javascript_function(
        movie_->View(), kTwoFrames, -1, nullptr, "vornida-splash", nullptr, paintCancel_,
        +[](GObject* view, GAsyncResult* result, gpointer self) {
          GError* error = nullptr;
          JSCValue* value = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(view), result, &error);
          if (value != nullptr) g_object_unref(value);
          const bool cancelled = error != nullptr && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
          if (error != nullptr) g_error_free(error);
          if (cancelled) return;  // the splash went meanwhile
          auto* splash = static_cast<CSplashScreenDlg*>(self);
          splash->loaded_ = true;
          gtk_widget_queue_draw(splash->movie_->Widget());
        },
        this);
  });
  g_signal_connect_after(movie_->Widget(), "draw", G_CALLBACK(+[](GtkWidget*, cairo_t*, gpointer self) -> gboolean {
                           auto* splash = static_cast<CSplashScreenDlg*>(self);
                           if (splash->loaded_ && !splash->settled_ && !splash->paintPosted_) {
                             // Done once this frame is on the screen.
                             splash->paintPosted_ = true;
                             splash->context_.loop.post([splash, alive = std::weak_ptr<bool>(splash->alive_)] {
                               if (alive.lock()) splash->OnPainted(true);
                             });
                           }
                           return FALSE;
                         }),
                         this);
  movie_->Load("splash.html", "lang=" + context_.languageTag);
  gtk_widget_show_all(GTK_WIDGET(window_));
  gtk_window_present(window_);
}

void CSplashScreenDlg::WhenPainted(std::function<void()> then) {
  if (settled_ || movie_ == nullptr) {
    then();
    return;
  }
  whenPainted_.push_back(std::move(then));
  if (paintWatch_ == 0)
    paintWatch_ = context_.loop.startTimer(std::chrono::milliseconds(kLongestWaitMs), false, [this] {
      paintWatch_ = 0;
      OnPainted(false);
    });
}

void CSplashScreenDlg::OnPainted(bool drawn) {
  if (settled_) return;
  settled_ = true;
  painted_ = drawn;
  if (paintWatch_ != 0) context_.loop.stopTimer(paintWatch_);
  paintWatch_ = 0;
  std::vector<std::function<void()>> waiting;
  waiting.swap(whenPainted_);
  for (auto& then : waiting) then();
}

void CSplashScreenDlg::HostMainMovie(GtkWidget* view, int width, int height) {
  // Under the splash movie: it loads and runs, but nobody sees it yet.
  mainView_ = view;
  mainViewSize_ = GdkRectangle{0, 0, width, height};
  g_signal_connect(overlay_, "get-child-position",
                   G_CALLBACK(+[](GtkOverlay*, GtkWidget* child, GdkRectangle* allocation, gpointer self) -> gboolean {
                     auto* splash = static_cast<CSplashScreenDlg*>(self);
                     if (child != splash->mainView_) return FALSE;
                     *allocation = splash->mainViewSize_;
                     return TRUE;
                   }),
                   this);
  gtk_overlay_add_overlay(overlay_, view);
  gtk_overlay_reorder_overlay(overlay_, view, 0);
  gtk_widget_show(view);
}

void CSplashScreenDlg::ReleaseMainMovie(GtkWidget* view) {
  if (gtk_widget_get_parent(view) == GTK_WIDGET(overlay_)) gtk_container_remove(GTK_CONTAINER(overlay_), view);
  mainView_ = nullptr;
}

void CSplashScreenDlg::CancelPaintWatch() {
  if (paintCancel_ == nullptr) return;
  g_cancellable_cancel(paintCancel_);
  g_object_unref(paintCancel_);
  paintCancel_ = nullptr;
}

void CSplashScreenDlg::Dismiss() {
  CancelPaintWatch();
  control_.reset();
  if (movie_) {
    g_signal_handlers_disconnect_by_data(movie_->Widget(), this);
    movie_->Close();
    movie_.reset();
  }
  gtk_widget_hide(GTK_WIDGET(window_));
}

}  // namespace vornida
