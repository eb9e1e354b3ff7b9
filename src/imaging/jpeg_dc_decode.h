// A progressive JPEG at 1/8 scale from its DC coefficients alone, for
// pictures whose coefficients libjpeg could not hold within the decoder
// memory budget.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/decoders.h"

namespace vornida::imaging_internal {

enum class JpegColourSpace : std::uint8_t { Grey, YCbCr, Rgb, Cmyk, Ycck };

// What libjpeg read from the header, which this decoder takes as it is.
struct JpegHeaderFacts {
  JpegColourSpace colourSpace = JpegColourSpace::YCbCr;
  bool adobe = false;  // Adobe's writers store inverted inks
  std::uint16_t orientation = 0;
  std::vector<std::uint8_t> profile;
};

// The picture at 1/8 scale (the DC value of every block), shrunk further to
// the wish's size; only progressive (SOF2) files. Data that ends early
// leaves the rest grey and the picture damaged.
DecodeOutcome DecodeJpegDcOnly(const PictureInput& input, const JpegHeaderFacts& facts, const DecodeWish& wish);

}  // namespace vornida::imaging_internal
