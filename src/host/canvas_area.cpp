#include "host/canvas_area.h"

#include <algorithm>
#include <limits>

namespace vornida {
namespace {

std::int32_t Clamp32(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

CanvasArea CanvasAreaFromMovie(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
  return CanvasArea{x, y, Clamp32(std::int64_t{x} + width), Clamp32(std::int64_t{y} + height)};
}

void CanvasPlacement::SetArea(const CanvasArea& area) {
  std::lock_guard lock(mutex_);
  area_ = area;
}

CanvasArea CanvasPlacement::Area() const {
  std::lock_guard lock(mutex_);
  return area_;
}

void CanvasPlacement::PlaceCentred(int width, int height) {
  const CanvasArea area = Area();
  // Integer division truncates toward zero, also for a canvas wider than the area.
  const std::int64_t left = (area.Width() - width) / 2 + area.left;
  const std::int64_t top = (area.Height() - height) / 2 + area.top;
  canvas_->move(platform::WindowRect{Clamp32(left), Clamp32(top), width, height});
}

bool CanvasPlacement::CenterCanvas() {
  if (canvas_ == nullptr || !canvas_->exists() || Area().IsEmpty()) return false;
  const platform::WindowRect bounds = canvas_->bounds();
  PlaceCentred(bounds.width, bounds.height);
  return true;
}

void CanvasPlacement::ResizeCanvas(int width, int height) {
  if (canvas_ == nullptr || !canvas_->exists()) return;
  PlaceCentred(width, height);
}

}  // namespace vornida
