// Photo import speed: 40 generated 6000 x 4000 JPEG photos (some with
// orientation tags) imported through the real import path (the add-photos
// command of the headless program, workers, thumbnails, movie calls),
// against vipsthumbnail making 200 x 200 PNG thumbnails of the same files in
// one process, measured in the same run. Also the time and peak memory of
// importing one 100-megapixel JPEG (baseline and progressive), a real
// gigapixel PNG (against vipsthumbnail on the same file) and a run-length BMP
// of a kilobyte that declares 30000 x 30000 pixels, each in a child process
// of its own.
//
//   bench_import              run all, print the rates and their ratio
//   bench_import --peak FILE  import FILE alone and print its time and peak RSS
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "headless/headless_host.h"
#include "photos/photo_library.h"

namespace {

constexpr int kPhotos = 40;
const std::string kData = VORNIDA_BENCH_DATA;

std::vector<std::string> PhotoPaths() {
  std::vector<std::string> paths;
  for (int i = 0; i < kPhotos; ++i) paths.push_back(kData + "/photo" + std::to_string(i) + ".jpg");
  return paths;
}

// Photo-like content: a smooth gradient, shapes, and sensor-like noise; a
// few of the files carry quarter-turn or mirror orientation tags.
void MakePhotos() {
  std::filesystem::create_directories(kData);
  if (std::filesystem::exists(kData + "/photo" + std::to_string(kPhotos - 1) + ".jpg") &&
      std::filesystem::exists(kData + "/big100mp-progressive.jpg") && std::filesystem::exists(kData + "/gigapixel.png")) {
    return;
  }
  const std::string script = kData + "/make.py";
  std::ofstream(script) << R"(
import random, sys
from PIL import Image, ImageDraw, ImageFilter
folder = sys.argv[1]
random.seed(1)
bases = []
for b in range(8):
    g = Image.radial_gradient('L').resize((6000, 4000))
    img = Image.merge('RGB', [g, g.rotate(90 * b).resize((6000, 4000)), Image.linear_gradient('L').resize((6000, 4000))])
    d = ImageDraw.Draw(img)
    for i in range(120):
        x, y = random.randrange(5800), random.randrange(3800)
        d.ellipse([x, y, x + random.randrange(20, 900), y + random.randrange(20, 900)],
                  fill=(random.randrange(256), random.randrange(256), random.randrange(256)))
    noise = Image.effect_noise((6000, 4000), 24).convert('RGB')
    bases.append(Image.blend(img.filter(ImageFilter.GaussianBlur(2)), noise, 0.12))
orientations = {3: 6, 11: 8, 19: 3, 27: 6, 35: 5}
for i in range(40):
    exif = Image.Exif()
    if i in orientations:
        exif[274] = orientations[i]
    bases[i % 8].save(f'{folder}/photo{i}.jpg', quality=88 + i % 5, exif=exif.tobytes())
big = bases[0].resize((12248, 8165))
big.save(f'{folder}/big100mp.jpg', quality=90)
big.save(f'{folder}/big100mp-progressive.jpg', quality=90, progressive=True)
del big, bases
import struct, zlib
# A kilobyte of run-length BMP that declares 30000 x 30000 pixels.
palette = b''.join(bytes([i, 255 - i, i // 2, 0]) for i in range(256))
runs = b''.join(bytes([255, 7]) for _ in range(4)) + b'\x00\x00' + bytes([200, 9]) + b'\x00\x01'
offset = 14 + 40 + len(palette)
info = struct.pack('<IiiHHIIiiII', 40, 30000, 30000, 1, 8, 1, len(runs), 2835, 2835, 256, 0)
open(f'{folder}/rle-bomb.bmp', 'wb').write(b'BM' + struct.pack('<IHHI', offset + len(runs), 0, 0, offset) + info + palette + runs)
# A real PNG of 32768 x 32768 pixels, every row present.
def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
z = zlib.compressobj(1)
row = b'\x00' + bytes(range(256)) * (32768 * 3 // 256)
with open(f'{folder}/gigapixel.png', 'wb') as f:
    f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', 32768, 32768, 8, 2, 0, 0, 0)))
    data = b''.join(z.compress(row) for _ in range(32768)) + z.flush()
    f.write(chunk(b'IDAT', data) + chunk(b'IEND', b''))
)";
  const std::string command = std::string(VORNIDA_PYTHON) + " " + script + " " + kData;
  std::cerr << "generating the photos (once) ...\n";
  if (std::system(command.c_str()) != 0) {
    std::cerr << "could not generate the photos\n";
    std::exit(1);
  }
}

// Every repetition's time, for the medians printed at the end.
std::vector<double> ourRuns, vipsRuns;

double Median(std::vector<double> runs) {
  std::sort(runs.begin(), runs.end());
  return runs.empty() ? 0 : runs[runs.size() / 2];
}

// Everything the import does, driven the way the movie drives it.
void BM_ImportThroughTheLibrary(benchmark::State& state) {
  for (auto _ : state) {
    std::ostringstream log;
    vornida::HeadlessHost host(log, {});
    vornida::InstallPhotoCommands(host.Control());
    vornida::ClearAllPhotos();
    host.PrepareFileDialog(PhotoPaths());
    const auto start = std::chrono::steady_clock::now();
    host.Request("<invoke name=\"OpenAddPhotosDlg\" returntype=\"xml\"><arguments></arguments></invoke>");
    if (!host.Wait(std::chrono::minutes(10)) || vornida::PhotoCount() != kPhotos) {
      state.SkipWithError("the import did not finish with every photo");
      return;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    ourRuns.push_back(seconds);
    vornida::ClearAllPhotos();
  }
  state.counters["photos_per_s"] = kPhotos / ourRuns.back();
}

void BM_Vipsthumbnail(benchmark::State& state) {
  const std::string out = kData + "/vips-out";
  std::filesystem::create_directories(out);
  std::string command = "vipsthumbnail --size 200x200 -o " + out + "/%s.png";
  for (const std::string& path : PhotoPaths()) command += " " + path;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("vipsthumbnail failed");
      return;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    vipsRuns.push_back(seconds);
  }
  state.counters["photos_per_s"] = kPhotos / vipsRuns.back();
}

// The same thumbnails on one thread, without the import machinery: the cost
// per core, which decides the rate on a busy machine.
void BM_ThumbnailsOnOneThread(benchmark::State& state) {
  for (auto _ : state) {
    for (const std::string& path : PhotoPaths()) {
      vornida::SizedLoad load = vornida::LoadPictureSized(path, [](vornida::PictureSize full) {
        return vornida::ThumbnailSizeFor(full.width, full.height);
      });
      std::vector<std::uint8_t> png = vornida::EncodePicture(*load.picture, vornida::EncoderId::Png);
      benchmark::DoNotOptimize(png.data());
    }
  }
  state.counters["photos_per_cpu_s"] = benchmark::Counter(kPhotos, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_ThumbnailsOnOneThread)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Vipsthumbnail)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportThroughTheLibrary)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

long PeakKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

int ImportOneForPeak(const std::string& path) {
  std::ostringstream log;
  vornida::HeadlessHost host(log, {});
  vornida::InstallPhotoCommands(host.Control());
  host.PrepareFileDialog(std::vector<std::string>{path});
  const auto start = std::chrono::steady_clock::now();
  host.Request("<invoke name=\"OpenAddPhotosDlg\" returntype=\"xml\"><arguments></arguments></invoke>");
  host.Wait(std::chrono::minutes(5));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("photos=%zu seconds=%.2f peak_rss_mb=%.1f\n", vornida::PhotoCount(), seconds, PeakKilobytes() / 1024.0);
  return vornida::PhotoCount() == 1 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--peak") return ImportOneForPeak(argv[2]);
  MakePhotos();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const double ours = Median(ourRuns), vips = Median(vipsRuns);
  if (ours > 0 && vips > 0) {
    std::printf("import %.2f photos/s, vipsthumbnail %.2f photos/s, ratio %.2fx (medians)\n", kPhotos / ours,
                kPhotos / vips, vips / ours);
  }
  // The time and peak memory of importing one large or hostile picture, in
  // a fresh process each (goal: at most 300 MB whatever the file declares).
  int failed = 0;
  for (const char* name : {"big100mp.jpg", "big100mp-progressive.jpg", "gigapixel.png", "rle-bomb.bmp"}) {
    std::printf("import %s: ", name);
    std::fflush(stdout);
    const std::string command = std::string("\"") + argv[0] + "\" --peak " + kData + "/" + name;
    failed |= std::system(command.c_str()) != 0;
  }
  // The baseline for the gigapixel PNG: vipsthumbnail, streaming it too.
  std::printf("vipsthumbnail gigapixel.png: ");
  std::fflush(stdout);
  const std::string vipsCommand = "/usr/bin/time -f 'seconds=%e peak_rss_mb=%M' vipsthumbnail --size 200x200 -o " + kData +
                           "/vips-out/%s.png " + kData + "/gigapixel.png 2>&1 | awk '{ split($2, m, \"=\"); "
                           "printf \"%s peak_rss_mb=%.1f\\n\", $1, m[2] / 1024 }'";
  failed |= std::system(vipsCommand.c_str()) != 0;
  return failed;
}
