// The photo library through the real command table and headless host: the
// add-photos dialog, the chained import workers, thumbnails on disk (read
// back by Pillow), the movie calls in order, and removal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "app/folders.h"
#include "app/registry.h"
#include "base/text.h"
#include "headless/headless_host.h"
#include "host/worker_threads.h"
#include "photos/photo_library.h"
#include "xml/xml_doc.h"
#include "../imaging/picture_files.h"

namespace vornida {
namespace {

using testing::Python;
using testing::ScratchFolder;

// Thumbnail names count up through the whole run of the process. Tests run
// one per process under CTest and all in one process when started by hand;
// this keeps the expected numbers right in both cases.
int thumbnailsSoFar = 0;

TEST(ThumbnailSize, FitsTheBoxKeepingTheAspectRatio) {
  auto size = [](std::int64_t w, std::int64_t h) {
    const PictureSize s = ThumbnailSizeFor(w, h);
    return std::to_string(s.width) + "x" + std::to_string(s.height);
  };
  EXPECT_EQ(size(300, 200), "200x133");
  EXPECT_EQ(size(200, 300), "133x200");
  EXPECT_EQ(size(640, 640), "200x200");
  EXPECT_EQ(size(50, 40), "200x160");      // small pictures are enlarged
  EXPECT_EQ(size(6000, 4000), "200x133");
  EXPECT_EQ(size(4000, 6000), "133x200");
  EXPECT_EQ(size(3, 7), "85x200");         // 85.714 truncated
  EXPECT_EQ(size(10000, 10), "200x1");     // would be 0: kept at 1
}

TEST(PhotoText, EscapesTheWholeTextOnce) {
  const std::string text = EscapedPhotoText("/p/it's & <more>.jpg", "/t/1000.png");
  EXPECT_EQ(text,
            "&lt;photo name=&apos;it&apos;s &amp; &lt;more&gt;.jpg&apos; src=&apos;/p/it&apos;s &amp; "
            "&lt;more&gt;.jpg&apos; thumb=&apos;/t/1000.png&apos;/&gt;");
}

// The dialog the add-photos flow asks for, as the platform receives it.
class RecordingDialogs final : public platform::FileDialogs {
 public:
  platform::FileDialogResult showFileDialog(const platform::FileDialogRequest& request) override {
    requests.push_back(request);
    return {};  // cancelled
  }
  std::vector<platform::FileDialogRequest> requests;
};

TEST(AddPhotosDialog, AsksForAMultiSelectPictureDialogInThumbnailView) {
  ScratchFolder folder;
  setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
  SelectRegistryStore("Vornida", "vornida");
  ASSERT_TRUE(SetRecent(kRecentImportPhoto, "/somewhere/photos"));
  RecordingDialogs dialogs;
  OpenAddPhotosDialog(dialogs);
  ASSERT_EQ(dialogs.requests.size(), 1u);
  const platform::FileDialogRequest& r = dialogs.requests[0];
  EXPECT_EQ(r.mode, platform::FileDialogMode::Open);
  EXPECT_EQ(r.flags, 0x10880204u);
  EXPECT_TRUE(r.allowMultiple);
  EXPECT_EQ(r.viewMode, 0x702Du);
  EXPECT_EQ(r.initialFolder, "/somewhere/photos");
  EXPECT_EQ(r.defaultExtension, "");
  EXPECT_EQ(r.filter, "Picture Files (*.jpg;*.gif;*.bmp;*.png)|*.jpg;*.gif;*.bmp;*.png|All Files (*.*)|*.*||");
  // Cancelled: nothing queued, nothing remembered.
  EXPECT_EQ(GetRecent(kRecentImportPhoto), "/somewhere/photos");
  EXPECT_EQ(PhotoCount(), 0u);
}

// A headless program with its folders inside a scratch folder.
class ImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TMPDIR", folder_.path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder_ / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (folder_ / "data").c_str(), 1);
    std::filesystem::create_directories(folder_ / "photos");
    ClearAllPhotos();
    HeadlessOptions options;
    options.strings["Loading_Photo"] = "Loading photo";
    options.strings["Photo_Damaged"] = "Damaged, only partly read";
    options.strings["Photo_Not_A_File"] = "Not a picture file, skipped";
    options.strings["Photo_Too_Large"] = "Too large to read, skipped";
    host_ = std::make_unique<HeadlessHost>(log_, options);
    InstallPhotoCommands(host_->Control());
  }
  void TearDown() override {
    host_.reset();
    ClearAllPhotos();
  }

