#include "engine/collage_params.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "base/text.h"
#include "imaging/bitmap.h"
#include "xml/xml_doc.h"

namespace vornida {

namespace {

// strtol-like reading in a base, saturating at the 32-bit range as the
// platform's long did.
long ReadLong(const std::string& text, int base) {
  errno = 0;
  long long v = std::strtoll(text.c_str(), nullptr, base);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<long>(v);
}

std::string ResolvePath(const std::string& path, const std::string& programFolder) {
  if (path.empty() || path[0] == '/' || programFolder.empty()) return path;
  return programFolder + "/" + path;
}

std::unique_ptr<MakeShapeBase> MakeShapeFor(const std::string& type, const std::string& shapePath,
                                            const std::string& programFolder) {
  if (type == "Rectangle") return std::make_unique<MakeShapeRectangle>();
  if (type == "Circle") return std::make_unique<MakeShapeCircle>();
  if (type != "Image" && type != "Text") return nullptr;
  Picture picture = LoadPicturePlain(ResolvePath(shapePath, programFolder));
  if (!picture) picture = Bitmap::CreateEmpty();
  // Rendered text lies on a transparent ground; only its content counts.
  if (type == "Text") picture = CropToContent(std::move(picture));
  return std::make_unique<MakeShapeCustom>(MaskImageFromPicture(*picture));
}

}  // namespace

int32_t ParamInteger(std::string_view text) { return ParseMovieInt(text); }

double ParamReal(std::string_view text) {
  std::string s(text);
  double v = std::strtod(s.c_str(), nullptr);
  return std::isfinite(v) ? v : 0.0;
}

bool ParamBoolean(std::string_view text) { return text == "true" || text == "TRUE" || text == "1"; }

std::vector<std::string> ParamList(std::string_view text) {
  std::vector<std::string> items;
  std::string s(text);
  if (!s.empty() && s.back() != ',') s += ',';
  size_t start = 0;
  for (size_t comma = s.find(','); comma != std::string::npos; comma = s.find(',', start)) {
    items.push_back(s.substr(start, comma - start));
    start = comma + 1;
  }
  return items;
}

uint32_t ParamColour(std::string_view text) {
  std::string s = AsciiLowered(text);
  uint32_t rgb = 0;
  if (s.find("0x") != std::string::npos) {
    std::string rest;
    for (size_t i = 0; i < s.size();) {
      if (s.compare(i, 2, "0x") == 0) {
        i += 2;
      } else {
        rest += s[i++];
      }
    }
    rgb = static_cast<uint32_t>(ReadLong(rest, 16));
  } else if (s.find('#') != std::string::npos) {
    if (s.size() == 7 || s.size() == 9) {
      auto pair = [&s](size_t at) { return static_cast<uint32_t>(ReadLong(s.substr(at, 2), 16)) & 0xFF; };
      rgb = (pair(1) << 16) | (pair(3) << 8) | pair(5);
    }
  } else {
    rgb = static_cast<uint32_t>(ReadLong(s, 10));
  }
  return 0xFF000000u | (rgb & 0xFFFFFFu);
}

bool ReadCollageParams(std::string_view text, CCollage& collage, const std::string& programFolder) {
  CXmlDoc doc;
  if (!doc.setText(text)) return false;
  doc.findElement("Vornida");
  auto attr = [&doc](std::string_view name) { return doc.attribute(name); };

  const std::string shapeType = attr("shapeType");
  collage.shape.reset();
  const std::string shapePath = (shapeType == "Image" || shapeType == "Text") ? attr("shape") : std::string();
  collage.shape = MakeShapeFor(shapeType, shapePath, programFolder);
  collage.shapeFile = shapePath.empty() ? std::string() : ResolvePath(shapePath, programFolder);

  const std::vector<std::string> size = ParamList(attr("collageSize"));
  if (size.size() < 2) return false;
  collage.canvasWidth = ParamInteger(size[0]);
  collage.canvasHeight = ParamInteger(size[1]);
  collage.aspectRatio = ParamReal(attr("aspectRatio"));
  collage.itemBoundingBoxWidth = ParamInteger(attr("itemBoundingBoxWidth"));
  collage.numPhotos = ParamInteger(attr("numPhotos"));
  collage.spacing = ParamReal(attr("spacing"));
  collage.borderSize = ParamReal(attr("borderSize"));
  collage.samePhotoSize = ParamBoolean(attr("samePhotoSize"));
  collage.avgAngle = ParamInteger(attr("avgAngle")) / 180.0 * std::numbers::pi;
  collage.maxAngle = ParamInteger(attr("maxAngle")) / 180.0 * std::numbers::pi;
  collage.angleSpread = collage.maxAngle;
  if (ParamBoolean(attr("backgroundTransparent")))
    collage.backgroundColor = 0;
  else
    collage.backgroundColor = ParamColour(attr("backgroundColor"));
  collage.backgroundFile = attr("backgroundType") == "Image" ? attr("backgroundFile") : std::string();
  collage.offsetX = ParamReal(attr("offsetX"));
  collage.offsetY = ParamReal(attr("offsetY"));
  collage.noShadow = ParamBoolean(attr("noShadow"));
  collage.borderColor = ParamColour(attr("borderColor"));
  return true;
}

}  // namespace vornida
