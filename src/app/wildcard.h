// File-name wildcards as the path helpers understand them (private to app/).
#pragma once

#include <string>
#include <string_view>

namespace vornida {

// TRUE when `name` holds '*' or '?'.
bool HasWildcards(std::string_view name);

// Matches one file name against a pattern: '*' stands for any run of
// characters, '?' for exactly one, everything else for itself (exact case).
// A pattern ending in ".*" also matches the name without that part, so "*.*"
// matches every name and "photo.*" matches "photo".
bool MatchesWildcard(std::string_view pattern, std::string_view name);

// The folder to list for `path`'s file-name part: "." for a bare name, "/" for
// a name right below the root, else the text before the last '/'.
std::string ListingFolderOf(std::string_view path);

}  // namespace vornida
