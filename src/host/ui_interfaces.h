// What the collage engine reports through while it works: a text label, a
// progress bar and the picture box that shows its preview. The engine knows
// only these interfaces; the main window wires them to the movie and the
// canvas (ui_proxies.h), tests wire them to recorders.
//
// All of them are called from worker threads as well as the UI thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/canvas_window.h"

namespace vornida {

class MLabel {
 public:
  virtual ~MLabel() = default;
  virtual int GetWidth() = 0;
  virtual int GetHeight() = 0;
  virtual void SetText(const std::string& text) = 0;
};

class MProgressBar {
 public:
  virtual ~MProgressBar() = default;
  virtual void SetPos(int position) = 0;
  virtual int GetPos() = 0;
  virtual void SetMax(int maximum) = 0;
  virtual int GetMax() = 0;
};

class MPictureBox {
 public:
  virtual ~MPictureBox() = default;
  // Draws the picture unscaled at the top-left corner of the box.
  virtual void DrawImage(const platform::PixelView& picture) = 0;
  virtual void SetSize(int /*width*/, int /*height*/) {}
  virtual int GetWidth() = 0;
  virtual int GetHeight() = 0;
  // 0xAARRGGBB colours.
  virtual std::uint32_t GetBackColor() = 0;
  virtual std::uint32_t GetSecondColor() { return 0xFF000000u; }
  virtual void Hide() = 0;
  virtual void Show() = 0;
};

}  // namespace vornida
