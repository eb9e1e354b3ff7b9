#include "tools/vornida-collage/collage_parameters.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "base/text.h"
#include "xml/xml_doc.h"

namespace vornida::collage_cli {

const std::vector<ParameterDefault>& DefaultParameterTable() {
  // A canvas of 1600 x 1200, one item per photo sized to fill it, all items
  // of the same size (photos of mixed resolution would otherwise differ
  // wildly), items touching (spacing 1), a thin light border, a gentle
  // random tilt, a soft shadow and a white background.
  static const std::vector<ParameterDefault> table = {
      {"shapeType", "Rectangle"},
      {"shape", ""},
      {"collageSize", "1600,1200"},
      {"aspectRatio", "0"},
      {"itemBoundingBoxWidth", "-1"},
      {"numPhotos", "-1"},
      {"spacing", "1"},
      {"borderSize", "0.03"},
      {"samePhotoSize", "true"},
      {"avgAngle", "0"},
      {"maxAngle", "15"},
      {"backgroundTransparent", "false"},
      {"backgroundColor", "#ffffff"},
      {"backgroundType", "Color"},
      {"backgroundFile", ""},
      {"offsetX", "0.01"},
      {"offsetY", "0.01"},
      {"noShadow", "false"},
      {"borderColor", "#f2f2f2"},
      {"jpegQuality", "90"},
      {"shapeText", ""},
      {"shapeFont", ""},
  };
  return table;
}

CollageParameters::CollageParameters() {
  for (const ParameterDefault& entry : DefaultParameterTable()) values_.emplace_back(entry.name, entry.value);
}

void CollageParameters::Set(std::string_view name, std::string value) {
  for (auto& [key, current] : values_)
    if (key == name) {
      current = std::move(value);
      return;
    }
  values_.emplace_back(std::string(name), std::move(value));
}

std::string CollageParameters::Get(std::string_view name) const {
  for (const auto& [key, value] : values_)
    if (key == name) return value;
  return {};
}

bool CollageParameters::Has(std::string_view name) const {
  return std::any_of(values_.begin(), values_.end(), [name](const auto& entry) { return entry.first == name; });
}

bool CollageParameters::Merge(std::string_view text, std::string& error) {
  CXmlDoc document;
  if (!document.setText(text)) {
    error = document.resultText();
    return false;
  }
  if (!document.findElement("Vornida") && !document.findElement()) {
    error = "no element";
    return false;
  }
  for (std::string_view name : kParameterNames) {
    std::string value = document.attribute(name);
    if (!value.empty()) Set(name, std::move(value));
  }
  return true;
}

std::string CollageParameters::Compose() const {
  std::string text = "<Vornida";
  for (const auto& [name, value] : values_) text += " " + name + "='" + XmlEscape(value) + "'";
  return text + "/>";
}

std::optional<std::string> NormaliseColour(std::string_view text) {
  static const std::pair<std::string_view, std::string_view> kNames[] = {
      {"black", "#000000"},  {"white", "#ffffff"},  {"gray", "#808080"},    {"grey", "#808080"},
      {"silver", "#c0c0c0"}, {"red", "#ff0000"},    {"green", "#008000"},   {"lime", "#00ff00"},
      {"blue", "#0000ff"},   {"navy", "#000080"},   {"yellow", "#ffff00"},  {"orange", "#ffa500"},
      {"purple", "#800080"}, {"pink", "#ffc0cb"},   {"brown", "#a52a2a"},   {"cyan", "#00ffff"},
      {"magenta", "#ff00ff"}, {"beige", "#f5f5dc"}, {"ivory", "#fffff0"},   {"maroon", "#800000"},
      {"olive", "#808000"},  {"teal", "#008080"},   {"gold", "#ffd700"},    {"lightgray", "#d3d3d3"},
      {"lightgrey", "#d3d3d3"}, {"darkgray", "#a9a9a9"}, {"darkgrey", "#a9a9a9"}};
  const std::string lower = AsciiLowered(text);
  for (const auto& [name, hex] : kNames)
    if (lower == name) return std::string(hex);

  std::string_view digits = lower;
  if (digits.starts_with("#"))
    digits.remove_prefix(1);
  else if (digits.starts_with("0x"))
    digits.remove_prefix(2);
  else
    return std::nullopt;
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
    return std::nullopt;
  if (digits.size() == 3) return std::string{'#', digits[0], digits[0], digits[1], digits[1], digits[2], digits[2]};
  if (digits.size() == 6) return "#" + std::string(digits);
  return std::nullopt;
}

}  // namespace vornida::collage_cli
