// The bridge between a page and the native side in a real web view: the
// page's calls with their answers, calls into the page (from the UI thread
// and from workers), delayed calls, and what the vornida:// scheme serves.
// Needs a display (ctest runs it under xvfb-run).
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sys/stat.h>

#include <atomic>
#include <functional>
#include <sstream>
#include <thread>

#include "../app/scratch.h"
#include "host/flash_ctrl.h"
#include "host/messages.h"
#include "xml/xml_doc.h"
#include "platform/gtk/gtk_event_loop.h"
#include "platform/gtk/gtk_wizard_view.h"
#include "platform/gtk/movie_scheme.h"
#include "platform/gtk/web_movie.h"
#include "platform/headless/headless_platform.h"

namespace vornida {
namespace {

using testing::ScratchFolder;

const std::string kPages = std::string(VORNIDA_SOURCE_DIR) + "/tests/desktop/pages/bridge";

// The window commands' control, plus "Echo", which answers its first
// argument as it stands, so that the page can receive every value form.
class TestControl final : public CAppFlashCtrlBase {
 public:
  using CAppFlashCtrlBase::CAppFlashCtrlBase;
  bool DispatchCall(DecodedCall& call) override {
    if (call.name == "Echo" && !call.args.empty()) {
      call.result = call.args[0];
      return true;
    }
    return CAppFlashCtrlBase::DispatchCall(call);
  }
};

std::string Invoke(const std::string& name, const std::vector<std::string>& args = {}) {
  std::string request = "<invoke name=\"" + name + "\" returntype=\"xml\"><arguments>";
  for (const std::string& arg : args) request += "<string>" + XmlEscape(arg) + "</string>";
  return request + "</arguments></invoke>";
}

class Bridge : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "needs a display"; }

  void SetUp() override {
    engine_ = std::make_unique<platform::WebEngine>(platform::WebEngineOptions{kPages, false});
    services_.loop = &loop_;
    services_.messageBoxes = &dialogs_;
    services_.fileDialogs = &dialogs_;
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window_), 400, 300);
    movie_ = MakeMovie("bridge.html");
    control_ = std::make_unique<TestControl>(*movie_, services_);
    ASSERT_TRUE(WaitFor([&] { return Call(Invoke("ready")) == "<true/>"; }));
  }

  void TearDown() override {
    control_.reset();
    movie_.reset();
    gtk_widget_destroy(window_);
    engine_.reset();
  }

  std::unique_ptr<platform::WebMovie> MakeMovie(const std::string& page) {
    platform::WebMovie::Options options;
    options.callTimeout = std::chrono::milliseconds(1500);
    auto movie = std::make_unique<platform::WebMovie>(*engine_, loop_, options);
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(window_));
    if (child != nullptr) gtk_container_remove(GTK_CONTAINER(window_), child);
    gtk_container_add(GTK_CONTAINER(window_), movie->Widget());
    gtk_widget_show_all(window_);
    bool loaded = false;
    movie->SetLoadedHandler([&loaded] { loaded = true; });
    movie->Load(page, "lang=en");
    WaitFor([&] { return loaded; });
    movie->SetLoadedHandler({});
    return movie;
  }

  template <typename Condition>
  bool WaitFor(Condition done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      loop_.iterate(true);
    }
    return true;
  }

  // A call into the page; "FAILED" when it failed.
  std::string Call(const std::string& request) {
    std::string response;
    return control_->CallFunction(request, response) ? response : std::string("FAILED");
  }

  // Has the page send these requests, all at once, and gives their answers.
  std::string Send(const std::vector<std::string>& requests) {
    std::string list = "[";
    for (const std::string& request : requests) {
      if (list.size() > 1) list += ",";
      list += "\"";
      for (char c : request) {
        if (c == '"' || c == '\\') list += '\\';
        list += c;
      }
      list += "\"";
    }
    return Call(Invoke("send", {list + "]"}));
  }

  platform::GtkEventLoop loop_;
  std::ostringstream events_;
  platform::EventLog log_{events_};
  platform::ScriptedDialogs dialogs_{log_};
  platform::Services services_;
  std::unique_ptr<platform::WebEngine> engine_;
  GtkWidget* window_ = nullptr;
  std::unique_ptr<platform::WebMovie> movie_;
  std::unique_ptr<TestControl> control_;
};

