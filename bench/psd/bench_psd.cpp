// Writing an 8000x6000 collage of 200 photo items as a layered document
// (the layers and the merged flat image),
// against writing the same collage flat as PNG with libpng at level 1 (SUB
// filter) in the same run. Both go through AtomicFileWriter, so both pay for
// the temporary file, fsync and rename. Prints the PSD/PNG time ratio.
//
//   bench_psd [--benchmark_...]      files go to $TMPDIR (default /tmp)
#include <benchmark/benchmark.h>
#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "output/atomic_file.h"
#include "output/psd_writer.h"

namespace {

using vornida::AtomicFileWriter;
using vornida::Bitmap;
using vornida::PixelFormat;
using vornida::PsdWriter;

constexpr int32_t kCanvasWidth = 8000;
constexpr int32_t kCanvasHeight = 6000;
constexpr int kItems = 200;
constexpr int kDistinctPictures = 16;
constexpr uint32_t kBackground = 0xFFFFFFFF;

struct Picture {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;  // straight 0xAARRGGBB
};

struct Item {
  const Picture* picture;
  const Bitmap* bitmap;  // the same pixels premultiplied, as the renderer hands them over
  int32_t left, top;
};

// A photo item as the renderer hands it over: smooth image content with
// sensor-like noise, a white border, transparent corners where the rotated
// frame does not reach, and a soft shadow edge.
Picture MakeItem(int32_t width, int32_t height, uint32_t seed) {
  Picture p;
  p.width = width;
  p.height = height;
  p.pixels.resize(static_cast<std::size_t>(width) * height);
  std::mt19937 random(seed);
  std::normal_distribution<float> noise(0.0f, 4.0f);
  const float fx = 0.004f + (seed % 5) * 0.002f, fy = 0.003f + (seed % 7) * 0.001f;
  const int border = 12, shadow = 10;
  const float slope = 0.08f;  // the rotation's corner cut, as a fraction of the side
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const float base = 128 + 80 * std::sin(x * fx + seed) * std::cos(y * fy);
      auto channel = [&](float offset) {
        return static_cast<uint32_t>(std::clamp(base + offset + noise(random), 0.0f, 255.0f));
      };
      uint32_t r = channel(30), g = channel(0), b = channel(-40), a = 255;
      const int32_t edge = std::min(std::min(x, y), std::min(width - 1 - x, height - 1 - y));
      if (edge < shadow) {
        r = g = b = 0;
        a = static_cast<uint32_t>(edge * 12);
      } else if (edge < shadow + border) {
        r = g = b = 250;
      }
      // Transparent wedges in two corners, as a rotated frame leaves them.
      if (y < (width - x) * slope - 1 || (height - 1 - y) < x * slope - 1) {
        r = g = b = a = 0;
      }
      p.pixels[static_cast<std::size_t>(y) * width + x] = (a << 24) | (r << 16) | (g << 8) | b;
    }
  }
  return p;
}

struct Collage {
  std::vector<Picture> pictures;
  std::vector<vornida::Picture> bitmaps;
  std::vector<Item> items;
  std::vector<uint32_t> flat;  // the items drawn over the background
  uint64_t layerPixels = 0;

  Collage() {
    std::mt19937 random(2026);
    for (int i = 0; i < kDistinctPictures; ++i) {
      const int32_t w = 560 + static_cast<int32_t>(random() % 200);
      const int32_t h = 400 + static_cast<int32_t>(random() % 160);
      pictures.push_back(MakeItem(w, h, 100 + i));
      bitmaps.push_back(Bitmap::Create(w, h, PixelFormat::Argb32));
      for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
          bitmaps.back()->row(y)[x] =
              vornida::Premultiply(pictures.back().pixels[static_cast<std::size_t>(y) * w + x]);
        }
      }
    }
    for (int i = 0; i < kItems; ++i) {
      const std::size_t which = static_cast<std::size_t>(i) % pictures.size();
      const Picture& p = pictures[which];
      // Spread over the canvas, some hanging over the edges.
      const int32_t cx = static_cast<int32_t>(random() % (kCanvasWidth + 200)) - 100;
      const int32_t cy = static_cast<int32_t>(random() % (kCanvasHeight + 200)) - 100;
      items.push_back({&p, bitmaps[which].get(), cx - p.width / 2, cy - p.height / 2});
      layerPixels += static_cast<uint64_t>(p.width) * p.height;
    }
    flat.assign(static_cast<std::size_t>(kCanvasWidth) * kCanvasHeight, kBackground);
    for (const Item& item : items) draw(item);
  }

  void draw(const Item& item) {
    const Picture& p = *item.picture;
    for (int32_t y = 0; y < p.height; ++y) {
      const int32_t cy = item.top + y;
      if (cy < 0 || cy >= kCanvasHeight) continue;
      for (int32_t x = 0; x < p.width; ++x) {
        const int32_t cx = item.left + x;
        if (cx < 0 || cx >= kCanvasWidth) continue;
        const uint32_t s = p.pixels[static_cast<std::size_t>(y) * p.width + x];
        uint32_t& d = flat[static_cast<std::size_t>(cy) * kCanvasWidth + cx];
        const uint32_t a = s >> 24;
        uint32_t out = 0xFF000000;
        for (int shift = 0; shift < 24; shift += 8) {
          const uint32_t sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
          out |= ((sc * a + dc * (255 - a) + 127) / 255) << shift;
        }
        d = out;
      }
    }
  }
};

