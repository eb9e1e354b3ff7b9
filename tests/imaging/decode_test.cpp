// Decoding real files written by other programs, turning them upright, and
// refusing damaged or absurd input.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "imaging/bitmap.h"
#include "imaging/decoders.h"
#include "picture_files.h"

namespace vornida {
namespace {

using testing::Channel;
using testing::MaxDifference;
using testing::Python;
using testing::ScratchFolder;

// One folder of sample files for the whole suite: making them takes a
// second or two.
class DecodeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new ScratchFolder();
    // A 64 x 32 picture with four differently coloured quadrants: any wrong
    // turn or mirror moves a colour to another corner.
    Python(R"(
folder = sys.argv[1] if len(sys.argv) > 1 else ')" + folder_->path() + R"('
base = Image.new('RGB', (64, 32))
d = ImageDraw.Draw(base)
d.rectangle([0, 0, 31, 15], fill=(255, 0, 0))
d.rectangle([32, 0, 63, 15], fill=(0, 255, 0))
d.rectangle([0, 16, 31, 31], fill=(0, 0, 255))
d.rectangle([32, 16, 63, 31], fill=(255, 255, 255))
for o in range(1, 9):
    exif = Image.Exif()
    exif[274] = o
    path = f'{folder}/orient{o}.jpg'
    base.save(path, quality=95, exif=exif.tobytes())
    ImageOps.exif_transpose(Image.open(path)).convert('RGB').save(f'{folder}/orient{o}-upright.png')
base.save(f'{folder}/plain.jpg', quality=95)
base.convert('CMYK').save(f'{folder}/cmyk.jpg', quality=95)
base.convert('L').save(f'{folder}/gray.jpg', quality=95)
base.save(f'{folder}/progressive.jpg', quality=95, progressive=True)
rgba = Image.new('RGBA', (10, 6), (0, 0, 0, 0))
rgba.putpixel((1, 1), (200, 100, 50, 128))
rgba.putpixel((2, 1), (10, 20, 30, 255))
rgba.save(f'{folder}/alpha.png')
base.save(f'{folder}/opaque.png')
base.save(f'{folder}/rgb16.tif')
base.convert('P').save(f'{folder}/palette.gif')
g = Image.new('P', (8, 8), 1)
g.putpalette([0, 0, 0, 255, 0, 0] + [0] * 762)
g.putpixel((0, 0), 0)
g.save(f'{folder}/transparent.gif', transparency=0)
frames = [Image.new('RGB', (8, 8), c) for c in [(255, 0, 0), (0, 0, 255)]]
frames[0].save(f'{folder}/animated.gif', save_all=True, append_images=frames[1:])
base.save(f'{folder}/plain24.bmp')
base.convert('P').save(f'{folder}/palette8.bmp')
base.convert('1').save(f'{folder}/mono.bmp')
)",
           folder_->path());
    testing::Run("convert " + folder_->path() + "/plain.jpg -compress RLE -type Palette BMP3:" + folder_->path() +
        "/rle8.bmp");
    testing::Run("cwebp -quiet -lossless " + folder_->path() + "/alpha.png -o " + folder_->path() + "/alpha.webp");
    testing::Run("cwebp -quiet -q 95 " + folder_->path() + "/opaque.png -o " + folder_->path() + "/opaque.webp");
    testing::Run("heif-enc -q 95 " + folder_->path() + "/opaque.png -o " + folder_->path() + "/opaque.heic >/dev/null");
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }
  static std::string File(const std::string& name) { return *folder_ / name; }

  static ScratchFolder* folder_;
};
ScratchFolder* DecodeTest::folder_ = nullptr;

// Expected quadrant colours (top-left, top-right, bottom-left, bottom-right)
// near each corner, with room for JPEG's loss.
void ExpectCorners(Bitmap& picture, std::uint32_t tl, std::uint32_t tr, std::uint32_t bl, std::uint32_t br) {
  const LockedPixels p = LockPixels(picture);
  const std::int64_t w = p.width(), h = p.height();
  auto near = [](std::uint32_t got, std::uint32_t want) {
    for (int shift = 0; shift < 24; shift += 8) {
      if (std::abs(Channel(got, shift) - Channel(want, shift)) > 40) return false;
    }
    return true;
  };
  EXPECT_TRUE(near(p.row(2)[2], tl)) << std::hex << p.row(2)[2];
  EXPECT_TRUE(near(p.row(2)[w - 3], tr)) << std::hex << p.row(2)[w - 3];
  EXPECT_TRUE(near(p.row(h - 3)[2], bl)) << std::hex << p.row(h - 3)[2];
  EXPECT_TRUE(near(p.row(h - 3)[w - 3], br)) << std::hex << p.row(h - 3)[w - 3];
}

constexpr std::uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;

