// What vornida-collage writes and what it refuses to write, as a user meets
// it: background colours in formats without alpha and the layered file's
// merged image, read by ImageMagick, Pillow and psd-tools; outputs that are
// one of the photos; the longest legal names; a format's size limits; the
// JPEG quality; a full disk; a kill -9 during a save, on a file system with
// unnamed files and on one without; a reader of the messages that goes away.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "collage_program.h"

namespace vornida {
namespace {

using testing::ReadBytes;
using testing::ShellQuote;
using testing::WriteBytes;

// A file system mounted on a scratch folder for one test and unmounted
// after it. Mounting needs root; without it the tests that need one skip.
class ScratchMount {
 public:
  // A tmpfs of `size` ("1m").
  static std::unique_ptr<ScratchMount> Tmpfs(const std::string& at, const std::string& size) {
    return Mount(at, "mount -t tmpfs -o size=" + size + " tmpfs " + ShellQuote(at));
  }
  // A file system that cannot make unnamed files: FAT in a sparse image
  // file where the kernel has it, else a FUSE view of a folder (bindfs).
  static std::unique_ptr<ScratchMount> WithoutUnnamedFiles(const std::string& work, const std::string& at) {
    const std::string image = work + "/fat.img";
    if (testing::Run("truncate -s 256M " + ShellQuote(image) + " && mkfs.vfat -F 32 " + ShellQuote(image) +
                     " >/dev/null 2>&1")
            .exitCode == 0) {
      if (auto fat = Mount(at, "mount -o loop " + ShellQuote(image) + " " + ShellQuote(at))) return fat;
    }
    std::filesystem::create_directories(work + "/fuse-source");
    return Mount(at, "bindfs " + ShellQuote(work + "/fuse-source") + " " + ShellQuote(at));
  }
  ~ScratchMount() { testing::Run("umount " + ShellQuote(at_) + " 2>&1"); }
  ScratchMount(const ScratchMount&) = delete;
  ScratchMount& operator=(const ScratchMount&) = delete;

