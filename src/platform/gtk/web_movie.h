// A movie shown in a WebKitGTK web view, and the web engine all movies share.
//
// The page and the native side speak the `invoke` XML of the bridge:
//
//   page -> native   window.webkit.messageHandlers.vornida.postMessage(xml)
//                    returns a Promise of the answer text ("" when the call
//                    set no value). The call is handled at once, on the GTK
//                    main thread, inside the message handler.
//   native -> page   window.vornidaExternal(xml) is called in the page and
//                    its result is the answer text (a Promise is awaited).
//                    A missing function, a thrown error or no answer within
//                    the call timeout is a failed call. While it waits the
//                    main loop keeps turning, so nothing else stalls.
//
// The engine serves the movie folder and local pictures under vornida://
// (movie_scheme.h), registered as secure and CORS-enabled so that module
// scripts load. Pages may not navigate anywhere else: a link to another
// address is handed to the desktop's browser instead.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/gtk/gtk_event_loop.h"
#include "platform/movie_transport.h"
#include "platform/shell.h"

namespace vornida::platform {

struct WebEngineOptions {
  std::string movieFolder;  // served under vornida://movie/
  // Lets WebKitWebDriver drive the main view (the program was started for it).
  bool allowAutomation = false;
};

class WebEngine {
 public:
  explicit WebEngine(WebEngineOptions options);
  ~WebEngine();
  WebEngine(const WebEngine&) = delete;
  WebEngine& operator=(const WebEngine&) = delete;

  WebKitWebContext* Context() const { return context_; }
  const WebEngineOptions& Options() const { return options_; }

  // The view an automation session takes as its browsing context.
  void SetAutomationView(WebKitWebView* view) { automationView_ = view; }

 private:
  static void OnSchemeRequest(WebKitURISchemeRequest* request, gpointer self);
  static void OnAutomationStarted(WebKitWebContext* context, WebKitAutomationSession* session, gpointer self);

  WebEngineOptions options_;
  WebKitWebContext* context_;
  WebKitWebView* automationView_ = nullptr;
};

class WebMovie final : public MovieTransport {
 public:
  struct Options {
    std::chrono::milliseconds callTimeout{5000};
    bool controlledByAutomation = false;  // only the view automation drives
    SystemShell* shell = nullptr;         // opens links to other addresses
  };

  WebMovie(WebEngine& engine, GtkEventLoop& loop, Options options);
  ~WebMovie() override;
  WebMovie(const WebMovie&) = delete;
  WebMovie& operator=(const WebMovie&) = delete;

  GtkWidget* Widget() const { return GTK_WIDGET(view_); }
  WebKitWebView* View() const { return view_; }

  // Loads a page of the movie folder ("main.html") with a query ("lang=en").
  void Load(const std::string& page, const std::string& query);
  // Called once when the page could not be loaded (missing file, a load
  // error) or its web process ended; the view is then closed.
  void SetFailureHandler(std::function<void(const std::string& what)> handler) { onFailure_ = std::move(handler); }
  // Called when the page has finished loading.
  void SetLoadedHandler(std::function<void()> handler) { onLoaded_ = std::move(handler); }

  // MovieTransport
  void setEventSink(MovieEventSink* sink) override { sink_ = sink; }
  bool isOpen() const override { return view_ != nullptr && !closed_; }
  bool callFunction(const std::string& request, std::string& response) override;
  void setReturnValue(const std::string& value) override;
  void focus() override;
  void repaint() override;

  // Makes later calls fail, as a destroyed window does.
  void Close() { closed_ = true; }
  // Number of page -> native calls being handled right now (nested ones too).
  std::size_t CallsInProgress() const { return returnValues_.size(); }

 private:
  static gboolean OnScriptMessage(WebKitUserContentManager* manager, JSCValue* value, WebKitScriptMessageReply* reply,
                                  gpointer self);
  static gboolean OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                 gpointer self);
  static gboolean OnLoadFailed(WebKitWebView* view, WebKitLoadEvent event, gchar* uri, GError* error, gpointer self);
  static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self);
  static void OnProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason, gpointer self);
  void Fail(const std::string& what);

  GtkEventLoop& loop_;
  Options options_;
  WebKitWebView* view_ = nullptr;
  MovieEventSink* sink_ = nullptr;
  bool closed_ = false;
  bool failed_ = false;
  std::vector<std::optional<std::string>> returnValues_;  // one per call in progress
  std::function<void(const std::string&)> onFailure_;
  std::function<void()> onLoaded_;
};

}  // namespace vornida::platform