TEST_F(DecodeTest, EveryExifOrientationMatchesAnIndependentReader) {
  for (int o = 1; o <= 8; ++o) {
    SCOPED_TRACE("orientation " + std::to_string(o));
    Picture picture = LoadPicture(File("orient" + std::to_string(o) + ".jpg"));
    Picture reference = LoadPicture(File("orient" + std::to_string(o) + "-upright.png"));
    ASSERT_FALSE(picture->empty());
    ASSERT_EQ(picture->width(), reference->width());
    ASSERT_EQ(picture->height(), reference->height());
    EXPECT_LE(MaxDifference(*picture, *reference), 2);
    EXPECT_EQ(picture->exifOrientation(), 1);
  }
}

TEST_F(DecodeTest, QuarterTurnsSwapSidesAndMirrorsKeepThem) {
  Picture six = LoadPicture(File("orient6.jpg"));
  EXPECT_EQ(six->width(), 32);
  EXPECT_EQ(six->height(), 64);
  // Turned clockwise: the stored bottom-left (blue) is now top-left.
  ExpectCorners(*six, kBlue, kRed, kWhite, kGreen);

  Picture two = LoadPicture(File("orient2.jpg"));
  EXPECT_EQ(two->width(), 64);
  ExpectCorners(*two, kGreen, kRed, kWhite, kBlue);
}

TEST_F(DecodeTest, PlainLoadKeepsTheStoredOrientation) {
  Picture stored = LoadPicturePlain(File("orient6.jpg"));
  EXPECT_EQ(stored->width(), 64);
  EXPECT_EQ(stored->height(), 32);
  EXPECT_EQ(stored->exifOrientation(), 6);
  ExpectCorners(*stored, kRed, kGreen, kBlue, kWhite);
  ASSERT_TRUE(ApplyExifOrientation(*stored));
  EXPECT_EQ(stored->width(), 32);
  ExpectCorners(*stored, kBlue, kRed, kWhite, kGreen);
  // Applying again changes nothing: the tag now says upright.
  ASSERT_TRUE(ApplyExifOrientation(*stored));
  ExpectCorners(*stored, kBlue, kRed, kWhite, kGreen);
}

TEST_F(DecodeTest, JpegColourVariantsDecodeToTheSameColours) {
  for (const char* name : {"plain.jpg", "progressive.jpg", "cmyk.jpg"}) {
    SCOPED_TRACE(name);
    Picture picture = LoadPicture(File(name));
    ASSERT_EQ(picture->width(), 64);
    EXPECT_EQ(picture->format(), PixelFormat::Rgb32);
    ExpectCorners(*picture, kRed, kGreen, kBlue, kWhite);
  }
  Picture gray = LoadPicture(File("gray.jpg"));
  ASSERT_EQ(gray->width(), 64);
  const std::uint32_t p = LockPixels(*gray).row(2)[2];
  EXPECT_EQ(Channel(p, 16), Channel(p, 0));  // grey stays grey
}

TEST_F(DecodeTest, TransparencyGivesPremultipliedArgb) {
  for (const char* name : {"alpha.png", "alpha.webp"}) {
    SCOPED_TRACE(name);
    Picture picture = LoadPicture(File(name));
    ASSERT_EQ(picture->width(), 10);
    EXPECT_EQ(picture->format(), PixelFormat::Argb32);
    EXPECT_EQ(picture->pixel(0, 0), 0u);
    EXPECT_EQ(picture->pixel(2, 1), 0xFF0A141Eu);
    const std::uint32_t half = picture->pixel(1, 1);
    EXPECT_EQ(half >> 24, 128u);
    // Premultiplied storage at half alpha keeps 7 bits per channel.
    const std::uint32_t straight = Unpremultiply(half);
    EXPECT_NEAR(Channel(straight, 16), 200, 1);
    EXPECT_NEAR(Channel(straight, 8), 100, 1);
    EXPECT_NEAR(Channel(straight, 0), 50, 1);
  }
  Picture gif = LoadPicture(File("transparent.gif"));
  ASSERT_EQ(gif->width(), 8);
  EXPECT_EQ(gif->format(), PixelFormat::Argb32);
  EXPECT_EQ(gif->pixel(0, 0) >> 24, 0u);
  EXPECT_EQ(gif->pixel(1, 0), 0xFFFF0000u);
}

TEST_F(DecodeTest, OpaqueFormatsDecodeAsRgb) {
  for (const char* name : {"opaque.png", "rgb16.tif", "palette.gif", "plain24.bmp", "palette8.bmp", "rle8.bmp",
                           "opaque.webp", "opaque.heic"}) {
    SCOPED_TRACE(name);
    Picture picture = LoadPicture(File(name));
    ASSERT_EQ(picture->width(), 64);
    ASSERT_EQ(picture->height(), 32);
    ExpectCorners(*picture, kRed, kGreen, kBlue, kWhite);
  }
  Picture mono = LoadPicture(File("mono.bmp"));
  ASSERT_EQ(mono->width(), 64);
  EXPECT_EQ(LockPixels(*mono).row(20)[40], 0xFFFFFFFFu);  // white stays white
}

TEST_F(DecodeTest, AnimatedGifGivesItsFirstFrame) {
  Picture picture = LoadPicture(File("animated.gif"));
  ASSERT_EQ(picture->width(), 8);
  EXPECT_EQ(LockPixels(*picture).row(4)[4], 0xFFFF0000u);
}

