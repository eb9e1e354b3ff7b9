// "MakeShape" end to end on the headless host: a movie script imports real
// photos and makes a collage of every shape; the movie sees the
// notifications in order, the canvas gets the frames, and the preview file
// is written. Also: a second "MakeShape" during a run, and a shape that
// cannot be built.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/collage_run.h"
#include "headless/headless_host.h"
#include "imaging/bitmap.h"
#include "photos/photo_library.h"

namespace vornida {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Invoke(const std::string& name, const std::string& values = {}) {
  return "<invoke name=\"" + name + "\" returntype=\"xml\"><arguments>" + values + "</arguments></invoke>";
}

std::string Base64(const std::string& bytes) {
  static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    uint32_t v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
    for (int s = 18; s >= 0; s -= 6) out += kAlphabet[(v >> s) & 63];
  }
  if (i + 1 == bytes.size()) {
    uint32_t v = uint8_t(bytes[i]) << 16;
    out += kAlphabet[(v >> 18) & 63], out += kAlphabet[(v >> 12) & 63], out += "==";
  } else if (i + 2 == bytes.size()) {
    uint32_t v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8);
    out += kAlphabet[(v >> 18) & 63], out += kAlphabet[(v >> 12) & 63], out += kAlphabet[(v >> 6) & 63], out += "=";
  }
  return out;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class MakeShapeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vornida-engine-test-XXXXXX";
    root_ = mkdtemp(pattern);
    for (const char* name : {"TMPDIR", "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
      const std::string folder = root_ + "/" + name;
      fs::create_directories(folder);
      setenv(name, folder.c_str(), 1);
    }
    photos_ = root_ + "/photos";
    fs::create_directories(photos_);
    std::ofstream(root_ + "/make.py") << "from PIL import Image\nimport sys\n"
                                         "for i in range(8):\n"
                                         "    w, h = (640, 480) if i % 2 else (360, 540)\n"
                                         "    Image.new('RGB', (w, h), (40 + 25 * i, 200 - 20 * i, 90)).save("
                                         "f'{sys.argv[1]}/p{i}.jpg', quality=90)\n";
    ASSERT_EQ(std::system((std::string(VORNIDA_PYTHON) + " " + root_ + "/make.py " + photos_).c_str()), 0);
    host_ = std::make_unique<HeadlessHost>(log_, HeadlessOptions{});
    InstallPhotoCommands(host_->Control());
    InstallCollageCommands(host_->Control());
    CollageRunner::Shared().SetSeed(11);
  }
  void TearDown() override {
    host_.reset();
    ClearAllPhotos();
    CollageRunner::Shared().SetSeed(std::nullopt);
    fs::remove_all(root_);
  }

  void Play(const std::string& script) {
    std::istringstream in(script);
    std::ostringstream errors;
    ASSERT_EQ(RunScript(*host_, in, errors, 300s), kScriptDone) << errors.str();
  }

  std::string ImportScript() const {
    std::string paths;
    for (int i = 0; i < 8; ++i) paths += (i ? "|" : "") + photos_ + "/p" + std::to_string(i) + ".jpg";
    return Invoke("UpdateVornidaCanvasPos", "<number>0</number><number>0</number><number>600</number>"
                                            "<number>400</number>") +
           "\ndialog " + paths + "\n" + Invoke("OpenAddPhotosDlg") + "\nwait\n";
  }

  static std::string MakeShape(const std::string& shapeAttributes, int count = 30) {
    return Invoke("MakeShape", "<string>&lt;Vornida " + shapeAttributes +
                                   " collageSize='1200,800' itemBoundingBoxWidth='-1' numPhotos='" +
                                   std::to_string(count) +
                                   "' spacing='1' borderSize='0.03' maxAngle='12' backgroundColor='#203040' "
                                   "offsetX='0.01' offsetY='0.01' borderColor='#f2f2f2'/&gt;</string>");
  }

  std::ostringstream log_;
  std::string root_, photos_;
  std::unique_ptr<HeadlessHost> host_;
};

