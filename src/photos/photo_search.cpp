#include "photos/photo_search.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "base/text.h"

namespace vornida {
namespace fs = std::filesystem;

bool HasPictureExtension(const std::string& path) {
  static const std::set<std::string, std::less<>> kExtensions = {"jpg", "jpeg", "png", "gif", "bmp", "webp",
                                                                   "tif", "tiff", "heic", "heif"};
  const std::string ext = fs::path(path).extension().string();
  return ext.size() > 1 && kExtensions.contains(AsciiLowered(std::string_view(ext).substr(1)));
}

namespace {

void WalkFolder(const fs::path& folder, std::vector<std::string>& found) {
  std::error_code ec;
  std::vector<fs::path> files, folders;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& entry = it->path();
    if (entry.filename().string().starts_with(".")) continue;
    std::error_code typeError;
    if (it->is_directory(typeError))
      folders.push_back(entry);
    else if (it->is_regular_file(typeError) && HasPictureExtension(entry.string()))
      files.push_back(entry);
  }
  std::sort(files.begin(), files.end());
  std::sort(folders.begin(), folders.end());
  for (const fs::path& file : files) found.push_back(file.string());
  for (const fs::path& sub : folders)
    if (!fs::is_symlink(sub)) WalkFolder(sub, found);  // links could loop
}

}  // namespace

PhotoSearch FindPhotos(const std::vector<std::string>& inputs) {
  PhotoSearch search;
  std::set<std::string> seen;
  for (const std::string& input : inputs) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(input, ec).lexically_normal();
    const fs::file_status status = fs::status(absolute, ec);
    std::vector<std::string> found;
    if (fs::is_directory(status)) {
      WalkFolder(absolute, found);
    } else if (fs::exists(status)) {
      found.push_back(absolute.string());
    } else {
      search.error = input + ": no such file or folder";
      return search;
    }
    for (std::string& path : found)
      if (seen.insert(path).second) search.photos.push_back(std::move(path));
  }
  return search;
}

}  // namespace vornida
