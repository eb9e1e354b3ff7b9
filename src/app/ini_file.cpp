#include "app/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "base/text.h"

namespace vornida::ini {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

bool IsQuoted(std::string_view value) {
  return value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front();
}

// One line of the file, by byte offsets into the text.
struct Line {
  enum Kind { kOther, kSection, kEntry };
  std::size_t begin = 0;
  std::size_t contentEnd = 0;  // before the line end ("\n" or "\r\n")
  std::size_t end = 0;         // after the line end
  Kind kind = kOther;
  std::string_view name;       // section name or key, trimmed
  std::size_t valueBegin = 0;  // entries: after '=' and the blanks that follow
  std::string_view value;      // entries: trimmed, still quoted
};

Line Classify(std::string_view text, std::size_t begin, std::size_t contentEnd, std::size_t end) {
  Line line;
  line.begin = begin;
  line.contentEnd = contentEnd;
  line.end = end;
  if (begin == 0 && text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    begin = std::min(kByteOrderMark.size(), contentEnd);
  }
  const std::string_view content = text.substr(begin, contentEnd - begin);
  const std::string_view trimmed = Trimmed(content);
  if (trimmed.empty() || trimmed.front() == ';') return line;
  if (trimmed.front() == '[') {
    const std::size_t close = trimmed.find(']');
    if (close != std::string_view::npos) {
      line.kind = Line::kSection;
      line.name = Trimmed(trimmed.substr(1, close - 1));
    }
    return line;
  }
  const std::size_t equals = content.find('=');
  if (equals == std::string_view::npos) return line;
  const std::string_view key = Trimmed(content.substr(0, equals));
  if (key.empty()) return line;
  line.kind = Line::kEntry;
  line.name = key;
  std::size_t valueBegin = begin + equals + 1;
  while (valueBegin < contentEnd && IsBlank(text[valueBegin])) ++valueBegin;
  line.valueBegin = valueBegin;
  line.value = Trimmed(text.substr(valueBegin, contentEnd - valueBegin));
  return line;
}

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    const std::size_t newline = text.find('\n', begin);
    std::size_t contentEnd, end;
    if (newline == std::string_view::npos) {
      contentEnd = end = text.size();
    } else {
      end = newline + 1;
      contentEnd = newline > begin && text[newline - 1] == '\r' ? newline - 1 : newline;
    }
    lines.push_back(Classify(text, begin, contentEnd, end));
    begin = end;
  }
  return lines;
}

// Where a section and key stand in the lines.
struct Location {
  std::optional<std::size_t> entry;       // the key's line
  std::optional<std::size_t> section;     // the first matching header
  std::optional<std::size_t> lastInFirst; // last entry (or header) of the first matching section
};

Location Locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  Location at;
  bool inMatch = false;
  bool inFirst = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Line& line = lines[i];
    if (line.kind == Line::kSection) {
      inMatch = EqualsIgnoreAsciiCase(line.name, section);
      inFirst = inMatch && !at.section;
      if (inFirst) {
        at.section = i;
        at.lastInFirst = i;
      }
    } else if (line.kind == Line::kEntry && inMatch) {
      if (inFirst) at.lastInFirst = i;
      if (!at.entry && EqualsIgnoreAsciiCase(line.name, key)) at.entry = i;
    }
  }
  return at;
}

bool HasForbiddenByte(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// The value as written: quoted when blanks at an end or a pair of matching
// quotes would otherwise be lost on reading.
std::string Encoded(std::string_view value) {
  const bool needsQuotes =
      !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) || IsQuoted(value));
  if (!needsQuotes) return std::string(value);
  return "\"" + std::string(value) + "\"";
}

std::string LineEndOf(std::string_view text) {
  const std::size_t newline = text.find('\n');
  return newline != std::string_view::npos && newline > 0 && text[newline - 1] == '\r' ? "\r\n" : "\n";
}

}  // namespace

std::optional<std::string> FindValue(std::string_view text, std::string_view section,
                                     std::string_view key) {
  const std::vector<Line> lines = SplitLines(text);
  const Location at = Locate(lines, Trimmed(section), Trimmed(key));
  if (!at.entry) return std::nullopt;
  std::string_view value = lines[*at.entry].value;
  if (IsQuoted(value)) value = value.substr(1, value.size() - 2);
  return std::string(value);
}

