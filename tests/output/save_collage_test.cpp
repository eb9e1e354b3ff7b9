// Saving a laid-out collage: outcomes and texts of saveCollage, the layered
// output's bookkeeping, cancelled saves, and a layout started while a save
// is writing. Collages are laid out for real on the headless host.
#include "output/save_collage.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "engine/collage_run.h"
#include "headless/headless_host.h"
#include "photos/photo_library.h"
#include "psd_reader.h"

namespace vornida {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ReadBytes;
using testing::ReadWithPsdTools;
using testing::ScratchFolder;
using testing::WriteBytes;

std::string Invoke(const std::string& name, const std::string& values = {}) {
  return "<invoke name=\"" + name + "\" returntype=\"xml\"><arguments>" + values + "</arguments></invoke>";
}

std::string Parameters(const std::string& size, int items, const std::string& background) {
  return "<string>&lt;Vornida shapeType='Rectangle' collageSize='" + size +
         "' itemBoundingBoxWidth='-1' numPhotos='" + std::to_string(items) +
         "' spacing='1' borderSize='0.03' maxAngle='15' offsetX='0.01' offsetY='0.01' borderColor='#f2f2f2' " +
         background + "/&gt;</string>";
}

class RecordingText final : public TextSink {
 public:
  void SetText(const std::string& text) override { texts.push_back(text); }
  std::vector<std::string> texts;
};

class RecordingProgress final : public ProgressSink {
 public:
  void SetPos(int32_t pos) override { last = pos; }
  void SetMax(int32_t max) override { maximum = max; }
  int32_t GetMax() const override { return maximum; }
  int32_t last = -1;
  int32_t maximum = 0;
};

class SaveCollageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"TMPDIR", "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
      const char* before = getenv(name);
      saved_.emplace_back(name, before ? std::optional<std::string>(before) : std::nullopt);
      const std::string folder = scratch_.file(name);
      fs::create_directories(folder);
      setenv(name, folder.c_str(), 1);
    }
    fs::create_directories(scratch_.file("photos"));
    std::ofstream(scratch_.file("make.py")) << "from PIL import Image\nimport sys\n"
                                               "for i in range(6):\n"
                                               "    w, h = (640, 480) if i % 2 else (400, 560)\n"
                                               "    Image.linear_gradient('L').resize((w, h)).convert('RGB')"
                                               ".save(f'{sys.argv[1]}/p{i}.jpg', quality=90)\n";
    const std::string make = std::string(VORNIDA_PYTHON) + " " + scratch_.file("make.py") + " " +
                             scratch_.file("photos");
    ASSERT_EQ(std::system(make.c_str()), 0);
    host_ = std::make_unique<HeadlessHost>(log_, HeadlessOptions{});
    std::string paths;
    for (int i = 0; i < 6; ++i) paths += (i ? "|" : "") + scratch_.file("photos/p" + std::to_string(i) + ".jpg");
    Play("dialog " + paths + "\n" + Invoke("OpenAddPhotosDlg") + "\nwait\n");
    ASSERT_EQ(PhotoCount(), 6u);
  }
  void TearDown() override {
    host_.reset();
    ClearAllPhotos();
    // The scratch folder goes with the fixture: later tests need the real
    // temporary folder back.
    for (const auto& [name, value] : saved_) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
  }

  void Play(const std::string& script) {
    std::istringstream in(script);
    std::ostringstream errors;
    ASSERT_EQ(RunScript(*host_, in, errors, 300s), kScriptDone) << errors.str();
  }

  // Lays out a collage and gives it with recording sinks attached.
  std::shared_ptr<CCollage> LayOut(const std::string& size, int items, const std::string& background) {
    Play(Invoke("MakeShape", Parameters(size, items, background)) + "\nwait\n");
    std::shared_ptr<CCollage> collage = CollageRunner::Shared().CurrentCollage();
    if (!collage || !collage->layoutDone) return nullptr;
    collage->stateSink = &state_;
    collage->progressSink = &progress_;
    collage->getText = [](const std::string& key) { return "<" + key + ">"; };
    return collage;
  }

  void Detach(CCollage& collage) {
    collage.stateSink = nullptr;
    collage.progressSink = nullptr;
  }

  ScratchFolder scratch_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
  std::ostringstream log_;
  std::unique_ptr<HeadlessHost> host_;
  RecordingText state_;
  RecordingProgress progress_;
};

