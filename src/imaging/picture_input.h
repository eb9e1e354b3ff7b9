// The bytes of a picture: a regular file read in pieces, or bytes already in
// memory. Decoders read what they need from it, so a large file is never
// held whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "imaging/bitmap.h"

namespace vornida::imaging_internal {

class PictureInput {
 public:
  // Opens `path` for reading, but only when it is a regular file: a FIFO,
  // a device, a socket or a folder is never opened (opening a FIFO waits
  // for a writer; reading a device may never end). On failure `ok()` is
  // false and `status` says why (NotAFile or Unreadable).
  static PictureInput OpenFile(const std::string& path, LoadStatus& status);
  static PictureInput FromMemory(std::span<const std::uint8_t> bytes);

  PictureInput(PictureInput&& other) noexcept;
  PictureInput& operator=(PictureInput&&) = delete;
  PictureInput(const PictureInput&) = delete;
  ~PictureInput();

  bool ok() const { return fd_ >= 0 || memory_.data() != nullptr; }
  std::int64_t size() const { return size_; }
  // Up to `count` bytes from `offset` into `out`; fewer at the end of the
  // data, 0 past it or on a read error.
  std::size_t ReadAt(std::int64_t offset, void* out, std::size_t count) const;
  // The bytes, when they are in memory; empty for a file.
  std::span<const std::uint8_t> memory() const { return memory_; }
  // The open file, or -1 for bytes in memory.
  int descriptor() const { return fd_; }
  // The file's stamp when it was opened.
  const FileStamp& stamp() const { return stamp_; }
  // The path it was opened from; empty for bytes in memory.
  const std::string& path() const { return path_; }

 private:
  PictureInput() = default;
  int fd_ = -1;
  FileStamp stamp_;
  std::int64_t size_ = 0;
  std::span<const std::uint8_t> memory_;
  std::string path_;
};

// Reads an input front to back through a small buffer.
class InputReader {
 public:
  explicit InputReader(const PictureInput& input, std::int64_t offset = 0) : input_(input), offset_(offset) {}
  // The next byte, or -1 at the end of the data.
  int Next() {
    if (at_ == end_ && !Refill()) return -1;
    return buffer_[at_++];
  }
  std::int64_t position() const { return offset_ - static_cast<std::int64_t>(end_ - at_); }

 private:
  bool Refill();
  const PictureInput& input_;
  std::int64_t offset_;
  std::uint8_t buffer_[16384];
  std::size_t at_ = 0, end_ = 0;
};

}  // namespace vornida::imaging_internal
