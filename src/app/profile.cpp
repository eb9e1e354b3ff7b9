#include "app/profile.h"

#include <mutex>

#include "app/ini_file.h"
#include "base/text.h"

namespace vornida {

CProfile::CProfile(std::string filePath, std::string defaultSection)
    : defaultSection_(std::move(defaultSection)), filePath_(std::move(filePath)) {}

CProfile::~CProfile() = default;

std::string CProfile::GetString(std::string_view key, std::string_view section) {
  if (section.empty()) section = defaultSection_;
  std::string value = TruncateUtf16(ini::ReadFileValue(filePath_, section, key), kProfileValueLimit);
  std::lock_guard lock(ini::FileMutex());
  lastValue_ = value;
  return value;
}

bool CProfile::SetString(std::string_view key, std::string_view value, std::string_view section) {
  if (section.empty()) section = defaultSection_;
  return ini::WriteFileValue(filePath_, section, key, value, 0644);
}

std::string CProfile::lastValue() const {
  std::lock_guard lock(ini::FileMutex());
  return lastValue_;
}

}  // namespace vornida
