// Reading the collage-parameter text into a CCollage.
//
// The text is one element named "Vornida" whose attributes carry every
// setting, read in a fixed order:
//   shapeType, shape, collageSize, aspectRatio, itemBoundingBoxWidth,
//   numPhotos, spacing, borderSize, samePhotoSize, avgAngle, maxAngle,
//   backgroundTransparent, backgroundColor, backgroundType, backgroundFile,
//   offsetX, offsetY, noShadow, borderColor, shapeText, shapeFont, seed.
// "seed", when present, names the layout to make again: the random seed
// (0..4294967295) of a layout made from these settings and the same photos
// in the same order. A seed that is not such a number is ignored.
// A missing attribute reads as 0, false, empty or opaque black. The shape
// maker is built from shapeType ("Rectangle", "Circle", "Image", "Text");
// any other value leaves the collage without one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/collage.h"

namespace vornida {

struct ParamReadResult {
  bool ok = false;
  // Why not: the text is not XML ("Settings_unreadable"), "collageSize" is
  // missing, a value lies outside its range (param_ranges.h), or the shape
  // picture is missing, unreadable or has nothing inside it.
  EngineText problem;
  explicit operator bool() const { return ok; }
};

// Reads `text` into `collage`. On failure the collage is not to be laid out,
// and `collage.problem` holds the reason too. `programFolder` resolves
// relative shape picture paths. Attributes that are present must lie in
// their ranges; missing ones read as 0, false, empty or opaque black.
ParamReadResult ReadCollageParams(std::string_view text, CCollage& collage, const std::string& programFolder);

// The value forms of the parameter text, exposed for the reader's callers
// and tests.
int32_t ParamInteger(std::string_view text);
// A real number; text that does not read as a finite number gives 0.
double ParamReal(std::string_view text);
// A seed: a whole number 0..4294967295 and nothing else, else nullopt.
std::optional<uint32_t> ParamSeed(std::string_view text);
// True exactly for "true", "TRUE" and "1".
bool ParamBoolean(std::string_view text);
// Items between commas ("800,600" gives two items, "" none).
std::vector<std::string> ParamList(std::string_view text);
// "0xRRGGBB", "#RRGGBB[AA]" or a decimal 0xRRGGBB value, as opaque ARGB.
uint32_t ParamColour(std::string_view text);

}  // namespace vornida
