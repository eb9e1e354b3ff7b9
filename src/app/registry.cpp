#include "app/registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <vector>

#include "app/folders.h"
#include "app/ini_file.h"
#include "app/paths.h"

namespace vornida {
namespace {

std::mutex& StoreMutex() {
  static std::mutex mutex;
  return mutex;
}
std::string& StorePath() {
  static std::string path;
  return path;
}

// The running program's file name without its extension.
std::string ProgramName() {
  std::vector<char> buffer(4096);
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return "Vornida";
  std::string name = GetFileNamePart(std::string_view(buffer.data(), static_cast<std::size_t>(length)));
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name.empty() ? "Vornida" : name;
}

// A company or application name as one file-name level.
std::string AsFileName(std::string_view name) {
  std::string level(name);
  for (char& c : level) {
    if (c == '/' || c == '\0') c = '_';
  }
  if (level.empty() || level == "." || level == "..") level = "_" + level;
  return level;
}

}  // namespace

std::string SelectRegistryStore(std::string_view company, std::string_view application) {
  const std::string app = application.empty() ? ProgramName() : std::string(application);
  const std::string path = GetConfigFolder() + "/" + AsFileName(company) + "/" + AsFileName(app) + ".ini";
  std::lock_guard lock(StoreMutex());
  StorePath() = path;
  return path;
}

std::string GetRegistryStorePath() {
  std::lock_guard lock(StoreMutex());
  return StorePath();
}

std::string GetRegistryString(std::string_view section, std::string_view key) {
  const std::string path = GetRegistryStorePath();
  if (path.empty()) return {};
  return ini::ReadFileValue(path, section, key);
}

bool SetRegistryString(std::string_view section, std::string_view key, std::string_view value) {
  const std::string path = GetRegistryStorePath();
  if (path.empty() || !ini::IsStorable(section, key, value)) return false;
  // The company folder holds only this user's settings: keep it private when
  // we are the ones to create it.
  const std::string companyFolder = GetFolderPart(path);
  struct stat info;
  if (::stat(companyFolder.c_str(), &info) != 0) {
    if (!EnsureFolder(GetFolderPart(companyFolder))) return false;
    ::mkdir(companyFolder.c_str(), 0700);
  }
  return ini::WriteFileValue(path, section, key, value, 0600);
}

std::string GetRecent(std::string_view key, std::string_view fallback) {
  std::string value = GetRegistryString(kRecentSection, key);
  return value.empty() ? std::string(fallback) : value;
}

bool SetRecent(std::string_view key, std::string_view value) {
  return SetRegistryString(kRecentSection, key, value);
}

}  // namespace vornida
