#include "upgrade/url.h"

#include <optional>

#include "base/text.h"

namespace vornida {

namespace {

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHostChar(char c) { return IsAlpha(c) || IsDigit(c) || c == '-' || c == '.' || c == '_'; }

bool IsIpv6LiteralChar(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '.';
}

// The five parts of a URI reference; absent parts stay nullopt, so that an
// empty query ("x?") differs from none.
struct UriParts {
  std::optional<std::string> scheme;
  std::optional<std::string> authority;
  std::string path;
  std::optional<std::string> query;
};

UriParts SplitReference(std::string_view text) {
  UriParts parts;
  const std::size_t fragment = text.find('#');
  if (fragment != std::string_view::npos) text = text.substr(0, fragment);
  // A scheme is letters, digits, "+", "-", "." before the first ":", and
  // only when that ":" comes before any "/", "?" or "#".
  const std::size_t colon = text.find(':');
  if (colon != std::string_view::npos && colon > 0 && IsAlpha(text[0]) &&
      text.substr(0, colon).find_first_of("/?") == std::string_view::npos) {
    bool schemeChars = true;
    for (char c : text.substr(0, colon))
      schemeChars = schemeChars && (IsAlpha(c) || IsDigit(c) || c == '+' || c == '-' || c == '.');
    if (schemeChars) {
      parts.scheme = std::string(text.substr(0, colon));
      text.remove_prefix(colon + 1);
    }
  }
  if (text.substr(0, 2) == "//") {
    text.remove_prefix(2);
    const std::size_t end = text.find_first_of("/?");
    parts.authority = std::string(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end);
  }
  const std::size_t question = text.find('?');
  parts.path = std::string(text.substr(0, question));
  if (question != std::string_view::npos) parts.query = std::string(text.substr(question + 1));
  return parts;
}

// Removes "." and ".." segments.
std::string RemoveDotSegments(std::string_view input) {
  std::string output;
  while (!input.empty()) {
    if (input.substr(0, 3) == "../") {
      input.remove_prefix(3);
    } else if (input.substr(0, 2) == "./") {
      input.remove_prefix(2);
    } else if (input.substr(0, 3) == "/./") {
      input.remove_prefix(2);
    } else if (input == "/.") {
      input = "/";
    } else if (input.substr(0, 4) == "/../" || input == "/..") {
      input = input.size() == 3 ? std::string_view("/") : input.substr(3);
      const std::size_t slash = output.rfind('/');
      output.erase(slash == std::string::npos ? 0 : slash);
    } else if (input == "." || input == "..") {
      input = {};
    } else {
      const std::size_t next = input.find('/', input.front() == '/' ? 1 : 0);
      const std::size_t length = next == std::string_view::npos ? input.size() : next;
      output.append(input.substr(0, length));
      input.remove_prefix(length);
    }
  }
  return output;
}

std::string Compose(const UriParts& parts) {
  std::string text;
  if (parts.scheme) text += *parts.scheme + ":";
  if (parts.authority) text += "//" + *parts.authority;
  text += parts.path;
  if (parts.query) text += "?" + *parts.query;
  return text;
}

}  // namespace

bool CrackHttpUrl(std::string_view url, HttpUrlParts& out) {
  for (char c : url)
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F) return false;
  HttpUrlParts parts;
  constexpr std::string_view kHttp = "http://", kHttps = "https://";
  if (url.size() >= kHttps.size() && EqualsIgnoreAsciiCase(url.substr(0, kHttps.size()), kHttps)) {
    parts.secure = true;
    parts.port = 443;
    url.remove_prefix(kHttps.size());
  } else if (url.size() >= kHttp.size() && EqualsIgnoreAsciiCase(url.substr(0, kHttp.size()), kHttp)) {
    url.remove_prefix(kHttp.size());
  } else {
    return false;
  }
  const std::size_t authorityEnd = url.find_first_of("/?#");
  const std::string_view authority = url.substr(0, authorityEnd);
  std::string_view path = authorityEnd == std::string_view::npos ? std::string_view{} : url.substr(authorityEnd);

  std::string_view host, port;
  bool hasPort = false;
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos || close < 2) return false;
    for (char c : authority.substr(1, close - 1))
      if (!IsIpv6LiteralChar(c)) return false;
    host = authority.substr(0, close + 1);
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return false;
      hasPort = true;
      port = after.substr(1);
    }
  } else {
    const std::size_t colon = authority.find(':');
    host = authority.substr(0, colon);
    if (colon != std::string_view::npos) {
      hasPort = true;
      port = authority.substr(colon + 1);
    }
    if (host.empty()) return false;
    for (char c : host)
      if (!IsHostChar(c)) return false;  // user names ("user@host") included
  }
  if (hasPort) {
    if (port.empty() || port.size() > 5) return false;
    unsigned value = 0;
    for (char c : port) {
      if (!IsDigit(c)) return false;
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    parts.port = static_cast<std::uint16_t>(value);
  }
  parts.host = std::string(host);
  const std::size_t fragment = path.find('#');
  if (fragment != std::string_view::npos) path = path.substr(0, fragment);
  parts.path = path.empty() ? "/" : (path.front() == '/' ? std::string(path) : "/" + std::string(path));
  out = std::move(parts);
  return true;
}

std::string ComposeHttpUrl(const HttpUrlParts& parts) {
  const std::uint16_t defaultPort = parts.secure ? 443 : 80;
  return std::string(parts.secure ? "https://" : "http://") + parts.host +
         (parts.port != defaultPort ? ":" + std::to_string(parts.port) : std::string()) + parts.path;
}

bool ResolveUrlReference(std::string_view base, std::string_view reference, std::string& out) {
  HttpUrlParts checked;
  if (!CrackHttpUrl(base, checked)) return false;
  const UriParts b = SplitReference(base);
  const UriParts r = SplitReference(reference);
  UriParts target;
  if (r.scheme) {
    target = r;
    target.path = RemoveDotSegments(r.path);
  } else {
    target.scheme = b.scheme;
    if (r.authority) {
      target.authority = r.authority;
      target.path = RemoveDotSegments(r.path);
      target.query = r.query;
    } else {
      target.authority = b.authority;
      if (r.path.empty()) {
        target.path = b.path;
        target.query = r.query ? r.query : b.query;
      } else {
        if (r.path.front() == '/') {
          target.path = RemoveDotSegments(r.path);
        } else {
          // Merge: the base's path up to its last "/", then the reference.
          const std::string basePath = b.path.empty() ? "/" : b.path;
          target.path = RemoveDotSegments(basePath.substr(0, basePath.rfind('/') + 1) + r.path);
        }
        target.query = r.query;
      }
    }
  }
  const std::string composed = Compose(target);
  HttpUrlParts parts;
  if (!CrackHttpUrl(composed, parts)) return false;
  out = composed;
  return true;
}

std::string SiblingUrl(std::string_view url, std::string_view suffix) {
  const std::size_t fragment = url.find('#');
  if (fragment != std::string_view::npos) url = url.substr(0, fragment);
  const std::size_t query = url.find('?');
  if (query == std::string_view::npos) return std::string(url) + std::string(suffix);
  return std::string(url.substr(0, query)) + std::string(suffix) + std::string(url.substr(query));
}

}  // namespace vornida
