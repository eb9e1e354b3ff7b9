// Where a decoder puts a picture's rows.
//
// A decoder hands its rows over one by one, in order, to a RowTarget: either
// straight into a picture of the decoded size, or, when a smaller picture is
// wanted, through a shrinker that holds only the few rows it is averaging.
// The shrunk result has exactly the pixels that decoding the whole picture
// and then ResizeTo would give, so memory stays bounded by the wanted size
// whatever size the file declares, and rows the file never delivers cost
// nothing.
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/bitmap.h"

namespace vornida::imaging_internal {

class RowTarget {
 public:
  // The decoded picture is `decoded` (format `format`); the caller wants
  // `wanted`. Smaller in both directions shrinks while reading (the result
  // is Argb32, as from ResizeTo); anything else gives the decoded picture
  // itself. `bottomUp`: rows come from the bottom row upward (row 0 is the
  // picture's last). Null when the memory is not to be had.
  static std::unique_ptr<RowTarget> Make(PictureSize decoded, PictureSize wanted, PixelFormat format,
                                         bool bottomUp = false);
  virtual ~RowTarget() = default;

  // Row y of the decoded picture for the decoder to fill, decoded.width
  // words, all zero. Rows are asked for in increasing y, each at most once;
  // a row never asked for stays zero (black in an opaque picture,
  // transparent otherwise).
  virtual std::uint32_t* Row(std::int64_t y) = 0;
  // The row last handed out is complete. Only its words [x0, x1) were
  // written; the others are still zero.
  virtual void Commit(std::int64_t x0, std::int64_t x1) = 0;
  void Commit() { Commit(0, decoded_.width); }
  // Every row after the last one handed out holds `colour` (premultiplied):
  // the data ran out, and the rest is shown as this colour.
  virtual void FillRest(std::uint32_t colour) = 0;
  // The picture, once all rows are in (or filled).
  virtual Picture Finish() = 0;

  PictureSize decodedSize() const { return decoded_; }

 protected:
  explicit RowTarget(PictureSize decoded) : decoded_(decoded) {}
  PictureSize decoded_;
};

}  // namespace vornida::imaging_internal
