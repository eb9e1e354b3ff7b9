#include "output/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <set>

namespace vornida {
namespace {

constexpr std::size_t kBufferSize = 1 << 20;
// The part of the target's name kept in a temporary name: with the hash, the
// random part and the dots, a temporary name has at most 231 bytes.
constexpr std::size_t kMaxBaseNameBytes = 200;
constexpr std::size_t kRandomDigits = 16;
constexpr std::string_view kTemporaryEnd = ".tmp";

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

// The name cut to at most `limit` bytes without splitting a UTF-8 sequence.
std::string CutName(const std::string& name, std::size_t limit) {
  if (name.size() <= limit) return name;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return name.substr(0, end);
}

// Every temporary file of one target starts with this; the hash of the whole
// name keeps apart targets whose names agree in their first 200 bytes.
std::string TemporaryPrefix(const std::string& baseName) {
  uint32_t hash = 2166136261u;  // FNV-1a
  for (unsigned char c : baseName) hash = (hash ^ c) * 16777619u;
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", hash);
  return "." + CutName(baseName, kMaxBaseNameBytes) + "." + hex + ".";
}

std::string RandomDigits() {
  thread_local std::mt19937_64 generator{(static_cast<uint64_t>(std::random_device{}()) << 32) ^
                                         static_cast<uint64_t>(::getpid())};
  char text[kRandomDigits + 1];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(generator()));
  return text;
}

bool IsTemporaryOf(std::string_view name, std::string_view prefix) {
  if (name.size() != prefix.size() + kRandomDigits + kTemporaryEnd.size() || !name.starts_with(prefix) ||
      !name.ends_with(kTemporaryEnd)) {
    return false;
  }
  for (char c : name.substr(prefix.size(), kRandomDigits)) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// Removes the temporary files of one target that no writer holds any more:
// their writer was killed before it could clean up. A live writer keeps its
// file locked, so its file is left alone.
void RemoveStaleTemporaries(const std::string& folder, const std::string& prefix) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  const int dirFd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    if (!IsTemporaryOf(entry->d_name, prefix)) continue;
    const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      ::unlinkat(dirFd, entry->d_name, 0);
    }
    ::close(fd);
  }
  ::closedir(dir);
}

