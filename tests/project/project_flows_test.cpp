// The movie's "SaveProject" and "OpenProject" against the real command table,
// with a file dialog that records what it was asked and answers as a user
// would.
#include <gtest/gtest.h>

#include <deque>
#include <sstream>

#include "app/folders.h"
#include "app/registry.h"
#include "commands/vr_flash_ctrl.h"
#include "host/messages.h"
#include "platform/headless/headless_platform.h"
#include "platform/headless/manual_event_loop.h"
#include "platform/system_codes.h"
#include "project/project_commands.h"
#include "support.h"
#include "xml/xml_doc.h"

namespace vornida {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;

class RecordingDialogs final : public platform::FileDialogs {
 public:
  platform::FileDialogResult showFileDialog(const platform::FileDialogRequest& request) override {
    requests.push_back(request);
    platform::FileDialogResult result;
    if (!answers.empty()) {
      if (!answers.front().empty()) {
        result.accepted = true;
        result.paths = {answers.front()};
      }
      answers.pop_front();
    }
    return result;
  }
  std::deque<std::string> answers;  // "" cancels
  std::vector<platform::FileDialogRequest> requests;
};

class RecordingBoxes final : public platform::MessageBoxes {
 public:
  int showMessageBox(const platform::MessageBoxRequest& request) override {
    shown.push_back(request);
    return platform::kIdOk;
  }
  std::vector<platform::MessageBoxRequest> shown;
};

class ProjectFlows : public ::testing::Test {
 protected:
  ProjectFlows()
      : tmp_("TMPDIR", scratch_ / "tmp"),
        data_("XDG_DATA_HOME", scratch_ / "data"),
        config_("XDG_CONFIG_HOME", scratch_ / "config"),
        log_(logText_),
        movie_(log_, [this](const std::string& request) { return Answer(request); }) {
    std::filesystem::create_directories(scratch_ / "tmp");
    InitThumbnailFolder("Vornida");
    InitAppDataFolder("Vornida");
    SelectRegistryStore("Vornida", "vornida");
    services_.loop = &loop_;
    services_.fileDialogs = &dialogs_;
    services_.messageBoxes = &boxes_;
    control_ = std::make_unique<CVRFlashCtrl>(movie_, services_);
    InstallProjectCommands(*control_, [this](const std::vector<std::string>& paths) { batches_.push_back(paths); });
  }

  std::optional<std::string> Answer(const std::string& request) {
    // The project text goes into the callback unescaped, so a broken project
    // makes a request that does not parse; keep those callbacks by their name.
    if (request.rfind("<invoke name='openProjectCallBack'>", 0) == 0) {
      callbacks_.push_back(request);
      return std::string();
    }
    DecodedCall call;
    if (!ParseInvoke(request, call)) return std::nullopt;
    if (call.name == "getStr") return StringValue("[" + call.args.at(0) + "]");
    if (call.name == "notify") notices_.push_back(call.args.at(0) + "=" + call.args.at(1));
    return std::string();
  }

  // What the movie sends: the document escaped into a string argument.
  std::optional<std::string> Save(const std::string& document, int saveAs) {
    return movie_.deliverFlashCall("<invoke name=\"SaveProject\" returntype=\"xml\"><arguments><string>" +
                                   XmlEscape(document) + "</string><number>" + std::to_string(saveAs) +
                                   "</number></arguments></invoke>");
  }
  std::optional<std::string> Open() {
    return movie_.deliverFlashCall("<invoke name=\"OpenProject\" returntype=\"xml\"><arguments></arguments></invoke>");
  }

