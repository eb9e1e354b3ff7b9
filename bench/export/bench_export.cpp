// Saving an 8000x6000 collage of 200 items as PNG, JPEG, BMP and PSD through
// saveCollage (the full render from the photo files, then the encoder or the
// layered writer), against writing the same pixels with libpng at level 1 in
// the same run. Also: the render alone, each flat encoder alone, and a set of
// zlib levels and PNG filters on the same pixels to choose the PNG settings.
// Every written file's size is reported as the counter "MB".
//
//   bench_export [--benchmark_...]    work files go to $TMPDIR (default /tmp)
#include <benchmark/benchmark.h>
#include <png.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/collage.h"
#include "engine/collage_params.h"
#include "output/flat_picture.h"
#include "output/save_collage.h"

namespace {

using namespace vornida;

constexpr int kPhotos = 24;
constexpr int kPhotoWidth = 1600;
constexpr int kPhotoHeight = 1200;
constexpr uint32_t kSeed = 7;

// The layout runs with a preview window of this size, as in the program.
class FixedPreview final : public PreviewSink {
 public:
  void DrawImage(const Bitmap&) override {}
  void SetSize(int32_t, int32_t) override {}
  int32_t GetWidth() const override { return 900; }
  int32_t GetHeight() const override { return 600; }
  void Show() override {}
};

double FileMegabytes(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_size / 1e6 : -1;
}

// Photo-like content: smooth light and colour with sensor-like noise.
Picture MakePhoto(uint32_t seed) {
  Picture photo = Bitmap::Create(kPhotoWidth, kPhotoHeight, PixelFormat::Rgb32);
  std::mt19937 random(seed);
  std::normal_distribution<float> noise(0.0f, 4.0f);
  const float fx = 0.002f + (seed % 5) * 0.001f, fy = 0.0015f + (seed % 7) * 0.0007f;
  for (int y = 0; y < kPhotoHeight; ++y) {
    uint32_t* row = photo->row(y);
    for (int x = 0; x < kPhotoWidth; ++x) {
      const float base = 128 + 90 * std::sin(x * fx + seed) * std::cos(y * fy + seed * 0.3f);
      auto channel = [&](float offset) {
        return static_cast<uint32_t>(std::clamp(base + offset + noise(random), 0.0f, 255.0f));
      };
      row[x] = 0xFF000000u | (channel(25) << 16) | (channel(0) << 8) | channel(-35);
    }
  }
  return photo;
}

struct Fixture {
  std::string folder;
  std::unique_ptr<CCollage> collage;
  FixedPreview preview;
  Picture flatTransparent;  // what a PNG save encodes
  Picture flatWhite;        // what JPEG and BMP saves encode
};

Fixture& Shared() {
  static Fixture* fixture = [] {
    auto* f = new Fixture;
    f->folder = (std::filesystem::temp_directory_path() / "vornida-bench-export").string();
    std::filesystem::create_directories(f->folder);
    f->collage = std::make_unique<CCollage>();
    CCollage& c = *f->collage;
    const std::string parameters =
        "<Vornida shapeType='Rectangle' collageSize='8000,6000' itemBoundingBoxWidth='-1' numPhotos='200' "
        "spacing='1' borderSize='0.03' maxAngle='15' backgroundTransparent='true' offsetX='0.01' "
        "offsetY='0.01' borderColor='#f2f2f2'/>";
    if (!ReadCollageParams(parameters, c, f->folder)) std::abort();
    for (int i = 0; i < kPhotos; ++i) {
      const std::string source = f->folder + "/photo" + std::to_string(i) + ".jpg";
      const std::string thumb = f->folder + "/thumb" + std::to_string(i) + ".png";
      Picture photo = MakePhoto(100 + i);
      if (!SavePicture(*photo, source, EncoderId::Jpeg, EncoderParams{90})) std::abort();
      Picture small = ScaleBy(std::move(photo), 200.0 / kPhotoWidth);
      if (!SavePng(*small, thumb)) std::abort();
      CollagePhoto record;
      record.width = kPhotoWidth;
      record.height = kPhotoHeight;
      record.thumbWidth = static_cast<int32_t>(small->width());
      record.srcPath = source;
      record.thumbPath = thumb;
      c.photos.push_back(record);
    }
    c.previewSink = &f->preview;
    c.fixedSeed = kSeed;
    c.programFolder = f->folder;
    if (!c.CreateLayout() || c.itemCount != 200) std::abort();
    c.previewSink = nullptr;
    f->flatTransparent = c.RenderFinal(f->folder + "/flat.png");
    f->flatWhite = c.RenderFinal(f->folder + "/flat.jpg");
    if (!f->flatTransparent || !f->flatWhite) std::abort();
    return f;
  }();
  return *fixture;
}

void SaveCollageAs(benchmark::State& state, const char* extension, int32_t psdFlag) {
  Fixture& f = Shared();
  const std::string path = f.folder + "/collage." + extension;
  for (auto _ : state) {
    if (saveCollage(*f.collage, path, psdFlag).outcome != SaveOutcome::Saved) state.SkipWithError("save failed");
  }
  state.counters["MB"] = FileMegabytes(path);
}

void BM_SaveCollage_PNG(benchmark::State& state) { SaveCollageAs(state, "png", 0); }
void BM_SaveCollage_JPEG(benchmark::State& state) { SaveCollageAs(state, "jpg", 0); }
void BM_SaveCollage_BMP(benchmark::State& state) { SaveCollageAs(state, "bmp", 0); }
void BM_SaveCollage_PSD(benchmark::State& state) { SaveCollageAs(state, "psd", 1); }

// The part of every save that is not writing: decoding the 200 photos at item
// size, decorating, turning and drawing them.
void BM_RenderOnly(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) {
    Picture flat = f.collage->RenderFinal(f.folder + "/render.png");
    benchmark::DoNotOptimize(flat.get());
  }
}

