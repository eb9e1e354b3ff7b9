#include "app/folders.h"

#include <filesystem>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

#include "app/paths.h"

namespace vornida {
namespace {

// Guards the process-wide folder values below.
std::mutex& FolderMutex() {
  static std::mutex mutex;
  return mutex;
}
std::string& ThumbnailFolderValue() {
  static std::string value;
  return value;
}
std::string& AppDataFolderValue() {
  static std::string value;
  return value;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The environment variable when it holds an absolute path, else empty. Relative
// values are ignored, as the XDG rules ask.
std::string AbsoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return {};
  return WithoutTrailingSlashes(value);
}

std::string HomeFolder() {
  std::string home = AbsoluteFromEnvironment("HOME");
  if (!home.empty()) return home;
  std::vector<char> buffer(16384);
  struct passwd entry;
  struct passwd* found = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return WithoutTrailingSlashes(found->pw_dir);
  }
  return {};
}

std::string XdgFolder(const char* variable, const char* fallbackBelowHome) {
  std::string folder = AbsoluteFromEnvironment(variable);
  if (!folder.empty()) return folder;
  return HomeFolder() + fallbackBelowHome;
}

std::string UserTag() { return "vornida-" + std::to_string(::geteuid()); }

// The file by which a build-tree program folder beside an executable is known.
constexpr const char* kProgramFolderMark = "TBgBrush.png";

}  // namespace

std::string GetModuleFolder() {
  static const std::string folder = [] {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return std::string();
    const std::string exe(buffer.data(), static_cast<std::size_t>(length));
    const std::size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return std::string();
    return slash == 0 ? std::string("/") : exe.substr(0, slash);
  }();
  return folder;
}

std::string GetProgramFolder() {
  static const std::string folder = [] {
    const std::string module = GetModuleFolder();
    if (module.empty()) return std::string();
    // A build-tree copy beside the executable wins: it is what the developer
    // just built. Installed executables have no such neighbour in bin/.
    std::error_code error;
    if (std::filesystem::is_regular_file(module + "/" + kProgramFolderMark, error)) return module;
    const std::filesystem::path installed =
        (std::filesystem::path(module) / VORNIDA_PROGRAM_FOLDER_FROM_BINARIES).lexically_normal();
    return WithoutTrailingSlashes(installed.string());
  }();
  return folder;
}

ProgramFile FindProgramFile(std::string_view relative) {
  const std::string folder = GetProgramFolder();
  if (folder.empty()) return {{}, "Vornida cannot find its own location (/proc/self/exe), so not its program folder"};
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) {
    return {{}, "Vornida's program folder " + folder + " is missing; Vornida is not installed completely"};
  }
  std::string path = folder + "/" + std::string(relative);
  if (!std::filesystem::exists(path, error)) {
    return {{}, std::string(relative) + " is missing from Vornida's program folder " + folder};
  }
  return {std::move(path), {}};
}

std::string GetSystemTempPath() {
  std::string path = AbsoluteFromEnvironment("TMPDIR");
  // A TMPDIR that names no folder would leave the program without any place
  // for its thumbnails; the system folder still works.
  std::error_code error;
  if (path.empty() || !std::filesystem::is_directory(path, error)) path = "/tmp";
  if (path.back() != '/') path += '/';
  return path;
}

bool MakePrivateFolder(std::string_view folder) {
  if (folder.empty()) return false;
  const std::string path = WithoutTrailingSlashes(std::string(folder));
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;

  // Check what is there now through a descriptor opened without following a
  // final symlink, so the entry cannot be swapped between check and use.
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;  // a symlink, not a folder, or unreachable
  struct stat info;
  bool ok = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
  // Our own folder: make it exactly 0700 (the umask may have taken bits we
  // need, or an older run left it open to others).
  if (ok && (info.st_mode & 07777) != 0700) ok = ::fchmod(fd, 0700) == 0;
  ::close(fd);
  return ok;
}

std::string GetTempFolder() {
  const std::string system = GetSystemTempPath();
  const std::string base = system + UserTag();
  if (MakePrivateFolder(base)) return base + "/";

  // The fixed name is taken by someone else (or is a symlink): use a fresh
  // private folder with an unguessable name, one per system path, for the rest
  // of the run.
  static std::mutex mutex;
  static std::map<std::string, std::string> fallbacks;
  std::lock_guard lock(mutex);
  std::string& fallback = fallbacks[system];
  if (!fallback.empty() && MakePrivateFolder(fallback)) return fallback + "/";
  std::string pattern = base + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr || !MakePrivateFolder(pattern)) {
    fallback.clear();
    return {};
  }
  fallback = pattern;
  return fallback + "/";
}

std::string MakeTempPath(std::string_view path) {
  if (IsAbsolutePath(path)) return std::string(path);
  return GetTempFolder() + "/" + std::string(path);
}

std::string InitThumbnailFolder(std::string_view name) {
  const std::string temp = GetTempFolder();
  std::string folder = temp.empty() ? std::string() : MakeTempPath(name);
  if (folder.empty() || !MakePrivateFolder(folder)) folder.clear();
  std::lock_guard lock(FolderMutex());
  ThumbnailFolderValue() = folder;
  return folder;
}

std::string GetThumbnailFolder() {
  std::lock_guard lock(FolderMutex());
  return ThumbnailFolderValue();
}

std::string InitAppDataFolder(std::string_view name) {
  const std::string folder = XdgFolder("XDG_DATA_HOME", "/.local/share") + "/" + std::string(name);
  EnsureFolder(folder);
  std::lock_guard lock(FolderMutex());
  AppDataFolderValue() = folder;
  return folder;
}

std::string GetAppDataFolder() {
  std::lock_guard lock(FolderMutex());
  return AppDataFolderValue();
}

std::string MakeAppDataPath(std::string_view relative) {
  return GetAppDataFolder() + "/" + std::string(relative);
}

std::string MakeAbsolutePath(std::string_view path, std::string_view base) {
  if (IsAbsolutePath(path)) return std::string(path);
  const std::string folder = base.empty() ? GetProgramFolder() : std::string(base);
  return folder + "/" + std::string(path);
}

std::string GetConfigFolder() { return XdgFolder("XDG_CONFIG_HOME", "/.config"); }

}  // namespace vornida
