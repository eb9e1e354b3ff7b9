// The collage engine's hot paths.
//
//   MakeShape/<shape>/<photos>  "MakeShape" on the headless host with that many
//                               imported photos (one item per photo): sweeps
//                               run, milliseconds per sweep with its preview
//                               frame, and the whole run.
//   SweepWithFrame/<items>      one relaxation sweep plus its preview frame on
//                               a 1200 x 800 preview, in process.
//   RenderFinal                 an 8000 x 6000 collage of 200 photos from
//                               6000 x 4000 JPEG sources ...
//   DecodeAtItemSize            ... against the bare decoding of the same
//                               photos at their item size (the baseline).
// Photos are made once under $TMPDIR/vornida-bench-engine (kept between runs).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <sstream>

#include "engine/collage_params.h"
#include "engine/collage_run.h"
#include "headless/headless_host.h"
#include "imaging/bitmap.h"
#include "photos/photo_library.h"

namespace vornida {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

fs::path WorkFolder() {
  const char* tmp = getenv("TMPDIR");
  fs::path root = fs::path(tmp ? tmp : "/tmp") / "vornida-bench-engine";
  fs::create_directories(root);
  return root;
}

// A photo with some structure, so that codecs do real work.
Picture PatternPhoto(int w, int h, int seed) {
  Picture p = Bitmap::Create(w, h, PixelFormat::Rgb32);
  for (int y = 0; y < h; ++y) {
    uint32_t* row = p->row(y);
    for (int x = 0; x < w; ++x) {
      const uint32_t r = (x * 255 / w + seed * 37) & 0xFF, g = (y * 255 / h + seed * 11) & 0xFF;
      const uint32_t b = ((x ^ y) + seed * 5) & 0xFF;
      row[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
    }
  }
  return p;
}

std::vector<std::string> SmallPhotos(int count) {
  const fs::path folder = WorkFolder() / "small";
  fs::create_directories(folder);
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    const fs::path path = folder / ("p" + std::to_string(i) + ".jpg");
    if (!fs::exists(path)) {
      const bool landscape = i % 3 != 1;
      SavePicture(*PatternPhoto(landscape ? 640 : 480, landscape ? 480 : 640, i), path.string(), EncoderId::Jpeg);
    }
    paths.push_back(path.string());
  }
  return paths;
}

std::vector<std::string> LargePhotos(int count) {
  const fs::path folder = WorkFolder() / "large";
  fs::create_directories(folder);
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    const fs::path path = folder / ("l" + std::to_string(i) + ".jpg");
    if (!fs::exists(path)) SavePicture(*PatternPhoto(6000, 4000, i), path.string(), EncoderId::Jpeg);
    paths.push_back(path.string());
  }
  return paths;
}

// One headless host per photo count, with the photos imported.
struct HostWithPhotos {
  std::ostringstream log;
  std::unique_ptr<HeadlessHost> host;
};

HostWithPhotos& HostFor(int photos) {
  static std::map<int, std::unique_ptr<HostWithPhotos>> hosts;
  auto& slot = hosts[photos];
  if (!slot) {
    ClearAllPhotos();
    slot = std::make_unique<HostWithPhotos>();
    slot->host = std::make_unique<HeadlessHost>(slot->log, HeadlessOptions{});
    InstallPhotoCommands(slot->host->Control());
    InstallCollageCommands(slot->host->Control());
    CollageRunner::Shared().SetSeed(7);
    slot->host->Request(
        "<invoke name=\"UpdateVornidaCanvasPos\" returntype=\"xml\"><arguments><number>0</number><number>0</number>"
        "<number>1200</number><number>800</number></arguments></invoke>");
    slot->host->PrepareFileDialog(SmallPhotos(photos));
    slot->host->Request("<invoke name=\"OpenAddPhotosDlg\" returntype=\"xml\"><arguments></arguments></invoke>");
    slot->host->Wait(std::chrono::minutes(30));
  }
  return *slot;
}

const char* kShapes[] = {"shapeType='Rectangle'", "shapeType='Circle'", "shapeType='Image' shape='@/triangle.png'",
                         "shapeType='Text' shape='@/text.png'"};

