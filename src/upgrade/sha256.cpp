#include "upgrade/sha256.h"

#include <openssl/evp.h>

#include <fstream>
#include <memory>
#include <vector>

#include "base/text.h"

namespace vornida {

namespace {

struct DigestContextDeleter {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

bool Sha256OfFile(const std::string& path, std::string& hexOut) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::unique_ptr<EVP_MD_CTX, DigestContextDeleter> context(EVP_MD_CTX_new());
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return false;
  std::vector<char> buffer(65536);
  while (file) {
    file.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const std::streamsize count = file.gcount();
    if (count > 0 && EVP_DigestUpdate(context.get(), buffer.data(), static_cast<std::size_t>(count)) != 1)
      return false;
  }
  if (file.bad()) return false;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return false;
  static constexpr char kHex[] = "0123456789abcdef";
  hexOut.clear();
  for (unsigned int i = 0; i < length; ++i) {
    hexOut += kHex[digest[i] >> 4];
    hexOut += kHex[digest[i] & 0x0F];
  }
  return true;
}

bool FileMatchesSha256(const std::string& path, std::string_view expectedHex) {
  while (!expectedHex.empty() && (expectedHex.front() == ' ' || expectedHex.front() == '\t'))
    expectedHex.remove_prefix(1);
  while (!expectedHex.empty() && (expectedHex.back() == ' ' || expectedHex.back() == '\t'))
    expectedHex.remove_suffix(1);
  std::string actual;
  return Sha256OfFile(path, actual) && EqualsIgnoreAsciiCase(actual, expectedHex);
}

}  // namespace vornida
