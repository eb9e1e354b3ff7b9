// vornida-collage run as a user runs it: real photos in, real pictures out,
// checked by ImageMagick, Pillow and psd-tools; bad invocations get one line
// and a non-zero exit, and leave nothing behind.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#include "collage_program.h"
#include "project/project_document.h"

namespace vornida {
namespace {

using testing::ReadBytes;
using testing::ShellQuote;
using testing::WriteBytes;

TEST_F(CollageProgram, BadCommandLinesGetOneLineAndExitStatusTwo) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--frobnicate", "a.jpg", "-o", "x.png"}, {"--size", "big", "a.jpg", "-o", "x.png"},
        {"a.jpg", "-o", "x.tiff"}, {"a.jpg"}, {"-o", "x.png"}}) {
    const auto run = Collage(args);
    EXPECT_EQ(run.exitCode, 2) << run.out;
    EXPECT_EQ(run.out.rfind("vornida-collage: ", 0), 0u) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
  }
  const auto help = Collage({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("Examples:"), std::string::npos);
  for (const char* option : {"--shape", "--size", "--aspect", "--count", "--item-size", "--same-size", "--spacing",
                             "--border ", "--border-color", "--angle", "--max-angle", "--no-shadow", "--shadow-offset",
                             "--background", "--params", "--project", "--save-project", "--seed", "--preview", "-q",
                             "--version", "--demo"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  const auto version = Collage({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "vornida-collage " VORNIDA_BUILD_VERSION "\n");
}

TEST_F(CollageProgram, RunsThatCannotWorkSayWhatAndWhereAndLeaveTheOldOutput) {
  const std::string output = scratch_ / "out/result.png";
  WriteBytes(output, "previous result");
  std::filesystem::create_directories(scratch_ / "empty");
  std::filesystem::create_directories(scratch_ / "junk");
  WriteBytes(scratch_ / "junk/a.jpg", "not a photo");
  WriteBytes(scratch_ / "junk/b.png", "");
  WriteBytes(scratch_ / "notes.txt", "hello");
  WriteBytes(scratch_ / "bad-shape.png", "\x89PNG but broken");
  WriteBytes(scratch_ / "broken.vrn", "<VornidaProject><Photos>");
  const std::string photos = SomePhotos(2);

  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"empty", "-o", output}, "vornida-collage: no photos found in empty\n"},
      {{"missing-folder", "-o", output}, "vornida-collage: missing-folder: no such file or folder\n"},
      {{"junk", "-o", output}, "vornida-collage: none of the 2 photos could be read\n"},
      // An output among the photos would replace one: refused before any work.
      {{"junk", "-o", scratch_ / "junk/b.png"},
       "vornida-collage: " + scratch_ / "junk/b.png" + ": this is one of the photos; it would be overwritten"},
      {{"-q", "notes.txt", "-o", output}, "vornida-collage: " + scratch_ / "notes.txt" + ": not a picture that can be read\n"},
      {{photos, "-o", scratch_ / "no/such/folder.png"},
       "vornida-collage: " + scratch_ / "no/such/folder.png" + ": cannot write there (No such file or directory)\n"},
      {{photos, "-o", scratch_ / "out"}, "the output must end in"},
      {{"--shape", "image:bad-shape.png", photos, "-o", output},
       "vornida-collage: --shape: " + scratch_ / "bad-shape.png" + ": not a picture that can be read\n"},
      {{"--shape", "image:nope.png", photos, "-o", output},
       "vornida-collage: --shape: " + scratch_ / "nope.png" + ": no such picture file\n"},
      {{"--background", "image:notes.txt", photos, "-o", output}, "--background: " + scratch_ / "notes.txt"},
      {{"--project", "broken.vrn", "-o", output}, "vornida-collage: broken.vrn: not a project file (not XML)\n"},
      {{"--params", "nothing.xml", photos, "-o", output},
       "vornida-collage: nothing.xml: cannot read the collage parameters: No such file or directory\n"},
      {{"--project", "junk", "-o", output}, "vornida-collage: junk: cannot read the project: Is a directory\n"},
  };
  for (const Case& c : cases) {
    const auto run = Collage(c.args);
    EXPECT_NE(run.exitCode, 0) << run.out;
    if (c.message.back() == '\n')
      EXPECT_EQ(run.out.substr(run.out.size() >= c.message.size() ? run.out.size() - c.message.size() : 0), c.message)
          << run.out;
    else
      EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
  }
  EXPECT_EQ(ReadBytes(output), "previous result");
  EXPECT_EQ(testing::FolderEntries(scratch_ / "out"), std::vector<std::string>{"result.png"});
  // The program's own temporary folders are gone too.
  EXPECT_TRUE(testing::FolderEntries(scratch_ / "tmp").empty());
}

