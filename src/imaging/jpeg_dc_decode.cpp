// The DC coefficients of a progressive JPEG, and nothing else.
//
// At 1/8 scale each output pixel is its 8 x 8 block's mean, which is the
// block's DC coefficient alone. A progressive file sends the DC values in
// scans of their own (a first scan and bit refinements), so this decoder
// reads those scans, steps over every AC scan without decoding it, and
// keeps one value per block: a 2^30-pixel picture takes some 50 MB instead
// of the gigabytes libjpeg holds for all of its coefficients, and a file
// whose data ends early costs no more than its data.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/jpeg_dc_decode.h"

#include "imaging/colour.h"
#include "imaging/row_target.h"

namespace vornida::imaging_internal {

namespace {

constexpr int kMaxComponents = 4;

struct Component {
  int id = 0;
  int h = 1, v = 1;          // sampling factors
  int quant = 0;             // quantisation table
  std::int64_t blocksWide = 0, blocksHigh = 0;
  std::vector<std::int16_t> dc;  // one value per block, row by row
};

// A canonical Huffman table for DC categories (0..15).
struct HuffmanTable {
  bool defined = false;
  std::int32_t maxCode[18] = {};  // largest code of each length, -1 when none
  std::int32_t valueOffset[18] = {};
  std::uint8_t values[256] = {};
};

// Reads the entropy-coded bytes of a scan, bit by bit: stuffed zero bytes
// are dropped, and a marker ends the data (then only zero bits follow).
class BitReader {
 public:
  explicit BitReader(InputReader& in) : in_(in) {}

  int Bit() {
    if (count_ == 0) Fill();
    --count_;
    return (buffer_ >> count_) & 1;
  }
  int Bits(int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) v = (v << 1) | Bit();
    return v;
  }
  // A restart marker is expected: drop the bits left and read past it.
  // False when the data ended, or another marker stands there.
  bool Restart() {
    count_ = 0;
    if (ended_) return false;
    if (marker_ < 0) {
      // Skip to the marker.
      for (;;) {
        const int b = in_.Next();
        if (b < 0) {
          ended_ = true;
          return false;
        }
        if (b != 0xFF) continue;
        int m = in_.Next();
        while (m == 0xFF) m = in_.Next();
        if (m < 0) {
          ended_ = true;
          return false;
        }
        if (m == 0) continue;
        marker_ = m;
        break;
      }
    }
    const bool restart = marker_ >= 0xD0 && marker_ <= 0xD7;
    if (restart) marker_ = -1;
    return restart;
  }
  // The marker that ended the data (-1 while data goes on), whether the
  // file itself ended, and whether bits were wanted past the data's end.
  int marker() const { return marker_; }
  bool ended() const { return ended_; }
  bool shortOfData() const { return short_; }

 private:
  void Fill() {
    buffer_ = 0;
    count_ = 8;
    if (marker_ >= 0 || ended_) {
      short_ = true;  // past the data: zero bits
      return;
    }
    const int b = in_.Next();
    if (b < 0) {
      ended_ = short_ = true;
      return;
    }
    if (b == 0xFF) {
      int m = in_.Next();
      while (m == 0xFF) m = in_.Next();
      if (m < 0) {
        ended_ = short_ = true;
        return;
      }
      if (m != 0) {
        marker_ = m;
        short_ = true;
        return;
      }
    }
    buffer_ = static_cast<std::uint32_t>(b);
  }

