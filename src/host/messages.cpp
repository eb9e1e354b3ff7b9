#include "host/messages.h"

#include "xml/xml_doc.h"

namespace vornida {

bool ParseInvoke(std::string_view request, DecodedCall& call) {
  CXmlDoc doc;
  if (!doc.setText(request)) return false;
  if (!doc.findElement("invoke")) return false;
  std::string name = doc.attribute("name");
  if (!doc.enterElement() || !doc.findElement("arguments") || !doc.enterElement()) return false;
  std::vector<std::string> args;
  ParseValues(doc, args);
  call.name = std::move(name);
  call.args = std::move(args);
  call.result.clear();
  return true;
}

void ParseValues(CXmlDoc& doc, std::vector<std::string>& args) {
  // Arrays nest without limit in what the movie may send, so the walk keeps
  // its own stack of levels instead of recursing. A level either holds values
  // or is the inside of an array, whose children (normally "property"
  // elements) each hold a level of values.
  enum class Level { kValues, kArrayItems };
  std::vector<Level> levels{Level::kValues};
  while (!levels.empty()) {
    if (!doc.findElement()) {
      levels.pop_back();
      if (!levels.empty()) doc.leaveElement();
      continue;
    }
    if (levels.back() == Level::kArrayItems) {
      doc.enterElement();
      levels.push_back(Level::kValues);
      continue;
    }
    const std::string tag = doc.tagName();
    if (tag == "true") {
      args.emplace_back("1");
    } else if (tag == "false") {
      args.emplace_back("0");
    } else if (tag == "array") {
      doc.enterElement();
      levels.push_back(Level::kArrayItems);
    } else if (doc.hasChildElements()) {
      // An object: hand over its first property as markup.
      doc.enterElement();
      doc.findElement();
      args.push_back(doc.elementMarkup());
      doc.leaveElement();
    } else {
      args.push_back(doc.elementText());
    }
  }
}

bool CheckArgCount(const DecodedCall& call, std::size_t count) { return call.args.size() >= count; }

std::string ParseResponse(std::string_view response) {
  CXmlDoc doc;
  if (!doc.setText(response)) return {};
  std::vector<std::string> values;
  ParseValues(doc, values);
  if (values.size() != 1) return {};
  return std::move(values.front());
}

std::string StringValue(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 17);
  out.append("<string>").append(text).append("</string>");
  return out;
}

std::string NumberValue(int64_t number) { return "<number>" + std::to_string(number) + "</number>"; }

std::string BoolValue(bool value) { return value ? "<true/>" : "<false/>"; }

std::string InvokeRequest(std::string_view function, std::string_view values) {
  std::string out;
  out.reserve(function.size() + values.size() + 48);
  out.append("<invoke name='").append(function).append("'><arguments>").append(values).append(
      "</arguments></invoke>");
  return out;
}

}  // namespace vornida
