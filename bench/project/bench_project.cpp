// Opening a big project: a project of 20,000 entries (the 12 sample photos
// repeated, as a careless script or a merge of projects makes them) opened
// through the real "OpenProject" of the headless host, until the import has
// finished and the layout may start. Baseline, in the same run: the same 12
// photos as a project of 12 entries. The ratio says what the 19,988 entries
// that add nothing cost. A second case spells the repeats in other letter
// cases, which are the same photos too.
//
//   bench_project        run all and print the medians and the ratios
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "headless/headless_host.h"
#include "photos/photo_library.h"
#include "project/project_document.h"

namespace {

namespace fs = std::filesystem;

constexpr int kEntries = 20000;

std::string Folder() {
  static const std::string folder = [] {
    std::string pattern = (fs::temp_directory_path() / "vornida-bench-project-XXXXXX").string();
    return std::string(::mkdtemp(pattern.data()));
  }();
  return folder;
}

std::vector<std::string> SamplePhotos() {
  std::vector<std::string> photos;
  for (const auto& entry : fs::directory_iterator(VORNIDA_DEMO_PHOTOS))
    if (entry.path().extension() == ".jpg") photos.push_back(entry.path().string());
  std::sort(photos.begin(), photos.end());
  return photos;
}

// Writes a project of `entries` photos: the samples repeated in turn, every
// other round in upper case when `mixedCase` (the folder is copied to a name
// without letters, so that only the file names change case).
std::string WriteProject(int entries, bool mixedCase) {
  const std::string photos = Folder() + "/0";
  if (!fs::exists(photos)) {
    fs::create_directories(photos);
    for (const std::string& sample : SamplePhotos()) fs::copy_file(sample, photos + "/" + fs::path(sample).filename().string());
  }
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(photos)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  vornida::ProjectDocument project;
  for (int i = 0; i < entries; ++i) {
    std::string name = names[static_cast<size_t>(i) % names.size()];
    if (mixedCase && (i / names.size()) % 2 == 1)
      for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    project.photoPaths.push_back(photos + "/" + name);
  }
  const std::string file = Folder() + "/p" + std::to_string(entries) + (mixedCase ? "-case" : "") + ".vrn";
  std::ofstream(file) << vornida::ComposeProjectDocument(project);
  return file;
}

std::vector<double>& Runs(const std::string& name) {
  static std::vector<std::pair<std::string, std::vector<double>>> all;
  for (auto& [key, runs] : all)
    if (key == name) return runs;
  all.emplace_back(name, std::vector<double>{});
  return all.back().second;
}

double Median(std::vector<double> runs) {
  std::sort(runs.begin(), runs.end());
  return runs.empty() ? 0 : runs[runs.size() / 2];
}

// Opens the project as the movie does and waits until its photos are in.
void OpenProject(benchmark::State& state, int entries, bool mixedCase, const std::string& name) {
  const std::string file = WriteProject(entries, mixedCase);
  for (auto _ : state) {
    std::ostringstream log;
    vornida::HeadlessHost host(log, {});
    vornida::ClearAllPhotos();
    host.PrepareFileDialog(std::vector<std::string>{file});
    const auto start = std::chrono::steady_clock::now();
    host.Request("<invoke name=\"OpenProject\" returntype=\"xml\"><arguments></arguments></invoke>");
    if (!host.Wait(std::chrono::minutes(10)) || vornida::PhotoCount() != SamplePhotos().size()) {
      state.SkipWithError("the project's photos did not all come in");
      return;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    Runs(name).push_back(seconds);
    vornida::ClearAllPhotos();
  }
}

void BM_Open12Entries(benchmark::State& state) { OpenProject(state, 12, false, "12"); }
void BM_Open20000Entries(benchmark::State& state) { OpenProject(state, kEntries, false, "20000"); }
void BM_Open20000EntriesMixedCase(benchmark::State& state) { OpenProject(state, kEntries, true, "20000-case"); }

BENCHMARK(BM_Open12Entries)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open20000Entries)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open20000EntriesMixedCase)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const double base = Median(Runs("12")), big = Median(Runs("20000")), mixed = Median(Runs("20000-case"));
  if (base > 0 && big > 0 && mixed > 0) {
    std::printf("open a project of 12 photos: %.2f s; of %d entries (the 12 repeated): %.2f s, ratio %.2fx; "
                "repeats in other cases: %.2f s, ratio %.2fx (medians)\n",
                base, kEntries, big, big / base, mixed, mixed / base);
  }
  std::error_code ec;
  fs::remove_all(Folder(), ec);
  return 0;
}
