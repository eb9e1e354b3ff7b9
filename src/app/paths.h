// Path text helpers and small file-system operations used by every module to
// place its files.
//
// Paths are UTF-8 strings with '/' as the only separator. The text rules are
// deliberately simple and purely textual (no normalisation, no "..", no
// symlink resolution): callers build paths by joining with "/" and take them
// apart with these functions.
#pragma once

#include <string>
#include <string_view>

namespace vornida {

// TRUE when `path` needs no base folder:
//   - it begins with '/' (any length), or
//   - it has at least 3 characters and either characters 2 and 3 are ":/"
//     (a drive-style prefix such as "C:/"), or it begins with "//", or it
//     contains "://" at any position after the first character (a URL).
// "C:" alone, "C:x" and "://x" are not absolute.
bool IsAbsolutePath(std::string_view path);

// The text after the last '/'; the whole path when it has none.
std::string GetFileNamePart(std::string_view path);

// The text after the last '.' anywhere in the path (folders included, so
// "a.b/c" gives "b/c"); empty when the path has no '.'.
std::string GetFileExtension(std::string_view path);

// The text before the last '/'; empty when the path is empty or has no '/'.
// "/name" therefore gives "" (the root), like any other one-level path.
std::string GetFolderPart(std::string_view path);

// TRUE when an entry matching `path` exists and is not a folder. The file-name
// part may hold the wildcards '*' and '?' (with "name.*" also matching "name",
// so "*.*" matches every name); then TRUE when any matching entry of that
// folder is not a folder. Symbolic links are followed; a dangling link is not a
// file.
bool IsFile(std::string_view path);

// Creates every missing folder on the way to the folder part of `path` (the
// last level is taken to be a file name and is not created). A relative path
// is taken relative to the current folder. Returns TRUE when that folder
// exists afterwards (also when nothing had to be created).
bool CreateParentFolders(std::string_view path);

// Creates `folder` itself and every missing folder above it; one trailing '/'
// is ignored. Returns TRUE when the folder exists afterwards.
bool EnsureFolder(std::string_view folder);

// Operation codes of ShellFileOperation (the classic shell numbering).
enum ShellOperation : int {
  kShellMove = 1,
  kShellCopy = 2,
  kShellDelete = 3,
  kShellRename = 4,
};

// One file operation, silently (no questions, no progress). `from` names one
// entry; its file-name part may hold wildcards as for IsFile. `to` is the
// target of move, copy and rename (ignored for delete).
//   - delete: removes every matching entry; folders go with their contents,
//     symbolic links are removed, never followed.
//   - move / copy: into `to` when `to` is an existing folder, else to `to`.
//   - rename: `from` (no wildcards) becomes `to`.
// Returns TRUE when every step succeeded. A wildcard pattern that matches
// nothing in an existing folder is a success (there was nothing to do); a
// missing plain `from`, a missing folder or any failed removal is FALSE.
bool ShellFileOperation(std::string_view from, std::string_view to, int operation);

}  // namespace vornida
