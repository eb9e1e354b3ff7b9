// The desktop host's rules that need no display: what the program's URI
// scheme serves, the locale's language tag, the dialogs' filters and
// message-box layouts, the command line, the files handed to the program,
// the window's first size and the GLib event loop.
#include <gtest/gtest.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "../app/scratch.h"
#include "desktop/command_line.h"
#include "desktop/main_frame.h"
#include "desktop/opened_files.h"
#include "desktop/vornida_app.h"
#include "platform/gtk/dialog_mapping.h"
#include "platform/gtk/gtk_canvas.h"
#include "platform/gtk/gtk_event_loop.h"
#include "platform/gtk/gtk_frame.h"
#include "platform/gtk/gtk_shell.h"
#include "platform/gtk/movie_scheme.h"
#include "platform/system_codes.h"

namespace vornida {
namespace {

using platform::SchemeTarget;
using testing::ScratchFolder;
using testing::WriteBytes;

const std::string kPngHead("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);

TEST(MovieScheme, MovieAddressesStayInsideTheMovieFolder) {
  auto page = platform::ParseSchemeUri("vornida://movie/js/main.js?lang=zh-CN#top");
  EXPECT_EQ(page.target, SchemeTarget::MovieFile);
  EXPECT_EQ(page.path, "js/main.js");
  EXPECT_EQ(platform::ParseSchemeUri("vornida://movie/./css//app.css").path, "css/app.css");
  // Stepping out, encoded or not, and other hosts or schemes are refused.
  for (const char* uri : {"vornida://movie/../secret", "vornida://movie/js/%2E%2E/%2E%2E/etc/passwd",
                          "vornida://movie/", "vornida://other/x.html", "http://movie/main.html",
                          "vornida://movie/a%00b", "vornida://movie/bad%zzescape", "vornida://movie/cut%4"})
    EXPECT_EQ(platform::ParseSchemeUri(uri).target, SchemeTarget::Invalid) << uri;
}

TEST(MovieScheme, LocalPictureAddressesRoundTripAnyPath) {
  for (const std::string path : {"/home/ann/Pictures/sky.jpg", "/tmp/Tom & Jerry's 100% #1?.png",
                                 "/data/照片/海边.jpeg", "/a b/c+d=e.webp"}) {
    const std::string uri = platform::LocalPictureUri(path);
    EXPECT_EQ(uri.find('#'), std::string::npos) << uri;
    EXPECT_EQ(uri.find('?'), std::string::npos) << uri;
    const auto parsed = platform::ParseSchemeUri(uri);
    EXPECT_EQ(parsed.target, SchemeTarget::LocalPicture) << uri;
    EXPECT_EQ(parsed.path, path) << uri;
    // The page adds "?v=N" to make the engine fetch a changed preview anew.
    const auto busted = platform::ParseSchemeUri(uri + "?v=12");
    EXPECT_EQ(busted.target, SchemeTarget::LocalPicture) << uri;
    EXPECT_EQ(busted.path, path) << uri;
  }
  EXPECT_EQ(platform::ParseSchemeUri("vornida://movie/js/version.js?v=3.61").path, "js/version.js");
  EXPECT_EQ(platform::ParseSchemeUri("vornida://file/tmp/../etc/shadow").target, SchemeTarget::Invalid);
}

TEST(MovieScheme, OnlyRegularPictureFilesAreServed) {
  ScratchFolder scratch;
  WriteBytes(scratch / "photo.png", kPngHead + "rest of the picture");
  WriteBytes(scratch / "photo.jpg", std::string("\xFF\xD8\xFF\xE0", 4) + "jfif");
  WriteBytes(scratch / "anim.gif", "GIF89a....");
  WriteBytes(scratch / "pic.webp", std::string("RIFF\0\0\0\0WEBPVP8 ", 16));
  WriteBytes(scratch / "pic.bmp", std::string("BM") + std::string(40, '\0'));
  WriteBytes(scratch / "notes.png", "just some text, named like a picture");
  WriteBytes(scratch / "empty.jpg", "");
  ::mkdir((scratch / "folder.png").c_str(), 0700);
  ::mkfifo((scratch / "pipe.png").c_str(), 0600);
  ASSERT_EQ(::symlink((scratch / "photo.png").c_str(), (scratch / "link.png").c_str()), 0);

  const auto png = platform::ReadLocalPicture(scratch / "photo.png");
  EXPECT_TRUE(png.error.empty());
  EXPECT_EQ(png.contentType, "image/png");
  EXPECT_EQ(png.data, kPngHead + "rest of the picture");
  EXPECT_EQ(platform::ReadLocalPicture(scratch / "photo.jpg").contentType, "image/jpeg");
  EXPECT_EQ(platform::ReadLocalPicture(scratch / "anim.gif").contentType, "image/gif");
  EXPECT_EQ(platform::ReadLocalPicture(scratch / "pic.webp").contentType, "image/webp");
  EXPECT_EQ(platform::ReadLocalPicture(scratch / "pic.bmp").contentType, "image/bmp");
  EXPECT_EQ(platform::ReadLocalPicture(scratch / "link.png").contentType, "image/png");

  for (const char* refused : {"notes.png", "empty.jpg", "folder.png", "pipe.png"}) {
    const auto file = platform::ReadLocalPicture(scratch / refused);
    EXPECT_EQ(file.status, 403) << refused;
    EXPECT_TRUE(file.data.empty()) << refused;
  }
  EXPECT_EQ(platform::ReadLocalPicture(scratch / "missing.png").status, 404);
  EXPECT_EQ(platform::ReadLocalPicture("relative/photo.png").status, 403);
}

TEST(MovieScheme, MovieFilesCarryTheirContentType) {
  ScratchFolder scratch;
  ::mkdir((scratch / "js").c_str(), 0700);
  WriteBytes(scratch / "main.html", "<!doctype html>");
  WriteBytes(scratch / "js/app.mjs", "export {}");
  const auto page = platform::ReadMovieFile(scratch.path(), "main.html");
  EXPECT_EQ(page.contentType, "text/html");
  EXPECT_EQ(page.data, "<!doctype html>");
  // Module scripts load only with a script type.
  EXPECT_EQ(platform::ReadMovieFile(scratch.path(), "js/app.mjs").contentType, "text/javascript");
  EXPECT_EQ(platform::ReadMovieFile(scratch.path(), "js").status, 404);
  EXPECT_EQ(platform::ReadMovieFile(scratch.path(), "nothing.css").status, 404);
  EXPECT_EQ(platform::ContentTypeForName("strings/zh-CN.JSON"), "application/json");
  EXPECT_EQ(platform::ContentTypeForName("icon.svg"), "image/svg+xml");
}

TEST(MovieLanguage, TagComesFromTheFirstLocaleVariableSet) {
  EXPECT_EQ(platform::MovieLanguageTag(nullptr, nullptr, "zh_CN.UTF-8"), "zh-CN");
  EXPECT_EQ(platform::MovieLanguageTag("", "de_DE@euro", "zh_CN.UTF-8"), "de-DE");
  EXPECT_EQ(platform::MovieLanguageTag("fr_FR.UTF-8", "de_DE", "zh_CN"), "fr-FR");
  EXPECT_EQ(platform::MovieLanguageTag(nullptr, nullptr, nullptr), "en");
  EXPECT_EQ(platform::MovieLanguageTag("C.UTF-8", nullptr, "zh_CN"), "en");
  EXPECT_EQ(platform::MovieLanguageTag("POSIX", nullptr, nullptr), "en");
  EXPECT_EQ(platform::MovieLanguageTag(nullptr, nullptr, "en"), "en");
  // Nothing that could break out of the query reaches the page.
  EXPECT_EQ(platform::MovieLanguageTag(nullptr, nullptr, "x&y=1"), "en");
}

TEST(FileFilters, MovieFilterStringsBecomeCaseInsensitiveGlobs) {
  const auto filters = platform::ParseFileFilter(
      "Picture Files (*.jpg;*.gif;*.bmp;*.png)|*.jpg;*.gif;*.bmp;*.png|All Files (*.*)|*.*||ignored|*.x|");
  ASSERT_EQ(filters.size(), 2u);
  EXPECT_EQ(filters[0].name, "Picture Files (*.jpg;*.gif;*.bmp;*.png)");
  ASSERT_EQ(filters[0].patterns.size(), 4u);
  auto matches = [](const std::string& pattern, const char* name) { return ::fnmatch(pattern.c_str(), name, 0) == 0; };
  EXPECT_TRUE(matches(filters[0].patterns[0], "photo.jpg"));
  EXPECT_TRUE(matches(filters[0].patterns[0], "PHOTO.JPG"));
  EXPECT_TRUE(matches(filters[0].patterns[0], "Photo.Jpg"));
  EXPECT_FALSE(matches(filters[0].patterns[0], "photo.jpeg"));
  EXPECT_TRUE(matches(filters[0].patterns[3], "scan.PNG"));
  EXPECT_EQ(filters[1].patterns, std::vector<std::string>{"*"});  // "*.*" takes names without a dot too
  const std::string project = platform::CaseInsensitiveGlob("MyShape?.VRN");
  EXPECT_TRUE(matches(project, "myshape1.vrn"));
  EXPECT_FALSE(matches(project, "myshape.vrn"));
  // Texts from the movie may be missing: an entry without patterns is dropped.
  EXPECT_TRUE(platform::ParseFileFilter("").empty());
  EXPECT_EQ(platform::ParseFileFilter("PNG(*.png)|*.png|Empty||").size(), 1u);
  EXPECT_EQ(platform::ParseFileFilter("(*.psd)|*.psd| (*.*)|*.*||").size(), 2u);
}

TEST(MessageBoxLayout, EveryWindowsStyleGivesItsButtonsAndAnswers) {
  using namespace platform;
  auto ids = [](std::uint32_t style) {
    std::vector<int> result;
    for (const MessageBoxButton& button : LayoutForStyle(style).buttons) result.push_back(button.id);
    return result;
  };
  EXPECT_EQ(ids(kMbOk), (std::vector<int>{kIdOk}));
  EXPECT_EQ(ids(kMbOkCancel), (std::vector<int>{kIdCancel, kIdOk}));
  EXPECT_EQ(ids(kMbAbortRetryIgnore), (std::vector<int>{kIdAbort, kIdRetry, kIdIgnore}));
  EXPECT_EQ(ids(kMbYesNoCancel), (std::vector<int>{kIdCancel, kIdNo, kIdYes}));
  EXPECT_EQ(ids(kMbYesNo), (std::vector<int>{kIdNo, kIdYes}));
  EXPECT_EQ(ids(kMbRetryCancel), (std::vector<int>{kIdCancel, kIdRetry}));
  EXPECT_EQ(ids(0xE), (std::vector<int>{kIdOk}));

  // 36 is Yes/No with the question icon; Yes is the default, closing says No.
  const MessageBoxLayout question = LayoutForStyle(36);
  EXPECT_EQ(question.icon, MessageBoxIcon::Question);
  EXPECT_EQ(question.defaultId, kIdYes);
  EXPECT_EQ(question.closeId, kIdNo);
  // MB_DEFBUTTON2 and 3 count in the system's order: Yes, No, Cancel.
  EXPECT_EQ(LayoutForStyle(kMbYesNoCancel | 0x100).defaultId, kIdNo);
  EXPECT_EQ(LayoutForStyle(kMbYesNoCancel | 0x200).defaultId, kIdCancel);
  EXPECT_EQ(LayoutForStyle(kMbOkCancel | 0x300).defaultId, kIdOk);  // beyond the buttons: the first
  EXPECT_EQ(LayoutForStyle(kMbOkCancel).closeId, kIdCancel);
  EXPECT_EQ(LayoutForStyle(kMbAbortRetryIgnore).closeId, kIdAbort);
  EXPECT_EQ(LayoutForStyle(kMbOk | kMbIconError).icon, MessageBoxIcon::Error);
  EXPECT_EQ(LayoutForStyle(kMbOk | kMbIconWarning).icon, MessageBoxIcon::Warning);
  EXPECT_EQ(LayoutForStyle(0x44).icon, MessageBoxIcon::Information);
  EXPECT_EQ(LayoutForStyle(kMbOk).icon, MessageBoxIcon::None);
}

TEST(SystemMenu, ItemsFollowTheMaximisedState) {
  platform::SystemMenuState maximised;
  maximised.restoreEnabled = true;
  maximised.maximizeEnabled = maximised.moveEnabled = maximised.sizeEnabled = false;
  std::vector<std::pair<std::uint32_t, bool>> seen;
  for (const auto& item : platform::SystemMenuItems(maximised))
    if (item.command != 0) seen.emplace_back(item.command, item.enabled);
  EXPECT_EQ(seen, (std::vector<std::pair<std::uint32_t, bool>>{{platform::kScRestore, true},
                                                               {platform::kScMove, false},
                                                               {platform::kScSize, false},
                                                               {platform::kScMinimize, true},
                                                               {platform::kScMaximize, false},
                                                               {platform::kScClose, true}}));
}

TEST(Shell, FileManagerRequestsNameTheSavedFile) {
  EXPECT_EQ(platform::SelectedPathOf("/Select, /home/ann/collage.png"), "/home/ann/collage.png");
  EXPECT_EQ(platform::SelectedPathOf("/Select,/tmp/a b.psd"), "/tmp/a b.psd");
  EXPECT_EQ(platform::SelectedPathOf("/Select, "), "");
  EXPECT_EQ(platform::SelectedPathOf("/home/ann/collage.png"), "");

  ScratchFolder scratch;
  platform::GtkShell recorder(scratch / "shell.log");
  EXPECT_TRUE(recorder.execute("open", "Explorer", "/Select, /tmp/x.png", platform::kShowNormal));
  EXPECT_TRUE(recorder.execute("open", "https://example.org/", "", platform::kShowShow));
  EXPECT_EQ(testing::ReadBytes(scratch / "shell.log"),
            "open Explorer /Select, /tmp/x.png\nopen https://example.org/\n");
}

TEST(CommandLine, FilesAndOptions) {
  auto line = ParseDesktopCommandLine({"--movie-folder", "/tmp/m", "a.jpg", "--automation", "--shell-log=/tmp/s",
                                       "--load-timeout", "5", "--", "--not-an-option.jpg"});
  ASSERT_EQ(line.action, DesktopCommandLine::Action::Run) << line.error;
  EXPECT_EQ(line.options.movieFolder, "/tmp/m");
  EXPECT_TRUE(line.options.automation);
  EXPECT_EQ(line.options.shellLog, "/tmp/s");
  EXPECT_EQ(line.options.loadTimeoutSeconds, 5);
  EXPECT_EQ(line.options.files, (std::vector<std::string>{"a.jpg", "--not-an-option.jpg"}));

  EXPECT_EQ(ParseDesktopCommandLine({"x.vrn", "--help"}).action, DesktopCommandLine::Action::ShowHelp);
  EXPECT_EQ(ParseDesktopCommandLine({"--version"}).action, DesktopCommandLine::Action::ShowVersion);
  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{"--frobnicate"}, {"--movie-folder"}, {"--movie-folder="},
                                             {"--load-timeout", "0"}, {"--load-timeout", "5s"}, {"-"}}) {
    const auto failed = ParseDesktopCommandLine(bad);
    EXPECT_EQ(failed.action, DesktopCommandLine::Action::Fail) << bad[0];
    EXPECT_FALSE(failed.error.empty());
  }
  EXPECT_NE(DesktopUsage().find("--movie-folder"), std::string::npos);
}

TEST(OpenedFiles, OneProjectOpensAndEverythingElseIsSearchedForPhotos) {
  ScratchFolder scratch;
  ::mkdir((scratch / "trip").c_str(), 0700);
  ::mkdir((scratch / "trip/day2").c_str(), 0700);
  WriteBytes(scratch / "trip/b.JPG", "x");
  WriteBytes(scratch / "trip/day2/a.png", "x");
  WriteBytes(scratch / "trip/notes.txt", "x");
  WriteBytes(scratch / "first.VRN", "<p/>");
  WriteBytes(scratch / "second.vrn", "<p/>");
  WriteBytes(scratch / "single.webp", "x");
  const OpenedFiles opened =
      SortOpenedFiles({scratch / "first.VRN", scratch / "trip", scratch / "second.vrn", scratch / "single.webp"});
  EXPECT_EQ(opened.project, scratch / "first.VRN");
  EXPECT_EQ(opened.photos,
            (std::vector<std::string>{scratch / "trip/b.JPG", scratch / "trip/day2/a.png", scratch / "single.webp"}));
  EXPECT_TRUE(SortOpenedFiles({}).photos.empty());
}

TEST(MainWindow, FirstSizeIs900Of1280OfTheScreen) {
  int width = 0, height = 0;
  CMainFrame::InitialSize(1920, 1080, width, height);
  EXPECT_EQ(width, 1350);
  EXPECT_EQ(height, 759);
  CMainFrame::InitialSize(1280, 1024, width, height);
  EXPECT_EQ(width, 900);
  EXPECT_EQ(height, 720);
}

TEST(MainWindow, MissingMovieMessageNamesTheFile) {
  const std::string text = MovieFailureText("/opt/vornida/movie/main.html", "not found");
  EXPECT_NE(text.find("/opt/vornida/movie/main.html"), std::string::npos);
  EXPECT_NE(text.find("not found"), std::string::npos);
}

TEST(Canvas, PicturesArePremultipliedForCairo) {
  const std::uint32_t pixels[4] = {0xFF102030u, 0x80FF0000u, 0x00FFFFFFu, 0xFFFFFFFFu};
  cairo_surface_t* surface = platform::SurfaceFromPixels(platform::PixelView{pixels, 2, 2, 8});
  ASSERT_NE(surface, nullptr);
  const auto* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  auto at = [&](int x, int y) { return reinterpret_cast<const std::uint32_t*>(data + y * stride)[x]; };
  EXPECT_EQ(at(0, 0), 0xFF102030u);
  EXPECT_EQ(at(1, 0), 0x80800000u);
  EXPECT_EQ(at(0, 1), 0x00000000u);
  EXPECT_EQ(at(1, 1), 0xFFFFFFFFu);
  cairo_surface_destroy(surface);
  EXPECT_EQ(platform::SurfaceFromPixels(platform::PixelView{}), nullptr);
}

TEST(GtkEventLoop, TasksFromManyThreadsRunInOrderOnTheUiThread) {
  platform::GtkEventLoop loop;
  std::vector<int> order;
  std::atomic<int> offUiThread{0};
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t)
    posters.emplace_back([&, t] {
      for (int i = 0; i < 100; ++i)
        loop.post([&, t, i] {
          if (!loop.onUiThread()) ++offUiThread;
          order.push_back(t * 1000 + i);
        });
    });
  for (auto& poster : posters) poster.join();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (order.size() < 400 && std::chrono::steady_clock::now() < deadline) loop.iterate(true);
  ASSERT_EQ(order.size(), 400u);
  EXPECT_EQ(offUiThread.load(), 0);
  // Each thread's tasks keep the order in which it posted them.
  for (int t = 0; t < 4; ++t) {
    int last = -1;
    for (int value : order)
      if (value / 1000 == t) {
        EXPECT_GT(value % 1000, last);
        last = value % 1000;
      }
  }
}

