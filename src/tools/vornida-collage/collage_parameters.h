// The collage-parameter text the command-line maker sends with "MakeShape"
// and "SaveShape": one `Vornida` element whose attributes carry every
// setting. Every attribute is always written, since the engine reads a
// missing one as 0, false or black rather than as a default.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vornida::collage_cli {

// Attribute names in the order the engine reads them.
inline constexpr std::string_view kParameterNames[] = {
    "shapeType", "shape",          "collageSize",           "aspectRatio",     "itemBoundingBoxWidth",
    "numPhotos", "spacing",        "borderSize",            "samePhotoSize",   "avgAngle",
    "maxAngle",  "backgroundTransparent", "backgroundColor", "backgroundType", "backgroundFile",
    "offsetX",   "offsetY",        "noShadow",              "borderColor",     "jpegQuality",
    "shapeText", "shapeFont",      "seed"};

class CollageParameters {
 public:
  // The defaults of a new collage (see DefaultParameterTable).
  CollageParameters();

  void Set(std::string_view name, std::string value);
  // Empty when the attribute is not set.
  std::string Get(std::string_view name) const;
  bool Has(std::string_view name) const;

  // Takes every known attribute that `text` sets to a non-empty value (the
  // first `Vornida` element, or the root whatever its name). False, with a
  // reason, when the text is not XML.
  bool Merge(std::string_view text, std::string& error);

  // The element text, attributes in the engine's order, values escaped.
  std::string Compose() const;

 private:
  std::vector<std::pair<std::string, std::string>> values_;
};

// Name, default and meaning of each attribute, for --help.
struct ParameterDefault {
  std::string_view name;
  std::string_view value;
};
const std::vector<ParameterDefault>& DefaultParameterTable();

// A colour in any form the options accept (#rgb, #rrggbb, 0xrrggbb, or a
// name such as white, black, gray, red, ...) as "#rrggbb"; nullopt when it
// is none of them.
std::optional<std::string> NormaliseColour(std::string_view text);

}  // namespace vornida::collage_cli
