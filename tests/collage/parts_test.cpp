// The pieces of vornida-collage that touch real files: the text-shape
// picture (read back by Pillow and by the engine's shape reader), the photo
// search over real folders, and the watching of the host's typed events.
#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>

#include "engine/collage_params.h"
#include "host/messages.h"
#include "support.h"
#include "tools/vornida-collage/collage_job.h"
#include "photos/photo_search.h"
#include "tools/vornida-collage/run_observer.h"
#include "tools/vornida-collage/text_shape_picture.h"

namespace vornida::collage_cli {
namespace {

using vornida::testing::ScratchFolder;
using vornida::testing::WriteBytes;

TEST(TextShapePicture, BlackLettersOnTransparencyThatTheShapeReaderAccepts) {
  ScratchFolder scratch;
  std::string error;
  const std::vector<std::uint8_t> png = RenderTextShapePng("Hi", error);
  ASSERT_FALSE(png.empty()) << error;
  const std::string file = scratch / "text.png";
  WriteBytes(file, std::string(png.begin(), png.end()));

  const std::string script =
      "import sys\nfrom PIL import Image\n"
      "im = Image.open(sys.argv[1]); print(im.format, im.mode)\n"
      "px = im.load(); w, h = im.size\n"
      "ink = sum(1 for y in range(h) for x in range(w) if px[x, y][3] == 255 and px[x, y][0] < 128)\n"
      "clear = sum(1 for y in range(h) for x in range(w) if px[x, y][3] == 0)\n"
      "print('corners', px[0, 0][3], px[w - 1, h - 1][3]); print('ink', ink > w * h // 10, clear > w * h // 4)\n"
      "print('tall', h > 250)\n";
  WriteBytes(scratch / "check.py", script);
  const auto run = vornida::testing::Run(std::string(VORNIDA_PYTHON) + " " + scratch / "check.py" + " " + file);
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_EQ(run.out, "PNG RGBA\ncorners 0 0\nink True True\ntall True\n");

  CCollage collage;
  ASSERT_TRUE(ReadCollageParams("<Vornida shapeType='Text' shape='" + file + "' collageSize='10,10'/>", collage, "/"));
  auto* custom = dynamic_cast<MakeShapeCustom*>(collage.shape.get());
  ASSERT_NE(custom, nullptr);
  EXPECT_GT(custom->insideCount, 0);
}

TEST(TextShapePicture, BlankTextIsRefusedAndLongTextStaysWithinSurfaceLimits) {
  std::string error;
  EXPECT_TRUE(RenderTextShapePng(" \t ", error).empty());
  EXPECT_EQ(error, "the text has no visible characters");

  ScratchFolder scratch;
  const std::vector<std::uint8_t> png = RenderTextShapePng(std::string(200, 'W'), error);
  ASSERT_FALSE(png.empty()) << error;
  WriteBytes(scratch / "long.png", std::string(png.begin(), png.end()));
  const auto run = vornida::testing::Run("identify -format '%w %h' " + scratch / "long.png");
  ASSERT_EQ(run.exitCode, 0);
  int w = 0, h = 0;
  std::istringstream(run.out) >> w >> h;
  EXPECT_LE(w, 16000 + 16);
  EXPECT_GT(w, 1000);
  EXPECT_GT(h, 8);
}

TEST(PhotoSearch, FoldersAreWalkedInNameOrderForPicturesOnly) {
  ScratchFolder scratch;
  std::filesystem::create_directories(scratch / "trip/b-day");
  std::filesystem::create_directories(scratch / "trip/.cache");
  std::filesystem::create_directories(scratch / "trip/a-day/empty");
  for (const char* name : {"trip/z.JPG", "trip/notes.txt", "trip/a.png", "trip/.hidden.jpg", "trip/.cache/c.jpg",
                           "trip/b-day/2.webp", "trip/b-day/1.heic", "trip/a-day/x.jpeg", "single.dat"})
    WriteBytes(scratch / name, "x");
  const PhotoSearch search = FindPhotos({scratch / "trip", scratch / "single.dat", scratch / "trip/a.png"});
  EXPECT_TRUE(search.error.empty()) << search.error;
  EXPECT_EQ(search.photos, (std::vector<std::string>{scratch / "trip/a.png", scratch / "trip/z.JPG",
                                                      scratch / "trip/a-day/x.jpeg", scratch / "trip/b-day/1.heic",
                                                      scratch / "trip/b-day/2.webp", scratch / "single.dat"}));

  const PhotoSearch missing = FindPhotos({scratch / "trip", scratch / "nope"});
  EXPECT_EQ(missing.error, scratch / "nope" + ": no such file or folder");
  EXPECT_TRUE(FindPhotos({scratch / "trip/a-day/empty"}).photos.empty());
}

TEST(PhotoSearch, RelativeNamesBecomeAbsolute) {
  const PhotoSearch search = FindPhotos({"."});
  for (const std::string& photo : search.photos) EXPECT_EQ(photo.front(), '/') << photo;
  EXPECT_TRUE(search.error.empty());
}

TEST(RunWatching, MovieCallsBecomeFactsAndProgress) {
  std::ostringstream shown;
  ProgressDisplay display(shown, ProgressStyle::Lines);
  JobObserver observer(display);
  for (const char* request :
       {"<invoke name='setProgressMaximum'><arguments><number>4</number></arguments></invoke>",
        "<invoke name='setStateText'><arguments><string>Loading photo: it's.jpg</string></arguments></invoke>",
        "<invoke name='setStateText'><arguments><string>Loading photo: it's.jpg</string></arguments></invoke>",
        // The photo text carries its values raw: a quote inside a path.
        "<invoke name='openAddPhotosDlgCallBack'><arguments><string>&lt;photo name=&apos;it&apos;s.jpg&apos; "
        "src=&apos;/p/it&apos;s.jpg&apos; thumb=&apos;/t/1000.png&apos;/&gt;</string></arguments></invoke>",
        "<invoke name='notify'><arguments><string>haveCreateCollage</string><string>true</string></arguments></invoke>",
        "<invoke name='setShapePreview'><arguments><string>/t/_vornida_preview.png</string></arguments></invoke>",
        "<invoke name='setInfoText'><arguments><string>Dimensions 800 x 600, Photos 3</string></arguments></invoke>",
        "<invoke name='setStateText'><arguments><string>Done</string></arguments></invoke>"}) {
    DecodedCall call;
    ASSERT_TRUE(ParseInvoke(request, call)) << request;
    DeliverMovieCall(observer, call);
  }
  SaveReport failed;
  failed.outcome = SaveOutcome::Failed;
  failed.status = Status::System(ENOSPC);
  observer.onSaveFinished(failed);
  const RunFacts facts = observer.Facts();
  EXPECT_EQ(facts.importedPaths, std::vector<std::string>{"/p/it's.jpg"});
  EXPECT_TRUE(facts.layoutMade);
  EXPECT_EQ(facts.previewPath, "/t/_vornida_preview.png");
  EXPECT_EQ(facts.infoText, "Dimensions 800 x 600, Photos 3");
  EXPECT_EQ(facts.savesFinished, 1);
  ASSERT_TRUE(facts.lastSave);
  EXPECT_EQ(facts.lastSave->status.reason(), "No space left on device");
  // Plain lines: each new step once.
  EXPECT_EQ(shown.str(), "Loading photo: it's.jpg\nDone\n");
}

TEST(RunWatching, TerminalBarRedrawsOneLine) {
  std::ostringstream shown;
  ProgressDisplay display(shown, ProgressStyle::Bar);
  display.SetMaximum(4);
  display.SetStep("Arranging the photos");
  display.SetPosition(1);
  display.SetPosition(1);  // nothing new to draw
  display.SetPosition(4);
  display.Finish();
  const std::string out = shown.str();
  EXPECT_NE(out.find("\r\033[K[#######-----------------------]  25%  Arranging the photos"), std::string::npos) << out;
  EXPECT_NE(out.find("\r\033[K[##############################] 100%  Arranging the photos\n"), std::string::npos) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\r'), 4);  // 0%, 0% with the step, 25%, 100%

  // A step too long for the terminal is cut so that the line never wraps.
  std::ostringstream narrow;
  ProgressDisplay small(narrow, ProgressStyle::Bar, 50);
  small.SetStep("Loading photo: " + std::string(80, 'x') + ".jpg");
  const std::string drawn = narrow.str().substr(narrow.str().rfind("\033[K") + 3);
  EXPECT_EQ(drawn.size(), 49u) << drawn;

  std::ostringstream quiet;
  ProgressDisplay silent(quiet, ProgressStyle::Quiet);
  silent.SetStep("x");
  silent.SetPosition(3);
  silent.Finish();
  EXPECT_TRUE(quiet.str().empty());
}

TEST(PictureTransport, Base64MatchesTheStandardTool) {
  ScratchFolder scratch;
  std::string bytes;
  for (int i = 0; i < 1000; ++i) bytes += static_cast<char>((i * 37) & 0xFF);
  for (std::size_t n : {0u, 1u, 2u, 3u, 998u, 1000u}) {
    WriteBytes(scratch / "b", bytes.substr(0, n));
    const auto run = vornida::testing::Run("base64 -w0 " + scratch / "b");
    EXPECT_EQ(EncodeBase64(bytes.data(), n), run.out) << n;
  }
}

}  // namespace
}  // namespace vornida::collage_cli
