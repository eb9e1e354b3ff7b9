#include "desktop/desktop_context.h"

#include "app/folders.h"
#include "platform/gtk/movie_scheme.h"

namespace vornida {

namespace {

constexpr const char* kIconName = "example.vornida.Vornida";

}  // namespace

DesktopContext::DesktopContext(const DesktopOptions& opts, const std::string& folder)
    : options(opts),
      movieFolder(folder),
      languageTag(platform::MovieLanguageTag(g_getenv("LC_ALL"), g_getenv("LC_MESSAGES"), g_getenv("LANG"))),
      engine(platform::WebEngineOptions{folder, opts.automation}),
      shell(opts.shellLog),
      dialogs(loop, [this] { return dialogParent; }) {
  services.loop = &loop;
  services.fileDialogs = &dialogs;
  services.messageBoxes = &dialogs;
  services.shell = &shell;
  // The windows have the movies' dark colours while a page is not drawn yet:
  // the main window the page's own background, so the hand-over from the
  // splash shows no grey frame before the page's first one.
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css,
                                  "#vornida-splash, #vornida-splash-frame { background-color: #222222; }"
                                  "#vornida-main { background-color: #121318; }",
                                  -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);
}

std::string ProgramPicturePath(const std::string& name) { return GetProgramFolder() + "/" + name; }

void SetProgramIcon(GtkWindow* window) {
  GtkIconTheme* theme = gtk_icon_theme_get_default();
  if (theme != nullptr && gtk_icon_theme_has_icon(theme, kIconName)) {
    gtk_window_set_icon_name(window, kIconName);
    return;
  }
  // The program's own sizes: beside the executable in the build tree, and in
  // the icon theme folder beside the installed program folder otherwise.
  const std::string folder = GetModuleFolder();
  const std::string installed = GetProgramFolder() + "/../icons";
  GList* icons = nullptr;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    const std::string tail = "/hicolor/" + std::to_string(size) + "x" + std::to_string(size) + "/apps/" + kIconName + ".png";
    for (const std::string& base : {folder + "/icons", installed}) {
      GdkPixbuf* icon = gdk_pixbuf_new_from_file((base + tail).c_str(), nullptr);
      if (icon != nullptr) {
        icons = g_list_append(icons, icon);
        break;
      }
    }
  }
  if (icons != nullptr) gtk_window_set_icon_list(window, icons);
  g_list_free_full(icons, g_object_unref);
}

}  // namespace vornida
