// Project saving and opening played as movie scripts through the real
// vornida-headless program, one process per run as a user would meet it.
#include <gtest/gtest.h>

#include <sstream>

#include "headless/headless_host.h"
#include "photos/photo_library.h"
#include "project/project_document.h"
#include "support.h"
#include "xml/xml_doc.h"

namespace vornida {
namespace {

using testing::ReadBytes;
using testing::ScratchFolder;
using testing::WriteBytes;

class HeadlessProjectScripts : public ::testing::Test {
 protected:
  // Plays `script` in a fresh process that shares the folders of this test.
  testing::RunResult Play(const std::string& script) {
    const std::string scriptFile = scratch_ / ("script" + std::to_string(++runs_));
    WriteBytes(scriptFile, script);
    std::filesystem::create_directories(scratch_ / "tmp");
    const std::string env = "TMPDIR=" + testing::ShellQuote(scratch_ / "tmp") +
                            " XDG_DATA_HOME=" + testing::ShellQuote(scratch_ / "data") +
                            " XDG_CONFIG_HOME=" + testing::ShellQuote(scratch_ / "config");
    return testing::Run(env + " " + VORNIDA_BINARY_DIR "/src/tools/vornida-headless/vornida-headless " +
                        testing::ShellQuote(scriptFile) + " 2>&1");
  }

  // A script holds one request per line; the movie writes line breaks in
  // its string arguments as character references.
  static std::string SaveRequest(const std::string& document, int saveAs) {
    std::string escaped = XmlEscape(document);
    for (auto at = escaped.find('\n'); at != std::string::npos; at = escaped.find('\n', at))
      escaped.replace(at, 1, "&#10;");
    return "<invoke name=\"SaveProject\" returntype=\"xml\"><arguments><string>" + escaped +
           "</string><number>" + std::to_string(saveAs) + "</number></arguments></invoke>\n";
  }

  static int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  ScratchFolder scratch_;
  int runs_ = 0;
};

std::string Document(const std::string& photo) {
  return "<VornidaProject version='1'>\n  <Settings>\n    <Vornida shapeType='Text' shape=\"it's.png\"/>\n"
         "  </Settings>\n  <Photos>\n    <Photo src='" + XmlEscape(photo) + "'/>\n  </Photos>\n</VornidaProject>\n";
}

TEST_F(HeadlessProjectScripts, SaveQuickSaveSaveAsAndNewThenAFreshRunOpensIt) {
  const std::string photo = scratch_ / "dune & sand.jpg";
  std::filesystem::copy_file(VORNIDA_SOURCE_DIR "/assets/demo-photos/dune.jpg", photo);
  const std::string one = scratch_ / "one.vrn";
  const std::string two = scratch_ / "two.vrn";
  std::string script;
  script += "dialog " + one + "\n" + SaveRequest(Document("/p/1.jpg"), 0);
  script += SaveRequest(Document("/p/2.jpg"), 0);             // quick save into one.vrn
  script += "dialog " + two + "\n" + SaveRequest(Document("/p/3 & 'x'.jpg"), 1);  // save as
  script += SaveRequest(Document(photo), 0);                  // quick save into two.vrn
  script += "<invoke name=\"NewProject\" returntype=\"xml\"><arguments></arguments></invoke>\n";
  script += SaveRequest(Document("/p/5.jpg"), 0);             // asks again; cancelled
  script += SaveRequest("<VornidaProject>", 1);               // not XML: no dialog
  const auto first = Play(script);
  ASSERT_EQ(first.exitCode, 0) << first.out;

  EXPECT_EQ(ReadBytes(one), Document("/p/2.jpg"));
  EXPECT_EQ(ReadBytes(two), Document(photo));
  EXPECT_EQ(Count(first.out, "dialog: save"), 3) << first.out;
  EXPECT_EQ(Count(first.out, "dialog: save title=Project_SaveAs folder=" + scratch_.path() + " "), 1) << first.out;
  // After "NewProject" the dialog starts in the folder of the last project saved.
  EXPECT_NE(first.out.rfind("dialog: save title=Project_Save folder=" + scratch_.path() + " "), std::string::npos);
  EXPECT_EQ(testing::FolderEntries(scratch_.path()),
            (std::vector<std::string>{"config", "data", "dune & sand.jpg", "one.vrn", "script1", "tmp", "two.vrn"}));

  const auto second = Play("dialog " + two + "\n<invoke name=\"OpenProject\"><arguments></arguments></invoke>\nwait\n");
  ASSERT_EQ(second.exitCode, 0) << second.out;
  EXPECT_NE(second.out.find("dialog: open title=Project_Open folder=" + scratch_.path() + " "), std::string::npos)
      << second.out;
  // The event log writes line breaks as "\n"; the movie's text is otherwise byte for byte the file.
  std::string expected = Document(photo);
  for (auto at = expected.find('\n'); at != std::string::npos; at = expected.find('\n', at + 2))
    expected.replace(at, 1, "\\n");
  EXPECT_NE(second.out.find("call: <invoke name='openProjectCallBack'><arguments><string>" + expected +
                            "</string></arguments></invoke>"),
            std::string::npos)
      << second.out;
  // The listed photo came back through the import.
  EXPECT_NE(second.out.find("call: <invoke name='openAddPhotosDlgCallBack'><arguments><string>&lt;photo "
                            "name=&apos;dune &amp; sand.jpg&apos; src=&apos;" + XmlEscape(photo) + "&apos;"),
            std::string::npos)
      << second.out;
}

}  // namespace
}  // namespace vornida

