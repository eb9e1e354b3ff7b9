// vornida-collage as a user meets its shapes, item sizes and shadows, and
// its projects: silhouettes of any clear colour, a picture with nothing to
// fill, text shapes that survive a reopen, photo names with every control
// character, photos beside the project, newer projects, same-size items by
// default, and soft shadows at large offsets.
#include <gtest/gtest.h>

#include <sstream>

#include "imaging/bitmap.h"
#include "measured_run.h"
#include "project/project_document.h"

namespace vornida {
namespace {

using testing::ReadBytes;
using testing::ShellQuote;
using testing::WriteBytes;

class CollageShapes : public testing::CollageRuns {
 protected:
  // Share of opaque pixels (alpha 255) in a square of `side` at (x, y).
  static double Covered(const Bitmap& picture, int x, int y, int side) {
    int opaque = 0;
    for (int j = y; j < y + side; ++j)
      for (int i = x; i < x + side; ++i) opaque += (picture.pixel(i, j) >> 24) == 255;
    return static_cast<double>(opaque) / (side * side);
  }
};

// A disc of each colour on white, and on a transparent ground. The clearly
// visible ones are the shape: the collage covers the disc and leaves the
// corners empty. The ones too close to white have nothing to fill.
TEST_F(CollageShapes, SilhouettesOfEveryClearColourAreFilled) {
  const std::string photos = SamplePhotos(4);
  struct Case {
    std::string fill;
    std::string ground;
    bool shape;
  };
  const Case palette[] = {
      {"#c00000", "white", true},       {"#ff0000", "white", true},  {"#808080", "white", true},
      {"#0000ff", "white", true},       {"#ffa500", "white", true},  {"#000000", "white", true},
      {"#ff0000", "none", true},        {"#000000", "none", true},   {"#00ffff", "none", true},
      {"#7fffff", "white", false},      {"#ffff00", "white", false}, {"#ffffff", "none", false},
      {"#f0f0f0", "white", false},
  };
  int n = 0;
  for (const Case& c : palette) {
    const std::string name = "disc" + std::to_string(++n) + ".png";
    Convert("-size 200x200 xc:" + c.ground + " -fill '" + c.fill + "' -draw 'circle 100,100 100,20'", name);
    const std::string what = c.fill + " on " + c.ground;
    const auto run = Collage({"-q", "--shape", "image:" + name, "--size", "400x400", "--count", "40", "--max-angle",
                              "0", "--no-shadow", "--background", "transparent", "--seed", "4", photos, "-o",
                              "out" + std::to_string(n) + ".png"});
    EXPECT_TRUE(TemporaryFolderIsEmpty()) << what;
    if (!c.shape) {
      EXPECT_EQ(run.exitCode, 1) << what << "\n" << run.out;
      EXPECT_EQ(run.out, "vornida-collage: The shape picture " + scratch_ / name +
                             " has nothing to fill: no part of it is clearly darker than white.\n")
          << what;
      continue;
    }
    ASSERT_EQ(run.exitCode, 0) << what << "\n" << run.out;
    Picture out = LoadPicturePlain(scratch_ / ("out" + std::to_string(n) + ".png"));
    ASSERT_TRUE(out && out->width() == 400) << what;
    // The disc's middle is covered; the canvas corners, outside it, are not.
    EXPECT_GT(Covered(*out, 170, 170, 60), 0.9) << what;
    for (const auto& [x, y] : {std::pair<int, int>{0, 0}, {370, 0}, {0, 370}, {370, 370}})
      EXPECT_LT(Covered(*out, x, y, 30), 0.2) << what << " corner " << x << "," << y;
  }
}

TEST_F(CollageShapes, APictureWithNothingToFillIsRefusedBeforeAnyWork) {
  const std::string photos = SamplePhotos(4);
  Convert("-size 300x200 xc:white", "white.png");
  const auto run = Collage({"--shape", "image:white.png", photos, "-o", "out.png"});
  EXPECT_EQ(run.exitCode, 1);
  // One line, and no photo was even loaded.
  EXPECT_EQ(run.out, "vornida-collage: The shape picture " + scratch_ / "white.png" +
                         " has nothing to fill: no part of it is clearly darker than white.\n");
  EXPECT_LT(run.seconds, 10);
  EXPECT_FALSE(std::filesystem::exists(scratch_ / "out.png"));
  EXPECT_TRUE(TemporaryFolderIsEmpty());
}

TEST_F(CollageShapes, TextShapeProjectIsDrawnAgainOnOpen) {
  const std::string photos = SamplePhotos(5);
  const auto first = Collage({"-q", "--shape", "text:SUN", "--size", "600x300", "--count", "40", "--seed", "3",
                              photos, "--save-project", "sun.vrn", "-o", "a.png"});
  ASSERT_EQ(first.exitCode, 0) << first.out;
  ProjectDocument project;
  ASSERT_TRUE(ReadProjectDocument(ReadBytes(scratch_ / "sun.vrn"), project));
  EXPECT_NE(project.collageParams.find("shapeType='Text'"), std::string::npos);
  EXPECT_NE(project.collageParams.find("shapeText='SUN'"), std::string::npos);
  EXPECT_NE(project.collageParams.find("shapeFont='Sans'"), std::string::npos);

  // The run's own picture of the text is gone; the word is drawn again and
  // gives the same collage.
  const auto again = Collage({"-q", "--project", "sun.vrn", "--seed", "3", "-o", "b.png"});
  ASSERT_EQ(again.exitCode, 0) << again.out;
  const auto compare = testing::Run("compare -metric AE " + ShellQuote(scratch_ / "a.png") + " " +
                                    ShellQuote(scratch_ / "b.png") + " null: 2>&1");
  EXPECT_EQ(compare.out, "0") << "the reopened text shape drew a different collage";
  EXPECT_TRUE(TemporaryFolderIsEmpty());
}

TEST_F(CollageShapes, AShapePictureMissingOnOpenIsNamed) {
  const std::string photos = SamplePhotos(3);
  Convert("-size 200x160 xc:white -fill black -draw 'circle 100,80 100,10'", "heart.png");
  ASSERT_EQ(Collage({"-q", "--shape", "image:heart.png", "--size", "300x300", photos, "--save-project", "h.vrn", "-o",
                     "h.png"})
                .exitCode,
            0);
  std::filesystem::rename(scratch_ / "heart.png", scratch_ / "moved.png");
  const auto image = Collage({"--project", "h.vrn", "-o", "again.png"});
  EXPECT_EQ(image.exitCode, 1);
  EXPECT_EQ(image.out, "vornida-collage: h.vrn: the shape picture " + scratch_ / "heart.png" + " is missing\n");

  // A text shape that kept only its picture, not its text.
  std::string text = ReadBytes(scratch_ / "h.vrn");
  text.replace(text.find("shapeType='Image'"), 17, "shapeType='Text'");
  WriteBytes(scratch_ / "t.vrn", text);
  const auto word = Collage({"--project", "t.vrn", "-o", "again.png"});
  EXPECT_EQ(word.exitCode, 1);
  EXPECT_EQ(word.out, "vornida-collage: t.vrn: the shape picture " + scratch_ / "heart.png" +
                          " is missing, and the settings do not keep the shape's text\n");
  EXPECT_FALSE(std::filesystem::exists(scratch_ / "again.png"));
  EXPECT_TRUE(TemporaryFolderIsEmpty());
}

TEST_F(CollageShapes, PhotoNamesWithEveryControlCharacterSurviveAProject) {
  // Linux allows every byte but '/' and NUL in a name.
  const std::string folder = scratch_ / "odd";
  std::filesystem::create_directories(folder);
  const std::string sample = VORNIDA_SOURCE_DIR "/assets/demo-photos/dune.jpg";
  std::vector<std::string> names;
  for (int c = 1; c < 32; ++c) names.push_back(std::string("a") + static_cast<char>(c) + "b.jpg");
  names.push_back("a\x7f" "b.jpg");
  for (const std::string& name : names) std::filesystem::copy_file(sample, folder + "/" + name);

  const auto first = Collage({"-q", "--size", "400x300", "--seed", "1", "odd", "--save-project", "odd.vrn", "-o",
                              "a.png"});
  ASSERT_EQ(first.exitCode, 0) << first.out;
  ProjectDocument project;
  ASSERT_TRUE(ReadProjectDocument(ReadBytes(scratch_ / "odd.vrn"), project));
  std::vector<std::string> expected;
  for (const std::string& name : names) expected.push_back(folder + "/" + name);
  std::vector<std::string> saved = project.photoPaths;
  std::sort(saved.begin(), saved.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(saved, expected);
  // Line breaks and TABs are written as references, so that any XML reader
  // gets them back: Python's own, once the references it refuses outright
  // (the other control characters, which XML cannot carry at all) are left out.
  const std::string text = ReadBytes(scratch_ / "odd.vrn");
  EXPECT_NE(text.find("a&#10;b.jpg"), std::string::npos);
  EXPECT_NE(text.find("a&#9;b.jpg"), std::string::npos);
  WriteBytes(scratch_ / "read.py",
             "import os, re, sys, xml.etree.ElementTree as E\n"
             "lines = [l for l in open(sys.argv[1]) if not re.search(r'&#(?!9;|10;|13;)[0-9]+;', l)]\n"
             "for p in sorted(E.fromstring(''.join(lines)).iter('Photo'), key=lambda p: p.get('src')):\n"
             "    print(repr(os.path.basename(p.get('src'))))\n");
  EXPECT_EQ(testing::Run(std::string(VORNIDA_PYTHON) + " " + ShellQuote(scratch_ / "read.py") + " " +
                         ShellQuote(scratch_ / "odd.vrn"))
                .out,
            "'a\\tb.jpg'\n'a\\nb.jpg'\n'a\\rb.jpg'\n");

  // Opened again, the project finds every photo and saves the same list.
  const auto again = Collage({"-q", "--project", "odd.vrn", "--seed", "1", "--save-project", "odd2.vrn", "-o",
                              "b.png"});
  ASSERT_EQ(again.exitCode, 0) << again.out;
  EXPECT_EQ(ReadBytes(scratch_ / "odd2.vrn"), text);
  EXPECT_EQ(testing::Run("compare -metric AE " + ShellQuote(scratch_ / "a.png") + " " + ShellQuote(scratch_ / "b.png") +
                         " null: 2>&1")
                .out,
            "0");
}

TEST_F(CollageShapes, RelativePhotosAreFoundBesideTheProjectAndNewerProjectsAreReadWithAWarning) {
  SamplePhotos(3, "trip/pictures");
  ProjectDocument project;
  project.photoPaths = {"pictures/aqua.jpg", "./pictures/blinds.jpg", "pictures/../pictures/dune.jpg"};
  project.collageParams = "<Vornida shapeType='Circle' collageSize='300,300'/>";
  WriteBytes(scratch_ / "trip/trip.vrn", ComposeProjectDocument(project));
  // Started elsewhere: the photos are still found beside the project.
  std::filesystem::create_directories(scratch_ / "elsewhere");
  const auto run = testing::RunMeasured(VORNIDA_BINARY_DIR "/src/tools/vornida-collage/vornida-collage",
                                        {"-q", "--project", "../trip/trip.vrn", "--save-project", "saved.vrn", "-o",
                                         "out.png"},
                                        scratch_ / "elsewhere", scratch_ / "tmp");
  ASSERT_EQ(run.exitCode, 0) << run.out;
  ProjectDocument saved;
  ASSERT_TRUE(ReadProjectDocument(ReadBytes(scratch_ / "elsewhere/saved.vrn"), saved));
  EXPECT_EQ(saved.photoPaths, (std::vector<std::string>{scratch_ / "trip/pictures/aqua.jpg",
                                                        scratch_ / "trip/pictures/blinds.jpg",
                                                        scratch_ / "trip/pictures/dune.jpg"}));

  // A project of a later format is read as far as it goes, with a warning.
  std::string text = ReadBytes(scratch_ / "trip/trip.vrn");
  text.replace(text.find("version='1'"), 11, "version='7'");
  WriteBytes(scratch_ / "trip/later.vrn", text);
  const auto later = Collage({"--project", "trip/later.vrn", "-o", "later.png"});
  ASSERT_EQ(later.exitCode, 0) << later.out;
  EXPECT_NE(later.out.find("vornida-collage: warning: trip/later.vrn was saved by a newer version of Vornida "
                           "(project version 7); it is read as far as this version understands it\n"),
            std::string::npos)
      << later.out;
  const auto same = Collage({"--project", "trip/trip.vrn", "-o", "same.png"});
  EXPECT_EQ(same.out.find("newer version"), std::string::npos);
}

// The widths of a PSD's layers as psd-tools reads them, smallest first.
std::vector<int> PsdLayerWidths(const std::string& file) {
  const std::string script =
      "import sys\nfrom psd_tools import PSDImage\n"
      "print(' '.join(str(w) for w in sorted(l.width for l in PSDImage.open(sys.argv[1]))))\n";
  std::istringstream words(
      testing::Run(std::string(VORNIDA_PYTHON) + " -c " + ShellQuote(script) + " " + ShellQuote(file)).out);
  std::vector<int> widths;
  for (int w = 0; words >> w;) widths.push_back(w);
  return widths;
}

TEST_F(CollageShapes, ItemsAreTheSameSizeUnlessDifferentSizesAreAsked) {
  // A phone picture beside a camera picture, both landscape.
  std::filesystem::create_directories(scratch_ / "mixed");
  Convert("-size 160x120 gradient:red-blue", "mixed/small.jpg");
  Convert("-size 2400x1800 gradient:green-yellow", "mixed/large.jpg");
  // Items well inside the canvas, so that no layer is cut at its edge.
  const std::vector<std::string> common = {"-q", "--size", "800x600", "--item-size", "300", "--no-shadow", "--border",
                                           "0", "--max-angle", "0", "--background", "transparent", "--seed", "1",
                                           "mixed"};
  auto args = common;
  args.insert(args.end(), {"-o", "same.psd"});
  ASSERT_EQ(Collage(args).exitCode, 0);
  args = common;
  args.insert(args.end(), {"--different-sizes", "-o", "different.psd"});
  ASSERT_EQ(Collage(args).exitCode, 0);

  // Same size: both items get the same longest side.
  const std::vector<int> same = PsdLayerWidths(scratch_ / "same.psd");
  ASSERT_EQ(same.size(), 2u);
  EXPECT_NEAR(same[0], 300, 1);
  EXPECT_NEAR(same[1], 300, 1);
  // Different sizes: the largest photo is 300 wide and the phone picture
  // stays 15 times smaller.
  const std::vector<int> different = PsdLayerWidths(scratch_ / "different.psd");
  ASSERT_EQ(different.size(), 2u);
  EXPECT_NEAR(different[1], 300, 1);
  EXPECT_NEAR(different[0], 20, 1);
}

TEST_F(CollageShapes, LargeShadowOffsetsFadeOutWithoutAStep) {
  const std::string photos = SamplePhotos(1);
  const auto run = Collage({"-q", "--size", "600x500", "--count", "1", "--item-size", "300", "--max-angle", "0",
                            "--shadow-offset", "0.06,0.06", "--background", "transparent", photos, "-o", "s.png"});
  ASSERT_EQ(run.exitCode, 0) << run.out;
  Picture out = LoadPicturePlain(scratch_ / "s.png");
  ASSERT_TRUE(out && out->width() == 600);
  // From the middle of the item rightwards: the photo, then the shadow,
  // falling to nothing in small steps.
  const int y = 250;
  int x = 300;
  while (x < 599 && (out->pixel(x, y) >> 24) == 255) ++x;
  int previous = static_cast<int>(out->pixel(x, y) >> 24);
  int largestStep = 0, lastShadow = previous;
  for (++x; x < 600; ++x) {
    const int alpha = static_cast<int>(out->pixel(x, y) >> 24);
    EXPECT_LE(alpha, previous) << "at " << x;
    largestStep = std::max(largestStep, previous - alpha);
    if (alpha > 0) lastShadow = alpha;
    previous = alpha;
  }
  EXPECT_EQ(previous, 0);
  // The radius is 8 pixels (0.025 of the 318-pixel item): the shadow falls
  // by at most a tent's slope, 191 / 9 a pixel, and its last trace is faint,
  // not the edge of a cut.
  EXPECT_LE(largestStep, 191 / 9 + 2);
  EXPECT_LE(lastShadow, 3);
}

}  // namespace
}  // namespace vornida
