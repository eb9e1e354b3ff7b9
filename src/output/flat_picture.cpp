#include "output/flat_picture.h"

#include "base/text.h"
#include "output/atomic_file.h"

namespace vornida {

std::string_view FlatPictureMimeType(std::string_view path) {
  const auto dot = path.rfind('.');
  const std::string extension =
      dot == std::string_view::npos ? std::string() : AsciiLowered(path.substr(dot + 1));
  if (extension == "png") return "image/png";
  if (extension == "bmp") return "image/bmp";
  return "image/jpeg";
}

bool SavePictureReplacing(const Bitmap& picture, const std::string& path, EncoderId encoder,
                          const EncoderParams& params) {
  if (picture.empty()) return false;
  AtomicFileWriter file;
  if (!file.create(path)) return false;
  // The encoder writes the temporary file by name; the commit syncs it and
  // renames it into place.
  if (!SavePicture(picture, file.temporaryPath(), encoder, params)) {
    file.abandon();
    return false;
  }
  return file.commit();
}

bool SaveFlatPicture(const Bitmap& picture, const std::string& path) {
  const EncoderInfo encoder = FindEncoder(FlatPictureMimeType(path));
  if (encoder.index < 0) return false;
  return SavePictureReplacing(picture, path, encoder.id);
}

}  // namespace vornida
