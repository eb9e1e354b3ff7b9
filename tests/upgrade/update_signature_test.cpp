// Signatures made by the openssl tool through scripts/sign-update-manifest.sh,
// checked by the program.
#include "upgrade/update_signature.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace vornida {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

UpdateKey TestKey() {
  UpdateKey key{};
  EXPECT_TRUE(ParseUpdateKeyHex(VORNIDA_TEST_UPDATE_KEY, key));
  return key;
}

TEST(UpdateSignatureTest, AcceptsOnlyTheSignedBytesUnderTheTrustedKey) {
  TempFolder tmp;
  const std::string manifest = "<update curver=\"3.7\"><InstallUrl/></update>\n";
  WriteFile(tmp / "update.xml", manifest);
  ASSERT_TRUE(testing::SignWithTestKey(tmp / "update.xml"));
  const std::string signature = ReadFile(tmp / "update.xml.sig");
  ASSERT_EQ(signature.size(), kUpdateSignatureSize);

  EXPECT_EQ(CheckUpdateSignature(manifest, signature, TestKey()), SignatureCheck::kValid);
  // One changed byte of content or signature, or another key, fails.
  std::string changed = manifest;
  changed[15] = '8';
  EXPECT_EQ(CheckUpdateSignature(changed, signature, TestKey()), SignatureCheck::kInvalid);
  std::string forged = signature;
  forged[10] = static_cast<char>(forged[10] ^ 1);
  EXPECT_EQ(CheckUpdateSignature(manifest, forged, TestKey()), SignatureCheck::kInvalid);
  EXPECT_EQ(CheckUpdateSignature(manifest, signature, ReleaseUpdateKey()), SignatureCheck::kInvalid);
  EXPECT_EQ(CheckUpdateSignature(manifest, signature.substr(0, 63), TestKey()), SignatureCheck::kMalformed);
  EXPECT_EQ(CheckUpdateSignature(manifest, "", TestKey()), SignatureCheck::kMalformed);
}

TEST(UpdateSignatureTest, ReadsKeysAsExactlySixtyFourHexDigits) {
  UpdateKey key{};
  key[0] = 7;
  EXPECT_FALSE(ParseUpdateKeyHex(std::string(63, 'a'), key));
  EXPECT_FALSE(ParseUpdateKeyHex(std::string(62, 'a') + "xz", key));
  EXPECT_EQ(key[0], 7) << "unchanged on failure";
  ASSERT_TRUE(ParseUpdateKeyHex("FF" + std::string(62, '0'), key));
  EXPECT_EQ(key[0], 0xFF);
  EXPECT_EQ(key[31], 0);
}

}  // namespace
}  // namespace vornida
