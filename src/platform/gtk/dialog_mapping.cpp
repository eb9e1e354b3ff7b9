#include "platform/gtk/dialog_mapping.h"

#include "platform/system_codes.h"

namespace vornida::platform {

namespace {

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(separator, start);
    if (end == std::string_view::npos) end = text.size();
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string CaseInsensitiveGlob(std::string_view pattern) {
  if (pattern == "*.*" || pattern == "*") return "*";
  std::string glob;
  for (char c : pattern) {
    const bool lower = c >= 'a' && c <= 'z';
    const bool upper = c >= 'A' && c <= 'Z';
    if (lower || upper) {
      const char other = lower ? static_cast<char>(c - 'a' + 'A') : static_cast<char>(c - 'A' + 'a');
      glob += '[';
      glob += lower ? other : c;
      glob += lower ? c : other;
      glob += ']';
    } else {
      glob += c;
    }
  }
  return glob;
}

std::vector<FileFilterEntry> ParseFileFilter(std::string_view filter) {
  // The list ends at the first empty entry ("||").
  std::vector<FileFilterEntry> filters;
  const std::vector<std::string_view> parts = Split(filter, '|');
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty()) break;
    FileFilterEntry entry;
    entry.name = std::string(Trim(parts[i]));
    for (std::string_view pattern : Split(parts[i + 1], ';')) {
      pattern = Trim(pattern);
      if (!pattern.empty()) entry.patterns.push_back(CaseInsensitiveGlob(pattern));
    }
    if (!entry.patterns.empty()) filters.push_back(std::move(entry));
  }
  return filters;
}

MessageBoxLayout LayoutForStyle(std::uint32_t style) {
  MessageBoxLayout layout;
  switch (style & kMbButtonMask) {
    case kMbOkCancel:
      layout.buttons = {{"_Cancel", kIdCancel}, {"_OK", kIdOk}};
      layout.closeId = kIdCancel;
      break;
    case kMbAbortRetryIgnore:
      layout.buttons = {{"_Abort", kIdAbort}, {"_Retry", kIdRetry}, {"_Ignore", kIdIgnore}};
      layout.closeId = kIdAbort;
      break;
    case kMbYesNoCancel:
      layout.buttons = {{"_Cancel", kIdCancel}, {"_No", kIdNo}, {"_Yes", kIdYes}};
      layout.closeId = kIdCancel;
      break;
    case kMbYesNo:
      layout.buttons = {{"_No", kIdNo}, {"_Yes", kIdYes}};
      layout.closeId = kIdNo;
      break;
    case kMbRetryCancel:
      layout.buttons = {{"_Cancel", kIdCancel}, {"_Retry", kIdRetry}};
      layout.closeId = kIdCancel;
      break;
    default:
      layout.buttons = {{"_OK", kIdOk}};
      layout.closeId = kIdOk;
      break;
  }
  // The default button counts in the order the system lists the buttons
  // (OK before Cancel, Yes before No), which is not the order GTK shows them.
  std::vector<int> systemOrder;
  switch (style & kMbButtonMask) {
    case kMbOkCancel: systemOrder = {kIdOk, kIdCancel}; break;
    case kMbAbortRetryIgnore: systemOrder = {kIdAbort, kIdRetry, kIdIgnore}; break;
    case kMbYesNoCancel: systemOrder = {kIdYes, kIdNo, kIdCancel}; break;
    case kMbYesNo: systemOrder = {kIdYes, kIdNo}; break;
    case kMbRetryCancel: systemOrder = {kIdRetry, kIdCancel}; break;
    default: systemOrder = {kIdOk}; break;
  }
  const std::size_t defaultIndex = (style >> 8) & 0xF;
  layout.defaultId = systemOrder[defaultIndex < systemOrder.size() ? defaultIndex : 0];

  switch (style & kMbIconMask) {
    case kMbIconError: layout.icon = MessageBoxIcon::Error; break;
    case kMbIconQuestion: layout.icon = MessageBoxIcon::Question; break;
    case kMbIconWarning: layout.icon = MessageBoxIcon::Warning; break;
    case kMbIconInformation: layout.icon = MessageBoxIcon::Information; break;
    default: layout.icon = MessageBoxIcon::None; break;
  }
  return layout;
}

}  // namespace vornida::platform
