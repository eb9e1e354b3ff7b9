// Writing pictures (checked by Pillow) and drawing into canvases.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "imaging/bitmap.h"
#include "picture_files.h"

namespace vornida {
namespace {

using testing::Python;
using testing::ScratchFolder;

Picture Sample(PixelFormat format) {
  Picture p = Bitmap::Create(5, 3, format);
  Fill(*p, 0xFF102030);
  p->row(0)[0] = 0xFFFF0000;
  p->row(2)[4] = 0xFF0000FF;
  if (format == PixelFormat::Argb32) {
    p->row(1)[1] = Premultiply(0x80FF8000);
    p->row(1)[2] = 0;
  }
  return p;
}

TEST(Encoders, FindEncoderMatchesMimeTypesExactly) {
  EXPECT_EQ(FindEncoder("image/png").id, EncoderId::Png);
  EXPECT_EQ(FindEncoder("image/png").index, 2);
  EXPECT_EQ(FindEncoder("image/jpeg").index, 1);
  EXPECT_EQ(FindEncoder("image/bmp").index, 0);
  EXPECT_EQ(FindEncoder("image/PNG").index, -1);
  EXPECT_EQ(FindEncoder("image/gif").index, -1);
  EXPECT_EQ(FindEncoder("").index, -1);
}

TEST(Encoders, PngAndBmpAreReadBackExactlyByPillow) {
  ScratchFolder folder;
  ASSERT_TRUE(SavePng(*Sample(PixelFormat::Argb32), folder / "a.png"));
  ASSERT_TRUE(SavePng(*Sample(PixelFormat::Rgb32), folder / "o.png"));
  ASSERT_TRUE(SavePicture(*Sample(PixelFormat::Argb32), folder / "a.bmp", EncoderId::Bmp));
  ASSERT_TRUE(SavePicture(*Sample(PixelFormat::Rgb32), folder / "o.bmp", EncoderId::Bmp));
  const std::string out = Python(R"(
for name in ['a.png', 'o.png', 'a.bmp', 'o.bmp']:
    im = Image.open(')" + folder.path() + R"(/' + name)
    bits = struct.unpack('<H', open(im.filename, 'rb').read()[28:30])[0] if name.endswith('bmp') else 0
    print(name, im.mode, bits, im.getpixel((0, 0)), im.getpixel((4, 2)), im.getpixel((1, 1)), im.getpixel((2, 1)))
)",
                                 folder.path());
  EXPECT_NE(out.find("a.png RGBA 0 (255, 0, 0, 255) (0, 0, 255, 255) (255, 128, 0, 128) (0, 0, 0, 0)"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("o.png RGB 0 (255, 0, 0) (0, 0, 255) (16, 32, 48) (16, 32, 48)"), std::string::npos) << out;
  EXPECT_NE(out.find("a.bmp RGBA 32 (255, 0, 0, 255) (0, 0, 255, 255) (255, 128, 0, 128) (0, 0, 0, 0)"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("o.bmp RGB 24 (255, 0, 0) (0, 0, 255) (16, 32, 48) (16, 32, 48)"), std::string::npos) << out;

  // And our own reader agrees with what we wrote.
  Picture back = LoadPicture(folder / "a.bmp");
  ASSERT_EQ(back->width(), 5);
  EXPECT_EQ(back->format(), PixelFormat::Argb32);
  EXPECT_EQ(back->pixel(1, 1), Sample(PixelFormat::Argb32)->pixel(1, 1));
}

TEST(Encoders, JpegQualityDefaultsTo75) {
  ScratchFolder folder;
  Picture p = Bitmap::Create(64, 64, PixelFormat::Rgb32);
  Fill(*p, 0xFF808080);
  ASSERT_TRUE(SavePicture(*p, folder / "default.jpg", EncoderId::Jpeg));
  EncoderParams high;
  high.quality = 95;
  ASSERT_TRUE(SavePicture(*p, folder / "q95.jpg", EncoderId::Jpeg, high));
  // The first luminance quantiser of the standard table (16) scaled by the
  // quality: 8 at 75, 2 at 95 (rounded up from 1.6).
  const std::string out = Python(R"(
for name in ['default.jpg', 'q95.jpg']:
    im = Image.open(')" + folder.path() + R"(/' + name)
    print(name, im.size, im.quantization[0][0])
)",
                                 folder.path());
  EXPECT_NE(out.find("default.jpg (64, 64) 8"), std::string::npos) << out;
  EXPECT_NE(out.find("q95.jpg (64, 64) 2"), std::string::npos) << out;
}

TEST(Encoders, FailuresLeaveNoFile) {
  ScratchFolder folder;
  EXPECT_FALSE(SavePng(*Bitmap::CreateEmpty(), folder / "empty.png"));
  EXPECT_FALSE(std::filesystem::exists(folder / "empty.png"));
  EXPECT_FALSE(SavePng(*Sample(PixelFormat::Rgb32), folder / "no/such/folder.png"));
}

TEST(Drawing, WorksBeyondTheFixedPointRange) {
  // 40000 x 4: far corner well past pixman's 32767.
  Picture canvas = Bitmap::Create(40000, 4, PixelFormat::Rgb32);
  Fill(*canvas, 0xFFFFFFFF);
  Picture item = Bitmap::Create(10, 2, PixelFormat::Argb32);
  Fill(*item, 0xFFFF0000);
  ASSERT_TRUE(DrawPicture(*canvas, *item, Affine::Translation(39985, 1)));
  ASSERT_TRUE(DrawPictureAt(*canvas, *item, 33000, 0));
  FillRect(*canvas, 36000, 3, 5, 1, 0xFF0000FF);
  const LockedPixels px = LockPixels(*canvas);
  EXPECT_EQ(px.row(1)[39990], 0xFFFF0000u);
  EXPECT_EQ(px.row(2)[39994], 0xFFFF0000u);
  EXPECT_EQ(px.row(0)[39990], 0xFFFFFFFFu);
  EXPECT_EQ(px.row(1)[33005], 0xFFFF0000u);
  EXPECT_EQ(px.row(3)[36002], 0xFF0000FFu);
  EXPECT_EQ(px.row(3)[36005], 0xFFFFFFFFu);
}

TEST(Drawing, RotationScaleAndOpacity) {
  Picture canvas = Bitmap::Create(40, 40, PixelFormat::Argb32);
  Picture item = Bitmap::Create(20, 10, PixelFormat::Rgb32);
  Fill(*item, 0xFF00FF00);
  FillRect(*item, 0, 0, 10, 10, 0xFFFF0000);  // left half red
  // A quarter turn clockwise about the origin, moved into view: the red
  // half ends on top.
  const Affine place = Affine::Translation(30, 5) * Affine::Rotation(std::numbers::pi / 2);
  ASSERT_TRUE(DrawPicture(*canvas, *item, place, DrawFilter::Nearest));
  EXPECT_EQ(canvas->pixel(25, 8), 0xFFFF0000u);
  EXPECT_EQ(canvas->pixel(25, 20), 0xFF00FF00u);
  EXPECT_EQ(canvas->pixel(35, 8), 0u);

  Picture half = Bitmap::Create(4, 4, PixelFormat::Argb32);
  Picture white = Bitmap::Create(4, 4, PixelFormat::Rgb32);
  Fill(*white, 0xFFFFFFFF);
  ASSERT_TRUE(DrawPicture(*half, *white, Affine{}, DrawFilter::Bilinear, 128));
  EXPECT_NEAR(static_cast<int>(half->pixel(2, 2) >> 24), 128, 1);
}

TEST(Drawing, HighQualityDownscaleAverages) {
  Picture board = Bitmap::Create(64, 64, PixelFormat::Rgb32);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) board->row(y)[x] = ((x + y) % 2) ? 0xFFFFFFFF : 0xFF000000;
  }
  Picture canvas = Bitmap::Create(8, 8, PixelFormat::Rgb32);
  ASSERT_TRUE(DrawPicture(*canvas, *board, Affine::Scaling(0.125, 0.125), DrawFilter::HighQuality));
  const int g = testing::Channel(LockPixels(*canvas).row(4)[4], 8);
  EXPECT_NEAR(g, 128, 16);
}

TEST(Drawing, DegenerateInputIsRefused) {
  Picture canvas = Bitmap::Create(8, 8, PixelFormat::Rgb32);
  Picture item = Bitmap::Create(2, 2, PixelFormat::Rgb32);
  EXPECT_FALSE(DrawPicture(*canvas, *item, Affine::Scaling(0, 1)));
  EXPECT_FALSE(DrawPicture(*canvas, *Bitmap::CreateEmpty(), Affine{}));
  EXPECT_EQ(WrapForPixman(*canvas, 4, 4, 5, 1), nullptr);  // runs past the edge
}

}  // namespace
}  // namespace vornida
