#include "desktop/vornida_app.h"

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>

#include "app/folders.h"
#include "app/paths.h"
#include "app/registry.h"
#include "desktop/desktop_context.h"
#include "desktop/main_frame.h"
#include "desktop/splash.h"
#include "desktop/timing_log.h"
#include "engine/collage_run.h"
#include "host/worker_threads.h"
#include "photos/photo_library.h"
#include "platform/gtk/web_movie.h"
#include "platform/system_codes.h"

namespace vornida {

namespace {

// The desktop entry's id. Both halves of every window's WM_CLASS carry it, so
// that the desktop matches the windows with the entry (its StartupWMClass).
constexpr const char* kApplicationId = "example.vornida.Vornida";
constexpr const char* kSplashPage = "splash.html";
constexpr const char* kMainPage = "main.html";
constexpr const char* kNoWebEngine =
    "Vornida needs the WebKitGTK web engine (package libwebkit2gtk-4.1-0) to show its window, but it could not be "
    "started. Please reinstall Vornida or that package.";

void ShowErrorBox(platform::GtkDialogs& dialogs, const std::string& text) {
  platform::MessageBoxRequest box;
  box.text = text;
  box.caption = "Vornida";
  box.style = platform::kMbOk | platform::kMbIconError;
  dialogs.showMessageBox(box);
}

std::string DefaultMovieFolder() { return GetProgramFolder() + "/movie"; }

}  // namespace

std::string MovieFailureText(const std::string& file, const std::string& reason) {
  std::string text = "Vornida cannot show its window: the user interface file\n" + file +
                     "\nis missing or could not be loaded.";
  if (!reason.empty()) text += "\n\n" + reason;
  return text;
}

CVornidaApp::CVornidaApp() = default;

CVornidaApp::~CVornidaApp() = default;

int CVornidaApp::Run(const DesktopOptions& options) {
  if (!InitInstance(options)) return exitStatus_ != 0 ? exitStatus_ : 1;
  platform::GtkEventLoop& loop = context_->loop;
  while (!loop.quitRequested()) loop.iterate(true);
  return ExitInstance();
}

bool CVornidaApp::InitInstance(const DesktopOptions& options) {
  g_set_prgname(kApplicationId);
  g_set_application_name("Vornida");
  if (!gtk_init_check(nullptr, nullptr)) {
    g_printerr("vornida: cannot open the display%s%s\n", g_getenv("DISPLAY") ? " " : "",
               g_getenv("DISPLAY") ? g_getenv("DISPLAY") : "");
    exitStatus_ = 1;
    return false;
  }
  // After the display is open: opening it sets the class from the program's name.
  gdk_set_program_class(kApplicationId);
  const std::string movieFolder = options.movieFolder.empty() ? DefaultMovieFolder() : options.movieFolder;

  context_ = std::make_unique<DesktopContext>(options, movieFolder);
  for (const char* page : {kSplashPage, kMainPage}) {
    const std::string path = movieFolder + "/" + page;
    if (!g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR)) {
      ShowErrorBox(context_->dialogs, MovieFailureText(path, ""));
      exitStatus_ = 1;
      return false;
    }
  }

  InitThumbnailFolder("Vornida");
  InitAppDataFolder("Vornida");
  SelectRegistryStore("Vornida", "vornida");

  // Signals and the end of the session close the program as its window does.
  for (int signal : {SIGTERM, SIGINT, SIGHUP})
    g_unix_signal_add(signal, +[](gpointer self) -> gboolean {
      static_cast<CVornidaApp*>(self)->RequestExit();
      return G_SOURCE_CONTINUE;
    }, this);
  SetWorkerChangeListener([loop = &context_->loop] { loop->wake(); });

  // The web engine stands in for the player the movies need; without it no
  // window can be shown. A view that cannot be made is known at once; a web
  // process that cannot start fails the splash's load (FailStartup).
  splash_ = std::make_unique<CSplashScreenDlg>(*context_);
  if (splash_->Movie()->View() == nullptr) {
    splash_.reset();
    ShowErrorBox(context_->dialogs, kNoWebEngine);
    exitStatus_ = 1;
    return false;
  }
  context_->dialogParent = splash_->Window();
  if (!options.timingLog.empty()) {
    timing_ = std::make_unique<TimingLog>(options.timingLog, context_->loop);
    timing_->WatchFirstDraw(GTK_WIDGET(splash_->Window()), "splash-shown");
  }
  splash_->Movie()->SetFailureHandler([this, movieFolder](const std::string& what) {
    FailStartup(movieFolder + "/" + kSplashPage, what);
  });
  splash_->Show();