  std::string Photo(const std::string& name) const { return folder_ / ("photos/" + name); }

  // Plays a script; returns the movie calls it caused (answers and dialog
  // lines left out) from where the log stood before.
  std::vector<std::string> Play(const std::string& script) {
    const std::size_t start = log_.str().size();
    std::istringstream in(script);
    std::ostringstream errors;
    EXPECT_EQ(RunScript(*host_, in, errors, std::chrono::seconds(120)), kScriptDone) << errors.str();
    std::vector<std::string> calls;
    std::istringstream lines(log_.str().substr(start));
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("call: ", 0) == 0) calls.push_back(line.substr(6));
    }
    return calls;
  }

  std::vector<std::string> DialogLines() const {
    std::vector<std::string> found;
    std::istringstream lines(log_.str());
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("dialog: ", 0) == 0) found.push_back(line);
    }
    return found;
  }

  static std::string AddPhotos(const std::vector<std::string>& paths) {
    std::string line = "dialog";
    for (std::size_t i = 0; i < paths.size(); ++i) line += (i == 0 ? " " : "|") + paths[i];
    return line + "\n<invoke name=\"OpenAddPhotosDlg\" returntype=\"xml\"><arguments></arguments></invoke>\n";
  }

  static std::string Call(const std::string& name, const std::string& arguments) {
    return "<invoke name='" + name + "'><arguments>" + arguments + "</arguments></invoke>";
  }
  static std::string Str(const std::string& text) { return "<string>" + text + "</string>"; }
  static std::string Num(int n) { return "<number>" + std::to_string(n) + "</number>"; }

  std::string ThumbPath(int n) const { return GetThumbnailFolder() + "/" + std::to_string(n) + ".png"; }

  ScratchFolder folder_;
  std::ostringstream log_;
  std::unique_ptr<HeadlessHost> host_;
};

// What the movie must see for one file, as the importer reports it.
struct Expected {
  std::string path;
  bool decodes;
};

