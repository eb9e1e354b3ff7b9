#include "output/output_checks.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <map>

#include "imaging/bitmap.h"
#include "output/flat_picture.h"
#include "output/psd_writer.h"

namespace vornida {
namespace {

// libpng refuses to write wider or taller pictures unless told otherwise.
constexpr int64_t kPngMaxSide = 1000000;
// A BMP file states its size in 4 bytes.
constexpr uint64_t kBmpMaxFileBytes = 0xFFFFFFFFu;
constexpr uint64_t kBmpHeaderBytes = 14 + 40;

const std::map<std::string, std::string>& BuiltInTexts() {
  static const std::map<std::string, std::string> texts = {
      {"Save_Limit_Jpeg", "JPEG pictures can be at most " + std::to_string(kJpegMaxSide) + " pixels a side"},
      {"Save_Limit_Png", "PNG pictures can be at most " + std::to_string(kPngMaxSide) + " pixels a side"},
      {"Save_Limit_Bmp", "BMP pictures can hold at most 4 GiB of pixels"},
      {"Save_Limit_Psd",
       "PSD files can be at most " + std::to_string(PsdWriter::kMaxLargeDocumentSide) + " pixels a side"},
      {"Save_Limit_Psd_Layers", "PSD files hold at most " + std::to_string(PsdWriter::kMaxLayers) + " layers"},
      {"Save_Output_Is_Input",
       "This file is one of the collage's own pictures and would be overwritten; choose another name"},
      {"Save_Failed", "The collage could not be saved"},
      {"Save_Psd_Extension", "A layered file needs a name ending in .psd"},
      {"Save_Stopped", "The save was stopped before the collage was complete"},
      {"Save_No_Memory", "There is not enough memory to draw a collage this large"},
  };
  return texts;
}

std::string Size(int64_t width, int64_t height) { return std::to_string(width) + " x " + std::to_string(height); }

}  // namespace

std::string SaveFlowText(const TextLookup& text, const std::string& key) {
  std::string movie = text ? text(key) : std::string();
  if (!movie.empty() && movie != key) return movie;
  const auto builtIn = BuiltInTexts().find(key);
  return builtIn != BuiltInTexts().end() ? builtIn->second : key;
}

Status CheckOutputLimits(const std::string& path, bool layered, int64_t width, int64_t height,
                         int64_t layerCount, const TextLookup& text) {
  const auto refuse = [&](const char* key, const std::string& detail) {
    return Status::Error(SaveFlowText(text, key) + ": " + detail);
  };
  const int64_t side = std::max(width, height);
  if (layered) {
    if (side > PsdWriter::kMaxLargeDocumentSide) return refuse("Save_Limit_Psd", Size(width, height));
    if (layerCount > PsdWriter::kMaxLayers) return refuse("Save_Limit_Psd_Layers", std::to_string(layerCount));
    return Status::Ok();
  }
  const std::string_view type = FlatPictureMimeType(path);
  if (type == "image/png") {
    if (side > kPngMaxSide) return refuse("Save_Limit_Png", Size(width, height));
  } else if (type == "image/bmp") {
    // Saved without alpha: 3 bytes a pixel, rows padded to 4 bytes.
    const uint64_t row = (static_cast<uint64_t>(std::max<int64_t>(width, 0)) * 3 + 3) & ~uint64_t{3};
    const uint64_t rows = static_cast<uint64_t>(std::max<int64_t>(height, 0));
    if (width > INT32_MAX || height > INT32_MAX || (rows > 0 && row > (kBmpMaxFileBytes - kBmpHeaderBytes) / rows)) {
      return refuse("Save_Limit_Bmp", Size(width, height));
    }
  } else if (side > kJpegMaxSide) {
    return refuse("Save_Limit_Jpeg", Size(width, height));
  }
  return Status::Ok();
}

std::string InputAtOutput(const std::string& output, const std::vector<std::string>& inputs) {
  struct stat target {};
  if (::stat(output.c_str(), &target) != 0) return {};
  for (const std::string& input : inputs) {
    struct stat info {};
    if (!input.empty() && ::stat(input.c_str(), &info) == 0 && info.st_dev == target.st_dev &&
        info.st_ino == target.st_ino) {
      return input;
    }
  }
  return {};
}

Status OutputIsInput(const std::string& input, const TextLookup& text) {
  return Status::Error(SaveFlowText(text, "Save_Output_Is_Input") + ": " + input);
}

}  // namespace vornida
