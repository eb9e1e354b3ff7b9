#include "upgrade/zip_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "test_support.h"

namespace vornida {
namespace {

using testing::Quote;
using testing::ReadFile;
using testing::Shell;
using testing::TempFolder;
using testing::WriteFile;

constexpr std::int64_t kMarch2021 = 1614834367;  // 2021-03-04 05:06:07 UTC

// Archives made by the zip tool from a small tree:
//   unix.zip: setup.exe (0644, fixed time), ro.txt (0444), docs/, docs/a.txt, bin/setup.exe
//   dos.zip:  SETUP.EXE with MS-DOS attributes only (zip -k)
class ZipReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string src = work / "src";
    WriteFile(src + "/setup.exe", "installer bytes");
    WriteFile(src + "/ro.txt", "read only");
    WriteFile(src + "/docs/a.txt", "document");
    WriteFile(src + "/bin/setup.exe", "nested installer");
    ASSERT_TRUE(Shell("cd " + Quote(src) + " && chmod 444 ro.txt && touch -d '2021-03-04 05:06:07 UTC' setup.exe" +
                      " && zip -qr ../unix.zip setup.exe ro.txt docs bin/setup.exe && zip -qk ../dos.zip setup.exe"));
    std::filesystem::create_directory(out.path() + "/x");
  }

  ZipHandlePtr Open(const std::string& archive) { return ZipHandlePtr(OpenZip(work / archive, outRoot())); }
  std::string outRoot() const { return out.path() + "/x"; }

  TempFolder work;
  TempFolder out;
};

TEST_F(ZipReaderTest, FindsWholeStoredNamesWithOptionalCaseFolding) {
  auto upper = Open("dos.zip");
  ASSERT_TRUE(upper);
  int index = 7;
  ZipItemInfo info;
  info.name = "untouched";
  EXPECT_EQ(FindZipItem(upper.get(), "setup.exe", false, &index, &info), kZipItemNotFound);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(info.name, "untouched");
  EXPECT_EQ(LastZipResult(), kZipItemNotFound);
  EXPECT_EQ(FindZipItem(upper.get(), "setup.exe", true, &index, &info), kZipOk);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(info.name, "SETUP.EXE");

  auto unix = Open("unix.zip");
  ASSERT_TRUE(unix);
  // The nested copy is found only under its full name.
  EXPECT_EQ(FindZipItem(unix.get(), "setup.exe", true, &index, &info), kZipOk);
  EXPECT_EQ(info.name, "setup.exe");
  EXPECT_EQ(FindZipItem(unix.get(), "BIN/SETUP.EXE", true, &index, &info), kZipOk);
  EXPECT_EQ(info.name, "bin/setup.exe");
  EXPECT_EQ(info.size, std::string("nested installer").size());
  EXPECT_EQ(FindZipItem(unix.get(), "a.txt", true, &index, &info), kZipItemNotFound);
  EXPECT_EQ(FindZipItem(unix.get(), std::string(256, 'a'), true, &index, &info), kZipItemNotFound);
  // Lookups after a failed walk still reach earlier items.
  EXPECT_EQ(FindZipItem(unix.get(), "ro.txt", false, &index, &info), kZipOk);
  EXPECT_EQ(index, 1);
}

TEST_F(ZipReaderTest, MapsAttributesAndTimes) {
  auto zip = Open("unix.zip");
  ASSERT_TRUE(zip);
  ASSERT_EQ(ZipItemCount(zip.get()), 5);
  ZipItemInfo setup, readOnly, folder;
  ASSERT_EQ(GetZipItem(zip.get(), 0, &setup), kZipOk);
  ASSERT_EQ(GetZipItem(zip.get(), 1, &readOnly), kZipOk);
  ASSERT_EQ(GetZipItem(zip.get(), 2, &folder), kZipOk);

  EXPECT_EQ(setup.attributes & (kZipAttrReadOnly | kZipAttrDirectory), 0u);
  EXPECT_TRUE(setup.attributes & kZipAttrNormal);
  EXPECT_EQ(setup.unixMode, 0644u);
  EXPECT_EQ(setup.writeTime, kMarch2021);  // from the "UT" block
  EXPECT_EQ(setup.accessTime > 0, true);
  EXPECT_TRUE(readOnly.attributes & kZipAttrReadOnly);
  EXPECT_EQ(folder.name, "docs/");
  EXPECT_TRUE(folder.attributes & kZipAttrDirectory);

  auto dos = Open("dos.zip");
  ZipItemInfo plain;
  ASSERT_EQ(GetZipItem(dos.get(), 0, &plain), kZipOk);
  EXPECT_TRUE(plain.attributes & kZipAttrReadOnly) << "no Unix half means read-only";
  EXPECT_EQ(plain.unixMode, 0u);
}