TEST_F(CollageProgram, InterruptedRunLeavesNothingBehind) {
  const std::string photos = SomePhotos(3);
  // A picture of 268 megapixels keeps the import busy for a while when the
  // interruption comes (a FIFO would be skipped at once); the last photo
  // named is imported first.
  const std::string big = scratch_ / "big.png";
  ASSERT_EQ(testing::Run(std::string(VORNIDA_PYTHON) + " -c " + ShellQuote(R"(
import struct, zlib
w = h = 16384
def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
z = zlib.compressobj(1)
row = b'\0' + bytes(range(256)) * (w * 3 // 256)
data = b''.join(z.compress(row) for _ in range(h)) + z.flush()
png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0))
open(')" + big + R"(', 'wb').write(png + chunk(b'IDAT', data) + chunk(b'IEND', b''))
)")).exitCode,
            0);
  const std::string output = scratch_ / "out/result.png";
  WriteBytes(output, "previous result");

  BackgroundRun run = Start({photos, big, "-o", output});
  ASSERT_GT(run.pid, 0);
  ASSERT_TRUE(run.ShowsSoon("Loading photo: big.png\n")) << run.shown;
  ::kill(run.pid, SIGINT);
  const int status = run.Finish();
  const std::string& shown = run.shown;
  ASSERT_TRUE(WIFEXITED(status)) << shown;
  EXPECT_EQ(WEXITSTATUS(status), 128 + SIGINT);
  EXPECT_NE(shown.find("vornida-collage: interrupted; nothing was written\n"), std::string::npos) << shown;
  EXPECT_EQ(ReadBytes(output), "previous result");
  EXPECT_EQ(testing::FolderEntries(scratch_ / "out"), std::vector<std::string>{"result.png"});
  EXPECT_TRUE(testing::FolderEntries(scratch_ / "tmp").empty());
}

TEST_F(CollageProgram, EveryShapeMakesAPictureOfTheAskedSize) {
  const std::string photos = SomePhotos(4);
  // A heart-ish silhouette: a black disc on white.
  ASSERT_EQ(testing::Run("convert -size 200x160 xc:white -fill black -draw 'circle 100,80 100,10' " +
                         ShellQuote(scratch_ / "silhouette.png"))
                .exitCode,
            0);
  const std::vector<std::vector<std::string>> shapes = {
      {"--shape", "rectangle"}, {"--shape", "circle"}, {"--shape", "image:silhouette.png"}, {"--shape", "text:Vornida"}};
  int n = 0;
  for (const auto& shape : shapes) {
    const std::string output = scratch_ / ("out/shape" + std::to_string(++n) + ".png");
    std::vector<std::string> args = shape;
    for (const std::string& more : {std::string("--size"), std::string("640x400"), std::string("--count"),
                                    std::string("24"), std::string("--seed"), std::string("5"), photos,
                                    std::string("-o"), output})
      args.push_back(more);
    const auto run = Collage(args);
    if (!CanSave(run)) GTEST_SKIP() << "this build has no save command yet";
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(Identify(output), "PNG 640 400\n") << shape[1];
    EXPECT_NE(run.out.find("wrote " + output), std::string::npos) << run.out;
  }
}

