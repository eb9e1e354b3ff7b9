#include "platform/gtk/gtk_canvas.h"

#include <cmath>
#include <cstring>

namespace vornida::platform {

cairo_surface_t* SurfaceFromPixels(const PixelView& picture) {
  if (picture.pixels == nullptr || picture.width <= 0 || picture.height <= 0) return nullptr;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, picture.width, picture.height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_flush(surface);
  unsigned char* target = cairo_image_surface_get_data(surface);
  const int targetStride = cairo_image_surface_get_stride(surface);
  const auto* source = reinterpret_cast<const unsigned char*>(picture.pixels);
  for (int y = 0; y < picture.height; ++y) {
    const auto* in = reinterpret_cast<const std::uint32_t*>(source + static_cast<std::size_t>(y) * picture.stride);
    auto* out = reinterpret_cast<std::uint32_t*>(target + static_cast<std::size_t>(y) * targetStride);
    for (int x = 0; x < picture.width; ++x) {
      const std::uint32_t pixel = in[x];
      const std::uint32_t alpha = pixel >> 24;
      if (alpha == 255) {
        out[x] = pixel;
      } else {
        auto scale = [alpha](std::uint32_t channel) { return (channel * alpha + 127) / 255; };
        out[x] = (alpha << 24) | (scale((pixel >> 16) & 0xFF) << 16) | (scale((pixel >> 8) & 0xFF) << 8) |
                 scale(pixel & 0xFF);
      }
    }
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

GtkCanvas::GtkCanvas(GtkOverlay* overlay) : overlay_(overlay) {
  area_ = gtk_drawing_area_new();
  g_object_ref_sink(area_);
  gtk_widget_set_name(area_, "vornida-canvas");
  gtk_widget_set_halign(area_, GTK_ALIGN_START);
  gtk_widget_set_valign(area_, GTK_ALIGN_START);
  gtk_widget_set_no_show_all(area_, TRUE);
  g_signal_connect(area_, "draw", G_CALLBACK(&GtkCanvas::OnDraw), this);
  g_signal_connect(overlay_, "get-child-position", G_CALLBACK(&GtkCanvas::OnChildPosition), this);
  gtk_overlay_add_overlay(overlay_, area_);
  gtk_overlay_set_overlay_pass_through(overlay_, area_, TRUE);
}

GtkCanvas::~GtkCanvas() {
  g_signal_handlers_disconnect_by_data(overlay_, this);
  g_signal_handlers_disconnect_by_data(area_, this);
  gtk_widget_destroy(area_);
  g_object_unref(area_);
  area_ = nullptr;
  if (picture_ != nullptr) cairo_surface_destroy(picture_);
}

gboolean GtkCanvas::OnChildPosition(GtkOverlay*, GtkWidget* widget, GdkRectangle* allocation, gpointer self) {
  auto* canvas = static_cast<GtkCanvas*>(self);
  if (widget != canvas->area_) return FALSE;
  allocation->x = canvas->bounds_.x;
  allocation->y = canvas->bounds_.y;
  allocation->width = canvas->bounds_.width > 0 ? canvas->bounds_.width : 1;
  allocation->height = canvas->bounds_.height > 0 ? canvas->bounds_.height : 1;
  return TRUE;
}

void GtkCanvas::move(const WindowRect& rect) {
  bounds_ = rect;
  gtk_widget_set_size_request(area_, rect.width > 0 ? rect.width : 1, rect.height > 0 ? rect.height : 1);
  gtk_widget_queue_resize(GTK_WIDGET(overlay_));
}

void GtkCanvas::show() { gtk_widget_show(area_); }

void GtkCanvas::hide() { gtk_widget_hide(area_); }

bool GtkCanvas::isVisible() const { return gtk_widget_get_visible(area_) != FALSE; }

void GtkCanvas::draw(const PixelView& picture) {
  cairo_surface_t* surface = SurfaceFromPixels(picture);
  if (surface == nullptr) return;
  if (picture_ != nullptr) cairo_surface_destroy(picture_);
  picture_ = surface;
  gtk_widget_queue_draw(area_);
  if (onDraw_) onDraw_();
}

gboolean GtkCanvas::OnDraw(GtkWidget* widget, cairo_t* cr, gpointer self) {
  auto* canvas = static_cast<GtkCanvas*>(self);
  if (canvas->picture_ == nullptr) return TRUE;
  cairo_set_source_surface(cr, canvas->picture_, 0, 0);
  // One picture pixel per logical pixel; on a scaled screen each becomes a
  // block of screen pixels instead of a smoothed blur.
  if (gtk_widget_get_scale_factor(widget) > 1) cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  return TRUE;
}

}  // namespace vornida::platform
