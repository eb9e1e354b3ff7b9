// Feeds arbitrary bytes to every picture loader: the upright load (which
// picks JPEG, BMP or the libvips loaders by the first bytes), the reduced
// load (which shrinks rows while they are read, for every format), and the
// EXIF reader on its own.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/bitmap.h"
#include "imaging/decoders.h"

// Written so the compiler keeps the reads of every pixel.
volatile std::uint32_t touched;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vornida;
  // The fuzzer's memory limit is 2 GiB; a 4 GiB picture is legitimate
  // elsewhere but not here.
  imaging_internal::SetMaxDecodedPixels(std::int64_t{1} << 22);
  const std::span<const std::uint8_t> bytes(data, size);

  Picture upright = LoadPictureFromMemory(bytes, true);
  if (upright && !upright->empty()) {
    // Touch every pixel so a decoder that reported a size it did not fill
    // is caught by the sanitizers.
    std::uint32_t sum = 0;
    for (std::int64_t y = 0; y < upright->height(); ++y) {
      for (std::int64_t x = 0; x < upright->width(); ++x) sum += upright->pixel(x, y);
    }
    touched = sum;
    CropToContent(ScaleBy(std::move(upright), 0.3));
  }
  // Reduced loads go through the shrinking row target (and JPEG's DCT
  // scaling): a third, and a size smaller in one direction only.
  for (const int divisor : {3, 1}) {
    SizedLoad sized = LoadPictureSizedFromMemory(bytes, [divisor](PictureSize full) {
      return PictureSize{std::max<std::int64_t>(1, full.width / divisor), std::max<std::int64_t>(1, full.height / 2)};
    });
    if (sized.picture && !sized.picture->empty()) touched = sized.picture->pixel(sized.picture->width() - 1,
                                                                                sized.picture->height() - 1);
  }
  // Progressive JPEGs over the decoder budget are read from their DC
  // coefficients by a decoder of our own.
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xD8) {
    const std::size_t budget = imaging_internal::DecoderMemoryBudget();
    imaging_internal::SetDecoderMemoryBudget(1);
    SizedLoad dc = LoadPictureSizedFromMemory(bytes, [](PictureSize full) {
      return PictureSize{std::max<std::int64_t>(1, full.width / 9), std::max<std::int64_t>(1, full.height / 9)};
    });
    if (dc.picture && !dc.picture->empty()) touched = dc.picture->pixel(0, dc.picture->height() - 1);
    imaging_internal::SetDecoderMemoryBudget(budget);
  }
  imaging_internal::ReadExifOrientation(bytes);
  return 0;
}
