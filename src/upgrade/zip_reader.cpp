#include "upgrade/zip_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unzip.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <vector>

#include "base/text.h"

namespace vornida {

namespace {

thread_local std::uint32_t lastZipResult = kZipOk;

std::uint32_t Report(std::uint32_t result) {
  lastZipResult = result;
  return result;
}

constexpr std::size_t kCopyChunk = 0x4000;
// Names this long (in UTF-16 units) are never found by FindZipItem.
constexpr std::size_t kFindNameLimit = 256;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

// The DOS date and time fields, read as a UTC calendar time.
std::int64_t DosTimeToSeconds(const tm_unz& t) {
  const unsigned month = std::clamp<unsigned>(t.tm_mon + 1, 1, 12);
  const unsigned day = std::clamp<unsigned>(t.tm_mday, 1, 31);
  return DaysFromCivil(t.tm_year, month, day) * 86400 + std::int64_t{t.tm_hour} * 3600 +
         std::int64_t{t.tm_min} * 60 + t.tm_sec;
}

std::uint32_t ReadLe16(const unsigned char* p) { return p[0] | (p[1] << 8); }
std::uint32_t ReadLe32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
}

// Applies the first "UT" (extended time stamp) block of a local extra field.
void ApplyExtendedTimes(const std::vector<unsigned char>& extra, ZipItemInfo& info) {
  std::size_t pos = 0;
  while (extra.size() - pos > 4) {
    const std::uint32_t tag = ReadLe16(&extra[pos]);
    const std::size_t size = ReadLe16(&extra[pos + 2]);
    const std::size_t dataStart = pos + 4;
    if (tag == 0x5455) {  // "UT"
      const std::size_t available = std::min(size, extra.size() - dataStart);
      if (available < 1) return;
      const unsigned char* data = &extra[dataStart];
      const unsigned flags = data[0];
      std::size_t offset = 1;
      std::int64_t* targets[] = {&info.writeTime, &info.accessTime, &info.creationTime};
      for (unsigned bit = 0; bit < 3; ++bit) {
        if (!(flags & (1u << bit))) continue;
        if (offset + 4 > available) return;
        *targets[bit] = static_cast<std::int32_t>(ReadLe32(data + offset));
        offset += 4;
      }
      return;
    }
    pos = dataStart + size;
    if (pos >= extra.size()) return;
  }
}

std::uint32_t AttributesFrom(std::uint32_t external) {
  std::uint32_t attributes = kZipAttrNormal;
  if ((external & 0x40000000u) || (external & 0x10u)) attributes = kZipAttrNormal | kZipAttrDirectory;
  if (external & 0x20u) attributes |= kZipAttrArchive;
  if (external & 0x02u) attributes |= kZipAttrHidden;
  // Tools that leave the Unix half empty give read-only items.
  if (!(external & 0x00800000u) || (external & 0x01u)) attributes |= kZipAttrReadOnly;
  if (external & 0x04u) attributes |= kZipAttrSystem;
  return attributes;
}

std::string JoinPath(const std::string& folder, std::string_view relative) {
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  for (char c : relative) path += IsSeparator(c) ? '/' : c;
  return path;
}

// Creates `relative` (several levels, either separator) below `root`, every
// missing level in turn. A level that exists as a folder is no error.
bool CreateFolderPath(const std::string& root, std::string_view relative) {
  std::string path = root;
  if (path.empty() || path.back() != '/') path += '/';
  std::size_t start = 0;
  while (start < relative.size()) {
    std::size_t end = start;
    while (end < relative.size() && !IsSeparator(relative[end])) ++end;
    const std::string_view level = relative.substr(start, end - start);
    start = end + 1;
    if (level.empty() || level == ".") continue;
    path.append(level);
    if (::mkdir(path.c_str(), 0755) != 0) {
      struct stat st {};
      if (errno != EEXIST || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    }
    path += '/';
  }
  return true;
}

// True when `path` (which must exist) resolves to `root` or below it, so that
// a folder link placed in the extraction folder cannot lead elsewhere.
bool ResolvesInside(const std::string& path, const std::string& root) {
  std::error_code error;
  const auto resolvedRoot = std::filesystem::canonical(root, error);
  if (error) return false;
  const auto resolved = std::filesystem::canonical(path, error);
  if (error) return false;
  auto rootIt = resolvedRoot.begin();
  auto it = resolved.begin();
  for (; rootIt != resolvedRoot.end(); ++rootIt, ++it)
    if (it == resolved.end() || *it != *rootIt) return false;
  return true;
}

std::string CurrentFolder() {
  std::error_code error;
  auto current = std::filesystem::current_path(error);
  return error ? std::string(".") : current.string();
}

}  // namespace

bool IsSafeRelativeZipName(std::string_view name) {
  if (name.find('\0') != std::string_view::npos) return false;
  if (!name.empty() && IsSeparator(name[0])) return false;
  if (name.size() >= 2 && name[1] == ':') return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    if (name.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

class CZipReader {
 public:
  CZipReader(unzFile archive, std::string rootFolder) : m_archive(archive), m_root(std::move(rootFolder)) {
    unz_global_info64 global{};
    if (m_archive && unzGetGlobalInfo64(m_archive, &global) == UNZ_OK)
      m_nItems = static_cast<int>(std::min<ZPOS64_T>(global.number_entry, INT_MAX));
  }
  ~CZipReader() {
    CloseOpenItem();
    if (m_archive) unzClose(m_archive);
  }
  CZipReader(const CZipReader&) = delete;
  CZipReader& operator=(const CZipReader&) = delete;

  int ItemCount() const { return m_nItems; }

  std::uint32_t FindItem(std::string_view name, bool ignoreCase, int* indexOut, ZipItemInfo* infoOut) {
    if (indexOut) *indexOut = -1;
    if (Utf16Length(name) >= kFindNameLimit || !m_archive) return kZipItemNotFound;
    CloseOpenItem();
    int found = -1;
    m_nCurrent = -1;
    if (unzGoToFirstFile(m_archive) == UNZ_OK) {
      for (int index = 0; index < m_nItems; ++index) {
        std::string stored;
        if (!ReadCurrentName(stored)) break;
        if (ignoreCase ? EqualsIgnoreAsciiCase(stored, name) : stored == name) {
          found = index;
          m_nCurrent = index;
          break;
        }
        if (index + 1 < m_nItems && unzGoToNextFile(m_archive) != UNZ_OK) break;
      }
    }
    if (found < 0) return kZipItemNotFound;
    if (indexOut) *indexOut = found;
    ZipItemInfo info;
    const std::uint32_t result = GetItem(found, info);
    if (result == kZipOk && infoOut) *infoOut = info;
    return result;
  }

  std::uint32_t GetItem(int index, ZipItemInfo& out) {
    if (index < 0 || index >= m_nItems) return kZipInvalidArgument;
    CloseOpenItem();
    if (index == m_nCachedIndex) {
      out = m_cachedInfo;
      return kZipOk;
    }
    if (!MoveTo(index)) return kZipBadLocalHeader;
    unz_file_info64 record{};
    std::string name;
    if (!ReadCurrentName(name, &record)) return kZipBadLocalHeader;

    // The local header is only reachable through an opened item; raw mode
    // skips setting up inflate.
    int method = 0, level = 0;
    if (unzOpenCurrentFile2(m_archive, &method, &level, 1) != UNZ_OK) return kZipBadLocalHeader;
    m_nOpenItem = index;
    const int extraSize = unzGetLocalExtrafield(m_archive, nullptr, 0);
    std::vector<unsigned char> extra(extraSize > 0 ? static_cast<std::size_t>(extraSize) : 0);
    if (extraSize < 0 ||
        (!extra.empty() && unzGetLocalExtrafield(m_archive, extra.data(), static_cast<unsigned>(extra.size())) !=
                               extraSize)) {
      CloseOpenItem();
      return kZipBadExtraField;
    }
    CloseOpenItem();

    ZipItemInfo info;
    info.index = index;
    info.name = TruncateUtf16(name, kZipMaxItemName);
    info.compressedSize = record.compressed_size;
    info.size = record.uncompressed_size;
    const auto external = static_cast<std::uint32_t>(record.external_fa);
    info.attributes = AttributesFrom(external);
    info.unixMode = (external >> 16) & 07777;
    info.accessTime = info.creationTime = info.writeTime = DosTimeToSeconds(record.tmu_date);
    ApplyExtendedTimes(extra, info);

    m_cachedInfo = info;
    m_nCachedIndex = index;
    out = info;
    return kZipOk;
  }

  std::uint32_t ExtractItem(int index, const std::string& targetName, const std::function<bool()>& shouldStop) {
    CloseOpenItem();
    ZipItemInfo info;
    if (const std::uint32_t result = GetItem(index, info); result != kZipOk) return result;

    if (info.attributes & kZipAttrDirectory) {
      if (!IsSafeRelativeZipName(info.name)) return kZipUnsafeName;
      return CreateFolderPath(m_root, info.name) ? kZipOk : kZipCannotCreateFile;
    }
    if (!IsSafeRelativeZipName(targetName)) return kZipUnsafeName;
    if (targetName.empty() || IsSeparator(targetName.back())) return kZipCannotCreateFile;

    std::error_code ignored;
    std::filesystem::create_directories(m_root, ignored);
    const std::string target = JoinPath(m_root, targetName);
    const std::size_t lastSeparator = targetName.find_last_of("/\\");
    if (lastSeparator != std::string::npos && !CreateFolderPath(m_root, targetName.substr(0, lastSeparator)))
      return kZipCannotCreateFile;
    if (!ResolvesInside(target.substr(0, target.rfind('/')), m_root)) return kZipUnsafeName;

    // A read-only file is not replaced, whoever runs the program.
    struct stat existing {};
    if (::lstat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) && !(existing.st_mode & S_IWUSR))
      return kZipCannotCreateFile;
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return kZipCannotCreateFile;

    bool failed = unzOpenCurrentFile(m_archive) != UNZ_OK;
    bool stopped = false;
    if (!failed) {
      m_nOpenItem = index;
      std::vector<char> buffer(kCopyChunk);
      for (;;) {
        if (shouldStop && shouldStop()) {
          stopped = failed = true;
          break;
        }
        const int count = unzReadCurrentFile(m_archive, buffer.data(), static_cast<unsigned>(buffer.size()));
        if (count == 0) break;
        if (count < 0 || !WriteAll(fd, buffer.data(), static_cast<std::size_t>(count))) {
          failed = true;
          break;
        }
      }
      // A CRC mismatch means the written data is not what was stored.
      if (CloseOpenItem() == UNZ_CRCERROR) failed = true;
    }
    if (!failed) {
      const timespec times[2] = {{static_cast<time_t>(info.accessTime), 0},
                                 {static_cast<time_t>(info.writeTime), 0}};
      ::futimens(fd, times);
    }
    const mode_t mode = ((info.attributes & kZipAttrReadOnly) ? 0444 : 0644) | (info.unixMode & 0111);
    ::fchmod(fd, mode);
    if (::close(fd) != 0) failed = true;
    if (!failed) return kZipOk;
    // Half an installer is worse than none.
    ::unlink(target.c_str());
    return stopped ? kZipStopped : kZipReadWriteFailed;
  }

 private:
  static bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
      const ssize_t written = ::write(fd, data, size);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      data += written;
      size -= static_cast<std::size_t>(written);
    }
    return true;
  }

