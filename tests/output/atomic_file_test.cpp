#include "output/atomic_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "psd_reader.h"

namespace vornida {
namespace {

using testing::ReadBytes;
using testing::ScratchFolder;

TEST(AtomicFile, PatchesLandInBothTheWrittenAndTheBufferedPart) {
  ScratchFolder folder;
  const std::string path = folder.file("data.bin");
  std::vector<uint8_t> expected(3 << 20);
  for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<uint8_t>(i * 7);
  AtomicFileWriter file;
  ASSERT_TRUE(file.create(path));
  // Small pieces first (buffered), then one large block, then small again.
  ASSERT_TRUE(file.write(expected.data(), 1000));
  ASSERT_TRUE(file.write(expected.data() + 1000, (1 << 20) - 500));
  ASSERT_TRUE(file.write(expected.data() + (1 << 20) + 500, expected.size() - (1 << 20) - 600));
  ASSERT_TRUE(file.write(expected.data() + expected.size() - 100, 100));
  EXPECT_EQ(file.size(), expected.size());
  // Patches at the start, across a flush boundary and in the tail.
  const std::vector<uint8_t> patch(3000, 0xAB);
  for (std::size_t at : {std::size_t{0}, (std::size_t{1} << 20) - 1500, expected.size() - 3000}) {
    ASSERT_TRUE(file.writeAt(at, patch.data(), patch.size()));
    std::copy(patch.begin(), patch.end(), expected.begin() + static_cast<std::ptrdiff_t>(at));
  }
  EXPECT_FALSE(file.writeAt(expected.size() - 1, patch.data(), 2)) << "past the end";
  EXPECT_TRUE(file.failed());
  EXPECT_FALSE(file.commit()) << "a failed writer never commits";
  EXPECT_TRUE(folder.entries().empty());
}

TEST(AtomicFile, CommitPutsTheWholeFileInPlace) {
  ScratchFolder folder;
  const std::string path = folder.file("data.bin");
  testing::WriteBytes(path, {1, 2, 3});
  std::vector<uint8_t> expected(2 << 20);
  for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<uint8_t>(i % 251);
  ASSERT_TRUE(WriteFileAtomically(path, [&](AtomicFileWriter& file) {
    return file.write(expected.data(), 10) && file.write(expected.data() + 10, expected.size() - 10) &&
           file.writeAt(5, "\x01\x02", 2);
  }));
  expected[5] = 1;
  expected[6] = 2;
  EXPECT_EQ(ReadBytes(path), expected);
  EXPECT_EQ(folder.entries(), std::vector<std::string>{"data.bin"});
}

TEST(AtomicFile, FailedFillLeavesThePreviousFile) {
  ScratchFolder folder;
  const std::string path = folder.file("data.bin");
  testing::WriteBytes(path, {1, 2, 3});
  EXPECT_FALSE(WriteFileAtomically(path, [](AtomicFileWriter& file) {
    file.write("partial", 7);
    return false;
  }));
  EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(folder.entries(), std::vector<std::string>{"data.bin"});
}

// While it writes, the file has no name (or, where the file system cannot
// make unnamed files, one hidden name that fits the 255-byte limit even for
// the longest target names); after the commit only the target is there.
TEST(AtomicFile, NothingButTheFinishedTargetEverShowsInTheFolder) {
  ScratchFolder folder;
  for (const std::string& name : {std::string("picture.png"), std::string(251, 'n') + ".png"}) {
    const std::string path = folder.file(name);
    AtomicFileWriter file;
    ASSERT_TRUE(file.create(path)) << name.size();
    ASSERT_TRUE(file.write("abc", 3));
    const std::vector<std::string> during = folder.entries();
    if (file.isUnnamed()) {
      EXPECT_TRUE(during.empty()) << during.front();
    } else {
      ASSERT_EQ(during.size(), 1u);
      EXPECT_EQ(during[0][0], '.');
      EXPECT_LE(during[0].size(), 255u);
    }
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{'a', 'b', 'c'}));
    EXPECT_EQ(folder.entries(), std::vector<std::string>{name});
    std::filesystem::remove(path);
  }
  // A folder in the way is refused before any data is written, with its reason.
  std::filesystem::create_directory(folder.file("taken.png"));
  AtomicFileWriter blocked;
  const Status refused = blocked.create(folder.file("taken.png"));
  EXPECT_FALSE(refused);
  EXPECT_EQ(refused.reason(), "Is a directory");
  const Status missing = AtomicFileWriter().create(folder.file("no/such.png"));
  EXPECT_EQ(missing.reason(), "No such file or directory");
}

}  // namespace
}  // namespace vornida
