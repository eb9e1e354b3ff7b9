// Feeds arbitrary bytes to every picture loader: the plain and upright
// loads, the reduced JPEG path, and each decoder directly (so that the BMP
// and libvips readers see data that does not start with their magic too).
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
  imaging_internal::SetMaxDecodedPixels(std::int64_t{1} << 24);
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
  SizedLoad sized = LoadPictureSizedFromMemory(bytes, [](PictureSize full) {
    return PictureSize{(full.width + 7) / 8, (full.height + 7) / 8};
  });
  (void)sized;

  PictureSize stored;
  imaging_internal::DecodeBmp(bytes, stored);
  imaging_internal::DecodeWithVips(bytes, stored);
  imaging_internal::ReadExifOrientation(bytes);
  return 0;
}
