// Test helpers: write pictures, read documents back with psd-tools.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "output/psd_writer.h"

namespace vornida::testing {

// A 32-bit picture owned by the test, handed to the writer as a view.
struct RawPicture {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;  // 0xAARRGGBB, rows packed
  PsdAlpha alpha = PsdAlpha::Straight;

  PsdPixels view() const {
    return PsdPixels{pixels.data(), width, height, static_cast<std::ptrdiff_t>(width) * 4, alpha};
  }
  uint32_t at(int32_t x, int32_t y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// Photo-like content: noisy gradients, flat stretches (runs) and a soft,
// partly transparent edge; every seed gives a different picture.
RawPicture MakePicture(int32_t width, int32_t height, uint32_t seed);

struct ReadLayer {
  std::string name;
  int64_t left = 0, top = 0, right = 0, bottom = 0;
  int opacity = 0;
  std::string blend;
  bool visible = false;
  std::vector<uint8_t> rgba;  // straight RGBA as the reader decoded it
};

struct ReadDocument {
  bool ok = false;
  std::string error;
  int version = 0;
  int64_t width = 0, height = 0;
  int layerCount = 0;
  int mergedRed = -1, mergedGreen = -1, mergedBlue = -1, mergedMin = -1, mergedMax = -1;
  std::vector<uint8_t> mergedRgb;  // the merged image as the reader decoded it
  std::vector<ReadLayer> layers;
};

// Opens `path` with psd-tools (Debian's interpreter) and reads back the
// document, its layers and their pixels.
ReadDocument ReadWithPsdTools(const std::string& path);

// A fresh empty folder for one test, removed with its contents at the end.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  std::vector<std::string> entries() const;  // names, sorted

 private:
  std::string path_;
};

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace vornida::testing
