#include "upgrade/sha256.h"

#include <openssl/evp.h>

#include <fstream>
#include <vector>

#include "base/text.h"

namespace vornida {

namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

struct Sha256Stream::Context {
  EVP_MD_CTX* digest = EVP_MD_CTX_new();
  ~Context() { EVP_MD_CTX_free(digest); }
};

Sha256Stream::Sha256Stream() : context_(std::make_unique<Context>()) { Reset(); }

Sha256Stream::~Sha256Stream() = default;
Sha256Stream::Sha256Stream(Sha256Stream&&) noexcept = default;
Sha256Stream& Sha256Stream::operator=(Sha256Stream&&) noexcept = default;

void Sha256Stream::Reset() {
  failed_ = !context_->digest || EVP_DigestInit_ex(context_->digest, EVP_sha256(), nullptr) != 1;
}

void Sha256Stream::Update(const void* data, std::size_t size) {
  if (!failed_ && size > 0 && EVP_DigestUpdate(context_->digest, data, size) != 1) failed_ = true;
}

std::string Sha256Stream::FinishHex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (failed_ || EVP_DigestFinal_ex(context_->digest, digest, &length) != 1) {
    failed_ = true;
    return {};
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0x0F];
  }
  failed_ = true;  // finished: a new digest needs Reset()
  return hex;
}

bool Sha256OfFile(const std::string& path, std::string& hexOut) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  Sha256Stream digest;
  std::vector<char> buffer(65536);
  while (file) {
    file.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const std::streamsize count = file.gcount();
    if (count > 0) digest.Update(buffer.data(), static_cast<std::size_t>(count));
  }
  if (file.bad()) return false;
  hexOut = digest.FinishHex();
  return !hexOut.empty();
}

bool IsSha256Hex(std::string_view text) {
  text = TrimBlanks(text);
  if (text.size() != 64) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
  return true;
}

bool Sha256Matches(std::string_view actualHex, std::string_view expectedHex) {
  return IsSha256Hex(actualHex) && IsSha256Hex(expectedHex) &&
         EqualsIgnoreAsciiCase(TrimBlanks(actualHex), TrimBlanks(expectedHex));
}

bool FileMatchesSha256(const std::string& path, std::string_view expectedHex) {
  std::string actual;
  return Sha256OfFile(path, actual) && Sha256Matches(actual, expectedHex);
}

}  // namespace vornida
