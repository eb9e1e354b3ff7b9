#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "xml/xml_doc.h"

namespace vornida {
namespace {

namespace fs = std::filesystem;

class XmlFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::path(::testing::TempDir()) / "xmlfile.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string write(const std::string& name, const std::string& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path dir_;
};

TEST_F(XmlFileTest, LoadReportsBytesAndWideChars) {
  CXmlDoc doc;
  const std::string path = write("twelve.xml", "<a>hello</a>");
  ASSERT_TRUE(doc.loadFile(path));
  EXPECT_EQ(doc.resultText(), "12 bytes to 12 wide chars");
  EXPECT_EQ(doc.fileName(), path);
  ASSERT_TRUE(doc.findElement("a"));
  EXPECT_EQ(doc.elementText(), "hello");

  // Two-byte and four-byte sequences count one and two UTF-16 units.
  ASSERT_TRUE(doc.loadFile(write("wide.xml", "<a>é😀</a>")));
  EXPECT_EQ(doc.resultText(), "13 bytes to 10 wide chars");
  ASSERT_TRUE(doc.findElement("a"));
  EXPECT_EQ(doc.elementText(), "é😀");
}

TEST_F(XmlFileTest, LoadOfAMalformedFileKeepsCountsAndTextAndForgetsTheName) {
  CXmlDoc doc;
  const std::string good = write("good.xml", "<a/>");
  ASSERT_TRUE(doc.loadFile(good));
  ASSERT_TRUE(doc.loadFile(good));
  ASSERT_FALSE(doc.loadFile(write("bad.xml", "<ab></a>")));
  EXPECT_EQ(doc.resultText(),
            "8 bytes to 8 wide chars, End tag 'a' at offset 5 does not match start tag 'ab' at offset 0");
  EXPECT_EQ(doc.text(), "<ab></a>");
  EXPECT_EQ(doc.fileName(), "");
  EXPECT_FALSE(doc.findElement());

  ASSERT_FALSE(doc.loadFile(write("empty.xml", "")));
  EXPECT_EQ(doc.resultText(), "0 bytes to 0 wide chars, Empty document");
  ASSERT_FALSE(doc.loadFile(write("decl.xml", "<a/><!ENTITY x 'y'>")));
  EXPECT_EQ(doc.resultText(), "19 bytes to 19 wide chars");
}

TEST_F(XmlFileTest, InvalidUtf8BecomesReplacementCharacters) {
  CXmlDoc doc;
  ASSERT_TRUE(doc.loadFile(write("latin1.xml", "<a t='caf\xE9'>na\xEFve</a>")));
  EXPECT_EQ(doc.resultText(), "21 bytes to 21 wide chars");
  ASSERT_TRUE(doc.findElement());
  EXPECT_EQ(doc.attribute("t"), "caf\xEF\xBF\xBD");
  EXPECT_EQ(doc.elementText(), "na\xEF\xBF\xBDve");
  // No byte-order mark is looked for: a UTF-16 file is not a document.
  EXPECT_FALSE(doc.loadFile(write("utf16.xml", std::string("\xFF\xFE<\0a\0/\0>\0", 10))));
  EXPECT_EQ(doc.resultText(), "10 bytes to 10 wide chars, Incorrect tag name character at offset 2");
}

TEST_F(XmlFileTest, UnreadableFileLeavesTheDocumentAlone) {
  CXmlDoc doc;
  ASSERT_TRUE(doc.setText("<kept/>"));
  EXPECT_FALSE(doc.loadFile((dir_ / "missing.xml").string()));
  EXPECT_EQ(doc.resultText(), std::strerror(ENOENT));
  EXPECT_EQ(doc.text(), "<kept/>");
  EXPECT_TRUE(doc.findElement("kept"));
  EXPECT_FALSE(doc.loadFile(dir_.string()));  // a folder opens but cannot be read
  EXPECT_EQ(doc.resultText(), std::strerror(EISDIR));
  EXPECT_EQ(doc.text(), "<kept/>");
}

TEST_F(XmlFileTest, SaveWritesUtf8WithoutBom) {
  CXmlDoc doc;
  const std::string text = "<a>é😀 &amp; x</a>";
  ASSERT_TRUE(doc.setText(text));
  const std::string path = (dir_ / "out.xml").string();
  write("out.xml", "previous, longer content that must go away");
  ASSERT_TRUE(doc.saveFile(path));
  EXPECT_EQ(doc.resultText(), "18 wide chars to 21 bytes");
  EXPECT_EQ(read(path), text);

  CXmlDoc back;
  ASSERT_TRUE(back.loadFile(path));
  EXPECT_EQ(back.resultText(), "21 bytes to 18 wide chars");
  EXPECT_EQ(back.text(), text);

  // A document that does not parse is still written as it is.
  ASSERT_FALSE(doc.setText("not xml"));
  ASSERT_TRUE(doc.saveFile(path));
  EXPECT_EQ(read(path), "not xml");

  CXmlDoc empty;
  ASSERT_TRUE(empty.saveFile(path));
  EXPECT_EQ(empty.resultText(), "0 wide chars to 0 bytes");
  EXPECT_EQ(fs::file_size(path), 0u);
}

TEST_F(XmlFileTest, SaveFailureReportsTheSystemError) {
  CXmlDoc doc;
  ASSERT_TRUE(doc.setText("<a/>"));
  EXPECT_FALSE(doc.saveFile((dir_ / "no" / "such" / "folder.xml").string()));
  EXPECT_EQ(doc.resultText(), std::strerror(ENOENT));
  EXPECT_FALSE(doc.saveFile(dir_.string()));
  EXPECT_EQ(doc.resultText(), std::strerror(EISDIR));
}

TEST_F(XmlFileTest, FailedWriteIsReported) {
  // A file-size limit makes the write itself fail part way (EFBIG once the
  // signal that would end the process is ignored).
  CXmlDoc doc;
  ASSERT_TRUE(doc.setText("<a>" + std::string(100000, 'x') + "</a>"));
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool saved_ok = doc.saveFile((dir_ / "big.xml").string());
  const std::string result = doc.resultText();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_FALSE(saved_ok);
  EXPECT_EQ(result, std::strerror(EFBIG));
}

TEST_F(XmlFileTest, SetTextForgetsTheFileName) {
  CXmlDoc doc;
  ASSERT_TRUE(doc.loadFile(write("a.xml", "<a/>")));
  ASSERT_FALSE(doc.fileName().empty());
  ASSERT_TRUE(doc.setText("<b/>"));
  EXPECT_EQ(doc.fileName(), "");
  EXPECT_EQ(doc.resultText(), "");
}

}  // namespace
}  // namespace vornida
