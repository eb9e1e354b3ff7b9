// Reading picture files and choosing the decoder by the file's first bytes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>

#include "imaging/decoders.h"

namespace vornida {

namespace imaging_internal {

namespace {

std::atomic<std::int64_t> maxDecodedPixels{kMaxPicturePixels};

// No picture file we can decode within the pixel limit is larger.
constexpr std::int64_t kMaxFileBytes = std::int64_t{2} << 30;

struct FileBytes {
  std::unique_ptr<std::uint8_t[]> data;
  std::size_t size = 0;
  std::span<const std::uint8_t> span() const { return {data.get(), size}; }
};

bool ReadWholeFile(const std::string& path, FileBytes& out) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= kMaxFileBytes;
  if (ok) {
    out.size = static_cast<std::size_t>(st.st_size);
    out.data.reset(new (std::nothrow) std::uint8_t[out.size]);
    ok = out.data != nullptr;
    std::size_t done = 0;
    while (ok && done < out.size) {
      const ssize_t n = read(fd, out.data.get() + done, out.size - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // the file shrank: decode what is there
      done += static_cast<std::size_t>(n);
    }
    out.size = done;
  }
  close(fd);
  return ok && out.size > 0;
}

Picture Decode(std::span<const std::uint8_t> bytes, const SizeChooser* choose, PictureSize& storedSize) {
  if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) {
    return DecodeJpeg(bytes, choose, storedSize);
  }
  if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return DecodeBmp(bytes, storedSize);
  return DecodeWithVips(bytes, storedSize);
}

SizedLoad LoadSized(std::span<const std::uint8_t> bytes, const SizeChooser& choose) {
  SizedLoad result;
  PictureSize stored;
  Picture picture = Decode(bytes, &choose, stored);
  if (!picture) {
    result.picture = Bitmap::CreateEmpty();
    return result;
  }
  const PictureSize upright = OrientationSwapsSides(picture->exifOrientation())
                                  ? PictureSize{stored.height, stored.width}
                                  : stored;
  if (!ApplyExifOrientation(*picture)) {
    result.picture = Bitmap::CreateEmpty();
    return result;
  }
  const PictureSize wanted = choose(upright);
  result.fullSize = upright;
  result.picture = ResizeTo(std::move(picture), wanted.width, wanted.height);
  return result;
}

Picture LoadFromBytes(std::span<const std::uint8_t> bytes, bool upright) {
  PictureSize stored;
  Picture picture = Decode(bytes, nullptr, stored);
  if (!picture) return Bitmap::CreateEmpty();
  if (upright && !ApplyExifOrientation(*picture)) return Bitmap::CreateEmpty();
  return picture;
}

}  // namespace

std::int64_t MaxDecodedPixels() { return maxDecodedPixels.load(std::memory_order_relaxed); }
void SetMaxDecodedPixels(std::int64_t pixels) { maxDecodedPixels.store(pixels, std::memory_order_relaxed); }

}  // namespace imaging_internal

Picture LoadPicture(const std::string& path) {
  imaging_internal::FileBytes file;
  if (!imaging_internal::ReadWholeFile(path, file)) return Bitmap::CreateEmpty();
  return imaging_internal::LoadFromBytes(file.span(), true);
}

Picture LoadPicturePlain(const std::string& path) {
  imaging_internal::FileBytes file;
  if (!imaging_internal::ReadWholeFile(path, file)) return Bitmap::CreateEmpty();
  return imaging_internal::LoadFromBytes(file.span(), false);
}

Picture LoadPictureFromMemory(std::span<const std::uint8_t> bytes, bool upright) {
  return imaging_internal::LoadFromBytes(bytes, upright);
}

SizedLoad LoadPictureSized(const std::string& path,
                           const std::function<PictureSize(PictureSize upright)>& chooseSize) {
  imaging_internal::FileBytes file;
  if (!imaging_internal::ReadWholeFile(path, file)) return {{}, Bitmap::CreateEmpty()};
  return imaging_internal::LoadSized(file.span(), chooseSize);
}

SizedLoad LoadPictureSizedFromMemory(std::span<const std::uint8_t> bytes,
                                     const std::function<PictureSize(PictureSize upright)>& chooseSize) {
  return imaging_internal::LoadSized(bytes, chooseSize);
}

namespace {

PictureSize FittedSize(PictureSize full, double boxWidth, double boxHeight, double largestFactor) {
  const double e = std::min({boxHeight / static_cast<double>(full.height),
                             boxWidth / static_cast<double>(full.width), largestFactor});
  if (e == 1.0) return full;
  return {RoundHalfAway(static_cast<double>(full.width) * e), RoundHalfAway(static_cast<double>(full.height) * e)};
}

}  // namespace

Picture LoadPictureFitted(const std::string& path, double boxWidth, double boxHeight) {
  return LoadPictureSized(path, [&](PictureSize full) {
           return FittedSize(full, boxWidth, boxHeight, std::numeric_limits<double>::infinity());
         }).picture;
}

Picture LoadPictureScaled(const std::string& path, double factor) {
  return LoadPictureSized(path, [&](PictureSize full) {
           return PictureSize{RoundHalfAway(static_cast<double>(full.width) * factor),
                              RoundHalfAway(static_cast<double>(full.height) * factor)};
         }).picture;
}

Picture ScaleBy(Picture picture, double factor) {
  if (!picture) return nullptr;
  const std::int64_t width = RoundHalfAway(static_cast<double>(picture->width()) * factor);
  const std::int64_t height = RoundHalfAway(static_cast<double>(picture->height()) * factor);
  return ResizeTo(std::move(picture), width, height);
}

Picture FitWithin(Picture picture, double boxWidth, double boxHeight, double largestFactor) {
  if (!picture) return nullptr;
  if (picture->empty()) return picture;
  const PictureSize size = FittedSize({picture->width(), picture->height()}, boxWidth, boxHeight, largestFactor);
  if (size.width == picture->width() && size.height == picture->height()) {
    // e == 1 exactly, or a factor that rounds back to the same size.
    return picture;
  }
  return ResizeTo(std::move(picture), size.width, size.height);
}

}  // namespace vornida
