#include "platform/gtk/web_movie.h"

#include <libsoup/soup.h>

#include <memory>
#include <utility>

#include "platform/gtk/movie_scheme.h"

namespace vornida::platform {

namespace {

struct PendingCall {
  bool done = false;
  bool ok = false;
  std::string answer;
};

void OnCallDone(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<std::shared_ptr<PendingCall>> holder(static_cast<std::shared_ptr<PendingCall>*>(data));
  PendingCall& pending = **holder;
  GError* error = nullptr;
  JSCValue* value = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), result, &error);
  if (value != nullptr) {
    pending.ok = true;
    if (!jsc_value_is_undefined(value) && !jsc_value_is_null(value)) {
      char* text = jsc_value_to_string(value);
      pending.answer = text != nullptr ? text : "";
      g_free(text);
    }
    g_object_unref(value);
  } else if (error != nullptr) {
    g_error_free(error);
  }
  pending.done = true;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

void FinishWithError(WebKitURISchemeRequest* request, int status, const std::string& reason) {
  GError* error = g_error_new(G_IO_ERROR, status == 404 ? G_IO_ERROR_NOT_FOUND : G_IO_ERROR_PERMISSION_DENIED,
                              "%s", reason.c_str());
  webkit_uri_scheme_request_finish_error(request, error);
  g_error_free(error);
}

}  // namespace

// ---------------------------------------------------------------------------
// WebEngine