TEST_F(ZipReaderTest, ExtractsFilesFoldersModesAndTimes) {
  auto zip = Open("unix.zip");
  ASSERT_TRUE(zip);
  EXPECT_EQ(ExtractZipItem(zip.get(), 0, "setup.exe"), kZipOk);
  EXPECT_EQ(ReadFile(outRoot() + "/setup.exe"), "installer bytes");
  struct stat st {};
  ASSERT_EQ(::stat((outRoot() + "/setup.exe").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, kMarch2021);
  EXPECT_TRUE(st.st_mode & S_IWUSR);

  // Folders of a target name and directory items are created under the root.
  EXPECT_EQ(ExtractZipItem(zip.get(), 4, "bin/deeper/setup.exe"), kZipOk);
  EXPECT_EQ(ReadFile(outRoot() + "/bin/deeper/setup.exe"), "nested installer");
  EXPECT_EQ(ExtractZipItem(zip.get(), 2, "ignored-for-folders"), kZipOk);
  EXPECT_TRUE(std::filesystem::is_directory(outRoot() + "/docs"));
  EXPECT_FALSE(std::filesystem::exists(outRoot() + "/ignored-for-folders"));

  // A read-only item gives a read-only file, which a second extraction does
  // not replace.
  EXPECT_EQ(ExtractZipItem(zip.get(), 1, "ro.txt"), kZipOk);
  ASSERT_EQ(::stat((outRoot() + "/ro.txt").c_str(), &st), 0);
  EXPECT_FALSE(st.st_mode & S_IWUSR);
  EXPECT_EQ(ExtractZipItem(zip.get(), 1, "ro.txt"), kZipCannotCreateFile);

  auto dos = Open("dos.zip");
  EXPECT_EQ(ExtractZipItem(dos.get(), 0, "SETUP.EXE"), kZipOk);
  EXPECT_EQ(ExtractZipItem(dos.get(), 0, "SETUP.EXE"), kZipCannotCreateFile);
  EXPECT_EQ(ReadFile(outRoot() + "/SETUP.EXE"), "installer bytes");
}

TEST_F(ZipReaderTest, RejectsBadHandlesIndexesAndNonArchives) {
  EXPECT_EQ(OpenZip(work / "missing.zip"), nullptr);
  EXPECT_EQ(LastZipResult(), kZipCannotCreateFile);

  WriteFile(work / "plain.txt", "this is not an archive");
  auto notZip = Open("plain.txt");
  ASSERT_TRUE(notZip) << "a file that is not an archive still opens";
  int index = 0;
  EXPECT_EQ(FindZipItem(notZip.get(), "plain.txt", true, &index, nullptr), kZipItemNotFound);
  EXPECT_EQ(ExtractZipItem(notZip.get(), 0, "x"), kZipInvalidArgument);

  auto zip = Open("unix.zip");
  EXPECT_EQ(GetZipItem(zip.get(), -1, nullptr), kZipInvalidArgument);
  EXPECT_EQ(GetZipItem(zip.get(), 5, nullptr), kZipInvalidArgument);
  EXPECT_EQ(ExtractZipItem(nullptr, 0, "x"), kZipInvalidArgument);
  EXPECT_EQ(LastZipResult(), kZipInvalidArgument);
  ZipHandle other{7, nullptr};
  EXPECT_EQ(FindZipItem(&other, "x", false, &index, nullptr), kZipWrongHandleKind);
  EXPECT_EQ(CloseZip(&other), kZipWrongHandleKind);
  EXPECT_EQ(CloseZip(nullptr), kZipInvalidArgument);
}

// Archives written by Python's zipfile, which stores names as given.
class CraftedZipTest : public ZipReaderTest {
 protected:
  void MakeZip(const std::string& name, const std::string& pythonBody) {
    const std::string script = "import zipfile, struct\nz = zipfile.ZipFile(" + Quote(work / name) +
                               ", 'w')\n" + pythonBody + "z.close()\n";
    WriteFile(work / "make.py", script);
    ASSERT_TRUE(Shell(std::string(VORNIDA_PYTHON) + " " + Quote(work / "make.py")));
  }
};

TEST_F(CraftedZipTest, NeverWritesOutsideTheExtractionFolder) {
  MakeZip("evil.zip",
          "for n in ['../evil.txt', '/abs.txt', 'C:/drive.txt', 'ok/../../up.txt', '..\\\\win.txt', 'fine.txt']:\n"
          "    z.writestr(n, 'payload')\n"
          "d = zipfile.ZipInfo('../evildir/')\nd.external_attr = 0x10\nz.writestr(d, '')\n"
          "z.writestr('link/inside.txt', 'payload')\n");
  auto zip = Open("evil.zip");
  ASSERT_TRUE(zip);
  ASSERT_EQ(ZipItemCount(zip.get()), 8);
  for (int i = 0; i < 5; ++i) {
    ZipItemInfo info;
    ASSERT_EQ(GetZipItem(zip.get(), i, &info), kZipOk);
    EXPECT_EQ(ExtractZipItem(zip.get(), i, info.name), kZipUnsafeName) << info.name;
  }
  EXPECT_EQ(ExtractZipItem(zip.get(), 6, "anything"), kZipUnsafeName) << "directory item ../evildir/";
  EXPECT_EQ(ExtractZipItem(zip.get(), 5, "fine.txt"), kZipOk);

  // A folder link inside the extraction folder does not lead out of it.
  std::filesystem::create_directory_symlink(work.path(), outRoot() + "/link");
  EXPECT_EQ(ExtractZipItem(zip.get(), 7, "link/inside.txt"), kZipUnsafeName);

  std::vector<std::string> outside;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(out.path()))
    outside.push_back(entry.path().string());
  EXPECT_EQ(outside.size(), 3u) << "only x, x/fine.txt and the link";
  EXPECT_FALSE(std::filesystem::exists(work / "inside.txt"));
  EXPECT_FALSE(std::filesystem::exists(out.path() + "/evil.txt"));
  EXPECT_FALSE(std::filesystem::exists(out.path() + "/evildir"));
}