namespace vornida {
namespace {

// A saved project opened by a fresh host: the movie gets the document back
// byte for byte and the photos it lists come back through the import.
TEST(ProjectRoundTrip, PhotosComeBackThroughTheImport) {
  ScratchFolder scratch;
  std::filesystem::create_directories(scratch / "tmp");
  testing::EnvOverride tmp("TMPDIR", scratch / "tmp");
  testing::EnvOverride data("XDG_DATA_HOME", scratch / "data");
  testing::EnvOverride config("XDG_CONFIG_HOME", scratch / "config");
  ClearAllPhotos();

  ProjectDocument project;
  project.collageParams = "<Vornida shapeType='Circle' collageSize='400,300'/>";
  for (const char* name : {"dune.jpg", "aqua.jpg", "wood.jpg"}) {
    const std::string copy = scratch / (std::string("it's ") + name);
    std::filesystem::copy_file(std::string(VORNIDA_SOURCE_DIR "/assets/demo-photos/") + name, copy);
    project.photoPaths.push_back(copy);
  }
  project.photoPaths.push_back(scratch / "missing.jpg");
  const std::string document = ComposeProjectDocument(project);
  const std::string file = scratch / "trip.vrn";
  {
    std::ostringstream log;
    HeadlessHost host(log, {});
    host.PrepareFileDialog(std::vector<std::string>{file});
    host.Request("<invoke name=\"SaveProject\"><arguments><string>" + XmlEscape(document) +
                 "</string><number>0</number></arguments></invoke>");
    ASSERT_EQ(ReadBytes(file), document);
  }

  std::ostringstream log;
  {
    HeadlessHost host(log, {});
    host.PrepareFileDialog(std::vector<std::string>{file});
    host.Request("<invoke name=\"OpenProject\"><arguments></arguments></invoke>");
    ASSERT_TRUE(host.Wait(std::chrono::seconds(120)));
  }
  std::string logged = document;
  for (auto at = logged.find('\n'); at != std::string::npos; at = logged.find('\n', at + 2)) logged.replace(at, 1, "\\n");
  const std::string text = log.str();
  EXPECT_NE(text.find("<invoke name='openProjectCallBack'><arguments><string>" + logged + "</string>"), std::string::npos)
      << text;
  const auto photos = PhotoSnapshot();
  ASSERT_EQ(photos.size(), 3u) << text;
  // The list is in the project's order (the layout and its seed depend on it).
  for (std::size_t i = 0; i < photos.size(); ++i) {
    EXPECT_EQ(photos[i]->srcPath, project.photoPaths[i]);
    EXPECT_NE(text.find(XmlEscape(" src='" + project.photoPaths[i] + "'")), std::string::npos);
  }
  ClearAllPhotos();
}

}  // namespace
}  // namespace vornida
