#include "app/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "scratch.h"

namespace vornida {
namespace {

namespace fs = std::filesystem;
using testing::ScratchFolder;
using testing::WriteBytes;

TEST(PathTextTest, AbsolutePathRules) {
  EXPECT_TRUE(IsAbsolutePath("/"));
  EXPECT_TRUE(IsAbsolutePath("/a"));
  EXPECT_TRUE(IsAbsolutePath("C:/x"));
  EXPECT_TRUE(IsAbsolutePath("//server/share"));
  EXPECT_TRUE(IsAbsolutePath("http://example.org/a.png"));
  EXPECT_FALSE(IsAbsolutePath(""));
  EXPECT_FALSE(IsAbsolutePath("C:"));    // bare drive
  EXPECT_FALSE(IsAbsolutePath("C:x"));
  EXPECT_FALSE(IsAbsolutePath("://x"));  // "://" must not stand first
  EXPECT_FALSE(IsAbsolutePath("photos/a.jpg"));
}

TEST(PathTextTest, PartsOfAPath) {
  EXPECT_EQ(GetFolderPart("/home/u/pic.jpg"), "/home/u");
  EXPECT_EQ(GetFileNamePart("/home/u/pic.jpg"), "pic.jpg");
  EXPECT_EQ(GetFolderPart("pic.jpg"), "");
  EXPECT_EQ(GetFileNamePart("pic.jpg"), "pic.jpg");
  EXPECT_EQ(GetFolderPart("/pic.jpg"), "");
  EXPECT_EQ(GetFileNamePart("a/b/"), "");
  EXPECT_EQ(GetFileExtension("a/b.tar.gz"), "gz");
  EXPECT_EQ(GetFileExtension("/my.photos/readme"), "photos/readme");  // the dot of a folder counts
  EXPECT_EQ(GetFileExtension("/photos/readme"), "");
}

TEST(FolderCreationTest, EnsureFolderCreatesEveryLevel) {
  ScratchFolder scratch;
  EXPECT_TRUE(EnsureFolder(scratch / "one/two"));
  EXPECT_TRUE(fs::is_directory(scratch / "one/two"));
  EXPECT_TRUE(EnsureFolder(scratch / "three/four/"));
  EXPECT_TRUE(fs::is_directory(scratch / "three/four"));
  EXPECT_FALSE(fs::exists(scratch / "one/two/ghost.txt"));
  EXPECT_TRUE(EnsureFolder(scratch / "one/two"));  // already there
}

TEST(FolderCreationTest, ParentFoldersStopBeforeTheFileName) {
  ScratchFolder scratch;
  EXPECT_TRUE(CreateParentFolders(scratch / "a/b/file.png"));
  EXPECT_TRUE(fs::is_directory(scratch / "a/b"));
  EXPECT_FALSE(fs::exists(scratch / "a/b/file.png"));
}

TEST(FolderCreationTest, RelativePathsGrowFromTheCurrentFolder) {
  ScratchFolder scratch;
  const fs::path before = fs::current_path();
  fs::current_path(scratch.path());
  const bool created = CreateParentFolders("rel/deeper/x.txt");
  fs::current_path(before);
  EXPECT_TRUE(created);
  EXPECT_TRUE(fs::is_directory(scratch / "rel/deeper"));
}

TEST(FolderCreationTest, FailureIsReportedWhenAFileBlocksTheWay) {
  ScratchFolder scratch;
  WriteBytes(scratch / "blocker", "x");
  EXPECT_FALSE(EnsureFolder(scratch / "blocker/inner"));
  EXPECT_FALSE(CreateParentFolders(scratch / "blocker/inner/f.txt"));
}

TEST(IsFileTest, FilesFoldersPatternsAndLinks) {
  ScratchFolder scratch;
  WriteBytes(scratch / "photo.jpg", "x");
  WriteBytes(scratch / "README", "x");
  fs::create_directory(scratch / "album");
  fs::create_directory(scratch / "sub");
  fs::create_directory(scratch / "sub/only.d");
  fs::create_symlink(scratch / "missing", scratch / "dangling");

  EXPECT_TRUE(IsFile(scratch / "photo.jpg"));
  EXPECT_FALSE(IsFile(scratch / "album"));
  EXPECT_FALSE(IsFile(scratch / "nothing.jpg"));
  EXPECT_FALSE(IsFile(scratch / "dangling"));
  EXPECT_TRUE(IsFile(scratch / "*.jpg"));
  EXPECT_TRUE(IsFile(scratch / "ph?to.*"));
  EXPECT_TRUE(IsFile(scratch / "README.*"));     // "name.*" matches a name without dot
  EXPECT_FALSE(IsFile(scratch / "*.png"));
  EXPECT_FALSE(IsFile(scratch / "sub/*.*"));     // matches only a folder
  EXPECT_FALSE(IsFile(scratch / "nowhere/*.*"));
}

TEST(ShellFileOperationTest, DeleteEmptiesAFolderWithoutFollowingLinks) {
  ScratchFolder scratch;
  const std::string temp = scratch / "Vornida";
  fs::create_directory(temp);
  WriteBytes(temp + "/1000.png", "png");
  WriteBytes(temp + "/_vornida_preview.png", "png");
  WriteBytes(temp + "/noextension", "x");
  WriteBytes(temp + "/.hidden", "x");
  fs::create_directories(temp + "/nested/deeper");
  WriteBytes(temp + "/nested/deeper/f", "x");
  WriteBytes(scratch / "precious.txt", "keep");
  fs::create_symlink(scratch / "precious.txt", temp + "/link");
  fs::create_directory_symlink(scratch.path(), temp + "/loop");

  EXPECT_TRUE(ShellFileOperation(temp + "/*.*", "", kShellDelete));
  EXPECT_TRUE(fs::is_directory(temp));
  EXPECT_TRUE(fs::is_empty(temp));
  EXPECT_EQ(testing::ReadBytes(scratch / "precious.txt"), "keep");

  EXPECT_TRUE(ShellFileOperation(temp + "/*.*", "", kShellDelete));   // nothing left to do
  EXPECT_FALSE(ShellFileOperation(scratch / "gone/*.*", "", kShellDelete));
  EXPECT_FALSE(ShellFileOperation(scratch / "gone.txt", "", kShellDelete));
  EXPECT_FALSE(ShellFileOperation("", "", kShellDelete));
}

TEST(ShellFileOperationTest, CopyMoveAndRename) {
  ScratchFolder scratch;
  WriteBytes(scratch / "a.png", "A");
  WriteBytes(scratch / "b.png", "B");
  fs::create_directory(scratch / "dest");

  EXPECT_TRUE(ShellFileOperation(scratch / "a.png", scratch / "dest", kShellCopy));
  EXPECT_EQ(testing::ReadBytes(scratch / "dest/a.png"), "A");
  EXPECT_TRUE(fs::exists(scratch / "a.png"));

  EXPECT_TRUE(ShellFileOperation(scratch / "*.png", scratch / "moved", kShellMove));
  EXPECT_EQ(testing::ReadBytes(scratch / "moved/b.png"), "B");
  EXPECT_FALSE(fs::exists(scratch / "a.png"));

  EXPECT_TRUE(ShellFileOperation(scratch / "moved/b.png", scratch / "moved/c.png", kShellRename));
  EXPECT_EQ(testing::ReadBytes(scratch / "moved/c.png"), "B");
  EXPECT_FALSE(ShellFileOperation(scratch / "moved/*.png", scratch / "x.png", kShellRename));
  EXPECT_FALSE(ShellFileOperation(scratch / "moved/c.png", "", kShellCopy));
  EXPECT_FALSE(ShellFileOperation(scratch / "moved/c.png", scratch / "d", 99));
}

}  // namespace
}  // namespace vornida
