#include "app/registry.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "scratch.h"

namespace vornida {
namespace {

namespace fs = std::filesystem;
using testing::EnvOverride;
using testing::ModeOf;
using testing::ReadBytes;
using testing::ScratchFolder;

class RegistryTest : public ::testing::Test {
 protected:
  ScratchFolder scratch;
  EnvOverride config{"XDG_CONFIG_HOME", scratch / "config"};
  std::string store = SelectRegistryStore("Vornida", "vornida");
};

TEST_F(RegistryTest, StoreIsOnePrivateFilePerCompanyAndApplication) {
  EXPECT_EQ(store, scratch / "config/Vornida/vornida.ini");
  EXPECT_EQ(GetRegistryStorePath(), store);
  EXPECT_EQ(GetRegistryString("Setting", "Never"), "");
  EXPECT_FALSE(fs::exists(store));  // reading creates nothing

  ASSERT_TRUE(SetRegistryString("Setting", "Volume", "7"));
  EXPECT_EQ(ModeOf(scratch / "config/Vornida"), 0700u);
  EXPECT_EQ(ModeOf(store), 0600u);
  EXPECT_EQ(ReadBytes(store), "[Setting]\nVolume=7\n");
}

TEST_F(RegistryTest, SectionsKeepValuesApart) {
  ASSERT_TRUE(SetRegistryString("Other", "Theme", "dark"));
  EXPECT_EQ(GetRegistryString("Setting", "Theme"), "");
  EXPECT_EQ(GetRegistryString("other", "THEME"), "dark");
  ASSERT_TRUE(SetRegistryString("Setting", "Theme", "light"));
  EXPECT_EQ(GetRegistryString("Other", "Theme"), "dark");
  EXPECT_EQ(GetRegistryString("Setting", "Theme"), "light");
}

TEST_F(RegistryTest, ValuesComeBackWhole) {
  const std::string value(5000, 'r');
  ASSERT_TRUE(SetRegistryString("Setting", "Big", value));
  EXPECT_EQ(GetRegistryString("Setting", "Big"), value);
  EXPECT_FALSE(SetRegistryString("Setting", "Bad", "two\nlines"));
  EXPECT_EQ(GetRegistryString("Setting", "Bad"), "");
}

TEST_F(RegistryTest, RecentFoldersFallBackWhenEmpty) {
  EXPECT_EQ(GetRecent(kRecentImportPhoto), "");
  EXPECT_EQ(GetRecent(kRecentImportPhoto, "/home/u/Pictures"), "/home/u/Pictures");
  ASSERT_TRUE(SetRecent(kRecentImportPhoto, "/media/card/DCIM"));
  EXPECT_EQ(GetRecent(kRecentImportPhoto, "/home/u/Pictures"), "/media/card/DCIM");
  EXPECT_EQ(GetRegistryString("Recent", "ImportPhotoPath"), "/media/card/DCIM");
  ASSERT_TRUE(SetRecent(kRecentImportPhoto, ""));
  EXPECT_EQ(GetRecent(kRecentImportPhoto, "/fallback"), "/fallback");
}

TEST_F(RegistryTest, DefaultApplicationIsTheProgramName) {
  EXPECT_EQ(SelectRegistryStore("Vornida"), scratch / "config/Vornida/app_tests.ini");
  EXPECT_EQ(SelectRegistryStore("Evil/../Co", "a/b"), scratch / "config/Evil_.._Co/a_b.ini");
}

}  // namespace
}  // namespace vornida
