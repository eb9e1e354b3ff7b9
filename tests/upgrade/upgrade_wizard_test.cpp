// The upgrade wizard end to end: the headless host delivers "CheckUpdate" or
// "LoadComplete" as the movie would, the wizard fetches a manifest and
// installers from a local HTTP server, and the event log shows what a user
// would have seen.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <sstream>

#include "headless/headless_host.h"
#include "platform/system_codes.h"
#include "test_support.h"
#include "headless/headless_wizard.h"
#include "upgrade/upgrade_commands.h"

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
  }

  // Builds the host with the upgrade commands, quick silent timers and the
  // given manifest URL list.
  void StartHost(const std::string& urlList) {
    HeadlessOptions options;
    options.movieVersion = "3.61";
    options.strings = {{"UW.Page2.Msg1", "You have %.2f; new %.2f"}, {"UW.Page2.Msg2", "Up to date at %.2f"}};
    host = std::make_unique<HeadlessHost>(out, std::move(options));
    UpgradeModuleOptions upgrade;
    upgrade.urlList = urlList;
    upgrade.firstDelay = upgrade.secondDelay = upgrade.silentStepDelay = std::chrono::milliseconds(10);
    upgrade.makeView = [this](bool) {
      return std::make_unique<HeadlessWizardView>(host->Log(), host->Loop(), presses);
    };
    InstallUpgradeCommands(host->Control(), std::move(upgrade));
  }

  std::string InstallerFolder() const { return home / "XDG_DATA_HOME/Vornida/Upgrade/Installer"; }
  std::string ManifestCopy() const { return home / "XDG_DATA_HOME/Vornida/Upgrade/Update.xml"; }

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

  TempFolder home;
  TempFolder files;
  TestHttpServer server;
  std::ostringstream out;
  WizardPressQueue presses;
  std::unique_ptr<HeadlessHost> host;
};

TEST_F(UpgradeWizardTest, NewerVersionDownloadsAndUnpacksTheInstaller) {
  // The first item fails; the second is an archive whose installer is found
  // without regard to case.
  WriteFile(files / "update.xml",
            Manifest("3.7", "<Url src=\"" + server.url("/status/404") + "\"/><Url src=\"" +
                                server.url("/files/setup37.zip") +
                                "\" type=\"ZIPEXE\" inzipexename=\"SETUP.DEB\"/>"));
  StartHost(server.url("/files/update.xml"));
  ASSERT_TRUE(presses.Prepare("next,finish"));
  host->Request(kCheckUpdate);

  EXPECT_TRUE(ShowsInOrder({
      "wizard: page 1 caption=UW.Title title=UW.Page1.Title subtitle=UW.Page1.SubTitle",
      "wizard: buttons none",
      "wizard: animation play",
      "wizard: text 1175 UW.Page1.Msg0",
      "wizard: animation stop",
      "wizard: text 1175 UW.Page1.Msg1",
      "wizard: page 2 caption=UW.Title title=UW.Page2.Title",
      "wizard: buttons next",
      "wizard: text 2017 You have 3.61; new 3.70",
      "wizard: description New things",
      "wizard: text 2019 UW.Page2.Text1",
      "wizard: text 2020 UW.Page2.Text2",
      "wizard: press next",
      "wizard: page 3",
      "wizard: buttons finish-disabled",
      "wizard: text 1175 UW.Page3.Msg0",
      "wizard: finish-text UW.Page3.Setup",
      "wizard: progress 100",
      "wizard: text 1175 UW.Page3.Msg2",
      "wizard: buttons finish",
      "wizard: finish-text UW.Page3.Setup",
      "wizard: press finish",
      "shell: open " + InstallerFolder() + "/setup.deb",
      "wizard: close",
  }));
  // The installer stays for the program it started; the archive and the
  // manifest copy are gone.
  EXPECT_EQ(ReadFile(InstallerFolder() + "/setup.deb"), "zipped installer");
  EXPECT_FALSE(std::filesystem::exists(InstallerFolder() + "/setup37.zip"));
  EXPECT_FALSE(std::filesystem::exists(ManifestCopy()));
  EXPECT_FALSE(Logged("wizard: text 1175 UW.Page3.Msg1"));
}

