#include "app/profile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "base/text.h"
#include "scratch.h"

namespace vornida {
namespace {

namespace fs = std::filesystem;
using testing::ModeOf;
using testing::ReadBytes;
using testing::ScratchFolder;
using testing::WriteBytes;

TEST(ProfileReadTest, MissingFileSectionOrKeyReadsEmpty) {
  ScratchFolder scratch;
  CProfile profile(scratch / "Setting.ini");
  EXPECT_EQ(profile.GetString("Anything", "Setting"), "");
  WriteBytes(scratch / "Setting.ini", "[Setting]\nShown=1\n");
  EXPECT_EQ(profile.GetString("Hidden", "Setting"), "");
  EXPECT_EQ(profile.GetString("Shown", "Other"), "");
  EXPECT_EQ(profile.GetString("Shown", "Setting"), "1");
  EXPECT_EQ(profile.lastValue(), "1");
}

TEST(ProfileReadTest, NamesIgnoreAsciiCaseAndBlanks) {
  ScratchFolder scratch;
  WriteBytes(scratch / "Setting.ini",
             "[Main]\nLang=en\n  [ Setting ]  \n  Zoom  =  150 %  \nQuoted = \"  padded \" \nSingle='x'\n"
             "[setting]\nzoom=second\n");
  CProfile profile(scratch / "Setting.ini");
  EXPECT_EQ(profile.GetString("LANG", ""), "en");  // empty section: the default one
  EXPECT_EQ(profile.GetString("zoom", "SETTING"), "150 %");
  EXPECT_EQ(profile.GetString("quoted", "setting"), "  padded ");
  EXPECT_EQ(profile.GetString("single", "setting"), "x");
}

TEST(ProfileReadTest, LongValuesAreCutTo1023Utf16Units) {
  ScratchFolder scratch;
  CProfile profile(scratch / "Setting.ini");
  const std::string value(2000, 'v');
  ASSERT_TRUE(profile.SetString("Long", value, "Setting"));
  EXPECT_EQ(profile.GetString("Long", "Setting"), value.substr(0, 1023));
  EXPECT_NE(ReadBytes(scratch / "Setting.ini").find(value), std::string::npos);  // stored whole

  // 1022 units then a character outside the BMP (2 units): the pair is not split.
  const std::string emoji = "\xF0\x9F\x98\x80";
  ASSERT_TRUE(profile.SetString("Pair", std::string(1022, 'a') + emoji + "b", "Setting"));
  const std::string cut = profile.GetString("Pair", "Setting");
  EXPECT_EQ(cut, std::string(1022, 'a'));
  EXPECT_EQ(Utf16Length(profile.GetString("Long", "Setting")), kProfileValueLimit);
}

TEST(ProfileWriteTest, RoundTripsAwkwardValues) {
  ScratchFolder scratch;
  CProfile profile(scratch / "Setting.ini");
  for (const std::string value : {"  both ends  ", "\"quoted\"", "'single'", "a=b=c", "; not a comment",
                                  "[not a section]", "", "\xC3\xA9t\xC3\xA9", "\"", "tab\t"}) {
    ASSERT_TRUE(profile.SetString("Key", value, "S")) << value;
    EXPECT_EQ(profile.GetString("Key", "S"), value);
  }
}

TEST(ProfileWriteTest, RefusesTextThatWouldCorruptTheFile) {
  ScratchFolder scratch;
  const std::string original = "[Main]\nA=1\n";
  WriteBytes(scratch / "Setting.ini", original);
  CProfile profile(scratch / "Setting.ini");
  EXPECT_FALSE(profile.SetString("A", "1\n[Main]\nB=2"));
  EXPECT_FALSE(profile.SetString("A", "cr\rhere"));
  EXPECT_FALSE(profile.SetString("A", std::string("nul\0byte", 8)));
  EXPECT_FALSE(profile.SetString("K=V", "x"));
  EXPECT_FALSE(profile.SetString("[K]", "x"));
  EXPECT_FALSE(profile.SetString(";K", "x"));
  EXPECT_FALSE(profile.SetString("  ", "x"));
  EXPECT_FALSE(profile.SetString("K", "x", "Sec]tion"));
  EXPECT_EQ(ReadBytes(scratch / "Setting.ini"), original);
}

TEST(ProfileWriteTest, ChangesOnlyTheOneLine) {
  ScratchFolder scratch;
  const std::string before =
      "; settings of the movie\n[Main]\nFirst = one\n\n[Setting]\n; window\nWidth=800\nHeight = 600   \n"
      "\n; trailing comment\n";
  WriteBytes(scratch / "Setting.ini", before);
  CProfile profile(scratch / "Setting.ini");

  ASSERT_TRUE(profile.SetString("HEIGHT", "720", "setting"));
  std::string expected = before;
  expected.replace(expected.find("Height = 600   "), 15, "Height = 720");
  EXPECT_EQ(ReadBytes(scratch / "Setting.ini"), expected);

  // A new key goes right after the section's last entry.
  ASSERT_TRUE(profile.SetString("Depth", "32", "Setting"));
  expected.insert(expected.find("Height = 720\n") + 13, "Depth=32\n");
  EXPECT_EQ(ReadBytes(scratch / "Setting.ini"), expected);

  // A new section goes at the end, after a blank line.
  ASSERT_TRUE(profile.SetString("Last", "z", "Extra"));
  expected += "\n[Extra]\nLast=z\n";
  EXPECT_EQ(ReadBytes(scratch / "Setting.ini"), expected);
}

TEST(ProfileWriteTest, KeepsCrlfGarbageBinaryAndMissingFinalLineEnd) {
  ScratchFolder scratch;
  const std::string before = std::string("\xEF\xBB\xBF[Main]\r\nGood=1\r\nthis line is garbage\r\n\x01\xFF\xFE=\x80\r\n") +
                             std::string("\0\0\0\r\n", 5) + "[broken\r\nAlso=2\r\n[Setting]\r\nTail=3";
  WriteBytes(scratch / "Setting.ini", before);
  CProfile profile(scratch / "Setting.ini");
  EXPECT_EQ(profile.GetString("Good", ""), "1");
  EXPECT_EQ(profile.GetString("Also", ""), "2");  // a header without ']' is no header
  EXPECT_EQ(profile.GetString("Tail", "Setting"), "3");

  ASSERT_TRUE(profile.SetString("Good", "11"));
  ASSERT_TRUE(profile.SetString("New", "4", "Setting"));
  std::string expected = before;
  expected.replace(expected.find("Good=1"), 6, "Good=11");
  expected += "\r\nNew=4\r\n";
  EXPECT_EQ(ReadBytes(scratch / "Setting.ini"), expected);
}

TEST(ProfileWriteTest, ReplacesTheFileAtomicallyAndKeepsItsMode) {
  ScratchFolder scratch;
  const std::string file = scratch / "Setting.ini";
  WriteBytes(file, "[Main]\nSentinel=keep\n");
  ::chmod(file.c_str(), 0640);
  CProfile profile(file);

  // A reader that does not take our lock must only ever see whole files.
  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  std::thread reader([&] {
    while (!done) {
      const std::string bytes = ReadBytes(file);
      if (bytes.find("Sentinel=keep\n") == std::string::npos || bytes.back() != '\n') ++torn;
    }
  });
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(profile.SetString("Counter", std::to_string(i) + std::string(4000, 'x')));
  done = true;
  reader.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(ModeOf(file), 0640u);
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(scratch.path())) ++entries;
  EXPECT_EQ(entries, 1);  // no temporary file left beside it
}

TEST(ProfileWriteTest, WritesThroughASymlinkAndLeavesUnreadableFilesAlone) {
  ScratchFolder scratch;
  WriteBytes(scratch / "real.ini", "[Main]\nA=1\n");
  fs::create_symlink(scratch / "real.ini", scratch / "Setting.ini");
  CProfile linked(scratch / "Setting.ini");
  ASSERT_TRUE(linked.SetString("B", "2"));
  EXPECT_TRUE(fs::is_symlink(scratch / "Setting.ini"));
  EXPECT_EQ(ReadBytes(scratch / "real.ini"), "[Main]\nA=1\nB=2\n");

  fs::create_directory(scratch / "folder.ini");
  CProfile folder(scratch / "folder.ini");
  EXPECT_FALSE(folder.SetString("A", "1"));
  EXPECT_TRUE(fs::is_directory(scratch / "folder.ini"));
  CProfile nowhere(scratch / "missing/Setting.ini");
  EXPECT_FALSE(nowhere.SetString("A", "1"));
}

TEST(ProfileConcurrencyTest, ParallelWritersLoseNothing) {
  ScratchFolder scratch;
  constexpr int kThreads = 6, kKeys = 20;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      CProfile own(scratch / "Setting.ini");  // a separate instance per thread
      for (int k = 0; k < kKeys; ++k) {
        own.SetString("K" + std::to_string(k), std::to_string(t * 100 + k), "T" + std::to_string(t));
        own.GetString("K0", "T0");
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  CProfile profile(scratch / "Setting.ini");
  for (int t = 0; t < kThreads; ++t) {
    for (int k = 0; k < kKeys; ++k) {
      EXPECT_EQ(profile.GetString("K" + std::to_string(k), "T" + std::to_string(t)), std::to_string(t * 100 + k));
    }
  }
}

}  // namespace
}  // namespace vornida
