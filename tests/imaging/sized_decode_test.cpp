// Reduced loads shrink while they read and still give the pixels of a whole
// decode resized; files that end early are used as far as they go; only
// regular files are opened; and colours come out as sRGB the same way in
// every format (CMYK without a profile by its inks, embedded ICC profiles
// applied).
#include <gtest/gtest.h>
#include <lcms2.h>
#include <sys/stat.h>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <unistd.h>

#include "imaging/bitmap.h"
#include "imaging/decoders.h"
#include "picture_files.h"

namespace vornida {
namespace {

using testing::Channel;
using testing::MaxDifference;
using testing::MeanDifference;
using testing::Python;
using testing::ScratchFolder;

class SizedDecodeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new ScratchFolder();
    // Odd sizes and structure at every scale, so that every tap of the
    // shrinking filter matters.
    Python(R"(
import random
folder = ')" + folder_->path() + R"('
random.seed(5)
w, h = 523, 317
img = Image.new('RGB', (w, h))
d = ImageDraw.Draw(img)
for i in range(300):
    x, y = random.randrange(w), random.randrange(h)
    d.rectangle([x, y, x + random.randrange(1, 60), y + random.randrange(1, 40)],
                fill=(random.randrange(256), random.randrange(256), random.randrange(256)))
img.save(f'{folder}/photo.png')
img.save(f'{folder}/photo.tif')
img.save(f'{folder}/photo24.bmp')
img.quantize(200).save(f'{folder}/photo8.bmp')
img.quantize(200).save(f'{folder}/photo.gif')
rgba = img.convert('RGBA')
px = rgba.load()
for y in range(h):
    for x in range(w):
        r, g, b, _ = px[x, y]
        px[x, y] = (r, g, b, (x * 7 + y * 3) % 256)
rgba.save(f'{folder}/alpha.png')
img.save(f'{folder}/photo.jpg', quality=95)
img.save(f'{folder}/progressive.jpg', quality=95, progressive=True)
)",
           folder_->path());
    testing::Run("convert " + File("photo.png") + " -compress RLE -type Palette BMP3:" + File("rle8.bmp"));
    testing::Run("cwebp -quiet -lossless " + File("photo.png") + " -o " + File("photo.webp"));
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }
  static std::string File(const std::string& name) { return *folder_ / name; }
  static SizedLoad LoadAt(const std::string& name, PictureSize size, double margin = 2.0) {
    return LoadPictureSized(File(name), [size](PictureSize) { return size; }, margin);
  }

  static ScratchFolder* folder_;
};
ScratchFolder* SizedDecodeTest::folder_ = nullptr;

TEST_F(SizedDecodeTest, ShrinkingWhileReadingGivesTheWholeDecodeResized) {
  // Sizes that shrink by a lot, by a little, and in one direction only.
  const PictureSize sizes[] = {{174, 105}, {61, 37}, {522, 316}, {523, 200}, {300, 317}, {1, 1}};
  for (const char* name : {"photo.png", "alpha.png", "photo.tif", "photo24.bmp", "photo8.bmp", "photo.gif"}) {
    Picture whole = LoadPicture(File(name));
    ASSERT_EQ(whole->width(), 523) << name;
    for (const PictureSize size : sizes) {
      SCOPED_TRACE(std::string(name) + " at " + std::to_string(size.width) + "x" + std::to_string(size.height));
      SizedLoad load = LoadAt(name, size);
      EXPECT_EQ(load.status, LoadStatus::Decoded);
      EXPECT_EQ(load.fullSize.width, 523);
      EXPECT_EQ(load.fullSize.height, 317);
      ASSERT_EQ(load.picture->width(), size.width);
      ASSERT_EQ(load.picture->height(), size.height);
      Picture reference = ResizeTo(ClonePicture(*whole), size.width, size.height);
      EXPECT_EQ(MaxDifference(*load.picture, *reference), 0);
    }
  }
  // Run-length rows come bottom-up; shrinking them upside down rounds a
  // weight the other way now and then.
  Picture rle = LoadPicture(File("rle8.bmp"));
  for (const PictureSize size : sizes) {
    SizedLoad load = LoadAt("rle8.bmp", size);
    ASSERT_EQ(load.picture->width(), size.width);
    Picture reference = ResizeTo(ClonePicture(*rle), size.width, size.height);
    EXPECT_LE(MaxDifference(*load.picture, *reference), 1);
  }
}

