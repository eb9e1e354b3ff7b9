// Windows BMP reader: core and info headers (versions 3 to 5), 1/4/8-bit
// palettes, RLE4 and RLE8, 16/24/32-bit with or without bit-field masks.
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "imaging/decoders.h"
#include "imaging/row_target.h"

namespace vornida::imaging_internal {

namespace {

std::uint32_t Le16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }
std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

enum Compression : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

// Extracts one channel through a mask and widens it to 8 bits.
struct MaskChannel {
  std::uint32_t mask = 0;
  int shift = 0;
  int bits = 0;

  explicit MaskChannel(std::uint32_t m = 0) : mask(m) {
    if (m == 0) return;
    shift = std::countr_zero(m);
    bits = std::popcount(m >> shift);
    if (bits > 8) {  // keep the top 8 bits only
      shift += bits - 8;
      bits = 8;
      mask = 0xFFu << shift;
    }
  }
  std::uint32_t Get(std::uint32_t v) const {
    if (bits == 0) return 0;
    std::uint32_t c = (v & mask) >> shift;
    // Replicate the bits to fill 8 (5 bits 0x1F -> 0xFF).
    std::uint32_t out = 0;
    int have = 0;
    while (have < 8) {
      out = (out << bits) | c;
      have += bits;
    }
    return out >> (have - 8);
  }
};

}  // namespace

