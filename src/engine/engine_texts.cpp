#include "engine/engine_texts.h"

namespace vornida {

const std::vector<EngineTextEntry>& EngineTextTable() {
  static const std::vector<EngineTextEntry> table = {
      {"Setting_out_of_range", "The setting {name} is {value}, but it must be from {min} to {max}."},
      {"Settings_unreadable", "The collage settings cannot be read."},
      {"Setting_missing", "The setting {name} is missing."},
      {"Setting_too_long", "The setting {name} is longer than {max} characters."},
      {"Shape_picture_missing", "The shape picture {file} is missing or cannot be read."},
      {"Shape_picture_empty", "The shape picture {file} has nothing to fill: no part of it is clearly darker than white."},
      {"Collage_too_much_work",
       "This collage would take too long to make: {count} items of about {width} x {height} pixels. Use fewer or "
       "smaller items."},
      {"Collage_items_too_large",
       "The items would be {width} x {height} pixels, larger than a picture can be drawn. Use a smaller item size."},
      {"Canvas_reduced",
       "The canvas was reduced from {fromWidth} x {fromHeight} to {width} x {height} pixels: a collage has at most "
       "{millions} million pixels."},
      {"Canvas_reduced_side",
       "The canvas was reduced from {fromWidth} x {fromHeight} to {width} x {height} pixels: the output allows at most "
       "{side} pixels a side."},
      {"Not_enough_memory", "There is not enough memory to make this collage."},
      {"Collage_failed", "The collage could not be made ({reason})."},
  };
  return table;
}

std::string EnglishEngineText(std::string_view key) {
  for (const EngineTextEntry& entry : EngineTextTable())
    if (entry.key == key) return std::string(entry.english);
  return {};
}

std::string FillEngineText(const EngineText& message, const TextByKey& getText) {
  if (message.empty()) return {};
  std::string pattern = getText ? getText(message.key) : std::string();
  if (pattern.empty() || pattern == message.key) pattern = EnglishEngineText(message.key);
  if (pattern.empty()) pattern = message.key;
  std::string out;
  out.reserve(pattern.size());
  for (size_t i = 0; i < pattern.size();) {
    if (pattern[i] == '{') {
      const size_t close = pattern.find('}', i + 1);
      if (close != std::string::npos) {
        const std::string_view name = std::string_view(pattern).substr(i + 1, close - i - 1);
        bool known = false;
        for (const auto& [placeholder, value] : message.values)
          if (placeholder == name) {
            out += value;
            known = true;
            break;
          }
        if (known) {
          i = close + 1;
          continue;
        }
      }
    }
    out += pattern[i++];
  }
  return out;
}

}  // namespace vornida
