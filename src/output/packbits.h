// PackBits run-length coding of byte rows, as used by layered documents.
//
// A row is a sequence of packets: a header byte h, then either h + 1 literal
// bytes (0 <= h <= 127) or one byte repeated 1 - h times (-127 <= h <= -1).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vornida {

// Most bytes PackBitsEncodeRow can produce for a row of `count` bytes: one
// header per 128 literal bytes, plus one for a row that ends in two
// different bytes, which are written as two one-byte literals.
constexpr std::size_t PackBitsWorstCase(std::size_t count) {
  return count + (count + 127) / 128 + 1;
}

// Encodes `count` bytes from `row` into `out` (room for
// PackBitsWorstCase(count) bytes) and returns the number of bytes written.
//
// Two or more equal bytes become a run (up to 128 long). Otherwise a literal
// grows while at least three bytes follow it and those three are not all
// equal, so that runs of three or more are never swallowed; when exactly two
// bytes are left after it they join the literal, as a separate packet would
// cost more.
std::size_t PackBitsEncodeRow(const uint8_t* row, std::size_t count, uint8_t* out);

// Rewrites one packed row (`length` bytes at `packed`, with room for 3 more)
// into an equally valid packing of the same bytes whose length has the other
// parity, and returns the new length: a literal is split (+1 byte), a run of
// two becomes a literal (+1), a longer run gives two bytes to a literal (+3),
// or two one-byte literals are joined (-1). A row of one byte cannot change
// and comes back as it was.
//
// Some readers (Pillow among them) expect every channel of a layer to end at
// an even file offset; the layered writer uses this to make each channel's
// length even without padding that other readers would misread.
std::size_t PackBitsFlipParity(uint8_t* packed, std::size_t length);

}  // namespace vornida