  testing::ScratchFolder scratch_;
  testing::EnvOverride tmp_, data_, config_;
  std::ostringstream logText_;
  platform::EventLog log_;
  platform::HeadlessMovie movie_;
  platform::ManualEventLoop loop_;
  RecordingDialogs dialogs_;
  RecordingBoxes boxes_;
  platform::Services services_;
  std::unique_ptr<CVRFlashCtrl> control_;
  std::vector<std::vector<std::string>> batches_;
  std::vector<std::string> callbacks_;
  std::vector<std::string> notices_;  // "event=value" of each notify
};

const std::string kDocA = "<VornidaProject version='1'><Photos><Photo src='/a.jpg'/></Photos></VornidaProject>";
const std::string kDocB = "<VornidaProject version='1'><Photos/></VornidaProject>";

TEST_F(ProjectFlows, FirstSaveAsksThenQuickSavesGoToTheSameFileWithoutADialog) {
  const std::string file = scratch_ / "mine.vrn";
  dialogs_.answers = {file};
  EXPECT_FALSE(Save(kDocA, 0).has_value());  // the movie gets no answer
  ASSERT_EQ(dialogs_.requests.size(), 1u);
  const auto& request = dialogs_.requests[0];
  EXPECT_EQ(request.mode, platform::FileDialogMode::Save);
  EXPECT_EQ(request.initialFileName, "MyShape");
  EXPECT_EQ(request.initialFolder, "");
  EXPECT_EQ(request.title, "[Project_Save]");
  EXPECT_EQ(request.filter, "[App_Project_File](*.vrn)|*.vrn|[AllFiles](*.*)|*.*||");
  EXPECT_EQ(request.flags, platform::kOfnOverwritePrompt);
  EXPECT_EQ(ReadBytes(file), kDocA);
  EXPECT_EQ(control_->CurrentProjectPath(), file);
  EXPECT_EQ(GetRecent(kRecentSaveProject), file);

  Save(kDocB, 0);
  EXPECT_EQ(dialogs_.requests.size(), 1u);
  EXPECT_EQ(ReadBytes(file), kDocB);
}

TEST_F(ProjectFlows, SaveAsProposesTheCurrentNameOrMyShapeInTheLastFolder) {
  SetRecent(kRecentSaveProject, "/projects/old/last.vrn");
  dialogs_.answers = {""};
  EXPECT_EQ(SaveProject(*control_, kDocA, true), ProjectSaveResult::Cancelled);
  EXPECT_EQ(dialogs_.requests.back().initialFolder, "/projects/old");
  EXPECT_EQ(dialogs_.requests.back().initialFileName, "last.vrn");  // save-as keeps the remembered name
  EXPECT_EQ(dialogs_.requests.back().title, "[Project_SaveAs]");

  // A plain save without a current project proposes "MyShape" in the last folder.
  dialogs_.answers = {""};
  EXPECT_EQ(SaveProject(*control_, kDocA, false), ProjectSaveResult::Cancelled);
  EXPECT_EQ(dialogs_.requests.back().initialFolder, "/projects/old");
  EXPECT_EQ(dialogs_.requests.back().initialFileName, "MyShape");
  EXPECT_EQ(control_->CurrentProjectPath(), "");

  const std::string current = scratch_ / "current.vrn";
  control_->SetCurrentProjectPath(current);
  const std::string copy = scratch_ / "copy.vrn";
  dialogs_.answers = {copy};
  EXPECT_EQ(SaveProject(*control_, kDocB, true), ProjectSaveResult::Saved);
  EXPECT_EQ(dialogs_.requests.back().initialFolder, scratch_.path());
  EXPECT_EQ(dialogs_.requests.back().initialFileName, "current.vrn");
  EXPECT_EQ(ReadBytes(copy), kDocB);
  EXPECT_FALSE(std::filesystem::exists(current));
  EXPECT_EQ(control_->CurrentProjectPath(), copy);
}

TEST_F(ProjectFlows, DocumentThatDoesNotParseIsNeitherSavedNorAskedFor) {
  control_->SetCurrentProjectPath(scratch_ / "current.vrn");
  EXPECT_EQ(SaveProject(*control_, "<VornidaProject>", false), ProjectSaveResult::NotXml);
  EXPECT_EQ(SaveProject(*control_, "<VornidaProject>", true), ProjectSaveResult::NotXml);
  EXPECT_TRUE(dialogs_.requests.empty());
  EXPECT_FALSE(std::filesystem::exists(scratch_ / "current.vrn"));
}

TEST_F(ProjectFlows, FailedWriteIsNotTakenAsSaved) {
  const std::string good = scratch_ / "good.vrn";
  dialogs_.answers = {good};
  ASSERT_EQ(SaveProject(*control_, kDocA, false), ProjectSaveResult::Saved);

  // Save-as into a folder that does not exist: nothing changes.
  dialogs_.answers = {scratch_ / "nowhere/bad.vrn"};
  EXPECT_EQ(SaveProject(*control_, kDocB, true), ProjectSaveResult::WriteFailed);
  EXPECT_EQ(control_->CurrentProjectPath(), good);
  EXPECT_EQ(GetRecent(kRecentSaveProject), good);
  EXPECT_EQ(ReadBytes(good), kDocA);

  // A quick save whose file cannot be replaced keeps the old project whole.
  std::filesystem::remove(good);
  std::filesystem::create_directories(good + "/blocker");
  EXPECT_EQ(SaveProject(*control_, kDocB, false), ProjectSaveResult::WriteFailed);
  EXPECT_EQ(control_->CurrentProjectPath(), good);
  EXPECT_EQ(testing::FolderEntries(scratch_.path()), (std::vector<std::string>{"config", "data", "good.vrn", "tmp"}));
}

TEST_F(ProjectFlows, OpenGivesTheStoredTextUnchangedAndQueuesItsPhotos) {
  const std::string file = scratch_ / "p.vrn";
  const std::string text =
      "<VornidaProject version='1'>\n  <Settings><Vornida shapeType='Circle'/></Settings>\n"
      "  <photos><Photo src='/b.jpg'/><Photo src=''/><Photo src='/a &amp; c.jpg'/></photos>\n</VornidaProject>\n";
  WriteBytes(file, text);
  SetRecent(kRecentSaveProject, "/elsewhere/last.vrn");
  dialogs_.answers = {file};
  EXPECT_FALSE(Open().has_value());

  ASSERT_EQ(dialogs_.requests.size(), 1u);
  EXPECT_EQ(dialogs_.requests[0].mode, platform::FileDialogMode::Open);
  EXPECT_EQ(dialogs_.requests[0].initialFolder, "/elsewhere");
  EXPECT_EQ(dialogs_.requests[0].initialFileName, "");
  EXPECT_EQ(dialogs_.requests[0].title, "[Project_Open]");
  ASSERT_EQ(callbacks_.size(), 1u);
  EXPECT_EQ(callbacks_[0], "<invoke name='openProjectCallBack'><arguments><string>" + text + "</string></arguments></invoke>");
  ASSERT_EQ(batches_.size(), 1u);
  // Queued last first: the import takes the queue from its tail, and the
  // photo list gets the project's order.
  EXPECT_EQ(batches_[0], (std::vector<std::string>{"/a & c.jpg", "/b.jpg"}));
  EXPECT_EQ(control_->CurrentProjectPath(), file);
  EXPECT_EQ(GetRecent(kRecentSaveProject), file);
}

TEST_F(ProjectFlows, OpenFindsRelativePhotosBesideTheProjectAndWarnsOfANewerOne) {
  std::filesystem::create_directories(scratch_ / "trip");
  const std::string file = scratch_ / "trip/p.vrn";
  WriteBytes(file, "<VornidaProject version='1'><Photos><Photo src='pics/a.jpg'/><Photo src='../b.jpg'/>"
                   "<Photo src='/abs/c.jpg'/></Photos></VornidaProject>");
  dialogs_.answers = {file};
  Open();
  ASSERT_EQ(batches_.size(), 1u);
  EXPECT_EQ(batches_[0], (std::vector<std::string>{"/abs/c.jpg", scratch_ / "b.jpg", scratch_ / "trip/pics/a.jpg"}));
  EXPECT_TRUE(boxes_.shown.empty());  // our own version: nothing to say
  // None of the three exists: the movie hears of them once, in the project's order.
  EXPECT_EQ(notices_, (std::vector<std::string>{"projectPhotosMissing=" + (scratch_ / "trip/pics/a.jpg") + "\n" +
                                                (scratch_ / "b.jpg") + "\n/abs/c.jpg"}));
  // A photo that is there is not named.
  WriteBytes(scratch_ / "b.jpg", "not even a picture");
  notices_.clear();
  dialogs_.answers = {file};
  Open();
  EXPECT_EQ(notices_, (std::vector<std::string>{"projectPhotosMissing=" + (scratch_ / "trip/pics/a.jpg") + "\n/abs/c.jpg"}));
  batches_.erase(batches_.begin() + 1);
  callbacks_.pop_back();

  const std::string later = scratch_ / "trip/later.vrn";
  WriteBytes(later, "<VornidaProject version='2'><Photos><Photo src='a.jpg'/></Photos></VornidaProject>");
  dialogs_.answers = {later};
  Open();
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "[Project_newer_version]");  // the movie's text by key
  EXPECT_EQ(boxes_.shown[0].caption, "[Warning]");
  EXPECT_EQ(boxes_.shown[0].style, platform::kMbOk | platform::kMbIconWarning);
  // Then it opens as any other.
  ASSERT_EQ(callbacks_.size(), 2u);
  ASSERT_EQ(batches_.size(), 2u);
  EXPECT_EQ(batches_[1], (std::vector<std::string>{scratch_ / "trip/a.jpg"}));
}