TEST_F(Bridge, PageCallsGetEveryFormOfAnswer) {
  ScratchFolder scratch;
  testing::WriteBytes(scratch / "file.txt", "x");
  dialogs_.prepareMessageBox(7);
  const std::string answers = Send({
      Invoke("Echo", {"<string>Tom &amp; Jerry 照片</string>"}),
      Invoke("Echo", {"<number>-12.5</number>"}),
      Invoke("FileExists", {scratch / "file.txt"}),
      Invoke("FileExists", {scratch.path()}),
      Invoke("Echo", {"<null/>"}),
      Invoke("Trace", {"nothing comes back"}),
      Invoke("NoSuchCommand"),
      Invoke("MessageBox", {"Sure?", "Caption", "36"}),
      "not an invoke at all",
  });
  EXPECT_EQ(answers,
            "[\"<string>Tom &amp; Jerry 照片</string>\",\"<number>-12.5</number>\",\"<true/>\",\"<false/>\","
            "\"<null/>\",\"\",\"\",\"<number>7</number>\",\"\"]");
  EXPECT_NE(events_.str().find("msgbox: style=36 caption=Caption text=Sure?"), std::string::npos);
  // Only text travels; anything else is refused on the page's side.
  EXPECT_EQ(Call(Invoke("sendWrong")), "refused");
}

TEST_F(Bridge, CallsIntoThePageGiveItsAnswerOrFail) {
  EXPECT_EQ(Call(Invoke("echo", {"<number>3</number>"})), "<number>3</number>");
  EXPECT_EQ(Call(Invoke("twice", {"ab"})), "<string>abab</string>");
  EXPECT_EQ(Call(Invoke("later", {"awaited"})), "<string>awaited</string>");
  EXPECT_EQ(Call(Invoke("nothing")), "");
  EXPECT_EQ(Call(Invoke("throwing")), "FAILED");
  EXPECT_EQ(Call(Invoke("unknown")), "FAILED");
  // A request that would break out of a script literal is only data.
  EXPECT_EQ(Call(Invoke("echo", {"');\n window.hacked = 1; //\\"})), "');\n window.hacked = 1; //\\");
  // A page that never answers costs the call its timeout, not the UI thread.
  bool tick = false;
  loop_.startTimer(std::chrono::milliseconds(100), false, [&] { tick = true; });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Call(Invoke("never")), "FAILED");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(tick);  // the loop kept turning meanwhile
  EXPECT_EQ(Call(Invoke("echo", {"still fine"})), "still fine");
}

TEST_F(Bridge, PageWithoutTheFunctionFailsEveryCall) {
  control_.reset();
  movie_ = MakeMovie("nofunction.html");
  control_ = std::make_unique<TestControl>(*movie_, services_);
  EXPECT_EQ(Call(Invoke("echo", {"x"})), "FAILED");
  movie_->Close();
  EXPECT_FALSE(movie_->isOpen());
  EXPECT_EQ(Call(Invoke("echo", {"x"})), "FAILED");
}

