// CProfile: string settings kept in one INI file (Setting.ini and the like),
// with the classic private-profile rules:
//
//   - A file is "[section]" header lines followed by "key=value" lines. Lines
//     whose first non-blank character is ';' are comments. Blanks around
//     section names, keys and values are not part of them; a value wrapped in
//     one pair of matching quotes (" or ') reads without them.
//   - Sections and keys match without regard to ASCII case. When a section or
//     key occurs more than once, the first occurrence counts.
//   - A missing file, section or key reads as the empty string.
//   - A value longer than 1023 UTF-16 code units reads back cut to 1023 (the
//     file keeps the whole value).
//   - The file is UTF-8 (a leading byte-order mark is skipped); LF or CRLF line
//     ends, a missing final line end, garbage lines and binary bytes are all
//     accepted: every well-formed entry is still found.
//
// Writing changes only the one line of the key (or inserts one line, or
// appends the section at the end); every other byte of the file - comments,
// order, other sections, garbage, line ends - stays as it was. New lines use
// the line end the file already uses. A value with blanks at either end, or
// wrapped in matching quotes, is written inside double quotes so that it
// reads back exactly. The new file is written beside the old one and renamed
// into place, so a reader never sees a half-written file; an existing file
// keeps its permissions, and a symbolic link is written through.
//
// Writes are refused (FALSE, nothing changes) when a name is empty, when a
// key contains '=' or starts with '[' or ';', when a section contains ']', or
// when any of the three contains a line break or a NUL byte: such text would
// corrupt the file or be read back as something else.
//
// Every CProfile operation is serialised by one process-wide lock, so
// instances may be used from any thread, also several on the same file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vornida {

// The settings file of the main movie ("ReadIni"/"WriteIni") is
// CProfile(MakeAppDataPath(kSettingsFileName), kSettingsDefaultSection).
inline constexpr std::string_view kSettingsFileName = "Setting.ini";
inline constexpr std::string_view kSettingsDefaultSection = "Main";

// Longest value, in UTF-16 code units, that a CProfile read returns.
inline constexpr std::size_t kProfileValueLimit = 1023;

class CProfile {
 public:
  // The accessor for the settings file `filePath`; calls that pass an empty
  // section use `defaultSection`. The file need not exist.
  explicit CProfile(std::string filePath, std::string defaultSection = "Main");
  virtual ~CProfile();

  CProfile(const CProfile&) = delete;
  CProfile& operator=(const CProfile&) = delete;

  // The value of `key` in `section` (empty: the default section), cut to
  // kProfileValueLimit; empty when missing. Also remembered as lastValue().
  std::string GetString(std::string_view key, std::string_view section = {});

  // Stores `value` under `key` in `section` (empty: the default section).
  // TRUE when the file now holds it.
  bool SetString(std::string_view key, std::string_view value,
                 std::string_view section = {});

  // The value returned by the latest GetString.
  std::string lastValue() const;
  const std::string& defaultSection() const { return defaultSection_; }
  const std::string& filePath() const { return filePath_; }

 private:
  std::string lastValue_;
  std::string defaultSection_;
  std::string filePath_;
};

}  // namespace vornida