TEST_F(SizedDecodeTest, FormatsThatShrinkOnLoadStayCloseToTheWholeDecode) {
  // Read at full scale, a JPEG shrinks to the same pixels as the others.
  Picture wholeJpeg = LoadPicture(File("photo.jpg"));
  SizedLoad fullScale = LoadAt("photo.jpg", {174, 105}, 100.0);
  EXPECT_EQ(MaxDifference(*fullScale.picture, *ResizeTo(ClonePicture(*wholeJpeg), 174, 105)), 0);
  // At a reduced DCT scale JPEG, and WebP through libwebp's scaling, give
  // not the same pixels but the same picture (the DCT scales round sharp,
  // saturated edges their own way).
  Python(R"(
from PIL import ImageFilter
folder = ')" + folder_->path() + R"('
smooth = Image.open(f'{folder}/photo.png').filter(ImageFilter.GaussianBlur(3))
smooth.save(f'{folder}/smooth.jpg', quality=95)
smooth.save(f'{folder}/smooth-progressive.jpg', quality=95, progressive=True)
)",
         folder_->path());
  for (const char* name : {"smooth.jpg", "smooth-progressive.jpg", "photo.webp"}) {
    Picture whole = LoadPicture(File(name));
    for (const PictureSize size : {PictureSize{130, 79}, PictureSize{61, 37}}) {
      SCOPED_TRACE(std::string(name) + " at " + std::to_string(size.width));
      SizedLoad load = LoadAt(name, size);
      ASSERT_EQ(load.picture->width(), size.width);
      Picture reference = ResizeTo(ClonePicture(*whole), size.width, size.height);
      EXPECT_LT(MeanDifference(*load.picture, *reference), 8.0);
    }
  }
}

// Bytes of a JPEG: everything up to (not including) its first scan, and
// where its scans start.
std::size_t FirstScanOffset(const std::vector<std::uint8_t>& jpeg) {
  for (std::size_t i = 2; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) return i;
  }
  return 0;
}

TEST_F(SizedDecodeTest, TruncatedJpegIsUsedAsFarAsItReads) {
  Python(R"(
folder = ')" + folder_->path() + R"('
img = Image.new('RGB', (640, 480), (200, 40, 40))
ImageDraw.Draw(img).rectangle([0, 0, 639, 100], fill=(30, 30, 220))
# A little noise spreads the data evenly over the rows.
img = Image.blend(img, Image.effect_noise((640, 480), 40).convert('RGB'), 0.08)
img.save(f'{folder}/whole.jpg', quality=90)
img.save(f'{folder}/whole-progressive.jpg', quality=90, progressive=True)
)",
         folder_->path());
  const std::vector<std::uint8_t> jpeg = testing::ReadBytes(File("whole.jpg"));
  const std::size_t scan = FirstScanOffset(jpeg);
  ASSERT_GT(scan, 0u);
  // Cut half way through the scan: the top is there, the rest is not.
  testing::WriteBytes(File("cut.jpg"), {jpeg.begin(), jpeg.begin() + static_cast<long>(scan + (jpeg.size() - scan) / 2)});
  Picture whole = LoadPicture(File("whole.jpg"));

  for (const bool sized : {false, true}) {
    SCOPED_TRACE(sized ? "sized" : "whole");
    SizedLoad load = sized ? LoadAt("cut.jpg", {320, 240})
                           : SizedLoad{{640, 480}, LoadPicture(File("cut.jpg")), LoadStatus::Damaged, {}};
    if (sized) {
      EXPECT_EQ(load.status, LoadStatus::Damaged);
    }
    EXPECT_EQ(load.fullSize.width, 640);
    ASSERT_EQ(load.picture->width(), sized ? 320 : 640);
    const std::int64_t scale = sized ? 2 : 1;
    const LockedPixels got = LockPixels(*load.picture);
    const LockedPixels want = LockPixels(*whole);
    // The blue band at the top and the red below it, where the data was.
    for (std::int64_t y : {10, 60, 150}) {
      const std::uint32_t a = got.row(y / scale)[300 / scale], b = want.row(y)[300];
      for (int shift = 0; shift < 24; shift += 8) EXPECT_NEAR(Channel(a, shift), Channel(b, shift), 12) << y;
    }
    // The bottom rows are grey: the data never reached them.
    const std::uint32_t bottom = got.row(470 / scale)[300 / scale];
    for (int shift = 0; shift < 24; shift += 8) EXPECT_NEAR(Channel(bottom, shift), 128, 2);
  }

  // A progressive file cut short still has every row, at lower quality.
  const std::vector<std::uint8_t> progressive = testing::ReadBytes(File("whole-progressive.jpg"));
  testing::WriteBytes(File("cut-progressive.jpg"),
                      {progressive.begin(), progressive.begin() + static_cast<long>(progressive.size() * 2 / 3)});
  SizedLoad partial = LoadAt("cut-progressive.jpg", {640, 480});
  EXPECT_EQ(partial.status, LoadStatus::Damaged);
  ASSERT_EQ(partial.picture->width(), 640);
  EXPECT_LT(MeanDifference(*partial.picture, *whole), 20.0);

  // Cut before its first scan there is nothing to show.
  testing::WriteBytes(File("header-only.jpg"), {jpeg.begin(), jpeg.begin() + static_cast<long>(scan + 20)});
  SizedLoad nothing = LoadAt("header-only.jpg", {320, 240});
  EXPECT_TRUE(nothing.picture->empty());
  EXPECT_EQ(nothing.status, LoadStatus::NotAPicture);
}

