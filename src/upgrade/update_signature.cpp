#include "upgrade/update_signature.h"

#include <openssl/evp.h>

#include <memory>

namespace vornida {

namespace {

// The public half of the update server's signing key. Replace it with the
// output of `scripts/sign-update-manifest.sh --public-key KEY.pem` when the
// signing key changes; the private half never enters the repository.
constexpr UpdateKey kReleaseKey = {0xe6, 0x32, 0xf3, 0xd9, 0xdc, 0x7b, 0x59, 0xfc, 0x44, 0x9b, 0x17,
                                   0xe7, 0x50, 0x48, 0x88, 0xfd, 0x13, 0x43, 0x7c, 0xb1, 0x97, 0x51,
                                   0x35, 0x85, 0xb5, 0x71, 0xd7, 0x09, 0xa8, 0x5f, 0x28, 0x66};

struct KeyDeleter {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct DigestDeleter {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

const UpdateKey& ReleaseUpdateKey() { return kReleaseKey; }

bool ParseUpdateKeyHex(std::string_view hex, UpdateKey& out) {
  if (hex.size() != 2 * out.size()) return false;
  UpdateKey key{};
  for (std::size_t i = 0; i < key.size(); ++i) {
    const int high = HexValue(hex[2 * i]), low = HexValue(hex[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    key[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  out = key;
  return true;
}

SignatureCheck CheckUpdateSignature(std::string_view content, std::string_view signature, const UpdateKey& key) {
  if (signature.size() != kUpdateSignatureSize) return SignatureCheck::kMalformed;
  std::unique_ptr<EVP_PKEY, KeyDeleter> publicKey(
      EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()));
  std::unique_ptr<EVP_MD_CTX, DigestDeleter> context(EVP_MD_CTX_new());
  // Ed25519 hashes the message itself: no digest is named.
  if (!publicKey || !context ||
      EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, publicKey.get()) != 1)
    return SignatureCheck::kInvalid;
  const int verified =
      EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                       reinterpret_cast<const unsigned char*>(content.data()), content.size());
  return verified == 1 ? SignatureCheck::kValid : SignatureCheck::kInvalid;
}

}  // namespace vornida
