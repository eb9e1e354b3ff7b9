// The range of every numeric collage setting, wherever the value comes from:
// the movie's "MakeShape", a collage-parameter text, a project file, or an
// option of vornida-collage. The parameter reader refuses a value outside its
// range (with a text that names it) instead of letting it reach the layout,
// and the command line checks its options against the same table, so the
// limits cannot drift apart.
//
// Some settings keep a meaning below their range (0 for an automatic canvas,
// -1 for an automatic item size, -2 for "as many as fit"): those values are
// accepted as they are.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_texts.h"

namespace vornida {

struct ParamRange {
  std::string_view name;  // the attribute of the parameter text
  double low;             // allowed values, both ends included
  double high;
  bool wholeNumber;
  // Values in [specialLow, specialHigh] mean something of their own
  // (specialMeaning); none when specialLow > specialHigh.
  double specialLow;
  double specialHigh;
  std::string_view specialMeaning;
};

// The table: collageSize (each side), aspectRatio, itemBoundingBoxWidth,
// numPhotos, spacing, borderSize, avgAngle, maxAngle, offsetX, offsetY, and
// jpegQuality (which the save reads).
const std::vector<ParamRange>& CollageParamRanges();

// The entry for `name`; the names above are all there is, and asking for
// another is a programming error (the first entry is returned).
const ParamRange& CollageParamRange(std::string_view name);

// True when `value` lies in the range or is one of its special values.
bool InParamRange(const ParamRange& range, double value);

// Checks the text of an attribute that is present, read as the reader reads
// it (whole numbers as the movie's integers, reals as decimal numbers; a real
// that is not finite is refused). Empty when it may be used, else the
// "Setting_out_of_range" text naming the setting, its text and the range.
EngineText CheckParamText(const ParamRange& range, std::string_view text);

// A number of the table as people write it: 100000, 0.45, -1.
std::string FormatRangeNumber(double value);

// Text settings: the text of a text shape (UTF-16 code units) and its font.
inline constexpr std::size_t kMaxShapeTextLength = 200;
inline constexpr std::size_t kMaxShapeFontLength = 100;

}  // namespace vornida
