// Small text helpers shared by every module.
//
// Strings are UTF-8 std::string inside the program. Where a count of
// characters can be observed from outside (offsets in XML error texts, the
// 1023-character cut of settings values, name-length limits), it is a count of
// UTF-16 code units, so that the numbers match what the movie and stored files
// expect. These helpers do that counting and cutting without converting whole
// strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vornida {

// Number of UTF-16 code units the UTF-8 text occupies. Characters outside the
// Basic Multilingual Plane count 2. A malformed byte counts as one unit (it
// would decode to U+FFFD).
std::size_t Utf16Length(std::string_view utf8);

// Byte offset in utf8 that lies after the first `units` UTF-16 code units.
// Never splits a UTF-8 sequence; a surrogate pair that the limit would split
// is left out whole. Returns utf8.size() when the text is shorter.
std::size_t Utf8OffsetOfUtf16(std::string_view utf8, std::size_t units);

// The text cut to at most `units` UTF-16 code units.
std::string TruncateUtf16(std::string_view utf8, std::size_t units);

// The text cut to at most `bytes` bytes without splitting a UTF-8 sequence.
std::string TruncateUtf8(std::string_view utf8, std::size_t bytes);

// Conversions for the places where a real UTF-16 string is needed (file
// formats that store UTF-16). Malformed UTF-8 becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Appends the UTF-8 encoding of one code point (at most U+10FFFF).
void AppendUtf8(std::string& out, char32_t cp);

// Decimal integer as the movie sends it: leading blanks and one sign are
// accepted, reading stops at the first other character, text without digits
// gives 0. Values beyond the 32-bit range saturate.
int32_t ParseMovieInt(std::string_view text);

// ASCII-only case folding and comparison; other bytes compare exactly.
char AsciiLower(char c);
std::string AsciiLowered(std::string_view text);
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

}  // namespace vornida
