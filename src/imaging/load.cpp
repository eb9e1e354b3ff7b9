// Reading picture files and choosing the decoder by the file's first bytes.
#include <algorithm>
#include <atomic>
#include <memory>

#include "imaging/decoders.h"

namespace vornida {

namespace imaging_internal {

namespace {

std::atomic<std::int64_t> maxDecodedPixels{kMaxPicturePixels};
// With the program itself and the picture being made, a decode stays within
// 300 MB.
std::atomic<std::size_t> decoderMemoryBudget{std::size_t{240} << 20};

DecodeOutcome Decode(const PictureInput& input, const DecodeWish& wish) {
  std::uint8_t magic[3] = {0, 0, 0};
  const std::size_t n = input.ReadAt(0, magic, sizeof magic);
  if (n >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) return DecodeJpeg(input, wish);
  if (n >= 2 && magic[0] == 'B' && magic[1] == 'M') return DecodeBmp(input, wish);
  if (n == 0) return {};
  return DecodeWithVips(input, wish);
}

SizedLoad LoadSized(const PictureInput& input, const SizeChooser& choose, double margin) {
  SizedLoad result;
  DecodeOutcome decoded = Decode(input, {&choose, margin});
  result.status = decoded.status;
  if (!decoded.picture) {
    result.picture = Bitmap::CreateEmpty();
    return result;
  }
  const PictureSize upright = OrientationSwapsSides(decoded.picture->exifOrientation())
                                  ? PictureSize{decoded.stored.height, decoded.stored.width}
                                  : decoded.stored;
  if (!ApplyExifOrientation(*decoded.picture)) {
    result.picture = Bitmap::CreateEmpty();
    result.status = LoadStatus::TooLarge;
    return result;
  }
  // The decoder shrank to the chosen size where it could; enlarging (and a
  // size smaller in one direction only) is left to here.
  const PictureSize wanted = choose(upright);
  result.fullSize = upright;
  result.picture = ResizeTo(std::move(decoded.picture), wanted.width, wanted.height);
  return result;
}

Picture LoadWhole(const PictureInput& input, bool upright) {
  DecodeOutcome decoded = Decode(input, {});
  if (!decoded.picture) return Bitmap::CreateEmpty();
  if (upright && !ApplyExifOrientation(*decoded.picture)) return Bitmap::CreateEmpty();
  return std::move(decoded.picture);
}

}  // namespace

PictureSize WantedStoredSize(PictureSize stored, std::uint16_t orientation, const SizeChooser* choose) {
  if (choose == nullptr) return stored;
  const bool swap = OrientationSwapsSides(orientation);
  const PictureSize wanted = (*choose)(swap ? PictureSize{stored.height, stored.width} : stored);
  return swap ? PictureSize{wanted.height, wanted.width} : wanted;
}

std::int64_t MaxDecodedPixels() { return maxDecodedPixels.load(std::memory_order_relaxed); }
void SetMaxDecodedPixels(std::int64_t pixels) { maxDecodedPixels.store(pixels, std::memory_order_relaxed); }
std::size_t DecoderMemoryBudget() { return decoderMemoryBudget.load(std::memory_order_relaxed); }
void SetDecoderMemoryBudget(std::size_t bytes) { decoderMemoryBudget.store(bytes, std::memory_order_relaxed); }

}  // namespace imaging_internal

using imaging_internal::PictureInput;

Picture LoadPicture(const std::string& path) {
  LoadStatus status = LoadStatus::NotAPicture;
  const PictureInput input = PictureInput::OpenFile(path, status);
  if (!input.ok()) return Bitmap::CreateEmpty();
  return imaging_internal::LoadWhole(input, true);
}

Picture LoadPicturePlain(const std::string& path) {
  LoadStatus status = LoadStatus::NotAPicture;
  const PictureInput input = PictureInput::OpenFile(path, status);
  if (!input.ok()) return Bitmap::CreateEmpty();
  return imaging_internal::LoadWhole(input, false);
}

Picture LoadPictureFromMemory(std::span<const std::uint8_t> bytes, bool upright) {
  return imaging_internal::LoadWhole(PictureInput::FromMemory(bytes), upright);
}

SizedLoad LoadPictureSized(const std::string& path,
                           const std::function<PictureSize(PictureSize upright)>& chooseSize, double margin) {
  SizedLoad result;
  const PictureInput input = PictureInput::OpenFile(path, result.status);
  if (!input.ok()) {
    result.picture = Bitmap::CreateEmpty();
    return result;
  }
  result = imaging_internal::LoadSized(input, chooseSize, margin);
  result.file = input.stamp();
  return result;
}

SizedLoad LoadPictureSizedFromMemory(std::span<const std::uint8_t> bytes,
                                     const std::function<PictureSize(PictureSize upright)>& chooseSize,
                                     double margin) {
  return imaging_internal::LoadSized(PictureInput::FromMemory(bytes), chooseSize, margin);
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
