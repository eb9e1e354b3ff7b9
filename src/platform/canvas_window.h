// The collage canvas: the one native drawing surface, laid over the movie at
// the area the movie reports. The engine draws its preview into it.
#pragma once

#include <cstdint>

namespace vornida::platform {

// A picture to draw: 32-bit pixels, 0xAARRGGBB in native byte order, rows
// `stride` bytes apart. The canvas copies what it needs before draw returns.
struct PixelView {
  const std::uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;  // bytes
};

struct WindowRect {
  int x = 0, y = 0, width = 0, height = 0;
};

class CanvasWindow {
 public:
  virtual ~CanvasWindow() = default;

  // False before the window is created or after it was destroyed.
  virtual bool exists() const = 0;
  // Position and outer size in the frame's client coordinates.
  virtual WindowRect bounds() const = 0;
  // Moves and sizes the window without activating it.
  virtual void move(const WindowRect& rect) = 0;
  virtual void show() = 0;
  virtual void hide() = 0;
  virtual bool isVisible() const = 0;
  // Draws the picture unscaled with its top-left corner at (0, 0).
  virtual void draw(const PixelView& picture) = 0;
};

}  // namespace vornida::platform
