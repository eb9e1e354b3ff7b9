// Bringing decoded colours to sRGB, the same way for every format.
//
// Without an embedded ICC profile, RGB and grey are taken as sRGB, and CMYK
// is turned into RGB by its inks: white less each ink, darkened by the black
// ink (full black ink, or full cyan, magenta and yellow, is black). With an
// embedded profile the colours go through it to sRGB (little CMS, perceptual
// intent), whether the picture is a JPEG, PNG, TIFF, WebP or HEIF file. A
// profile that cannot be read, does not fit the data, or is sRGB already
// changes nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

namespace vornida::imaging_internal {

// What a decoder has in its rows, 8 bits a channel.
enum class SourceLayout : std::uint8_t {
  Rgb,           // R, G, B
  Rgba,          // R, G, B, straight alpha
  Bgrx,          // B, G, R and a byte that is ignored (libjpeg's BGRA output)
  Grey,
  GreyAlpha,
  Cmyk,          // C, M, Y, K, 255 is full ink
  CmykInverted,  // as stored by Adobe's JPEG writers: 0 is full ink
};

class ColourConverter {
 public:
  // `profile` may be empty.
  ColourConverter(SourceLayout layout, std::span<const std::uint8_t> profile);
  ~ColourConverter();
  ColourConverter(const ColourConverter&) = delete;
  ColourConverter& operator=(const ColourConverter&) = delete;

  // True when the embedded profile is used.
  bool managed() const { return transform_ != nullptr; }
  bool hasAlpha() const { return layout_ == SourceLayout::Rgba || layout_ == SourceLayout::GreyAlpha; }
  static int BytesPerPixel(SourceLayout layout);

  // `count` pixels from `in` (laid out as the layout says) to premultiplied
  // 0xAARRGGBB words. `in` and `out` may be the same memory for Bgrx.
  void ToWords(const std::uint8_t* in, std::uint32_t* out, std::int64_t count) const;

 private:
  SourceLayout layout_;
  std::shared_ptr<void> transform_;  // a cmsHTRANSFORM, shared through a small cache
};

}  // namespace vornida::imaging_internal
