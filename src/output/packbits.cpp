#include "output/packbits.h"

#include <cstring>

namespace vornida {

std::size_t PackBitsEncodeRow(const uint8_t* row, std::size_t count, uint8_t* out) {
  constexpr std::size_t kMaxPacket = 128;
  uint8_t* const start = out;
  std::size_t i = 0;
  while (i < count) {
    if (count - i >= 2 && row[i] == row[i + 1]) {
      const uint8_t value = row[i];
      std::size_t run = 2;
      while (i + run < count && run < kMaxPacket && row[i + run] == value) ++run;
      *out++ = static_cast<uint8_t>(1 - static_cast<int>(run));
      *out++ = value;
      i += run;
      continue;
    }
    // Literal [i, end). `end` is one past its last byte.
    std::size_t end = i + 1;
    const std::size_t limit = (count - i > kMaxPacket) ? i + kMaxPacket : count;
    while (end < limit && count - end >= 3 &&
           !(row[end] == row[end + 1] && row[end + 1] == row[end + 2])) {
      ++end;
    }
    if (count - end == 2) {
      while (end < count && end - i < kMaxPacket) ++end;
    }
    const std::size_t length = end - i;
    *out++ = static_cast<uint8_t>(length - 1);
    std::memcpy(out, row + i, length);
    out += length;
    i = end;
  }
  return static_cast<std::size_t>(out - start);
}

}  // namespace vornida
