// A JSON object of key to text: just enough JSON for the movie's string table.
#include <cctype>

#include "base/text.h"
#include "headless/headless_host.h"

namespace vornida {
namespace {

class JsonReader {
 public:
  explicit JsonReader(const std::string& text) : text_(text) {}

  std::optional<std::map<std::string, std::string>> Object() {
    std::map<std::string, std::string> table;
    if (!Take('{')) return std::nullopt;
    if (Take('}')) return Finish(table);
    do {
      std::string key, value;
      if (!String(key) || !Take(':') || !String(value)) return std::nullopt;
      table.emplace(std::move(key), std::move(value));
    } while (Take(','));
    if (!Take('}')) return std::nullopt;
    return Finish(table);
  }

 private:
  std::optional<std::map<std::string, std::string>> Finish(std::map<std::string, std::string>& table) {
    SkipBlanks();
    if (pos_ != text_.size()) return std::nullopt;
    return std::move(table);
  }

  void SkipBlanks() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }

  bool Take(char c) {
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  bool Hex4(std::uint32_t& unit) {
    if (pos_ + 4 > text_.size()) return false;
    unit = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[pos_++];
      unit <<= 4;
      if (c >= '0' && c <= '9')
        unit |= static_cast<std::uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f')
        unit |= static_cast<std::uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        unit |= static_cast<std::uint32_t>(c - 'A' + 10);
      else
        return false;
    }
    return true;
  }

  bool String(std::string& out) {
    if (!Take('"')) return false;
    std::u16string pending;  // \u escapes, joined so that surrogate pairs combine
    auto flush = [&] {
      if (!pending.empty()) out += Utf16ToUtf8(pending);
      pending.clear();
    };
    while (pos_ < text_.size()) {
      const char c = text_[pos_++];
      if (c == '"') {
        flush();
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        flush();
        out += c;
        continue;
      }
      if (pos_ >= text_.size()) return false;
      const char e = text_[pos_++];
      if (e == 'u') {
        std::uint32_t unit;
        if (!Hex4(unit)) return false;
        pending.push_back(static_cast<char16_t>(unit));
        continue;
      }
      flush();
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        default: return false;
      }
    }
    return false;
  }

  const std::string& text_;
  std::size_t pos_ = 0;
};

}  // namespace

std::optional<std::map<std::string, std::string>> ParseStringTable(const std::string& json) {
  return JsonReader(json).Object();
}

}  // namespace vornida
