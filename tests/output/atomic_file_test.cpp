#include "output/atomic_file.h"

#include <gtest/gtest.h>

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

TEST(AtomicFile, EncoderWritingTheTemporaryFileByNameIsCommittedToo) {
  ScratchFolder folder;
  const std::string path = folder.file("picture.png");
  AtomicFileWriter file;
  ASSERT_TRUE(file.create(path));
  ASSERT_FALSE(file.temporaryPath().empty());
  EXPECT_EQ(file.temporaryPath().rfind(folder.path() + "/.", 0), 0u) << "hidden, same folder";
  testing::WriteBytes(file.temporaryPath(), {9, 8, 7});
  ASSERT_TRUE(file.commit());
  EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{9, 8, 7}));
  EXPECT_EQ(folder.entries(), std::vector<std::string>{"picture.png"});
}

}  // namespace
}  // namespace vornida
