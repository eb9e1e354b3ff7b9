#include "app/folders.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/paths.h"
#include "scratch.h"

namespace vornida {
namespace {

namespace fs = std::filesystem;
using testing::EnvOverride;
using testing::ModeOf;
using testing::ScratchFolder;
using testing::WriteBytes;

constexpr uid_t kNobody = 65534;

std::string PrivateBaseIn(const ScratchFolder& scratch) {
  return scratch / ("vornida-" + std::to_string(::geteuid()));
}

uid_t OwnerOf(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0 ? info.st_uid : kNobody;
}

TEST(TempFolderTest, PrivateBaseBelowTmpdir) {
  ScratchFolder scratch;
  EnvOverride tmpdir("TMPDIR", scratch.path() + "/");
  EXPECT_EQ(GetSystemTempPath(), scratch.path() + "/");
  const std::string base = PrivateBaseIn(scratch);
  EXPECT_EQ(GetTempFolder(), base + "/");
  EXPECT_EQ(ModeOf(base), 0700u);
  EXPECT_EQ(OwnerOf(base), ::geteuid());
  EXPECT_EQ(MakeTempPath("Vornida"), base + "//Vornida");
  EXPECT_EQ(MakeTempPath("/elsewhere/x.png"), "/elsewhere/x.png");
}

TEST(TempFolderTest, RelativeOrMissingTmpdirIsIgnored) {
  {
    EnvOverride tmpdir("TMPDIR", "relative/tmp");
    EXPECT_EQ(GetSystemTempPath(), "/tmp/");
  }
  ScratchFolder scratch;
  EnvOverride tmpdir("TMPDIR", scratch.path() + "/no/such/folder");
  EXPECT_EQ(GetSystemTempPath(), "/tmp/");
  EXPECT_FALSE(GetTempFolder().empty());
}

TEST(TempFolderTest, LooseModeOfOurOwnBaseIsTightened) {
  ScratchFolder scratch;
  EnvOverride tmpdir("TMPDIR", scratch.path());
  const std::string base = PrivateBaseIn(scratch);
  fs::create_directory(base);
  ::chmod(base.c_str(), 0777);
  EXPECT_EQ(GetTempFolder(), base + "/");
  EXPECT_EQ(ModeOf(base), 0700u);
}

// Someone else planted the fixed name: it must not be used, and nothing may
// be written where it points.
TEST(TempFolderTest, PlantedBaseIsRefusedForAFreshPrivateFolder) {
  ScratchFolder scratch;
  EnvOverride tmpdir("TMPDIR", scratch.path());
  const std::string base = PrivateBaseIn(scratch);
  fs::create_directory(scratch / "attacker");
  fs::create_directory_symlink(scratch / "attacker", base);

  const std::string temp = GetTempFolder();
  ASSERT_FALSE(temp.empty());
  EXPECT_NE(temp, base + "/");
  EXPECT_EQ(temp.rfind(base + "-", 0), 0u) << temp;
  EXPECT_EQ(ModeOf(temp), 0700u);
  EXPECT_EQ(GetTempFolder(), temp);  // the same fallback for the rest of the run

  const std::string thumbs = InitThumbnailFolder("Vornida");
  EXPECT_EQ(thumbs, temp + "/Vornida");
  EXPECT_TRUE(fs::is_empty(scratch / "attacker"));
}

TEST(PrivateFolderTest, RefusesLinksFilesAndForeignFolders) {
  ScratchFolder scratch;
  fs::create_directory(scratch / "real");
  fs::create_directory_symlink(scratch / "real", scratch / "link");
  WriteBytes(scratch / "file", "x");
  fs::create_directory(scratch / "foreign");
  ASSERT_EQ(::chown((scratch / "foreign").c_str(), kNobody, kNobody), 0);

  EXPECT_FALSE(MakePrivateFolder(scratch / "link"));
  EXPECT_FALSE(MakePrivateFolder(scratch / "file"));
  EXPECT_FALSE(MakePrivateFolder(scratch / "foreign"));
  EXPECT_FALSE(MakePrivateFolder(scratch / "missing/parent"));
  EXPECT_TRUE(MakePrivateFolder(scratch / "fresh"));
  EXPECT_EQ(ModeOf(scratch / "fresh"), 0700u);
}

TEST(ThumbnailFolderTest, CreatedPrivateAndEmptiedAtExit) {
  ScratchFolder scratch;
  EnvOverride tmpdir("TMPDIR", scratch.path());
  const std::string folder = InitThumbnailFolder("Vornida");
  ASSERT_EQ(folder, PrivateBaseIn(scratch) + "//Vornida");
  EXPECT_EQ(GetThumbnailFolder(), folder);
  EXPECT_EQ(ModeOf(folder), 0700u);

  WriteBytes(folder + "/1000.png", "x");
  WriteBytes(folder + "/TextShape.png", "x");
  EXPECT_TRUE(ShellFileOperation(MakeTempPath("Vornida") + "/*.*", "", kShellDelete));
  EXPECT_TRUE(fs::is_empty(folder));
}

TEST(ThumbnailFolderTest, SymlinkInPlaceIsRefused) {
  ScratchFolder scratch;
  EnvOverride tmpdir("TMPDIR", scratch.path());
  const std::string base = GetTempFolder();
  fs::create_directory(scratch / "elsewhere");
  fs::create_directory_symlink(scratch / "elsewhere", base + "Vornida");
  EXPECT_EQ(InitThumbnailFolder("Vornida"), "");
  EXPECT_EQ(GetThumbnailFolder(), "");
}

TEST(AppDataFolderTest, FollowsXdgDataHomeAndCreatesIt) {
  ScratchFolder scratch;
  EnvOverride data("XDG_DATA_HOME", scratch / "data/home");
  EXPECT_EQ(InitAppDataFolder("Vornida"), scratch / "data/home/Vornida");
  EXPECT_TRUE(fs::is_directory(scratch / "data/home/Vornida"));
  EXPECT_EQ(GetAppDataFolder(), scratch / "data/home/Vornida");
  EXPECT_EQ(MakeAppDataPath("Setting.ini"), scratch / "data/home/Vornida/Setting.ini");
}

TEST(AppDataFolderTest, DefaultsBelowHome) {
  ScratchFolder scratch;
  EnvOverride data("XDG_DATA_HOME", "not/absolute");
  EnvOverride home("HOME", scratch.path());
  EXPECT_EQ(InitAppDataFolder("Vornida"), scratch / ".local/share/Vornida");
  EXPECT_TRUE(fs::is_directory(scratch / ".local/share/Vornida"));
}

TEST(ConfigFolderTest, FollowsXdgConfigHomeElseHome) {
  ScratchFolder scratch;
  EnvOverride home("HOME", scratch.path());
  {
    EnvOverride config("XDG_CONFIG_HOME", scratch / "cfg/");
    EXPECT_EQ(GetConfigFolder(), scratch / "cfg");
  }
  EnvOverride config("XDG_CONFIG_HOME", "");
  EXPECT_EQ(GetConfigFolder(), scratch / ".config");
}

TEST(ModuleFolderTest, IsTheFolderOfThisTestProgram) {
  const std::string folder = GetModuleFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(IsAbsolutePath(folder));
  EXPECT_NE(folder.back(), '/');
  EXPECT_TRUE(IsFile(folder + "/app_tests"));
  EXPECT_EQ(MakeAbsolutePath("x.swf", "/opt/v"), "/opt/v/x.swf");
  EXPECT_EQ(MakeAbsolutePath("/abs/x.swf", "/opt/v"), "/abs/x.swf");
}

// This test program has no program folder beside it, so it looks where an
// installed program would: share/vornida next to the folder it lives in.
// That folder does not exist, and the lookup says so, naming it.
TEST(ProgramFolderTest, WithoutACopyBesideTheProgramItIsTheInstalledPlace) {
  const std::string module = GetModuleFolder();
  const std::string installed = std::filesystem::path(module).parent_path().string() + "/share/vornida";
  ASSERT_FALSE(std::filesystem::exists(module + "/TBgBrush.png"));
  EXPECT_EQ(GetProgramFolder(), installed);
  EXPECT_EQ(MakeAbsolutePath("shapes/heart.png"), installed + "/shapes/heart.png");

  const ProgramFile movie = FindProgramFile("movie/main.html");
  EXPECT_FALSE(movie);
  EXPECT_EQ(movie.path, "");
  EXPECT_NE(movie.error.find(installed), std::string::npos) << movie.error;
}

}  // namespace
}  // namespace vornida
