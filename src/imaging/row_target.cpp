#include "imaging/row_target.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

#include "imaging/resample.h"

namespace vornida::imaging_internal {

namespace {

// The rows go straight into the decoded picture.
class WholeTarget final : public RowTarget {
 public:
  WholeTarget(PictureSize decoded, Picture picture, bool bottomUp)
      : RowTarget(decoded), picture_(std::move(picture)), bottomUp_(bottomUp) {}

  std::uint32_t* Row(std::int64_t y) override {
    next_ = y + 1;
    return picture_->row(bottomUp_ ? decoded_.height - 1 - y : y);
  }
  void Commit(std::int64_t, std::int64_t) override {}
  void FillRest(std::uint32_t colour) override {
    for (std::int64_t y = next_; y < decoded_.height; ++y) {
      std::uint32_t* row = picture_->row(bottomUp_ ? decoded_.height - 1 - y : y);
      std::fill(row, row + decoded_.width, colour);
    }
    next_ = decoded_.height;
  }
  Picture Finish() override { return std::move(picture_); }

 private:
  Picture picture_;
  bool bottomUp_;
  std::int64_t next_ = 0;
};

// The rows are averaged into the smaller picture as they come, with the
// weights ResizeTo uses and in its order: each row is added with its
// vertical weight to the sums of the few output rows whose taps reach it
// (full width, before the horizontal taps), and an output row is finished
// through the horizontal taps once the rows come past its last tap.
class ShrinkTarget final : public RowTarget {
 public:
  ShrinkTarget(PictureSize decoded, PictureSize wanted, PixelFormat format, bool bottomUp, Picture out)
      : RowTarget(decoded),
        wanted_(wanted),
        horizontal_(MakeTaps(decoded.width, wanted.width)),
        vertical_(MakeTaps(decoded.height, wanted.height)),
        out_(std::move(out)),
        row_(static_cast<std::size_t>(decoded.width), 0),
        packed_(static_cast<std::size_t>(decoded.width)),
        opaque_(format == PixelFormat::Rgb32),
        bottomUp_(bottomUp) {}

  std::uint32_t* Row(std::int64_t y) override {
    WriteOutputsBefore(y);
    std::fill(row_.begin() + written0_, row_.begin() + written1_, 0u);
    written0_ = written1_ = 0;
    current_ = y;
    next_ = y + 1;
    return row_.data();
  }

  void Commit(std::int64_t x0, std::int64_t x1) override {
    x0 = std::clamp<std::int64_t>(x0, 0, decoded_.width);
    x1 = std::clamp<std::int64_t>(x1, x0, decoded_.width);
    written0_ = x0;
    written1_ = x1;
    if (x0 == x1) return;  // nothing but zeros: adds nothing
    // Only the written words add anything; the rest of the row is zero.
    for (std::int64_t i = outNext_; i < wanted_.height && vertical_.first[i] <= current_; ++i) {
      const std::int64_t k = current_ - vertical_.first[i];
      if (k >= vertical_.count[i]) continue;
      const std::int32_t weight = vertical_.WeightsOf(i)[k];
      if (weight != 0) AccumulateRow(row_.data() + x0, weight, OutputSums(i) + 4 * x0, x1 - x0);
    }
  }

  void FillRest(std::uint32_t colour) override {
    // Output rows that straddle the last row given get the colour's share of
    // their taps now; those entirely after it are written as the colour.
    const std::vector<std::uint32_t> colourRow(static_cast<std::size_t>(decoded_.width), colour);
    for (std::int64_t i = outNext_; i < wanted_.height && vertical_.first[i] < next_; ++i) {
      const std::int32_t* w = vertical_.WeightsOf(i);
      for (int k = 0; k < vertical_.count[i]; ++k) {
        if (vertical_.first[i] + k >= next_) AccumulateRow(colourRow.data(), w[k], OutputSums(i), decoded_.width);
      }
    }
    fillFrom_ = next_;
    fillColour_ = colour;
    next_ = decoded_.height;
  }

  Picture Finish() override {
    WriteOutputsBefore(decoded_.height);
    if (bottomUp_) {
      std::vector<std::uint32_t> swap(static_cast<std::size_t>(wanted_.width));
      for (std::int64_t top = 0, bottom = wanted_.height - 1; top < bottom; ++top, --bottom) {
        std::uint32_t* a = out_->row(top);
        std::uint32_t* b = out_->row(bottom);
        std::memcpy(swap.data(), a, swap.size() * 4);
        std::memcpy(a, b, swap.size() * 4);
        std::memcpy(b, swap.data(), swap.size() * 4);
      }
    }
    return std::move(out_);
  }

 private:
  // The channel sums of output row i (which must not be written yet).
  std::int32_t* OutputSums(std::int64_t i) {
    const std::size_t at = static_cast<std::size_t>(i - outNext_);
    while (open_.size() <= at) open_.emplace_back(static_cast<std::size_t>(decoded_.width) * 4, 0);
    return open_[at].data();
  }

  // Writes every output row whose taps all lie before row y.
  void WriteOutputsBefore(std::int64_t y) {
    while (outNext_ < wanted_.height && vertical_.first[outNext_] + vertical_.count[outNext_] <= y) {
      std::uint32_t* out = out_->row(outNext_);
      if (open_.empty()) {
        // Nothing reached this row: all its sources were zero, or filled.
        const bool filled = vertical_.first[outNext_] >= fillFrom_;
        std::fill(out, out + wanted_.width, filled ? fillColour_ : opaque_ ? 0xFF000000u : 0u);
      } else {
        PackRow(open_.front().data(), packed_.data(), decoded_.width, opaque_);
        ResampleRow(packed_.data(), out, horizontal_, wanted_.width, 0);
        open_.pop_front();
      }
      ++outNext_;
    }
  }

  PictureSize wanted_;
  Taps horizontal_;
  Taps vertical_;
  Picture out_;
  std::vector<std::uint32_t> row_;     // the row being decoded
  std::vector<std::uint32_t> packed_;  // an output row's sums, before the horizontal taps
  std::deque<std::vector<std::int32_t>> open_;  // sums of output rows outNext_, outNext_ + 1, ...
  std::int64_t outNext_ = 0;
  std::int64_t current_ = 0;
  std::int64_t next_ = 0;
  std::int64_t written0_ = 0, written1_ = 0;
  std::int64_t fillFrom_ = INT64_MAX;  // rows from here on hold fillColour_
  std::uint32_t fillColour_ = 0;
  bool opaque_;
  bool bottomUp_;
};

}  // namespace

std::unique_ptr<RowTarget> RowTarget::Make(PictureSize decoded, PictureSize wanted, PixelFormat format,
                                           bool bottomUp) {
  if (decoded.width <= 0 || decoded.height <= 0) return nullptr;
  const bool shrink = wanted.width > 0 && wanted.height > 0 && wanted.width <= decoded.width &&
                      wanted.height <= decoded.height &&
                      (wanted.width < decoded.width || wanted.height < decoded.height);
  if (shrink) {
    Picture out = Bitmap::Create(wanted.width, wanted.height, PixelFormat::Argb32);
    if (!out || out->empty()) return nullptr;
    return std::make_unique<ShrinkTarget>(decoded, wanted, format, bottomUp, std::move(out));
  }
  Picture picture = Bitmap::Create(decoded.width, decoded.height, format);
  if (!picture || picture->empty()) return nullptr;
  return std::make_unique<WholeTarget>(decoded, std::move(picture), bottomUp);
}

}  // namespace vornida::imaging_internal