// Shrinks the decoders' memory budget for one test.
class SmallDecoderBudget {
 public:
  explicit SmallDecoderBudget(std::size_t bytes) : saved_(imaging_internal::DecoderMemoryBudget()) {
    imaging_internal::SetDecoderMemoryBudget(bytes);
  }
  ~SmallDecoderBudget() { imaging_internal::SetDecoderMemoryBudget(saved_); }

 private:
  std::size_t saved_;
};

TEST_F(SizedDecodeTest, ProgressiveJpegBeyondTheBudgetIsReadFromItsDcCoefficients) {
  // Soft light and colour, as in photos (sharp colour edges come out a
  // little softer from DC values, whose colour is at half resolution).
  Python(R"(
folder = ')" + folder_->path() + R"('
w, h = 523, 317
r = Image.radial_gradient('L').resize((w, h))
g = Image.linear_gradient('L').resize((w, h))
b = Image.linear_gradient('L').rotate(90).resize((w, h))
smooth = Image.merge('RGB', [r, g, b])
smooth.save(f'{folder}/p-ycc.jpg', quality=92, progressive=True)
smooth.save(f'{folder}/p-444.jpg', quality=92, progressive=True, subsampling=0)
smooth.convert('L').save(f'{folder}/p-grey.jpg', quality=92, progressive=True)
smooth.convert('CMYK').save(f'{folder}/p-cmyk.jpg', quality=92, progressive=True)
smooth.save(f'{folder}/p-restart.jpg', quality=92, progressive=True, restart_marker_blocks=3)
)",
         folder_->path());
  const PictureSize eighth{66, 40};  // 523 x 317 at 1/8
  for (const char* name : {"p-ycc.jpg", "p-444.jpg", "p-grey.jpg", "p-cmyk.jpg", "p-restart.jpg"}) {
    SCOPED_TRACE(name);
    // libjpeg, holding every coefficient.
    SizedLoad full = LoadAt(name, eighth, 1.0);
    ASSERT_EQ(full.picture->width(), 66);
    SmallDecoderBudget budget(16 << 10);
    SizedLoad dc = LoadAt(name, eighth, 1.0);
    EXPECT_EQ(dc.status, LoadStatus::Decoded);
    EXPECT_EQ(dc.fullSize.width, 523);
    ASSERT_EQ(dc.picture->width(), 66);
    ASSERT_EQ(dc.picture->height(), 40);
    EXPECT_LT(MeanDifference(*dc.picture, *full.picture), 1.5);
    // A whole picture cannot come from DC values: refused as too large.
    EXPECT_TRUE(LoadPicture(File(name))->empty());
  }
  // Cut short, the rows the data reached are there and the rest is grey.
  const std::vector<std::uint8_t> bytes = testing::ReadBytes(File("p-ycc.jpg"));
  testing::WriteBytes(File("p-cut.jpg"), {bytes.begin(), bytes.begin() + static_cast<long>(FirstScanOffset(bytes) + 200)});
  SmallDecoderBudget budget(16 << 10);
  SizedLoad cut = LoadAt("p-cut.jpg", eighth, 1.0);
  EXPECT_EQ(cut.status, LoadStatus::Damaged);
  ASSERT_EQ(cut.picture->width(), 66);
  const std::uint32_t bottom = LockPixels(*cut.picture).row(39)[30];
  for (int shift = 0; shift < 24; shift += 8) EXPECT_NEAR(Channel(bottom, shift), 128, 2);
}