// File systems without unnamed files answer O_TMPFILE with one of these.
bool UnnamedFilesUnsupported(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

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

// Gives the unnamed file `fd` the name `path`. Linking by descriptor needs a
// capability that ordinary users lack; the /proc path of the descriptor
// works for everyone.
bool LinkUnnamed(int fd, const std::string& path) {
  if (::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return true;
  if (errno == EEXIST) return false;
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// The named temporary files of this process's unfinished writers.
struct UnfinishedFiles {
  std::mutex mutex;
  std::set<std::string> paths;
};

UnfinishedFiles& Unfinished() {
  static UnfinishedFiles files;
  return files;
}

void NoteUnfinished(const std::string& path) {
  std::lock_guard lock(Unfinished().mutex);
  Unfinished().paths.insert(path);
}

void ForgetUnfinished(const std::string& path) {
  if (path.empty()) return;
  std::lock_guard lock(Unfinished().mutex);
  Unfinished().paths.erase(path);
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

Status AtomicFileWriter::create(const std::string& path) {
  if (fd_ >= 0) return Status::Error("the file is already being written");
  if (path.empty() || path.back() == '/') return Status::System(EISDIR);
  // A folder in the way is found now rather than after all the work.
  struct stat existing {};
  if (::lstat(path.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) return Status::System(EISDIR);

  const std::string folder = FolderOf(path);
  const std::string prefix = TemporaryPrefix(BaseNameOf(path));
  RemoveStaleTemporaries(folder, prefix);

  // 0666 lets the umask decide the final permissions, as for any new file.
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  std::string temporary;
  if (fd < 0) {
    if (!UnnamedFilesUnsupported(errno)) return Status::LastSystemError();
    for (int attempt = 0; attempt < 64 && fd < 0; ++attempt) {
      temporary = folder + "/" + prefix + RandomDigits() + std::string(kTemporaryEnd);
      fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (fd < 0 && errno != EEXIST) return Status::LastSystemError();
    }
    if (fd < 0) return Status::System(EEXIST);
  }
  // Marks the file as in use for other writers' clean-up (see
  // RemoveStaleTemporaries); where locks are not supported nobody removes it.
  ::flock(fd, LOCK_EX | LOCK_NB);

  if (!temporary.empty()) NoteUnfinished(temporary);
  fd_ = fd;
  status_ = Status::Ok();
  size_ = flushed_ = 0;
  buffer_.clear();
  buffer_.reserve(kBufferSize);
  targetPath_ = path;
  temporaryPath_ = std::move(temporary);
  return Status::Ok();
}

bool AtomicFileWriter::fail(Status why) {
  if (status_.ok()) status_ = std::move(why);
  return false;
}

bool AtomicFileWriter::flushBuffer() {
  if (buffer_.empty()) return true;
  if (!WriteAll(fd_, buffer_.data(), buffer_.size())) return fail(Status::LastSystemError());
  flushed_ += buffer_.size();
  buffer_.clear();
  return true;
}

bool AtomicFileWriter::write(const void* data, std::size_t size) {
  if (fd_ < 0 || failed()) return false;
  if (size == 0) return true;
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (buffer_.size() + size <= kBufferSize) {
    buffer_.insert(buffer_.end(), bytes, bytes + size);
  } else {
    // Large blocks skip the buffer so they are not copied twice.
    if (!flushBuffer()) return false;
    if (size >= kBufferSize) {
      if (!WriteAll(fd_, bytes, size)) return fail(Status::LastSystemError());
      flushed_ += size;
    } else {
      buffer_.insert(buffer_.end(), bytes, bytes + size);
    }
  }
  size_ += size;
  return true;
}

bool AtomicFileWriter::writeAt(uint64_t offset, const void* data, std::size_t size) {
  if (fd_ < 0 || failed()) return false;
  if (offset > size_ || size > size_ - offset) return fail(Status::Error("a patch lies past the end of the file"));
  if (size == 0) return true;
  const auto* bytes = static_cast<const uint8_t*>(data);
  // The part that lies in the buffer is patched there; the rest on disk.
  if (offset + size > flushed_) {
    const uint64_t start = offset > flushed_ ? offset : flushed_;
    const std::size_t skip = static_cast<std::size_t>(start - offset);
    std::memcpy(buffer_.data() + (start - flushed_), bytes + skip, size - skip);
    size = skip;
  }
  if (size > 0 && !WriteAllAt(fd_, bytes, size, offset)) return fail(Status::LastSystemError());
  return true;
}

Status AtomicFileWriter::commit() {
  if (fd_ < 0) return failed() ? status_ : Status::Error("the file is not open");
  // fsync before the rename: otherwise a crash soon after could leave an
  // empty file where the old one used to be.
  if (flushBuffer() && ::fsync(fd_) != 0) fail(Status::LastSystemError());
  if (!failed() && temporaryPath_.empty()) {
    const std::string prefix = FolderOf(targetPath_) + "/" + TemporaryPrefix(BaseNameOf(targetPath_));
    bool linked = false;
    for (int attempt = 0; attempt < 64 && !linked; ++attempt) {
      const std::string name = prefix + RandomDigits() + std::string(kTemporaryEnd);
      linked = LinkUnnamed(fd_, name);
      if (linked) {
        temporaryPath_ = name;
        NoteUnfinished(name);
      } else if (errno != EEXIST) {
        fail(Status::LastSystemError());
        break;
      }
    }
    if (!linked) fail(Status::System(EEXIST));
  }
  if (!failed() && ::rename(temporaryPath_.c_str(), targetPath_.c_str()) != 0) fail(Status::LastSystemError());
  if (failed()) {
    if (!temporaryPath_.empty()) ::unlink(temporaryPath_.c_str());
  } else {
    SyncFolder(FolderOf(targetPath_));
  }
  ForgetUnfinished(temporaryPath_);
  // Closed only now: the lock guards the named file until it is in place.
  ::close(fd_);
  fd_ = -1;
  buffer_ = {};
  temporaryPath_.clear();
  return status_;
}

void AtomicFileWriter::abandon() {
  if (fd_ < 0) return;
  if (!temporaryPath_.empty()) ::unlink(temporaryPath_.c_str());
  ForgetUnfinished(temporaryPath_);
  ::close(fd_);
  fd_ = -1;
  temporaryPath_.clear();
  buffer_ = {};
}

void RemoveUnfinishedTemporaryFiles() {
  std::lock_guard lock(Unfinished().mutex);
  for (const std::string& path : Unfinished().paths) ::unlink(path.c_str());
  Unfinished().paths.clear();
}

Status WriteFileAtomically(const std::string& path, const std::function<bool(AtomicFileWriter&)>& fill,
                           const std::string& fillFailure) {
  AtomicFileWriter writer;
  if (Status created = writer.create(path); !created) return created;
  if (!fill(writer)) {
    Status why = writer.failed() ? writer.status() : Status::Error(fillFailure);
    writer.abandon();
    return why;
  }
  return writer.commit();
}

}  // namespace vornida
