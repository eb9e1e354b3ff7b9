// Signed update manifests.
//
// The update server publishes next to its manifest ("…/update.xml") a
// detached Ed25519 signature of the manifest's bytes ("…/update.xml.sig",
// the 64 raw bytes that `openssl pkeyutl -sign -rawin` writes; see
// scripts/sign-update-manifest.sh). The program trusts exactly one public
// key, built in: ReleaseUpdateKey(). Nothing in a manifest is used before its
// signature has been checked against it, and the sha256 of every download is
// taken from the signed manifest only.
//
// Only code linked into the program can name another key (the wizard's
// settings carry the key to check against); no file, option or environment
// variable of a shipped program replaces it. The test suite builds its own
// copies of the programs with the test key compiled in.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace vornida {

// A raw Ed25519 public key.
using UpdateKey = std::array<std::uint8_t, 32>;

inline constexpr std::size_t kUpdateSignatureSize = 64;

// The key our update server signs its manifests with.
const UpdateKey& ReleaseUpdateKey();

// Reads a key written as 64 hexadecimal digits (either case). False, with
// `out` unchanged, for anything else.
bool ParseUpdateKeyHex(std::string_view hex, UpdateKey& out);

enum class SignatureCheck {
  kValid,
  kMalformed,  // the signature is not 64 bytes
  kInvalid,    // it does not verify: other content, other key, or forged
};

// Checks the detached signature of `content` against `key`.
SignatureCheck CheckUpdateSignature(std::string_view content, std::string_view signature, const UpdateKey& key);

}  // namespace vornida
