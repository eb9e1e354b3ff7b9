// The picture a text shape is made from: the text in a bold system font,
// black on a transparent background, as PNG bytes (what the movie would
// render and hand over with "SetTextShape").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vornida::collage_cli {

// Font size in pixels of the rendered text; the shape maker scales the
// region anyway, so this only sets how finely the letters are traced.
inline constexpr int kTextShapeFontPixels = 400;

// The font family text shapes are drawn in when none is named; the letters
// are always bold, since thin strokes leave little room for photos.
inline constexpr std::string_view kTextShapeFontFamily = "Sans";

// PNG bytes of `text` (UTF-8; line breaks start new lines) in bold `family`
// (empty: kTextShapeFontFamily). Empty when the text has no visible pixel or
// cannot be rendered; `error` then says why.
std::vector<std::uint8_t> RenderTextShapePng(const std::string& text, std::string& error,
                                             const std::string& family = {});

}  // namespace vornida::collage_cli
