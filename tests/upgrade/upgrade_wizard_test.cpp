// The upgrade wizard end to end: the headless host delivers "CheckUpdate" or
// "LoadComplete" as the movie would, the wizard fetches a manifest and
// installers from a local HTTP server, and the event log shows what a user
// would have seen.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "headless/headless_host.h"
#include "platform/system_codes.h"
#include "test_support.h"
#include "headless/headless_wizard.h"
#include "upgrade/upgrade_commands.h"
#include "upgrade/wizard_texts.h"

namespace vornida {
namespace {

using testing::Quote;
using testing::ReadFile;
using testing::Shell;
using testing::TempFolder;
using testing::TestHttpServer;
using testing::WriteFile;

constexpr const char* kCheckUpdate = "<invoke name=\"CheckUpdate\" returntype=\"xml\"><arguments></arguments></invoke>";
constexpr const char* kLoadComplete = "<invoke name=\"LoadComplete\" returntype=\"xml\"><arguments></arguments></invoke>";

std::string Manifest(const std::string& curver, const std::string& installUrls) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<update curver=\"" + curver +
         "\"><UpdateFile><FileList><File verfrom=\"3.5\" verto=\"3.61\" name=\"patch.zip\"/></FileList>"
         "</UpdateFile><UpgradeDesc>New things</UpgradeDesc><InstallUrl>" +
         installUrls + "</InstallUrl></update>";
}

UpdateKey TestKey() {
  UpdateKey key{};
  EXPECT_TRUE(ParseUpdateKeyHex(VORNIDA_TEST_UPDATE_KEY, key));
  return key;
}

// Bounds that let the slow cases end in about a second.
TransferLimits QuickLimits() {
  TransferLimits limits;
  // Low enough that no small local transfer is ever taken for a slow one,
  // however loaded the machine.
  limits.speedFloor = 100;
  limits.speedWindow = std::chrono::milliseconds(2000);
  limits.redirectChainLimit = std::chrono::milliseconds(1500);
  return limits;
}

// Puts the folder variables back when a test ends, so that the next test's
// temporary folders are not made inside one that has gone.
class SavedFolderVariables {
 public:
  SavedFolderVariables() {
    for (const char* name : kNames)
      if (const char* value = std::getenv(name)) saved_.emplace_back(name, value);
  }
  ~SavedFolderVariables() {
    for (const char* name : kNames) ::unsetenv(name);
    for (const auto& [name, value] : saved_) ::setenv(name.c_str(), value.c_str(), 1);
  }

 private:
  static constexpr const char* kNames[] = {"TMPDIR", "XDG_DATA_HOME", "XDG_CONFIG_HOME"};
  std::vector<std::pair<std::string, std::string>> saved_;
};

class UpgradeWizardTest : public ::testing::Test {
 protected:
  UpgradeWizardTest() : server(files.path()) {}

