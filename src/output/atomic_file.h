// Writing a file so that readers only ever see the old file or the complete
// new one, and so that a crash leaves nothing behind.
//
// The data goes to a file without a name in the target's own folder
// (O_TMPFILE), so the final step never crosses file systems and a process
// killed while writing leaves no trace: the kernel frees the unnamed file.
// `commit` flushes it to disk, gives it a name and renames that over the
// target in one step; until then the target, if it exists, is untouched.
//
// Where the file system cannot make unnamed files (FAT, some network file
// systems), the data goes to a hidden temporary file beside the target:
//   .<name, cut to 200 bytes>.<hash of the whole name>.<16 hex digits>.tmp
// which stays well inside the 255-byte limit whatever the target's length.
// The writer holds a lock on it while it works; `create` removes every such
// file of the same target whose lock nobody holds, so the leftovers of a
// killed save go at the next save of that file.
//
// A writer that is abandoned, destroyed uncommitted or fails at any step
// drops its file, so a failed or cancelled save never leaves a truncated
// file behind and never destroys the previous one.
//
// Failures are reported as a Status with the system's reason ("No space left
// on device"). `write` and `writeAt` answer with a bool for speed; the first
// failure is kept in `status()`, the writer stays failed after it, and
// `commit` then reports that failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/status.h"

namespace vornida {

class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  ~AtomicFileWriter();  // abandons an uncommitted file
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Starts the file that will become `path`. Fails when the folder does not
  // exist or cannot be written, when a folder stands at `path`, or when the
  // writer is already in use.
  Status create(const std::string& path);

  // Appends bytes at the end of the file written so far.
  bool write(const void* data, std::size_t size);
  bool write(const std::vector<uint8_t>& bytes) { return write(bytes.data(), bytes.size()); }

  // Overwrites bytes that were already written (for lengths and offsets
  // known only later). The range must lie within `size()`.
  bool writeAt(uint64_t offset, const void* data, std::size_t size);

  // Bytes written so far (the offset the next `write` goes to).
  uint64_t size() const { return size_; }

  // The first failure since `create` (ok while everything went well).
  const Status& status() const { return status_; }
  bool failed() const { return !status_.ok(); }

  // Flushes, syncs and puts the file in place of the target. On any failure
  // (disk full, a folder in the way of the target, ...) the file is dropped
  // and the target left as it was.
  Status commit();

  // Drops the file; the target stays as it was.
  void abandon();

  bool isOpen() const { return fd_ >= 0; }
  // True while the file being written has no name (O_TMPFILE).
  bool isUnnamed() const { return isOpen() && temporaryPath_.empty(); }
  const std::string& targetPath() const { return targetPath_; }

 private:
  bool flushBuffer();
  bool fail(Status why);

  int fd_ = -1;
  Status status_;
  uint64_t size_ = 0;          // logical size: flushed + buffered bytes
  uint64_t flushed_ = 0;       // bytes already handed to the kernel
  std::vector<uint8_t> buffer_;
  std::string targetPath_;
  std::string temporaryPath_;  // empty for an unnamed file
};

// Removes the named temporary files of every writer of this process that has
// not finished, for a process that is about to end at once (an interruption
// handler running as an ordinary thread; not from inside a signal handler).
// Unnamed files need nothing: they go with the process.
void RemoveUnfinishedTemporaryFiles();

// Writes `path` atomically with the bytes that `fill` produces through the
// writer. Ok only when `fill` returned true and the commit succeeded; when
// `fill` gives up without a failure of the writer, the reason is `fillFailure`.
Status WriteFileAtomically(const std::string& path, const std::function<bool(AtomicFileWriter&)>& fill,
                           const std::string& fillFailure = "the data could not be prepared");

}  // namespace vornida