TEST_F(UpgradeWizardTest, PlainInstallerMustMatchItsDigest) {
  ASSERT_TRUE(Shell("sha256sum " + Quote(files / "setup37.deb") + " | cut -c1-64 > " + Quote(files / "sum")));
  std::string sum = ReadFile(files / "sum");
  sum.resize(64);
  WriteFile(files / "mirror.deb", "plain installer");
  WriteFile(files / "update.xml",
            Manifest("3.7", "<Url src=\"" + server.url("/files/setup37.deb") + "\" sha256=\"" +
                                std::string(64, '0') + "\"/><Url src=\"" + server.url("/files/mirror.deb") +
                                "\" sha256=\"" + sum + "\"/>"));
  // A file from an earlier check is cleared away when page 3 starts.
  WriteFile(InstallerFolder() + "/old-installer.deb", "old");
  StartHost(server.url("/files/update.xml"));
  ASSERT_TRUE(presses.Prepare("next,finish"));
  host->Request(kCheckUpdate);
  EXPECT_TRUE(ShowsInOrder({"wizard: page 3", "wizard: text 1175 UW.Page3.Msg2", "wizard: press finish",
                            "shell: open " + InstallerFolder() + "/mirror.deb", "wizard: close"}));
  EXPECT_FALSE(std::filesystem::exists(InstallerFolder() + "/setup37.deb")) << "the mismatching file goes";
  EXPECT_FALSE(std::filesystem::exists(InstallerFolder() + "/old-installer.deb"));
  EXPECT_EQ(ReadFile(InstallerFolder() + "/mirror.deb"), "plain installer");
}

TEST_F(UpgradeWizardTest, SameVersionOnlyOffersFinish) {
  WriteFile(files / "update.xml", Manifest("3.61", ""));
  StartHost(server.url("/files/update.xml"));
  ASSERT_TRUE(presses.Prepare("finish"));
  host->Request(kCheckUpdate);
  EXPECT_TRUE(ShowsInOrder({"wizard: page 2", "wizard: text 2017 Up to date at 3.61", "wizard: hide 2019",
                            "wizard: hide 2016", "wizard: hide 2020", "wizard: buttons finish",
                            "wizard: press finish", "wizard: close"}));
  EXPECT_FALSE(Logged("wizard: page 3"));
  EXPECT_FALSE(Logged("shell:"));
  EXPECT_FALSE(Logged("wizard: description"));
}

TEST_F(UpgradeWizardTest, EveryManifestUrlFailingLeavesOnlyCancel) {
  StartHost(server.url("/status/404") + ";" + server.url("/status/503") + ";");
  host->Request(kCheckUpdate);
  EXPECT_TRUE(ShowsInOrder({"wizard: page 1", "wizard: animation stop", "wizard: text 1175 UW.Page1.ErrMsg1",
                            "wizard: cancel (no prepared press)", "wizard: close"}));
  EXPECT_FALSE(Logged("wizard: page 2"));
}

TEST_F(UpgradeWizardTest, ArchiveWithoutTheInstallerShowsTheError) {
  WriteFile(files / "update.xml",
            Manifest("3.7", "<Url src=\"" + server.url("/files/other.zip") +
                                "\" type=\"ZIPEXE\" inzipexename=\"missing.deb\"/>"));
  StartHost(server.url("/files/update.xml"));
  ASSERT_TRUE(presses.Prepare("next,finish"));
  host->Request(kCheckUpdate);
  EXPECT_TRUE(ShowsInOrder({"wizard: page 3", "msgbox: style=16 caption=Msg.Title text=UW.Page3.Msg3",
                            "wizard: cancel (finish not enabled)", "wizard: close"}));
  EXPECT_TRUE(std::filesystem::exists(InstallerFolder() + "/other.zip")) << "the archive stays";
  EXPECT_FALSE(Logged("wizard: text 1175 UW.Page3.Msg2"));
}