 private:
  explicit ScratchMount(std::string at) : at_(std::move(at)) {}
  static std::unique_ptr<ScratchMount> Mount(const std::string& at, const std::string& command) {
    std::filesystem::create_directories(at);
    if (::geteuid() != 0 || testing::Run(command + " 2>&1").exitCode != 0) return nullptr;
    return std::unique_ptr<ScratchMount>(new ScratchMount(at));
  }
  std::string at_;
};

class CollageOutput : public CollageProgram {
 protected:
  std::string Python(const std::string& script) {
    WriteBytes(scratch_ / "check.py", script);
    return testing::Run(std::string(VORNIDA_PYTHON) + " " + ShellQuote(scratch_ / "check.py") + " 2>&1").out;
  }
};

// An opaque colour is kept in JPEG, BMP and the layered file's merged image;
// every one of them shows the same collage as the PNG of the same layout.
TEST_F(CollageOutput, BackgroundColourAndMergedImageMatchTheFlatPicture) {
  const std::string photos = SomePhotos(4);
  for (const char* name : {"c.png", "c.jpg", "c.bmp", "c.psd"}) {
    const auto run = Collage({"--seed", "4", "--size", "700x500", "--count", "12", "--background", "black", "-q",
                              photos, "-o", scratch_ / ("out/" + std::string(name))});
    ASSERT_EQ(run.exitCode, 0) << name << ": " << run.out;
  }
  // A transparent background shows as white where the format has no alpha.
  ASSERT_EQ(Collage({"--seed", "4", "--size", "700x500", "--count", "12", "--background", "transparent", "-q", photos,
                     "-o", scratch_ / "out/t.png"})
                .exitCode,
            0);
  ASSERT_EQ(Collage({"--seed", "4", "--size", "700x500", "--count", "12", "--background", "transparent", "-q", photos,
                     "-o", scratch_ / "out/t.psd"})
                .exitCode,
            0);
  const std::string out = scratch_ / "out";
  const std::string report = Python(R"(
import subprocess, numpy
from PIL import Image
from psd_tools import PSDImage
out = ')" + out + R"('
def rgb(path): return numpy.asarray(Image.open(path).convert('RGB')).astype(int)
def magick(path, shape):
    raw = subprocess.run(['convert', path + '[0]', 'rgb:-'], capture_output=True).stdout
    return numpy.frombuffer(raw, dtype=numpy.uint8).reshape(shape).astype(int)
png = rgb(out + '/c.png')
rgba = numpy.asarray(Image.open(out + '/t.png').convert('RGBA')).astype(int)
a = rgba[:, :, 3:4]
white = (rgba[:, :, :3] * a + 255 * (255 - a) + 127) // 255
background = (a[:, :, 0] == 0)
print('background', background.sum() > 1000, 'black', int(rgb(out + '/c.jpg')[background].max()) < 24,
      int(rgb(out + '/c.bmp')[background].max()))
for name, flat in (('c.psd', png), ('t.psd', white)):
    path = out + '/' + name
    for reader, merged in (('magick', magick(path, flat.shape)), ('pillow', rgb(path)),
                           ('psdtools', numpy.asarray(PSDImage.open(path).topil().convert('RGB')).astype(int))):
        print(name, reader, numpy.abs(merged - flat).mean() < 2)
print('jpg', numpy.abs(rgb(out + '/c.jpg') - png).mean() < 3, 'bmp', int(numpy.abs(rgb(out + '/c.bmp') - png).max()))
)");
  EXPECT_EQ(report,
            "background True black True 0\n"
            "c.psd magick True\nc.psd pillow True\nc.psd psdtools True\n"
            "t.psd magick True\nt.psd pillow True\nt.psd psdtools True\n"
            "jpg True bmp 0\n");
}

// By its own name, through a symbolic link to it or to its folder, or as a
// hard link: an output that is one of the photos would destroy it.
TEST_F(CollageOutput, OutputThatIsOneOfThePhotosIsRefusedAndNothingIsWritten) {
  const std::string photos = SomePhotos(3);
  const std::string photo = photos + "/" + testing::FolderEntries(photos).front();
  const std::string before = ReadBytes(photo);
  ASSERT_EQ(::symlink(photo.c_str(), (scratch_ / "out/link.jpg").c_str()), 0);
  ASSERT_EQ(::symlink(photos.c_str(), (scratch_ / "folder-link").c_str()), 0);
  ASSERT_EQ(::link(photo.c_str(), (scratch_ / "out/hard.jpg").c_str()), 0);
  const std::string name = std::filesystem::path(photo).filename();
  for (const std::string& output : {photo, scratch_ / "out/link.jpg", scratch_ / ("folder-link/" + name),
                                    scratch_ / "out/hard.jpg"}) {
    const auto run = Collage({"--size", "300x200", photos, "-o", output});
    EXPECT_EQ(run.exitCode, 1) << output;
    EXPECT_NE(run.out.find("vornida-collage: " + output + ": this is "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("it would be overwritten, choose another output file\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Loading photo"), std::string::npos) << "refused before any work";
  }
  EXPECT_EQ(ReadBytes(photo), before);
  EXPECT_EQ(ReadBytes(scratch_ / "out/hard.jpg"), before);
  EXPECT_TRUE(std::filesystem::is_symlink(scratch_ / "out/link.jpg"));
  EXPECT_EQ(testing::FolderEntries(scratch_ / "out"), (std::vector<std::string>{"hard.jpg", "link.jpg"}));
  EXPECT_TRUE(testing::FolderEntries(scratch_ / "tmp").empty());
}

// A name of 255 bytes (the file system's limit), in ASCII and in two-byte
// characters: the save's temporary name must not make it longer.
TEST_F(CollageOutput, NamesUpToTheLimitOf255BytesAreWritten) {
  const std::string photos = SomePhotos(2);
  std::string accented;
  while (accented.size() + 2 + 4 <= 255) accented += "\xc3\xa9";  // é
  for (const std::string& name : {std::string(251, 'n') + ".png", accented + ".jpg"}) {
    ASSERT_LE(name.size(), 255u);
    const auto run = Collage({"--size", "300x200", "-q", photos, "-o", scratch_ / ("out/" + name)});
    EXPECT_EQ(run.exitCode, 0) << name.size() << " bytes: " << run.out;
    EXPECT_EQ(testing::FolderEntries(scratch_ / "out"), std::vector<std::string>{name});
    std::filesystem::remove(scratch_ / ("out/" + name));
  }
}

TEST_F(CollageOutput, FormatLimitsAreCheckedBeforeAnyWork) {
  const std::string photos = SomePhotos(2);
  const auto start = std::chrono::steady_clock::now();
  const auto wide = Collage({"--size", "70000x300", photos, "-o", scratch_ / "out/w.jpg"});
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(wide.exitCode, 1);
  EXPECT_EQ(wide.out, "vornida-collage: " + scratch_ / "out/w.jpg" +
                          ": JPEG pictures can be at most 65500 pixels a side: 70000 x 300\n");
  EXPECT_LT(took, std::chrono::seconds(10)) << "the refusal waited for the work";
  // The same canvas is fine as PNG; the limit itself is fine as JPEG.
  EXPECT_EQ(Collage({"--size", "65500x40", "--count", "3", "-q", photos, "-o", scratch_ / "out/edge.jpg"}).exitCode, 0);
  EXPECT_EQ(Python("from PIL import Image\nprint(Image.open('" + scratch_ / "out/edge.jpg" + "').size)\n"),
            "(65500, 40)\n");
  // A layered file holds at most 32767 layers: a layer per item and the background's.
  const auto layers = Collage({"--count", "32767", "--size", "2000x2000", photos, "-o", scratch_ / "out/many.psd"});
  EXPECT_EQ(layers.out, "vornida-collage: " + scratch_ / "out/many.psd" + ": PSD files hold at most 32767 layers: 32768\n");
  EXPECT_EQ(testing::FolderEntries(scratch_ / "out"), std::vector<std::string>{"edge.jpg"});
}

TEST_F(CollageOutput, JpegQualityIsTheOneAskedForAndTravelsWithTheProject) {
  const std::string photos = SomePhotos(3);
  const auto quality = [&](const std::string& file) {
    return testing::Run("identify -format '%Q %[jpeg:sampling-factor]' " + ShellQuote(file)).out;
  };
  ASSERT_EQ(Collage({"--size", "500x400", "--seed", "2", "-q", photos, "-o", scratch_ / "out/default.jpg"}).exitCode, 0);
  EXPECT_EQ(quality(scratch_ / "out/default.jpg"), "90 1x1,1x1,1x1");  // full-resolution colour from 90 on
  ASSERT_EQ(Collage({"--size", "500x400", "--seed", "2", "--jpeg-quality", "40", "-q", photos, "--save-project",
                     scratch_ / "q.vrn", "-o", scratch_ / "out/low.jpg"})
                .exitCode,
            0);
  EXPECT_EQ(quality(scratch_ / "out/low.jpg"), "40 2x2,1x1,1x1");
  EXPECT_LT(std::filesystem::file_size(scratch_ / "out/low.jpg"), std::filesystem::file_size(scratch_ / "out/default.jpg") / 2);
  ASSERT_EQ(Collage({"--project", scratch_ / "q.vrn", "-q", "-o", scratch_ / "out/again.jpg"}).exitCode, 0);
  EXPECT_EQ(quality(scratch_ / "out/again.jpg"), "40 2x2,1x1,1x1");

  for (const std::vector<std::string>& args : {std::vector<std::string>{"--jpeg-quality", "0", photos, "-o", "x.jpg"},
                                               {"--jpeg-quality", "101", photos, "-o", "x.jpg"},
                                               {"--jpeg-quality", "80", photos, "-o", "x.png"}}) {
    const auto run = Collage(args);
    EXPECT_EQ(run.exitCode, 2) << run.out;
    EXPECT_EQ(run.out.rfind("vornida-collage: --jpeg-quality: ", 0), 0u) << run.out;
  }
}

TEST_F(CollageOutput, FullDiskSaysNoSpaceLeftAndLeavesNothing) {
  const std::string disk = scratch_ / "disk";
  auto mount = ScratchMount::Tmpfs(disk, "128k");
  if (!mount) GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
  const std::string photos = SomePhotos(3);
  for (const char* name : {"full.png", "full.psd", "full.jpg"}) {
    const auto run = Collage({"--size", "2000x1500", "-q", photos, "-o", disk + "/" + name});
    EXPECT_EQ(run.exitCode, 1) << run.out;
    EXPECT_EQ(run.out, "vornida-collage: " + disk + "/" + name +
                           ": the collage could not be written: No space left on device\n");
  }
  EXPECT_TRUE(testing::FolderEntries(disk).empty());
  EXPECT_TRUE(testing::FolderEntries(scratch_ / "tmp").empty());

  // Read-only: said before any work (even root cannot write there).
  ASSERT_EQ(testing::Run("mount -o remount,ro " + ShellQuote(disk) + " 2>&1").exitCode, 0);
  const auto readOnly = Collage({"--size", "300x200", photos, "-o", disk + "/ro.png"});
  EXPECT_EQ(readOnly.out, "vornida-collage: " + disk + "/ro.png: cannot write there (Read-only file system)\n");
}

// kill -9 in the middle of a save: the run cannot clean up, so nothing it
// leaves may last. Where the file system has unnamed files the save leaves
// nothing at all; elsewhere (FAT, FUSE) its hidden temporary file goes at
// the next save of that file. The run's private folder goes at the next run.
class KilledSave : public CollageOutput {
 protected:
  // Starts a large layered save into `folder` and kills it while the file is
  // being written. Gives the names left in `folder`.
  std::vector<std::string> KillDuringSave(const std::string& folder, const std::string& photos) {
    BackgroundRun run = Start({"--size", "6000x4000", "--count", "40", "--seed", "3", photos, "-o", folder + "/big.psd"});
    EXPECT_GT(run.pid, 0);
    EXPECT_TRUE(run.ShowsSoon("Saving the collage\n")) << run.shown;
    // The save's file: unnamed (a descriptor into the folder, "deleted"), or
    // a hidden name beside the target.
    const auto writing = [&] {
      for (const std::string& name : testing::FolderEntries(folder))
        if (name[0] == '.') return true;
      std::error_code ec;
      for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(run.pid) + "/fd", ec)) {
        const std::string target = std::filesystem::read_symlink(fd.path(), ec).string();
        if (target.rfind(folder + "/", 0) == 0 && target.ends_with(" (deleted)")) return true;
      }
      return false;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!writing() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(writing()) << "the save never started writing";
    ::kill(run.pid, SIGKILL);
    const int status = run.Finish();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the save ended before the kill";
    return testing::FolderEntries(folder);
  }

  // The next save of the same file, small and quick.
  void SaveAgain(const std::string& folder, const std::string& photos) {
    const auto run = Collage({"--size", "400x300", "-q", photos, "-o", folder + "/big.psd"});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(testing::FolderEntries(folder), std::vector<std::string>{"big.psd"});
    EXPECT_TRUE(testing::FolderEntries(scratch_ / "tmp").empty()) << "the killed run's folder is still there";
  }
};

TEST_F(KilledSave, NothingStaysWhereFilesCanBeUnnamed) {
  const std::string photos = SomePhotos(6);
  const std::vector<std::string> left = KillDuringSave(scratch_ / "out", photos);
  EXPECT_LE(left.size(), 1u);
  // A file system without unnamed files (a test machine's odd /tmp) leaves
  // the hidden file, which the next save removes.
  if (!left.empty()) {
    EXPECT_EQ(left[0][0], '.') << left[0];
  }
  EXPECT_EQ(testing::FolderEntries(scratch_ / "tmp").size(), 1u) << "the killed run's private folder";
  SaveAgain(scratch_ / "out", photos);
}

TEST_F(KilledSave, WithoutUnnamedFilesTheLeftoverGoesAtTheNextSave) {
  const std::string folder = scratch_ / "plain";
  auto mount = ScratchMount::WithoutUnnamedFiles(scratch_.path(), folder);
  if (!mount) GTEST_SKIP() << "cannot mount FAT or bindfs here (needs root, and vfat or FUSE)";
  const std::string photos = SomePhotos(6);
  const std::vector<std::string> left = KillDuringSave(folder, photos);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0][0], '.');
  EXPECT_TRUE(left[0].ends_with(".tmp")) << left[0];
  SaveAgain(folder, photos);
}

// `vornida-collage ... 2>&1 | head -1`: the reader goes after one line; the
// run still makes its collage, ends well and tidies up.
TEST_F(CollageOutput, ReaderThatGoesAwayDoesNotStopTheRun) {
  const std::string photos = SomePhotos(3);
  const std::string command = "cd " + ShellQuote(scratch_.path()) + " && TMPDIR=" + ShellQuote(scratch_ / "tmp") + " " +
                              ShellQuote(kProgram) + " --size 800x600 " + ShellQuote(photos) + " -o out/p.png 2>&1" +
                              " | head -1; echo \"status=${PIPESTATUS[0]}\"";
  const auto run = testing::Run("bash -c " + ShellQuote(command));
  EXPECT_EQ(run.out.rfind("Loading photo: ", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("\nstatus=0\n"), std::string::npos) << run.out;
  EXPECT_EQ(Identify(scratch_ / "out/p.png"), "PNG 800 600\n");
  EXPECT_TRUE(testing::FolderEntries(scratch_ / "tmp").empty());
}

}  // namespace
}  // namespace vornida
