#include "output/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace vornida {
namespace {

constexpr std::size_t kBufferSize = 1 << 20;
// Room left for the ".<hex>.tmp" suffix within the usual 255-byte name limit.
constexpr std::size_t kMaxBaseNameBytes = 200;

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RandomSuffix() {
  thread_local std::mt19937_64 generator{(static_cast<uint64_t>(std::random_device{}()) << 32) ^
                                         static_cast<uint64_t>(::getpid())};
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(generator()));
  return text;
}

bool WriteAll(int fd, const uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool WriteAllAt(int fd, const uint8_t* data, std::size_t size, uint64_t offset) {
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

// Makes the rename itself survive a crash; failure here is not fatal because
// the file is complete and in place either way.
void SyncFolder(const std::string& folder) {
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return;
  ::fsync(dirFd);
  ::close(dirFd);
}

}  // namespace

AtomicFileWriter::~AtomicFileWriter() { abandon(); }

bool AtomicFileWriter::create(const std::string& path) {
  if (fd_ >= 0 || path.empty() || path.back() == '/') return false;
  const std::string folder = FolderOf(path);
  const std::string base = BaseNameOf(path).substr(0, kMaxBaseNameBytes);
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::string candidate = folder + "/." + base + "." + RandomSuffix() + ".tmp";
    // 0666 lets the umask decide the final permissions, as for any new file.
    const int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fd_ = fd;
      failed_ = false;
      size_ = flushed_ = 0;
      buffer_.clear();
      buffer_.reserve(kBufferSize);
      targetPath_ = path;
      tempPath_ = std::move(candidate);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool AtomicFileWriter::fail() {
  failed_ = true;
  return false;
}

bool AtomicFileWriter::flushBuffer() {
  if (buffer_.empty()) return true;
  if (!WriteAll(fd_, buffer_.data(), buffer_.size())) return fail();
  flushed_ += buffer_.size();
  buffer_.clear();
  return true;
}

bool AtomicFileWriter::write(const void* data, std::size_t size) {
  if (fd_ < 0 || failed_) return false;
  if (size == 0) return true;
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (buffer_.size() + size <= kBufferSize) {
    buffer_.insert(buffer_.end(), bytes, bytes + size);
  } else {
    // Large blocks skip the buffer so they are not copied twice.
    if (!flushBuffer()) return false;
    if (size >= kBufferSize) {
      if (!WriteAll(fd_, bytes, size)) return fail();
      flushed_ += size;
    } else {
      buffer_.insert(buffer_.end(), bytes, bytes + size);
    }
  }
  size_ += size;
  return true;
}

bool AtomicFileWriter::writeAt(uint64_t offset, const void* data, std::size_t size) {
  if (fd_ < 0 || failed_) return false;
  if (offset > size_ || size > size_ - offset) return fail();
  if (size == 0) return true;
  const auto* bytes = static_cast<const uint8_t*>(data);
  // The part that lies in the buffer is patched there; the rest on disk.
  if (offset + size > flushed_) {
    const uint64_t start = offset > flushed_ ? offset : flushed_;
    const std::size_t skip = static_cast<std::size_t>(start - offset);
    std::memcpy(buffer_.data() + (start - flushed_), bytes + skip, size - skip);
    size = skip;
  }
  if (size > 0 && !WriteAllAt(fd_, bytes, size, offset)) return fail();
  return true;
}

bool AtomicFileWriter::commit() {
  if (fd_ < 0) return false;
  bool ok = !failed_ && flushBuffer();
  // fsync before rename: otherwise a crash soon after could leave an empty
  // file where the old one used to be.
  ok = ok && ::fsync(fd_) == 0;
  ok = (::close(fd_) == 0) && ok;
  fd_ = -1;
  ok = ok && ::rename(tempPath_.c_str(), targetPath_.c_str()) == 0;
  if (!ok) {
    ::unlink(tempPath_.c_str());
    failed_ = true;
  } else {
    SyncFolder(FolderOf(targetPath_));
  }
  buffer_ = {};
  tempPath_.clear();
  return ok;
}

void AtomicFileWriter::abandon() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  ::unlink(tempPath_.c_str());
  tempPath_.clear();
  buffer_ = {};
}

bool WriteFileAtomically(const std::string& path,
                         const std::function<bool(AtomicFileWriter&)>& fill) {
  AtomicFileWriter writer;
  if (!writer.create(path)) return false;
  if (!fill(writer)) {
    writer.abandon();
    return false;
  }
  return writer.commit();
}

}  // namespace vornida
