// URLs as the downloader speaks them: http and https, split into their parts,
// and references (a redirect's Location) resolved against the URL they came
// from.
//
// Resolution follows the generic URI syntax: a reference with a scheme of its
// own is absolute; "//host/path" keeps only the scheme; "/path" keeps the
// authority; "path", "?query" and "" are taken relative to the base, with "."
// and ".." segments removed. Whatever a query holds ("?next=http://...") is
// never mistaken for a scheme.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vornida {

// An http(s) URL split the way the downloader needs it.
struct HttpUrlParts {
  bool secure = false;     // https
  std::string host;
  std::uint16_t port = 80;  // 443 by default for https
  std::string path = "/";  // object path with its query, always starting with "/"
};

// Splits "http[s]://host[:port][/path][?query][#fragment]" (scheme without
// regard to case; the fragment is dropped). False for any other scheme, an
// empty or malformed host, a port that is not 1 to 65535, or blanks and
// control characters anywhere.
bool CrackHttpUrl(std::string_view url, HttpUrlParts& out);

// The URL again, in the form given to the HTTP client: the port is written
// only when it is not the scheme's default.
std::string ComposeHttpUrl(const HttpUrlParts& parts);

// Resolves `reference` against the absolute URL `base`. False when the base
// is not an http(s) URL or the result is not one (a Location naming another
// scheme, or an unparseable one).
bool ResolveUrlReference(std::string_view base, std::string_view reference, std::string& out);

// The URL of a file stored next to `url`'s object: `suffix` goes at the end
// of the path, before any query ("…/update.xml?x" -> "…/update.xml.sig?x").
std::string SiblingUrl(std::string_view url, std::string_view suffix);

}  // namespace vornida