TEST_F(DecodeTest, DamagedOrForeignFilesGiveAnEmptyPicture) {
  // Half of this small JPEG ends inside its first band of rows: nothing of
  // the picture is whole (a longer one is used as far as it goes, see
  // SizedDecodeTest).
  const std::vector<std::uint8_t> jpeg = testing::ReadBytes(File("plain.jpg"));
  testing::WriteBytes(File("truncated.jpg"), {jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() / 2)});
  std::vector<std::uint8_t> corrupt = jpeg;
  for (std::size_t i = corrupt.size() / 2; i < corrupt.size() - 2; i += 7) corrupt[i] = 0xFF;
  testing::WriteBytes(File("corrupt.jpg"), corrupt);
  testing::WriteBytes(File("text.jpg"), {'h', 'e', 'l', 'l', 'o', '\n'});
  testing::WriteBytes(File("empty.png"), {});
  const std::vector<std::uint8_t> png = testing::ReadBytes(File("opaque.png"));
  testing::WriteBytes(File("truncated.png"), {png.begin(), png.begin() + static_cast<long>(png.size() / 2)});

  for (const char* name : {"truncated.jpg", "corrupt.jpg", "text.jpg", "empty.png", "truncated.png", "missing.png"}) {
    SCOPED_TRACE(name);
    Picture picture = LoadPicture(File(name));
    ASSERT_NE(picture, nullptr);
    EXPECT_TRUE(picture->empty());
    Picture scaled = LoadPictureScaled(File(name), 0.5);
    ASSERT_NE(scaled, nullptr);
    EXPECT_TRUE(scaled->empty());
  }
  // A folder is no picture either.
  EXPECT_TRUE(LoadPicture(folder_->path())->empty());
}

// A JPEG whose frame header is rewritten to announce a different size; the
// data after it is the real picture's.
std::vector<std::uint8_t> WithAnnouncedSize(std::vector<std::uint8_t> jpeg, int width, int height) {
  for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
      jpeg[i + 5] = static_cast<std::uint8_t>(height >> 8);
      jpeg[i + 6] = static_cast<std::uint8_t>(height);
      jpeg[i + 7] = static_cast<std::uint8_t>(width >> 8);
      jpeg[i + 8] = static_cast<std::uint8_t>(width);
      break;
    }
  }
  return jpeg;
}

TEST_F(DecodeTest, AbsurdAnnouncedSizesAreRefusedBeforeAllocating) {
  const std::vector<std::uint8_t> jpeg = testing::ReadBytes(File("plain.jpg"));
  // 65000 x 65000 is about four times the pixel limit.
  Picture huge = LoadPictureFromMemory(WithAnnouncedSize(jpeg, 65000, 65000), true);
  EXPECT_TRUE(huge->empty());

  // A PNG header claiming 100000 x 100000, with a valid checksum.
  Python(R"(
import zlib
ihdr = struct.pack('>IIBBBBB', 100000, 100000, 8, 2, 0, 0, 0)
chunk = b'IHDR' + ihdr
data = b'\x89PNG\r\n\x1a\n' + struct.pack('>I', len(ihdr)) + chunk + struct.pack('>I', zlib.crc32(chunk))
idat = b'IDAT' + zlib.compress(b'\0' * 1000)
data += struct.pack('>I', len(idat) - 4) + idat + struct.pack('>I', zlib.crc32(idat))
open(')" + File("huge.png") + R"(', 'wb').write(data)
)",
         folder_->path());
  EXPECT_TRUE(LoadPicture(File("huge.png"))->empty());

  // Under a lowered limit, a size that fits it still decodes and one just
  // over does not.
  const std::int64_t saved = imaging_internal::MaxDecodedPixels();
  imaging_internal::SetMaxDecodedPixels(64 * 32);
  EXPECT_FALSE(LoadPicture(File("plain.jpg"))->empty());
  imaging_internal::SetMaxDecodedPixels(64 * 32 - 1);
  EXPECT_TRUE(LoadPicture(File("plain.jpg"))->empty());
  EXPECT_TRUE(LoadPicture(File("opaque.png"))->empty());
  EXPECT_TRUE(LoadPicture(File("plain24.bmp"))->empty());
  imaging_internal::SetMaxDecodedPixels(saved);
}

TEST_F(DecodeTest, SizedLoadReportsTheFullUprightSize) {
  int calls = 0;
  SizedLoad load = LoadPictureSized(File("orient6.jpg"), [&](PictureSize full) {
    ++calls;
    EXPECT_EQ(full.width, 32);
    EXPECT_EQ(full.height, 64);
    return PictureSize{8, 16};
  });
  EXPECT_GE(calls, 1);
  EXPECT_EQ(load.fullSize.width, 32);
  EXPECT_EQ(load.fullSize.height, 64);
  ASSERT_EQ(load.picture->width(), 8);
  ASSERT_EQ(load.picture->height(), 16);
  ExpectCorners(*load.picture, kBlue, kRed, kWhite, kGreen);
}

}  // namespace
}  // namespace vornida
