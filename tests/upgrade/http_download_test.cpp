#include "upgrade/http_download.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <netinet/in.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/headless/manual_event_loop.h"
#include "test_support.h"

namespace vornida {
namespace {

using testing::Pattern;
using testing::ReadFile;
using testing::TempFolder;
using testing::TestHttpServer;

// Collects the notifications a download posts, as the UI thread sees them.
class Recorder {
 public:
  explicit Recorder(platform::ManualEventLoop& loop)
      : loop_(loop), sink_(loop, [this](const ThreadNotification& n) { notes.push_back(n); }) {}

  void Attach(CThreadObject& worker) { worker.SetNotifyWindow(&sink_); }

  // Turns the loop until `ends` thread-end notifications have arrived.
  bool WaitForEnd(std::size_t ends = 1) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (Count(kNotifyEnd) < ends) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      loop_.iterate(true);
    }
    return true;
  }

  std::size_t Count(std::uint16_t kind) const {
    std::size_t count = 0;
    for (const auto& n : notes) count += n.kind == kind;
    return count;
  }

  // The notifications as text; a run of percent notifications shows as "%".
  std::string Trace() const {
    std::string text;
    for (std::size_t i = 0; i < notes.size(); ++i) {
      const auto& n = notes[i];
      if (n.kind == kNotifyPercent && i > 0 && notes[i - 1].kind == kNotifyPercent) continue;
      if (!text.empty()) text += ' ';
      if (n.kind == kNotifyStatus || n.kind == kNotifyError)
        text += std::to_string(n.kind) + ":" + std::to_string(n.value);
      else if (n.kind == kNotifyPercent)
        text += "%";
      else
        text += std::to_string(n.kind);
    }
    return text;
  }

  std::vector<std::uint16_t> Percents() const {
    std::vector<std::uint16_t> values;
    for (const auto& n : notes)
      if (n.kind == kNotifyPercent) values.push_back(n.value);
    return values;
  }

  std::vector<ThreadNotification> notes;

 private:
  platform::ManualEventLoop& loop_;
  ThreadNotifySink sink_;
};

class HttpDownloadTest : public ::testing::Test {
 protected:
  HttpDownloadTest() : recorder(loop) {}
  void SetUp() override { ASSERT_NE(server.port(), 0) << "test server did not start"; }

  // Downloads `path` from the test server into `target` and waits for the end.
  void Fetch(CHttpDownload& download, const std::string& path, const std::string& target) {
    recorder.notes.clear();
    recorder.Attach(download);
    ASSERT_TRUE(download.Download(server.url(path), target));
    ASSERT_TRUE(recorder.WaitForEnd());
    EXPECT_FALSE(download.IsRunning());
  }

  platform::ManualEventLoop loop;
  TestHttpServer server;
  TempFolder tmp;
  Recorder recorder;
};

TEST_F(HttpDownloadTest, SuccessWithLengthReportsEveryStepAndPercent) {
  CHttpDownload download;
  const std::string target = tmp / "sub/dir/file.bin";  // folders are made
  Fetch(download, "/data/200000", target);
  EXPECT_EQ(recorder.Trace(), "2 1:101 1:102 % 1:104 3");
  EXPECT_EQ(download.GetStatus(), kStatusDownloaded);
  EXPECT_EQ(ReadFile(target), Pattern(200000));
  const auto percents = recorder.Percents();
  ASSERT_FALSE(percents.empty());
  EXPECT_EQ(percents.back(), 100);
  for (std::size_t i = 1; i < percents.size(); ++i) EXPECT_GT(percents[i], percents[i - 1]);
  EXPECT_EQ(recorder.notes.front().sender, &download);
  EXPECT_EQ(download.GetStatusText(download.GetStatus()), "下载完成");
}

TEST_F(HttpDownloadTest, SuccessWithoutOrWithZeroLengthPostsNoPercent) {
  {
    CHttpDownload download;
    Fetch(download, "/data/50000?nolength=1", tmp / "a.bin");
    EXPECT_EQ(recorder.Trace(), "2 1:101 1:102 1:104 3");
    EXPECT_EQ(ReadFile(tmp / "a.bin"), Pattern(50000));
  }
  recorder.notes.clear();
  CHttpDownload empty;
  Fetch(empty, "/data/0", tmp / "b.bin");
  EXPECT_EQ(recorder.Trace(), "2 1:101 1:102 1:104 3");
  EXPECT_TRUE(std::filesystem::exists(tmp / "b.bin"));
  EXPECT_EQ(std::filesystem::file_size(tmp / "b.bin"), 0u);
}