TEST_F(CraftedZipTest, ReadsExtendedTimeFromALaterExtraBlock) {
  // First block: an unknown tag with 5 bytes of data; then "UT" with only the
  // write time. Access and creation keep the DOS time, read as it stands.
  MakeZip("times.zip",
          "i = zipfile.ZipInfo('t.txt', date_time=(2020, 1, 2, 3, 4, 6))\n"
          "i.extra = struct.pack('<HH5s', 0xCAFE, 5, b'12345') + struct.pack('<HHBi', 0x5455, 5, 1, 1614834367)\n"
          "z.writestr(i, 'timed')\n");
  auto zip = Open("times.zip");
  ZipItemInfo info;
  ASSERT_EQ(GetZipItem(zip.get(), 0, &info), kZipOk);
  constexpr std::int64_t kDosTime = 1577934246;  // 2020-01-02 03:04:06 as UTC
  EXPECT_EQ(info.writeTime, kMarch2021);
  EXPECT_EQ(info.accessTime, kDosTime);
  EXPECT_EQ(info.creationTime, kDosTime);
}

TEST_F(CraftedZipTest, ReportsDamagedDataInsteadOfSuccess) {
  MakeZip("crc.zip", "z.writestr('data.bin', 'A' * 1000, compress_type=zipfile.ZIP_STORED)\n");
  // Flip one stored byte: the item still reads, but its CRC no longer matches.
  std::string bytes = ReadFile(work / "crc.zip");
  const std::size_t at = bytes.find(std::string(1000, 'A'));
  ASSERT_NE(at, std::string::npos);
  bytes[at + 500] = 'B';
  WriteFile(work / "crc.zip", bytes);
  auto zip = Open("crc.zip");
  EXPECT_EQ(ExtractZipItem(zip.get(), 0, "data.bin"), kZipReadWriteFailed);
  EXPECT_FALSE(std::filesystem::exists(outRoot() + "/data.bin")) << "no partial file is left";
  // A stop request ends the copy the same way.
  MakeZip("big.zip", "z.writestr('big.bin', 'B' * 200000)\n");
  auto big = Open("big.zip");
  int chunks = 0;
  EXPECT_EQ(ExtractZipItem(big.get(), 0, "big.bin", [&chunks] { return ++chunks > 2; }), kZipStopped);
  EXPECT_FALSE(std::filesystem::exists(outRoot() + "/big.bin"));
}

TEST(ZipNameSafety, AcceptsOnlyNamesBelowTheFolder) {
  for (const char* safe : {"a.txt", "a/b/c.txt", "a\\b.txt", "a..b/c", "..a", "a/.../b", "./a"})
    EXPECT_TRUE(IsSafeRelativeZipName(safe)) << safe;
  for (const char* unsafe : {"..", "../a", "a/../../b", "a\\..\\b", "/etc/x", "\\x", "C:x", "c:/x", "a/.."})
    EXPECT_FALSE(IsSafeRelativeZipName(unsafe)) << unsafe;
  EXPECT_FALSE(IsSafeRelativeZipName(std::string("a\0/../../b", 10)));
}

}  // namespace
}  // namespace vornida
