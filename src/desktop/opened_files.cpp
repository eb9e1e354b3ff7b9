#include "desktop/opened_files.h"

#include <filesystem>

#include "base/text.h"
#include "photos/photo_search.h"

namespace vornida {

OpenedFiles SortOpenedFiles(const std::vector<std::string>& inputs) {
  OpenedFiles opened;
  std::vector<std::string> others;
  for (const std::string& input : inputs) {
    const std::string extension = std::filesystem::path(input).extension().string();
    std::error_code ignored;
    if (AsciiLowered(extension) == ".vrn" && !std::filesystem::is_directory(input, ignored)) {
      if (opened.project.empty()) opened.project = std::filesystem::absolute(input, ignored).lexically_normal().string();
      continue;
    }
    others.push_back(input);
  }
  if (!others.empty()) opened.photos = FindPhotos(others).photos;
  return opened;
}

}  // namespace vornida
