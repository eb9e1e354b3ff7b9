// vornida-collage against settings no collage can have: values far outside
// their ranges in parameter files and projects, combinations within the
// ranges whose work has no end, and a canvas larger than can be held. Each
// ends quickly with one line and status 1 (or, for the canvas, a reduced
// collage and a note), leaves nothing in the temporary folder and no output.
#include <gtest/gtest.h>

#include <sstream>

#include "measured_run.h"
#include "project/project_document.h"

namespace vornida {
namespace {

using testing::WriteBytes;

// A stall takes minutes; a refusal well under a second on a quiet machine.
constexpr double kSecondsBound = 30;

// A parameter text with `changed` in place of the ordinary values.
std::string Parameters(const std::vector<std::pair<std::string, std::string>>& changed) {
  std::vector<std::pair<std::string, std::string>> values = {
      {"shapeType", "Rectangle"}, {"collageSize", "800,600"}, {"itemBoundingBoxWidth", "-1"}, {"numPhotos", "-1"},
      {"spacing", "1"},           {"borderSize", "0.03"},     {"maxAngle", "10"}};
  for (const auto& [name, value] : changed)
    for (auto& entry : values)
      if (entry.first == name) entry.second = value;
  std::string text = "<Vornida";
  for (const auto& [name, value] : values) text += " " + name + "='" + value + "'";
  return text + "/>";
}

class SettingLimits : public testing::CollageRuns {
 protected:
  // Checks a run that must be refused with `message` as its one line.
  void ExpectRefused(const testing::MeasuredRun& run, const std::string& message, const std::string& what) {
    EXPECT_EQ(run.exitCode, 1) << what << "\n" << run.out;
    EXPECT_EQ(run.out, "vornida-collage: " + message + "\n") << what;
    EXPECT_LT(run.seconds, kSecondsBound) << what;
    EXPECT_TRUE(TemporaryFolderIsEmpty()) << what;
    EXPECT_FALSE(std::filesystem::exists(scratch_ / "out.png")) << what;
  }
};

TEST_F(SettingLimits, ExtremeValuesInParameterFilesAndProjectsAreRefusedByName) {
  const std::string photos = SamplePhotos(3);
  struct Case {
    std::vector<std::pair<std::string, std::string>> values;
    std::string message;
  };
  const Case cases[] = {
      {{{"borderSize", "1e9"}}, "The setting borderSize is 1e9, but it must be from 0 to 0.45."},
      {{{"borderSize", "1e308"}}, "The setting borderSize is 1e308, but it must be from 0 to 0.45."},
      {{{"itemBoundingBoxWidth", "1000000"}},
       "The setting itemBoundingBoxWidth is 1000000, but it must be from 1 to 30000."},
      {{{"itemBoundingBoxWidth", "2147483647"}},
       "The setting itemBoundingBoxWidth is 2147483647, but it must be from 1 to 30000."},
      {{{"itemBoundingBoxWidth", "30001"}}, "The setting itemBoundingBoxWidth is 30001, but it must be from 1 to 30000."},
      {{{"collageSize", "2147483647,2147483647"}},
       "The setting collageSize is 2147483647, but it must be from 1 to 100000."},
      {{{"numPhotos", "-2"}, {"spacing", "1e-308"}}, "The setting spacing is 1e-308, but it must be from 0.1 to 10."},
      {{{"numPhotos", "1000000000"}}, "The setting numPhotos is 1000000000, but it must be from 1 to 1000000."},
  };
  for (const Case& c : cases) {
    const std::string text = Parameters(c.values);
    WriteBytes(scratch_ / "params.xml", text);
    ExpectRefused(Collage({"--params", "params.xml", photos, "-o", "out.png"}), c.message, "--params " + text);

    ProjectDocument project;
    project.collageParams = text;
    project.photoPaths = {photos + "/aqua.jpg", photos + "/blinds.jpg"};
    WriteBytes(scratch_ / "project.vrn", ComposeProjectDocument(project));
    ExpectRefused(Collage({"--project", "project.vrn", "-o", "out.png"}), c.message, "--project " + text);
  }
}

TEST_F(SettingLimits, EndlessWorkWithinTheRangesEndsWithAMessage) {
  const std::string photos = SamplePhotos(3);
  // A million items of three photos; twenty items of 30000 pixels on a small
  // canvas; "as many as fit" of one-pixel items.
  const auto million = Collage({"-q", "--count", "1000000", photos, "-o", "out.png"});
  EXPECT_EQ(million.exitCode, 1) << million.out;
  EXPECT_EQ(million.out.rfind("vornida-collage: This collage would take too long to make: 1000000 items of about ", 0),
            0u)
      << million.out;
  EXPECT_NE(million.out.find(" pixels. Use fewer or smaller items.\n"), std::string::npos) << million.out;
  EXPECT_LT(million.seconds, kSecondsBound);
  EXPECT_TRUE(TemporaryFolderIsEmpty());
  const auto huge = Collage({"-q", "--size", "1000x1000", "--item-size", "30000", "--count", "20", photos, "-o", "out.png"});
  EXPECT_EQ(huge.exitCode, 1) << huge.out;
  EXPECT_NE(huge.out.find("larger than a picture can be drawn. Use a smaller item size."), std::string::npos)
      << huge.out;
  EXPECT_LT(huge.seconds, kSecondsBound);
  EXPECT_TRUE(TemporaryFolderIsEmpty());
  const auto fill = Collage({"-q", "--count", "fill", "--item-size", "1", "--spacing", "0.1", "--size", "20000x20000",
                             photos, "-o", "out.png"});
  EXPECT_EQ(fill.exitCode, 1) << fill.out;
  EXPECT_EQ(fill.out.rfind("vornida-collage: This collage would take too long to make: 1000000 items", 0), 0u)
      << fill.out;
  EXPECT_LT(fill.seconds, kSecondsBound);
  EXPECT_TRUE(TemporaryFolderIsEmpty());
}

TEST_F(SettingLimits, AnAspectWithAFixedSizeIsRefusedRatherThanIgnored) {
  const std::string photos = SamplePhotos(2);
  const auto run = Collage({"--size", "800x600", "--aspect", "16:9", photos, "-o", "out.png"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.out, "vornida-collage: --aspect cannot be used with --size: --size fixes the canvas, --aspect shapes "
                     "an automatic one\n");
  EXPECT_FALSE(std::filesystem::exists(scratch_ / "out.png"));
  // Alone, the ratio shapes the canvas.
  const auto alone = Collage({"-q", "--aspect", "2", "--item-size", "100", photos, "-o", "out.png"});
  ASSERT_EQ(alone.exitCode, 0) << alone.out;
  std::istringstream size(Identify(scratch_ / "out.png"));
  std::string format;
  int w = 0, h = 0;
  size >> format >> w >> h;
  EXPECT_NEAR(static_cast<double>(w) / h, 2.0, 0.02);
}

TEST_F(SettingLimits, OversizedCanvasIsReducedWithANoteAndBoundedMemory) {
  const std::string photos = SamplePhotos(4);
  // Asked for 10^10 pixels: the collage is made at the largest canvas the
  // program holds, says so, and stays within a few gigabytes (it took 12 GB
  // and minutes when the limit was 2^30 pixels).
  const auto run = Collage({"--size", "100000x100000", "--count", "12", "--no-shadow", "--seed", "2", photos, "-o",
                            "big.jpg"});
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_NE(run.out.find("vornida-collage: The canvas was reduced from 100000 x 100000 to 16384 x 16384 pixels: a "
                         "collage has at most 268 million pixels.\n"),
            std::string::npos)
      << run.out;
  // ImageMagick's policy refuses to open a picture this large; file reads its header.
  EXPECT_NE(testing::Run("file " + testing::ShellQuote(scratch_ / "big.jpg")).out.find(", 16384x16384, "),
            std::string::npos);
  EXPECT_LT(run.peakKb, 3L * 1024 * 1024) << "peak " << run.peakKb / 1024 << " MB";
  EXPECT_TRUE(TemporaryFolderIsEmpty());

  // A canvas within the limit is not reduced, and nothing is said.
  const auto small = Collage({"--size", "400x300", "--seed", "2", photos, "-o", "small.png"});
  ASSERT_EQ(small.exitCode, 0) << small.out;
  EXPECT_EQ(small.out.find("reduced"), std::string::npos) << small.out;
}

}  // namespace
}  // namespace vornida
