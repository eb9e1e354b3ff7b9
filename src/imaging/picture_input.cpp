#include "imaging/picture_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vornida {

namespace {

FileStamp StampOf(const struct stat& st) {
  FileStamp stamp;
  stamp.device = st.st_dev;
  stamp.inode = st.st_ino;
  stamp.size = st.st_size;
  stamp.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return stamp;
}

}  // namespace

FileStamp FileStamp::Of(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return StampOf(st);
}

namespace imaging_internal {

PictureInput PictureInput::OpenFile(const std::string& path, LoadStatus& status) {
  PictureInput input;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    status = LoadStatus::Unreadable;
    return input;
  }
  if (!S_ISREG(st.st_mode)) {
    status = LoadStatus::NotAFile;
    return input;
  }
  // Non-blocking, in case the path became a FIFO since it was looked at.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    status = errno == ENXIO ? LoadStatus::NotAFile : LoadStatus::Unreadable;
    return input;
  }
  if (::fstat(fd, &st) != 0) {
    status = LoadStatus::Unreadable;
    ::close(fd);
    return input;
  }
  if (!S_ISREG(st.st_mode)) {
    status = LoadStatus::NotAFile;
    ::close(fd);
    return input;
  }
  input.fd_ = fd;
  input.size_ = st.st_size;
  input.stamp_ = StampOf(st);
  input.path_ = path;
  return input;
}

PictureInput PictureInput::FromMemory(std::span<const std::uint8_t> bytes) {
  PictureInput input;
  static const std::uint8_t kNothing = 0;
  input.memory_ = bytes.data() != nullptr ? bytes : std::span<const std::uint8_t>(&kNothing, 0);
  input.size_ = static_cast<std::int64_t>(bytes.size());
  return input;
}

PictureInput::PictureInput(PictureInput&& other) noexcept
    : fd_(other.fd_), stamp_(other.stamp_), size_(other.size_), memory_(other.memory_), path_(std::move(other.path_)) {
  other.fd_ = -1;
  other.memory_ = {};
}

PictureInput::~PictureInput() {
  if (fd_ >= 0) ::close(fd_);
}

std::size_t PictureInput::ReadAt(std::int64_t offset, void* out, std::size_t count) const {
  if (offset < 0 || offset >= size_ || count == 0) return 0;
  count = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(count), size_ - offset));
  if (fd_ < 0) {
    std::memcpy(out, memory_.data() + offset, count);
    return count;
  }
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd_, static_cast<std::uint8_t*>(out) + done, count - done,
                              static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // the file shrank, or cannot be read
    done += static_cast<std::size_t>(n);
  }
  return done;
}

bool InputReader::Refill() {
  at_ = 0;
  end_ = input_.ReadAt(offset_, buffer_, sizeof buffer_);
  offset_ += static_cast<std::int64_t>(end_);
  return end_ > 0;
}

}  // namespace imaging_internal
}  // namespace vornida
