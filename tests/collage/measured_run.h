// Runs of the real vornida-collage for the tests of its limits and its
// shapes: each run in a folder of the test, with the program's temporary
// files kept in a folder of the test too, and with the run's time and peak
// memory measured.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support.h"

namespace vornida::testing {

struct MeasuredRun {
  int exitCode = -1;
  std::string out;     // standard output and error together
  double seconds = 0;  // wall-clock time
  long peakKb = 0;     // largest resident size
};

// Runs `program` with `args` in `folder`, with TMPDIR set to `tmp`.
inline MeasuredRun RunMeasured(const std::string& program, const std::vector<std::string>& args,
                               const std::string& folder, const std::string& tmp) {
  MeasuredRun run;
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> argp;
  for (std::string& arg : argv) argp.push_back(arg.data());
  argp.push_back(nullptr);
  std::string tmpdir = "TMPDIR=" + tmp, path = "PATH=/usr/bin:/bin";
  std::vector<char*> envp = {tmpdir.data(), path.data(), nullptr};
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeEnds[1]);
  if (spawned != 0) {
    ::close(pipeEnds[0]);
    return run;
  }
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0) run.out.append(buffer, static_cast<size_t>(n));
  ::close(pipeEnds[0]);
  int status = 0;
  struct rusage usage {};
  if (::wait4(pid, &status, 0, &usage) == pid) {
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.peakKb = usage.ru_maxrss;
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return run;
}

// A folder for one test: the runs start in it, and the program's own
// temporary folders go to its "tmp", which must be empty after every run.
class CollageRuns : public ::testing::Test {
 protected:
  CollageRuns() { std::filesystem::create_directories(scratch_ / "tmp"); }

  MeasuredRun Collage(const std::vector<std::string>& args) {
    return RunMeasured(VORNIDA_BINARY_DIR "/src/tools/vornida-collage/vornida-collage", args, scratch_.path(),
                       scratch_ / "tmp");
  }

  // `count` of the sample photos copied into the folder `name` of this test.
  std::string SamplePhotos(int count, const std::string& name = "photos") {
    const std::string folder = scratch_ / name;
    std::filesystem::create_directories(folder);
    std::vector<std::filesystem::path> samples;
    for (const auto& entry : std::filesystem::directory_iterator(VORNIDA_SOURCE_DIR "/assets/demo-photos"))
      if (entry.path().extension() == ".jpg") samples.push_back(entry.path());
    std::sort(samples.begin(), samples.end());
    for (int i = 0; i < count && i < static_cast<int>(samples.size()); ++i)
      std::filesystem::copy_file(samples[i], folder + "/" + samples[i].filename().string());
    return folder;
  }

  // ImageMagick's convert with these arguments, writing `file` in the folder.
  std::string Convert(const std::string& arguments, const std::string& file) {
    const std::string path = scratch_ / file;
    EXPECT_EQ(vornida::testing::Run("convert " + arguments + " " + ShellQuote(path) + " 2>&1").exitCode, 0) << arguments;
    return path;
  }

  std::string Identify(const std::string& file) {
    return vornida::testing::Run("identify -format '%m %w %h\\n' " + ShellQuote(file) + " 2>&1").out;
  }

  bool TemporaryFolderIsEmpty() { return FolderEntries(scratch_ / "tmp").empty(); }

  ScratchFolder scratch_;
};

}  // namespace vornida::testing