TEST_F(ImportTest, MixedFolderImportsInReverseOrderWithThumbnailsAndSkips) {
  Python(R"(
import shutil
folder = ')" + folder_.path() + R"(/photos'
base = Image.new('RGB', (300, 200), (200, 30, 30))
ImageDraw.Draw(base).rectangle([0, 0, 99, 99], fill=(20, 20, 220))
for o in range(1, 9):
    exif = Image.Exif()
    exif[274] = o
    base.save(f'{folder}/o{o}.jpg', quality=90, exif=exif.tobytes())
shutil.copy(f'{folder}/o3.jpg', f'{folder}/O3.JPG')
alpha = Image.new('RGBA', (50, 40), (0, 0, 0, 0))
ImageDraw.Draw(alpha).ellipse([5, 5, 45, 35], fill=(0, 200, 0, 255))
alpha.save(f'{folder}/alpha.png')
frames = [Image.new('RGB', (120, 120), c) for c in [(255, 0, 0), (0, 0, 255)]]
frames[0].save(f'{folder}/anim.gif', save_all=True, append_images=frames[1:])
Image.new('RGB', (90, 60), (10, 200, 10)).save(f"{folder}/it's here.bmp")
Image.new('RGB', (64, 32), (10, 10, 200)).save(f'{folder}/pic.png')
Image.new('RGB', (64, 48), (200, 200, 10)).save(f'{folder}/heic-source.png')
data = open(f'{folder}/o1.jpg', 'rb').read()
open(f'{folder}/truncated.jpg', 'wb').write(data[:len(data) * 2 // 3])
open(f'{folder}/notes.jpg', 'w').write('not a picture\n')
)",
         folder_.path());
  testing::Run("cwebp -quiet " + Photo("pic.png") + " -o " + Photo("pic.webp"));
  testing::Run("heif-enc -q 90 " + Photo("heic-source.png") + " -o " + Photo("pic.heic") + " >/dev/null");

  std::vector<std::string> selected;
  for (int o = 1; o <= 8; ++o) selected.push_back(Photo("o" + std::to_string(o) + ".jpg"));
  for (const char* name : {"alpha.png", "anim.gif", "it's here.bmp", "pic.webp", "pic.heic", "truncated.jpg",
                           "notes.jpg", "O3.JPG"}) {
    selected.push_back(Photo(name));
  }
  const std::vector<std::string> calls = Play(AddPhotos(selected) + "wait\n");

  // The expected calls, built from the rules: last selected first; a path
  // already listed (ignoring case) is skipped silently; a file that does
  // not decode shows its state text only; a truncated one is imported as far
  // as it reads, and named as damaged when the batch ends.
  const int total = static_cast<int>(selected.size());
  std::vector<std::string> expected = {Call("setProgressMaximum", Num(total)), Call("setProgress", Num(0))};
  std::set<std::string> listed;
  int imported = 0;
  int thumb = 1000 + thumbnailsSoFar;
  std::vector<std::string> order;
  for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
    const std::string& path = *it;
    if (imported == 0) expected.push_back(Call("notify", Str("importing") + Str("1")));
    if (listed.count(AsciiLowered(path))) continue;
    const std::string name = path.substr(path.rfind('/') + 1);
    expected.push_back(Call("getStr", Str("Loading_Photo")));
    expected.push_back(Call("setStateText", Str("Loading photo: " + name)));
    if (name == "notes.jpg") continue;
    listed.insert(AsciiLowered(path));
    order.push_back(path);
    const std::string text = "<photo name='" + name + "' src='" + path + "' thumb='" + ThumbPath(thumb++) + "'/>";
    expected.push_back(Call("openAddPhotosDlgCallBack", Str(XmlEscape(text))));
    expected.push_back(Call("setProgress", Num(++imported)));
  }
  // Two files were skipped, so the progress never reaches the maximum: it
  // is not hidden, and the state text names the damaged file.
  expected.push_back(Call("getStr", Str("Photo_Damaged")));
  expected.push_back(Call("setStateText", Str("Damaged, only partly read: truncated.jpg")));
  expected.push_back(Call("notify", Str("importing") + Str("0")));
  EXPECT_EQ(calls, expected);
  EXPECT_NE(std::find(calls.begin(), calls.end(),
                      Call("openAddPhotosDlgCallBack",
                           Str(XmlEscape("<photo name='it's here.bmp' src='" + Photo("it's here.bmp") + "' thumb='" +
                                         ThumbPath(1000 + thumbnailsSoFar + 4) + "'/>")))),
            calls.end());

  // The list holds the photos in import order, upright sizes and thumbnail
  // sizes recorded.
  const std::vector<PhotoRecord> photos = PhotoSnapshot();
  ASSERT_EQ(photos.size(), order.size());
  std::string sizes;
  for (std::size_t i = 0; i < photos.size(); ++i) {
    EXPECT_EQ(photos[i]->srcPath, order[i]);
    EXPECT_EQ(photos[i]->scaledImage, nullptr);
    EXPECT_EQ(photos[i]->rotation, 0);
    sizes += photos[i]->srcPath.substr(photos[i]->srcPath.rfind('/') + 1) + "=" + std::to_string(photos[i]->width) +
             "x" + std::to_string(photos[i]->height) + "/" + std::to_string(photos[i]->thumbWidth) + "x" +
             std::to_string(photos[i]->thumbHeight) + " ";
  }
  EXPECT_EQ(sizes,
            "O3.JPG=300x200/200x133 truncated.jpg=300x200/200x133 pic.heic=64x48/200x150 pic.webp=64x32/200x100 it's here.bmp=90x60/200x133 "
            "anim.gif=120x120/200x200 alpha.png=50x40/200x160 o8.jpg=200x300/133x200 o7.jpg=200x300/133x200 "
            "o6.jpg=200x300/133x200 o5.jpg=200x300/133x200 o4.jpg=300x200/200x133 o2.jpg=300x200/200x133 "
            "o1.jpg=300x200/200x133 ");

  // The thumbnails on disk, as Pillow reads them: format, size, mode, and
  // for the JPEGs the corner where the stored top-left blue square ends.
  std::string script = "for p in [";
  for (const PhotoRecord& photo : photos) script += "'" + photo->thumbPath + "',";
  script += R"(]:
    im = Image.open(p)
    w, h = im.size
    rgb = im.convert('RGB')
    corners = [n for n, (x, y) in [('TL', (3, 3)), ('TR', (w - 4, 3)), ('BL', (3, h - 4)), ('BR', (w - 4, h - 4))]
               if rgb.getpixel((x, y))[2] > 150]
    print(im.format, w, h, im.mode, ''.join(corners))
)";
  const std::string thumbs = Python(script, folder_.path());
  std::istringstream lines(thumbs);
  std::vector<std::string> described;
  for (std::string line; std::getline(lines, line);) described.push_back(line);
  ASSERT_EQ(described.size(), photos.size()) << thumbs;
  std::map<std::string, std::string> blueCorner = {{"o1.jpg", "TL"}, {"truncated.jpg", "TL"},
                                                   {"o2.jpg", "TR"}, {"o3.jpg", "BR"},
                                                   {"O3.JPG", "BR"}, {"o4.jpg", "BL"}, {"o5.jpg", "TL"},
                                                   {"o6.jpg", "TR"}, {"o7.jpg", "BR"}, {"o8.jpg", "BL"}};
  for (std::size_t i = 0; i < photos.size(); ++i) {
    const std::string name = photos[i]->srcPath.substr(photos[i]->srcPath.rfind('/') + 1);
    std::string want = "PNG " + std::to_string(photos[i]->thumbWidth) + " " +
                       std::to_string(photos[i]->thumbHeight) + (name == "alpha.png" ? " RGBA" : " RGB");
    if (blueCorner.count(name)) want += " " + blueCorner[name];
    EXPECT_EQ(described[i].substr(0, want.size()), want) << name;
  }
  thumbnailsSoFar += static_cast<int>(photos.size());
}

