// Writing a file so that readers only ever see the old file or the complete
// new one.
//
// The data goes to a hidden temporary file in the target's own folder (so the
// final rename never crosses file systems). `commit` flushes it to disk and
// renames it over the target in one step; until then the target, if it
// exists, is untouched. A writer that is abandoned, destroyed uncommitted or
// fails at any step removes its temporary file, so a failed or cancelled save
// never leaves a truncated file behind and never destroys the previous one.
//
// Every operation reports failure as a value; after the first failure the
// writer stays failed and `commit` returns false.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vornida {

class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  ~AtomicFileWriter();  // abandons an uncommitted file
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Creates the temporary file next to `path`. False when the folder does
  // not exist or cannot be written, or the writer is already in use.
  bool create(const std::string& path);

  // Appends bytes at the end of the file written so far.
  bool write(const void* data, std::size_t size);
  bool write(const std::vector<uint8_t>& bytes) { return write(bytes.data(), bytes.size()); }

  // Overwrites bytes that were already written (for lengths and offsets
  // known only later). The range must lie within `size()`.
  bool writeAt(uint64_t offset, const void* data, std::size_t size);

  // Bytes written so far (the offset the next `write` goes to).
  uint64_t size() const { return size_; }

  // Flushes, syncs and renames the temporary file over the target. False on
  // any failure (disk full, a folder in the way of the target, ...); the
  // temporary file is then removed and the target left as it was.
  bool commit();

  // Drops the temporary file; the target stays as it was.
  void abandon();

  bool isOpen() const { return fd_ >= 0; }
  bool failed() const { return failed_; }

  // The temporary file's path while open, for encoders that can only write
  // to a named file: they may write (or truncate and rewrite) it in place
  // before `commit`. Writes made this way are not counted in `size()`.
  const std::string& temporaryPath() const { return tempPath_; }
  const std::string& targetPath() const { return targetPath_; }

 private:
  bool flushBuffer();
  bool fail();

  int fd_ = -1;
  bool failed_ = false;
  uint64_t size_ = 0;          // logical size: flushed + buffered bytes
  uint64_t flushed_ = 0;       // bytes already handed to the kernel
  std::vector<uint8_t> buffer_;
  std::string targetPath_;
  std::string tempPath_;
};

// Writes `path` atomically with the bytes that `fill` produces through the
// writer. True only when `fill` returned true and the commit succeeded.
bool WriteFileAtomically(const std::string& path,
                         const std::function<bool(AtomicFileWriter&)>& fill);

}  // namespace vornida
