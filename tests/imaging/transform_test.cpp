// Scaling, fitting, converting and cropping, and the quality of reduced
// loads against a full decode.
#include <gtest/gtest.h>

#include "imaging/bitmap.h"
#include "picture_files.h"

namespace vornida {
namespace {

using testing::MeanDifference;
using testing::Python;
using testing::ScratchFolder;

Picture Solid(std::int64_t w, std::int64_t h, std::uint32_t argb, PixelFormat format = PixelFormat::Argb32) {
  Picture p = Bitmap::Create(w, h, format);
  Fill(*p, argb);
  return p;
}

TEST(SizeArithmetic, FitAndScaleFollowTheRoundingRule) {
  Picture fitted = FitWithin(Solid(200, 150, 0xFF336699), 300, 300);
  EXPECT_EQ(fitted->width(), 300);
  EXPECT_EQ(fitted->height(), 225);

  Picture capped = FitWithin(Solid(200, 150, 0xFF336699), 300, 300, 1.0);
  EXPECT_EQ(capped->width(), 200);

  // 0.5 rounds away from zero: 5 * 0.5 = 2.5 -> 3.
  Picture halved = ScaleBy(Solid(5, 3, 0xFF000000), 0.5);
  EXPECT_EQ(halved->width(), 3);
  EXPECT_EQ(halved->height(), 2);

  Picture original = Solid(7, 9, 0xFF000000);
  Bitmap* before = original.get();
  Picture same = ScaleBy(std::move(original), 1.0);
  EXPECT_EQ(same.get(), before);
  EXPECT_EQ(ScaleBy(nullptr, 2.0), nullptr);

  EXPECT_EQ(RoundHalfAway(-2.5), -3);
  EXPECT_EQ(RoundHalfAway(2.4999), 2);
}

TEST(Resize, KeepsFlatColourAndAveragesDetail) {
  // Flat colour must stay exactly flat in both directions.
  for (auto [w, h] : {std::pair{37, 23}, std::pair{400, 300}}) {
    Picture flat = ResizeTo(Solid(150, 100, 0xFF4080C0, PixelFormat::Rgb32), w, h);
    ASSERT_EQ(flat->width(), w);
    EXPECT_EQ(flat->format(), PixelFormat::Argb32);
    for (std::int64_t y = 0; y < h; y += 7) {
      for (std::int64_t x = 0; x < w; x += 5) ASSERT_EQ(flat->pixel(x, y), 0xFF4080C0u) << x << "," << y;
    }
  }
  // A one-pixel checkerboard shrunk to a third averages to mid grey, where
  // point sampling would keep black or white.
  Picture board = Bitmap::Create(300, 300, PixelFormat::Rgb32);
  for (int y = 0; y < 300; ++y) {
    for (int x = 0; x < 300; ++x) board->row(y)[x] = ((x + y) % 2) ? 0xFFFFFFFF : 0xFF000000;
  }
  Picture grey = ResizeTo(std::move(board), 100, 100);
  for (std::int64_t y = 1; y < 99; y += 13) {
    const int g = testing::Channel(grey->pixel(y, y), 8);
    EXPECT_NEAR(g, 128, 44) << y;  // each output pixel covers 9 sources: 4 or 5 white
  }
}

TEST(Resize, TransparentEdgesDoNotBleedDarkColour) {
  // Premultiplied averaging: half-covered pixels keep the opaque colour.
  Picture p = Bitmap::Create(4, 1, PixelFormat::Argb32);
  p->row(0)[0] = 0xFFFF0000;
  p->row(0)[1] = 0xFFFF0000;
  Picture small = ResizeTo(std::move(p), 1, 1);
  EXPECT_EQ(small->pixel(0, 0) >> 24, 128u);
  EXPECT_EQ(Unpremultiply(small->pixel(0, 0)) & 0xFFFFFF, 0xFF0000u);
}

TEST(Resize, BadSizesGiveAnEmptyPicture) {
  EXPECT_TRUE(ResizeTo(Solid(4, 4, 0xFF000000), 0, 5)->empty());
  EXPECT_TRUE(ResizeTo(Solid(4, 4, 0xFF000000), -3, 5)->empty());
  EXPECT_TRUE(ScaleBy(Bitmap::CreateEmpty(), 3.0)->empty());
}

TEST(Convert, ChangesFormatAndKeepsPixels) {
  Picture p = Bitmap::Create(2, 1, PixelFormat::Argb32);
  p->row(0)[0] = Premultiply(0x80FF0000);
  p->row(0)[1] = 0xFF00FF00;
  Picture rgb = ConvertFormat(std::move(p), PixelFormat::Rgb32);
  EXPECT_EQ(rgb->format(), PixelFormat::Rgb32);
  // Half-transparent red over black.
  EXPECT_EQ(LockPixels(*rgb).row(0)[0], 0xFF800000u);
  EXPECT_EQ(LockPixels(*rgb).row(0)[1], 0xFF00FF00u);
  Bitmap* before = rgb.get();
  EXPECT_EQ(ConvertFormat(std::move(rgb), PixelFormat::Rgb32).get(), before);

  Picture clone = ClonePicture(*Solid(3, 2, 0x80102030));
  EXPECT_EQ(clone->format(), PixelFormat::Argb32);
  EXPECT_EQ(clone->pixel(2, 1), Premultiply(0x80102030));
}

TEST(Crop, FindsTheContentRectangle) {
  Picture p = Bitmap::Create(100, 50, PixelFormat::Argb32);
  FillRect(*p, 10, 5, 10, 5, 0x10FFFFFF);
  p->row(7)[12] = 0xFF0000FF;
  Picture cropped = CropToContent(std::move(p));
  ASSERT_EQ(cropped->width(), 10);
  ASSERT_EQ(cropped->height(), 5);
  EXPECT_EQ(cropped->pixel(2, 2), 0xFF0000FFu);
  EXPECT_EQ(cropped->format(), PixelFormat::Argb32);

  // Content touching every edge, and a picture without content, come back
  // as they are.
  Picture edges = Bitmap::Create(6, 4, PixelFormat::Argb32);
  edges->row(0)[3] = 0xFF000000;
  edges->row(3)[0] = 0xFF000000;
  edges->row(1)[5] = 0xFF000000;
  Bitmap* before = edges.get();
  EXPECT_EQ(CropToContent(std::move(edges)).get(), before);
  Picture blank = Bitmap::Create(6, 4, PixelFormat::Argb32);
  before = blank.get();
  Picture same = CropToContent(std::move(blank));
  EXPECT_EQ(same.get(), before);
  EXPECT_EQ(same->width(), 6);
}

TEST(Lock, OpaquePicturesReadWithFullAlpha) {
  Picture p = Bitmap::Create(3, 2, PixelFormat::Rgb32);
  p->row(1)[2] = 0x00123456;  // drawing may leave the top byte at 0
  const LockedPixels locked = LockPixels(*p);
  EXPECT_EQ(locked.row(1)[2], 0xFF123456u);
  EXPECT_EQ(locked.stride(), p->stride());
}

TEST(Create, RefusesSizesOverTheLimit) {
  EXPECT_EQ(Bitmap::Create(1 << 16, (1 << 14) + 1, PixelFormat::Rgb32), nullptr);
  EXPECT_EQ(Bitmap::Create(-1, 5, PixelFormat::Rgb32), nullptr);
  Picture empty = Bitmap::Create(0, 10, PixelFormat::Argb32);
  ASSERT_NE(empty, nullptr);
  EXPECT_TRUE(empty->empty());
}

// A reduced JPEG load must look like the full decode resized with a good
// filter: the fast path may not trade quality.
TEST(ReducedLoad, MatchesFullDecodeThenResize) {
  ScratchFolder folder;
  Python(R"(
import random
random.seed(7)
img = Image.radial_gradient('L').resize((2400, 1600)).convert('RGB')
noise = Image.effect_noise((2400, 1600), 40).convert('RGB')
img = Image.blend(img, noise, 0.3)
d = ImageDraw.Draw(img)
for i in range(60):
    x, y = random.randrange(2300), random.randrange(1500)
    d.rectangle([x, y, x + random.randrange(10, 200), y + random.randrange(10, 200)],
                fill=(random.randrange(256), random.randrange(256), random.randrange(256)))
exif = Image.Exif()
exif[274] = 8
img.save(')" + (folder / "photo.jpg") + R"(', quality=90, exif=exif.tobytes())
)",
         folder.path());
  const std::string path = folder / "photo.jpg";

  Picture fast = LoadPictureFitted(path, 200, 200);
  Picture slow = FitWithin(LoadPicture(path), 200, 200);
  ASSERT_EQ(fast->width(), 133);  // upright 1600 x 2400
  ASSERT_EQ(fast->height(), 200);
  ASSERT_EQ(slow->width(), 133);
  EXPECT_LT(MeanDifference(*fast, *slow), 2.0);

  Picture scaledFast = LoadPictureScaled(path, 0.1);
  Picture scaledSlow = ScaleBy(LoadPicture(path), 0.1);
  ASSERT_EQ(scaledFast->width(), 160);
  ASSERT_EQ(scaledFast->height(), 240);
  EXPECT_LT(MeanDifference(*scaledFast, *scaledSlow), 2.0);

  // Factor 1 gives the full picture.
  Picture full = LoadPictureScaled(path, 1.0);
  EXPECT_EQ(full->width(), 1600);
  EXPECT_EQ(full->height(), 2400);
}

}  // namespace
}  // namespace vornida
