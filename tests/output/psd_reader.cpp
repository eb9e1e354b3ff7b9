#include "psd_reader.h"

#include <dirent.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

namespace vornida::testing {

RawPicture MakePicture(int32_t width, int32_t height, uint32_t seed) {
  RawPicture picture;
  picture.width = width;
  picture.height = height;
  picture.pixels.resize(static_cast<std::size_t>(width) * height);
  std::mt19937 random(seed);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const auto noise = static_cast<int>(random() % 24);
      int r = (x * 255 / std::max(1, width - 1) + noise) & 0xFF;
      int g = (y * 255 / std::max(1, height - 1) + noise / 2) & 0xFF;
      int b = static_cast<int>((seed * 37 + static_cast<uint32_t>(x ^ y)) & 0xFF);
      int a = 255;
      if (x < 3) a = x * 80;                       // soft left edge, first column clear
      if (y % 7 == 3) r = g = b = 240;             // a flat border-like row
      if (x > width / 2 && x < width / 2 + 6) b = 17;  // a short run inside noise
      picture.pixels[static_cast<std::size_t>(y) * width + x] =
          (static_cast<uint32_t>(a) << 24) | (static_cast<uint32_t>(r) << 16) |
          (static_cast<uint32_t>(g) << 8) | static_cast<uint32_t>(b);
    }
  }
  return picture;
}

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, '\t')) fields.push_back(field);
  return fields;
}

}  // namespace

ReadDocument ReadWithPsdTools(const std::string& path) {
  ReadDocument document;
  ScratchFolder dump;
  const std::string command = std::string(VORNIDA_PYTHON) + " '" + VORNIDA_SOURCE_DIR +
                              "/tests/output/psd_dump.py' '" + path + "' '" + dump.path() +
                              "' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) {
    document.error = "cannot start the reader";
    return document;
  }
  std::string output;
  char chunk[4096];
  while (std::size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, n);
  const int status = ::pclose(pipe);
  if (status != 0) {
    document.error = output;
    return document;
  }
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    const auto f = SplitTabs(line);
    if (f.empty()) continue;
    if (f[0] == "document" && f.size() == 5) {
      document.version = std::stoi(f[1]);
      document.width = std::stoll(f[2]);
      document.height = std::stoll(f[3]);
      document.layerCount = std::stoi(f[4]);
    } else if (f[0] == "merged" && f.size() == 6) {
      document.mergedRed = std::stoi(f[1]);
      document.mergedGreen = std::stoi(f[2]);
      document.mergedBlue = std::stoi(f[3]);
      document.mergedMin = std::stoi(f[4]);
      document.mergedMax = std::stoi(f[5]);
    } else if (f[0] == "layer" && f.size() == 10) {
      ReadLayer layer;
      layer.name = f[2];
      layer.left = std::stoll(f[3]);
      layer.top = std::stoll(f[4]);
      layer.right = std::stoll(f[5]);
      layer.bottom = std::stoll(f[6]);
      layer.opacity = std::stoi(f[7]);
      layer.blend = f[8];
      layer.visible = f[9] == "1";
      const std::string pixels = dump.file("layer" + f[1] + ".rgba");
      if (std::filesystem::exists(pixels)) layer.rgba = ReadBytes(pixels);
      document.layers.push_back(std::move(layer));
    } else {
      document.error += line + "\n";
    }
  }
  if (std::filesystem::exists(dump.file("merged.rgb"))) document.mergedRgb = ReadBytes(dump.file("merged.rgb"));
  document.ok = document.error.empty() && document.version != 0;
  return document;
}

ScratchFolder::ScratchFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vornida-output-XXXXXX").string();
  if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> ScratchFolder::entries() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace vornida::testing