  mainWindow_ = std::make_unique<CMainFrame>(*context_, [this] { RequestExit(); });
  mainWindow_->SetLoadCompleteHandler([this] {
    if (timing_) timing_->Record("load-complete");
    context_->loop.post([this] { OnMainMovieLoaded(); });
  });
  if (timing_) {
    timing_->WatchFirstDraw(GTK_WIDGET(mainWindow_->Window()), "main-shown");
    mainWindow_->Canvas().SetDrawObserver([timing = timing_.get()] { timing->Record("frame"); });
  }
  platform::WebMovie& movie = mainWindow_->Movie();
  movie.SetFailureHandler([this, movieFolder](const std::string& what) {
    FailStartup(movieFolder + "/" + kMainPage, what);
  });
  const int timeout = options.loadTimeoutSeconds;
  movie.SetLoadedHandler([this, movieFolder, timeout] {
    // A page that arrived but never says it is ready would leave the splash
    // up for ever.
    if (loadWatch_ != 0 || mainWindow_->IsHandedOver()) return;
    loadWatch_ = static_cast<unsigned>(context_->loop.startTimer(std::chrono::seconds(timeout), false, [this, movieFolder] {
      loadWatch_ = 0;
      if (!mainWindow_->IsHandedOver())
        FailStartup(movieFolder + "/" + kMainPage, "The page did not report that it had started.");
    }));
  });
  const GdkRectangle area = CMainFrame::MaximisedArea();
  splash_->HostMainMovie(movie.Widget(), area.width, area.height);
  movie.Load(kMainPage, "lang=" + context_->languageTag);
  return true;
}

void CVornidaApp::OnMainMovieLoaded() {
  if (mainWindow_ == nullptr || mainWindow_->IsHandedOver() || context_->loop.quitRequested()) return;
  if (loadWatch_ != 0) context_->loop.stopTimer(loadWatch_);
  loadWatch_ = 0;
  // The splash is seen before the main window takes over, however fast the
  // main movie was.
  splash_->WhenPainted([this] {
    if (mainWindow_ == nullptr || mainWindow_->IsHandedOver() || context_->loop.quitRequested()) return;
    if (timing_ && splash_->IsPainted()) timing_->Record("splash-painted");
    mainWindow_->HandOver([this](GtkWidget* view) { splash_->ReleaseMainMovie(view); });
    context_->dialogParent = mainWindow_->Window();
    splash_->Dismiss();
    mainWindow_->OpenFiles(context_->options.files);
  });
}

void CVornidaApp::RequestExit() {
  if (context_ == nullptr || context_->loop.quitRequested()) return;
  // The window goes at once; the workers finish behind it.
  if (mainWindow_ != nullptr) gtk_widget_hide(GTK_WIDGET(mainWindow_->Window()));
  context_->loop.requestQuit();
}

void CVornidaApp::FailStartup(const std::string& file, const std::string& reason) {
  if (context_->loop.quitRequested()) return;
  if (splash_ != nullptr) gtk_widget_hide(GTK_WIDGET(splash_->Window()));
  if (mainWindow_ != nullptr) gtk_widget_hide(GTK_WIDGET(mainWindow_->Window()));
  context_->dialogParent = nullptr;
  ShowErrorBox(context_->dialogs, MovieFailureText(file, reason));
  exitStatus_ = 1;
  context_->loop.requestQuit();
}

int CVornidaApp::ExitInstance() {
  platform::GtkEventLoop& loop = context_->loop;
  if (loadWatch_ != 0) loop.stopTimer(loadWatch_);
  splash_.reset();
  // A running layout is cancelled, then every worker stops on its own; they
  // may still call the movie, so the loop keeps turning.
  CollageRunner::Shared().CancelAndWait(loop);
  SetStopping(true);
  while (WorkerThreadCount() > 0) loop.iterate(true);
  SetWorkerChangeListener({});
  mainWindow_.reset();
  ClearAllPhotos();
  timing_.reset();
  const std::string thumbnails = GetThumbnailFolder();
  if (!thumbnails.empty()) ShellFileOperation(thumbnails + "/*.*", "", kShellDelete);
  context_.reset();
  return exitStatus_;
}

}  // namespace vornida
