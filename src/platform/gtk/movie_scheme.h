// What the program's own URI scheme serves to the movie, decided without the
// web engine so that the rules can be checked on their own.
//
//   vornida://movie/PATH[?QUERY]   a file below the movie folder
//   vornida://file/ENCODED-PATH    a local picture: the percent-encoded
//                                  absolute path of a regular file whose
//                                  content is PNG, JPEG, GIF, BMP or WebP
//
// Nothing else is served: no other host, no path that leaves the movie
// folder, no folder, device or non-picture file, and nothing is ever written.
#pragma once

#include <string>
#include <string_view>

namespace vornida::platform {

inline constexpr std::string_view kMovieScheme = "vornida";

enum class SchemeTarget { Invalid, MovieFile, LocalPicture };

struct SchemeRequest {
  SchemeTarget target = SchemeTarget::Invalid;
  // MovieFile: the path below the movie folder, '/'-separated, without a
  // leading '/'; LocalPicture: the decoded absolute path.
  std::string path;
};

// Splits a vornida:// URI. Percent escapes are decoded (a "%00", a bad escape
// or a path that steps out with ".." makes it Invalid); the query and the
// fragment are dropped.
SchemeRequest ParseSchemeUri(std::string_view uri);

// The address under which the page shows a local file.
std::string LocalPictureUri(std::string_view absolutePath);
// The address of a page of the movie, with an optional query ("lang=en").
std::string MoviePageUri(std::string_view page, std::string_view query = {});

// The content type by file name: html, js/mjs, css, json, svg, png, jpeg,
// gif, webp, bmp, woff2, ttf; "application/octet-stream" otherwise.
std::string ContentTypeForName(std::string_view name);

// The picture type by the first bytes of a file ("image/png", ...), empty
// when they are none of the five formats served.
std::string SniffPictureType(std::string_view head);

// Reads a local picture for the page: empty `error` and the file's bytes in
// `data` when `path` names a regular file (symbolic links followed) that is a
// picture; otherwise a one-line reason. Opens the file read-only and checks
// the opened file, not the name, so it cannot be swapped in between.
struct ServedFile {
  std::string data;
  std::string contentType;
  std::string error;
  int status = 200;  // 403 refused, 404 missing
};
ServedFile ReadLocalPicture(const std::string& path);
// Reads a movie file below `movieFolder`; 404 when it is missing or not a
// regular file.
ServedFile ReadMovieFile(const std::string& movieFolder, const std::string& relativePath);

// The language tag of the movie's text table from the locale variables:
// LC_ALL, then LC_MESSAGES, then LANG (the first one set and not empty);
// "zh_CN.UTF-8" gives "zh-CN", "de_DE@euro" gives "de-DE"; unset, "C" or
// "POSIX" gives "en". Pass the three values as the environment holds them
// (null when unset).
std::string MovieLanguageTag(const char* lcAll, const char* lcMessages, const char* lang);

}  // namespace vornida::platform