TEST_F(HttpDownloadTest, HttpErrorsEndWithCode104AndTheirTexts) {
  const std::pair<int, const char*> cases[] = {
      {404, "未找到请求的URL"}, {500, "未知的服务器错误"}, {503, "服务不可用"}, {400, "无法理解的请求"},
      {405, "服务器不支持请求的方法"}, {418, "请求错误"}, {502, "服务器内部错误"}, {206, ""}, {204, ""}};
  for (const auto& [status, text] : cases) {
    recorder.notes.clear();
    CHttpDownload download;
    Fetch(download, "/status/" + std::to_string(status), tmp / "err.bin");
    EXPECT_EQ(recorder.Trace(), "2 1:101 1:2 4:104 3") << status;
    EXPECT_EQ(download.GetStatus(), kStatusError);
    EXPECT_EQ(download.GetErrorCode(), kErrorHttpStatus);
    EXPECT_EQ(download.GetHttpStatus(), status);
    EXPECT_EQ(download.GetLastErrorText(), text) << status;
    EXPECT_FALSE(std::filesystem::exists(tmp / "err.bin")) << "no error page, no empty file kept";
  }
}

TEST_F(HttpDownloadTest, FollowsRedirectsInTheSameRun) {
  struct Case {
    int code;
    std::string target;
    std::string finalUrl;
  };
  const std::string base = "http://" + server.hostPort();
  const Case cases[] = {
      {301, base + "/data/3000", base + "/data/3000"},
      {302, "/data/3000", base + "/data/3000"},  // slash-led: server and port are added
      {303, "http://localhost:" + std::to_string(server.port()) + "/data/3000",
       "http://localhost:" + std::to_string(server.port()) + "/data/3000"},
  };
  for (const auto& c : cases) {
    recorder.notes.clear();
    CHttpDownload download;
    Fetch(download, "/redirect/" + std::to_string(c.code) + "?to=" + c.target, tmp / "r.bin");
    // One begin and one end: the object never stops running in between.
    EXPECT_EQ(recorder.Trace(), "2 1:101 1:102 % 1:104 3") << c.code;
    EXPECT_EQ(ReadFile(tmp / "r.bin"), Pattern(3000));
    EXPECT_EQ(download.GetUrl(), c.finalUrl);
  }
}

TEST_F(HttpDownloadTest, ResolvesLocationsAsUrlReferences) {
  const std::string base = "http://" + server.hostPort();
  // A relative target whose query holds "http://" stays on this server.
  {
    CHttpDownload download;
    Fetch(download, "/redirect/302?to=../data/3000%3Fnext%3Dhttp://127.0.0.2:9/elsewhere", tmp / "r.bin");
    EXPECT_EQ(download.GetStatus(), kStatusDownloaded) << download.GetUrl();
    EXPECT_EQ(download.GetUrl(), base + "/data/3000?next=http://127.0.0.2:9/elsewhere");
    EXPECT_EQ(ReadFile(tmp / "r.bin"), Pattern(3000));
  }
  // Relative to the path that redirected.
  {
    CHttpDownload download;
    Fetch(download, "/redirect/302/sub?to=../../data/10", tmp / "r.bin");
    EXPECT_EQ(download.GetUrl(), base + "/data/10");
    EXPECT_EQ(ReadFile(tmp / "r.bin"), Pattern(10));
  }
  // Another scheme is no URL the downloader follows.
  {
    CHttpDownload download;
    Fetch(download, "/redirect/302?to=ftp://127.0.0.1/x", tmp / "r.bin");
    EXPECT_EQ(recorder.Trace(), "2 1:101 1:2 4:101 3");
    EXPECT_EQ(download.GetLastErrorText(), "无效的URL");
    EXPECT_FALSE(std::filesystem::exists(tmp / "r.bin"));
  }
}

