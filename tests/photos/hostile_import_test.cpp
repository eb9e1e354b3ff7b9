// Importing pictures that declare far more than they hold, or that are no
// pictures at all, through the real vornida-headless in a child process:
// the child's peak memory stays bounded whatever a file declares, a FIFO or
// a device never blocks the import or the exit, and the state text names
// what was skipped.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <thread>

#include "../imaging/picture_files.h"

extern char** environ;

namespace vornida {
namespace {

using testing::Python;
using testing::ScratchFolder;

const std::string kHeadless = VORNIDA_BINARY_DIR "/src/tools/vornida-headless/vornida-headless";
// The most one import may take, the program itself included.
constexpr long kPeakLimitKb = 300 * 1024;

struct ChildRun {
  bool finished = false;
  int exitCode = -1;
  long peakKb = 0;
  std::string out;
};

class HostileImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* sub : {"tmp", "data", "config", "photos"}) std::filesystem::create_directories(folder_ / sub);
    std::ofstream(folder_ / "strings.json")
        << R"({"Loading_Photo": "Loading photo", "Photo_Damaged": "Damaged, only partly read",)"
        << R"( "Photo_Not_A_File": "Not a picture file, skipped", "Photo_Too_Large": "Too large to read, skipped"})";
  }

  std::string Photo(const std::string& name) const { return folder_ / ("photos/" + name); }

  // Imports `paths` in a fresh vornida-headless and waits (at most two
  // minutes) for it to end; its peak resident memory comes from the kernel.
  ChildRun Import(const std::vector<std::string>& paths) {
    std::string dialog = "dialog ";
    for (std::size_t i = 0; i < paths.size(); ++i) dialog += (i ? "|" : "") + paths[i];
    const std::string script = folder_ / "import.script";
    std::ofstream(script) << dialog << "\n"
                          << "<invoke name=\"OpenAddPhotosDlg\" returntype=\"xml\"><arguments></arguments></invoke>\n"
                          << "wait\n";
    const std::string output = folder_ / "out.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const std::string strings = folder_ / "strings.json";
    std::vector<std::string> env = {"TMPDIR=" + (folder_ / "tmp"), "XDG_DATA_HOME=" + (folder_ / "data"),
                                    "XDG_CONFIG_HOME=" + (folder_ / "config"), "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = {kHeadless, "--strings", strings, script};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ChildRun run;
    if (posix_spawn(&pid, kHeadless.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
      ADD_FAILURE() << "cannot start " << kHeadless;
      return run;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    for (;;) {
      const pid_t done = wait4(pid, &status, WNOHANG, &usage);
      if (done == pid) break;
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid, SIGKILL);
        wait4(pid, &status, 0, &usage);
        std::ifstream in(output);
        run.out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return run;  // not finished
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    run.finished = true;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakKb = usage.ru_maxrss;
    std::ifstream in(output);
    run.out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return run;
  }

  static bool Imported(const ChildRun& run, const std::string& name) {
    return run.out.find("openAddPhotosDlgCallBack") != std::string::npos &&
           run.out.find("name=&apos;" + name + "&apos;") != std::string::npos;
  }

  ScratchFolder folder_;
};

TEST_F(HostileImportTest, PicturesThatDeclareMoreThanTheyHoldStayWithinMemory) {
  Python(R"(
import zlib
folder = ')" + folder_.path() + R"(/photos'

# A run-length BMP of 30000 x 30000 pixels in about a kilobyte: a few runs,
# then the end of the picture.
w = h = 30000
palette = b''.join(bytes([i, 255 - i, i // 2, 0]) for i in range(256))
runs = b''.join(bytes([255, 7]) for _ in range(4)) + b'\x00\x00' + bytes([200, 9]) + b'\x00\x01'
offset = 14 + 40 + len(palette)
info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 8, 1, len(runs), 2835, 2835, 256, 0)
bmp = b'BM' + struct.pack('<IHHI', offset + len(runs), 0, 0, offset) + info + palette + runs
open(f'{folder}/rle-bomb.bmp', 'wb').write(bmp)

# A real PNG of 16384 x 16384 pixels (a gigabyte once decoded), every row
# present, written row by row.
w = h = 16384
def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
z = zlib.compressobj(1)
rows = []
row = bytes(range(256)) * (w * 3 // 256)
for y in range(h):
    rows.append(z.compress(b'\x00' + row))
rows.append(z.flush())
png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0))
png += chunk(b'IDAT', b''.join(rows)) + chunk(b'IEND', b'')
open(f'{folder}/huge.png', 'wb').write(png)

# Small JPEGs whose frame header is rewritten to announce 30000 x 30000: a
# baseline one (its data ends in the first rows) and a progressive one
# (whose coefficients alone would take gigabytes to hold).
small = Image.new('RGB', (1024, 1024), (90, 140, 200))
small = Image.blend(small, Image.effect_noise((1024, 1024), 60).convert('RGB'), 0.3)
def announce(data, width, height):
    data = bytearray(data)
    for i in range(2, len(data) - 9):
        if data[i] == 0xFF and data[i + 1] in (0xC0, 0xC2):
            data[i + 5:i + 9] = struct.pack('>HH', height, width)
            break
    return bytes(data)
import io
for name, progressive in (('baseline-bomb.jpg', False), ('progressive-bomb.jpg', True)):
    buffer = io.BytesIO()
    small.save(buffer, 'JPEG', quality=90, progressive=progressive)
    open(f'{folder}/{name}', 'wb').write(announce(buffer.getvalue(), 30000, 30000))

# A GIF whose screen is 30000 x 30000 with one tiny frame: the frame is
# what counts.
gif = b'GIF89a' + struct.pack('<HHBBB', 30000, 30000, 0x80, 0, 0) + b'\x00\x00\x00\xff\xff\xff'
gif += b'\x2c' + struct.pack('<HHHHB', 0, 0, 1, 1, 0) + b'\x02\x02\x44\x01\x00' + b'\x3b'
open(f'{folder}/screen-bomb.gif', 'wb').write(gif)
)",
         folder_.path());
  ASSERT_LT(std::filesystem::file_size(Photo("rle-bomb.bmp")), 1200u);

  struct Case {
    const char* name;
    const char* notice;  // what the state text says at the end, or nothing
  };
  for (const Case& c : {Case{"rle-bomb.bmp", nullptr}, Case{"huge.png", nullptr},
                        Case{"baseline-bomb.jpg", "Damaged, only partly read"},
                        Case{"progressive-bomb.jpg", "Damaged, only partly read"}, Case{"screen-bomb.gif", nullptr}}) {
    SCOPED_TRACE(c.name);
    const ChildRun run = Import({Photo(c.name)});
    ASSERT_TRUE(run.finished) << run.out;
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_LT(run.peakKb, kPeakLimitKb);
    // Each is imported, as far as its data goes.
    EXPECT_TRUE(Imported(run, c.name)) << run.out;
    if (c.notice != nullptr) {
      EXPECT_NE(run.out.find(std::string(c.notice) + ": " + c.name), std::string::npos) << run.out;
    }
  }
}

TEST_F(HostileImportTest, FifosAndDevicesAreSkippedWithoutWaiting) {
  Python(R"(
Image.new('RGB', (300, 200), (30, 160, 60)).save(')" + Photo("real.jpg") + R"(')
)",
         folder_.path());
  ASSERT_EQ(mkfifo(Photo("pipe.jpg").c_str(), 0600), 0);
  // Nobody ever writes to the FIFO: opening it to read would wait forever,
  // and so would the program's exit, which waits for its import workers.
  const ChildRun run = Import({Photo("real.jpg"), Photo("pipe.jpg"), "/dev/zero"});
  ASSERT_TRUE(run.finished) << "the import or the exit waited on the FIFO\n" << run.out;
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(Imported(run, "real.jpg")) << run.out;
  EXPECT_FALSE(Imported(run, "pipe.jpg"));
  EXPECT_NE(run.out.find("Not a picture file, skipped: zero, pipe.jpg"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace vornida