  void SetUp() override {
    ASSERT_NE(server.port(), 0);
    for (const char* name : {"TMPDIR", "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
      const std::string folder = home / name;
      std::filesystem::create_directories(folder);
      ::setenv(name, folder.c_str(), 1);
    }
    // Installers as a server would offer them: a plain package and zip
    // archives made by the zip tool.
    WriteFile(files / "setup37.deb", "plain installer");
    WriteFile(files / "work/setup.deb", "zipped installer");
    ASSERT_TRUE(Shell("cd " + Quote(files / "work") + " && zip -q ../setup37.zip setup.deb"));
    ASSERT_TRUE(Shell("cd " + Quote(files / "work") + " && zip -q ../other.zip setup.deb"));
    // Every text shows as its key in brackets, so that the log says which.
    for (std::string_view key : WizardTextKeys()) strings[std::string(key)] = "[" + std::string(key) + "]";
    strings["UW.Page2.Msg1"] = "You have %.2f; new %.2f";
    strings["UW.Page2.Msg2"] = "Up to date at %.2f";
  }

  // Writes a manifest (or any file) to the server and signs it.
  void Publish(const std::string& name, const std::string& content) {
    WriteFile(files / name, content);
    ASSERT_TRUE(testing::SignWithTestKey(files / name));
  }

  std::string Sum(const std::string& name) const {
    const std::string sumFile = home / "sum";
    EXPECT_TRUE(Shell("sha256sum " + Quote(files / name) + " | cut -c1-64 > " + Quote(sumFile)));
    return ReadFile(sumFile).substr(0, 64);
  }

  // A download entry for a file of the server, with its digest.
  std::string Item(const std::string& name, const std::string& more = {}, const TestHttpServer* from = nullptr) {
    const std::string path = name.rfind('/', 0) == 0 ? name : "/files/" + name;
    const std::string digest = std::filesystem::exists(files / name) ? Sum(name) : std::string(64, 'a');
    return "<Url src=\"" + (from ? from : &server)->url(path) + "\" sha256=\"" + digest + "\" " + more + "/>";
  }

  // Builds the host with the upgrade commands, quick silent timers, the test
  // key and the given manifest URL list.
  void StartHost(const std::string& urlList, const std::function<void(UpgradeModuleOptions&)>& adjust = {}) {
    HeadlessOptions options;
    options.movieVersion = "3.61";
    options.strings = strings;
    host = std::make_unique<HeadlessHost>(out, std::move(options));
    UpgradeModuleOptions upgrade;
    upgrade.urlList = urlList;
    upgrade.trustedKey = TestKey();
    upgrade.firstDelay = upgrade.secondDelay = upgrade.silentStepDelay = std::chrono::milliseconds(10);
    upgrade.makeView = [this](bool) {
      return std::make_unique<HeadlessWizardView>(host->Log(), host->Loop(), presses);
    };
    if (adjust) adjust(upgrade);
    InstallUpgradeCommands(host->Control(), std::move(upgrade));
  }

  std::string InstallerFolder() const { return home / "XDG_DATA_HOME/Vornida/Upgrade/Installer"; }
  std::string ManifestCopy() const { return home / "XDG_DATA_HOME/Vornida/Upgrade/Update.xml"; }

  // Files left in the upgrade folders (read-only ones too).
  std::vector<std::string> LeftOver() const {
    std::vector<std::string> names;
    std::error_code ignored;
    for (auto it = std::filesystem::recursive_directory_iterator(home / "XDG_DATA_HOME/Vornida/Upgrade", ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
      if (it->is_regular_file()) names.push_back(it->path().filename().string());
    return names;
  }

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);)
      if (line.rfind("wizard:", 0) == 0 || line.rfind("shell:", 0) == 0 || line.rfind("msgbox:", 0) == 0)
        lines.push_back(line);
    return lines;
  }

  // Each expected line must start a log line, in this order.
  ::testing::AssertionResult ShowsInOrder(const std::vector<std::string>& expected) const {
    const auto lines = Lines();
    std::size_t at = 0;
    for (const auto& want : expected) {
      while (at < lines.size() && lines[at].rfind(want, 0) != 0) ++at;
      if (at == lines.size()) {
        std::string all;
        for (const auto& line : lines) all += "\n  " + line;
        return ::testing::AssertionFailure() << "missing (in order): " << want << "\nlog:" << all;
      }
      ++at;
    }
    return ::testing::AssertionSuccess();
  }

  bool Logged(const std::string& prefix) const {
    for (const auto& line : Lines())
      if (line.rfind(prefix, 0) == 0) return true;
    return false;
  }

