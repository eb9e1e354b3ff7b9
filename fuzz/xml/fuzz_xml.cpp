// Feeds arbitrary bytes to CXmlDoc and walks whatever it accepted with every
// accessor. The walk is bounded by the element count, so a broken sibling or
// parent link shows up as a failed check rather than an endless loop.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "xml/xml_doc.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using vornida::CXmlDoc;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  CXmlDoc doc;
  const bool ok = doc.setText(input);
  Check(doc.text() == input);
  Check(ok == (doc.elementCount() > 0));
  if (!ok) {
    Check(!doc.findElement());
    Check(doc.attribute("a").empty() && doc.elementText().empty() && doc.tagName().empty());
    return 0;
  }

  // Use the first name in the input as an attribute query, so that matches
  // happen often.
  std::string query = "id";
  if (doc.findElement()) {
    query = doc.tagName();
    doc.setText(input);
  }

  std::size_t visited = 0;
  int depth = 0;
  for (;;) {
    if (doc.findElement()) {
      ++visited;
      Check(visited <= doc.elementCount());
      const std::string name = doc.tagName();
      Check(!name.empty());
      const std::string markup = doc.elementMarkup();
      Check(markup.size() <= size && markup.front() == '<');
      Check(doc.elementMarkup(doc.currentElement()) == markup);
      const std::string text = doc.elementText();
      Check(text.size() <= 4 * size);
      Check(doc.attribute(query).size() <= 4 * size);
      Check(doc.attribute(name).size() <= 4 * size);
      if (doc.hasChildElements()) Check(text.empty());
      Check(doc.enterElement());
      ++depth;
    } else if (depth > 0) {
      Check(doc.leaveElement());
      --depth;
    } else {
      break;
    }
  }
  Check(visited == doc.elementCount());

  Check(!doc.leaveElement());
  vornida::XmlEscape(input);
  vornida::XmlDecode(input);
  return 0;
}