// (The movie script save_formats covers the usual saves and failures with
// their texts; these are the cases it does not reach.)
TEST_F(SaveCollageTest, ExtensionAndFlagDisagreeOrTheFolderIsMissing) {
  std::shared_ptr<CCollage> collage = LayOut("600,400", 10, "backgroundColor='#2040c0'");
  ASSERT_NE(collage, nullptr);

  // A flat save under a ".psd" name is the JPEG the extension rule gives,
  // not a layered file that is then overwritten.
  const std::string flatPsd = scratch_.file("c.psd");
  EXPECT_EQ(saveCollage(*collage, flatPsd, 0).outcome, SaveOutcome::Saved);
  EXPECT_EQ(state_.texts, (std::vector<std::string>{"<Saving_the_collage>", "<Done>"}));
  EXPECT_EQ(progress_.last, progress_.maximum);
  const std::vector<uint8_t> jpeg = ReadBytes(flatPsd);
  ASSERT_GT(jpeg.size(), 3u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);

  // The layered writer cannot create its file: the system's reason, nothing made.
  state_.texts.clear();
  EXPECT_EQ(saveCollage(*collage, scratch_.file("none/e.psd"), 1).outcome, SaveOutcome::Failed);
  EXPECT_EQ(state_.texts.back(), "<Save_Failed>: No such file or directory");
  EXPECT_FALSE(fs::exists(scratch_.file("none")));
  Detach(*collage);
}

TEST_F(SaveCollageTest, CancelledSaveKeepsTheEarlierFiles) {
  std::shared_ptr<CCollage> collage = LayOut("600,400", 10, "backgroundTransparent='true'");
  ASSERT_NE(collage, nullptr);
  const std::string png = scratch_.file("kept.png");
  const std::string psd = scratch_.file("kept.psd");
  WriteBytes(png, {7});
  WriteBytes(psd, {8});
  // The flag is what program exit sets; the render stops after one item.
  collage->cancel = true;
  EXPECT_EQ(saveCollage(*collage, png, 0).outcome, SaveOutcome::Failed);
  EXPECT_EQ(saveCollage(*collage, psd, 1).outcome, SaveOutcome::Failed);
  collage->cancel = false;
  EXPECT_EQ(ReadBytes(png), std::vector<uint8_t>{7});
  EXPECT_EQ(ReadBytes(psd), std::vector<uint8_t>{8});
  for (const std::string& name : scratch_.entries()) EXPECT_NE(name[0], '.') << "left behind: " << name;
  Detach(*collage);
}

TEST(PsdLayeredOutputTest, SucceedsOnlyWhenEveryStepDid) {
  ScratchFolder scratch;
  Picture item = Bitmap::Create(20, 10, PixelFormat::Argb32);
  ASSERT_NE(item, nullptr);
  Fill(*item, 0x80FF0000);

  PsdLayeredOutput good;
  EXPECT_FALSE(good.succeeded());
  ASSERT_TRUE(good.openWithColour(scratch.file("good.psd"), 50, 40, 2, 0xFF00FF00));
  EXPECT_TRUE(good.addLayer(*item, -5, 35));
  Picture merged = Bitmap::Create(50, 40, PixelFormat::Rgb32);
  ASSERT_NE(merged, nullptr);
  EXPECT_TRUE(good.finish(*merged));
  EXPECT_TRUE(good.succeeded());
  const testing::ReadDocument document = ReadWithPsdTools(scratch.file("good.psd"));
  ASSERT_TRUE(document.ok) << document.error;
  ASSERT_EQ(document.layers.size(), 3u);
  // The layer keeps its part on the canvas: 20 x 10 at (-5, 35) on 50 x 40.
  EXPECT_EQ(document.layers[1].left, 0);
  EXPECT_EQ(document.layers[1].right, 15);
  EXPECT_EQ(document.layers[1].top, 35);
  EXPECT_EQ(document.layers[1].bottom, 40);
  EXPECT_EQ(document.layers[2].right, 0);  // announced, never added: empty

  // A layer past the announced count fails the whole document.
  PsdLayeredOutput extra;
  ASSERT_TRUE(extra.open(scratch.file("extra.psd"), 50, 40, 1));
  EXPECT_TRUE(extra.addLayer(*item, 0, 0));
  EXPECT_FALSE(extra.addLayer(*item, 0, 0));
  extra.finish(*merged);
  EXPECT_FALSE(extra.succeeded());

  // Layers and finish without an open document.
  PsdLayeredOutput unopened;
  EXPECT_FALSE(unopened.open(scratch.file("missing/x.psd"), 50, 40, 1));
  EXPECT_FALSE(unopened.addLayer(*item, 0, 0));
  EXPECT_FALSE(unopened.finish(*merged));
  EXPECT_EQ(unopened.result().reason(), "No such file or directory");
  EXPECT_FALSE(unopened.succeeded());

  // Cancelled before finishing: the document is dropped.
  std::atomic<bool> cancel{false};
  PsdLayeredOutput cancelled(&cancel);
  ASSERT_TRUE(cancelled.open(scratch.file("cancelled.psd"), 50, 40, 1));
  EXPECT_TRUE(cancelled.addLayer(*item, 0, 0));
  cancel = true;
  EXPECT_FALSE(cancelled.finish(*merged));
  EXPECT_FALSE(cancelled.succeeded());
  EXPECT_EQ(scratch.entries(), (std::vector<std::string>{"extra.psd", "good.psd"}));
}

