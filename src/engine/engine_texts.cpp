#include "engine/engine_texts.h"

namespace vornida {

const std::vector<EngineTextEntry>& EngineTextTable() {
  static const std::vector<EngineTextEntry> table = {
      {"Setting_out_of_range", "The setting %1 is %2, but it must be from %3 to %4."},
      {"Settings_unreadable", "The collage settings cannot be read."},
      {"Setting_missing", "The setting %1 is missing."},
      {"Setting_too_long", "The setting %1 is longer than %2 characters."},
      {"Shape_picture_missing", "The shape picture %1 is missing or cannot be read."},
      {"Shape_picture_empty", "The shape picture %1 has nothing to fill: no part of it is clearly darker than white."},
      {"Collage_too_much_work",
       "This collage would take too long to make: %1 items of about %2 x %3 pixels. Use fewer or smaller items."},
      {"Collage_items_too_large",
       "The items would be %1 x %2 pixels, larger than a picture can be drawn. Use a smaller item size."},
      {"Canvas_reduced", "The canvas was reduced from %1 x %2 to %3 x %4 pixels: a collage has at most %5 million pixels."},
      {"Canvas_reduced_side",
       "The canvas was reduced from %1 x %2 to %3 x %4 pixels: the output allows at most %5 pixels a side."},
      {"Not_enough_memory", "There is not enough memory to make this collage."},
      {"Collage_failed", "The collage could not be made (%1)."},
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
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
      const size_t n = static_cast<size_t>(pattern[i + 1] - '1');
      if (n < message.values.size()) {
        out += message.values[n];
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

}  // namespace vornida
