#include "upgrade/update_manifest.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace vornida {
namespace {

using testing::TempFolder;
using testing::WriteFile;

TEST(VersionNumberTest, ReadsTheLongestDecimalPrefix) {
  EXPECT_DOUBLE_EQ(ParseVersionNumber("3.61"), 3.61);
  EXPECT_DOUBLE_EQ(ParseVersionNumber("  \t3.7beta"), 3.7);
  EXPECT_DOUBLE_EQ(ParseVersionNumber("+2.5"), 2.5);
  EXPECT_DOUBLE_EQ(ParseVersionNumber("-1"), -1.0);
  EXPECT_DOUBLE_EQ(ParseVersionNumber("1e2"), 100.0);
  EXPECT_DOUBLE_EQ(ParseVersionNumber("v3.7"), 0.0);
  EXPECT_DOUBLE_EQ(ParseVersionNumber(""), 0.0);
  EXPECT_DOUBLE_EQ(ParseVersionNumber("3.1.4"), 3.1);
  // Decimal numbers, not dotted versions: 3.10 is older than 3.9.
  EXPECT_LT(ParseVersionNumber("3.10"), ParseVersionNumber("3.9"));
}

TEST(UrlListTest, SplitsAtEverySemicolon) {
  EXPECT_EQ(SplitUrlList("http://a/u.xml"), std::vector<std::string>{"http://a/u.xml"});
  EXPECT_EQ(SplitUrlList("a;b;"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(SplitUrlList("a;;b"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(SplitUrlList(""), std::vector<std::string>{""});
}

TEST(FormatWithDoublesTest, FillsOnlyFloatingConversions) {
  EXPECT_EQ(FormatWithDoubles("now %.2f, server %.2f", {3.61, 3.7}), "now 3.61, server 3.70");
  EXPECT_EQ(FormatWithDoubles("v%g (100%%)", {3.5}), "v3.5 (100%)");
  EXPECT_EQ(FormatWithDoubles("%lf|%8.1f|%-6.1f|", {1.5, 2.25, 3}), "1.500000|     2.2|3.0   |");
  // Conversions that would read other types are left as text; missing
  // values read as 0.
  EXPECT_EQ(FormatWithDoubles("%s %n %d %x %f", {}), "%s %n %d %x 0.000000");
  EXPECT_EQ(FormatWithDoubles("trailing %", {1}), "trailing %");
  // Absurd widths are cut to three digits rather than honoured.
  EXPECT_LE(FormatWithDoubles("%999999999f", {1}).size(), 1000u);
}

class ManifestFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& xml) {
    WriteFile(tmp / "update.xml", xml);
    return tmp / "update.xml";
  }
  TempFolder tmp;
};

constexpr const char* kFullManifest = R"(<?xml version="1.0" encoding="utf-8"?>
<update CURVER="3.7">
  <UpdateFile>
    <FileList>
      <File verfrom="3.0" verto="3.4" name="old.zip"/>
      <File verfrom="3.5" verto="3.61" name="patch361.zip"/>
      <File verfrom="3.6" verto="3.7" name="later.zip"/>
    </FileList>
    <Urls><Url src="http://h/p" type="ZIPEXE" inzipexename="patch.exe"/></Urls>
  </UpdateFile>
  <UpgradeDesc>Faster &amp; smaller</UpgradeDesc>
  <InstallUrl>
    <url SRC="http://h/setup37.zip" type="ZIPEXE" inzipexename="setup.deb" sha256="abc"/>
    <Url src="http://m/setup37.deb"/>
  </InstallUrl>
</update>)";

TEST_F(ManifestFileTest, ReadsVersionPatchAndDescriptionWhenNewer) {
  const ManifestVersion v = ReadManifestVersion(Write(kFullManifest), "3.61");
  EXPECT_TRUE(v.loaded);
  EXPECT_DOUBLE_EQ(v.current, 3.61);
  EXPECT_DOUBLE_EQ(v.server, 3.7);
  EXPECT_TRUE(v.newer);
  EXPECT_TRUE(v.hasFileList);
  EXPECT_TRUE(v.patchFound);
  EXPECT_EQ(v.patchName, "patch361.zip") << "first match wins; both ends included";
  EXPECT_TRUE(v.hasDescription);
  EXPECT_EQ(v.description, "Faster & smaller");

  const ManifestVersion same = ReadManifestVersion(Write(kFullManifest), "3.7");
  EXPECT_FALSE(same.newer);
  EXPECT_FALSE(same.hasDescription) << "nothing more is read when not newer";
}

TEST_F(ManifestFileTest, MissingPartsAndBadFiles) {
  // No curver: the server counts as 0, never newer.
  EXPECT_FALSE(ReadManifestVersion(Write("<u><UpgradeDesc>x</UpgradeDesc></u>"), "1").newer);
  // Newer, but without UpdateFile/FileList: no description.
  const ManifestVersion bare = ReadManifestVersion(Write("<u curver='9'><UpgradeDesc>x</UpgradeDesc></u>"), "1");
  EXPECT_TRUE(bare.newer);
  EXPECT_FALSE(bare.hasFileList);
  EXPECT_FALSE(bare.hasDescription);
  // A description before UpdateFile is not found (the search runs forward).
  const ManifestVersion early = ReadManifestVersion(
      Write("<u curver='9'><UpgradeDesc>x</UpgradeDesc><UpdateFile><FileList/></UpdateFile></u>"), "1");
  EXPECT_TRUE(early.hasFileList);
  EXPECT_FALSE(early.hasDescription);
  EXPECT_FALSE(ReadManifestVersion(Write("<u curver='9'><unclosed></u>"), "1").loaded);
  EXPECT_FALSE(ReadManifestVersion(tmp / "missing.xml", "1").loaded);
  EXPECT_TRUE(ReadInstallItems(tmp / "missing.xml").empty());
  EXPECT_TRUE(ReadInstallItems(Write("<u curver='9'/>")).empty());
}

TEST_F(ManifestFileTest, ReadsInstallItemsInOrder) {
  const std::vector<DownloadItem> items = ReadInstallItems(Write(kFullManifest));
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].src, "http://h/setup37.zip");
  EXPECT_EQ(items[0].type, "ZIPEXE");
  EXPECT_EQ(items[0].inZipExeName, "setup.deb");
  EXPECT_EQ(items[0].sha256, "abc");
  EXPECT_EQ(items[1].src, "http://m/setup37.deb");
  EXPECT_EQ(items[1].type, "");
  EXPECT_EQ(items[1].sha256, "");
}

}  // namespace
}  // namespace vornida
