// The project document: what the command-line maker writes, what both user
// interfaces read back, and how project files replace their predecessors.
#include "project/project_document.h"

#include <gtest/gtest.h>

#include "support.h"
#include "xml/xml_doc.h"

namespace vornida {
namespace {

using testing::ReadBytes;
using testing::ScratchFolder;
using testing::WriteBytes;

const std::string kParams =
    "<Vornida shapeType='Circle' collageSize='800,600' spacing='0.5' borderColor='#ff0000'/>";

TEST(ProjectDocumentForm, ComposedDocumentReadsBackWithAwkwardPaths) {
  ProjectDocument project;
  project.collageParams = kParams;
  project.photoPaths = {"/photos/it's & <ok>.jpg", "/photos/Ünïcode space.png", "/photos/q\"uote.bmp"};
  const std::string text = ComposeProjectDocument(project);

  ProjectDocument back;
  ASSERT_TRUE(ReadProjectDocument(text, back));
  EXPECT_EQ(back.version, kProjectFormatVersion);
  EXPECT_EQ(back.collageParams, kParams);
  EXPECT_EQ(back.photoPaths, project.photoPaths);
}

TEST(ProjectDocumentForm, StandardXmlReaderSeesRootSettingsAndPhotosInOrder) {
  ScratchFolder scratch;
  ProjectDocument project;
  project.collageParams = kParams;
  project.photoPaths = {"/a/it's.jpg", "/b/x&y.jpg", "/c/z.jpg"};
  const std::string file = scratch / "p.vrn";
  ASSERT_TRUE(WriteProjectFile(file, ComposeProjectDocument(project)));

  const std::string script =
      "import sys, xml.etree.ElementTree as E\n"
      "r = E.parse(sys.argv[1]).getroot()\n"
      "v = r.find('Settings').findall('Vornida')\n"
      "print(r.tag, r.get('version'), len(v), v[0].get('shapeType'), v[0].get('collageSize'))\n"
      "for p in r.find('Photos').findall('Photo'): print(p.get('src'))\n";
  WriteBytes(scratch / "check.py", script);
  const auto run = testing::Run(std::string(VORNIDA_PYTHON) + " " + scratch / "check.py" + " " + file);
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_EQ(run.out, "VornidaProject 1 1 Circle 800,600\n/a/it's.jpg\n/b/x&y.jpg\n/c/z.jpg\n");
  // Plain UTF-8 without a byte-order mark.
  EXPECT_EQ(ReadBytes(file).rfind("<VornidaProject", 0), 0u);
}

TEST(ProjectDocumentForm, DocumentWithoutSettingsHasNoSettingsElement) {
  ProjectDocument project;
  project.photoPaths = {"/a.jpg"};
  const std::string text = ComposeProjectDocument(project);
  EXPECT_EQ(text.find("Settings"), std::string::npos);
  ProjectDocument back;
  ASSERT_TRUE(ReadProjectDocument(text, back));
  EXPECT_TRUE(back.collageParams.empty());
  EXPECT_EQ(back.photoPaths, project.photoPaths);
}

TEST(ProjectDocumentReading, IgnoresWhatItDoesNotKnowAndMatchesNamesWithoutCase) {
  const std::string text =
      "<MovieProject version='7' theme='dark'>"
      "<Photo src='/outside/photos.jpg'/>"
      "<extra><Photos><Photo src='/nested/deeper.jpg'/></Photos></extra>"
      "<SETTINGS><Other a='1'/><vornida shapeType='Text' shape='t.png' newThing='x'/></SETTINGS>"
      "<photos count='3'>"
      "<photo src='/one.jpg' rating='5'/><Photo src=''/><Photo/><note>hi</note><PHOTO src='/two.jpg'/>"
      "</photos>"
      "<Photos><Photo src='/second-list.jpg'/></Photos>"
      "</MovieProject>";
  ProjectDocument project;
  ASSERT_TRUE(ReadProjectDocument(text, project));
  EXPECT_EQ(project.version, 7);
  EXPECT_EQ(project.collageParams, "<vornida shapeType='Text' shape='t.png' newThing='x'/>");
  // Only the first photo list at the root's level counts; empty sources are skipped.
  EXPECT_EQ(project.photoPaths, (std::vector<std::string>{"/one.jpg", "/two.jpg"}));
}

TEST(ProjectDocumentReading, TextThatIsNotXmlIsRefused) {
  ProjectDocument project;
  project.photoPaths = {"/keep.jpg"};
  EXPECT_FALSE(ReadProjectDocument("<VornidaProject><Photos></VornidaProject>", project));
  EXPECT_FALSE(ReadProjectDocument("", project));
}

TEST(ProjectDocumentReading, PhotoWalkOfTheImportSeesOnlyTheRootsPhotoList) {
  CXmlDoc document;
  ASSERT_TRUE(document.setText("<p><x><Photos><Photo src='/no.jpg'/></Photos></x></p>"));
  EXPECT_TRUE(ProjectPhotoPaths(document).empty());
  ASSERT_TRUE(document.setText("<p><Photos/><Photos><Photo src='/second.jpg'/></Photos></p>"));
  EXPECT_TRUE(ProjectPhotoPaths(document).empty());  // the first list is the one, even empty
}

TEST(ProjectFileWriting, ReplacesThePreviousFileWholeAndLeavesNoTemporaryFile) {
  ScratchFolder scratch;
  const std::string file = scratch / "p.vrn";
  WriteBytes(file, std::string(100000, 'x'));
  ASSERT_TRUE(WriteProjectFile(file, "<p/>"));
  EXPECT_EQ(ReadBytes(file), "<p/>");
  EXPECT_EQ(testing::FolderEntries(scratch.path()), std::vector<std::string>{"p.vrn"});
}

TEST(ProjectFileWriting, BareFileNameIsWrittenInTheCurrentFolder) {
  ScratchFolder scratch;
  const std::string previous = std::filesystem::current_path();
  std::filesystem::current_path(scratch.path());
  const Status written = WriteProjectFile("here.vrn", "<p/>");
  std::filesystem::current_path(previous);
  EXPECT_TRUE(written);
  EXPECT_EQ(ReadBytes(scratch / "here.vrn"), "<p/>");
  EXPECT_EQ(testing::FolderEntries(scratch.path()), std::vector<std::string>{"here.vrn"});
}

TEST(ProjectFileWriting, FailureLeavesTheTargetAndTheFolderAsTheyWere) {
  ScratchFolder scratch;
  EXPECT_FALSE(WriteProjectFile(scratch / "missing/p.vrn", "<p/>"));
  EXPECT_TRUE(testing::FolderEntries(scratch.path()).empty());

  // A non-empty folder in the place of the target cannot be replaced.
  std::filesystem::create_directories(scratch / "p.vrn/inside");
  EXPECT_FALSE(WriteProjectFile(scratch / "p.vrn", "<p/>"));
  EXPECT_TRUE(std::filesystem::is_directory(scratch / "p.vrn/inside"));
  EXPECT_EQ(testing::FolderEntries(scratch.path()), std::vector<std::string>{"p.vrn"});
}

}  // namespace
}  // namespace vornida
