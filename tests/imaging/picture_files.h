// Test helpers: a scratch folder, and real picture files made by outside
// tools (Pillow through Debian's python, ImageMagick, cwebp, heif-enc).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/bitmap.h"

namespace vornida::testing {

class ScratchFolder {
 public:
  ScratchFolder() {
    char pattern[] = "/tmp/vornida-imaging-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~ScratchFolder() { std::filesystem::remove_all(path_); }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Runs a shell command and returns its standard output; fails the test when
// the command fails.
inline std::string Run(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot run " << command;
    return out;
  }
  char buffer[4096];
  std::size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int status = pclose(pipe);
  EXPECT_EQ(status, 0) << command << "\n" << out;
  return out;
}

// Runs a Python script with Debian's interpreter (which has Pillow).
inline std::string Python(const std::string& script, const std::string& folder) {
  const std::string file = folder + "/script.py";
  std::ofstream(file) << "from PIL import Image, ImageOps, ImageDraw\nimport sys, struct\n" << script;
  return Run(std::string(VORNIDA_PYTHON) + " " + file + " 2>&1");
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

inline int Channel(std::uint32_t pixel, int shift) { return static_cast<int>((pixel >> shift) & 0xFF); }

// Largest difference of any channel between two same-size pictures.
inline int MaxDifference(Bitmap& a, Bitmap& b) {
  const LockedPixels pa = LockPixels(a), pb = LockPixels(b);
  int worst = 0;
  for (std::int64_t y = 0; y < pa.height(); ++y) {
    for (std::int64_t x = 0; x < pa.width(); ++x) {
      for (int shift = 0; shift < 32; shift += 8) {
        worst = std::max(worst, std::abs(Channel(pa.row(y)[x], shift) - Channel(pb.row(y)[x], shift)));
      }
    }
  }
  return worst;
}

// Mean absolute difference over all colour channels.
inline double MeanDifference(Bitmap& a, Bitmap& b) {
  const LockedPixels pa = LockPixels(a), pb = LockPixels(b);
  double sum = 0;
  for (std::int64_t y = 0; y < pa.height(); ++y) {
    for (std::int64_t x = 0; x < pa.width(); ++x) {
      for (int shift = 0; shift < 24; shift += 8) {
        sum += std::abs(Channel(pa.row(y)[x], shift) - Channel(pb.row(y)[x], shift));
      }
    }
  }
  return sum / static_cast<double>(pa.width() * pa.height() * 3);
}

}  // namespace vornida::testing