TEST_F(ProjectFlows, UnreadableProjectStillReachesTheMovieAndBecomesCurrent) {
  const std::string missing = scratch_ / "gone.vrn";
  const std::string broken = scratch_ / "broken.vrn";
  WriteBytes(broken, "<VornidaProject><Photos><Photo src='/x.jpg'/>");
  dialogs_.answers = {missing, broken};
  Open();
  Open();
  ASSERT_EQ(callbacks_.size(), 2u);
  EXPECT_EQ(callbacks_[0], "<invoke name='openProjectCallBack'><arguments><string></string></arguments></invoke>");
  EXPECT_NE(callbacks_[1].find("<Photo src='/x.jpg'/>"), std::string::npos);
  // Each open forms a batch, empty or not.
  EXPECT_EQ(batches_, (std::vector<std::vector<std::string>>{{}, {}}));
  EXPECT_EQ(control_->CurrentProjectPath(), broken);
}

TEST_F(ProjectFlows, CancelledOpenAndShortSaveCallChangeNothing) {
  control_->SetCurrentProjectPath("/keep.vrn");
  dialogs_.answers = {""};
  Open();
  EXPECT_TRUE(callbacks_.empty());
  EXPECT_TRUE(batches_.empty());
  EXPECT_EQ(control_->CurrentProjectPath(), "/keep.vrn");
  EXPECT_EQ(GetRecent(kRecentSaveProject), "");

  // One argument is too few: the command does not run.
  movie_.deliverFlashCall("<invoke name=\"SaveProject\"><arguments><string>&lt;p/&gt;</string></arguments></invoke>");
  EXPECT_EQ(dialogs_.requests.size(), 1u);
  EXPECT_FALSE(std::filesystem::exists("/keep.vrn"));
}

}  // namespace
}  // namespace vornida