  // Reads the current item's record and full stored name.
  bool ReadCurrentName(std::string& name, unz_file_info64* recordOut = nullptr) {
    unz_file_info64 record{};
    if (unzGetCurrentFileInfo64(m_archive, &record, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) return false;
    name.assign(record.size_filename, '\0');
    if (!name.empty() &&
        unzGetCurrentFileInfo64(m_archive, &record, name.data(), static_cast<uLong>(name.size()), nullptr, 0,
                                nullptr, 0) != UNZ_OK)
      return false;
    if (recordOut) *recordOut = record;
    return true;
  }

  // Positions the archive at item `index`, walking forward from the current
  // item or from the first one.
  bool MoveTo(int index) {
    if (m_nCurrent < 0 || index < m_nCurrent) {
      m_nCurrent = -1;
      if (unzGoToFirstFile(m_archive) != UNZ_OK) return false;
      m_nCurrent = 0;
    }
    while (m_nCurrent < index) {
      if (unzGoToNextFile(m_archive) != UNZ_OK) {
        m_nCurrent = -1;
        return false;
      }
      ++m_nCurrent;
    }
    return true;
  }

  int CloseOpenItem() {
    if (m_nOpenItem < 0) return UNZ_OK;
    m_nOpenItem = -1;
    return unzCloseCurrentFile(m_archive);
  }

  unzFile m_archive = nullptr;
  int m_nOpenItem = -1;
  ZipItemInfo m_cachedInfo;
  int m_nCachedIndex = -1;
  std::string m_root;
  int m_nItems = 0;
  int m_nCurrent = -1;  // item the archive is positioned at; -1 when unknown
};

ZipHandle* OpenZip(const std::string& path, const std::string& extractionFolder) {
  // Tell a missing or unreadable file apart from one that is not an archive.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  const bool readable = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (fd >= 0) ::close(fd);
  if (!readable) {
    Report(kZipCannotCreateFile);
    return nullptr;
  }
  std::string root = extractionFolder.empty() ? CurrentFolder() : extractionFolder;
  auto* handle = new ZipHandle{kZipHandleReader, new CZipReader(unzOpen64(path.c_str()), std::move(root))};
  Report(kZipOk);
  return handle;
}

namespace {

std::uint32_t CheckHandle(ZipHandle* handle) {
  if (!handle) return kZipInvalidArgument;
  if (handle->kind != kZipHandleReader || !handle->reader) return kZipWrongHandleKind;
  return kZipOk;
}

}  // namespace

int ZipItemCount(ZipHandle* handle) {
  if (Report(CheckHandle(handle)) != kZipOk) return 0;
  return handle->reader->ItemCount();
}

std::uint32_t FindZipItem(ZipHandle* handle, std::string_view name, bool ignoreCase, int* indexOut,
                          ZipItemInfo* infoOut) {
  if (indexOut) *indexOut = -1;
  if (const std::uint32_t result = CheckHandle(handle); result != kZipOk) return Report(result);
  return Report(handle->reader->FindItem(name, ignoreCase, indexOut, infoOut));
}

std::uint32_t GetZipItem(ZipHandle* handle, int index, ZipItemInfo* infoOut) {
  if (const std::uint32_t result = CheckHandle(handle); result != kZipOk) return Report(result);
  ZipItemInfo info;
  const std::uint32_t result = handle->reader->GetItem(index, info);
  if (result == kZipOk && infoOut) *infoOut = info;
  return Report(result);
}

std::uint32_t ExtractZipItem(ZipHandle* handle, int index, const std::string& targetName,
                             const std::function<bool()>& shouldStop) {
  if (const std::uint32_t result = CheckHandle(handle); result != kZipOk) return Report(result);
  return Report(handle->reader->ExtractItem(index, targetName, shouldStop));
}

std::uint32_t CloseZip(ZipHandle* handle) {
  if (const std::uint32_t result = CheckHandle(handle); result != kZipOk) return Report(result);
  delete handle->reader;
  delete handle;
  return Report(kZipOk);
}

std::uint32_t LastZipResult() { return lastZipResult; }

}  // namespace vornida
