#include "output/psd_writer.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/text.h"
#include "output/packbits.h"

namespace vornida {
namespace {

// Fixed part of a layer record (without the name): rectangle 16, channel
// count 2, four channel entries, blend signature and key 8, opacity, clipping,
// flags, filler 4, extra length 4, mask length 4, blending ranges length 4.
constexpr std::size_t kRecordFixedV1 = 16 + 2 + 4 * (2 + 4) + 8 + 4 + 4 + 4 + 4;  // 66
constexpr std::size_t kRecordFixedV2 = 16 + 2 + 4 * (2 + 8) + 8 + 4 + 4 + 4 + 4;  // 82
constexpr uint64_t kSectionLengthOffset = 76;
constexpr uint16_t kCompressionRaw = 0;
constexpr uint16_t kCompressionPackBits = 1;
constexpr int kChannels = 4;  // transparency, red, green, blue
constexpr int16_t kChannelIds[kChannels] = {-1, 0, 1, 2};
constexpr int kChannelShift[kChannels] = {24, 16, 8, 0};  // within 0xAARRGGBB

class BigEndian {
 public:
  explicit BigEndian(std::vector<uint8_t>& out) : out_(out) {}
  BigEndian& u8(uint8_t v) { out_.push_back(v); return *this; }
  BigEndian& u16(uint16_t v) { return u8(static_cast<uint8_t>(v >> 8)).u8(static_cast<uint8_t>(v)); }
  BigEndian& u32(uint32_t v) { return u16(static_cast<uint16_t>(v >> 16)).u16(static_cast<uint16_t>(v)); }
  BigEndian& u64(uint64_t v) { return u32(static_cast<uint32_t>(v >> 32)).u32(static_cast<uint32_t>(v)); }
  BigEndian& bytes(const char* text, std::size_t n) {
    // Byte by byte: GCC 12 warns falsely about range inserts into vectors.
    for (std::size_t i = 0; i < n; ++i) out_.push_back(static_cast<uint8_t>(text[i]));
    return *this;
  }
  BigEndian& zeros(std::size_t n) { out_.insert(out_.end(), n, 0); return *this; }