// Indexes of the lines holding `needle`, in order.
std::vector<size_t> Find(const std::vector<std::string>& lines, const std::string& needle) {
  std::vector<size_t> at;
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].find(needle) != std::string::npos) at.push_back(i);
  return at;
}

TEST_F(MakeShapeTest, EveryShapeRunsWithItsNotificationsInOrder) {
  // The text shape's picture comes from the movie as Base64.
  std::ifstream png(std::string(VORNIDA_TEST_DATA) + "/engine/text_shape.png", std::ios::binary);
  const std::string pngBytes((std::istreambuf_iterator<char>(png)), std::istreambuf_iterator<char>());
  Play(ImportScript());
  ASSERT_EQ(PhotoCount(), 8u);
  const std::optional<std::string> textPath =
      host_->Request(Invoke("SetTextShape", "<string>" + Base64(pngBytes) + "</string>"));
  ASSERT_TRUE(textPath.has_value());
  const std::string path = textPath->substr(8, textPath->size() - 17);  // inside <string>...</string>

  const std::string shapes[] = {
      "shapeType='Rectangle'",
      "shapeType='Circle'",
      "shapeType='Image' shape='" + std::string(VORNIDA_TEST_DATA) + "/engine/triangle_rgb.png'",
      "shapeType='Text' shape='" + path + "'",
  };
  for (const std::string& shape : shapes) {
    log_.str("");
    Play(MakeShape(shape) + "\nwait\n" + Invoke("HideVCCanvas") + "\n");
    const std::vector<std::string> lines = Lines(log_.str());
    const auto start = Find(lines, "previewing</string><string>1");
    const auto done = Find(lines, "haveCreateCollage</string><string>true");
    const auto preview = Find(lines, "setShapePreview");
    const auto end = Find(lines, "previewing</string><string>0");
    const auto frames = Find(lines, "canvas: draw");
    const auto hide = Find(lines, "canvas: hide");
    ASSERT_EQ(start.size(), 1u) << shape << "\n" << log_.str();
    ASSERT_EQ(done.size(), 1u) << shape << "\n" << log_.str();
    ASSERT_EQ(preview.size(), 1u) << shape;
    ASSERT_EQ(end.size(), 1u) << shape;
    ASSERT_EQ(hide.size(), 1u) << shape;
    EXPECT_LT(start[0], frames.front()) << shape;
    EXPECT_LT(frames.back(), done[0]) << shape;
    EXPECT_LT(done[0], preview[0]) << shape;
    EXPECT_LT(preview[0], end[0]) << shape;
    EXPECT_LT(end[0], hide[0]) << shape;
    EXPECT_GE(frames.size(), 12u) << shape;  // the empty canvas, a frame per sweep, the finished preview
    EXPECT_FALSE(Find(lines, "Calc_Items_Position").empty());
    EXPECT_FALSE(Find(lines, "Dimensions 1200 x 800, Photos 30").empty()) << shape;

    // The preview file is the last frame: 600 x 400 for the 1200 x 800 canvas.
    const std::string& call = lines[preview[0]];
    const size_t open = call.find("<string>") + 8;
    const std::string file = call.substr(open, call.find("</string>") - open);
    EXPECT_EQ(fs::path(file).filename(), "_vornida_preview.png");
    Picture written = LoadPicturePlain(file);
    EXPECT_EQ(written->width(), 600) << shape;
    EXPECT_EQ(written->height(), 400) << shape;
    EXPECT_NE(lines[frames.back()].find("canvas: draw 600 400"), std::string::npos);

    auto collage = CollageRunner::Shared().CurrentFinishedCollage();
    ASSERT_NE(collage, nullptr);
    EXPECT_EQ(collage->itemCount, 30);
    EXPECT_TRUE(collage->layoutDone);
  }
}

