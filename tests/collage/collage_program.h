// The command-line maker as the end-to-end tests run it: a scratch folder
// with its own TMPDIR and output folder, the program run through the shell
// with its messages collected, sample photos copied in, and ImageMagick's
// identify.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support.h"

namespace vornida {

inline const std::string kProgram = VORNIDA_BINARY_DIR "/src/tools/vornida-collage/vornida-collage";
inline const std::string kDemoPhotos = VORNIDA_SOURCE_DIR "/assets/demo-photos";

class CollageProgram : public ::testing::Test {
 protected:
  CollageProgram() {
    std::filesystem::create_directories(scratch_ / "tmp");
    std::filesystem::create_directories(scratch_ / "out");
  }

  // Runs the program with `args`; standard error is collected with the output.
  testing::RunResult Collage(const std::vector<std::string>& args) {
    // A program that would wait for ever is ended after five minutes.
    std::string command = "cd " + testing::ShellQuote(scratch_.path()) +
                          " && TMPDIR=" + testing::ShellQuote(scratch_ / "tmp") + " timeout 300 " +
                          testing::ShellQuote(kProgram);
    for (const std::string& arg : args) command += " " + testing::ShellQuote(arg);
    return testing::Run(command + " 2>&1 </dev/null");
  }

  // A few of the sample photos copied into a folder of this test.
  std::string SomePhotos(int count) {
    const std::string folder = scratch_ / "photos";
    std::filesystem::create_directories(folder);
    int copied = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kDemoPhotos)) {
      if (entry.path().extension() != ".jpg" || copied == count) continue;
      std::filesystem::copy_file(entry.path(), folder + "/" + entry.path().filename().string());
      ++copied;
    }
    return folder;
  }

  // The collage is made only when this build has the save command; until
  // then the program says so and the full runs have nothing to check.
  bool CanSave(const testing::RunResult& run) {
    return run.out.find("the command SaveShape is not available") == std::string::npos;
  }

  std::string Identify(const std::string& file) {
    return testing::Run("identify -format '%m %w %h\\n' " + testing::ShellQuote(file) + " 2>&1").out;
  }

  // A run in the background, its standard error on a pipe that the test
  // reads; TMPDIR is the scratch folder's, paths must be absolute.
  struct BackgroundRun {
    pid_t pid = -1;
    int errors = -1;
    std::string shown;

    // Reads standard error until `text` has been shown or the pipe closes.
    bool ShowsSoon(const std::string& text) {
      char c;
      while (shown.find(text) == std::string::npos && ::read(errors, &c, 1) == 1) shown += c;
      return shown.find(text) != std::string::npos;
    }
    // The exit status (waitpid's), after reading what is left.
    int Finish() {
      char c;
      while (::read(errors, &c, 1) == 1) shown += c;
      ::close(errors);
      int status = 0;
      ::waitpid(pid, &status, 0);
      return status;
    }
  };

  BackgroundRun Start(std::vector<std::string> args) {
    BackgroundRun run;
    int errors[2];
    if (::pipe(errors) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, errors[1], 2);
    posix_spawn_file_actions_addclose(&actions, errors[0]);
    const std::string tmp = "TMPDIR=" + scratch_ / "tmp";
    args.insert(args.begin(), kProgram);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<char*> envp = {const_cast<char*>(tmp.c_str()), nullptr};
    if (::posix_spawn(&run.pid, kProgram.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) run.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(errors[1]);
    run.errors = errors[0];
    return run;
  }

  testing::ScratchFolder scratch_;
};

}  // namespace vornida