TEST_F(HttpDownloadTest, StopsAfterTenRedirects) {
  {
    CHttpDownload download;
    Fetch(download, "/chain/10", tmp / "chain.bin");
    EXPECT_EQ(download.GetStatus(), kStatusDownloaded) << "ten redirects are followed";
    EXPECT_EQ(ReadFile(tmp / "chain.bin"), Pattern(1000));
  }
  recorder.notes.clear();
  CHttpDownload eleven;
  Fetch(eleven, "/chain/11", tmp / "chain.bin");
  EXPECT_EQ(recorder.Trace(), "2 1:101 1:2 4:104 3");
  EXPECT_EQ(eleven.GetHttpStatus(), 302);

  recorder.notes.clear();
  CHttpDownload loop;
  Fetch(loop, "/loop", tmp / "loop.bin");
  EXPECT_EQ(recorder.Trace(), "2 1:101 1:2 4:104 3");
  EXPECT_EQ(loop.GetErrorCode(), kErrorHttpStatus);
}

TEST_F(HttpDownloadTest, RedirectWithoutLocationIsAnError) {
  CHttpDownload download;
  Fetch(download, "/nolocation", tmp / "n.bin");
  EXPECT_EQ(download.GetErrorCode(), kErrorHttpStatus);
  EXPECT_EQ(download.GetHttpStatus(), 302);
  EXPECT_EQ(download.GetLastErrorText(), "");
}

TEST_F(HttpDownloadTest, ConnectionLostMidBodyRemovesThePartAndKeepsTheReason) {
  CHttpDownload download;
  Fetch(download, "/short", tmp / "short.bin");
  EXPECT_EQ(recorder.Trace(), "2 1:101 1:102 % 1:2 4:3 3");
  EXPECT_EQ(download.GetErrorCode(), kErrorException);
  EXPECT_FALSE(download.GetLastErrorText().empty()) << "the transfer's own message";
  EXPECT_EQ(download.GetLastErrorText(), download.GetErrorText(kErrorException));
  EXPECT_FALSE(std::filesystem::exists(tmp / "short.bin"));
  EXPECT_EQ(recorder.Percents().back(), 40);
}

TEST_F(HttpDownloadTest, UndoesExactlyGzipEncoding) {
  CHttpDownload lower;
  Fetch(lower, "/gzip/gzip", tmp / "lower.bin");
  EXPECT_EQ(lower.GetStatus(), kStatusDownloaded);
  EXPECT_EQ(ReadFile(tmp / "lower.bin"), Pattern(5000));

  CHttpDownload upper;
  Fetch(upper, "/gzip/GZIP", tmp / "upper.bin");
  EXPECT_EQ(upper.GetStatus(), kStatusDownloaded);
  const std::string raw = ReadFile(tmp / "upper.bin");
  ASSERT_GE(raw.size(), 2u);
  EXPECT_EQ(raw.substr(0, 2), "\x1f\x8b") << "left as received";

  // A damaged stream is not turned into a shorter content.
  CHttpDownload cut;
  Fetch(cut, "/gzipcut", tmp / "cut.bin");
  EXPECT_EQ(cut.GetStatus(), kStatusDownloaded);
  const std::string kept = ReadFile(tmp / "cut.bin");
  ASSERT_GE(kept.size(), 2u);
  EXPECT_EQ(kept.substr(0, 2), "\x1f\x8b");
  EXPECT_FALSE(std::filesystem::exists(tmp / "cut.bin.decoded"));
}