DecodeOutcome DecodeBmp(const PictureInput& input, const DecodeWish& wish) {
  DecodeOutcome outcome;
  // The file and info headers, the bit-field masks and the palette all lie
  // within the first few kilobytes.
  std::uint8_t head[14 + 124 + 16];
  const std::size_t headSize = input.ReadAt(0, head, sizeof head);
  const std::uint64_t size = static_cast<std::uint64_t>(input.size());
  const std::uint8_t* b = head;
  if (headSize < 26 || b[0] != 'B' || b[1] != 'M') return outcome;
  const std::uint32_t pixelOffset = Le32(b + 10);
  const std::uint32_t headerSize = Le32(b + 14);
  if (headerSize < 12 || 14 + static_cast<std::uint64_t>(headerSize) > size) return outcome;
  if (headerSize != 12 && 14 + 40 > headSize) return outcome;

  std::int64_t width = 0, height = 0;
  std::uint32_t bitCount = 0, compression = kRgb, paletteCount = 0;
  std::uint32_t masks[4] = {0, 0, 0, 0};
  std::size_t paletteEntrySize = 4;
  const std::uint8_t* h = b + 14;
  if (headerSize == 12) {  // OS/2 core header
    width = Le16(h + 4);
    height = static_cast<std::int16_t>(Le16(h + 6));
    bitCount = Le16(h + 10);
    paletteEntrySize = 3;
  } else {
    if (headerSize < 40) return outcome;
    width = static_cast<std::int32_t>(Le32(h + 4));
    height = static_cast<std::int32_t>(Le32(h + 8));
    bitCount = Le16(h + 14);
    compression = Le32(h + 16);
    paletteCount = Le32(h + 32);
    if (compression == kBitFields || compression == kAlphaBitFields) {
      // Masks follow a version-3 header, or sit inside a larger one.
      const std::uint64_t at = 14 + 40;
      const int count = (compression == kAlphaBitFields || headerSize >= 56) ? 4 : 3;
      if (at + 4 * count > size || at + 4 * count > headSize) return outcome;
      for (int i = 0; i < count; ++i) masks[i] = Le32(b + at + 4 * i);
    } else if (headerSize >= 56 && bitCount == 32) {
      masks[3] = 0;  // alpha only counts with bit fields, as Windows reads it
    }
  }
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0) return outcome;
  if (width * height > MaxDecodedPixels()) {
    outcome.status = LoadStatus::TooLarge;
    return outcome;
  }

  const bool palettised = bitCount == 1 || bitCount == 4 || bitCount == 8;
  if (!palettised && bitCount != 16 && bitCount != 24 && bitCount != 32) return outcome;
  if (compression == kRle8 && bitCount != 8) return outcome;
  if (compression == kRle4 && bitCount != 4) return outcome;
  if ((compression == kBitFields || compression == kAlphaBitFields) && bitCount != 16 && bitCount != 32) {
    return outcome;
  }
  if (compression != kRgb && compression != kRle8 && compression != kRle4 && compression != kBitFields &&
      compression != kAlphaBitFields) {
    return outcome;
  }

  std::array<std::uint32_t, 256> palette;
  palette.fill(0xFF000000u);
  if (palettised) {
    const std::uint32_t maxEntries = 1u << bitCount;
    if (paletteCount == 0 || paletteCount > maxEntries) paletteCount = maxEntries;
    std::uint8_t entries[256 * 4] = {};
    // A short palette: the rest stays black.
    const std::size_t got = input.ReadAt(14 + static_cast<std::int64_t>(headerSize), entries,
                                         paletteCount * paletteEntrySize);
    for (std::uint32_t i = 0; i < paletteCount && i * paletteEntrySize + 3 <= got; ++i) {
      const std::uint8_t* e = entries + i * paletteEntrySize;
      palette[i] = 0xFF000000u | (e[2] << 16) | (e[1] << 8) | e[0];
    }
  }
  if (pixelOffset >= size) return outcome;

  if (bitCount == 16 && compression == kRgb) {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  } else if (bitCount == 32 && compression == kRgb) {
    masks[0] = 0x00FF0000;
    masks[1] = 0x0000FF00;
    masks[2] = 0x000000FF;
  }
  const bool alpha = (compression == kBitFields || compression == kAlphaBitFields) && masks[3] != 0;
  const MaskChannel red(masks[0]), green(masks[1]), blue(masks[2]), alphaChannel(masks[3]);

  const std::uint64_t rowBytes = ((static_cast<std::uint64_t>(width) * bitCount + 31) / 32) * 4;
  const std::uint64_t available = size - pixelOffset;
  const bool rle = compression == kRle4 || compression == kRle8;
  if (!rle && rowBytes * height > available) return outcome;

  const PictureSize stored{width, height};
  const PixelFormat format = alpha ? PixelFormat::Argb32 : PixelFormat::Rgb32;
  // Run-length data comes in file order, which is bottom-up unless the
  // height is negative; uncompressed rows are read in picture order.
  std::unique_ptr<RowTarget> target =
      RowTarget::Make(stored, WantedStoredSize(stored, 0, wish.choose), format, rle && !topDown);
  if (!target) {
    outcome.status = LoadStatus::TooLarge;
    return outcome;
  }

  if (rle) {
    // Pixels the run codes skip stay black, as Windows shows them. Rows are
    // asked of the target only when a pixel lands in them, so codes that
    // skip rows, or data that ends early, cost nothing: the time follows the
    // data, not the size the header declares.
    InputReader data(input, pixelOffset);
    std::int64_t x = 0, y = 0, rowY = -1, x0 = 0, x1 = 0;
    std::uint32_t* row = nullptr;
    auto commit = [&] {
      if (row != nullptr) target->Commit(x0, x1);
      row = nullptr;
    };
    auto put = [&](std::uint32_t index) {
      if (x < width && y < height) {
        if (rowY != y) {
          commit();
          row = target->Row(y);
          rowY = y;
          x0 = x;
          x1 = x + 1;
        }
        row[x] = palette[index & 0xFF];
        x0 = std::min(x0, x);
        x1 = std::max(x1, x + 1);
      }
      ++x;
    };
    while (y < height) {
      const int count = data.Next();
      const int code = data.Next();
      if (code < 0) break;  // the data ended: the rest stays black
      if (count > 0) {
        if (x >= width) continue;  // a run past the right edge draws nothing
        for (int k = 0; k < count; ++k) {
          put(compression == kRle8 ? code : (k % 2 == 0 ? code >> 4 : code & 0x0F));
        }
      } else if (code == 0) {  // end of line
        x = 0;
        ++y;
      } else if (code == 1) {  // end of picture
        break;
      } else if (code == 2) {  // delta
        const int dx = data.Next(), dy = data.Next();
        if (dy < 0) return outcome;
        x += dx;
        y += dy;
      } else {  // literal run of `code` pixels, padded to 16 bits
        const int literalBytes = compression == kRle8 ? code : (code + 1) / 2;
        std::uint8_t literal[256];
        for (int k = 0; k < literalBytes; ++k) {
          const int v = data.Next();
          if (v < 0) return outcome;
          literal[k] = static_cast<std::uint8_t>(v);
        }
        if (literalBytes % 2 == 1) data.Next();
        for (int k = 0; k < code; ++k) {
          put(compression == kRle8 ? literal[k] : (k % 2 == 0 ? literal[k / 2] >> 4 : literal[k / 2] & 0x0F));
        }
      }
    }
    commit();
  } else {
    std::vector<std::uint8_t> fileRow(static_cast<std::size_t>(rowBytes));
    for (std::int64_t y = 0; y < height; ++y) {
      const std::int64_t fy = topDown ? y : height - 1 - y;
      if (input.ReadAt(pixelOffset + static_cast<std::int64_t>(fy * rowBytes), fileRow.data(), fileRow.size()) !=
          fileRow.size()) {
        return outcome;  // the file shrank under us
      }
      const std::uint8_t* src = fileRow.data();
      std::uint32_t* out = target->Row(y);
      for (std::int64_t x = 0; x < width; ++x) {
        std::uint32_t v = 0;
        switch (bitCount) {
          case 1: out[x] = palette[(src[x / 8] >> (7 - x % 8)) & 1]; continue;
          case 4: out[x] = palette[(src[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0F]; continue;
          case 8: out[x] = palette[src[x]]; continue;
          case 16: v = Le16(src + 2 * x); break;
          case 24: out[x] = 0xFF000000u | (src[3 * x + 2] << 16) | (src[3 * x + 1] << 8) | src[3 * x]; continue;
          default: v = Le32(src + 4 * x); break;
        }
        const std::uint32_t a = alpha ? alphaChannel.Get(v) : 0xFF;
        out[x] = Premultiply((a << 24) | (red.Get(v) << 16) | (green.Get(v) << 8) | blue.Get(v));
      }
      target->Commit();
    }
  }
  outcome.picture = target->Finish();
  outcome.stored = stored;
  outcome.status = LoadStatus::Decoded;
  return outcome;
}

}  // namespace vornida::imaging_internal
