#include "platform/gtk/movie_scheme.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace vornida::platform {

namespace {

// Served pictures are read whole; a bigger file is refused rather than held
// in memory (the largest photos are far below this).
constexpr off_t kMaxServedFile = off_t{512} * 1024 * 1024;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool PercentDecode(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int high = HexDigit(text[i + 1]);
    const int low = HexDigit(text[i + 2]);
    if (high < 0 || low < 0) return false;
    const char c = static_cast<char>(high * 16 + low);
    if (c == '\0') return false;
    out += c;
    i += 2;
  }
  return true;
}

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

// Splits at '/', dropping empty and "." segments; false when a ".." appears.
bool CleanRelativePath(std::string_view path, std::string& out) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(start, end - start);
    if (part == "..") return false;
    if (!part.empty() && part != ".") parts.push_back(part);
    start = end + 1;
  }
  out.clear();
  for (std::string_view part : parts) {
    if (!out.empty()) out += '/';
    out += part;
  }
  return !out.empty();
}

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == '~' || c == '/';
}

ServedFile Refused(int status, std::string reason) {
  ServedFile file;
  file.status = status;
  file.error = std::move(reason);
  return file;
}

// Reads an opened regular file whole.
bool ReadAll(int fd, off_t size, std::string& data) {
  data.resize(static_cast<std::size_t>(size));
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t got = ::read(fd, data.data() + done, data.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  data.resize(done);
  return true;
}

}  // namespace

SchemeRequest ParseSchemeUri(std::string_view uri) {
  SchemeRequest request;
  const std::string prefix = std::string(kMovieScheme) + "://";
  if (uri.substr(0, prefix.size()) != prefix) return request;
  std::string_view rest = uri.substr(prefix.size());
  if (const std::size_t cut = rest.find_first_of("?#"); cut != std::string_view::npos) rest = rest.substr(0, cut);
  const std::size_t slash = rest.find('/');
  const std::string_view host = rest.substr(0, slash);
  const std::string_view encoded = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
  std::string decoded;
  if (!PercentDecode(encoded, decoded)) return request;
  if (host == "movie") {
    if (!CleanRelativePath(decoded, request.path)) return request;
    request.target = SchemeTarget::MovieFile;
  } else if (host == "file") {
    // The encoded path is absolute: either "file//abs" or "file/%2Fabs" forms
    // arrive; both start with '/' once decoded.
    if (decoded.empty() || decoded.front() != '/') decoded.insert(decoded.begin(), '/');
    std::string clean;
    if (!CleanRelativePath(decoded, clean)) return request;
    request.path = "/" + clean;
    request.target = SchemeTarget::LocalPicture;
  }
  return request;
}

std::string LocalPictureUri(std::string_view absolutePath) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = std::string(kMovieScheme) + "://file";
  if (absolutePath.empty() || absolutePath.front() != '/') uri += '/';
  for (unsigned char c : absolutePath) {
    if (IsUnreserved(c)) {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri;
}

std::string MoviePageUri(std::string_view page, std::string_view query) {
  std::string uri = std::string(kMovieScheme) + "://movie/" + std::string(page);
  if (!query.empty()) uri += "?" + std::string(query);
  return uri;
}

std::string ContentTypeForName(std::string_view name) {
  const std::string lower = Lower(name);
  struct Entry {
    const char* extension;
    const char* type;
  };
  static const Entry kTypes[] = {
      {".html", "text/html"},       {".htm", "text/html"},       {".js", "text/javascript"},
      {".mjs", "text/javascript"},  {".css", "text/css"},        {".json", "application/json"},
      {".svg", "image/svg+xml"},    {".png", "image/png"},       {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},      {".gif", "image/gif"},       {".webp", "image/webp"},
      {".bmp", "image/bmp"},        {".woff2", "font/woff2"},    {".ttf", "font/ttf"},
      {".ico", "image/x-icon"},
  };
  for (const Entry& entry : kTypes)
    if (EndsWith(lower, entry.extension)) return entry.type;
  return "application/octet-stream";
}

std::string SniffPictureType(std::string_view head) {
  auto starts = [&](std::string_view magic) { return head.substr(0, magic.size()) == magic; };
  if (starts(std::string_view("\x89PNG\r\n\x1a\n", 8))) return "image/png";
  if (starts(std::string_view("\xFF\xD8\xFF", 3))) return "image/jpeg";
  if (starts("GIF87a") || starts("GIF89a")) return "image/gif";
  if (starts("BM") && head.size() >= 14) return "image/bmp";
  if (starts("RIFF") && head.size() >= 12 && head.substr(8, 4) == "WEBP") return "image/webp";
  return {};
}

ServedFile ReadLocalPicture(const std::string& path) {
  if (path.empty() || path.front() != '/') return Refused(403, "not an absolute path");
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return Refused(errno == ENOENT ? 404 : 403, std::strerror(errno));
  struct stat info {};
  ServedFile file;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    file = Refused(403, "not a regular file");
  } else if (info.st_size > kMaxServedFile) {
    file = Refused(403, "file too large");
  } else {
    ReadAll(fd, info.st_size, file.data);
    file.contentType = SniffPictureType(std::string_view(file.data).substr(0, 16));
    if (file.contentType.empty()) file = Refused(403, "not a picture");
  }
  ::close(fd);
  return file;
}

ServedFile ReadMovieFile(const std::string& movieFolder, const std::string& relativePath) {
  std::string clean;
  if (!CleanRelativePath(relativePath, clean)) return Refused(403, "outside the movie folder");
  const std::string path = movieFolder + "/" + clean;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return Refused(404, std::strerror(errno));
  struct stat info {};
  ServedFile file;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxServedFile) {
    file = Refused(404, "not a regular file");
  } else {
    ReadAll(fd, info.st_size, file.data);
    file.contentType = ContentTypeForName(clean);
  }
  ::close(fd);
  return file;
}

std::string MovieLanguageTag(const char* lcAll, const char* lcMessages, const char* lang) {
  const char* chosen = nullptr;
  for (const char* value : {lcAll, lcMessages, lang})
    if (value != nullptr && value[0] != '\0') {
      chosen = value;
      break;
    }
  if (chosen == nullptr) return "en";
  std::string name(chosen);
  if (const std::size_t cut = name.find_first_of(".@"); cut != std::string::npos) name.resize(cut);
  if (name.empty() || name == "C" || name == "POSIX") return "en";
  std::string tag;
  for (char c : name) {
    if (c == '_') {
      tag += '-';
    } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-') {
      tag += c;
    } else {
      return "en";  // not a locale name we can pass on
    }
  }
  return tag;
}

}  // namespace vornida::platform
