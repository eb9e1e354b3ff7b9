// The individual decoders behind LoadPicture and friends.
#pragma once

#include <cstdint>
#include <span>

#include "imaging/bitmap.h"

namespace vornida::imaging_internal {

// Given the full upright size, the size the caller will resize to.
using SizeChooser = std::function<PictureSize(PictureSize upright)>;

// Every decoder fills `storedSize` with the picture's full size as stored
// (before orientation) and sets the orientation tag on the result. On any
// failure it returns null.
// With a chooser, the JPEG decoder reads at the smallest DCT scale that keeps
// at least twice the chosen size (or the full size when that is smaller).
Picture DecodeJpeg(std::span<const std::uint8_t> bytes, const SizeChooser* chooseSize,
                   PictureSize& storedSize);
Picture DecodeBmp(std::span<const std::uint8_t> bytes, PictureSize& storedSize);
Picture DecodeWithVips(std::span<const std::uint8_t> bytes, PictureSize& storedSize);

// The orientation tag (1..8) from a TIFF/EXIF block starting with "Exif\0\0"
// or with the TIFF header itself; 0 when absent or unreadable.
std::uint16_t ReadExifOrientation(std::span<const std::uint8_t> exifBlock);

// Largest picture the decoders accept; tests and fuzzing lower it.
std::int64_t MaxDecodedPixels();
void SetMaxDecodedPixels(std::int64_t pixels);

// True when an orientation turns the picture by a quarter (width and height
// swap).
inline bool OrientationSwapsSides(std::uint16_t orientation) { return orientation >= 5 && orientation <= 8; }

}  // namespace vornida::imaging_internal