  SavedFolderVariables savedVariables;
  TempFolder home;
  TempFolder files;
  TestHttpServer server;
  std::map<std::string, std::string> strings;
  std::ostringstream out;
  WizardPressQueue presses;
  std::unique_ptr<HeadlessHost> host;
};

TEST_F(UpgradeWizardTest, NewerVersionDownloadsAndUnpacksTheInstaller) {
  // The first item fails; the second is an archive whose installer is found
  // without regard to case.
  Publish("update.xml", Manifest("3.7", Item("/status/404") + Item("setup37.zip", "type=\"ZIPEXE\" inzipexename=\"SETUP.DEB\"")));
  StartHost(server.url("/files/update.xml"));
  ASSERT_TRUE(presses.Prepare("next,finish"));
  host->Request(kCheckUpdate);

  EXPECT_TRUE(ShowsInOrder({
      "wizard: page 1 caption=[UW.Title] title=[UW.Page1.Title] subtitle=[UW.Page1.SubTitle]",
      "wizard: buttons none",
      "wizard: animation play",
      "wizard: text 1175 [UW.Page1.Msg0]",
      "wizard: text 1176 [UW.Status.Connecting]",
      "wizard: animation stop",
      "wizard: text 1175 [UW.Page1.Msg1]",
      "wizard: page 2 caption=[UW.Title] title=[UW.Page2.Title]",
      "wizard: text 2017 You have 3.61; new 3.70",
      "wizard: buttons next",
      "wizard: description New things",
      "wizard: text 2019 [UW.Page2.Text1]",
      "wizard: text 2020 [UW.Page2.Text2]",
      "wizard: press next",
      "wizard: page 3",
      "wizard: buttons finish-disabled",
      "wizard: text 1175 [UW.Page3.Msg0]",
      "wizard: finish-text [UW.Page3.Setup]",
      "wizard: text 1176 [UW.Err.Http404]",
      "wizard: text 1176 [UW.Status.Downloading]",
      "wizard: progress 100",
      "wizard: text 1175 [UW.Page3.Msg2]",
      "wizard: buttons finish",
      "wizard: finish-text [UW.Page3.Setup]",
      "wizard: press finish",
      "shell: open " + InstallerFolder() + "/setup.deb",
      "wizard: close",
  }));
  // The installer stays for the program it started; the archive, the
  // manifest copy and its signature are gone.
  EXPECT_EQ(ReadFile(InstallerFolder() + "/setup.deb"), "zipped installer");
  EXPECT_EQ(LeftOver(), std::vector<std::string>{"setup.deb"});
  EXPECT_FALSE(Logged("wizard: text 1175 [UW.Page3.Msg1]"));
}

TEST_F(UpgradeWizardTest, InstallerMustMatchItsDigestAndDeclaredSize) {
  WriteFile(files / "mirror.deb", "plain installer");
  WriteFile(files / "big.deb", std::string(5000, 'x'));
  const std::string wrongDigest = "<Url src=\"" + server.url("/files/setup37.deb") + "\" sha256=\"" +
                                  std::string(64, '0') + "\"/>";
  Publish("update.xml",
          Manifest("3.7", wrongDigest + "<Url src=\"" + server.url("/files/setup37.deb") + "\"/>" + Item("big.deb", "size=\"4000\"") +
                              Item("/endless", "size=\"100000\"") + Item("mirror.deb", "size=\"15\"")));
  // A file from an earlier check is cleared away when page 3 starts.
  WriteFile(InstallerFolder() + "/old-installer.deb", "old");
  StartHost(server.url("/files/update.xml"));
  ASSERT_TRUE(presses.Prepare("next,finish"));
  host->Request(kCheckUpdate);
  EXPECT_TRUE(ShowsInOrder({"wizard: page 3", "wizard: text 1176 [UW.Err.Checksum]",
                            "wizard: text 1176 [UW.Err.DamagedManifest]", "wizard: text 1176 [UW.Err.TooLarge]",
                            "wizard: text 1176 [UW.Err.TooLarge]", "wizard: text 1175 [UW.Page3.Msg2]",
                            "wizard: press finish", "shell: open " + InstallerFolder() + "/mirror.deb",
                            "wizard: close"}));
  EXPECT_EQ(LeftOver(), std::vector<std::string>{"mirror.deb"}) << "no mismatching, partial or old file stays";
  EXPECT_EQ(ReadFile(InstallerFolder() + "/mirror.deb"), "plain installer");
}

TEST_F(UpgradeWizardTest, SameVersionOnlyOffersFinish) {
  Publish("update.xml", Manifest("3.61", ""));
  StartHost(server.url("/files/update.xml"));
  ASSERT_TRUE(presses.Prepare("finish"));
  host->Request(kCheckUpdate);
  EXPECT_TRUE(ShowsInOrder({"wizard: page 2", "wizard: text 2017 Up to date at 3.61", "wizard: hide 2019",
                            "wizard: hide 2016", "wizard: hide 2020", "wizard: buttons finish",
                            "wizard: press finish", "wizard: close"}));
  EXPECT_FALSE(Logged("wizard: buttons next"));
  EXPECT_FALSE(Logged("wizard: page 3"));
  EXPECT_FALSE(Logged("shell:"));
  EXPECT_FALSE(Logged("wizard: description"));
}

TEST_F(UpgradeWizardTest, OnlyAManifestSignedWithTheTrustedKeyIsUsed) {
  // Copies that are unsigned, signed for other content, signed with another
  // key, or carry something that is no signature; and a good one.
  const std::string manifest = Manifest("3.7", Item("setup37.deb"));
  WriteFile(files / "unsigned.xml", manifest);
  Publish("other.xml", manifest + " ");
  WriteFile(files / "changed.xml", manifest);
  std::filesystem::rename(files / "other.xml.sig", files / "changed.xml.sig");
  WriteFile(files / "foreign.xml", manifest);
  const std::string script = std::string(VORNIDA_SOURCE_DIR) + "/scripts/sign-update-manifest.sh";
  ASSERT_TRUE(Shell("bash " + Quote(script) + " --new-key " + Quote(home / "foreign.pem") + " >/dev/null && bash " +
                    Quote(script) + " " + Quote(home / "foreign.pem") + " " + Quote(files / "foreign.xml")));
  Publish("good.xml", manifest);
  WriteFile(files / "garbage.xml", manifest);
  WriteFile(files / "garbage.xml.sig", "not a signature");
  WriteFile(files / "huge.xml", manifest);
  WriteFile(files / "huge.xml.sig", std::string(5000, 's'));

  StartHost(server.url("/files/unsigned.xml") + ";" + server.url("/files/changed.xml") + ";" +
            server.url("/files/foreign.xml") + ";" + server.url("/files/garbage.xml") + ";" +
            server.url("/files/huge.xml"));
  host->Request(kCheckUpdate);
  EXPECT_TRUE(ShowsInOrder({"wizard: page 1", "wizard: text 1176 [UW.Err.NoSignature]",
                            "wizard: text 1176 [UW.Err.BadSignature]", "wizard: text 1176 [UW.Err.BadSignature]",
                            "wizard: text 1176 [UW.Err.BadSignature]", "wizard: text 1176 [UW.Err.BadSignature]",
                            "wizard: text 1175 [UW.Page1.ErrMsg1]",
                            "wizard: cancel (no prepared press)", "wizard: close"}));
  EXPECT_FALSE(Logged("wizard: page 2"));
  EXPECT_TRUE(LeftOver().empty()) << "an untrusted manifest is not kept";

  // The same failures, then a good copy: the wizard goes on with it.
  out.str("");
  host.reset();
  StartHost(server.url("/files/unsigned.xml") + ";" + server.url("/files/foreign.xml") + ";" +
            server.url("/files/good.xml"));
  ASSERT_TRUE(presses.Prepare("cancel"));
  host->Request(kCheckUpdate);
  EXPECT_TRUE(ShowsInOrder({"wizard: text 1176 [UW.Err.BadSignature]", "wizard: text 1175 [UW.Page1.Msg1]",
                            "wizard: page 2", "wizard: text 2017 You have 3.61; new 3.70"}));
}

TEST_F(UpgradeWizardTest, DamagedManifestLeavesNoWayOn) {
  for (const std::string damaged : {"<update curver=\"3.7\"><InstallUrl>", "not xml at all"}) {
    out.str("");
    host.reset();
    Publish("update.xml", damaged);
    StartHost(server.url("/files/update.xml"));
    ASSERT_TRUE(presses.Prepare("next"));
    host->Request(kCheckUpdate);
    EXPECT_TRUE(ShowsInOrder({"wizard: page 2", "wizard: text 2017 [UW.Err.DamagedManifest]", "wizard: hide 2016",
                              "wizard: buttons none", "wizard: cancel (next not enabled)", "wizard: close"}))
        << damaged;
    EXPECT_FALSE(Logged("wizard: buttons next")) << damaged;
    EXPECT_FALSE(Logged("wizard: page 3")) << damaged;
  }
}

TEST_F(UpgradeWizardTest, EachFailureSaysWhatFailed) {
  // A port nobody listens on.
  const std::string closed = "http://127.0.0.1:1/upgrade/update.xml";
  // A damaged archive whose digest is right: its installer cannot be taken out.
  std::string zip = ReadFile(files / "setup37.zip");
  zip[zip.find("zipped installer") + 3] ^= 0x20;
  WriteFile(files / "damaged.zip", zip);
  Publish("bomb-manifest.xml", "<update/>");  // a signature the bomb never reaches
  Publish("update.xml", Manifest("3.7", Item("/drip") + Item("damaged.zip", "type=\"ZIPEXE\" inzipexename=\"setup.deb\"")));

  struct Case {
    std::string urls;
    std::vector<std::string> shows;
  };
  const Case cases[] = {
      {closed, {"wizard: text 1176 [UW.Err.NoConnection]", "wizard: text 1175 [UW.Page1.ErrMsg1]"}},
      {server.url("/bomb/900"), {"wizard: text 1176 [UW.Err.TooLarge]", "wizard: text 1175 [UW.Page1.ErrMsg1]"}},
      {server.url("/stallredirect/0?wait=0.4"), {"wizard: text 1176 [UW.Err.TooSlow]"}},
      {server.url("/files/update.xml"),
       {"wizard: page 3", "wizard: text 1176 [UW.Err.TooSlow]", "wizard: text 1176 [UW.Err.DamagedArchive]",
        "wizard: text 1175 [UW.Page3.Msg1]", "wizard: cancel (no prepared press)"}},
  };
  for (const auto& c : cases) {
    out.str("");
    host.reset();
    StartHost(c.urls, [](UpgradeModuleOptions& options) { options.limits = QuickLimits(); });
    ASSERT_TRUE(presses.Prepare("next"));
    host->Request(kCheckUpdate);
    EXPECT_TRUE(ShowsInOrder(c.shows)) << c.urls;
    host.reset();
    EXPECT_TRUE(LeftOver().empty()) << c.urls << ": " << (LeftOver().empty() ? "" : LeftOver().front());
    presses.Clear();
  }
}

TEST_F(UpgradeWizardTest, WorksOverHttpsWithACheckedCertificate) {
  TempFolder certs;
  ASSERT_TRUE(testing::MakeTestCertificates(certs.path()));
  TestHttpServer secure(files.path(), certs / "server.pem", certs / "server.key");
  TestHttpServer untrusted(files.path(), certs / "self.pem", certs / "self.key");
  ASSERT_NE(secure.port(), 0);
  Publish("update.xml", Manifest("3.7", Item("setup37.deb", {}, &untrusted) + Item("setup37.deb", {}, &secure)));
  const auto withAuthority = [&certs](UpgradeModuleOptions& options) { options.caFile = certs / "ca.pem"; };

  StartHost(untrusted.url("/files/update.xml") + ";" + secure.url("/files/update.xml"), withAuthority);
  ASSERT_TRUE(presses.Prepare("next,finish"));
  host->Request(kCheckUpdate);
  EXPECT_TRUE(ShowsInOrder({"wizard: page 1", "wizard: text 1176 [UW.Err.Certificate]", "wizard: page 2",
                            "wizard: page 3", "wizard: text 1176 [UW.Err.Certificate]",
                            "wizard: text 1175 [UW.Page3.Msg2]", "wizard: press finish",
                            "shell: open " + InstallerFolder() + "/setup37.deb"}));

  // Without the test authority nothing of the secure server is trusted.
  out.str("");
  host.reset();
  StartHost(secure.url("/files/update.xml"));
  host->Request(kCheckUpdate);
  EXPECT_TRUE(ShowsInOrder({"wizard: text 1176 [UW.Err.Certificate]", "wizard: text 1175 [UW.Page1.ErrMsg1]"}));
}

// A view that lets the user press Cancel as soon as the installer's data
// flows, and otherwise shows what the headless view shows.
class CancellingView final : public WizardView {
 public:
  CancellingView(HeadlessHost& host, WizardPressQueue& presses, std::chrono::steady_clock::time_point& pressed)
      : pressed_(pressed), host_(host), inner_(host.Log(), host.Loop(), presses) {}
  void Bind(CUpgradeWizard* wizard) override {
    wizard_ = wizard;
    inner_.Bind(wizard);
  }
  void ShowPage(int page, const std::string& c, const std::string& t, const std::string& s) override {
    inner_.ShowPage(page, c, t, s);
  }
  void SetControlText(int control, const std::string& text) override {
    inner_.SetControlText(control, text);
    if (wizard_ && wizard_->Page() == 3 && text == "[UW.Status.Downloading]")
      host_.Loop().post([this] {
        pressed_ = std::chrono::steady_clock::now();
        if (wizard_) wizard_->Press(WizardPress::Cancel);
      });
  }
  void AppendDescription(const std::string& text) override { inner_.AppendDescription(text); }
  void HideControl(int control) override { inner_.HideControl(control); }
  void SetButtons(std::uint32_t flags) override { inner_.SetButtons(flags); }
  void SetFinishText(const std::string& text) override { inner_.SetFinishText(text); }
  void SetProgress(int percent) override { inner_.SetProgress(percent); }
  void SetAnimation(bool playing) override { inner_.SetAnimation(playing); }
  void Show() override { inner_.Show(); }
  void Destroy() override { inner_.Destroy(); }