TEST_F(ImportTest, RemovalBatchesAndTheRememberedFolder) {
  Python("for n in ['x', 'y']:\n    Image.new('RGB', (40, 30), (9, 9, 9)).save('" + folder_.path() +
             "/photos/' + n + '.jpg')\n",
         folder_.path());
  const int first = 1000 + thumbnailsSoFar;
  Play(AddPhotos({Photo("x.jpg"), Photo("y.jpg")}) + "wait\n");
  ASSERT_EQ(PhotoCount(), 2u);
  EXPECT_EQ(PhotoAt(0)->srcPath, Photo("y.jpg"));
  EXPECT_EQ(PhotoAt(0)->thumbPath, ThumbPath(first));
  EXPECT_EQ(PhotoAt(1)->thumbPath, ThumbPath(first + 1));
  EXPECT_EQ(PhotoAt(2), nullptr);

  // A reader holding a record keeps it valid after removal.
  PhotoRecord held = FindPhotoByPath(AsciiLowered(Photo("X.JPG")));
  ASSERT_NE(held, nullptr);
  const std::string removeX =
      "<invoke name=\"RemovePhoto\" returntype=\"xml\"><arguments><string>" + XmlEscape(Photo("X.JPG")) +
      "</string></arguments></invoke>\n";
  const std::string removeMissing =
      "<invoke name=\"RemovePhoto\" returntype=\"xml\"><arguments><string>/nowhere/x.jpg</string></arguments></invoke>\n";
  EXPECT_TRUE(Play(removeX + removeMissing).empty());  // removal tells the movie nothing
  ASSERT_EQ(PhotoCount(), 1u);
  EXPECT_EQ(PhotoAt(0)->srcPath, Photo("y.jpg"));
  EXPECT_EQ(held->srcPath, Photo("x.jpg"));
  EXPECT_TRUE(std::filesystem::exists(ThumbPath(first + 1)));  // its thumbnail stays until exit

  // Added again it gets the next number; the counter is never reset. Every
  // file decodes, so the batch ends by hiding the progress.
  const std::vector<std::string> calls = Play(AddPhotos({Photo("x.jpg")}) + "wait\n");
  ASSERT_EQ(PhotoCount(), 2u);
  EXPECT_EQ(PhotoAt(1)->thumbPath, ThumbPath(first + 2));
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(calls[calls.size() - 4], Call("setProgress", Num(1)));
  EXPECT_EQ(calls[calls.size() - 3], Call("setProgressVisual", "<false/>"));
  EXPECT_EQ(calls[calls.size() - 2], Call("setStateText", Str("")));
  EXPECT_EQ(calls.back(), Call("notify", Str("importing") + Str("0")));

  // A cancelled dialog changes nothing; every dialog after the first opens
  // in the folder of the photos chosen last.
  EXPECT_TRUE(Play("dialog\n<invoke name=\"OpenAddPhotosDlg\" returntype=\"xml\"><arguments></arguments></invoke>\n")
                  .empty());
  const std::vector<std::string> dialogs = DialogLines();
  ASSERT_EQ(dialogs.size(), 3u);
  EXPECT_NE(dialogs[0].find("folder= "), std::string::npos) << dialogs[0];
  EXPECT_NE(dialogs[1].find("folder=" + folder_.path() + "/photos "), std::string::npos) << dialogs[1];
  EXPECT_NE(dialogs[2].find("folder=" + folder_.path() + "/photos "), std::string::npos) << dialogs[2];
  EXPECT_EQ(PhotoCount(), 2u);
  thumbnailsSoFar += 3;
}

