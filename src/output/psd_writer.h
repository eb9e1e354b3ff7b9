// Layered document writer: one RGB, 8-bit document with a layer per drawn
// picture, written while the collage is drawn.
//
// Usage: `open` (or `openWithColour` for a solid background layer) announces
// the canvas and the number of layers; `addLayer` then writes each layer's
// pixels as soon as it is drawn, bottom layer first, so the whole document is
// never held in memory; `finish` writes the merged image from the flat
// collage and puts the finished file in place.
//
// The file:
//   - a header (version 1; channels 3; depth 8; RGB), no colour mode data,
//     two image resources: 300 dpi resolution and target layer 1;
//   - the layer section: layer count, one record per layer (straight-alpha
//     transparency, normal blending, full opacity, and its name: the one
//     given to `nameLayers`, at most 255 bytes of UTF-8, or "Layer 1",
//     "Layer 2", ...; kept twice, as the record's Pascal string for old
//     readers and in a Unicode name block ("luni", UTF-16) that current
//     readers show), then every layer's channels (transparency, red, green, blue)
//     PackBits-compressed row by row (each channel of even length, which
//     some readers rely on), then a pad byte to an even length;
//   - the merged image: the flat collage that viewers, thumbnails and
//     readers without layer support show, as three planes (red, green, blue)
//     PackBits-compressed row by row; transparent parts are shown over white,
//     since the merged image has no alpha. It is read from the caller's flat
//     picture a row at a time, so it costs a few rows of memory.
// A canvas wider or taller than 30,000 pixels, which version 1 cannot hold,
// is written as a large document (version 2: 8-byte section and channel
// lengths, 4-byte row byte counts), up to 300,000 pixels a side. Version 1
// keeps the layer section's length in 4 bytes: should the layers of a
// version 1 document pass 4 GiB, `finish` fails rather than write a length
// that wrapped round.
//
// Layer rectangles may lie partly or wholly outside the canvas (negative
// left or top, right or bottom past the edge); they are kept as they are.
//
// The file is written through AtomicFileWriter: nothing appears at `path`
// until `finish` succeeds, and a writer that fails, is abandoned or is
// destroyed unfinished leaves any existing file at `path` untouched.
// `open` and `finish` report failure as a Status with its reason (the
// system's, such as "No space left on device", or a limit of the format);
// `addLayer` answers with a bool and keeps the first failure in `status()`.
// After a failure the writer stays failed and `finish` reports it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"
#include "imaging/bitmap.h"
#include "output/atomic_file.h"

namespace vornida {

// How the alpha byte of 32-bit pixels is to be read.
enum class PsdAlpha {
  Opaque,         // ignored: every pixel is fully opaque (32-bit RGB)
  Straight,       // colour bytes are independent of alpha (ARGB)
  Premultiplied,  // colour bytes are already multiplied by alpha (PARGB)
};

// Read-only view of 32-bit pixels: every pixel is one native-endian word
// 0xAARRGGBB; rows are `stride` bytes apart (a multiple of 4).
struct PsdPixels {
  const uint32_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  std::ptrdiff_t stride = 0;
  PsdAlpha alpha = PsdAlpha::Straight;
};

class PsdWriter {
 public:
  static constexpr int32_t kMaxSide = 30000;               // version 1
  static constexpr int32_t kMaxLargeDocumentSide = 300000;  // version 2
  static constexpr int32_t kMaxLayers = 32767;
  static constexpr std::size_t kMaxLayerNameBytes = 255;

  PsdWriter() = default;
  ~PsdWriter();  // an unfinished document is abandoned
  PsdWriter(const PsdWriter&) = delete;
  PsdWriter& operator=(const PsdWriter&) = delete;

  // Names the layers of the next document, bottom layer first; call before
  // `open`. A layer without a name here (an empty one, or past the end) is
  // "Layer " + its 1-based position. Longer names are cut to 255 bytes on a
  // character boundary.
  void nameLayers(std::vector<std::string> names);

  // Starts the document: header, resources and `layerCount` empty layer
  // records. Fails for a size outside 1..300,000, a layer count outside
  // 0..32767, or a file that cannot be created.
  Status open(const std::string& path, int32_t width, int32_t height, int32_t layerCount);

  // Opens with itemCount + 1 layers and writes the first at once: the whole
  // canvas in the colour `argb` (0xAARRGGBB).
  Status openWithColour(const std::string& path, int32_t width, int32_t height, int32_t itemCount,
                        uint32_t argb);

  // Writes the next layer: `bitmap` with its top-left corner at (left, top)
  // in canvas pixels. Argb32 pictures are premultiplied and are written with
  // straight alpha; Rgb32 pictures are fully opaque. False when all
  // announced layers were already added. A layer larger than the format
  // allows on a side is cut to the canvas.
  bool addLayer(const Bitmap& bitmap, int32_t left, int32_t top);
  // The same from any 32-bit pixels.
  bool addLayer(const PsdPixels& pixels, int32_t left, int32_t top);

  // Completes the document with `merged`, the flat collage at canvas size,
  // as its merged image, and moves it into place. Layers that were announced
  // but never added stay empty (zero rectangle). Releases the buffers; the
  // writer can then be opened again.
  Status finish(const PsdPixels& merged);
  // The same from the renderer's flat picture (Argb32 premultiplied or Rgb32).
  Status finish(const Bitmap& merged);

  // Drops the document without touching `path`.
  void abandon();

  // The first failure since `open` (ok while everything went well).
  const Status& status() const { return status_; }

  bool isLargeDocument() const { return version_ == 2; }
  int32_t layerCount() const { return layerCount_; }
  int32_t layersAdded() const { return nextLayer_; }

 private:
  struct ChannelSource;

  bool fail(Status why);
  bool failFile();
  bool writeHeader();
  bool writeConstantLayer(uint32_t argb);
  // One block of compressed channels: the compression code, the row byte
  // counts of every channel, then every channel's packed rows.
  bool writeChannels(const ChannelSource* sources, int count, uint64_t* writtenLength);
  bool writeConstantChannel(uint8_t value, int32_t width, int32_t height, int copies,
                            uint64_t* writtenLength);
  bool writeRepeated(const std::vector<uint8_t>& unit, uint64_t times);
  void setLayerRecord(int32_t index, int32_t top, int32_t left, int32_t bottom, int32_t right,
                      const uint64_t lengths[4]);
  void putRowCount(uint8_t* at, std::size_t count) const;
  std::size_t rowCountBytes() const { return version_ == 2 ? 4 : 2; }
  std::size_t lengthBytes() const { return version_ == 2 ? 8 : 4; }
  void reset();

  AtomicFileWriter file_;
  int version_ = 1;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t layerCount_ = 0;
  int32_t nextLayer_ = 0;
  Status status_;
  uint64_t sectionLength_ = 0;
  uint64_t recordsOffset_ = 0;          // file offset of the first layer record
  std::vector<uint8_t> records_;        // all layer records, written in full by finish
  std::vector<std::size_t> recordAt_;   // offset of each record within records_
  std::vector<std::string> names_;      // of the layers, as given to nameLayers
  std::vector<uint8_t> counts_;         // row byte counts of one channel
  std::vector<uint8_t> packed_;         // packed rows waiting to be written
  std::vector<uint8_t> row_;            // one row of one channel, unpacked
};

}  // namespace vornida