WebEngine::WebEngine(WebEngineOptions options) : options_(std::move(options)) {
  // Nothing of the pages is kept between runs: the movie keeps its settings
  // through the native side.
  context_ = webkit_web_context_new_ephemeral();
  webkit_web_context_set_cache_model(context_, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
  webkit_web_context_register_uri_scheme(context_, std::string(kMovieScheme).c_str(), &WebEngine::OnSchemeRequest,
                                         this, nullptr);
  WebKitSecurityManager* security = webkit_web_context_get_security_manager(context_);
  webkit_security_manager_register_uri_scheme_as_secure(security, std::string(kMovieScheme).c_str());
  webkit_security_manager_register_uri_scheme_as_cors_enabled(security, std::string(kMovieScheme).c_str());
  if (options_.allowAutomation) {
    webkit_web_context_set_automation_allowed(context_, TRUE);
    g_signal_connect(context_, "automation-started", G_CALLBACK(&WebEngine::OnAutomationStarted), this);
  }
}

WebEngine::~WebEngine() {
  g_signal_handlers_disconnect_by_data(context_, this);
  g_object_unref(context_);
}

void WebEngine::OnSchemeRequest(WebKitURISchemeRequest* request, gpointer self) {
  auto* engine = static_cast<WebEngine*>(self);
  const SchemeRequest parsed = ParseSchemeUri(webkit_uri_scheme_request_get_uri(request));
  ServedFile file;
  switch (parsed.target) {
    case SchemeTarget::MovieFile: file = ReadMovieFile(engine->options_.movieFolder, parsed.path); break;
    case SchemeTarget::LocalPicture: file = ReadLocalPicture(parsed.path); break;
    case SchemeTarget::Invalid: file.status = 403; file.error = "not an address of the program"; break;
  }
  if (!file.error.empty()) {
    FinishWithError(request, file.status, file.error);
    return;
  }
  const gsize size = file.data.size();
  auto* bytes = new std::string(std::move(file.data));
  GBytes* body = g_bytes_new_with_free_func(bytes->data(), size, [](gpointer data) { delete static_cast<std::string*>(data); },
                                            bytes);
  GInputStream* stream = g_memory_input_stream_new_from_bytes(body);
  g_bytes_unref(body);
  WebKitURISchemeResponse* response = webkit_uri_scheme_response_new(stream, static_cast<gint64>(size));
  g_object_unref(stream);
  webkit_uri_scheme_response_set_content_type(response, file.contentType.c_str());
  webkit_uri_scheme_response_set_status(response, 200, nullptr);
  // Thumbnails and the preview picture are rewritten under the same names.
  SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  soup_message_headers_append(headers, "Content-Type", file.contentType.c_str());
  soup_message_headers_append(headers, "Cache-Control", "no-store");
  // Pictures live on their own host; the movie's pages may read them (to draw
  // a thumbnail into a canvas, say), nobody else.
  if (parsed.target == SchemeTarget::LocalPicture)
    soup_message_headers_append(headers, "Access-Control-Allow-Origin", "vornida://movie");
  webkit_uri_scheme_response_set_http_headers(response, headers);
  webkit_uri_scheme_request_finish_with_response(request, response);
  g_object_unref(response);
}

void WebEngine::OnAutomationStarted(WebKitWebContext*, WebKitAutomationSession* session, gpointer self) {
  auto* engine = static_cast<WebEngine*>(self);
  WebKitApplicationInfo* info = webkit_application_info_new();
  webkit_application_info_set_name(info, "vornida");
  webkit_automation_session_set_application_info(session, info);
  webkit_application_info_unref(info);
  g_signal_connect(session, "create-web-view",
                   G_CALLBACK(+[](WebKitAutomationSession*, gpointer data) -> WebKitWebView* {
                     auto* owner = static_cast<WebEngine*>(data);
                     // The session drives the main view; it keeps the reference it is given.
                     if (owner->automationView_ != nullptr) g_object_ref(owner->automationView_);
                     return owner->automationView_;
                   }),
                   engine);
}

// ---------------------------------------------------------------------------
// WebMovie

WebMovie::WebMovie(WebEngine& engine, GtkEventLoop& loop, Options options) : loop_(loop), options_(options) {
  WebKitUserContentManager* content = webkit_user_content_manager_new();
  webkit_user_content_manager_register_script_message_handler_with_reply(content, "vornida", nullptr);
  g_signal_connect(content, "script-message-with-reply-received::vornida", G_CALLBACK(&WebMovie::OnScriptMessage),
                   this);
  view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", engine.Context(), "user-content-manager",
                                       content, "is-controlled-by-automation",
                                       options_.controlledByAutomation ? TRUE : FALSE, nullptr));
  g_object_unref(content);
  g_object_ref_sink(view_);

  WebKitSettings* settings = webkit_web_view_get_settings(view_);
  webkit_settings_set_enable_developer_extras(settings, g_getenv("VORNIDA_WEB_INSPECTOR") != nullptr);
  webkit_settings_set_enable_back_forward_navigation_gestures(settings, FALSE);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
  // The page's own background colour, so that nothing flashes white or grey
  // between the window appearing and the page's first frame.
  const GdkRGBA background{0x12 / 255.0, 0x13 / 255.0, 0x18 / 255.0, 1.0};
  webkit_web_view_set_background_color(view_, &background);

  g_signal_connect(view_, "decide-policy", G_CALLBACK(&WebMovie::OnDecidePolicy), this);
  g_signal_connect(view_, "load-failed", G_CALLBACK(&WebMovie::OnLoadFailed), this);
  g_signal_connect(view_, "load-changed", G_CALLBACK(&WebMovie::OnLoadChanged), this);
  g_signal_connect(view_, "web-process-terminated", G_CALLBACK(&WebMovie::OnProcessTerminated), this);
  // The movie has its own menus; the engine's (Reload, Back...) has no place here.
  g_signal_connect(view_, "context-menu", G_CALLBACK(+[](WebKitWebView*, WebKitContextMenu*, GdkEvent*,
                                                         WebKitHitTestResult*, gpointer) -> gboolean {
                     return g_getenv("VORNIDA_WEB_INSPECTOR") == nullptr;
                   }),
                   nullptr);
}

WebMovie::~WebMovie() {
  closed_ = true;
  g_signal_handlers_disconnect_by_data(view_, this);
  WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view_);
  if (content != nullptr) g_signal_handlers_disconnect_by_data(content, this);
  gtk_widget_destroy(GTK_WIDGET(view_));
  g_object_unref(view_);
}

void WebMovie::Load(const std::string& page, const std::string& query) {
  webkit_web_view_load_uri(view_, MoviePageUri(page, query).c_str());
}

void WebMovie::Fail(const std::string& what) {
  if (failed_) return;
  failed_ = true;
  closed_ = true;
  if (onFailure_) onFailure_(what);
}

