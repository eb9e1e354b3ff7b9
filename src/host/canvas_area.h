// Where the collage canvas lies over the movie.
//
// The movie reports the area of its layout that the canvas belongs to
// ("UpdateVornidaCanvasPos"); the canvas keeps its own size and is centred in
// that area, again whenever the area changes, the main window is resized or
// the preview changes size. The main window owns one CanvasPlacement.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/canvas_window.h"

namespace vornida {

// A rectangle in the main window's client coordinates; all zero until the
// movie first reports one.
struct CanvasArea {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;

  std::int64_t Width() const { return std::int64_t{right} - left; }
  std::int64_t Height() const { return std::int64_t{bottom} - top; }
  bool IsEmpty() const { return Width() <= 0 || Height() <= 0; }
  bool operator==(const CanvasArea&) const = default;
};

// The area from the movie's x, y, width and height; sums beyond the 32-bit
// range are clamped to it rather than wrapped.
CanvasArea CanvasAreaFromMovie(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);

class CanvasPlacement {
 public:
  explicit CanvasPlacement(platform::CanvasWindow* canvas) : canvas_(canvas) {}

  platform::CanvasWindow* Canvas() const { return canvas_; }

  // Safe from any thread.
  void SetArea(const CanvasArea& area);
  CanvasArea Area() const;

  // Moves the canvas, at its current size, to the centre of the area. False
  // when there is no canvas window or the area is empty. UI thread only.
  bool CenterCanvas();
  // Gives the canvas a new size, centred in the area. UI thread only.
  void ResizeCanvas(int width, int height);

 private:
  void PlaceCentred(int width, int height);

  platform::CanvasWindow* canvas_;
  mutable std::mutex mutex_;
  CanvasArea area_;
};

}  // namespace vornida
