// Reading a whole file with the system's reason when it cannot be read.
#pragma once

#include <cstddef>
#include <string>

#include "base/status.h"

namespace vornida {

// Reads the file at `path` into `bytes`. Fails with the system's reason
// ("No such file or directory", "Permission denied", "Is a directory"), or
// when the file is longer than `limit` bytes; `bytes` is then empty.
Status ReadFileBytes(const std::string& path, std::string& bytes, std::size_t limit = std::size_t{1} << 30);

}  // namespace vornida
