#include "upgrade/gzip.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace vornida::zlib {
namespace {

using testing::Pattern;
using testing::Quote;
using testing::ReadFile;
using testing::Shell;
using testing::TempFolder;
using testing::WriteFile;

std::string AsString(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(GzipTest, ReadsWhatTheGzipToolWrote) {
  TempFolder tmp;
  // Content far larger than the compressed file, so it comes in many chunks.
  const std::string content = Pattern(300000);
  WriteFile(tmp / "data", content);
  ASSERT_TRUE(Shell("gzip -9 " + Quote(tmp / "data")));
  CGZip gz;
  ASSERT_TRUE(gz.Open(tmp / "data.gz", kGzRead));
  EXPECT_EQ(gz.Mode(), kGzRead);
  EXPECT_FALSE(gz.Open(tmp / "data.gz", kGzRead)) << "already open";
  std::vector<std::uint8_t> out;
  EXPECT_TRUE(gz.ReadBufferAll(out));
  EXPECT_EQ(AsString(out), content);
  EXPECT_TRUE(gz.Close());
  EXPECT_FALSE(gz.Close());
  EXPECT_EQ(gz.Mode(), kGzClosed);
}

TEST(GzipTest, EmptyDamagedAndMissingFilesYieldNothing) {
  TempFolder tmp;
  WriteFile(tmp / "empty", "");
  ASSERT_TRUE(Shell("gzip " + Quote(tmp / "empty")));
  std::vector<std::uint8_t> out{1, 2, 3};
  {
    CGZip gz;
    ASSERT_TRUE(gz.Open(tmp / "empty.gz", kGzRead));
    EXPECT_FALSE(gz.ReadBufferAll(out));
    EXPECT_TRUE(out.empty());
  }
  // A flipped byte and a stream cut short both read as damaged, never as
  // a shorter content.
  WriteFile(tmp / "big", Pattern(100000));
  ASSERT_TRUE(Shell("gzip " + Quote(tmp / "big")));
  const std::string compressed = ReadFile(tmp / "big.gz");
  std::string flipped = compressed;
  flipped[compressed.size() / 2] ^= 0x55;
  WriteFile(tmp / "flipped.gz", flipped);
  WriteFile(tmp / "cut.gz", compressed.substr(0, compressed.size() - 20));
  for (const char* name : {"flipped.gz", "cut.gz"}) {
    CGZip gz;
    ASSERT_TRUE(gz.Open(tmp / name, kGzRead));
    out = {1};
    EXPECT_FALSE(gz.ReadBufferAll(out)) << name;
    EXPECT_TRUE(out.empty()) << name;
  }
  CGZip gz;
  EXPECT_FALSE(gz.Open(tmp / "missing.gz", kGzRead));
  EXPECT_EQ(gz.Mode(), kGzClosed);
  EXPECT_FALSE(gz.Open(tmp / "big.gz", 3)) << "unknown mode";
  char buffer[8];
  EXPECT_EQ(gz.ReadBuffer(buffer, sizeof buffer), 0);
  EXPECT_FALSE(gz.ReadBufferAll(out));
}

TEST(GzipTest, WritesFilesTheGzipToolReads) {
  TempFolder tmp;
  {
    CGZip gz;
    gz.SetLevel(9);
    ASSERT_TRUE(gz.Open(tmp / "out.gz", kGzWrite));
    const std::string bytes = Pattern(5000);
    EXPECT_TRUE(gz.WriteBuffer(bytes.data(), bytes.size()));
    EXPECT_TRUE(gz.WriteString("Aé"));
    char buffer[4];
    EXPECT_EQ(gz.ReadBuffer(buffer, sizeof buffer), 0) << "not open for reading";
  }  // closed by the destructor
  ASSERT_TRUE(Shell("gzip -dc " + Quote(tmp / "out.gz") + " > " + Quote(tmp / "plain")));
  EXPECT_EQ(ReadFile(tmp / "plain"), Pattern(5000) + std::string("A\0\xE9\0", 4));
}

}  // namespace
}  // namespace vornida::zlib