TEST_F(SizedDecodeTest, HeifBeyondTheBudgetIsReadFromItsThumbnail) {
  Python(R"(
folder = ')" + folder_->path() + R"('
w, h = 523, 317
smooth = Image.merge('RGB', [Image.radial_gradient('L').resize((w, h)), Image.linear_gradient('L').resize((w, h)),
                             Image.linear_gradient('L').rotate(90).resize((w, h))])
smooth.save(f'{folder}/smooth.png')
)",
         folder_->path());
  testing::Run("heif-enc -q 90 -t 96 " + File("smooth.png") + " -o " + File("with-thumb.heic") + " >/dev/null");
  testing::Run("heif-enc -q 90 " + File("smooth.png") + " -o " + File("no-thumb.heic") + " >/dev/null");
  Picture whole = LoadPicture(File("smooth.png"));
  Picture reference = ResizeTo(ClonePicture(*whole), 80, 49);
  // Room for the 96-pixel thumbnail but not for the 523 x 317 picture.
  SmallDecoderBudget budget(200 << 10);
  SizedLoad fromThumbnail = LoadAt("with-thumb.heic", {80, 49});
  EXPECT_EQ(fromThumbnail.status, LoadStatus::Decoded);
  EXPECT_EQ(fromThumbnail.fullSize.width, 523);
  ASSERT_EQ(fromThumbnail.picture->width(), 80);
  EXPECT_LT(MeanDifference(*fromThumbnail.picture, *reference), 8.0);
  // Without a thumbnail, or for the whole picture, there is nothing small
  // enough to read.
  EXPECT_EQ(LoadAt("no-thumb.heic", {80, 49}).status, LoadStatus::TooLarge);
  EXPECT_TRUE(LoadPicture(File("with-thumb.heic"))->empty());
}

TEST_F(SizedDecodeTest, OnlyRegularFilesAreOpened) {
  const std::string fifo = File("pipe.jpg");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Opening a FIFO for reading would wait for a writer forever.
  auto loading = std::async(std::launch::async, [&] { return LoadPictureSized(fifo, [](PictureSize s) { return s; }); });
  if (loading.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    ADD_FAILURE() << "the load waits on the FIFO";
    const int unblock = open(fifo.c_str(), O_WRONLY);  // lets the reader go
    close(unblock);
  }
  const SizedLoad fromFifo = loading.get();
  EXPECT_EQ(fromFifo.status, LoadStatus::NotAFile);
  EXPECT_TRUE(fromFifo.picture->empty());
  EXPECT_TRUE(LoadPicture(fifo)->empty());

  for (const std::string& path : {std::string("/dev/zero"), folder_->path()}) {
    SizedLoad load = LoadPictureSized(path, [](PictureSize s) { return s; });
    EXPECT_EQ(load.status, LoadStatus::NotAFile) << path;
  }
  EXPECT_EQ(LoadPictureSized(File("missing.png"), [](PictureSize s) { return s; }).status, LoadStatus::Unreadable);
  // A regular file tells which file it was.
  const SizedLoad photo = LoadAt("photo.png", {100, 60});
  EXPECT_EQ(photo.file, FileStamp::Of(File("photo.png")));
  EXPECT_NE(photo.file, FileStamp{});
}