TEST_F(UpgradeWizardTest, SilentCheckShowsItselfWhenTheUserAgrees) {
  WriteFile(files / "update.xml", Manifest("3.7", "<Url src=\"" + server.url("/files/setup37.deb") + "\"/>"));
  StartHost(server.url("/files/update.xml"));
  host->PrepareMessageBox(platform::kIdYes);
  ASSERT_TRUE(presses.Prepare("finish"));
  host->Request(kLoadComplete);
  ASSERT_TRUE(host->Wait(std::chrono::seconds(60)));
  EXPECT_TRUE(ShowsInOrder({"wizard: page 1", "wizard: page 2", "wizard: description New things",
                            "msgbox: style=68 caption=Msg.Title text=UW.Page2.Msg3", "wizard: show",
                            "wizard: page 3", "wizard: text 1175 UW.Page3.Msg2", "wizard: press finish",
                            "shell: open " + InstallerFolder() + "/setup37.deb", "wizard: close"}));
}

TEST_F(UpgradeWizardTest, SilentCheckEndsQuietlyOnNoOrNothingNew) {
  WriteFile(files / "update.xml", Manifest("3.7", "<Url src=\"" + server.url("/files/setup37.deb") + "\"/>"));
  StartHost(server.url("/files/update.xml"));
  host->PrepareMessageBox(platform::kIdNo);
  host->Request(kLoadComplete);
  ASSERT_TRUE(host->Wait(std::chrono::seconds(60)));
  EXPECT_TRUE(ShowsInOrder({"wizard: page 2", "msgbox: style=68", "wizard: close"}));
  EXPECT_FALSE(Logged("wizard: show"));
  EXPECT_FALSE(Logged("wizard: page 3"));

  out.str("");
  host.reset();
  WriteFile(files / "update.xml", Manifest("3.5", ""));
  StartHost(server.url("/files/update.xml"));
  host->Request(kLoadComplete);
  ASSERT_TRUE(host->Wait(std::chrono::seconds(60)));
  EXPECT_TRUE(ShowsInOrder({"wizard: page 2", "wizard: text 2017 Up to date at 3.61", "wizard: close"}));
  EXPECT_FALSE(Logged("msgbox:"));
  EXPECT_FALSE(Logged("wizard: show"));
}

TEST_F(UpgradeWizardTest, SilentCheckGivesUpWithoutADescription) {
  // Newer, but nothing to describe: a hidden wizard could never move on.
  WriteFile(files / "update.xml", "<update curver=\"9\"><InstallUrl/></update>");
  StartHost(server.url("/files/update.xml"));
  host->Request(kLoadComplete);
  ASSERT_TRUE(host->Wait(std::chrono::seconds(60)));
  EXPECT_TRUE(ShowsInOrder({"wizard: page 2", "wizard: text 2017 You have 3.61; new 9.00", "wizard: close"}));
  EXPECT_FALSE(Logged("msgbox:"));
}

TEST_F(UpgradeWizardTest, MovieScriptRunsTheSilentCheck) {
  WriteFile(files / "update.xml",
            Manifest("3.7", "<Url src=\"" + server.url("/files/setup37.zip") +
                                "\" type=\"ZIPEXE\" inzipexename=\"setup.deb\"/>"));
  StartHost(server.url("/files/update.xml"));
  ASSERT_TRUE(presses.Prepare("finish"));
  std::istringstream script(std::string("# the movie has loaded; the user agrees to update\nmsgbox 6\n") +
                            kLoadComplete + "\nwait\n");
  std::ostringstream errors;
  EXPECT_EQ(RunScript(*host, script, errors, std::chrono::seconds(60)), kScriptDone) << errors.str();
  EXPECT_TRUE(ShowsInOrder({"msgbox: style=68", "wizard: show", "wizard: page 3", "wizard: progress 100",
                            "wizard: text 1175 UW.Page3.Msg2", "wizard: press finish",
                            "shell: open " + InstallerFolder() + "/setup.deb", "wizard: close"}));
  EXPECT_EQ(ReadFile(InstallerFolder() + "/setup.deb"), "zipped installer");
}

TEST_F(UpgradeWizardTest, CheckUpdateFirstSuppressesTheSilentCheck) {
  WriteFile(files / "update.xml", Manifest("3.61", ""));
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