TEST_F(CollageProgram, FifosAndDevicesAreSkippedAndDamagedPhotosNamed) {
  const std::string photos = SomePhotos(3);
  const std::string fifo = scratch_ / "pipe.jpg";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A photo cut off two thirds of the way through its data.
  std::string whole;
  for (const auto& entry : std::filesystem::directory_iterator(photos)) {
    whole = entry.path().string();
    break;
  }
  const std::string bytes = ReadBytes(whole);
  const std::string cut = scratch_ / "cut.jpg";
  WriteBytes(cut, bytes.substr(0, bytes.size() * 2 / 3));
  const std::string output = scratch_ / "out/mixed.png";
  // Nothing ever writes to the FIFO: a program that opened it would wait
  // until the time limit ends it, with a failing status.
  const auto run = Collage({"--size", "400x300", "--seed", "3", photos, fifo, "/dev/zero", cut, "-o", output});
  if (!CanSave(run)) GTEST_SKIP() << "this build has no save command yet";
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_NE(run.out.find("vornida-collage: skipped " + fifo + ": not a regular file\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("vornida-collage: skipped /dev/zero: not a regular file\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("vornida-collage: " + cut + ": the file is damaged; only the part that could be read is used\n"),
            std::string::npos)
      << run.out;
  // The damaged photo is in the collage with the three others.
  EXPECT_NE(run.out.find("Photos 4)"), std::string::npos) << run.out;
  EXPECT_EQ(Identify(output), "PNG 400 300\n");
}

// What the decoding libraries warn about (a HEIF colour profile libvips
// ignores, a TIFF tag libtiff does not know) is said in our words, once per
// file, and not at all with -q; the libraries' own text never shows.
TEST_F(CollageProgram, LibraryWarningsBecomeOneLineOfOursPerFileAndNothingWithQuiet) {
  const std::string photos = SomePhotos(2);
  std::string jpeg;
  for (const auto& entry : std::filesystem::directory_iterator(photos)) jpeg = entry.path().string();
  const std::string plain = scratch_ / "plain.heic", heic = scratch_ / "profiled.heic", tiff = scratch_ / "tagged.tif";
  if (testing::Run("heif-enc -q 60 " + ShellQuote(jpeg) + " -o " + ShellQuote(plain) + " 2>&1").exitCode != 0)
    GTEST_SKIP() << "heif-enc (libheif-examples) is not installed";
  ASSERT_EQ(testing::Run(std::string(VORNIDA_PYTHON) + " " + VORNIDA_SOURCE_DIR "/tests/collage/add_nclx_profile.py " +
                         ShellQuote(plain) + " " + ShellQuote(heic) + " 2>&1")
                .exitCode,
            0);
  WriteBytes(scratch_ / "tiff.py",
             "import sys\nfrom PIL import Image, TiffImagePlugin\n"
             "info = TiffImagePlugin.ImageFileDirectory_v2()\ninfo[65000] = 'private'\ninfo.tagtype[65000] = 2\n"
             "Image.open(sys.argv[1]).save(sys.argv[2], tiffinfo=info)\n");
  ASSERT_EQ(testing::Run(std::string(VORNIDA_PYTHON) + " " + ShellQuote(scratch_ / "tiff.py") + " " + ShellQuote(jpeg) +
                         " " + ShellQuote(tiff) + " 2>&1")
                .exitCode,
            0);
  // libvips itself warns about both files.
  EXPECT_NE(testing::Run("vips copy " + ShellQuote(heic) + " " + ShellQuote(scratch_ / "x.v") + " 2>&1").out.find(
                "ignoring nclx profile"),
            std::string::npos);

  const auto quiet = Collage({"-q", "--size", "300x200", "--seed", "4", heic, tiff, photos, "-o", "out/q.png"});
  if (!CanSave(quiet)) GTEST_SKIP() << "this build has no save command yet";
  EXPECT_EQ(quiet.exitCode, 0);
  EXPECT_EQ(quiet.out, "");

  const auto told = Collage({"--size", "300x200", "--seed", "4", heic, tiff, photos, "-o", "out/t.png"});
  ASSERT_EQ(told.exitCode, 0) << told.out;
  EXPECT_EQ(told.out.find("VIPS"), std::string::npos) << told.out;
  EXPECT_EQ(told.out.find("ignoring"), std::string::npos) << told.out;
  for (const std::string& file : {heic, tiff}) {
    const std::string line = "vornida-collage: " + file + ": the picture holds data that its decoder skipped; the rest was read\n";
    const auto first = told.out.find(line);
    EXPECT_NE(first, std::string::npos) << told.out;
    EXPECT_EQ(told.out.find(line, first + 1), std::string::npos) << "said twice:\n" << told.out;
  }
  EXPECT_NE(told.out.find("Photos 4)"), std::string::npos) << told.out;
}

// A project naming a photo that is gone says that the file does not exist,
// not that it is no picture.
TEST_F(CollageProgram, AMissingProjectPhotoIsNamedAsMissing) {
  const std::string photos = SomePhotos(1);
  std::string photo;
  for (const auto& entry : std::filesystem::directory_iterator(photos)) photo = entry.path().string();
  const std::string gone = scratch_ / "holiday/gone.jpg";
  WriteBytes(scratch_ / "p.vrn", "<VornidaProject version='1'><Settings><Vornida shapeType='Rectangle' "
                                  "collageSize='300,200'/></Settings><Photos><Photo src='" + photo +
                                      "'/><Photo src='" + gone + "'/></Photos></VornidaProject>");
  const auto run = Collage({"--project", "p.vrn", "-o", "out/p.png"});
  if (!CanSave(run)) GTEST_SKIP() << "this build has no save command yet";
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_NE(run.out.find("vornida-collage: skipped " + gone + ": the file does not exist\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("not a picture that can be read"), std::string::npos) << run.out;

  WriteBytes(scratch_ / "only.vrn", "<VornidaProject version='1'><Photos><Photo src='" + gone +
                                        "'/></Photos></VornidaProject>");
  const auto none = Collage({"--project", "only.vrn", "-o", "out/none.png"});
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_EQ(none.out.substr(none.out.rfind("vornida-collage:")), "vornida-collage: " + gone + ": the file does not exist\n");
}

TEST_F(CollageProgram, EveryOutputFormatIsReadByRealReaders) {
  const std::string photos = SomePhotos(3);
  const auto base = [&](const std::string& output) {
    return std::vector<std::string>{"--size", "300x200", "--seed", "9", "-q", photos, "-o", output};
  };
  const auto png = Collage(base(scratch_ / "out/c.png"));
  if (!CanSave(png)) GTEST_SKIP() << "this build has no save command yet";
  ASSERT_EQ(png.exitCode, 0) << png.out;
  EXPECT_TRUE(png.out.empty()) << png.out;  // -q: nothing but errors
  EXPECT_EQ(Identify(scratch_ / "out/c.png"), "PNG 300 200\n");

  ASSERT_EQ(Collage(base(scratch_ / "out/c.jpg")).exitCode, 0);
  EXPECT_EQ(Identify(scratch_ / "out/c.jpg"), "JPEG 300 200\n");
  ASSERT_EQ(Collage(base(scratch_ / "out/c.bmp")).exitCode, 0);
  EXPECT_EQ(Identify(scratch_ / "out/c.bmp"), "BMP3 300 200\n");  // BMP with the classic 40-byte header

  ASSERT_EQ(Collage(base(scratch_ / "out/c.psd")).exitCode, 0);
  WriteBytes(scratch_ / "psd.py",
             "import sys\nfrom psd_tools import PSDImage\n"
             "p = PSDImage.open(sys.argv[1])\n"
             "print(p.width, p.height, sum(1 for l in p.descendants() if not l.is_group()) >= 3)\n");
  const auto psd = testing::Run(std::string(VORNIDA_PYTHON) + " " + scratch_ / "psd.py " + scratch_ / "out/c.psd");
  EXPECT_EQ(psd.out, "300 200 True\n");
  EXPECT_EQ(testing::FolderEntries(scratch_ / "out"), (std::vector<std::string>{"c.bmp", "c.jpg", "c.png", "c.psd"}));
}

TEST_F(CollageProgram, SavedProjectGivesTheSameCollageAgain) {
  const std::string photos = SomePhotos(5);
  const auto first = Collage({"--shape", "circle", "--size", "400x400", "--seed", "11", "--background", "navy",
                              photos, "--save-project", "trip.vrn", "--preview", "preview.png", "-o", "out/a.png"});
  if (!CanSave(first)) GTEST_SKIP() << "this build has no save command yet";
  ASSERT_EQ(first.exitCode, 0) << first.out;
  ProjectDocument project;
  ASSERT_TRUE(ReadProjectDocument(ReadBytes(scratch_ / "trip.vrn"), project));
  EXPECT_EQ(project.photoPaths.size(), 5u);
  EXPECT_NE(project.collageParams.find("shapeType='Circle'"), std::string::npos);
  EXPECT_EQ(Identify(scratch_ / "preview.png"), "PNG 400 400\n");  // a 400 x 400 canvas fits the preview area whole

  EXPECT_NE(project.collageParams.find(" seed='11'"), std::string::npos) << project.collageParams;

  const auto second = Collage({"--project", "trip.vrn", "--seed", "11", "-o", "out/b.png"});
  ASSERT_EQ(second.exitCode, 0) << second.out;
  const auto compare = testing::Run("compare -metric AE " + ShellQuote(scratch_ / "out/a.png") + " " +
                                    ShellQuote(scratch_ / "out/b.png") + " null: 2>&1");
  EXPECT_EQ(compare.out, "0") << "the reopened project drew a different collage";
  // The project keeps its layout's seed: without --seed it is drawn the same,
  // and another --seed draws another layout.
  ASSERT_EQ(Collage({"--project", "trip.vrn", "-o", "out/c.png"}).exitCode, 0);
  EXPECT_EQ(testing::Run("compare -metric AE " + ShellQuote(scratch_ / "out/a.png") + " " +
                         ShellQuote(scratch_ / "out/c.png") + " null: 2>&1").out, "0")
      << "the project's own seed was not used";
  ASSERT_EQ(Collage({"--project", "trip.vrn", "--seed", "12", "-o", "out/d.png"}).exitCode, 0);
  EXPECT_NE(testing::Run("compare -metric AE " + ShellQuote(scratch_ / "out/a.png") + " " +
                         ShellQuote(scratch_ / "out/d.png") + " null: 2>&1").out, "0")
      << "--seed did not win over the project's seed";
}

TEST_F(CollageProgram, DemoRunsFromTheSamplePhotos) {
  const auto run = Collage({"--demo", "--size", "500x500", "-o", "out/demo.jpg"});
  if (!CanSave(run)) GTEST_SKIP() << "this build has no save command yet";
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_EQ(Identify(scratch_ / "out/demo.jpg"), "JPEG 500 500\n");
  // Progress on a pipe: plain lines, one per step.
  EXPECT_NE(run.out.find("\nArranging the photos\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find('\r'), std::string::npos);
}

}  // namespace
}  // namespace vornida
