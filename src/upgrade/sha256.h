// SHA-256 digests of downloads, for checking them against a published sum.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace vornida {

// A digest computed piece by piece, as the bytes arrive.
class Sha256Stream {
 public:
  Sha256Stream();
  ~Sha256Stream();
  Sha256Stream(const Sha256Stream&) = delete;
  Sha256Stream& operator=(const Sha256Stream&) = delete;
  Sha256Stream(Sha256Stream&&) noexcept;
  Sha256Stream& operator=(Sha256Stream&&) noexcept;

  // Starts over with no bytes.
  void Reset();
  void Update(const void* data, std::size_t size);
  // Lower-case hexadecimal digest of everything given since the last Reset;
  // empty when the digest could not be computed.
  std::string FinishHex();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
  bool failed_ = false;
};

// Lower-case hexadecimal SHA-256 of the file's bytes; false when the file
// cannot be read.
bool Sha256OfFile(const std::string& path, std::string& hexOut);

// True when `actualHex` equals `expectedHex` (hexadecimal, either case,
// surrounding blanks ignored) and both are 64 digits long.
bool Sha256Matches(std::string_view actualHex, std::string_view expectedHex);

// True when `text` is a well-formed digest: 64 hexadecimal digits, surrounding
// blanks ignored.
bool IsSha256Hex(std::string_view text);

// True when the file's digest equals `expectedHex`.
bool FileMatchesSha256(const std::string& path, std::string_view expectedHex);

}  // namespace vornida