TEST_F(MakeShapeTest, SecondMakeShapeCancelsTheRunningOneAndReplacesIt) {
  Play(ImportScript());
  log_.str("");
  // Two requests back to back: the first run is cancelled and waited for;
  // both end with "previewing" "0", only the second finishes its layout.
  Play(MakeShape("shapeType='Circle'", 400) + "\n" + MakeShape("shapeType='Rectangle'", 20) + "\nwait\n");
  const std::vector<std::string> lines = Lines(log_.str());
  const auto starts = Find(lines, "previewing</string><string>1");
  const auto ends = Find(lines, "previewing</string><string>0");
  ASSERT_EQ(starts.size(), 2u);
  ASSERT_EQ(ends.size(), 2u);
  EXPECT_LT(ends[0], starts[1]);  // the first had ended before the second began
  auto collage = CollageRunner::Shared().CurrentFinishedCollage();
  ASSERT_NE(collage, nullptr);
  EXPECT_EQ(collage->itemCount, 20);
}

TEST_F(MakeShapeTest, UnwatchedCanvasGetsOnlyTheFinishedPreviewAndTheSameLayout) {
  Play(ImportScript());
  struct Layout {
    std::vector<PointD> positions;
    std::vector<double> angles;
    std::vector<int32_t> order;
    size_t frames = 0;
  };
  auto run = [&](bool watched) {
    CollageRunner::Shared().SetCanvasWatched(watched);
    log_.str("");
    Play(MakeShape("shapeType='Circle'") + "\nwait\n");
    CollageRunner::Shared().SetCanvasWatched(true);
    Layout layout;
    auto collage = CollageRunner::Shared().CurrentFinishedCollage();
    if (!collage) return layout;
    layout.positions = collage->itemPos;
    layout.angles = collage->itemAngle;
    layout.order = collage->drawOrder;
    layout.frames = Find(Lines(log_.str()), "canvas: draw").size();
    return layout;
  };
  const Layout watched = run(true);
  const Layout unwatched = run(false);
  ASSERT_EQ(watched.positions.size(), 30u);
  EXPECT_GE(watched.frames, 12u);
  EXPECT_EQ(unwatched.frames, 1u);  // the finished preview only
  ASSERT_EQ(unwatched.positions.size(), watched.positions.size());
  for (size_t i = 0; i < watched.positions.size(); ++i) {
    EXPECT_EQ(unwatched.positions[i].x, watched.positions[i].x) << i;
    EXPECT_EQ(unwatched.positions[i].y, watched.positions[i].y) << i;
  }
  EXPECT_EQ(unwatched.angles, watched.angles);
  EXPECT_EQ(unwatched.order, watched.order);
}

// Pixels within 40 levels of a colour in a rendered collage.
int64_t CountNear(const Bitmap& picture, uint32_t colour) {
  int64_t count = 0;
  for (int64_t y = 0; y < picture.height(); ++y) {
    for (int64_t x = 0; x < picture.width(); ++x) {
      const uint32_t p = picture.pixel(x, y);
      bool near = true;
      for (int shift = 0; shift < 24; shift += 8)
        near = near && std::abs(static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((colour >> shift) & 0xFF)) < 40;
      count += near;
    }
  }
  return count;
}

TEST_F(MakeShapeTest, FinalRenderUsesTheImportsPictureUntilThePhotoFileChanges) {
  Play(ImportScript());
  Play(MakeShape("shapeType='Rectangle'") + "\nwait\n");
  auto collage = CollageRunner::Shared().CurrentFinishedCollage();
  ASSERT_NE(collage, nullptr);
  ASSERT_LE(collage->itemBoundingBoxWidth, 500);  // items no larger than what the import kept
  const PhotoRecord photo = FindPhotoByPath(photos_ + "/p0.jpg");
  ASSERT_NE(photo, nullptr);
  ASSERT_FALSE(photo->decodedPath.empty());
  EXPECT_EQ(photo->decodedWidth, 333);  // the 360 x 540 photo within 500 x 500
  EXPECT_EQ(photo->decodedHeight, 500);
  constexpr uint32_t kMagenta = 0xFFFF00FF, kCyan = 0xFF00FFFF;

  // While the photo is unchanged its items come from the kept picture: made
  // magenta here, it shows.
  Picture marked = Bitmap::Create(333, 500, PixelFormat::Rgb32);
  Fill(*marked, kMagenta);
  ASSERT_TRUE(SavePicture(*marked, photo->decodedPath, EncoderId::Bmp));
  Picture first = collage->RenderFinal("first.png");
  ASSERT_NE(first, nullptr);
  EXPECT_GT(CountNear(*first, kMagenta), 2000);
  EXPECT_TRUE(collage->failedPhotos.empty());

  // Once the photo file is written again, its items are decoded from it.
  ASSERT_EQ(std::system((std::string(VORNIDA_PYTHON) + " -c \"from PIL import Image; Image.new('RGB', (360, 540), "
                         "(0, 255, 255)).save('" + photos_ + "/p0.jpg', quality=95)\"").c_str()), 0);
  Picture second = collage->RenderFinal("second.png");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(CountNear(*second, kMagenta), 0);
  EXPECT_GT(CountNear(*second, kCyan), 2000);
}

