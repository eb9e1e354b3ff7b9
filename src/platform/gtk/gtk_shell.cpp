#include "platform/gtk/gtk_shell.h"

#include <gio/gio.h>

#include <cstdio>
#include <memory>

namespace vornida::platform {

namespace {

bool HasUriScheme(const std::string& target) {
  char* scheme = g_uri_parse_scheme(target.c_str());
  const bool has = scheme != nullptr && std::string(scheme).size() > 1;  // "C:" is no scheme
  g_free(scheme);
  return has;
}

bool OpenUri(const std::string& uri) {
  GError* error = nullptr;
  const gboolean ok = g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error);
  if (error != nullptr) {
    g_message("cannot open %s: %s", uri.c_str(), error->message);
    g_error_free(error);
  }
  return ok != FALSE;
}

bool OpenPath(const std::string& path) {
  GFile* file = g_file_new_for_path(path.c_str());
  char* uri = g_file_get_uri(file);
  const bool ok = OpenUri(uri);
  g_free(uri);
  g_object_unref(file);
  return ok;
}

// Asks the file manager to show the file; opens its folder when no file
// manager takes the call. Does not wait for the answer.
void ShowInFileManager(const std::string& path) {
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  char* folder = g_path_get_dirname(path.c_str());
  const std::string folderPath = folder;
  g_free(folder);
  if (bus == nullptr) {
    if (error != nullptr) g_error_free(error);
    OpenPath(folderPath);
    return;
  }
  GFile* file = g_file_new_for_path(path.c_str());
  char* uri = g_file_get_uri(file);
  g_object_unref(file);
  GVariantBuilder uris;
  g_variant_builder_init(&uris, G_VARIANT_TYPE("as"));
  g_variant_builder_add(&uris, "s", uri);
  g_free(uri);
  auto* fallback = new std::string(folderPath);
  g_dbus_connection_call(bus, "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                         "org.freedesktop.FileManager1", "ShowItems", g_variant_new("(ass)", &uris, ""), nullptr,
                         G_DBUS_CALL_FLAGS_NONE, 5000, nullptr,
                         [](GObject* source, GAsyncResult* result, gpointer data) {
                           std::unique_ptr<std::string> folderToOpen(static_cast<std::string*>(data));
                           GError* callError = nullptr;
                           GVariant* reply =
                               g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &callError);
                           if (reply != nullptr) {
                             g_variant_unref(reply);
                             return;
                           }
                           if (callError != nullptr) g_error_free(callError);
                           OpenPath(*folderToOpen);
                         },
                         fallback);
  g_object_unref(bus);
}

}  // namespace

std::string SelectedPathOf(const std::string& parameters) {
  static const std::string kSelect = "/Select,";
  if (parameters.compare(0, kSelect.size(), kSelect) != 0) return {};
  std::string path = parameters.substr(kSelect.size());
  const std::size_t start = path.find_first_not_of(' ');
  return start == std::string::npos ? std::string() : path.substr(start);
}

bool GtkShell::execute(const std::string& verb, const std::string& target, const std::string& parameters,
                       int /*showState*/) {
  if (!recordFile_.empty()) {
    if (FILE* out = std::fopen(recordFile_.c_str(), "a")) {
      std::fprintf(out, "%s %s%s%s\n", verb.c_str(), target.c_str(), parameters.empty() ? "" : " ",
                   parameters.c_str());
      std::fclose(out);
    }
    return true;
  }
  if (verb != "open") return false;
  if (target == "Explorer") {
    const std::string path = SelectedPathOf(parameters);
    if (path.empty()) return false;
    ShowInFileManager(path);
    return true;
  }
  if (HasUriScheme(target)) return OpenUri(target);
  return OpenPath(target);
}

}  // namespace vornida::platform
