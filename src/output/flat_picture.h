// Saving a flat picture (PNG, JPEG or BMP) without ever leaving a truncated
// file or losing the one that was there.
#pragma once

#include <string>
#include <string_view>

#include "base/status.h"
#include "imaging/bitmap.h"

namespace vornida {

// The encoder a saved collage gets from its file name: the text after the
// last "." lower-cased; "png" gives "image/png", "bmp" gives "image/bmp",
// anything else (no extension, "jpg", "gif", ...) gives "image/jpeg".
std::string_view FlatPictureMimeType(std::string_view path);

// Encodes `picture` with `encoder` straight into an AtomicFileWriter for
// `path`, which puts it in place once complete. Fails with the reason (an
// empty picture, an encoder error, a full disk, no permission, a folder in
// the way); the previous file at `path`, if any, is then untouched.
Status SavePictureReplacing(const Bitmap& picture, const std::string& path, EncoderId encoder,
                            const EncoderParams& params = {});

// FlatPictureMimeType + FindEncoder + SavePictureReplacing. Fails also when
// no encoder is installed for the type.
Status SaveFlatPicture(const Bitmap& picture, const std::string& path, const EncoderParams& params = {});

}  // namespace vornida