TEST_F(MakeShapeTest, UnknownShapeEndsTheRunWithoutALayout) {
  Play(ImportScript());
  log_.str("");
  Play(MakeShape("shapeType='Star'") + "\nwait\n");
  const std::vector<std::string> lines = Lines(log_.str());
  EXPECT_EQ(Find(lines, "previewing</string><string>1").size(), 1u);
  EXPECT_EQ(Find(lines, "previewing</string><string>0").size(), 1u);
  EXPECT_TRUE(Find(lines, "haveCreateCollage").empty());
  EXPECT_EQ(CollageRunner::Shared().CurrentFinishedCollage(), nullptr);
}

TEST_F(MakeShapeTest, RefusedSettingsTellTheMovieWhyAndMakeNoLayout) {
  Play(ImportScript());
  const std::pair<std::string, std::string> cases[] = {
      {"shapeType='Circle' borderSize='1e9'",
       "The setting borderSize is 1e9, but it must be from 0 to 0.45."},
      {"shapeType='Image' shape='/no/such/shape.png'",
       "The shape picture /no/such/shape.png is missing or cannot be read."},
  };
  for (const auto& [attributes, why] : cases) {
    log_.str("");
    Play(Invoke("MakeShape", "<string>&lt;Vornida " + attributes + " collageSize='800,600'/&gt;</string>") + "\nwait\n");
    const std::vector<std::string> lines = Lines(log_.str());
    const auto failed = Find(lines, "<string>layoutFailed</string><string>" + why + "</string>");
    const auto end = Find(lines, "previewing</string><string>0");
    ASSERT_EQ(failed.size(), 1u) << log_.str();
    ASSERT_EQ(end.size(), 1u);
    EXPECT_LT(failed[0], end[0]);
    EXPECT_TRUE(Find(lines, "haveCreateCollage").empty());
    EXPECT_TRUE(Find(lines, "canvas: draw").empty());  // nothing was drawn
    EXPECT_EQ(CollageRunner::Shared().CurrentFinishedCollage(), nullptr);
  }
}

TEST_F(MakeShapeTest, ACanvasReducedForTheOutputIsToldAsANote) {
  Play(ImportScript());
  log_.str("");
  // The output side's limit: at most 600 pixels a side.
  CollageRunner::Shared().SetCanvasSideLimit(600);
  Play(MakeShape("shapeType='Rectangle'", 12) + "\nwait\n");
  CollageRunner::Shared().SetCanvasSideLimit(0);
  const std::vector<std::string> lines = Lines(log_.str());
  const auto note = Find(lines, "<string>layoutNote</string><string>The canvas was reduced from 1200 x 800 to 600 x "
                                "400 pixels: the output allows at most 600 pixels a side.</string>");
  ASSERT_EQ(note.size(), 1u) << log_.str();
  EXPECT_FALSE(Find(lines, "Dimensions 600 x 400, Photos 12").empty());
  ASSERT_EQ(Find(lines, "haveCreateCollage</string><string>true").size(), 1u);
  EXPECT_LT(note[0], Find(lines, "haveCreateCollage")[0]);
}

}  // namespace
}  // namespace vornida
