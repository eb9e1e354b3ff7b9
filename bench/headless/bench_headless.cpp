// Cost of one movie command round trip through the headless host.
//
//   BM_RequestRoundTrip      a request text from the movie: decode, dispatch,
//                            answer, log line (what vornida-headless does per line)
//   BM_DispatchDecodedCall   baseline: the same command handed to the dispatch
//                            chain already decoded (no XML, no log)
//   BM_WorkerMovieCall       a worker thread's GetText: posted to the UI thread,
//                            answered by the movie, handed back
//   BM_UiThreadMovieCall     baseline: the same GetText made on the UI thread
//
// items_per_second is calls per second.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <ostream>
#include <streambuf>
#include <thread>

#include "headless/headless_host.h"
#include "host/movie_calls.h"

namespace vornida {
namespace {

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Keeps the benchmark's settings and temporary files out of the user's folders.
struct ScratchFolders {
  ScratchFolders() {
    char pattern[] = "/tmp/vornida-bench-XXXXXX";
    root = mkdtemp(pattern);
    for (const char* name : {"TMPDIR", "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
      std::filesystem::create_directories(root + "/" + name);
      setenv(name, (root + "/" + name).c_str(), 1);
    }
  }
  ~ScratchFolders() { std::filesystem::remove_all(root); }
  std::string root;
};

const std::string kRequest =
    "<invoke name=\"ReadIni\" returntype=\"xml\"><arguments><string>volume</string></arguments></invoke>";

void BM_RequestRoundTrip(benchmark::State& state) {
  ScratchFolders folders;
  NullBuffer nothing;
  std::ostream out(&nothing);
  HeadlessHost host(out, {});
  for (auto _ : state) benchmark::DoNotOptimize(host.Request(kRequest));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RequestRoundTrip)->UseRealTime();

void BM_DispatchDecodedCall(benchmark::State& state) {
  ScratchFolders folders;
  NullBuffer nothing;
  std::ostream out(&nothing);
  HeadlessHost host(out, {});
  for (auto _ : state) {
    DecodedCall call{"ReadIni", {"volume"}, {}};
    benchmark::DoNotOptimize(host.Control().DispatchCall(call));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DispatchDecodedCall)->UseRealTime();

void BM_WorkerMovieCall(benchmark::State& state) {
  ScratchFolders folders;
  NullBuffer nothing;
  std::ostream out(&nothing);
  HeadlessHost host(out, {});
  // The UI thread of the host is this thread; the calls come from a worker.
  std::atomic<bool> done{false};
  std::int64_t calls = 0;
  std::thread worker([&] {
    for (auto _ : state) benchmark::DoNotOptimize(GetText("Done"));
    calls = state.iterations();
    done = true;
    host.Loop().wake();
  });
  while (!done) host.Loop().iterate(true);
  worker.join();
  state.SetItemsProcessed(calls);
}
BENCHMARK(BM_WorkerMovieCall)->UseRealTime();

void BM_UiThreadMovieCall(benchmark::State& state) {
  ScratchFolders folders;
  NullBuffer nothing;
  std::ostream out(&nothing);
  HeadlessHost host(out, {});
  for (auto _ : state) benchmark::DoNotOptimize(GetText("Done"));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UiThreadMovieCall)->UseRealTime();

}  // namespace
}  // namespace vornida

BENCHMARK_MAIN();
