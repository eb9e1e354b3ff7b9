// The headless host driven directly: what scripts cannot reach (queue
// limits, worker threads, the plug-in points, the proxies) and the string
// table reader.
#include "headless/headless_host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <sstream>
#include <thread>

#include "host/movie_calls.h"
#include "host/ui_proxies.h"
#include "host/ui_thread.h"
#include "host/worker_threads.h"

namespace vornida {
namespace {

using ::testing::HasSubstr;
using namespace std::chrono_literals;

std::string Invoke(const std::string& name, const std::string& values = {}) {
  return "<invoke name=\"" + name + "\" returntype=\"xml\"><arguments>" + values + "</arguments></invoke>";
}

std::size_t CountLines(const std::string& log, const std::string& line) {
  std::size_t count = 0;
  std::istringstream lines(log);
  for (std::string each; std::getline(lines, each);)
    if (each == line) ++count;
  return count;
}

// Every test gets its own temporary, data and config folders.
class HeadlessHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vornida-host-test-XXXXXX";
    root_ = mkdtemp(pattern);
    for (const char* name : {"TMPDIR", "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
      const std::string folder = root_ + "/" + name;
      std::filesystem::create_directories(folder);
      setenv(name, folder.c_str(), 1);
    }
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  std::ostringstream log_;
  std::string root_;
};

TEST_F(HeadlessHostTest, DelayQueueTakesAtMost1001CallsAndRunsThemOnePerTick) {
  HeadlessHost host(log_, {});
  for (int i = 0; i < 1005; ++i)
    host.Request(Invoke("__DELAY_CALL__", "<string>EnterMoveWnd</string>"));
  EXPECT_EQ(host.Control().DelayedCallCount(), 1001u);

  host.Loop().iterate(false);
  EXPECT_EQ(host.Control().DelayedCallCount(), 1000u);
  host.Loop().iterate(false);
  EXPECT_EQ(host.Control().DelayedCallCount(), 999u);

  ASSERT_TRUE(host.Wait(60s));
  EXPECT_EQ(CountLines(log_.str(), "window: message 1725"), 1001u);
  EXPECT_TRUE(host.IsIdle());
}

TEST_F(HeadlessHostTest, TextsComeFromTheMovieStringTable) {
  HeadlessOptions options;
  options.strings = {{"Done", "Fertig & <gut>"}, {"Empty", ""}};
  options.movieVersion = "4.02";
  HeadlessHost host(log_, options);

  EXPECT_EQ(GetText("Done"), "Fertig & <gut>");
  EXPECT_EQ(GetText("Empty"), "");
  EXPECT_EQ(GetText("Parpare_Layout_Images"), "Parpare_Layout_Images");
  EXPECT_EQ(GetMovieVersion(), "4.02");
  EXPECT_THAT(log_.str(), HasSubstr("call: <invoke name='getStr'><arguments><string>Done</string></arguments></invoke>\n"));
  EXPECT_THAT(log_.str(), HasSubstr("call: <invoke name='getVerStr'><arguments></arguments></invoke>\n"));
}

TEST_F(HeadlessHostTest, MovieCallsFailQuietlyWithoutAMovie) {
  {
    HeadlessHost host(log_, {});
    host.Movie().setOpen(false);
    EXPECT_EQ(GetText("Done"), "");
    EXPECT_FALSE(CallMovie(movie_request::Notify("previewing", "1")));
  }
  EXPECT_EQ(MainMovieCtrl(), nullptr);
  EXPECT_EQ(GetText("Done"), "");
  EXPECT_EQ(log_.str(), "");
}

TEST_F(HeadlessHostTest, WorkerCallsEachGetTheirOwnAnswer) {
  HeadlessOptions options;
  for (int i = 0; i < 8; ++i) options.strings["key" + std::to_string(i)] = "text" + std::to_string(i);
  HeadlessHost host(log_, options);

  std::atomic<int> wrong{0};
  std::vector<std::thread> workers;
  std::atomic<int> started{0};
  for (int i = 0; i < 8; ++i)
    workers.emplace_back([&, i] {
      WorkerThreadScope registered;
      ++started;
      for (int n = 0; n < 50; ++n)
        if (GetText("key" + std::to_string(i)) != "text" + std::to_string(i)) ++wrong;
    });
  while (started < 8) host.Loop().iterate(false);
  ASSERT_TRUE(host.Wait(120s));
  for (auto& worker : workers) worker.join();

  EXPECT_EQ(wrong, 0);
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(CountLines(log_.str(), "call: <invoke name='getStr'><arguments><string>key" + std::to_string(i) +
                                         "</string></arguments></invoke>"),
              50u);
}

// Counts the posted tasks that have not run yet, to see how many worker calls
// wait for the UI thread at once.
class CountingLoop final : public platform::EventLoop {
 public:
  void post(Task task) override {
    const int now = ++outstanding_;
    int seen = mostOutstanding_.load();
    while (now > seen && !mostOutstanding_.compare_exchange_weak(seen, now)) {
    }
    inner_.post([this, task = std::move(task)] {
      --outstanding_;
      task();
    });
  }
  TimerId startTimer(std::chrono::milliseconds interval, bool repeating, Task task) override {
    return inner_.startTimer(interval, repeating, std::move(task));
  }
  void stopTimer(TimerId id) override { inner_.stopTimer(id); }
  bool onUiThread() const override { return inner_.onUiThread(); }
  bool iterate(bool mayBlock) override { return inner_.iterate(mayBlock); }