TEST_F(Bridge, WorkerCallsAreCarriedOutOnTheUiThreadEachWithItsOwnAnswer) {
  constexpr int kThreads = 6, kCalls = 15;
  std::atomic<int> right{0}, wrong{0}, finished{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t)
    workers.emplace_back([&, t] {
      for (int i = 0; i < kCalls; ++i) {
        const std::string mine = "worker " + std::to_string(t) + " call " + std::to_string(i);
        std::string answer;
        if (control_->CallFunction(Invoke("echo", {mine}), answer) && answer == mine)
          ++right;
        else
          ++wrong;
      }
      ++finished;
    });
  EXPECT_TRUE(WaitFor([&] { return finished == kThreads; }, std::chrono::seconds(60)));
  for (auto& worker : workers) worker.join();
  EXPECT_EQ(right.load(), kThreads * kCalls);
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(Bridge, DelayedCallsRunAfterTheirCallReturnedInOrder) {
  dialogs_.prepareMessageBox(6);
  dialogs_.prepareMessageBox(2);
  const std::string answers = Send({
      Invoke("__DELAY_CALL__", {"MessageBox", "First", "", "4", "onReply"}),
      Invoke("__DELAY_CALL__", {"MessageBox", "Second", "Mine", "1", "onReply", "extra"}),
      Invoke("__DELAY_CALL__"),
  });
  // Queued calls answer nothing at once; one without a target is refused.
  EXPECT_EQ(answers, "[\"\",\"\",\"\"]");
  ASSERT_TRUE(WaitFor([&] { return Call(Invoke("replies")) == "[\"6\",\"2,extra\"]"; }, std::chrono::seconds(10)))
      << Call(Invoke("replies"));
  const std::string events = events_.str();
  EXPECT_LT(events.find("caption=Msg.Title text=First"), events.find("caption=Mine text=Second"));
  EXPECT_EQ(control_->DelayedCallCount(), 0u);
}

TEST_F(Bridge, PicturesAreServedAndNothingElse) {
  ScratchFolder scratch;
  const std::string picture = std::string(VORNIDA_SOURCE_DIR) + "/assets/pictures/wizard-header.png";
  const std::string named = scratch / "Tom & Jerry's #1 100%.png";
  testing::WriteBytes(named, testing::ReadBytes(picture));
  testing::WriteBytes(scratch / "secret.png", "not a picture at all");
  ::mkdir((scratch / "folder.jpg").c_str(), 0700);

  EXPECT_EQ(Call(Invoke("picture", {platform::LocalPictureUri(named)})), "img:64x64");
  const std::string served = Call(Invoke("fetch", {platform::LocalPictureUri(picture)}));
  EXPECT_EQ(served, "ok:200:" + std::to_string(testing::ReadBytes(picture).size()) + ":image/png");
  for (const std::string& refused : {scratch / "secret.png", scratch / "folder.jpg", scratch / "missing.png",
                                     std::string("/etc/passwd")})
    EXPECT_EQ(Call(Invoke("fetch", {platform::LocalPictureUri(refused)})), "error") << refused;
  EXPECT_EQ(Call(Invoke("picture", {platform::LocalPictureUri(scratch / "secret.png")})), "img:error");
  // The movie folder's own files, and nothing outside it.
  EXPECT_EQ(Call(Invoke("fetch", {"vornida://movie/bridge.js"})).rfind("ok:200:", 0), 0u);
  EXPECT_EQ(Call(Invoke("fetch", {"vornida://movie/../desktop_logic_test.cpp"})), "error");
  EXPECT_EQ(Call(Invoke("fetch", {"vornida://movie/%2e%2e/bridge_test.cpp"})), "error");
  EXPECT_EQ(Call(Invoke("fetch", {"vornida://elsewhere/x"})), "error");
}

// The wizard's window, where its texts land.
GtkWidget* FindNamed(GtkWidget* root, const char* name) {
  if (g_strcmp0(gtk_widget_get_name(root), name) == 0) return root;
  if (!GTK_IS_CONTAINER(root)) return nullptr;
  struct Search {
    const char* name;
    GtkWidget* found;
  } search{name, nullptr};
  gtk_container_forall(GTK_CONTAINER(root), +[](GtkWidget* child, gpointer data) {
    auto* s = static_cast<Search*>(data);
    if (s->found == nullptr) s->found = FindNamed(child, s->name);
  }, &search);
  return search.found;
}

TEST(WizardWindow, DetailLineIsShownBelowTheStatusOnPagesOneAndThree) {
  ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "needs a display";
  platform::GtkEventLoop loop;
  const std::string picture = std::string(VORNIDA_SOURCE_DIR) + "/assets/pictures/wizard-header.png";
  platform::GtkWizardView view(nullptr, true, picture, loop);
  GtkWidget* window = view.Window();
  const auto settle = [&](const std::function<bool()>& done) {
    for (int turn = 0; turn < 400 && !done(); ++turn) {
      while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
      g_usleep(5000);
    }
    return done();
  };
  view.ShowPage(1, "Update", "Checking", "Looking for a newer version");
  view.SetControlText(kWizardStatusText, "Connecting");
  view.SetControlText(kWizardDetailText, "Connecting to 127.0.0.1:8080");
  view.Show();
  GtkWidget* status1 = FindNamed(window, "wizard-status-1");
  GtkWidget* detail1 = FindNamed(window, "wizard-detail-1");
  ASSERT_NE(detail1, nullptr);
  ASSERT_TRUE(settle([&] { return gtk_widget_get_mapped(detail1); })) << "the detail line is on the page";
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(detail1)), "Connecting to 127.0.0.1:8080");
  GtkAllocation status{}, detail{};
  gtk_widget_get_allocation(status1, &status);
  gtk_widget_get_allocation(detail1, &detail);
  EXPECT_GT(detail.height, 0);
  EXPECT_GE(detail.y, status.y + status.height) << "below the status";

  // Page 3 has its own line; what page 1 said stays there.
  view.ShowPage(3, "Update", "Downloading", "");
  view.SetControlText(kWizardDetailText, "The disk is full.");
  GtkWidget* detail3 = FindNamed(window, "wizard-detail-3");
  ASSERT_NE(detail3, nullptr);
  ASSERT_TRUE(settle([&] { return gtk_widget_get_mapped(detail3) && !gtk_widget_get_mapped(detail1); }));
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(detail3)), "The disk is full.");
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(detail1)), "Connecting to 127.0.0.1:8080");
  view.Destroy();
}

}  // namespace
}  // namespace vornida