 private:
  std::vector<uint8_t>& out_;
};

void PutBigEndian(uint8_t* at, uint64_t value, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i) {
    at[bytes - 1 - i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

// Straight colour byte from a premultiplied one: round(c * 255 / a).
struct UnpremultiplyTable {
  std::array<uint8_t, 256 * 256> values{};
  UnpremultiplyTable() {
    for (unsigned a = 1; a < 256; ++a) {
      for (unsigned c = 0; c < 256; ++c) {
        values[a * 256 + c] = static_cast<uint8_t>(std::min(255u, (c * 255 + a / 2) / a));
      }
    }
  }
};

const UnpremultiplyTable& Unpremultiply() {
  static const UnpremultiplyTable table;
  return table;
}

std::string DefaultLayerName(int32_t index) { return "Layer " + std::to_string(index + 1); }

// The layer name as the record keeps it: the Pascal string (a length byte,
// the UTF-8 bytes, zeros to a multiple of 4) and the Unicode name block
// ("luni": the UTF-16 code units, padded to a multiple of 4).
std::vector<uint8_t> LayerNameBytes(const std::string& name) {
  std::vector<uint8_t> out;
  BigEndian put(out);
  const std::size_t padding = (4 - (1 + name.size()) % 4) % 4;
  put.u8(static_cast<uint8_t>(name.size())).bytes(name.data(), name.size()).zeros(padding);
  const std::u16string units = Utf8ToUtf16(name);
  const std::size_t unicodeBytes = 4 + 2 * units.size();
  const std::size_t unicodePadding = (4 - unicodeBytes % 4) % 4;
  put.bytes("8BIM", 4).bytes("luni", 4).u32(static_cast<uint32_t>(unicodeBytes + unicodePadding));
  put.u32(static_cast<uint32_t>(units.size()));
  for (char16_t unit : units) put.u16(static_cast<uint16_t>(unit));
  put.zeros(unicodePadding);
  return out;
}

}  // namespace

// One channel of a picture, read row by row. For the merged image the
// colour is shown over white, since that image has no alpha.
struct PsdWriter::ChannelSource {
  PsdPixels pixels;
  int channel = 0;  // index into kChannelShift
  bool overWhite = false;

  const uint32_t* rowPixels(int32_t y) const {
    return reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(pixels.pixels) +
                                             pixels.stride * y);
  }

  void extractRow(int32_t y, uint8_t* out) const {
    const uint32_t* px = rowPixels(y);
    const int32_t width = pixels.width;
    const int shift = kChannelShift[channel];
    if (channel == 0 && pixels.alpha == PsdAlpha::Opaque) {
      std::memset(out, 255, static_cast<std::size_t>(width));
    } else if (overWhite && pixels.alpha == PsdAlpha::Premultiplied) {
      // c + (1 - a) * 255 in premultiplied terms.
      for (int32_t x = 0; x < width; ++x) {
        const uint32_t p = px[x];
        out[x] = static_cast<uint8_t>(std::min(255u, ((p >> shift) & 0xFF) + 255 - (p >> 24)));
      }
    } else if (overWhite && pixels.alpha == PsdAlpha::Straight) {
      for (int32_t x = 0; x < width; ++x) {
        const uint32_t p = px[x], a = p >> 24;
        out[x] = static_cast<uint8_t>((((p >> shift) & 0xFF) * a + 255 * (255 - a) + 127) / 255);
      }
    } else if (channel == 0 || pixels.alpha != PsdAlpha::Premultiplied) {
      for (int32_t x = 0; x < width; ++x) out[x] = static_cast<uint8_t>(px[x] >> shift);
    } else {
      const uint8_t* table = Unpremultiply().values.data();
      for (int32_t x = 0; x < width; ++x) {
        const uint32_t p = px[x];
        out[x] = table[((p >> 24) << 8) | ((p >> shift) & 0xFF)];
      }
    }
  }
};

PsdWriter::~PsdWriter() { abandon(); }

void PsdWriter::reset() {
  version_ = 1;
  width_ = height_ = layerCount_ = nextLayer_ = 0;
  status_ = Status::Ok();
  sectionLength_ = recordsOffset_ = 0;
  records_ = {};
  recordAt_ = {};
  names_ = {};
  counts_ = {};
  packed_ = {};
  row_ = {};
}

bool PsdWriter::fail(Status why) {
  if (status_.ok()) status_ = std::move(why);
  return false;
}

// A write of the file failed: its reason is the writer's.
bool PsdWriter::failFile() { return fail(file_.failed() ? file_.status() : Status::Error("the file could not be written")); }

void PsdWriter::nameLayers(std::vector<std::string> names) { names_ = std::move(names); }

void PsdWriter::abandon() {
  file_.abandon();
  reset();
}

Status PsdWriter::open(const std::string& path, int32_t width, int32_t height, int32_t layerCount) {
  if (file_.isOpen()) return Status::Error("the document is already being written");
  if (width < 1 || height < 1 || width > kMaxLargeDocumentSide || height > kMaxLargeDocumentSide) {
    return Status::Error("PSD files can be 1 to " + std::to_string(kMaxLargeDocumentSide) + " pixels a side");
  }
  if (layerCount < 0 || layerCount > kMaxLayers) {
    return Status::Error("PSD files hold at most " + std::to_string(kMaxLayers) + " layers");
  }
  std::vector<std::string> names = std::move(names_);
  reset();
  names_ = std::move(names);
  version_ = (width > kMaxSide || height > kMaxSide) ? 2 : 1;
  width_ = width;
  height_ = height;
  layerCount_ = layerCount;
  if (Status created = file_.create(path); !created) return created;
  if (!writeHeader()) {
    Status why = status_;
    abandon();
    return why;
  }
  return Status::Ok();
}

bool PsdWriter::writeHeader() {
  std::vector<uint8_t> head;
  BigEndian out(head);
  out.bytes("8BPS", 4).u16(static_cast<uint16_t>(version_)).zeros(6);
  out.u16(3).u32(static_cast<uint32_t>(height_)).u32(static_cast<uint32_t>(width_));
  out.u16(8).u16(3);  // depth, RGB
  out.u32(0);         // no colour mode data
  out.u32(42);        // image resources: two blocks of 28 and 14 bytes
  out.bytes("8BIM", 4).u16(0x03ED).u16(0).u32(16);  // resolution information
  out.u32(0x012C0000).u16(1).u16(1).u32(0x012C0000).u16(1).u16(1);
  out.bytes("8BIM", 4).u16(0x0400).u16(0).u32(2).u16(1);  // target layer
  const std::size_t fixed = version_ == 2 ? kRecordFixedV2 : kRecordFixedV1;
  sectionLength_ = lengthBytes() + 2 + fixed * static_cast<uint64_t>(layerCount_);
  // Both section lengths are placeholders until finish.
  if (version_ == 2) {
    out.u64(0).u64(0);
  } else {
    out.u32(0).u32(0);
  }
  out.u16(static_cast<uint16_t>(layerCount_));
  recordsOffset_ = head.size();

  BigEndian rec(records_);
  recordAt_.reserve(static_cast<std::size_t>(layerCount_));
  for (int32_t i = 0; i < layerCount_; ++i) {
    recordAt_.push_back(records_.size());
    const std::size_t given = static_cast<std::size_t>(i);
    const std::string name = given < names_.size() && !names_[given].empty()
                                 ? TruncateUtf8(names_[given], kMaxLayerNameBytes)
                                 : DefaultLayerName(i);
    const std::vector<uint8_t> nameBytes = LayerNameBytes(name);
    sectionLength_ += nameBytes.size();
    rec.zeros(16).u16(kChannels);
    for (int16_t id : kChannelIds) {
      rec.u16(static_cast<uint16_t>(id)).zeros(lengthBytes());
    }
    rec.bytes("8BIM", 4).bytes("norm", 4).u8(255).u8(0).u8(0).u8(0);
    // Extra data: no mask, no blending ranges, then the name.
    rec.u32(static_cast<uint32_t>(4 + 4 + nameBytes.size())).u32(0).u32(0);
    records_.insert(records_.end(), nameBytes.begin(), nameBytes.end());
  }
  return (file_.write(head) && file_.write(records_)) || failFile();
}

void PsdWriter::putRowCount(uint8_t* at, std::size_t count) const {
  PutBigEndian(at, count, rowCountBytes());
}

void PsdWriter::setLayerRecord(int32_t index, int32_t top, int32_t left, int32_t bottom,
                               int32_t right, const uint64_t lengths[4]) {
  uint8_t* record = records_.data() + recordAt_[static_cast<std::size_t>(index)];
  PutBigEndian(record + 0, static_cast<uint32_t>(top), 4);
  PutBigEndian(record + 4, static_cast<uint32_t>(left), 4);
  PutBigEndian(record + 8, static_cast<uint32_t>(bottom), 4);
  PutBigEndian(record + 12, static_cast<uint32_t>(right), 4);
  uint8_t* entry = record + 18;
  for (int c = 0; c < kChannels; ++c) {
    PutBigEndian(entry + 2, lengths[c], lengthBytes());
    entry += 2 + lengthBytes();
  }
}

bool PsdWriter::writeRepeated(const std::vector<uint8_t>& unit, uint64_t times) {
  if (unit.empty() || times == 0) return true;
  // Batches of whole units keep the number of writes small.
  const uint64_t perBatch = std::max<uint64_t>(1, (1u << 20) / unit.size());
  std::vector<uint8_t> batch;
  batch.reserve(static_cast<std::size_t>(std::min(perBatch, times) * unit.size()));
  for (uint64_t i = 0; i < std::min(perBatch, times); ++i) {
    batch.insert(batch.end(), unit.begin(), unit.end());
  }
  while (times > 0) {
    const uint64_t now = std::min(perBatch, times);
    if (!file_.write(batch.data(), static_cast<std::size_t>(now * unit.size()))) return failFile();
    times -= now;
  }
  return true;
}

bool PsdWriter::writeConstantChannel(uint8_t value, int32_t width, int32_t height, int copies,
                                     uint64_t* writtenLength) {
  // Every row packs the same way, so one packed row serves them all.
  row_.assign(static_cast<std::size_t>(width), value);
  std::vector<uint8_t> packedRow(PackBitsWorstCase(row_.size()));
  packedRow.resize(PackBitsEncodeRow(row_.data(), row_.size(), packedRow.data()));
  std::vector<uint8_t> count(rowCountBytes());
  putRowCount(count.data(), packedRow.size());
  const uint8_t code[2] = {0, kCompressionPackBits};
  const uint64_t rows = static_cast<uint64_t>(height) * static_cast<uint64_t>(copies);
  if (!file_.write(code, 2) || !writeRepeated(count, rows) || !writeRepeated(packedRow, rows)) {
    return failFile();
  }
  *writtenLength = 2 + rows * (count.size() + packedRow.size());
  return true;
}

bool PsdWriter::writeChannels(const ChannelSource* sources, int count, uint64_t* writtenLength) {
  // Rows are packed into a small reusable buffer and written in chunks; the
  // row byte counts, known only at the end, go into their place afterwards.
  // So even a canvas-sized picture needs no more memory than a few rows.
  constexpr std::size_t kChunk = 1 << 20;
  const std::size_t width = static_cast<std::size_t>(sources[0].pixels.width);
  const std::size_t height = static_cast<std::size_t>(sources[0].pixels.height);
  const std::size_t countBytes = rowCountBytes();
  const std::size_t worstRow = PackBitsWorstCase(width) + 3;  // + the parity change below
  if (packed_.size() < kChunk + worstRow) packed_.resize(kChunk + worstRow);
  if (row_.size() < width) row_.resize(width);
  counts_.assign(static_cast<std::size_t>(count) * height * countBytes, 0);

  const uint8_t code[2] = {0, kCompressionPackBits};
  if (!file_.write(code, 2)) return failFile();
  const uint64_t countsOffset = file_.size();
  if (!file_.write(counts_)) return failFile();
  std::size_t used = 0;
  uint64_t dataBytes = 0;
  uint8_t* nextCount = counts_.data();
  std::size_t lastRowAt = 0, lastRowLength = 0;
  for (int c = 0; c < count; ++c) {
    for (std::size_t y = 0; y < height; ++y) {
      // Written before the next row is packed, so the last row stays here.
      if (used >= kChunk) {
        if (!file_.write(packed_.data(), used)) return failFile();
        used = 0;
      }
      sources[c].extractRow(static_cast<int32_t>(y), row_.data());
      lastRowAt = used;
      lastRowLength = PackBitsEncodeRow(row_.data(), width, packed_.data() + used);
      putRowCount(nextCount, lastRowLength);
      nextCount += countBytes;
      used += lastRowLength;
      dataBytes += lastRowLength;
    }
  }
  // A layer's channels each end at an even offset (all other parts of the
  // block are even): the last row is packed the other way when needed.
  if (count == 1 && dataBytes % 2 != 0 && height > 0) {
    const std::size_t flipped = PackBitsFlipParity(packed_.data() + lastRowAt, lastRowLength);
    putRowCount(nextCount - countBytes, flipped);
    used = used - lastRowLength + flipped;
    dataBytes = dataBytes - lastRowLength + flipped;
  }
  if (!file_.write(packed_.data(), used) || !file_.writeAt(countsOffset, counts_.data(), counts_.size())) {
    return failFile();
  }
  *writtenLength = 2 + counts_.size() + dataBytes;
  return true;
}

Status PsdWriter::openWithColour(const std::string& path, int32_t width, int32_t height, int32_t itemCount,
                                 uint32_t argb) {
  if (itemCount < 0 || itemCount >= kMaxLayers) {
    return Status::Error("PSD files hold at most " + std::to_string(kMaxLayers) + " layers");
  }
  if (Status opened = open(path, width, height, itemCount + 1); !opened) return opened;
  if (!writeConstantLayer(argb)) {
    Status why = status_;
    abandon();
    return why;
  }
  return Status::Ok();
}

bool PsdWriter::writeConstantLayer(uint32_t argb) {
  uint64_t lengths[kChannels];
  for (int c = 0; c < kChannels; ++c) {
    const auto value = static_cast<uint8_t>(argb >> kChannelShift[c]);
    if (!writeConstantChannel(value, width_, height_, 1, &lengths[c])) return false;
    sectionLength_ += lengths[c];
  }
  setLayerRecord(nextLayer_, 0, 0, height_, width_, lengths);
  ++nextLayer_;
  return true;
}

bool PsdWriter::addLayer(const PsdPixels& pixels, int32_t left, int32_t top) {
  if (!file_.isOpen() || !status_.ok()) return false;
  if (nextLayer_ >= layerCount_) return false;  // refused; the document itself is still good
  if (pixels.width < 0 || pixels.height < 0 ||
      (pixels.width > 0 && pixels.height > 0 &&
       (pixels.pixels == nullptr || pixels.stride < std::ptrdiff_t{pixels.width} * 4 ||
        pixels.stride % 4 != 0))) {
    return fail(Status::Error("a layer's pixels are not a picture"));
  }
  PsdPixels view = pixels;
  // A side longer than the format holds would overflow the row byte counts;
  // only the part on the canvas can be seen, so keep that.
  const int32_t maxSide = version_ == 2 ? kMaxLargeDocumentSide : kMaxSide;
  if (view.width > maxSide || view.height > maxSide) {
    const int64_t x0 = std::max<int64_t>(left, 0);
    const int64_t y0 = std::max<int64_t>(top, 0);
    const int64_t x1 = std::min<int64_t>(int64_t{left} + view.width, width_);
    const int64_t y1 = std::min<int64_t>(int64_t{top} + view.height, height_);
    if (x1 <= x0 || y1 <= y0) {
      view.width = view.height = 0;
      left = top = 0;
    } else {
      view.pixels = reinterpret_cast<const uint32_t*>(
                        reinterpret_cast<const uint8_t*>(view.pixels) + view.stride * (y0 - top)) +
                    (x0 - left);
      view.width = static_cast<int32_t>(x1 - x0);
      view.height = static_cast<int32_t>(y1 - y0);
      left = static_cast<int32_t>(x0);
      top = static_cast<int32_t>(y0);
    }
  }

  uint64_t lengths[kChannels];
  for (int c = 0; c < kChannels; ++c) {
    const ChannelSource source{view, c};
    if (!writeChannels(&source, 1, &lengths[c])) return false;
    sectionLength_ += lengths[c];
  }
  const auto bottom = static_cast<int32_t>(std::clamp<int64_t>(int64_t{top} + view.height,
                                                               INT32_MIN, INT32_MAX));
  const auto right = static_cast<int32_t>(std::clamp<int64_t>(int64_t{left} + view.width,
                                                              INT32_MIN, INT32_MAX));
  setLayerRecord(nextLayer_, top, left, bottom, right, lengths);
  ++nextLayer_;
  return true;
}

bool PsdWriter::addLayer(const Bitmap& bitmap, int32_t left, int32_t top) {
  PsdPixels view;
  if (!bitmap.empty()) {
    view.pixels = bitmap.row(0);
    view.width = static_cast<int32_t>(bitmap.width());
    view.height = static_cast<int32_t>(bitmap.height());
    view.stride = static_cast<std::ptrdiff_t>(bitmap.stride());
  }
  view.alpha = bitmap.hasAlpha() ? PsdAlpha::Premultiplied : PsdAlpha::Opaque;
  return addLayer(view, left, top);
}

Status PsdWriter::finish(const Bitmap& merged) {
  PsdPixels view;
  if (!merged.empty()) {
    view.pixels = merged.row(0);
    view.width = static_cast<int32_t>(merged.width());
    view.height = static_cast<int32_t>(merged.height());
    view.stride = static_cast<std::ptrdiff_t>(merged.stride());
  }
  view.alpha = merged.hasAlpha() ? PsdAlpha::Premultiplied : PsdAlpha::Opaque;
  return finish(view);
}

Status PsdWriter::finish(const PsdPixels& merged) {
  if (!file_.isOpen()) return status_.ok() ? Status::Error("the document is not open") : status_;
  if (merged.width != width_ || merged.height != height_ || merged.pixels == nullptr ||
      merged.stride < std::ptrdiff_t{merged.width} * 4 || merged.stride % 4 != 0) {
    fail(Status::Error("the merged picture does not match the canvas"));
  }
  bool ok = status_.ok();
  // A layer that was announced but never drawn still needs its four
  // compression codes, or readers run past its end.
  for (; ok && nextLayer_ < layerCount_; ++nextLayer_) {
    const uint8_t raw[2 * kChannels] = {0, kCompressionRaw, 0, kCompressionRaw,
                                        0, kCompressionRaw, 0, kCompressionRaw};
    ok = file_.write(raw, sizeof raw) || failFile();
    const uint64_t lengths[kChannels] = {2, 2, 2, 2};
    setLayerRecord(nextLayer_, 0, 0, 0, 0, lengths);
    sectionLength_ += sizeof raw;
  }
  if (ok && sectionLength_ % 2 != 0) {
    const uint8_t pad = 0;
    ok = file_.write(&pad, 1) || failFile();
    ++sectionLength_;
  }
  // Version 1 keeps the section length in 4 bytes.
  if (ok && version_ == 1 && sectionLength_ > UINT32_MAX) {
    ok = fail(Status::Error("the layers need more than the 4 GiB a PSD file holds"));
  }

  if (ok) {
    const ChannelSource planes[3] = {{merged, 1, true}, {merged, 2, true}, {merged, 3, true}};
    uint64_t mergedLength = 0;
    ok = writeChannels(planes, 3, &mergedLength);
  }
  if (ok) {
    uint8_t lengths[16];
    const std::size_t n = lengthBytes();
    PutBigEndian(lengths, sectionLength_, n);
    PutBigEndian(lengths + n, sectionLength_ - n, n);
    ok = (file_.writeAt(recordsOffset_, records_.data(), records_.size()) &&
          file_.writeAt(kSectionLengthOffset, lengths, 2 * n)) ||
         failFile();
  }
  if (ok) {
    if (Status committed = file_.commit(); !committed) fail(std::move(committed));
  }
  Status result = status_;
  abandon();
  return result;
}

}  // namespace vornida