bool IsStorable(std::string_view section, std::string_view key, std::string_view value) {
  section = Trimmed(section);
  key = Trimmed(key);
  if (section.empty() || key.empty()) return false;
  if (HasForbiddenByte(section) || HasForbiddenByte(key) || HasForbiddenByte(value)) return false;
  if (section.find(']') != std::string_view::npos) return false;
  if (key.find('=') != std::string_view::npos || key.front() == '[' || key.front() == ';') return false;
  return true;
}

std::optional<std::string> WithValue(std::string_view text, std::string_view section,
                                     std::string_view key, std::string_view value) {
  if (!IsStorable(section, key, value)) return std::nullopt;
  section = Trimmed(section);
  key = Trimmed(key);
  const std::vector<Line> lines = SplitLines(text);
  const Location at = Locate(lines, section, key);
  const std::string eol = LineEndOf(text);
  const std::string entryLine = std::string(key) + "=" + Encoded(value);

  std::string out;
  out.reserve(text.size() + entryLine.size() + section.size() + 8);
  if (at.entry) {
    // Keep the key as spelled in the file and the spacing around '='.
    const Line& line = lines[*at.entry];
    out.append(text.substr(0, line.valueBegin));
    out.append(Encoded(value));
    out.append(text.substr(line.contentEnd));
  } else if (at.section) {
    const Line& after = lines[*at.lastInFirst];
    out.append(text.substr(0, after.end));
    if (after.end == after.contentEnd) out.append(eol);  // the last line had no line end
    out.append(entryLine).append(eol);
    out.append(text.substr(after.end));
  } else {
    out.append(text);
    if (!lines.empty()) {
      const Line& last = lines.back();
      if (last.end == last.contentEnd) out.append(eol);  // no final line end
      // A blank line before the new section, unless the file ends with one.
      if (!Trimmed(text.substr(last.begin, last.contentEnd - last.begin)).empty()) out.append(eol);
    }
    out.append("[").append(section).append("]").append(eol);
    out.append(entryLine).append(eol);
  }
  return out;
}

std::mutex& FileMutex() {
  static std::mutex mutex;
  return mutex;
}

ReadResult ReadWholeFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? ReadResult::kMissing : ReadResult::kFailed;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
      bytes.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0) {
      break;
    } else if (errno != EINTR) {
      ::close(fd);
      bytes.clear();
      return ReadResult::kFailed;
    }
  }
  ::close(fd);
  return ReadResult::kRead;
}

bool ReplaceFile(const std::string& path, std::string_view bytes, mode_t newFileMode) {
  std::string target = path;
  struct stat info;
  if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
      target = resolved;
      std::free(resolved);
    }
  }
  const bool exists = ::stat(target.c_str(), &info) == 0;
  if (exists && !S_ISREG(info.st_mode)) return false;

  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temporary = (folder == "/" ? "" : folder) + "/." + name + ".XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;

  bool ok = true;
  for (std::size_t written = 0; ok && written < bytes.size();) {
    const ssize_t put = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (put > 0) {
      written += static_cast<std::size_t>(put);
    } else if (put < 0 && errno != EINTR) {
      ok = false;
    }
  }
  if (ok) ok = ::fchmod(fd, exists ? (info.st_mode & 07777) : newFileMode) == 0;
  if (ok && exists && (info.st_uid != ::geteuid() || info.st_gid != ::getegid())) {
    [[maybe_unused]] const int ignored = ::fchown(fd, info.st_uid, info.st_gid);  // only root may
  }
  if (ok) ok = ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok) ok = ::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  // Make the rename itself durable; a failure here does not undo the write.
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
  return true;
}

std::string ReadFileValue(const std::string& path, std::string_view section, std::string_view key) {
  std::lock_guard lock(FileMutex());
  std::string bytes;
  if (ReadWholeFile(path, bytes) != ReadResult::kRead) return {};
  return FindValue(bytes, section, key).value_or(std::string());
}

bool WriteFileValue(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value, mode_t newFileMode) {
  if (!IsStorable(section, key, value)) return false;
  std::lock_guard lock(FileMutex());
  std::string bytes;
  if (ReadWholeFile(path, bytes) == ReadResult::kFailed) return false;
  const std::optional<std::string> updated = WithValue(bytes, section, key, value);
  if (!updated) return false;
  if (*updated == bytes) return true;
  return ReplaceFile(path, *updated, newFileMode);
}

}  // namespace vornida::ini
