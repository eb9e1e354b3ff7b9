// Arbitrary bytes as a settings file: reading must never fail, and a write
// must read back, be idempotent and change nothing but one line's value, one
// inserted line or an appended section.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/ini_file.h"
#include "app/profile.h"
#include "base/text.h"

namespace {

using vornida::ini::FindValue;
using vornida::ini::IsStorable;
using vornida::ini::WithValue;

void Check(bool condition) {
  if (!condition) std::abort();
}

// A name taken from the input itself, so that writes often hit existing
// sections and keys: the text between `open` and `close` on the first line
// that has both.
std::string NameFrom(std::string_view text, char open, char close, std::string_view fallback) {
  for (std::size_t begin = 0; begin < text.size();) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(begin, end - begin);
    const std::size_t a = open == 0 ? 0 : line.find(open);
    if (a != std::string_view::npos) {
      const std::size_t from = open == 0 ? 0 : a + 1;
      const std::size_t b = line.find(close, from);
      if (b != std::string_view::npos && b > from) return std::string(line.substr(from, b - from));
    }
    begin = end + 1;
  }
  return std::string(fallback);
}

// Checks that `after` is `before` with one contiguous change that removed no
// line end: every other line is kept byte for byte.
void CheckOneLocalChange(std::string_view before, std::string_view after) {
  const std::size_t shorter = std::min(before.size(), after.size());
  std::size_t prefix = 0;
  while (prefix < shorter && before[prefix] == after[prefix]) ++prefix;
  std::size_t suffix = 0;
  while (prefix + suffix < shorter &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
    ++suffix;
  }
  const std::string_view removed = before.substr(prefix, before.size() - prefix - suffix);
  const std::string_view inserted = after.substr(prefix, after.size() - prefix - suffix);
  Check(removed.find('\n') == std::string_view::npos);
  std::size_t newLines = 0;
  for (char c : inserted) newLines += c == '\n';
  Check(newLines <= 4);
}

void Exercise(std::string_view text, const std::string& section, const std::string& key,
              const std::string& value) {
  if (const auto found = FindValue(text, section, key)) {
    Check(vornida::Utf16Length(vornida::TruncateUtf16(*found, vornida::kProfileValueLimit)) <=
          vornida::kProfileValueLimit);
  }
  const auto written = WithValue(text, section, key, value);
  Check(written.has_value() == IsStorable(section, key, value));
  if (!written) return;
  Check(FindValue(*written, section, key) == value);
  CheckOneLocalChange(text, *written);
  Check(WithValue(*written, section, key, value) == *written);

  // A second key leaves the first one alone.
  const std::string other = key + "_2";
  if (IsStorable(section, other, "x")) {
    const auto twice = WithValue(*written, section, other, "x");
    Check(twice.has_value());
    Check(FindValue(*twice, section, key) == value);
    Check(FindValue(*twice, section, other) == "x");
    CheckOneLocalChange(*written, *twice);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // The value: the last bytes of the input, so its quoting and blanks vary.
  const std::string value(text.substr(size > 12 ? size - 12 : 0));
  const std::string section = NameFrom(text, '[', ']', "Main");
  const std::string key = NameFrom(text, 0, '=', "Key");

  Exercise(text, section, key, value);
  Exercise(text, "Main", key, "plain");
  Exercise(text, section, "Fresh", "  padded  ");
  Exercise(text, "New Section", "Fresh", "\"quoted\"");
  return 0;
}
