// Finding the photos named on a command line or dropped on the window.
#pragma once

#include <string>
#include <vector>

namespace vornida {

struct PhotoSearch {
  std::vector<std::string> photos;  // absolute paths, in command-line order
  std::string error;                // one line; empty when every input was found
};

// Files are taken as they are (the import decides whether they are
// pictures); folders are walked recursively, in name order, for files with a
// picture extension. Hidden files and folders are skipped inside folders. A
// path already listed is not listed again.
PhotoSearch FindPhotos(const std::vector<std::string>& inputs);

// True for the extensions searched in folders (any case).
bool HasPictureExtension(const std::string& path);

}  // namespace vornida