  int MostOutstanding() const { return mostOutstanding_; }

 private:
  platform::ManualEventLoop inner_;
  std::atomic<int> outstanding_{0};
  std::atomic<int> mostOutstanding_{0};
};

TEST_F(HeadlessHostTest, WorkerCallsReachTheMovieOneAtATime) {
  CountingLoop loop;
  platform::EventLog log(log_);
  platform::HeadlessMovie movie(log, [](const std::string& request) { return std::optional<std::string>(request); });
  CFlashCtrl control(movie, loop);

  constexpr int kWorkers = 6, kCalls = 40;
  std::atomic<int> finished{0}, wrong{0};
  std::vector<std::thread> workers;
  for (int i = 0; i < kWorkers; ++i)
    workers.emplace_back([&, i] {
      for (int n = 0; n < kCalls; ++n) {
        const std::string request = "<invoke name='w" + std::to_string(i) + "_" + std::to_string(n) + "'/>";
        std::string response;
        if (!control.CallFunction(request, response) || response != request) ++wrong;
      }
      ++finished;
    });
  while (finished < kWorkers) loop.iterate(false);
  for (auto& worker : workers) worker.join();

  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(loop.MostOutstanding(), 1);
  EXPECT_EQ(CountLines(log_.str(), "call: <invoke name='w5_39'/>"), 1u);
}

TEST(UiThreadCalls, AWaitingWorkerIsReleasedWhenTheLoopGoesAway) {
  auto loop = std::make_unique<platform::ManualEventLoop>();
  std::atomic<bool> ran{false};
  bool result = true;
  std::thread worker([&] { result = RunOnUiThread(*loop, [&] { ran = true; }); });
  while (!loop->hasPendingWork()) std::this_thread::yield();
  loop.reset();
  worker.join();
  EXPECT_FALSE(result);
  EXPECT_FALSE(ran);
}

TEST_F(HeadlessHostTest, AWorkerCallReachingAGoneControlFails) {
  platform::ManualEventLoop loop;
  platform::EventLog log(log_);
  platform::HeadlessMovie movie(log, {});
  auto control = std::make_unique<CFlashCtrl>(movie, loop);
  bool ok = true;
  std::thread worker([&] {
    std::string response = "untouched";
    ok = control->CallFunction("<invoke name='x'><arguments></arguments></invoke>", response);
    EXPECT_EQ(response, "untouched");
  });
  while (!loop.hasPendingWork()) std::this_thread::yield();
  control.reset();
  loop.iterate(false);
  worker.join();
  EXPECT_FALSE(ok);
  EXPECT_EQ(log_.str(), "");
}

TEST_F(HeadlessHostTest, TheSplashControlKnowsOnlyTheBuiltIns) {
  platform::ManualEventLoop loop;
  platform::EventLog log(log_);
  platform::HeadlessMovie movie(log, {});
  CFlashCtrlEx splash(movie, loop);

  EXPECT_EQ(movie.deliverFlashCall(Invoke("FileExists", "<string>/</string>")), "<false/>");
  EXPECT_EQ(movie.deliverFlashCall(Invoke("GetVerText")), std::nullopt);
  EXPECT_EQ(movie.deliverFlashCall(Invoke("MessageBox", "<string>hi</string>")), std::nullopt);
  EXPECT_EQ(movie.deliverFlashCall(Invoke("WndSysCommand", "<string>SC_CLOSE</string>")), std::nullopt);
  // Delayed calls work on any control, through its own timer.
  EXPECT_EQ(movie.deliverFlashCall(Invoke("__DELAY_CALL__", "<string>Trace</string><string>x</string>")),
            std::nullopt);
  EXPECT_TRUE(splash.IsTimerRunning(CFlashCtrlEx::kDelayedCallTimer));
  EXPECT_TRUE(splash.RunDelayedCall());
  EXPECT_FALSE(splash.RunDelayedCall());  // the queue is empty now
  EXPECT_EQ(log_.str(), "");
}

TEST_F(HeadlessHostTest, ModulesPlugTheirCommandsIn) {
  HeadlessHost host(log_, {});
  CVRFlashCtrl& control = host.Control();
  std::vector<std::string> seen;
  ASSERT_TRUE(control.InstallCommandHandler("SaveShape", [&](CVRFlashCtrl&, DecodedCall& call) {
    seen.push_back(call.args[0] + "/" + call.args[1]);
    call.result = BoolValue(true);
    return true;
  }));
  EXPECT_TRUE(control.HasCommandHandler("SaveShape"));

  EXPECT_EQ(host.Request(Invoke("SaveShape", "<string>p</string><number>1</number><string>x</string>")), "<true/>");
  EXPECT_EQ(host.Request(Invoke("SaveShape", "<string>p</string>")), std::nullopt);
  host.Request(Invoke("__DELAY_CALL__", "<string>SaveShape</string><string>q</string><false/>"));
  ASSERT_TRUE(host.Wait(10s));
  EXPECT_EQ(seen, (std::vector<std::string>{"p/1", "q/0"}));

  // Only the commands whose work lives elsewhere can be plugged in.
  EXPECT_FALSE(control.InstallCommandHandler("GetVerText", [](CVRFlashCtrl&, DecodedCall&) { return false; }));
  EXPECT_FALSE(control.InstallCommandHandler("Trace", [](CVRFlashCtrl&, DecodedCall&) { return false; }));
  EXPECT_EQ(host.Request(Invoke("GetVerText")), "<string>" VORNIDA_BUILD_VERSION "</string>");

  ASSERT_TRUE(control.InstallCommandHandler("SaveShape", {}));
  EXPECT_EQ(host.Request(Invoke("SaveShape", "<string>p</string><number>1</number>")), std::nullopt);
  EXPECT_EQ(seen.size(), 2u);
}

TEST_F(HeadlessHostTest, LoadCompleteAndTimersReachTheirHandlers) {
  HeadlessHost host(log_, {});
  CVRFlashCtrl& control = host.Control();
  int loaded = 0, ticks = 0;
  control.InstallCommandHandler("LoadComplete", [&](CVRFlashCtrl& c, DecodedCall&) {
    ++loaded;
    c.SetTimer(CVRFlashCtrl::kAfterLoadTimer, 0);
    return true;
  });
  control.InstallTimerHandler(CVRFlashCtrl::kAfterLoadTimer, [&](CVRFlashCtrl&) { ++ticks; });

  EXPECT_EQ(host.Request(Invoke("LoadComplete")), std::nullopt);
  EXPECT_EQ(loaded, 1);
  EXPECT_TRUE(control.IsTimerRunning(CVRFlashCtrl::kAfterLoadTimer));
  ASSERT_TRUE(host.Wait(10s));
  EXPECT_EQ(ticks, 1);  // one-shot: stopped when it first fired
  EXPECT_FALSE(control.IsTimerRunning(CVRFlashCtrl::kAfterLoadTimer));
}

TEST_F(HeadlessHostTest, OlderCommandChannelRunsCommandsWithoutAnswer) {
  HeadlessHost host(log_, {});
  EXPECT_TRUE(host.Movie().deliverFsCommand("WndSysCommand", "SC_CLOSE"));
  EXPECT_TRUE(host.Movie().deliverFsCommand("GetVerText", ""));
  EXPECT_FALSE(host.Movie().deliverFsCommand("NoSuchCommand", ""));
  EXPECT_EQ(log_.str(), "window: syscommand 0xF060\n");
}

TEST_F(HeadlessHostTest, WaitGivesUpWhileSomethingStaysPending) {
  HeadlessHost host(log_, {});
  const auto timer = host.Loop().startTimer(1ms, true, [] {});
  EXPECT_FALSE(host.Wait(30ms));
  host.Loop().stopTimer(timer);
  EXPECT_TRUE(host.Wait(1s));
}

// ---------------------------------------------------------------------------
// The engine's reporting proxies over the movie and the canvas.

TEST_F(HeadlessHostTest, ProgressBarAndLabelsForwardToTheMovie) {
  HeadlessHost host(log_, {});
  MProgressBar& bar = host.MainWindow().progressBar;
  EXPECT_EQ(bar.GetMax(), 100);
  bar.SetPos(37);
  bar.SetMax(250);
  EXPECT_EQ(bar.GetPos(), 37);
  EXPECT_EQ(bar.GetMax(), 250);

  MLabel& state = host.MainWindow().stateLabel;
  state.SetText("");
  MLabel& info = host.MainWindow().infoLabel;
  info.SetText("3 & 4");
  EXPECT_EQ(state.GetWidth(), 0);

  EXPECT_EQ(log_.str(),
            "call: <invoke name='setProgress'><arguments><number>37</number></arguments></invoke>\n"
            "call: <invoke name='setProgressMaximum'><arguments><number>250</number></arguments></invoke>\n"
            "call: <invoke name='setStateText'><arguments><string></string></arguments></invoke>\n"
            "call: <invoke name='setInfoText'><arguments><string>3 & 4</string></arguments></invoke>\n");
}

TEST(ProgressBarWithoutMovie, OnlyStoresTheValues) {
  VRNProgressBar bar;
  bar.SetPos(-3);
  bar.SetMax(7);
  EXPECT_EQ(bar.GetPos(), -3);
  EXPECT_EQ(bar.GetMax(), 7);
}

TEST_F(HeadlessHostTest, PictureBoxSizesTheCanvasInItsAreaAndShowsIt) {
  HeadlessHost host(log_, {});
  MPictureBox& box = host.MainWindow().pictureBox;
  host.Request(Invoke("UpdateVornidaCanvasPos", "<number>10</number><number>20</number><number>300</number><number>200</number>"));
  EXPECT_EQ(box.GetWidth(), 300);
  EXPECT_EQ(box.GetHeight(), 200);

  box.SetSize(100, 50);
  box.Show();
  box.Show();  // the movie is told again even though the canvas is visible
  box.Hide();
  // The canvas keeps its new size when the movie moves the area.
  host.Request(Invoke("UpdateVornidaCanvasPos", "<number>0</number><number>0</number><number>100</number><number>100</number>"));

  EXPECT_EQ(log_.str(),
            "canvas: move 60 20 200 200\n"
            "answer: <true/>\n"
            "canvas: move 110 95 100 50\n"
            "canvas: show\n"
            "call: <invoke name='clearPreviewShape'><arguments></arguments></invoke>\n"
            "canvas: show\n"
            "call: <invoke name='clearPreviewShape'><arguments></arguments></invoke>\n"
            "canvas: hide\n"
            "canvas: move 0 25 100 50\n"
            "answer: <true/>\n");
  EXPECT_EQ(box.GetBackColor(), 0xFFFFFFFFu);
}

TEST_F(HeadlessHostTest, PictureBoxDrawsFromAWorkerOnTheUiThread) {
  HeadlessHost host(log_, {});
  MPictureBox& box = host.MainWindow().pictureBox;
  std::vector<std::uint32_t> pixels(40 * 30, 0xFF112233u);
  std::atomic<bool> started{false};
  std::thread worker([&] {
    WorkerThreadScope registered;
    started = true;
    box.DrawImage(platform::PixelView{pixels.data(), 40, 30, 40 * 4});
    box.Show();
  });
  while (!started) std::this_thread::yield();
  ASSERT_TRUE(host.Wait(30s));
  worker.join();
  EXPECT_EQ(log_.str(),
            "canvas: draw 40 30\n"
            "canvas: show\n"
            "call: <invoke name='clearPreviewShape'><arguments></arguments></invoke>\n");
}

TEST_F(HeadlessHostTest, WithoutACanvasWindowNothingIsPlaced) {
  HeadlessHost host(log_, {});
  host.Canvas().setExists(false);
  EXPECT_EQ(host.Request(Invoke("UpdateVornidaCanvasPos",
                                "<number>0</number><number>0</number><number>300</number><number>200</number>")),
            "<false/>");
  host.MainWindow().pictureBox.SetSize(10, 10);
  EXPECT_EQ(host.Request(Invoke("HideVCCanvas")), std::nullopt);
  // The area is still stored for when the canvas appears.
  EXPECT_EQ(host.Placement().Area(), (CanvasArea{0, 0, 300, 200}));
  EXPECT_EQ(log_.str(), "answer: <false/>\nanswer: none\n");
}

// ---------------------------------------------------------------------------

TEST(StringTable, ReadsAJsonObjectOfTexts) {
  auto table = ParseStringTable(R"( {"Done": "Fertig", "Quote": "a \"b\"\n\\", "U": "caf\u00e9 \ud83d\ude00", "E": ""} )");
  ASSERT_TRUE(table);
  EXPECT_EQ(table->at("Done"), "Fertig");
  EXPECT_EQ(table->at("Quote"), "a \"b\"\n\\");
  EXPECT_EQ(table->at("U"), "caf\xC3\xA9 \xF0\x9F\x98\x80");
  EXPECT_EQ(table->at("E"), "");
  EXPECT_TRUE(ParseStringTable("{}"));
}

TEST(StringTable, RefusesAnythingElse) {
  for (const char* bad : {"", "[]", R"({"a": 1})", R"({"a": "b",})", R"({"a": "b"} x)", R"({"a" "b"})",
                          R"({"a": "b)", R"({"a": "\q"})", "{\"a\": \"line\nbreak\"}"})
    EXPECT_FALSE(ParseStringTable(bad)) << bad;
}

TEST(MovieBase64, DecodesTheWayTheMoviesPicturesAreRead) {
  EXPECT_EQ(DecodeMovieBase64("aGVsbG8="), "hello");
  EXPECT_EQ(DecodeMovieBase64("aGVs\r\n bG8"), "hello");  // blanks skipped, padding optional
  EXPECT_EQ(DecodeMovieBase64("aGVs=bG8="), "hel");        // stops at the first '='
  EXPECT_EQ(DecodeMovieBase64("+/+/"), "\xFB\xFF\xBF");
  // A character outside the alphabet counts as the value 0 ('A').
  EXPECT_EQ(DecodeMovieBase64("aG*s"), DecodeMovieBase64("aGAs"));
  EXPECT_EQ(DecodeMovieBase64(""), "");
}

}  // namespace
}  // namespace vornida