TEST(GtkEventLoop, TimersFireOnceOrRepeatUntilStopped) {
  platform::GtkEventLoop loop;
  int once = 0, repeated = 0;
  loop.startTimer(std::chrono::milliseconds(0), false, [&] { ++once; });
  platform::EventLoop::TimerId repeating = 0;
  repeating = loop.startTimer(std::chrono::milliseconds(5), true, [&] {
    if (++repeated == 3) loop.stopTimer(repeating);  // a timer may stop itself
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while ((once == 0 || repeated < 3) && std::chrono::steady_clock::now() < deadline) loop.iterate(true);
  for (int i = 0; i < 5; ++i) loop.iterate(false);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  while (loop.iterate(false)) {
  }
  EXPECT_EQ(once, 1);
  EXPECT_EQ(repeated, 3);
  EXPECT_EQ(loop.timerCount(), 0u);
  loop.stopTimer(repeating);  // already stopped: ignored
  loop.stopTimer(12345);
}

TEST(GtkEventLoop, BlockingTurnWakesForAPostAndNeverSleepsLong) {
  platform::GtkEventLoop loop;
  bool ran = false;
  std::thread poster([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    loop.post([&] { ran = true; });
  });
  const auto start = std::chrono::steady_clock::now();
  while (!ran) loop.iterate(true);
  poster.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  // With nothing to do a blocking turn still returns within its bound.
  const auto idle = std::chrono::steady_clock::now();
  loop.iterate(true);
  EXPECT_LT(std::chrono::steady_clock::now() - idle, std::chrono::milliseconds(1000));
}

}  // namespace
}  // namespace vornida
