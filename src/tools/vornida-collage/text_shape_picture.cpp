#include "tools/vornida-collage/text_shape_picture.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <memory>

namespace vornida::collage_cli {
namespace {

// Cairo surfaces stop at 32767 pixels a side; stay well inside.
constexpr int kMaxSide = 16000;
constexpr int kMargin = 8;

struct CairoDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length) {
  auto* bytes = static_cast<std::vector<std::uint8_t>*>(closure);
  bytes->insert(bytes->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

// Lays out the text at `pixels` and gives its ink rectangle.
PangoRectangle MeasureInk(PangoLayout* layout, PangoFontDescription* font, int pixels) {
  pango_font_description_set_absolute_size(font, pixels * PANGO_SCALE);
  pango_layout_set_font_description(layout, font);
  PangoRectangle ink{}, logical{};
  pango_layout_get_pixel_extents(layout, &ink, &logical);
  return ink;
}

}  // namespace

std::vector<std::uint8_t> RenderTextShapePng(const std::string& text, std::string& error, const std::string& family) {
  // Measure on a scratch surface first, then draw onto one of the text's size.
  std::unique_ptr<cairo_surface_t, CairoDeleter> scratch(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1));
  std::unique_ptr<cairo_t, CairoDeleter> measureContext(cairo_create(scratch.get()));
  PangoLayout* layout = pango_cairo_create_layout(measureContext.get());
  PangoFontDescription* font = pango_font_description_new();
  pango_font_description_set_family(font, family.empty() ? std::string(kTextShapeFontFamily).c_str() : family.c_str());
  pango_font_description_set_weight(font, PANGO_WEIGHT_BOLD);
  pango_layout_set_text(layout, text.c_str(), -1);
  pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);

  int pixels = kTextShapeFontPixels;
  PangoRectangle ink = MeasureInk(layout, font, pixels);
  const int longest = std::max(ink.width, ink.height);
  if (longest > kMaxSide) {
    pixels = std::max(8, static_cast<int>(static_cast<long long>(pixels) * kMaxSide / longest));
    ink = MeasureInk(layout, font, pixels);
  }

  std::vector<std::uint8_t> png;
  if (ink.width <= 0 || ink.height <= 0) {
    error = "the text has no visible characters";
  } else {
    std::unique_ptr<cairo_surface_t, CairoDeleter> surface(cairo_image_surface_create(
        CAIRO_FORMAT_ARGB32, ink.width + 2 * kMargin, ink.height + 2 * kMargin));
    std::unique_ptr<cairo_t, CairoDeleter> context(cairo_create(surface.get()));
    // A new image surface is fully transparent; the letters go on in black.
    cairo_set_source_rgba(context.get(), 0, 0, 0, 1);
    cairo_move_to(context.get(), kMargin - ink.x, kMargin - ink.y);
    pango_cairo_update_layout(context.get(), layout);
    pango_cairo_show_layout(context.get(), layout);
    cairo_surface_flush(surface.get());
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_write_to_png_stream(surface.get(), AppendBytes, &png) != CAIRO_STATUS_SUCCESS) {
      png.clear();
      error = "the text could not be drawn";
    }
  }
  pango_font_description_free(font);
  g_object_unref(layout);
  return png;
}

}  // namespace vornida::collage_cli

// Fontconfig, under pango, keeps its configuration and font caches for the
// life of the process and never frees them; leak checking builds are told so
// here, since every program that draws a text shape links this file.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
