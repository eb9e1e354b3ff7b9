// The picture a text shape is made from: the text in a bold system font,
// black on a transparent background, as PNG bytes (what the movie would
// render and hand over with "SetTextShape").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vornida::collage_cli {

// Font size in pixels of the rendered text; the shape maker scales the
// region anyway, so this only sets how finely the letters are traced.
inline constexpr int kTextShapeFontPixels = 400;

// PNG bytes of `text` (UTF-8; line breaks start new lines). Empty when the
// text has no visible pixel or cannot be rendered; `error` then says why.
std::vector<std::uint8_t> RenderTextShapePng(const std::string& text, std::string& error);

}  // namespace vornida::collage_cli
