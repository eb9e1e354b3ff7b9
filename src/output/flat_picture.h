// Saving a flat picture (PNG, JPEG or BMP) without ever leaving a truncated
// file or losing the one that was there.
#pragma once

#include <string>
#include <string_view>

#include "imaging/bitmap.h"

namespace vornida {

// The encoder a saved collage gets from its file name: the text after the
// last "." lower-cased; "png" gives "image/png", "bmp" gives "image/bmp",
// anything else (no extension, "jpg", "gif", ...) gives "image/jpeg".
std::string_view FlatPictureMimeType(std::string_view path);

// Encodes `picture` with `encoder` into a temporary file beside `path` and
// renames it over `path` once complete (AtomicFileWriter). False on any
// failure (empty picture, encoder error, full disk, no permission, a folder
// in the way); the previous file at `path`, if any, is then untouched.
bool SavePictureReplacing(const Bitmap& picture, const std::string& path, EncoderId encoder,
                          const EncoderParams& params = {});

// FlatPictureMimeType + FindEncoder + SavePictureReplacing with the
// encoder's default parameters. False also when no encoder is installed for
// the type.
bool SaveFlatPicture(const Bitmap& picture, const std::string& path);

}  // namespace vornida
