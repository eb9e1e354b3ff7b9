// The collage canvas over GTK: a GtkDrawingArea laid over the web view in a
// GtkOverlay, at the rectangle the core gives (logical pixels of the window,
// the same units as the page's CSS pixels at zoom 1).
//
// The canvas shows the last picture drawn into it. It takes no input: clicks
// pass through to the movie below. On a scaled screen the picture is put on
// the screen pixel for pixel replicated (no smoothing), so it stays crisp.
#pragma once

#include <cairo.h>
#include <gtk/gtk.h>

#include <functional>

#include "platform/canvas_window.h"

namespace vornida::platform {

class GtkCanvas final : public CanvasWindow {
 public:
  // Adds the drawing area to `overlay`, hidden, 200 by 200 at the origin.
  explicit GtkCanvas(GtkOverlay* overlay);
  ~GtkCanvas() override;
  GtkCanvas(const GtkCanvas&) = delete;
  GtkCanvas& operator=(const GtkCanvas&) = delete;

  bool exists() const override { return area_ != nullptr; }
  WindowRect bounds() const override { return bounds_; }
  void move(const WindowRect& rect) override;
  void show() override;
  void hide() override;
  bool isVisible() const override;
  void draw(const PixelView& picture) override;

  GtkWidget* Widget() const { return area_; }
  // Called after each picture drawn into the canvas (for the benchmark's frames).
  void SetDrawObserver(std::function<void()> observer) { onDraw_ = std::move(observer); }

 private:
  static gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer self);
  static gboolean OnChildPosition(GtkOverlay* overlay, GtkWidget* widget, GdkRectangle* allocation, gpointer self);

  GtkOverlay* overlay_;
  GtkWidget* area_;
  WindowRect bounds_{0, 0, 200, 200};
  cairo_surface_t* picture_ = nullptr;
  std::function<void()> onDraw_;
};

// Copies 0xAARRGGBB pixels into a new cairo ARGB32 surface (premultiplied).
cairo_surface_t* SurfaceFromPixels(const PixelView& picture);

}  // namespace vornida::platform