TEST_F(ImportTest, RepeatsInAnyLetterCaseAreImportedOnceAndToldOnce) {
  Python("for n in ['a.jpg', 'B.jpg', 'c.JPG']:\n    Image.new('RGB', (40, 30), (99, 9, 9)).save('" + folder_.path() +
             "/photos/' + n, 'JPEG')\n",
         folder_.path());
  std::vector<std::string> batch;
  for (int round = 0; round < 40; ++round)
    for (const char* name : {"a.jpg", "B.jpg", "c.JPG", "A.jpg", "b.jpg"}) batch.push_back(Photo(name));
  const std::vector<std::string> calls = Play(AddPhotos(batch) + "wait\n");
  // The queue is a stack: the last ones named come first; a spelling with
  // no file is tried until the photo is in under another one.
  ASSERT_EQ(PhotoCount(), 3u);
  EXPECT_EQ(PhotoAt(0)->srcPath, Photo("c.JPG"));
  EXPECT_EQ(PhotoAt(1)->srcPath, Photo("B.jpg"));
  EXPECT_EQ(PhotoAt(2)->srcPath, Photo("a.jpg"));
  EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                          [](const std::string& c) { return c.find("openAddPhotosDlgCallBack") != std::string::npos; }),
            3);
  EXPECT_EQ(calls.back(), Call("notify", Str("importing") + Str("0")));
  EXPECT_EQ(FindPhotoByPath(Photo("C.jpg")), PhotoAt(0));
  thumbnailsSoFar += 3;
}

TEST_F(ImportTest, ASecondBatchJoinsTheRunningOne) {
  std::string script = "for i in range(8):\n    Image.new('RGB', (60, 40), (i * 30, 0, 0)).save('" +
                       folder_.path() + "/photos/p%d.jpg' % i)\n";
  Python(script, folder_.path());
  // The first worker takes its file and then waits for the movie, which
  // answers only when the loop turns: once its call is pending, 4 files
  // still wait when the second batch of 3 comes.
  const std::size_t start = log_.str().size();
  host_->PrepareFileDialog(std::vector<std::string>{Photo("p0.jpg"), Photo("p1.jpg"), Photo("p2.jpg"),
                                                    Photo("p3.jpg"), Photo("p4.jpg")});
  host_->Request("<invoke name=\"OpenAddPhotosDlg\" returntype=\"xml\"><arguments></arguments></invoke>");
  while (!host_->Loop().hasPendingWork()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_NE(log_.str().substr(start).find("call: " + Call("setProgressMaximum", Num(5)) + "\ncall: " +
                                           Call("setProgress", Num(0)) + "\ncall: " +
                                           Call("notify", Str("importing") + Str("1"))),
            std::string::npos)
      << log_.str().substr(start);
  const std::vector<std::string> calls =
      Play(AddPhotos({Photo("p5.jpg"), Photo("p6.jpg"), Photo("p7.jpg")}) + "wait\n");
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0], Call("setProgressMaximum", Num(7)));
  EXPECT_EQ(calls[1], Call("setProgress", Num(0)));

  // Both chains share the queue: every file once, every thumbnail its own.
  const std::vector<PhotoRecord> photos = PhotoSnapshot();
  ASSERT_EQ(photos.size(), 8u);
  std::set<std::string> paths, thumbs;
  for (const PhotoRecord& p : photos) {
    paths.insert(p->srcPath);
    thumbs.insert(p->thumbPath);
    EXPECT_TRUE(std::filesystem::exists(p->thumbPath)) << p->thumbPath;
  }
  EXPECT_EQ(paths.size(), 8u);
  EXPECT_EQ(thumbs.size(), 8u);
  EXPECT_EQ(WorkerThreadCount(), 0u);
  thumbnailsSoFar += 8;
}

}  // namespace
}  // namespace vornida
