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

Status SavePictureReplacing(const Bitmap& picture, const std::string& path, EncoderId encoder,
                            const EncoderParams& params) {
  if (picture.empty()) return Status::Error("there is no picture to write");
  AtomicFileWriter file;
  if (Status created = file.create(path); !created) return created;
  const bool encoded = EncodePictureTo(picture, encoder, params, [&file](const std::uint8_t* data, std::size_t size) {
    return file.write(data, size);
  });
  if (!encoded) {
    // A refused write has the system's reason; otherwise the encoder gave up.
    Status why = file.failed() ? file.status() : Status::Error("the picture could not be encoded");
    file.abandon();
    return why;
  }
  return file.commit();
}

Status SaveFlatPicture(const Bitmap& picture, const std::string& path, const EncoderParams& params) {
  const EncoderInfo encoder = FindEncoder(FlatPictureMimeType(path));
  if (encoder.index < 0) return Status::Error("no encoder is installed for " + std::string(FlatPictureMimeType(path)));
  return SavePictureReplacing(picture, path, encoder.id, params);
}

}  // namespace vornida
