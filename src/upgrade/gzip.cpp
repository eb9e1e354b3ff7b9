#include "upgrade/gzip.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>

#include "base/text.h"

namespace vornida::zlib {

namespace {

gzFile AsGz(void* file) { return static_cast<gzFile>(file); }

// One gzread call delivers at most this much, whatever the file size.
constexpr std::uint64_t kMaxChunk = 1u << 30;
// Largest piece handed to a sink at a time.
constexpr std::uint64_t kMaxSinkChunk = 1u << 20;

}  // namespace

bool CZipper::SetMode(int mode) {
  m_nMode = mode;
  return true;
}

CGZip::~CGZip() { Close(); }

bool CGZip::Open(const std::string& path, int mode) {
  if (IsOpen()) return false;
  if (mode == kGzWrite) {
    m_gzFile = gzopen(path.c_str(), "wb");
    if (m_gzFile) {
      SetMode(kGzWrite);
      ApplyParams();
    }
  } else if (mode == kGzRead) {
    struct stat st {};
    if (::access(path.c_str(), W_OK) == 0 && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      m_nChunkSize = static_cast<std::uint64_t>(st.st_size);
      m_gzFile = gzopen(path.c_str(), "rb");
    }
  }
  SetMode(m_gzFile ? mode : kGzClosed);
  return m_gzFile != nullptr;
}

bool CGZip::Close() {
  if (!m_gzFile) return false;
  const int result = gzclose(AsGz(m_gzFile));
  m_gzFile = nullptr;
  SetMode(kGzClosed);
  return result == Z_OK;
}

bool CGZip::IsOpen() const { return m_gzFile != nullptr; }

bool CGZip::WriteBuffer(const void* data, std::size_t size) {
  if (m_nMode != kGzWrite || !m_gzFile) return false;
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const unsigned part = static_cast<unsigned>(std::min<std::size_t>(size, kMaxChunk));
    if (gzwrite(AsGz(m_gzFile), bytes, part) != static_cast<int>(part)) return false;
    bytes += part;
    size -= part;
  }
  return true;
}

bool CGZip::WriteString(std::string_view utf8) {
  const std::u16string text = Utf8ToUtf16(utf8);
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return WriteBuffer(bytes.data(), bytes.size());
}

int CGZip::ReadBuffer(void* buffer, std::size_t size) {
  if (m_nMode != kGzRead || !m_gzFile) return 0;
  return gzread(AsGz(m_gzFile), buffer, static_cast<unsigned>(std::min<std::size_t>(size, kMaxChunk)));
}

bool CGZip::ReadBufferAll(std::vector<std::uint8_t>& out) {
  out.clear();
  std::vector<std::uint8_t> content;
  const bool read = ReadAllInto([&content](const std::uint8_t* data, std::size_t size) {
    content.insert(content.end(), data, data + size);
    return true;
  });
  if (read) out = std::move(content);
  return read;
}

bool CGZip::ReadAllInto(const std::function<bool(const std::uint8_t*, std::size_t)>& sink) {
  if (m_nMode != kGzRead || !m_gzFile || m_nChunkSize == 0) return false;
  // Chunks as large as the compressed file, within reason: most contents
  // come in a few reads.
  const std::size_t chunkSize = static_cast<std::size_t>(std::clamp<std::uint64_t>(m_nChunkSize, 1, kMaxSinkChunk));
  std::vector<std::uint8_t> chunk(chunkSize);
  std::uint64_t total = 0;
  for (;;) {
    const int count = ReadBuffer(chunk.data(), chunk.size());
    if (count < 0) return false;
    if (count == 0) {
      // zlib ends a cut-off stream quietly; only its error state tells.
      int error = Z_OK;
      gzerror(AsGz(m_gzFile), &error);
      if (error != Z_OK) return false;
      break;
    }
    if (!sink(chunk.data(), static_cast<std::size_t>(count))) return false;
    total += static_cast<std::uint64_t>(count);
  }
  return total != 0;
}

int CGZip::ApplyParams() {
  if (m_nMode != kGzWrite || !m_gzFile) return Z_STREAM_ERROR;
  return gzsetparams(AsGz(m_gzFile), m_nLevel, m_nStrategy);
}

}  // namespace vornida::zlib
