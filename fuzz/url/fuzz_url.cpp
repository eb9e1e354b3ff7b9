// URLs from the network: a redirect's Location resolved against the URL that
// answered. Input: the base URL, a newline, the Location as the server sent
// it. Whatever resolves must be an http(s) URL the downloader can split, and
// resolving it against itself must change nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "upgrade/url.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t newline = input.find('\n');
  const std::string_view base = input.substr(0, newline);
  const std::string_view reference = newline == std::string_view::npos ? std::string_view{} : input.substr(newline + 1);

  vornida::HttpUrlParts parts;
  vornida::CrackHttpUrl(base, parts);
  std::string resolved;
  if (!vornida::ResolveUrlReference(base, reference, resolved)) return 0;
  if (!vornida::CrackHttpUrl(resolved, parts)) std::abort();
  std::string again;
  if (!vornida::ResolveUrlReference(resolved, "", again) || again != resolved) std::abort();
  vornida::SiblingUrl(resolved, ".sig");
  return 0;
}
