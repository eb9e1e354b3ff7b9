// Flat pictures saved by extension, read back with Pillow.
#include "output/flat_picture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "psd_reader.h"

namespace vornida {
namespace {

using testing::ReadBytes;
using testing::ScratchFolder;

// "<format> <width> <height> <mode> <r> <g> <b> <a>" of the pixel at (1, 1),
// as Pillow reads the file; the error text when it cannot.
std::string DescribeWithPillow(const std::string& path) {
  const std::string command =
      std::string(VORNIDA_PYTHON) +
      " -c \"import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
      "p = im.convert('RGBA').getpixel((1, 1)); "
      "print(im.format, im.width, im.height, im.mode, *p)\" '" + path + "' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return "cannot start the reader";
  std::string output;
  char chunk[512];
  while (std::size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, n);
  ::pclose(pipe);
  while (!output.empty() && output.back() == '\n') output.pop_back();
  return output;
}

Picture HalfTransparentPicture() {
  Picture picture = Bitmap::Create(6, 4, PixelFormat::Argb32);
  Fill(*picture, 0x80FF0000);
  return picture;
}

TEST(FlatPictures, EncoderFollowsTheLowerCasedExtension) {
  EXPECT_EQ(FlatPictureMimeType("/a/b/collage.PNG"), "image/png");
  EXPECT_EQ(FlatPictureMimeType("collage.Bmp"), "image/bmp");
  EXPECT_EQ(FlatPictureMimeType("collage.jpg"), "image/jpeg");
  EXPECT_EQ(FlatPictureMimeType("collage.gif"), "image/jpeg");
  EXPECT_EQ(FlatPictureMimeType("collage"), "image/jpeg");
  EXPECT_EQ(FlatPictureMimeType("collage.png.tar"), "image/jpeg");
}

TEST(FlatPictures, SavedFilesHaveTheFormatTheirNameAsksFor) {
  ScratchFolder folder;
  const Picture picture = HalfTransparentPicture();
  struct Case { const char* name; const char* described; };
  for (const Case c : {Case{"a.PNG", "PNG 6 4 RGBA 255 0 0 128"},
                       Case{"b.jpg", "JPEG 6 4 RGB"},
                       Case{"c", "JPEG 6 4 RGB"},
                       Case{"d.gif", "JPEG 6 4 RGB"},
                       Case{"e.bmp", "BMP 6 4 RGBA 255 0 0 128"}}) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(SaveFlatPicture(*picture, folder.file(c.name)));
    EXPECT_EQ(DescribeWithPillow(folder.file(c.name)).rfind(c.described, 0), 0u)
        << DescribeWithPillow(folder.file(c.name));
  }
  EXPECT_EQ(folder.entries(), (std::vector<std::string>{"a.PNG", "b.jpg", "c", "d.gif", "e.bmp"}));
}

TEST(FlatPictures, FailedSaveKeepsThePreviousFile) {
  ScratchFolder folder;
  const std::string path = folder.file("collage.png");
  ASSERT_TRUE(SaveFlatPicture(*HalfTransparentPicture(), path));
  const auto previous = ReadBytes(path);

  const Picture empty = Bitmap::CreateEmpty();
  EXPECT_FALSE(SaveFlatPicture(*empty, path));
  EXPECT_EQ(ReadBytes(path), previous);

  const std::string blocked = folder.file("blocked.png");
  ASSERT_TRUE(std::filesystem::create_directory(blocked));
  EXPECT_FALSE(SaveFlatPicture(*HalfTransparentPicture(), blocked));
  EXPECT_TRUE(std::filesystem::is_directory(blocked));
  EXPECT_FALSE(SaveFlatPicture(*HalfTransparentPicture(), folder.file("missing/x.png")));
  EXPECT_EQ(folder.entries(), (std::vector<std::string>{"blocked.png", "collage.png"}));
}

}  // namespace
}  // namespace vornida
