#include "output/packbits.h"

#include <cstring>
#include <vector>

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

std::size_t PackBitsFlipParity(uint8_t* packed, std::size_t length) {
  struct Packet {
    std::size_t at;     // offset of the header byte
    std::size_t count;  // bytes it stands for
    bool run;
  };
  std::vector<Packet> packets;
  for (std::size_t at = 0; at < length;) {
    const auto header = static_cast<int8_t>(packed[at]);
    if (header >= 0) {
      packets.push_back({at, static_cast<std::size_t>(header) + 1, false});
      at += 2 + static_cast<std::size_t>(header);
    } else {
      packets.push_back({at, static_cast<std::size_t>(1 - header), true});
      at += 2;
    }
  }
  // The first packet that can change, by the cheapest change.
  const Packet* chosen = nullptr;
  int change = 0;  // 1 split literal, 2 run of two, 3 longer run, 4 join literals
  for (const Packet& p : packets) {
    if (!p.run && p.count >= 2) { chosen = &p; change = 1; break; }
  }
  for (const Packet& p : packets) {
    if (chosen != nullptr) break;
    if (p.run) { chosen = &p; change = p.count == 2 ? 2 : 3; }
  }
  if (chosen == nullptr) {
    for (std::size_t i = 0; i + 1 < packets.size(); ++i) {
      if (!packets[i].run && !packets[i + 1].run) { chosen = &packets[i]; change = 4; break; }
    }
  }
  if (chosen == nullptr) return length;

  std::vector<uint8_t> out;
  const std::size_t at = chosen->at;
  const std::size_t next = chosen->run ? at + 2 : at + 1 + chosen->count;
  switch (change) {
    case 1:  // literal L: literal 1 + literal L-1
      out = {0, packed[at + 1], static_cast<uint8_t>(chosen->count - 2)};
      out.insert(out.end(), packed + at + 2, packed + next);
      break;
    case 2:  // run of two: literal of two
      out = {1, packed[at + 1], packed[at + 1]};
      break;
    case 3: {  // run n >= 3: run n-2 (a literal when it is one byte) + literal of two
      const std::size_t rest = chosen->count - 2;
      out = {rest == 1 ? uint8_t{0} : static_cast<uint8_t>(1 - static_cast<int>(rest)), packed[at + 1], 1,
             packed[at + 1], packed[at + 1]};
      break;
    }
    default: {  // two one-byte literals: one literal of two
      const std::size_t after = next + 2;
      out = {1, packed[at + 1], packed[next + 1]};
      std::memmove(packed + at + out.size(), packed + after, length - after);
      std::memcpy(packed + at, out.data(), out.size());
      return length - 1;
    }
  }
  std::memmove(packed + at + out.size(), packed + next, length - next);
  std::memcpy(packed + at, out.data(), out.size());
  return length - (next - at) + out.size();
}

}  // namespace vornida
