#include "engine/collage_params.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "base/text.h"
#include "engine/param_ranges.h"
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

struct ShapeOutcome {
  std::unique_ptr<MakeShapeBase> shape;
  EngineText problem;
};

ShapeOutcome MakeShapeFor(const std::string& type, const std::string& shapePath, const std::string& programFolder) {
  ShapeOutcome out;
  if (type == "Rectangle") {
    out.shape = std::make_unique<MakeShapeRectangle>();
    return out;
  }
  if (type == "Circle") {
    out.shape = std::make_unique<MakeShapeCircle>();
    return out;
  }
  if (type != "Image" && type != "Text") return out;
  const std::string path = ResolvePath(shapePath, programFolder);
  Picture picture = path.empty() ? nullptr : LoadPicturePlain(path);
  if (!picture || picture->empty()) {
    out.problem = {"Shape_picture_missing", {{"file", shapePath}}};
    return out;
  }
  // Rendered text lies on a transparent ground; only its content counts.
  if (type == "Text") picture = CropToContent(std::move(picture));
  // A mask finer than the refined-mask budget buys nothing but memory.
  const double pixels = static_cast<double>(picture->width()) * static_cast<double>(picture->height());
  const double budget = static_cast<double>(MakeShapeCustom::kMaxRefinedPixels);
  if (pixels > budget) {
    const double f = std::sqrt(budget / pixels);
    picture = FitWithin(std::move(picture), picture->width() * f, picture->height() * f);
    if (!picture || picture->empty()) {
      out.problem = {"Not_enough_memory", {}};
      return out;
    }
  }
  auto custom = std::make_unique<MakeShapeCustom>(MaskImageFromPicture(*picture));
  if (custom->insideCount == 0) {
    out.problem = {"Shape_picture_empty", {{"file", shapePath}}};
    return out;
  }
  out.shape = std::move(custom);
  return out;
}

EngineText SettingMissing(std::string_view setting) { return {"Setting_missing", {{"name", std::string(setting)}}}; }

EngineText SettingTooLong(std::string_view setting, size_t maxLength) {
  return {"Setting_too_long", {{"name", std::string(setting)}, {"max", std::to_string(maxLength)}}};
}

// Reads the number attribute `name` with `read` into `field` when it lies in
// its range; a present value outside it becomes the problem. A missing
// attribute reads as the empty text does.
template <typename T, typename Read>
bool ReadRanged(const CXmlDoc& doc, std::string_view name, Read read, T& field, EngineText& problem) {
  const std::string text = doc.attribute(name);
  if (!text.empty()) {
    EngineText refused = CheckParamText(CollageParamRange(name), text);
    if (!refused.empty()) {
      problem = std::move(refused);
      return false;
    }
  }
  field = static_cast<T>(read(text));
  return true;
}

}  // namespace

int32_t ParamInteger(std::string_view text) { return ParseMovieInt(text); }

double ParamReal(std::string_view text) {
  std::string s(text);
  double v = std::strtod(s.c_str(), nullptr);
  return std::isfinite(v) ? v : 0.0;
}

std::optional<uint32_t> ParamSeed(std::string_view text) {
  uint32_t seed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seed);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return seed;
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

ParamReadResult ReadCollageParams(std::string_view text, CCollage& collage, const std::string& programFolder) try {
  ParamReadResult result;
  const auto fail = [&](EngineText why) {
    result.problem = std::move(why);
    collage.problem = result.problem;
    return result;
  };
  CXmlDoc doc;
  if (!doc.setText(text)) return fail({"Settings_unreadable", {}});
  doc.findElement("Vornida");
  auto attr = [&doc](std::string_view name) { return doc.attribute(name); };

  const std::string shapeType = attr("shapeType");
  collage.shape.reset();
  const std::string shapePath = (shapeType == "Image" || shapeType == "Text") ? attr("shape") : std::string();
  ShapeOutcome shape = MakeShapeFor(shapeType, shapePath, programFolder);
  if (!shape.problem.empty()) return fail(std::move(shape.problem));
  collage.shape = std::move(shape.shape);
  collage.shapeFile = shapePath.empty() ? std::string() : ResolvePath(shapePath, programFolder);

  const std::vector<std::string> size = ParamList(attr("collageSize"));
  if (size.size() < 2) return fail(SettingMissing("collageSize"));
  const ParamRange& side = CollageParamRange("collageSize");
  for (int i = 0; i < 2; ++i) {
    EngineText refused = CheckParamText(side, size[i]);
    if (!refused.empty()) return fail(std::move(refused));
  }
  collage.canvasWidth = ParamInteger(size[0]);
  collage.canvasHeight = ParamInteger(size[1]);

  EngineText refused;
  const auto real = [](const std::string& t) { return ParamReal(t); };
  const auto integer = [](const std::string& t) { return ParamInteger(t); };
  int32_t avgDegrees = 0, maxDegrees = 0;
  if (!ReadRanged(doc, "aspectRatio", real, collage.aspectRatio, refused) ||
      !ReadRanged(doc, "itemBoundingBoxWidth", integer, collage.itemBoundingBoxWidth, refused) ||
      !ReadRanged(doc, "numPhotos", integer, collage.numPhotos, refused) ||
      !ReadRanged(doc, "spacing", real, collage.spacing, refused) ||
      !ReadRanged(doc, "borderSize", real, collage.borderSize, refused))
    return fail(std::move(refused));
  collage.samePhotoSize = ParamBoolean(attr("samePhotoSize"));
  if (!ReadRanged(doc, "avgAngle", integer, avgDegrees, refused) ||
      !ReadRanged(doc, "maxAngle", integer, maxDegrees, refused))
    return fail(std::move(refused));
  collage.avgAngle = avgDegrees / 180.0 * std::numbers::pi;
  collage.maxAngle = maxDegrees / 180.0 * std::numbers::pi;
  collage.angleSpread = collage.maxAngle;
  if (ParamBoolean(attr("backgroundTransparent")))
    collage.backgroundColor = 0;
  else
    collage.backgroundColor = ParamColour(attr("backgroundColor"));
  collage.backgroundFile = attr("backgroundType") == "Image" ? attr("backgroundFile") : std::string();
  if (!ReadRanged(doc, "offsetX", real, collage.offsetX, refused) ||
      !ReadRanged(doc, "offsetY", real, collage.offsetY, refused))
    return fail(std::move(refused));
  collage.noShadow = ParamBoolean(attr("noShadow"));
  collage.borderColor = ParamColour(attr("borderColor"));

  collage.shapeText = attr("shapeText");
  collage.shapeFont = attr("shapeFont");
  if (Utf16Length(collage.shapeText) > kMaxShapeTextLength)
    return fail(SettingTooLong("shapeText", kMaxShapeTextLength));
  if (Utf16Length(collage.shapeFont) > kMaxShapeFontLength)
    return fail(SettingTooLong("shapeFont", kMaxShapeFontLength));
  collage.paramSeed = ParamSeed(attr("seed"));
  result.ok = true;
  return result;
} catch (const std::exception& error) {
  ParamReadResult result;
  result.problem = ProblemFromException(error);
  collage.problem = result.problem;
  return result;
}

}  // namespace vornida