TEST_F(HttpDownloadTest, StopEndsTheTransferAtOnceAndRemovesThePart) {
  CHttpDownload download;
  recorder.Attach(download);
  ASSERT_TRUE(download.Download(server.url("/slow"), tmp / "slow.bin"));
  // Wait until the body flows, then ask to stop.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  const auto flowing = [&] {
    std::error_code missing;
    const auto size = std::filesystem::file_size(tmp / "slow.bin", missing);
    return !missing && size > 0;
  };
  while (!flowing() && std::chrono::steady_clock::now() < deadline) loop.iterate(false);
  EXPECT_FALSE(download.Download(server.url("/data/10"), tmp / "other.bin")) << "a job is running";
  EXPECT_TRUE(download.IsRunning());
  EXPECT_GT(std::filesystem::file_size(tmp / "slow.bin"), 0u);
  EXPECT_TRUE(download.RequestStop());
  ASSERT_TRUE(recorder.WaitForEnd());
  EXPECT_EQ(download.GetStatus(), kStatusStopped);
  const std::string trace = recorder.Trace();
  EXPECT_EQ(trace.substr(trace.size() - 5), "1:1 3") << trace;
  EXPECT_FALSE(std::filesystem::exists(tmp / "slow.bin"));
  EXPECT_EQ(download.GetSavePath(), tmp / "slow.bin") << "the refused call changed nothing";

  // A server that has not answered at all is left at once too.
  recorder.notes.clear();
  CHttpDownload waiting;
  recorder.Attach(waiting);
  ASSERT_TRUE(waiting.Download(server.url("/stallredirect/0?wait=20"), tmp / "wait.bin"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto asked = std::chrono::steady_clock::now();
  waiting.RequestStop();
  ASSERT_TRUE(recorder.WaitForEnd());
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(5)) << "not after the server's 20 s";
  EXPECT_EQ(waiting.GetStatus(), kStatusStopped);
  EXPECT_FALSE(std::filesystem::exists(tmp / "wait.bin"));
  EXPECT_FALSE(std::filesystem::exists(tmp / "other.bin"));
}

