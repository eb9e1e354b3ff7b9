// Texts the engine shows the user: why it refuses a collage, or what it had
// to change (a reduced canvas). Each is a key of the movie's text table with
// the values of its placeholders ({name}, as the page's own texts have
// them); the words come from the movie (getStr) so that they are
// translated, and from the built-in English below when the table has no
// such key.
//
//   EngineText why{"Setting_out_of_range", {{"name", "spacing"}, {"value", "0"}, {"min", "0.1"}, {"max", "10"}}};
//   std::string shown = FillEngineText(why, getText);
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vornida {

struct EngineText {
  std::string key;  // empty: nothing to say
  std::vector<std::pair<std::string, std::string>> values;  // placeholder name, value

  bool empty() const { return key.empty(); }
  // The value of placeholder `name`; empty when there is none.
  std::string value(std::string_view name) const {
    for (const auto& [placeholder, text] : values)
      if (placeholder == name) return text;
    return {};
  }
};

using TextByKey = std::function<std::string(const std::string& key)>;

// The English text of `key` with its placeholders; empty for a key the engine
// does not know.
std::string EnglishEngineText(std::string_view key);

// The text of `message` from `getText` (a text that is empty or just repeats
// the key counts as missing and is replaced by the English one), with each
// {name} replaced by its value. A placeholder without a value stays as it is.
std::string FillEngineText(const EngineText& message, const TextByKey& getText);

// Every key the engine may ask for, with its English text (for the movie's
// table and for tests).
struct EngineTextEntry {
  std::string_view key;
  std::string_view english;
};
const std::vector<EngineTextEntry>& EngineTextTable();

}  // namespace vornida
