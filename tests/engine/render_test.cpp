// Rendering: decorated item sizes and origins, the shadow blur, turned
// pictures, the preview with its picture cache, and the final collage from
// real photo files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>

#include "engine/collage.h"
#include "engine/collage_params.h"

namespace vornida {
namespace {

namespace fs = std::filesystem;

Picture SolidPicture(int w, int h, uint32_t argb) {
  Picture p = Bitmap::Create(w, h, PixelFormat::Argb32);
  Fill(*p, argb);
  return p;
}

// A collage whose derived values are set as the sizing would set them.
void SetLook(CCollage& c, int border, int radius, int ox, int oy, bool noShadow) {
  c.borderPx = border;
  c.borderColor = 0xFF102030;
  c.noShadow = noShadow;
  c.shadowRadius = radius;
  c.shadowOffset = {ox, oy};
  // As the sizing builds it: a table for small radii, none for large ones.
  const int n = radius + 1;
  c.blurDivTable.clear();
  if (radius > CCollage::kMaxTabledBlurRadius) return;
  c.blurDivTable.resize(static_cast<size_t>(n * n * 256));
  for (int v = 0; v < n * n * 256; ++v) c.blurDivTable[v] = static_cast<int32_t>(static_cast<double>(v) / (n * n) + 0.5);
}

TEST(DecorateTest, BorderOnlySizeAndOrigin) {
  CCollage c;
  SetLook(c, 9, 11, 4, 4, true);
  Picture photo = SolidPicture(400, 300, 0xFFFF0000);
  Picture d = c.DecoratePhoto(*photo);
  EXPECT_EQ(d->width(), 418);
  EXPECT_EQ(d->height(), 318);
  EXPECT_EQ(d->pixel(9, 9), 0xFFFF0000u);
  EXPECT_EQ(d->pixel(8, 8), 0xFF102030u);
  EXPECT_EQ(d->pixel(417, 317), 0xFF102030u);
}

TEST(DecorateTest, ShadowAddsRoomAndShiftsThePhoto) {
  CCollage c;
  SetLook(c, 9, 11, 4, 4, false);
  c.shadowOpacity = 0.75;
  Picture d = c.DecoratePhoto(*SolidPicture(400, 300, 0xFFFF0000));
  // 418 x 318 with border, the blur's 11 on each side and the offset 4.
  EXPECT_EQ(d->width(), 444);
  EXPECT_EQ(d->height(), 344);
  EXPECT_EQ(d->pixel(20, 20), 0xFFFF0000u);
  EXPECT_EQ(d->pixel(19, 19), 0xFF102030u);
  EXPECT_EQ(d->pixel(11, 11), 0xFF102030u);  // the border's outer corner
  // Below right of the item the shadow shows: black, partly transparent.
  const uint32_t s = d->pixel(20 + 400 + 9 + 3, 20 + 150);
  EXPECT_GT(s >> 24, 0u);
  EXPECT_LT(s >> 24, 192u);
  EXPECT_EQ(s & 0xFFFFFF, 0u);
}

// The shadow fades out inside the item picture whatever the offset: its
// outermost rows and columns hold at most the tent's last tap (1 or 2 of
// 255), and it falls off without a step.
TEST(DecorateTest, ShadowFadesOutBeforeTheEdgeForEveryOffset) {
  for (const auto& [ox, oy] : std::vector<std::pair<int, int>>{{4, 4}, {11, 11}, {15, 0}, {30, 25}, {-26, 40}}) {
    CCollage c;
    SetLook(c, 3, 11, ox, oy, false);
    c.shadowOpacity = 0.75;
    Picture d = c.DecoratePhoto(*SolidPicture(200, 150, 0xFFFF0000));
    const int64_t W = d->width(), H = d->height();
    EXPECT_EQ(W, 206 + 22 + std::abs(ox));
    EXPECT_EQ(H, 156 + 22 + std::abs(oy));
    for (int64_t x = 0; x < W; ++x) {
      EXPECT_LE(d->pixel(x, 0) >> 24, 2u) << ox << "," << oy << " top " << x;
      EXPECT_LE(d->pixel(x, H - 1) >> 24, 2u) << ox << "," << oy << " bottom " << x;
    }
    for (int64_t y = 0; y < H; ++y) {
      EXPECT_LE(d->pixel(0, y) >> 24, 2u) << ox << "," << oy << " left " << y;
      EXPECT_LE(d->pixel(W - 1, y) >> 24, 2u) << ox << "," << oy << " right " << y;
    }
    // Along the middle row, outward from the shadow's core on the side the
    // offset points to, the alpha only falls, never faster than the tent's
    // own slope (191 / (R + 1) a pixel, and a level of rounding).
    const int64_t y = H / 2;
    const int64_t step = ox >= 0 ? 1 : -1;
    int64_t x = ox >= 0 ? W - 1 : 0;
    while ((d->pixel(x, y) >> 24) == 0) x -= step;
    int last = 0;
    for (; x >= 0 && x < W && (d->pixel(x, y) & 0xFFFFFF) == 0; x -= step) {
      const int alpha = static_cast<int>(d->pixel(x, y) >> 24);
      EXPECT_GE(alpha, last);
      EXPECT_LE(alpha - last, 191 / 12 + 1) << ox << "," << oy << " at " << x;
      last = alpha;
    }
  }
}

// Tent blur written out directly: sum of (n - |k|) * v[i + k], / n^2, rounded.
std::vector<int> NaiveTent(const std::vector<int>& v, int R) {
  const int n = R + 1, len = static_cast<int>(v.size());
  std::vector<int> out(v.size());
  for (int i = 0; i < len; ++i) {
    long sum = 0;
    for (int k = -R; k <= R; ++k)
      if (i + k >= 0 && i + k < len) sum += (n - std::abs(k)) * v[i + k];
    out[i] = static_cast<int>(static_cast<double>(sum) / (n * n) + 0.5);
  }
  return out;
}

TEST(ShadowTest, BlurIsASeparableTentWithOffsetAndOpacity) {
  // A small radius divides through the table, a large one as it goes; both
  // must give the tent written out.
  for (const int R : {3, CCollage::kMaxTabledBlurRadius + 7}) {
    CCollage c;
    SetLook(c, 0, R, 2, 1, false);
    c.shadowOpacity = 0.5;
    // An opaque block in a transparent picture, with room for the blur.
    const int bw = 3 + R, bh = 2 + R, bx = 2 * R + 3, by = 2 * R + 3;
    const int W = bw + 4 * R + 10, H = bh + 4 * R + 10;
    Picture p = Bitmap::Create(W, H, PixelFormat::Argb32);
    FillRect(*p, bx, by, bw, bh, 0xFFFFFFFF);
    Picture s = c.MakeShadow(std::move(p));
    ASSERT_EQ(s->width(), W);
    // Expected: alpha 128 (255 * 0.5 rounded) at the block moved by (2, 1),
    // blurred along rows then columns.
    std::vector<std::vector<int>> a(H, std::vector<int>(W, 0));
    for (int y = by + 1; y < by + 1 + bh; ++y)
      for (int x = bx + 2; x < bx + 2 + bw; ++x) a[y][x] = 128;
    for (auto& row : a) row = NaiveTent(row, R);
    for (int x = 0; x < W; ++x) {
      std::vector<int> col(H);
      for (int y = 0; y < H; ++y) col[y] = a[y][x];
      col = NaiveTent(col, R);
      for (int y = 0; y < H; ++y) a[y][x] = col[y];
    }
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        if (x >= bx && x < bx + bw && y >= by && y < by + bh) continue;  // the picture drawn over it
        ASSERT_EQ(static_cast<int>(s->pixel(x, y) >> 24), a[y][x]) << "R " << R << " at " << x << "," << y;
        ASSERT_EQ(s->pixel(x, y) & 0xFFFFFF, 0u);
      }
    EXPECT_EQ(s->pixel(bx + 1, by), 0xFFFFFFFFu);
  }
}

TEST(RotateTest, TurnedBoxSize) {
  CCollage c;
  SetLook(c, 0, 1, 0, 0, true);
  Picture photo = SolidPicture(40, 20, 0xFF00FF00);
  Picture same = c.RotatePhoto(*photo, 0);
  EXPECT_EQ(same->width(), 40);
  EXPECT_EQ(same->height(), 20);
  Picture quarter = c.RotatePhoto(*photo, std::numbers::pi / 2);
  EXPECT_EQ(quarter->width(), 20);
  EXPECT_EQ(quarter->height(), 40);
  Picture tilted = c.RotatePhoto(*photo, 0.3);
  EXPECT_EQ(tilted->width(), static_cast<int>(std::ceil(40 * std::cos(0.3) + 20 * std::sin(0.3))));
  EXPECT_EQ(tilted->height(), static_cast<int>(std::ceil(40 * std::sin(0.3) + 20 * std::cos(0.3))));
  // The middle is photo, the corners of the turned box are transparent.
  EXPECT_EQ(tilted->pixel(tilted->width() / 2, tilted->height() / 2), 0xFF00FF00u);
  EXPECT_EQ(tilted->pixel(0, 0) >> 24, 0u);
}

// Photo files made by an outside encoder.
class PhotoFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = fs::temp_directory_path() / ("vornida_render_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    const std::string script =
        "from PIL import Image\n"
        "import sys\n"
        "d = sys.argv[1]\n"
        "for i, (w, h, col) in enumerate([(600, 400, (200, 30, 30)), (300, 450, (30, 200, 30)), "
        "(500, 500, (30, 30, 200))]):\n"
        "    im = Image.new('RGB', (w, h), col)\n"
        "    im.save(f'{d}/photo{i}.jpg', quality=92)\n"
        "    im.thumbnail((200, 200))\n"
        "    im.save(f'{d}/thumb{i}.png')\n";
    std::ofstream(dir_ / "make.py") << script;
    const std::string cmd = std::string(VORNIDA_PYTHON) + " " + (dir_ / "make.py").string() + " " + dir_.string();
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  static void TearDownTestSuite() { fs::remove_all(dir_); }

  std::vector<CollagePhoto> Photos() const {
    const int sizes[3][3] = {{600, 400, 200}, {300, 450, 133}, {500, 500, 200}};
    std::vector<CollagePhoto> list;
    for (int i = 0; i < 3; ++i) {
      CollagePhoto p;
      p.width = sizes[i][0];
      p.height = sizes[i][1];
      p.thumbWidth = sizes[i][2];
      p.srcPath = (dir_ / ("photo" + std::to_string(i) + ".jpg")).string();
      p.thumbPath = (dir_ / ("thumb" + std::to_string(i) + ".png")).string();
      list.push_back(p);
    }
    return list;
  }

  // A finished layout (no preview window) from a parameter text.
  void Layout(CCollage& c, const std::string& extra) {
    ASSERT_TRUE(ReadCollageParams("<Vornida shapeType='Rectangle' collageSize='900,600' itemBoundingBoxWidth='150' "
                                  "numPhotos='9' spacing='1' borderSize='0.03' maxAngle='10' offsetX='0.01' "
                                  "offsetY='0.01' borderColor='#f2f2f2' " + extra + "/>",
                                  c, ""));
    c.photos = Photos();
    c.fixedSeed = 7;
    c.pictureCache = &cache_;
    c.previewFilePath = (dir_ / "_vornida_preview.png").string();
    ASSERT_TRUE(c.CreateLayout());
  }

  static inline fs::path dir_;
  ItemPictureCache cache_;
};

using FinalRenderTest = PhotoFiles;

TEST_F(FinalRenderTest, TransparentPngKeepsGapsTransparentJpgIsWhite) {
  CCollage c;
  Layout(c, "backgroundTransparent='1'");
  Picture png = c.RenderFinal("out.png");
  ASSERT_EQ(png->width(), 900);
  EXPECT_TRUE(png->hasAlpha());
  int transparent = 0, covered = 0;
  for (int y = 0; y < 600; y += 7)
    for (int x = 0; x < 900; x += 7) ((png->pixel(x, y) >> 24) == 0 ? transparent : covered)++;
  EXPECT_GT(transparent, 0);
  EXPECT_GT(covered, transparent / 4);
  EXPECT_TRUE(c.failedPhotos.empty());

  Picture jpg = c.RenderFinal("out.JPG");
  EXPECT_FALSE(jpg->hasAlpha());
  int white = 0;
  for (int y = 0; y < 600; y += 7)
    for (int x = 0; x < 900; x += 7) white += (jpg->pixel(x, y) & 0xFFFFFF) == 0xFFFFFF;
  EXPECT_GT(white, 0);
}

TEST_F(FinalRenderTest, OpaqueBackgroundIsKeptInEveryFormat) {
  CCollage c;
  Layout(c, "backgroundColor='#ff0000'");
  auto countRed = [](const Bitmap& b) {
    int red = 0;
    for (int y = 0; y < b.height(); y += 5)
      for (int x = 0; x < b.width(); x += 5) red += b.pixel(x, y) == 0xFFFF0000u;
    return red;
  };
  Picture png = c.RenderFinal("a.png");
  EXPECT_FALSE(png->hasAlpha());
  const int red = countRed(*png);
  EXPECT_GT(red, 0);
  for (const char* name : {"a.bmp", "a.jpg", "a.psd", "no-extension"}) EXPECT_EQ(countRed(*c.RenderFinal(name)), red) << name;
}

TEST_F(FinalRenderTest, UnreadablePhotosAreListedOncePerItem) {
  CCollage c;
  ASSERT_TRUE(ReadCollageParams("<Vornida shapeType='Rectangle' collageSize='600,400' itemBoundingBoxWidth='100' "
                                "numPhotos='6' spacing='1' borderSize='0.03'/>",
                                c, ""));
  c.photos = Photos();
  c.photos[1].srcPath = (dir_ / "gone.jpg").string();
  c.photos[2].width = 0;  // never measured
  c.pictureCache = &cache_;
  c.fixedSeed = 3;
  ASSERT_TRUE(c.CreateLayout());
  c.RenderFinal("x.png");
  EXPECT_EQ(c.failedPhotos.size(), 4u);
  EXPECT_EQ(std::count(c.failedPhotos.begin(), c.failedPhotos.end(), c.photos[1].srcPath), 2);
}

TEST_F(FinalRenderTest, LayeredOutputGetsEveryItemAtItsPlace) {
  struct Recorder : LayeredOutput {
    int opened = 0, withColour = 0, finished = 0;
    int32_t layerCount = 0;
    uint32_t colour = 0;
    std::vector<std::pair<int32_t, int32_t>> places;
    std::vector<std::string> names;
    void nameLayers(std::vector<std::string> given) override { names = std::move(given); }
    bool open(const std::string&, int32_t, int32_t, int32_t n) override { return ++opened, layerCount = n, true; }
    bool openWithColour(const std::string&, int32_t, int32_t, int32_t n, uint32_t argb) override {
      return ++withColour, layerCount = n, colour = argb, true;
    }
    bool addLayer(const Bitmap&, int32_t left, int32_t top) override { return places.push_back({left, top}), true; }
    bool finish(const Bitmap& merged) override {
      mergedSize = {static_cast<int32_t>(merged.width()), static_cast<int32_t>(merged.height())};
      mergedFirst = merged.pixel(0, 0);
      return ++finished, true;
    }
    std::pair<int32_t, int32_t> mergedSize;
    uint32_t mergedFirst = 0;
  } rec;
  CCollage c;
  Layout(c, "backgroundColor='0x336699'");
  Picture flat = c.RenderFinal("layers.PSD", &rec);
  // The merged image is the flat collage as drawn.
  EXPECT_EQ(rec.mergedSize, std::make_pair(c.canvasWidth, c.canvasHeight));
  EXPECT_EQ(rec.mergedFirst, flat->pixel(0, 0));
  EXPECT_EQ(rec.withColour, 1);
  EXPECT_EQ(rec.colour, 0xFF336699u);
  EXPECT_EQ(rec.layerCount, 9);
  EXPECT_EQ(rec.places.size(), 9u);
  EXPECT_EQ(rec.finished, 1);
  // The colour layer, then each item under its photo's file name in draw order.
  ASSERT_EQ(rec.names.size(), static_cast<size_t>(rec.layerCount) + 1);
  EXPECT_EQ(rec.names[0], "Background");
  for (int32_t i = 0; i < rec.layerCount; ++i) {
    const std::string& src = c.photos[c.itemPhoto[c.drawOrder[i]]].srcPath;
    EXPECT_EQ(rec.names[i + 1], src.substr(src.rfind('/') + 1)) << i;
  }
  Recorder none;
  c.RenderFinal("flat.png", &none);
  EXPECT_EQ(none.opened + none.withColour, 0);
}

struct FakeCanvas : PreviewSink {
  int32_t w, h, setW = 0, setH = 0, frames = 0, shows = 0;
  Picture last;
  FakeCanvas(int32_t w, int32_t h) : w(w), h(h) {}
  void DrawImage(const Bitmap& picture) override {
    ++frames;
    last = ClonePicture(picture);
  }
  void SetSize(int32_t nw, int32_t nh) override { setW = nw, setH = nh; }
  int32_t GetWidth() const override { return w; }
  int32_t GetHeight() const override { return h; }
  void Show() override { ++shows; }
};

using PreviewTest = PhotoFiles;

TEST_F(PreviewTest, FramesWhileSettlingAndThePreviewFile) {
  FakeCanvas canvas(450, 450);
  CCollage c;
  c.previewSink = &canvas;
  Layout(c, "backgroundColor='#000000' noShadow='1'");
  EXPECT_GE(canvas.frames, 12);  // the empty canvas, a frame per sweep, the last
  EXPECT_EQ(canvas.shows, 1);
  EXPECT_EQ(canvas.setW, 450);
  EXPECT_EQ(canvas.setH, 300);
  ASSERT_TRUE(canvas.last);
  EXPECT_EQ(canvas.last->width(), 450);
  Picture file = LoadPicturePlain(c.previewFilePath);
  ASSERT_EQ(file->width(), 450);
  ASSERT_EQ(file->height(), 300);
  // Items are drawn at their places: each item centre shows photo, not black.
  for (int k = 0; k < c.itemCount; ++k) {
    const uint32_t p = file->pixel(static_cast<int>(c.itemPos[k].x * 0.5), static_cast<int>(c.itemPos[k].y * 0.5));
    EXPECT_NE(p & 0xFFFFFF, 0u) << k;
  }
}

TEST_F(PreviewTest, OnlyThePreviewScaleChangedRebuildsOnlyScaledPictures) {
  FakeCanvas canvas(450, 450);
  CCollage a;
  a.previewSink = &canvas;
  Layout(a, "");
  const std::string key = ItemPictureCache::KeyFor(a.photos[0].srcPath);
  const Bitmap* prepared = cache_.byPath[key].prepared.get();
  ASSERT_NE(prepared, nullptr);
  ASSERT_NE(cache_.byPath[key].scaled, nullptr);
  const int64_t preparedWidth = prepared->width();
  const int64_t scaledWidth = cache_.byPath[key].scaled->width();

  FakeCanvas bigger(600, 600);
  CCollage b;
  b.previewSink = &bigger;
  Layout(b, "");
  EXPECT_EQ(cache_.byPath[key].prepared.get(), prepared);  // the same picture, kept
  EXPECT_GT(cache_.byPath[key].scaled->width(), scaledWidth);

  const Bitmap* scaledNow = cache_.byPath[key].scaled.get();
  CCollage d;
  d.previewSink = &bigger;
  Layout(d, "");
  EXPECT_EQ(cache_.byPath[key].prepared.get(), prepared);  // nothing changed: all kept
  EXPECT_EQ(cache_.byPath[key].scaled.get(), scaledNow);

  // A change of look (here the shadow switch) rebuilds the item pictures.
  CCollage e;
  e.previewSink = &bigger;
  Layout(e, "noShadow='1'");
  ASSERT_NE(cache_.byPath[key].prepared, nullptr);
  EXPECT_LT(cache_.byPath[key].prepared->width(), preparedWidth);
  EXPECT_EQ(cache_.byPath[key].prepared->width(), e.photoSize[0].w);
}

TEST(PreviewBackgroundTest, TransparentBackgroundShowsTheCheckerboard) {
  FakeCanvas canvas(100, 100);
  CCollage c;
  c.previewSink = &canvas;
  c.canvasWidth = 200;
  c.canvasHeight = 100;
  c.backgroundColor = 0;
  Picture bg = c.RenderPreview(false);
  ASSERT_EQ(bg->width(), 100);
  ASSERT_EQ(bg->height(), 50);
  EXPECT_EQ(bg->pixel(0, 0) >> 24, 0xFFu);
  EXPECT_NE(bg->pixel(0, 0), bg->pixel(8, 0));
  c.backgroundColor = 0xFF00FF00;
  CCollage green;
  green.previewSink = &canvas;
  green.canvasWidth = 200;
  green.canvasHeight = 100;
  green.backgroundColor = 0xFF00FF00;
  EXPECT_EQ(green.RenderPreview(false)->pixel(50, 25), 0xFF00FF00u);
}

}  // namespace
}  // namespace vornida