  InputReader& in_;
  std::uint32_t buffer_ = 0;
  int count_ = 0;
  int marker_ = -1;
  bool ended_ = false;
  bool short_ = false;
};

int DecodeCategory(BitReader& bits, const HuffmanTable& table) {
  std::int32_t code = 0;
  for (int length = 1; length <= 16; ++length) {
    code = (code << 1) | bits.Bit();
    if (code <= table.maxCode[length]) {
      const std::int32_t index = table.valueOffset[length] + code;
      return index >= 0 && index < 256 ? table.values[index] : -1;
    }
  }
  return -1;  // no such code: corrupt data
}

int Extend(int value, int bits) { return value < (1 << (bits - 1)) ? value - (1 << bits) + 1 : value; }

bool ReadSegment(InputReader& in, std::vector<std::uint8_t>& segment) {
  const int hi = in.Next(), lo = in.Next();
  if (lo < 0) return false;
  const int length = (hi << 8) | lo;
  if (length < 2) return false;
  segment.resize(static_cast<std::size_t>(length - 2));
  for (std::uint8_t& b : segment) {
    const int v = in.Next();
    if (v < 0) return false;
    b = static_cast<std::uint8_t>(v);
  }
  return true;
}

bool ReadHuffmanTables(const std::vector<std::uint8_t>& s, std::array<HuffmanTable, 4>& dcTables) {
  std::size_t at = 0;
  while (at + 17 <= s.size()) {
    const int kind = s[at] >> 4, slot = s[at] & 0x0F;
    if (slot > 3) return false;
    int total = 0;
    for (int i = 1; i <= 16; ++i) total += s[at + i];
    if (total > 256 || at + 17 + static_cast<std::size_t>(total) > s.size()) return false;
    if (kind == 0) {
      HuffmanTable& t = dcTables[static_cast<std::size_t>(slot)];
      t = HuffmanTable{};
      t.defined = true;
      std::int32_t code = 0;
      int k = 0;
      for (int length = 1; length <= 16; ++length) {
        const int n = s[at + static_cast<std::size_t>(length)];
        t.valueOffset[length] = k - code;
        code += n;
        k += n;
        t.maxCode[length] = n > 0 ? code - 1 : -1;
        code <<= 1;
      }
      std::memcpy(t.values, &s[at + 17], static_cast<std::size_t>(total));
    }
    at += 17 + static_cast<std::size_t>(total);
  }
  return at == s.size();
}

inline std::uint8_t Clamp(int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

}  // namespace

DecodeOutcome DecodeJpegDcOnly(const PictureInput& input, const JpegHeaderFacts& facts, const DecodeWish& wish) {
  DecodeOutcome outcome;
  InputReader in(input);
  if (in.Next() != 0xFF || in.Next() != 0xD8) return outcome;

  std::array<HuffmanTable, 4> dcTables;
  std::array<int, 4> quantDc = {1, 1, 1, 1};
  std::vector<Component> components;
  std::int64_t width = 0, height = 0;
  int hMax = 1, vMax = 1;
  int restartInterval = 0;
  bool ranOut = false;
  // Output rows (1/8 scale) the first DC scans reached: below them the data
  // ran out and the picture is grey.
  std::int64_t dataRows = INT64_MAX;
  std::vector<std::uint8_t> segment;
  int pendingMarker = -1;  // a marker that ended a scan's data

  for (;;) {
    int marker = pendingMarker;
    pendingMarker = -1;
    if (marker < 0) {
      int b = in.Next();
      while (b >= 0 && b != 0xFF) b = in.Next();  // stray bytes between segments
      while (b == 0xFF) b = in.Next();
      if (b < 0) {
        ranOut = true;
        break;
      }
      marker = b;
    }
    if (marker == 0xD9) break;                   // end of the picture
    if (marker >= 0xD0 && marker <= 0xD7) continue;  // a stray restart
    if (!ReadSegment(in, segment)) {
      ranOut = true;
      break;
    }
    if (marker == 0xC4) {
      if (!ReadHuffmanTables(segment, dcTables)) return outcome;
    } else if (marker == 0xDB) {
      for (std::size_t at = 0; at < segment.size();) {
        const int precision = segment[at] >> 4, slot = segment[at] & 0x0F;
        const std::size_t size = precision ? 128 : 64;
        if (slot > 3 || at + 1 + size > segment.size()) return outcome;
        quantDc[static_cast<std::size_t>(slot)] = precision ? (segment[at + 1] << 8) | segment[at + 2] : segment[at + 1];
        at += 1 + size;
      }
    } else if (marker == 0xDD) {
      if (segment.size() < 2) return outcome;
      restartInterval = (segment[0] << 8) | segment[1];
    } else if (marker == 0xC2) {
      if (segment.size() < 6 || segment[0] != 8) return outcome;
      height = (segment[1] << 8) | segment[2];
      width = (segment[3] << 8) | segment[4];
      const int n = segment[5];
      if (n < 1 || n > kMaxComponents || segment.size() < 6 + 3 * static_cast<std::size_t>(n)) return outcome;
      if (width <= 0 || height <= 0 || width * height > MaxDecodedPixels()) return outcome;
      components.resize(static_cast<std::size_t>(n));
      for (int c = 0; c < n; ++c) {
        Component& comp = components[static_cast<std::size_t>(c)];
        comp.id = segment[6 + 3 * c];
        comp.h = segment[7 + 3 * c] >> 4;
        comp.v = segment[7 + 3 * c] & 0x0F;
        comp.quant = segment[8 + 3 * c] & 0x03;
        if (comp.h < 1 || comp.h > 4 || comp.v < 1 || comp.v > 4) return outcome;
        hMax = std::max(hMax, comp.h);
        vMax = std::max(vMax, comp.v);
      }
      for (Component& comp : components) {
        // The component's size in blocks, as the file lays them out.
        const std::int64_t cw = (width * comp.h + hMax - 1) / hMax, ch = (height * comp.v + vMax - 1) / vMax;
        comp.blocksWide = (cw + 7) / 8;
        comp.blocksHigh = (ch + 7) / 8;
        // Interleaved scans cover whole MCUs: round up to them.
        const std::int64_t mcusWide = (width + 8 * hMax - 1) / (8 * hMax);
        const std::int64_t mcusHigh = (height + 8 * vMax - 1) / (8 * vMax);
        const std::int64_t paddedWide = std::max(comp.blocksWide, mcusWide * comp.h);
        const std::int64_t paddedHigh = std::max(comp.blocksHigh, mcusHigh * comp.v);
        comp.dc.assign(static_cast<std::size_t>(paddedWide * paddedHigh), 0);
        comp.blocksWide = paddedWide;
        comp.blocksHigh = paddedHigh;
      }
    } else if (marker == 0xDA) {
      if (components.empty() || segment.empty()) return outcome;
      const int n = segment[0];
      if (n < 1 || n > static_cast<int>(components.size()) || segment.size() < 1 + 2 * static_cast<std::size_t>(n) + 3) {
        return outcome;
      }
      std::vector<int> inScan;
      std::vector<int> tableOf;
      for (int i = 0; i < n; ++i) {
        const int id = segment[1 + 2 * i];
        int found = -1;
        for (std::size_t c = 0; c < components.size(); ++c)
          if (components[c].id == id) found = static_cast<int>(c);
        if (found < 0) return outcome;
        inScan.push_back(found);
        tableOf.push_back(segment[2 + 2 * i] >> 4);
      }
      const std::size_t at = 1 + 2 * static_cast<std::size_t>(n);
      const int ss = segment[at], ah = segment[at + 2] >> 4, al = segment[at + 2] & 0x0F;
      BitReader bits(in);
      if (ss == 0) {
        for (int t : tableOf)
          if (ah == 0 && (t > 3 || !dcTables[static_cast<std::size_t>(t)].defined)) return outcome;
        std::array<int, kMaxComponents> predictor = {};
        // An MCU holds each component's h x v blocks, or one block when the
        // scan holds one component.
        const bool interleaved = n > 1;
        const Component& first = components[static_cast<std::size_t>(inScan[0])];
        const std::int64_t mcusWide = interleaved ? (width + 8 * hMax - 1) / (8 * hMax)
                                                  : ((width * first.h + hMax - 1) / hMax + 7) / 8;
        const std::int64_t mcusHigh = interleaved ? (height + 8 * vMax - 1) / (8 * vMax)
                                                  : ((height * first.v + vMax - 1) / vMax + 7) / 8;
        std::int64_t sinceRestart = 0;
        bool corrupt = false, stop = false;
        std::int64_t my = 0;
        for (; my < mcusHigh && !stop; ++my) {
          for (std::int64_t mx = 0; mx < mcusWide && !stop; ++mx) {
            if (restartInterval > 0 && sinceRestart == restartInterval) {
              if (!bits.Restart()) {
                // The data ended (or an end marker came) early; any other
                // marker here is damage.
                corrupt = !(bits.ended() || bits.marker() == 0xD9);
                stop = true;
                break;
              }
              predictor = {};
              sinceRestart = 0;
            }
            ++sinceRestart;
            for (int i = 0; i < n && !stop; ++i) {
              Component& comp = components[static_cast<std::size_t>(inScan[static_cast<std::size_t>(i)])];
              const int bw = interleaved ? comp.h : 1, bh = interleaved ? comp.v : 1;
              for (int by = 0; by < bh && !stop; ++by) {
                for (int bx = 0; bx < bw; ++bx) {
                  const std::int64_t x = mx * bw + bx, y = my * bh + by;
                  std::int16_t& value = comp.dc[static_cast<std::size_t>(y * comp.blocksWide + x)];
                  if (ah == 0) {
                    const int category = DecodeCategory(bits, dcTables[static_cast<std::size_t>(tableOf[i])]);
                    if (category < 0 || category > 11) {
                      corrupt = !bits.shortOfData();
                      stop = true;
                      break;
                    }
                    const int diff = category == 0 ? 0 : Extend(bits.Bits(category), category);
                    predictor[static_cast<std::size_t>(i)] += diff;
                    value = static_cast<std::int16_t>(predictor[static_cast<std::size_t>(i)] * (1 << al));
                  } else if (bits.Bit()) {
                    value = static_cast<std::int16_t>(value | (1 << al));
                  }
                }
              }
            }
            // Past the end of the data only zero bits come: what follows is
            // no picture.
            if (bits.shortOfData()) stop = true;
          }
        }
        if (corrupt) return outcome;
        if (bits.shortOfData()) {
          ranOut = true;
          if (ah == 0) {
            // Rows of output per MCU row: vMax for an interleaved scan, and
            // vMax / v for a scan of one component.
            const std::int64_t reached = interleaved ? my * vMax : (my * vMax + first.v - 1) / first.v;
            dataRows = std::min(dataRows, reached);
          }
        }
        if (bits.ended()) break;
        // The marker after the data, if the scan's reading came upon it.
        if (bits.marker() >= 0 && !(bits.marker() >= 0xD0 && bits.marker() <= 0xD7)) pendingMarker = bits.marker();
      } else {
        // An AC scan: step over its data to the next marker.
        for (;;) {
          int b = in.Next();
          if (b < 0) {
            ranOut = true;
            break;
          }
          if (b != 0xFF) continue;
          b = in.Next();
          while (b == 0xFF) b = in.Next();
          if (b < 0) {
            ranOut = true;
            break;
          }
          if (b == 0 || (b >= 0xD0 && b <= 0xD7)) continue;
          pendingMarker = b;
          break;
        }
        if (ranOut) break;
      }
    }
    // APPn, COM and anything else: read and passed over.
  }
  if (components.empty()) return outcome;

  // The picture at 1/8 scale, as libjpeg sizes it.
  const PictureSize decoded{(width + 7) / 8, (height + 7) / 8};
  const PictureSize stored{width, height};
  SourceLayout layout = SourceLayout::Bgrx;
  const std::size_t n = components.size();
  if (n == 1) layout = SourceLayout::Grey;
  if (n == 4) layout = facts.adobe ? SourceLayout::CmykInverted : SourceLayout::Cmyk;
  const ColourConverter colour(layout, facts.profile);
  std::unique_ptr<RowTarget> target =
      RowTarget::Make(decoded, WantedStoredSize(stored, facts.orientation, wish.choose), PixelFormat::Rgb32);
  if (!target) {
    outcome.status = LoadStatus::TooLarge;
    return outcome;
  }
  std::vector<std::uint8_t> samples(static_cast<std::size_t>(decoded.width) * 4);
  const std::int64_t rows = std::min(decoded.height, dataRows);
  for (std::int64_t y = 0; y < rows; ++y) {
    std::uint32_t* out = target->Row(y);
    for (std::int64_t x = 0; x < decoded.width; ++x) {
      int v[kMaxComponents] = {128, 128, 128, 128};
      for (std::size_t c = 0; c < n; ++c) {
        const Component& comp = components[c];
        const int q = quantDc[static_cast<std::size_t>(comp.quant)];
        auto at = [&](std::int64_t bx, std::int64_t by) {
          bx = std::clamp<std::int64_t>(bx, 0, comp.blocksWide - 1);
          by = std::clamp<std::int64_t>(by, 0, comp.blocksHigh - 1);
          return comp.dc[static_cast<std::size_t>(by * comp.blocksWide + bx)] * q;
        };
        if (comp.h == hMax && comp.v == vMax) {
          v[c] = Clamp(128 + ((at(x, y) + 4) >> 3));
          continue;
        }
        // Each output pixel is one full-resolution block; a subsampled
        // component's block covers several of them, and its values are
        // interpolated between block centres, as libjpeg's upsampling does.
        const double fx = (static_cast<double>(x) + 0.5) * comp.h / hMax - 0.5;
        const double fy = (static_cast<double>(y) + 0.5) * comp.v / vMax - 0.5;
        const std::int64_t x0 = static_cast<std::int64_t>(std::floor(fx)), y0 = static_cast<std::int64_t>(std::floor(fy));
        const double ax = fx - static_cast<double>(x0), ay = fy - static_cast<double>(y0);
        const double value = (1 - ay) * ((1 - ax) * at(x0, y0) + ax * at(x0 + 1, y0)) +
                             ay * ((1 - ax) * at(x0, y0 + 1) + ax * at(x0 + 1, y0 + 1));
        v[c] = Clamp(128 + static_cast<int>(std::lround(value / 8)));
      }
      std::uint8_t* s = &samples[static_cast<std::size_t>(x) * 4];
      if (n == 1) {
        samples[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(v[0]);
        continue;
      }
      int r = v[0], g = v[1], b = v[2];
      const bool ycc = facts.colourSpace == JpegColourSpace::YCbCr || facts.colourSpace == JpegColourSpace::Ycck;
      if (ycc) {
        const double Y = v[0], cb = v[1] - 128.0, cr = v[2] - 128.0;
        r = Clamp(static_cast<int>(Y + 1.402 * cr + 0.5));
        g = Clamp(static_cast<int>(Y - 0.344136 * cb - 0.714136 * cr + 0.5));
        b = Clamp(static_cast<int>(Y + 1.772 * cb + 0.5));
      }
      if (n == 4) {
        // YCCK holds inverted inks in its colour part, CMYK the inks.
        s[0] = static_cast<std::uint8_t>(facts.colourSpace == JpegColourSpace::Ycck ? 255 - r : r);
        s[1] = static_cast<std::uint8_t>(facts.colourSpace == JpegColourSpace::Ycck ? 255 - g : g);
        s[2] = static_cast<std::uint8_t>(facts.colourSpace == JpegColourSpace::Ycck ? 255 - b : b);
        s[3] = static_cast<std::uint8_t>(v[3]);
      } else {
        s[0] = static_cast<std::uint8_t>(b);
        s[1] = static_cast<std::uint8_t>(g);
        s[2] = static_cast<std::uint8_t>(r);
        s[3] = 0xFF;
      }
    }
    colour.ToWords(samples.data(), out, decoded.width);
    target->Commit();
  }
  if (rows < decoded.height) target->FillRest(0xFF808080u);  // the grey of missing data
  outcome.picture = target->Finish();
  outcome.picture->setExifOrientation(facts.orientation);
  outcome.stored = stored;
  outcome.status = ranOut ? LoadStatus::Damaged : LoadStatus::Decoded;
  return outcome;
}

}  // namespace vornida::imaging_internal