TEST(SaveShapeFilterTest, EntriesInTheirOrder) {
  EXPECT_EQ(SaveShapeFilter(true, " file ", "Everything"), "PSD file (*.psd)|*.psd|Everything (*.*)|*.*||");
  EXPECT_EQ(SaveShapeFilter(false, "", "All"),
            "PNG(*.png)|*.png|JPG(*.jpg)|*.jpg|BMP(*.bmp)|*.bmp|All (*.*)|*.*||");
}

// A layout started while a save is writing builds a new collage; the save
// finishes the one it was given, whole.
TEST_F(SaveCollageTest, LayoutDuringASaveLeavesTheSavedCollageAlone) {
  Play(Invoke("MakeShape", Parameters("2400,1600", 40, "backgroundTransparent='true'")) + "\nwait\n");
  const std::string png = scratch_.file("big.png");
  const std::string psd = scratch_.file("big.psd");
  for (const auto& [path, flag] : {std::pair{png, 0}, std::pair{psd, 1}}) {
    log_.str("");
    Play("dialog " + path + "\n" +
         Invoke("SaveShape", Parameters("2400,1600", 40, "") + "<number>" + std::to_string(flag) + "</number>") +
         "\n" + Invoke("MakeShape", Parameters("300,200", 8, "backgroundColor='#ffffff'")) + "\nwait\n");
    EXPECT_NE(log_.str().find("shell: open Explorer /Select, " + path), std::string::npos) << log_.str();
    // Put back the big collage for the next round.
    if (flag == 0) Play(Invoke("MakeShape", Parameters("2400,1600", 40, "backgroundTransparent='true'")) + "\nwait\n");
  }
  Picture saved = LoadPicturePlain(png);
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(saved->width(), 2400);
  EXPECT_EQ(saved->height(), 1600);
  const testing::ReadDocument document = ReadWithPsdTools(psd);
  ASSERT_TRUE(document.ok) << document.error;
  EXPECT_EQ(document.width, 2400);
  EXPECT_EQ(document.layerCount, 40);
  auto finished = CollageRunner::Shared().CurrentFinishedCollage();
  ASSERT_NE(finished, nullptr);
  EXPECT_EQ(finished->canvasWidth, 300);
}

// A full disk (a small tmpfs; mounting needs root): the movie's state text
// and a message box give the system's reason, and nothing is left on it.
TEST_F(SaveCollageTest, FullDiskReasonReachesTheMovie) {
  const std::string disk = scratch_.file("disk");
  fs::create_directories(disk);
  const std::string mount = "mount -t tmpfs -o size=256k tmpfs '" + disk + "' 2>/dev/null";
  if (::geteuid() != 0 || std::system(mount.c_str()) != 0) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
  struct Unmount {
    std::string at;
    ~Unmount() { EXPECT_EQ(std::system(("umount '" + at + "'").c_str()), 0); }
  } unmount{disk};
  Play(Invoke("MakeShape", Parameters("2400,1600", 20, "backgroundColor='#204060'")) + "\nwait\n");
  log_.str("");
  Play("dialog " + disk + "/full.png\n" +
       Invoke("SaveShape", Parameters("2400,1600", 20, "backgroundColor='#204060'") + "<number>0</number>") +
       "\nwait\n");
  const std::string log = log_.str();
  EXPECT_TRUE(fs::is_empty(disk));
  const std::string why = "The collage could not be saved: No space left on device";
  EXPECT_NE(log.find("<invoke name='setStateText'><arguments><string>" + why + "</string>"), std::string::npos) << log;
  EXPECT_NE(log.find("msgbox: style=16 caption=Error text=" + why), std::string::npos) << log;
  EXPECT_EQ(log.find("shell:"), std::string::npos);
}

// Exit cancels a running save: nothing is put in place, no file browser.
TEST_F(SaveCollageTest, CancelledByExitWritesNothing) {
  Play(Invoke("MakeShape", Parameters("2400,1600", 40, "backgroundTransparent='true'")) + "\nwait\n");
  const std::string png = scratch_.file("exit.png");
  host_->PrepareFileDialog(std::vector<std::string>{png});
  log_.str("");
  ASSERT_EQ(host_->Request(Invoke("SaveShape", Parameters("2400,1600", 40, "") + "<number>0</number>")), "<true/>");
  EXPECT_TRUE(SaveRunning());
  CancelSave();
  ASSERT_TRUE(host_->Wait(300s));
  EXPECT_FALSE(SaveRunning());
  EXPECT_NE(log_.str().find("<string>The collage could not be saved: The save was stopped before the collage was "
                            "complete</string></arguments></invoke>"),
            std::string::npos)
      << log_.str();
  EXPECT_EQ(log_.str().find("shell:"), std::string::npos);
  EXPECT_FALSE(fs::exists(png));
  CollageRunner::Shared().CurrentCollage()->cancel = false;
}

}  // namespace
}  // namespace vornida