void BM_MakeShape(benchmark::State& state) {
  const int shape = static_cast<int>(state.range(0)), photos = static_cast<int>(state.range(1));
  HostWithPhotos& h = HostFor(photos);
  std::string attributes = kShapes[shape];
  const std::string data = std::string(VORNIDA_SOURCE_DIR) + "/tests/data/engine";
  if (auto at = attributes.find("@/triangle.png"); at != std::string::npos)
    attributes.replace(at, 14, data + "/triangle_rgb.png");
  if (auto at = attributes.find("@/text.png"); at != std::string::npos) attributes.replace(at, 10, data + "/text_shape.png");
  const std::string request =
      "<invoke name=\"MakeShape\" returntype=\"xml\"><arguments><string>&lt;Vornida " + attributes +
      " collageSize='2400,1600' itemBoundingBoxWidth='-1' numPhotos='-1' spacing='1' borderSize='0.03' "
      "maxAngle='12' backgroundColor='#203040' offsetX='0.01' offsetY='0.01' borderColor='#f2f2f2'/&gt;"
      "</string></arguments></invoke>";
  double frames = 0, seconds = 0;
  for (auto _ : state) {
    h.log.str("");
    const auto start = Clock::now();
    h.host->Request(request);
    h.host->Wait(std::chrono::minutes(30));
    seconds += std::chrono::duration<double>(Clock::now() - start).count();
    std::istringstream lines(h.log.str());
    for (std::string line; std::getline(lines, line);) frames += line.rfind("canvas: draw", 0) == 0;
  }
  const double runs = static_cast<double>(state.iterations());
  // Frames: the empty canvas, one per sweep, the finished preview.
  const double sweeps = frames / runs - 2;
  state.counters["sweeps"] = sweeps;
  state.counters["run_ms"] = seconds / runs * 1000;
  // The whole run spread over its frames: an upper bound of a sweep with
  // its frame (it includes sizing, picture preparation and the preview file).
  state.counters["ms_per_sweep"] = seconds / frames * 1000;
  state.counters["items"] = photos;
}
BENCHMARK(BM_MakeShape)
    ->ArgsProduct({{0, 1, 2, 3}, {200, 1000}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A preview sink that keeps nothing: the cost measured is the engine's.
struct NullCanvas : PreviewSink {
  void DrawImage(const Bitmap&) override {}
  void SetSize(int32_t, int32_t) override {}
  int32_t GetWidth() const override { return 1200; }
  int32_t GetHeight() const override { return 800; }
  void Show() override {}
};

void BM_SweepWithFrame(benchmark::State& state) {
  const int items = static_cast<int>(state.range(0));
  const bool withFrame = state.range(1) != 0;
  const std::vector<std::string> files = SmallPhotos(50);
  NullCanvas canvas;
  ItemPictureCache cache;
  CCollage c;
  c.previewSink = &canvas;
  c.pictureCache = &cache;
  ReadCollageParams("<Vornida shapeType='Circle' collageSize='4800,3200' itemBoundingBoxWidth='-1' numPhotos='" +
                        std::to_string(items) + "' spacing='1' borderSize='0.03' maxAngle='12' "
                        "backgroundColor='#203040' offsetX='0.01' offsetY='0.01'/>",
                    c, "");
  // Thumbnails: the photos themselves serve (the preview only scales them).
  for (const std::string& f : files) {
    CollagePhoto p;
    p.width = 640;
    p.height = 480;
    p.thumbWidth = 640;
    p.srcPath = p.thumbPath = f;
    c.photos.push_back(p);
  }
  c.rng().Seed(3);
  c.CalcPhotoSizes();
  c.PrepareLayoutImages();
  // One sweep per iteration: CalcItemsPosition stops at its first sweep when
  // asked to cancel, after drawing that sweep's frame.
  if (!withFrame) c.previewSink = nullptr;
  for (auto _ : state) {
    c.cancel = true;
    c.CalcItemsPosition();
  }
  state.counters["items"] = items;
}
// Second argument: 1 with the preview frame, 0 the sweep alone.
BENCHMARK(BM_SweepWithFrame)->ArgsProduct({{200, 1000}, {1, 0}})->Unit(benchmark::kMillisecond)->UseRealTime();

// The 8000 x 6000 collage of 200 items over 20 distinct 6000 x 4000 JPEGs.
CCollage& FinalCollage() {
  static CCollage* c = [] {
    auto* collage = new CCollage;
    ReadCollageParams("<Vornida shapeType='Rectangle' collageSize='8000,6000' itemBoundingBoxWidth='-1' "
                      "numPhotos='200' spacing='1' borderSize='0.03' maxAngle='12' backgroundColor='#203040' "
                      "offsetX='0.01' offsetY='0.01'/>",
                      *collage, "");
    for (const std::string& f : LargePhotos(20)) {
      for (int copy = 0; copy < 10; ++copy) {
        CollagePhoto p;
        p.width = 6000;
        p.height = 4000;
        p.thumbWidth = 200;
        p.srcPath = f;
        p.thumbPath = f;
        collage->photos.push_back(p);
      }
    }
    collage->rng().Seed(5);
    collage->CalcPhotoSizes();
    collage->CalcItemsPosition();
    return collage;
  }();
  return *c;
}

void BM_RenderFinal(benchmark::State& state) {
  CCollage& c = FinalCollage();
  for (auto _ : state) {
    Picture out = c.RenderFinal("bench.png");
    benchmark::DoNotOptimize(out->row(0));
  }
  state.counters["item_px"] = c.itemBoundingBoxWidth;
}
BENCHMARK(BM_RenderFinal)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecodeAtItemSize(benchmark::State& state) {
  CCollage& c = FinalCollage();
  for (auto _ : state) {
    for (int i = 0; i < c.itemCount; ++i) {
      const int32_t k = c.drawOrder[i];
      Picture p = LoadPictureScaled(c.photos[c.itemPhoto[k]].srcPath, c.photoScale);
      benchmark::DoNotOptimize(p->row(0));
    }
  }
}
BENCHMARK(BM_DecodeAtItemSize)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vornida

int main(int argc, char** argv) {
  // Keep the headless host's folders apart from the user's.
  const std::string root = (std::filesystem::temp_directory_path() / "vornida-bench-engine-host").string();
  for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
    std::filesystem::create_directories(root + "/" + name);
    setenv(name, (root + "/" + name).c_str(), 1);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  vornida::ClearAllPhotos();
  return 0;
}