const Collage& TheCollage() {
  static const Collage collage;
  return collage;
}

std::string OutputFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

uint64_t FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

bool WritePsd(const Collage& collage, const std::string& path) {
  PsdWriter writer;
  if (!writer.openWithColour(path, kCanvasWidth, kCanvasHeight, kItems, kBackground)) return false;
  for (const Item& item : collage.items) {
    if (!writer.addLayer(*item.bitmap, item.left, item.top)) return false;
  }
  // The merged image is the flat collage, as the renderer hands it over.
  const vornida::PsdPixels merged{collage.flat.data(), kCanvasWidth, kCanvasHeight,
                                  std::ptrdiff_t{kCanvasWidth} * 4, vornida::PsdAlpha::Opaque};
  return static_cast<bool>(writer.finish(merged));
}

bool WritePng(const Collage& collage, const std::string& path) {
  AtomicFileWriter file;
  if (!file.create(path)) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(
      png, &file,
      [](png_structp p, png_bytep data, png_size_t size) {
        if (!static_cast<AtomicFileWriter*>(png_get_io_ptr(p))->write(data, size)) {
          png_error(p, "write failed");
        }
      },
      nullptr);
  png_set_compression_level(png, 1);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_IHDR(png, info, kCanvasWidth, kCanvasHeight, 8, PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  png_set_bgr(png);  // little-endian 0xAARRGGBB words are B, G, R, A in memory
  for (int32_t y = 0; y < kCanvasHeight; ++y) {
    png_write_row(png, reinterpret_cast<png_const_bytep>(collage.flat.data() +
                                                         static_cast<std::size_t>(y) * kCanvasWidth));
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return static_cast<bool>(file.commit());
}

void BM_WritePsd(benchmark::State& state) {
  const Collage& collage = TheCollage();
  const std::string path = OutputFolder() + "/bench_psd_collage.psd";
  for (auto _ : state) {
    if (!WritePsd(collage, path)) state.SkipWithError("PSD write failed");
  }
  state.counters["file_MB"] = static_cast<double>(FileSize(path)) / 1e6;
  state.counters["layer_Mpx"] = static_cast<double>(collage.layerPixels) / 1e6;
  std::filesystem::remove(path);
}

void BM_WritePngLevel1(benchmark::State& state) {
  const Collage& collage = TheCollage();
  const std::string path = OutputFolder() + "/bench_psd_collage.png";
  for (auto _ : state) {
    if (!WritePng(collage, path)) state.SkipWithError("PNG write failed");
  }
  state.counters["file_MB"] = static_cast<double>(FileSize(path)) / 1e6;
  std::filesystem::remove(path);
}

BENCHMARK(BM_WritePsd)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_WritePngLevel1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Keeps the console output and remembers each run's time for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      seconds_[run.run_name.function_name] = run.GetAdjustedRealTime();
      cpuSeconds_[run.run_name.function_name] = run.GetAdjustedCPUTime();
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    printRatio("wall-clock", seconds_);
    printRatio("CPU", cpuSeconds_);
  }

 private:
  static void printRatio(const char* what, const std::map<std::string, double>& times) {
    const auto psd = times.find("BM_WritePsd");
    const auto png = times.find("BM_WritePngLevel1");
    if (psd != times.end() && png != times.end() && png->second > 0) {
      std::printf("PSD / PNG level 1 %s time ratio: %.2f (goal: <= 1)\n", what,
                  psd->second / png->second);
    }
  }

  std::map<std::string, double> seconds_;
  std::map<std::string, double> cpuSeconds_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TheCollage();  // built before timing starts
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
