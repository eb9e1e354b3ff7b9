#include "upgrade/update_manifest.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "base/text.h"
#include "xml/xml_doc.h"

namespace vornida {

double ParseVersionNumber(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data()) {
    // Out of range still has a meaningful sign; anything else is no number.
    if (error == std::errc::result_out_of_range) return negative ? -HUGE_VAL : HUGE_VAL;
    return 0;
  }
  return negative ? -value : value;
}

std::vector<std::string> SplitUrlList(std::string_view list) {
  std::string text(list);
  if (text.empty() || text.back() != ';') text += ';';
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (std::size_t semicolon; (semicolon = text.find(';', start)) != std::string::npos; start = semicolon + 1)
    pieces.push_back(text.substr(start, semicolon - start));
  return pieces;
}

std::string FormatWithDoubles(std::string_view format, const std::vector<double>& values) {
  std::string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    // %[flags][width][.precision][length]conversion, with numbers bounded so
    // that no field can ask for an absurd size.
    std::size_t j = i + 1;
    std::string conversion = "%";
    while (j < format.size() && std::string_view("-+ #0").find(format[j]) != std::string_view::npos)
      conversion += format[j++];
    std::size_t digits = 0;
    while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j])) && digits < 3) {
      conversion += format[j++];
      ++digits;
    }
    if (j < format.size() && format[j] == '.') {
      conversion += format[j++];
      digits = 0;
      while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j])) && digits < 2) {
        conversion += format[j++];
        ++digits;
      }
    }
    while (j < format.size() && (format[j] == 'l' || format[j] == 'L' || format[j] == 'h')) ++j;
    if (j < format.size() && std::string_view("fFeEgGaA").find(format[j]) != std::string_view::npos) {
      conversion += format[j];
      const double value = next < values.size() ? values[next] : 0.0;
      ++next;
      char buffer[512];
      const int length = std::snprintf(buffer, sizeof buffer, conversion.c_str(), value);
      if (length > 0) out.append(buffer, std::min<std::size_t>(static_cast<std::size_t>(length), sizeof buffer - 1));
      i = j;
    } else {
      out += '%';  // not a conversion we fill: the text stays as written
    }
  }
  return out;
}

namespace {

// The manifest's bytes as the XML document reads a file: invalid UTF-8
// sequences become U+FFFD.
bool LoadText(CXmlDoc& doc, std::string_view manifest) {
  return doc.setText(Utf16ToUtf8(Utf8ToUtf16(manifest)));
}

ManifestVersion ReadVersion(CXmlDoc& doc, std::string_view currentVersionText) {
  ManifestVersion result;
  result.current = ParseVersionNumber(currentVersionText);
  if (!doc.findElement()) return result;
  result.loaded = true;
  result.server = ParseVersionNumber(doc.attribute("curver"));
  result.newer = result.server > result.current;
  if (!result.newer) return result;

  if (!doc.enterElement() || !doc.findElement("UpdateFile") || !doc.enterElement() ||
      !doc.findElement("FileList") || !doc.enterElement())
    return result;
  result.hasFileList = true;
  while (doc.findElement("File")) {
    const double from = ParseVersionNumber(doc.attribute("verfrom"));
    const double to = ParseVersionNumber(doc.attribute("verto"));
    if (from <= result.current && result.current <= to) {
      result.patchFound = true;
      result.patchName = doc.attribute("name");
      break;
    }
  }
  doc.leaveElement();
  doc.leaveElement();
  if (doc.findElement("UpgradeDesc")) {
    result.hasDescription = true;
    result.description = doc.elementText();
  }
  return result;
}

std::vector<DownloadItem> ReadItems(CXmlDoc& doc) {
  std::vector<DownloadItem> items;
  if (!doc.findElement() || !doc.enterElement() || !doc.findElement("InstallUrl") || !doc.enterElement())
    return items;
  while (doc.findElement("Url"))
    items.push_back({doc.attribute("src"), doc.attribute("type"), doc.attribute("inzipexename"),
                     doc.attribute("sha256"), doc.attribute("size")});
  return items;
}

}  // namespace

ManifestVersion ReadManifestVersion(const std::string& manifestPath, std::string_view currentVersionText) {
  CXmlDoc doc;
  if (!doc.loadFile(manifestPath)) return {};
  return ReadVersion(doc, currentVersionText);
}

ManifestVersion ReadManifestVersionFromText(std::string_view manifest, std::string_view currentVersionText) {
  CXmlDoc doc;
  if (!LoadText(doc, manifest)) return {};
  return ReadVersion(doc, currentVersionText);
}

std::vector<DownloadItem> ReadInstallItems(const std::string& manifestPath) {
  CXmlDoc doc;
  if (!doc.loadFile(manifestPath)) return {};
  return ReadItems(doc);
}

std::vector<DownloadItem> ReadInstallItemsFromText(std::string_view manifest) {
  CXmlDoc doc;
  if (!LoadText(doc, manifest)) return {};
  return ReadItems(doc);
}

bool ParseDeclaredSize(std::string_view text, std::uint64_t& out) {
  if (text.empty() || text.size() > 19) return false;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  out = value;
  return true;
}

}  // namespace vornida
