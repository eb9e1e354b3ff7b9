// SHA-256 digests of files, for checking downloads against a published sum.
#pragma once

#include <string>
#include <string_view>

namespace vornida {

// Lower-case hexadecimal SHA-256 of the file's bytes; false when the file
// cannot be read.
bool Sha256OfFile(const std::string& path, std::string& hexOut);

// True when the file's digest equals `expectedHex` (hexadecimal, either case,
// surrounding blanks ignored).
bool FileMatchesSha256(const std::string& path, std::string_view expectedHex);

}  // namespace vornida