TEST_F(HttpDownloadTest, DestroyingARunningDownloadStopsWaitsAndDeletes) {
  {
    CHttpDownload download;
    recorder.Attach(download);
    ASSERT_TRUE(download.Download(server.url("/slow"), tmp / "slow.bin"));
    while (!std::filesystem::exists(tmp / "slow.bin") || std::filesystem::file_size(tmp / "slow.bin") == 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }  // joins the worker here
  EXPECT_FALSE(std::filesystem::exists(tmp / "slow.bin"));
  // Queued notifications still name a live sink and arrive in order.
  ASSERT_TRUE(recorder.WaitForEnd());
  EXPECT_EQ(recorder.notes.back().kind, kNotifyEnd);
}

TEST_F(HttpDownloadTest, TargetFileIsDeletedWithTheObjectUnlessKept) {
  {
    CHttpDownload download;
    Fetch(download, "/data/100", tmp / "gone.bin");
    EXPECT_TRUE(std::filesystem::exists(tmp / "gone.bin"));
  }
  EXPECT_FALSE(std::filesystem::exists(tmp / "gone.bin"));
  {
    CHttpDownload download;
    Fetch(download, "/data/100", tmp / "kept.bin");
    EXPECT_EQ(download.KeepFile(), tmp / "kept.bin");
  }
  EXPECT_EQ(ReadFile(tmp / "kept.bin"), Pattern(100));
}

TEST_F(HttpDownloadTest, LocalFailuresHaveTheirCodes) {
  testing::WriteFile(tmp / "plainfile", "x");
  struct Case {
    std::string url;
    std::string target;
    std::string trace;
    std::string text;
  };
  // A port nobody listens on: bind one, then close it.
  int closedPort = 0;
  {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    closedPort = ntohs(addr.sin_port);
    ::close(s);
  }
  const Case cases[] = {
      {server.url("/data/10"), tmp / "plainfile/under/a/file", "2 1:2 4:103 3", "创建下载保存文件失败"},
      {"ftp://127.0.0.1/x", tmp / "f.bin", "2 1:101 1:2 4:101 3", "无效的URL"},
      {"http://127.0.0.1:" + std::to_string(closedPort) + "/x", tmp / "c.bin", "2 1:101 1:2 4:203 3",
       "向服务器发送请求失败"},
  };
  for (const auto& c : cases) {
    recorder.notes.clear();
    CHttpDownload download;
    recorder.Attach(download);
    ASSERT_TRUE(download.Download(c.url, c.target));
    ASSERT_TRUE(recorder.WaitForEnd());
    EXPECT_EQ(recorder.Trace(), c.trace) << c.url;
    EXPECT_EQ(download.GetLastErrorText(), c.text) << c.url;
  }
}

TEST_F(HttpDownloadTest, LaterDownloadsKeepStatusAndBestPercent) {
  CHttpDownload download;
  Fetch(download, "/data/20000", tmp / "one.bin");
  ASSERT_EQ(download.GetLastPercent(), 100);
  recorder.notes.clear();
  Fetch(download, "/data/20000", tmp / "two.bin");
  // Status 104 moves to 101 again; no percent is reported below the best one.
  EXPECT_EQ(recorder.Trace(), "2 1:101 1:102 1:104 3");
  EXPECT_EQ(ReadFile(tmp / "two.bin"), Pattern(20000));
  download.Reset();
  EXPECT_EQ(download.GetLastPercent(), 0);
  EXPECT_EQ(download.GetStatus(), kStatusIdle);
}

TEST_F(HttpDownloadTest, PostsTheBodyAsAForm) {
  CHttpDownload download;
  recorder.Attach(download);
  ASSERT_TRUE(download.Download(server.url("/echo"), tmp / "echo.txt", "Accept-Encoding: identity\r\n", "a=1&b=2"));
  ASSERT_TRUE(recorder.WaitForEnd());
  EXPECT_EQ(ReadFile(tmp / "echo.txt"), "POST\napplication/x-www-form-urlencoded\na=1&b=2");
}

// Fast bounds, so that the slow cases end in about a second.
TransferLimits QuickLimits(std::uint64_t maxBytes = 0) {
  TransferLimits limits;
  limits.maxBytes = maxBytes;
  // Low enough that no small local transfer is ever taken for a slow one,
  // however loaded the machine.
  limits.speedFloor = 100;
  limits.speedWindow = std::chrono::milliseconds(2000);
  limits.redirectChainLimit = std::chrono::milliseconds(1500);
  return limits;
}

TEST_F(HttpDownloadTest, EndsBodiesLargerThanTheLimitWithoutKeepingThem) {
  struct Case {
    std::string path;
    std::string trace;
  };
  const Case cases[] = {
      {"/data/200000", "2 1:101 1:2 4:105 3"},           // announced: refused before the body
      {"/data/200000?nolength=1", "2 1:101 1:102 1:2 4:105 3"},  // cut off on the way
      {"/endless", "2 1:101 1:102 1:2 4:105 3"},         // a body without end
      {"/bomb/3000", "2 1:101 1:2 4:105 3"},             // 3 GB inflated, 3 MB announced
      {"/bomb/3000?nolength=1", "2 1:101 1:102 1:2 4:105 3"},  // the same, unannounced
      {"/bomb/90", "2 1:101 1:102 % 1:2 4:105 3"},       // 90 KB on the wire, 90 MB inflated
  };
  for (const auto& c : cases) {
    recorder.notes.clear();
    CHttpDownload download;
    download.SetLimits(QuickLimits(c.path.rfind("/bomb", 0) == 0 ? 1 << 20 : 100000));
    Fetch(download, c.path, tmp / "big.bin");
    EXPECT_EQ(recorder.Trace(), c.trace) << c.path;
    EXPECT_EQ(download.GetErrorCode(), kErrorTooLarge) << c.path;
    EXPECT_FALSE(std::filesystem::exists(tmp / "big.bin")) << c.path;
    EXPECT_FALSE(std::filesystem::exists(tmp / "big.bin.decoded")) << c.path;
  }
  // At the limit exactly is fine, decoded or not.
  CHttpDownload exact;
  exact.SetLimits(QuickLimits(5000));
  Fetch(exact, "/gzip/gzip", tmp / "exact.bin");
  EXPECT_EQ(ReadFile(tmp / "exact.bin"), Pattern(5000));
}

TEST_F(HttpDownloadTest, EndsTransfersBelowTheSpeedFloorAndSlowRedirectChains) {
  for (const std::string path : {"/drip", "/stallredirect/0?wait=0.4"}) {
    recorder.notes.clear();
    CHttpDownload download;
    download.SetLimits(QuickLimits());
    Fetch(download, path, tmp / "slow.bin");
    EXPECT_EQ(download.GetErrorCode(), kErrorTooSlow) << path << " " << recorder.Trace();
    EXPECT_FALSE(std::filesystem::exists(tmp / "slow.bin")) << path;
  }
  // Each hop of this chain answers within the speed window; only the bound
  // on the whole chain ends it.
  recorder.notes.clear();
  CHttpDownload chain;
  TransferLimits limits = QuickLimits();
  limits.speedFloor = 0;
  chain.SetLimits(limits);
  Fetch(chain, "/stallredirect/0?wait=0.2", tmp / "chain.bin");
  EXPECT_EQ(chain.GetErrorCode(), kErrorTooSlow);
  EXPECT_LT(chain.GetUrl().find("/stallredirect/"), std::string::npos);
}

TEST_F(HttpDownloadTest, ChecksTheDigestOfWhatItKeeps) {
  testing::WriteFile(tmp / "pattern", Pattern(5000));
  std::string digest;
  ASSERT_TRUE(testing::Shell("sha256sum " + testing::Quote(tmp / "pattern") + " | cut -c1-64 > " +
                             testing::Quote(tmp / "sum")));
  digest = ReadFile(tmp / "sum").substr(0, 64);
  // The digest is of the content: the gzip encoding is undone first.
  CHttpDownload good;
  good.SetExpectedSha256(digest);
  Fetch(good, "/gzip/gzip", tmp / "good.bin");
  EXPECT_EQ(good.GetStatus(), kStatusDownloaded);
  EXPECT_EQ(ReadFile(tmp / "good.bin"), Pattern(5000));

  recorder.notes.clear();
  CHttpDownload bad;
  bad.SetExpectedSha256(digest);
  Fetch(bad, "/data/5001", tmp / "bad.bin");
  EXPECT_EQ(recorder.Trace(), "2 1:101 1:102 % 1:2 4:108 3");
  EXPECT_FALSE(std::filesystem::exists(tmp / "bad.bin"));
}

class HttpsDownloadTest : public ::testing::Test {
 protected:
  HttpsDownloadTest() : certificatesMade(testing::MakeTestCertificates(certs.path())), recorder(loop) {}

  void Fetch(testing::TestHttpServer& server, CHttpDownload& download, const std::string& url) {
    ASSERT_NE(server.port(), 0);
    recorder.notes.clear();
    recorder.Attach(download);
    ASSERT_TRUE(download.Download(url, tmp / "s.bin"));
    ASSERT_TRUE(recorder.WaitForEnd());
  }

  TempFolder certs, tmp;
  bool certificatesMade;
  platform::ManualEventLoop loop;
  Recorder recorder;
};

TEST_F(HttpsDownloadTest, ChecksTheServerCertificate) {
  ASSERT_TRUE(certificatesMade);
  {
    TestHttpServer trusted({}, certs / "server.pem", certs / "server.key");
    CHttpDownload download;
    download.SetCaFile(certs / "ca.pem");
    Fetch(trusted, download, trusted.url("/data/3000"));
    EXPECT_EQ(download.GetStatus(), kStatusDownloaded) << download.GetLastErrorText();
    EXPECT_EQ(ReadFile(tmp / "s.bin"), Pattern(3000));

    // The same server under a name its certificate does not carry.
    CHttpDownload misnamed;
    misnamed.SetCaFile(certs / "ca.pem");
    Fetch(trusted, misnamed, "https://localhost:" + std::to_string(trusted.port()) + "/data/3000");
    EXPECT_EQ(misnamed.GetErrorCode(), kErrorCertificate);

    // Without our authority the system's do not know it.
    CHttpDownload system;
    Fetch(trusted, system, trusted.url("/data/3000"));
    EXPECT_EQ(system.GetErrorCode(), kErrorCertificate);
  }
  TestHttpServer selfSigned({}, certs / "self.pem", certs / "self.key");
  CHttpDownload download;
  download.SetCaFile(certs / "ca.pem");
  Fetch(selfSigned, download, selfSigned.url("/data/3000"));
  EXPECT_EQ(recorder.Trace(), "2 1:101 1:2 4:204 3");
  EXPECT_EQ(download.GetLastErrorText(), "服务器证书无效");
  EXPECT_FALSE(std::filesystem::exists(tmp / "s.bin"));
}

}  // namespace
}  // namespace vornida
