#include "base/files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace vornida {

Status ReadFileBytes(const std::string& path, std::string& bytes, std::size_t limit) {
  bytes.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Status::LastSystemError();
  char buffer[65536];
  Status result;
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
      if (bytes.size() + static_cast<std::size_t>(got) > limit) {
        result = Status::System(EFBIG);
        break;
      }
      bytes.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0) {
      break;
    } else if (errno != EINTR) {
      result = Status::LastSystemError();
      break;
    }
  }
  ::close(fd);
  if (!result) bytes.clear();
  return result;
}

}  // namespace vornida
