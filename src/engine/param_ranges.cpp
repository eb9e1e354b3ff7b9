#include "engine/param_ranges.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "base/text.h"

namespace vornida {

namespace {

constexpr double kNoSpecial = 1;  // specialLow above specialHigh: none
constexpr double kNone = 0;
constexpr double kMinusInfinity = -std::numeric_limits<double>::infinity();

}  // namespace

const std::vector<ParamRange>& CollageParamRanges() {
  // Sides up to 100000 may be asked for; the layout then reduces a canvas to
  // what it can hold and says so. An item of 30000 pixels is already larger
  // than any canvas it could stand on; a million items is far beyond any
  // photo list. Borders of half the item or more would leave no photo.
  static const std::vector<ParamRange> table = {
      {"collageSize", 1, 100000, true, kMinusInfinity, 0, "automatic canvas"},
      {"aspectRatio", 0.01, 100, false, kMinusInfinity, 0, "no ratio"},
      {"itemBoundingBoxWidth", 1, 30000, true, kMinusInfinity, -1, "automatic item size"},
      {"numPhotos", 1, 1000000, true, -2, 0, "one item per photo (0, -1) or as many as fit (-2)"},
      {"spacing", 0.1, 10, false, kNoSpecial, kNone, {}},
      {"borderSize", 0, 0.45, false, kNoSpecial, kNone, {}},
      {"avgAngle", -180, 180, true, kNoSpecial, kNone, {}},
      {"maxAngle", 0, 180, true, kNoSpecial, kNone, {}},
      {"offsetX", -1, 1, false, kNoSpecial, kNone, {}},
      {"offsetY", -1, 1, false, kNoSpecial, kNone, {}},
      // Read by the save, not the layout: the quality of JPEG output.
      {"jpegQuality", 1, 100, true, kNoSpecial, kNone, {}},
  };
  return table;
}

const ParamRange& CollageParamRange(std::string_view name) {
  for (const ParamRange& range : CollageParamRanges())
    if (range.name == name) return range;
  return CollageParamRanges().front();
}

bool InParamRange(const ParamRange& range, double value) {
  if (!std::isfinite(value)) return false;
  if (value >= range.low && value <= range.high) return true;
  return range.specialLow <= range.specialHigh && value >= range.specialLow && value <= range.specialHigh;
}

std::string FormatRangeNumber(double value) {
  if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15)
    return std::to_string(static_cast<long long>(value));
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, end) : std::string("?");
}

EngineText CheckParamText(const ParamRange& range, std::string_view text) {
  double value = 0;
  if (range.wholeNumber) {
    value = ParseMovieInt(text);
  } else {
    const std::string copy(text);
    value = std::strtod(copy.c_str(), nullptr);
  }
  if (InParamRange(range, value)) return {};
  // Long texts are cut so that the message stays one readable line.
  std::string shown = TruncateUtf16(text, 40);
  if (shown.size() < text.size()) shown += "...";
  return {"Setting_out_of_range",
          {{"name", std::string(range.name)},
           {"value", shown},
           {"min", FormatRangeNumber(range.low)},
           {"max", FormatRangeNumber(range.high)}}};
}

}  // namespace vornida
