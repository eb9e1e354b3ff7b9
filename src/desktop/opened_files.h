// What to do with files handed to the program: named on its command line or
// dropped on its window. A project (.vrn, any case) is opened, photos are
// imported and folders are searched for photos as the command-line maker
// searches them. Only the first project counts; the other inputs are
// imported beside it.
#pragma once

#include <string>
#include <vector>

namespace vornida {

struct OpenedFiles {
  std::string project;              // empty: none
  std::vector<std::string> photos;  // absolute paths, in the given order
};

OpenedFiles SortOpenedFiles(const std::vector<std::string>& inputs);

}  // namespace vornida
