#include "app/paths.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

#include "app/wildcard.h"

namespace vornida {
namespace fs = std::filesystem;

namespace {

bool IsFolder(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Every entry that `path` names: the entry itself, or for a wildcard file-name
// part the matching entries of its folder. FALSE when the entry or the folder
// does not exist.
bool ExpandEntries(std::string_view path, std::vector<std::string>& entries) {
  entries.clear();
  if (path.empty()) return false;
  const std::string name = GetFileNamePart(path);
  if (!HasWildcards(name)) {
    struct stat info;
    const std::string whole(path);
    if (::lstat(whole.c_str(), &info) != 0) return false;
    entries.push_back(whole);
    return true;
  }
  const std::string folder = ListingFolderOf(path);
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) return false;
  const std::string prefix = path.find('/') == std::string_view::npos ? std::string() : folder == "/" ? folder : folder + "/";
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    const std::string entryName = it->path().filename().string();
    if (MatchesWildcard(name, entryName)) entries.push_back(prefix + entryName);
  }
  return !ec;
}

// Where `source` goes when copied or moved to `to`: into `to` when that is an
// existing folder.
std::string TargetFor(const std::string& source, std::string_view to) {
  std::string target(to);
  if (IsFolder(target)) {
    if (target.back() != '/') target += '/';
    target += GetFileNamePart(source);
  }
  return target;
}

bool CopyEntry(const std::string& source, const std::string& target) {
  std::error_code ec;
  fs::copy(source, target,
           fs::copy_options::recursive | fs::copy_options::overwrite_existing |
               fs::copy_options::copy_symlinks,
           ec);
  return !ec;
}

bool MoveEntry(const std::string& source, const std::string& target) {
  std::error_code ec;
  fs::rename(source, target, ec);
  if (!ec) return true;
  if (ec != std::errc::cross_device_link) return false;
  if (!CopyEntry(source, target)) return false;
  fs::remove_all(source, ec);
  return !ec;
}

}  // namespace

bool IsAbsolutePath(std::string_view path) {
  if (!path.empty() && path[0] == '/') return true;
  if (path.size() < 3) return false;
  if (path[1] == ':' && path[2] == '/') return true;
  // A leading "//" (network path) is covered by the leading '/' above.
  return path.find("://", 1) != std::string_view::npos;
}

std::string GetFileNamePart(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string GetFileExtension(std::string_view path) {
  const std::size_t dot = path.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot + 1));
}

std::string GetFolderPart(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

bool IsFile(std::string_view path) {
  if (path.empty()) return false;
  if (!HasWildcards(GetFileNamePart(path))) {
    struct stat info;
    const std::string whole(path);
    return ::stat(whole.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
  }
  std::vector<std::string> entries;
  if (!ExpandEntries(path, entries)) return false;
  for (const std::string& entry : entries) {
    struct stat info;
    if (::stat(entry.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) return true;
  }
  return false;
}

bool CreateParentFolders(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos || slash == 0) return true;  // current folder or root
  const std::string folder(path.substr(0, slash));
  if (IsFolder(folder)) return true;

  // Walk down from the top, creating each missing level. A failure is not
  // fatal here: a level may have been created meanwhile by another thread or
  // process, so only the final check decides.
  std::string level = folder[0] == '/' ? "/" : "";
  std::size_t start = level.size();
  while (start <= folder.size()) {
    std::size_t end = folder.find('/', start);
    if (end == std::string::npos) end = folder.size();
    if (end > start) {
      level.append(folder, start, end - start);
      struct stat info;
      if (::stat(level.c_str(), &info) != 0 && errno == ENOENT) ::mkdir(level.c_str(), 0777);
      level += '/';
    }
    start = end + 1;
  }
  return IsFolder(folder);
}

bool EnsureFolder(std::string_view folder) {
  if (folder.empty()) return false;
  if (folder.back() == '/') folder.remove_suffix(1);
  // The file name only stands in for an entry inside the folder, so that the
  // folder itself is among the levels created; no such file is made.
  return CreateParentFolders(std::string(folder) + "/ghost.txt");
}

bool ShellFileOperation(std::string_view from, std::string_view to, int operation) {
  const bool wildcard = HasWildcards(GetFileNamePart(from));
  std::vector<std::string> entries;
  if (!ExpandEntries(from, entries)) return false;

  bool ok = true;
  switch (operation) {
    case kShellDelete:
      for (const std::string& entry : entries) {
        std::error_code ec;
        fs::remove_all(entry, ec);
        if (ec) ok = false;
      }
      return ok;
    case kShellCopy:
    case kShellMove:
      if (to.empty()) return false;
      // Several sources need a folder to go into; create it silently.
      if (wildcard && !IsFolder(std::string(to)) && !EnsureFolder(to)) return false;
      for (const std::string& entry : entries) {
        const std::string target = TargetFor(entry, to);
        if (!(operation == kShellCopy ? CopyEntry(entry, target) : MoveEntry(entry, target))) ok = false;
      }
      return ok;
    case kShellRename: {
      if (to.empty() || wildcard || entries.size() != 1) return false;
      std::error_code ec;
      fs::rename(entries[0], std::string(to), ec);
      return !ec;
    }
    default:
      return false;
  }
}

}  // namespace vornida