 private:
  std::chrono::steady_clock::time_point& pressed_;
  HeadlessHost& host_;
  HeadlessWizardView inner_;
  CUpgradeWizard* wizard_ = nullptr;
};

TEST_F(UpgradeWizardTest, CancelStopsTheDownloadAtOnceAndLeavesNothing) {
  Publish("update.xml", Manifest("3.7", Item("/slow")));
  std::chrono::steady_clock::time_point pressed{};
  StartHost(server.url("/files/update.xml"), [this, &pressed](UpgradeModuleOptions& options) {
    options.makeView = [this, &pressed](bool) { return std::make_unique<CancellingView>(*host, presses, pressed); };
  });
  ASSERT_TRUE(presses.Prepare("next"));
  host->Request(kCheckUpdate);  // returns when the wizard has gone
  const auto done = std::chrono::steady_clock::now();
  ASSERT_NE(pressed.time_since_epoch().count(), 0) << "Cancel was pressed";
  EXPECT_TRUE(ShowsInOrder({"wizard: page 3", "wizard: text 1176 [UW.Status.Downloading]", "wizard: close"}));
  // The server would have gone on for 30 seconds.
  EXPECT_LT(done - pressed, std::chrono::seconds(3));
  EXPECT_TRUE(LeftOver().empty()) << LeftOver().front();
}

TEST_F(UpgradeWizardTest, TextsFallBackToEnglishWhereTheMovieHasNone) {
  strings = {{"UW.Page1.Msg0", "Verbinde..."}};  // the movie's own text wins where it has one
  StartHost("http://127.0.0.1:1/update.xml");
  host->Request(kCheckUpdate);
  EXPECT_TRUE(ShowsInOrder({"wizard: page 1 caption=Vornida Upgrade Wizard title=Checking for updates",
                            "wizard: text 1175 Verbinde...", "wizard: text 1176 Connecting to the server",
                            "wizard: text 1176 The server cannot be reached. Check the network connection.",
                            "wizard: text 1175 The update information could not be fetched from the server."}));
}

TEST_F(UpgradeWizardTest, EveryManifestUrlFailingLeavesOnlyCancel) {
  StartHost(server.url("/status/404") + ";" + server.url("/status/503") + ";");
  host->Request(kCheckUpdate);
  EXPECT_TRUE(ShowsInOrder({"wizard: page 1", "wizard: text 1176 [UW.Err.Http404]",
                            "wizard: text 1176 [UW.Err.Http503]", "wizard: animation stop",
                            "wizard: text 1175 [UW.Page1.ErrMsg1]", "wizard: cancel (no prepared press)",
                            "wizard: close"}));
  EXPECT_FALSE(Logged("wizard: page 2"));
}

TEST_F(UpgradeWizardTest, ArchiveWithoutTheInstallerShowsTheError) {
  Publish("update.xml", Manifest("3.7", Item("other.zip", "type=\"ZIPEXE\" inzipexename=\"missing.deb\"")));
  StartHost(server.url("/files/update.xml"));
  ASSERT_TRUE(presses.Prepare("next,finish"));
  host->Request(kCheckUpdate);
  EXPECT_TRUE(ShowsInOrder({"wizard: page 3", "msgbox: style=16 caption=[Msg.Title] text=[UW.Page3.Msg3]",
                            "wizard: cancel (finish not enabled)", "wizard: close"}));
  EXPECT_TRUE(std::filesystem::exists(InstallerFolder() + "/other.zip")) << "the archive stays";
  EXPECT_FALSE(Logged("wizard: text 1175 [UW.Page3.Msg2]"));
}

TEST_F(UpgradeWizardTest, SilentCheckShowsItselfWhenTheUserAgrees) {
  Publish("update.xml", Manifest("3.7", Item("setup37.deb")));
  StartHost(server.url("/files/update.xml"));
  host->PrepareMessageBox(platform::kIdYes);
  ASSERT_TRUE(presses.Prepare("finish"));
  host->Request(kLoadComplete);
  ASSERT_TRUE(host->Wait(std::chrono::seconds(60)));
  EXPECT_TRUE(ShowsInOrder({"wizard: page 1", "wizard: page 2", "wizard: description New things",
                            "msgbox: style=68 caption=[Msg.Title] text=[UW.Page2.Msg3]", "wizard: show",
                            "wizard: page 3", "wizard: text 1175 [UW.Page3.Msg2]", "wizard: press finish",
                            "shell: open " + InstallerFolder() + "/setup37.deb", "wizard: close"}));
}

TEST_F(UpgradeWizardTest, SilentCheckEndsQuietlyOnNoOrNothingNewOrAnyFailure) {
  Publish("update.xml", Manifest("3.7", Item("setup37.deb")));
  StartHost(server.url("/files/update.xml"));
  host->PrepareMessageBox(platform::kIdNo);
  host->Request(kLoadComplete);
  ASSERT_TRUE(host->Wait(std::chrono::seconds(60)));
  EXPECT_TRUE(ShowsInOrder({"wizard: page 2", "msgbox: style=68", "wizard: close"}));
  EXPECT_FALSE(Logged("wizard: show"));
  EXPECT_FALSE(Logged("wizard: page 3"));

  for (const std::string& manifest : {Manifest("3.5", ""), std::string("<broken")}) {
    out.str("");
    host.reset();
    Publish("update.xml", manifest);
    StartHost(server.url("/files/update.xml"));
    host->Request(kLoadComplete);
    ASSERT_TRUE(host->Wait(std::chrono::seconds(60)));
    EXPECT_TRUE(ShowsInOrder({"wizard: page 2", "wizard: text 2017", "wizard: close"})) << manifest;
    EXPECT_FALSE(Logged("msgbox:"));
    EXPECT_FALSE(Logged("wizard: show"));
  }
  out.str("");
  host.reset();
  WriteFile(files / "unsigned.xml", Manifest("3.7", Item("setup37.deb")));
  StartHost(server.url("/files/unsigned.xml"));
  host->Request(kLoadComplete);
  ASSERT_TRUE(host->Wait(std::chrono::seconds(60)));
  EXPECT_TRUE(ShowsInOrder({"wizard: page 1", "wizard: text 1176 [UW.Err.NoSignature]", "wizard: close"}));
  EXPECT_FALSE(Logged("wizard: page 2"));
}

TEST_F(UpgradeWizardTest, SilentCheckGivesUpWithoutADescription) {
  // Newer, but nothing to describe: a hidden wizard could never move on.
  Publish("update.xml", "<update curver=\"9\"><InstallUrl/></update>");
  StartHost(server.url("/files/update.xml"));
  host->Request(kLoadComplete);
  ASSERT_TRUE(host->Wait(std::chrono::seconds(60)));
  EXPECT_TRUE(ShowsInOrder({"wizard: page 2", "wizard: text 2017 You have 3.61; new 9.00", "wizard: close"}));
  EXPECT_FALSE(Logged("msgbox:"));
}

TEST_F(UpgradeWizardTest, MovieScriptRunsTheSilentCheck) {
  Publish("update.xml", Manifest("3.7", Item("setup37.zip", "type=\"ZIPEXE\" inzipexename=\"setup.deb\"")));
  StartHost(server.url("/gzipfiles/update.xml"));  // a gzip-encoded manifest, signed as it inflates
  ASSERT_TRUE(presses.Prepare("finish"));
  std::istringstream script(std::string("# the movie has loaded; the user agrees to update\nmsgbox 6\n") +
                            kLoadComplete + "\nwait\n");
  std::ostringstream errors;
  EXPECT_EQ(RunScript(*host, script, errors, std::chrono::seconds(60)), kScriptDone) << errors.str();
  EXPECT_TRUE(ShowsInOrder({"msgbox: style=68", "wizard: show", "wizard: page 3", "wizard: progress 100",
                            "wizard: text 1175 [UW.Page3.Msg2]", "wizard: press finish",
                            "shell: open " + InstallerFolder() + "/setup.deb", "wizard: close"}));
  EXPECT_EQ(ReadFile(InstallerFolder() + "/setup.deb"), "zipped installer");
}

TEST_F(UpgradeWizardTest, CheckUpdateFirstSuppressesTheSilentCheck) {
  Publish("update.xml", Manifest("3.61", ""));
  StartHost(server.url("/files/update.xml"));
  ASSERT_TRUE(presses.Prepare("finish"));
  host->Request(kCheckUpdate);
  out.str("");
  host->Request(kLoadComplete);
  ASSERT_TRUE(host->Wait(std::chrono::seconds(60)));
  EXPECT_FALSE(Logged("wizard:"));
}

TEST(WizardPressQueueTest, ParsesPressLists) {
  WizardPressQueue queue;
  EXPECT_TRUE(queue.Prepare("next,finish"));
  EXPECT_FALSE(queue.Prepare("next,later")) << "unknown word";
  EXPECT_FALSE(queue.Prepare(""));
  EXPECT_EQ(queue.Take(), WizardPress::Next);
  EXPECT_EQ(queue.Take(), WizardPress::Finish);
  EXPECT_EQ(queue.Take(), std::nullopt) << "a rejected list adds nothing";
}

}  // namespace
}  // namespace vornida