// An RGB profile whose red and green primaries are swapped: a file that
// stores pure red with it means pure green.
std::vector<std::uint8_t> SwappedPrimariesProfile() {
  cmsCIExyY white;
  cmsWhitePointFromTemp(&white, 6504);
  const cmsCIExyYTRIPLE primaries = {{0.30, 0.60, 1.0}, {0.64, 0.33, 1.0}, {0.15, 0.06, 1.0}};
  cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
  cmsToneCurve* curves[3] = {gamma, gamma, gamma};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsSetProfileVersion(profile, 2.1);
  cmsMLU* description = cmsMLUalloc(nullptr, 1);
  cmsMLUsetASCII(description, "en", "US", "Swapped red and green");
  cmsWriteTag(profile, cmsSigProfileDescriptionTag, description);
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::vector<std::uint8_t> bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsMLUfree(description);
  cmsFreeToneCurve(gamma);
  cmsCloseProfile(profile);
  return bytes;
}

TEST_F(SizedDecodeTest, CmykAndEmbeddedProfilesComeOutTheSameInEveryFormat) {
  testing::WriteBytes(File("swapped.icc"), SwappedPrimariesProfile());
  Python(R"(
folder = ')" + folder_->path() + R"('
img = Image.new('RGB', (64, 32), (255, 255, 255))
d = ImageDraw.Draw(img)
d.rectangle([0, 0, 31, 31], fill=(0, 0, 0))
d.rectangle([32, 0, 47, 31], fill=(255, 0, 0))
cmyk = img.convert('CMYK')
cmyk.save(f'{folder}/cmyk.tif')
cmyk.save(f'{folder}/cmyk.jpg', quality=95)
icc = open(f'{folder}/swapped.icc', 'rb').read()
red = Image.new('RGB', (16, 16), (255, 0, 0))
red.save(f'{folder}/red-profile.jpg', quality=95, icc_profile=icc)
red.save(f'{folder}/red-profile.png', icc_profile=icc)
red.save(f'{folder}/red-profile.tif', icc_profile=icc)
red.save(f'{folder}/red-profile.webp', lossless=True, icc_profile=icc)
red.convert('RGBA').save(f'{folder}/red-profile-alpha.png', icc_profile=icc)
red.save(f'{folder}/red-plain.png')
)",
         folder_->path());
  // Black ink (here all three colour inks, as RGB black converts) is black,
  // white is white and red is red, in TIFF as in JPEG.
  for (const char* name : {"cmyk.tif", "cmyk.jpg"}) {
    SCOPED_TRACE(name);
    Picture picture = LoadPicture(File(name));
    ASSERT_EQ(picture->width(), 64);
    const std::uint32_t black = LockPixels(*picture).row(16)[16];
    const std::uint32_t red = LockPixels(*picture).row(16)[40];
    const std::uint32_t white = LockPixels(*picture).row(16)[56];
    for (int shift = 0; shift < 24; shift += 8) {
      EXPECT_LE(Channel(black, shift), 12) << std::hex << black;
      EXPECT_GE(Channel(white, shift), 243) << std::hex << white;
    }
    EXPECT_GE(Channel(red, 16), 240);
    EXPECT_LE(Channel(red, 8), 15);
  }
  Picture tiff = LoadPicture(File("cmyk.tif"));
  Picture jpeg = LoadPicture(File("cmyk.jpg"));
  EXPECT_LT(MeanDifference(*tiff, *jpeg), 3.0);

  // Stored red through the swapped profile is green, whatever the format.
  for (const char* name : {"red-profile.jpg", "red-profile.png", "red-profile.tif", "red-profile.webp",
                           "red-profile-alpha.png"}) {
    SCOPED_TRACE(name);
    Picture picture = LoadPicture(File(name));
    ASSERT_EQ(picture->width(), 16);
    const std::uint32_t p = LockPixels(*picture).row(8)[8];
    EXPECT_GT(Channel(p, 8), 150) << std::hex << p;  // green
    EXPECT_LT(Channel(p, 16), 100) << std::hex << p;  // hardly red
    EXPECT_EQ(p >> 24, 0xFFu);
  }
  // Without a profile red stays red.
  const std::uint32_t plain = LockPixels(*LoadPicture(File("red-plain.png"))).row(8)[8];
  EXPECT_EQ(plain, 0xFFFF0000u);
}

}  // namespace
}  // namespace vornida
