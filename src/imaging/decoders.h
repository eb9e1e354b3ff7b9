// The individual decoders behind LoadPicture and friends.
//
// Each decoder reads the header, asks the chooser (if any) for the size
// wanted, and hands its rows to a RowTarget, which shrinks them while they
// come when a smaller picture is wanted: memory stays bounded by the wanted
// size, not by what the file declares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "imaging/bitmap.h"
#include "imaging/picture_input.h"

namespace vornida::imaging_internal {

// Given the full upright size, the size the caller will resize to.
using SizeChooser = std::function<PictureSize(PictureSize upright)>;

struct DecodeOutcome {
  Picture picture;     // stored orientation, exifOrientation() set; null on failure
  PictureSize stored;  // the picture's full size as stored
  LoadStatus status = LoadStatus::NotAPicture;
};

// What the caller asks of a decoder: the whole picture (no chooser), or the
// chosen size, read where the format can shrink on load at no less than
// `margin` times that size (JPEG: the smallest such DCT scale).
struct DecodeWish {
  const SizeChooser* choose = nullptr;
  double margin = 2.0;
};

// The result is the chosen size (in stored orientation) when that is
// smaller in both directions, else the whole picture.
DecodeOutcome DecodeJpeg(const PictureInput& input, const DecodeWish& wish);
DecodeOutcome DecodeBmp(const PictureInput& input, const DecodeWish& wish);
DecodeOutcome DecodeWithVips(const PictureInput& input, const DecodeWish& wish);

// The chosen size turned back to the stored orientation (the stored size
// itself without a chooser).
PictureSize WantedStoredSize(PictureSize stored, std::uint16_t orientation, const SizeChooser* choose);

// The orientation tag (1..8) from a TIFF/EXIF block starting with "Exif\0\0"
// or with the TIFF header itself; 0 when absent or unreadable.
std::uint16_t ReadExifOrientation(std::span<const std::uint8_t> exifBlock);

// Largest picture the decoders accept; tests and fuzzing lower it.
std::int64_t MaxDecodedPixels();
void SetMaxDecodedPixels(std::int64_t pixels);

// What a decoder may hold for itself besides the picture it makes: the
// coefficients of a progressive JPEG, the whole frame that the GIF, WebP and
// HEIF libraries and interlaced PNG decode into. A file that needs more is
// refused as too large. Tests lower it.
std::size_t DecoderMemoryBudget();
void SetDecoderMemoryBudget(std::size_t bytes);

// True when an orientation turns the picture by a quarter (width and height
// swap).
inline bool OrientationSwapsSides(std::uint16_t orientation) { return orientation >= 5 && orientation <= 8; }

}  // namespace vornida::imaging_internal
