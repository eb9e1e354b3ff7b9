#include "base/text.h"

#include <gtest/gtest.h>

namespace vornida {
namespace {

TEST(Utf16Counting, CountsCodeUnitsNotBytesOrCodePoints) {
  EXPECT_EQ(Utf16Length(""), 0u);
  EXPECT_EQ(Utf16Length("abc"), 3u);
  EXPECT_EQ(Utf16Length("\xC3\xA9t\xC3\xA9"), 3u);         // "été": 5 bytes, 3 units
  EXPECT_EQ(Utf16Length("\xE2\x82\xAC"), 1u);              // euro sign
  EXPECT_EQ(Utf16Length("\xF0\x9F\x98\x80"), 2u);          // emoji: a surrogate pair
  EXPECT_EQ(Utf16Length("a\xFF" "b"), 3u);                 // stray byte counts as one
  EXPECT_EQ(Utf16Length("\xE2\x82"), 2u);                  // cut-off sequence: each byte
}

TEST(Utf16Counting, TruncationNeverSplitsACharacter) {
  EXPECT_EQ(TruncateUtf16("abcdef", 4), "abcd");
  EXPECT_EQ(TruncateUtf16("ab", 4), "ab");
  EXPECT_EQ(TruncateUtf16("\xC3\xA9\xC3\xA9\xC3\xA9", 2), "\xC3\xA9\xC3\xA9");
  // The pair would need units 2 and 3; a limit of 3 keeps "a" and drops the pair.
  EXPECT_EQ(TruncateUtf16("a\xF0\x9F\x98\x80" "b", 2), "a");
  EXPECT_EQ(TruncateUtf16("a\xF0\x9F\x98\x80" "b", 3), "a\xF0\x9F\x98\x80");
}

TEST(Utf16Conversion, RoundTripsEveryPlane) {
  const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";
  const std::u16string wide = Utf8ToUtf16(text);
  ASSERT_EQ(wide.size(), 6u);
  EXPECT_EQ(wide[3], 0xD83D);
  EXPECT_EQ(wide[4], 0xDE00);
  EXPECT_EQ(Utf16ToUtf8(wide), text);
  EXPECT_EQ(Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");  // lone surrogate
}

TEST(MovieIntegers, ReadLikeTheMovieWritesThem) {
  EXPECT_EQ(ParseMovieInt("42"), 42);
  EXPECT_EQ(ParseMovieInt("  -17px"), -17);
  EXPECT_EQ(ParseMovieInt("+5"), 5);
  EXPECT_EQ(ParseMovieInt("0.75"), 0);
  EXPECT_EQ(ParseMovieInt("abc"), 0);
  EXPECT_EQ(ParseMovieInt(""), 0);
  EXPECT_EQ(ParseMovieInt("- 3"), 0);
  EXPECT_EQ(ParseMovieInt("99999999999"), 2147483647);
  EXPECT_EQ(ParseMovieInt("-99999999999"), -2147483648);
}

TEST(AsciiCase, FoldsOnlyAscii) {
  EXPECT_TRUE(EqualsIgnoreAsciiCase("Photo.JPG", "photo.jpg"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase("photo.jpg", "photo.jpeg"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase("\xC3\x89", "\xC3\xA9"));  // É and é differ
  EXPECT_EQ(AsciiLowered("AbC\xC3\x89"), "abc\xC3\x89");
}

}  // namespace
}  // namespace vornida
