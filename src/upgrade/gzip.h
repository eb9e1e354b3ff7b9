// Reading and writing gzip files over zlib's gzip file functions.
//
// The downloader uses CGZip to undo a gzip content encoding:
// Open(path, kGzRead), ReadAllInto (streaming into a new file), Close.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vornida::zlib {

// Open modes.
inline constexpr int kGzClosed = 0;
inline constexpr int kGzWrite = 1;
inline constexpr int kGzRead = 2;

// A compressed file opened for reading or writing.
class CZipper {
 public:
  virtual ~CZipper() = default;

  // Stores `mode` as the open mode.
  virtual bool SetMode(int mode);
  virtual bool Close() = 0;
  virtual bool IsOpen() const = 0;
  // Writing (mode kGzWrite only): true when every byte was written.
  virtual bool WriteBuffer(const void* data, std::size_t size) = 0;
  // Writes the text as UTF-16LE without a terminating NUL.
  virtual bool WriteString(std::string_view utf8) = 0;
  // Reading (mode kGzRead only): uncompressed bytes delivered, 0 when not
  // open for reading, -1 on a damaged stream.
  virtual int ReadBuffer(void* buffer, std::size_t size) = 0;
  // Reads the whole uncompressed content. False (and `out` empty) when
  // nothing is open for reading, the stream is damaged or cut off, or it is
  // empty.
  virtual bool ReadBufferAll(std::vector<std::uint8_t>& out) = 0;
  // Passes level and strategy to zlib (mode kGzWrite only); a zlib result.
  virtual int ApplyParams() = 0;

  int Mode() const { return m_nMode; }
  void SetLevel(int level) { m_nLevel = level; }
  void SetStrategy(int strategy) { m_nStrategy = strategy; }

 protected:
  int m_nMode = kGzClosed;
  int m_nLevel = -1;    // zlib's default level
  int m_nStrategy = 0;  // zlib's default strategy
};

class CGZip final : public CZipper {
 public:
  CGZip() = default;
  ~CGZip() override;
  CGZip(const CGZip&) = delete;
  CGZip& operator=(const CGZip&) = delete;

  // Opens `path` for writing (kGzWrite, created or truncated) or for reading
  // (kGzRead: the file must exist and be writable by us, as a download
  // target is). False when a file is open already or nothing could be opened.
  bool Open(const std::string& path, int mode);

  bool Close() override;
  bool IsOpen() const override;
  bool WriteBuffer(const void* data, std::size_t size) override;
  bool WriteString(std::string_view utf8) override;
  int ReadBuffer(void* buffer, std::size_t size) override;
  bool ReadBufferAll(std::vector<std::uint8_t>& out) override;
  int ApplyParams() override;

  // Reads the whole uncompressed content piece by piece into `sink`, so that
  // no more than one piece is held at a time. False when nothing is open for
  // reading, the stream is damaged or cut off, the sink refuses a piece, or
  // the content is empty.
  bool ReadAllInto(const std::function<bool(const std::uint8_t* data, std::size_t size)>& sink);

 private:
  void* m_gzFile = nullptr;       // gzFile
  std::uint64_t m_nChunkSize = 0;  // size of the compressed file when opened for reading
};

}  // namespace vornida::zlib