void EncodeFlat(benchmark::State& state, const char* extension, const Bitmap& picture) {
  Fixture& f = Shared();
  const std::string path = f.folder + "/encoded." + extension;
  for (auto _ : state) {
    if (!SaveFlatPicture(picture, path)) state.SkipWithError("encode failed");
  }
  state.counters["MB"] = FileMegabytes(path);
}
void BM_EncodeOnly_PNG(benchmark::State& state) { EncodeFlat(state, "png", *Shared().flatTransparent); }
void BM_EncodeOnly_JPEG(benchmark::State& state) { EncodeFlat(state, "jpg", *Shared().flatWhite); }
void BM_EncodeOnly_BMP(benchmark::State& state) { EncodeFlat(state, "bmp", *Shared().flatWhite); }

// Plain libpng on the same pixels: straight RGBA rows into a stdio file.
bool WriteWithLibpng(const Bitmap& picture, const std::string& path, int level, int filters, int strategy) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_set_compression_level(png, level);
  png_set_compression_strategy(png, strategy);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, filters);
  const auto width = static_cast<png_uint_32>(picture.width());
  png_set_IHDR(png, info, width, static_cast<png_uint_32>(picture.height()), 8, PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  std::vector<png_byte> row(static_cast<std::size_t>(width) * 4);
  for (int64_t y = 0; y < picture.height(); ++y) {
    const uint32_t* in = picture.row(y);
    for (png_uint_32 x = 0; x < width; ++x) {
      const uint32_t v = Unpremultiply(in[x]);
      row[x * 4] = static_cast<png_byte>(v >> 16);
      row[x * 4 + 1] = static_cast<png_byte>(v >> 8);
      row[x * 4 + 2] = static_cast<png_byte>(v);
      row[x * 4 + 3] = static_cast<png_byte>(v >> 24);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

// args: zlib level, PNG filter mask, zlib strategy.
void BM_Libpng(benchmark::State& state) {
  Fixture& f = Shared();
  const std::string path = f.folder + "/libpng.png";
  for (auto _ : state) {
    if (!WriteWithLibpng(*f.flatTransparent, path, static_cast<int>(state.range(0)),
                         static_cast<int>(state.range(1)), static_cast<int>(state.range(2))))
      state.SkipWithError("libpng failed");
  }
  state.counters["MB"] = FileMegabytes(path);
}

#define ONCE Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime()

BENCHMARK(BM_RenderOnly)->ONCE;
BENCHMARK(BM_SaveCollage_PNG)->ONCE;
BENCHMARK(BM_SaveCollage_JPEG)->ONCE;
BENCHMARK(BM_SaveCollage_BMP)->ONCE;
BENCHMARK(BM_SaveCollage_PSD)->ONCE;
BENCHMARK(BM_EncodeOnly_PNG)->ONCE;
BENCHMARK(BM_EncodeOnly_JPEG)->ONCE;
BENCHMARK(BM_EncodeOnly_BMP)->ONCE;
// The baseline first (level 1, SUB), then the candidates for the PNG encoder.
BENCHMARK(BM_Libpng)
    ->ArgNames({"level", "filter", "strategy"})
    ->Args({1, PNG_FILTER_SUB, Z_DEFAULT_STRATEGY})
    ->Args({1, PNG_FILTER_NONE, Z_DEFAULT_STRATEGY})
    ->Args({1, PNG_FILTER_UP, Z_DEFAULT_STRATEGY})
    ->Args({1, PNG_FILTER_PAETH, Z_DEFAULT_STRATEGY})
    ->Args({1, PNG_ALL_FILTERS, Z_DEFAULT_STRATEGY})
    ->Args({1, PNG_FILTER_SUB, Z_RLE})
    ->Args({1, PNG_FILTER_UP, Z_RLE})
    ->Args({1, PNG_FILTER_PAETH, Z_RLE})
    ->Args({1, PNG_FILTER_SUB, Z_FILTERED})
    ->Args({2, PNG_FILTER_SUB, Z_DEFAULT_STRATEGY})
    ->Args({3, PNG_FILTER_SUB, Z_DEFAULT_STRATEGY})
    ->Args({6, PNG_FILTER_SUB, Z_DEFAULT_STRATEGY})
    ->ONCE;

}  // namespace

BENCHMARK_MAIN();