gboolean WebMovie::OnScriptMessage(WebKitUserContentManager*, JSCValue* value, WebKitScriptMessageReply* reply,
                                   gpointer self) {
  auto* movie = static_cast<WebMovie*>(self);
  if (!jsc_value_is_string(value)) {
    webkit_script_message_reply_return_error_message(reply, "the request must be a string");
    return TRUE;
  }
  char* text = jsc_value_to_string(value);
  const std::string request = text != nullptr ? text : "";
  g_free(text);
  // The reply outlives a handler that turns the loop (a modal dialog) and
  // the page may send more calls meanwhile; each keeps its own value.
  webkit_script_message_reply_ref(reply);
  JSCContext* context = jsc_value_get_context(value);
  g_object_ref(context);
  movie->returnValues_.emplace_back();
  if (movie->sink_ != nullptr && !movie->closed_) movie->sink_->onFlashCall(request);
  const std::optional<std::string> answer = std::move(movie->returnValues_.back());
  movie->returnValues_.pop_back();
  JSCValue* result = jsc_value_new_string(context, answer ? answer->c_str() : "");
  webkit_script_message_reply_return_value(reply, result);
  g_object_unref(result);
  g_object_unref(context);
  webkit_script_message_reply_unref(reply);
  return TRUE;
}

bool WebMovie::callFunction(const std::string& request, std::string& response) {
  if (!isOpen()) return false;
  // The request goes in as an argument, never pasted into script text.
  std::string text = request;
  if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    text = valid;
    g_free(valid);
  }
  GVariantDict arguments;
  g_variant_dict_init(&arguments, nullptr);
  g_variant_dict_insert(&arguments, "request", "s", text.c_str());
  auto pending = std::make_shared<PendingCall>();
  webkit_web_view_call_async_javascript_function(
      view_, "if (typeof window.vornidaExternal !== 'function') throw new Error('no vornidaExternal');\n"
             "return window.vornidaExternal(request);",
      -1, g_variant_dict_end(&arguments), nullptr, nullptr, nullptr, &OnCallDone,
      new std::shared_ptr<PendingCall>(pending));
  const auto deadline = std::chrono::steady_clock::now() + options_.callTimeout;
  while (!pending->done && !closed_ && std::chrono::steady_clock::now() < deadline) loop_.iterate(true);
  if (!pending->done || !pending->ok) return false;
  response = std::move(pending->answer);
  return true;
}

void WebMovie::setReturnValue(const std::string& value) {
  if (!returnValues_.empty()) returnValues_.back() = value;
}

void WebMovie::focus() {
  if (view_ != nullptr) gtk_widget_grab_focus(GTK_WIDGET(view_));
}

void WebMovie::repaint() {
  if (view_ != nullptr) gtk_widget_queue_draw(GTK_WIDGET(view_));
}

gboolean WebMovie::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                  gpointer self) {
  auto* movie = static_cast<WebMovie*>(self);
  if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION)
    return FALSE;
  WebKitNavigationAction* action =
      webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  const char* uriText = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  const std::string uri = uriText != nullptr ? uriText : "";
  if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && StartsWith(uri, "vornida://movie/")) {
    webkit_policy_decision_use(decision);
    return TRUE;
  }
  webkit_policy_decision_ignore(decision);
  // A link the user followed to the outside opens in the desktop's browser.
  const bool outside = StartsWith(uri, "http://") || StartsWith(uri, "https://") || StartsWith(uri, "mailto:");
  if (outside && webkit_navigation_action_is_user_gesture(action) && movie->options_.shell != nullptr)
    movie->options_.shell->execute("open", uri, "", kShowShow);
  return TRUE;
}

gboolean WebMovie::OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer self) {
  auto* movie = static_cast<WebMovie*>(self);
  // A navigation our policy turned away also ends as a failed load.
  if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
      g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE))
    return FALSE;
  movie->Fail(std::string(uri != nullptr ? uri : "") + ": " + (error != nullptr ? error->message : "load failed"));
  return FALSE;
}

void WebMovie::OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
  auto* movie = static_cast<WebMovie*>(self);
  if (event == WEBKIT_LOAD_FINISHED && !movie->failed_ && movie->onLoaded_) movie->onLoaded_();
}

void WebMovie::OnProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer self) {
  auto* movie = static_cast<WebMovie*>(self);
  movie->Fail(reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT ? "the page ran out of memory"
                                                                 : "the page's process ended unexpectedly");
}

}  // namespace vornida::platform
