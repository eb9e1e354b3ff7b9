// CXmlDoc: the program's own small XML reader and writer.
//
// A document is kept as one UTF-8 string plus an index of its elements (where
// each element starts, how long its tags are, its parent, first child and
// siblings). No node objects are built: tag names, attribute values, text and
// markup are cut out of the document text when they are asked for.
//
// Navigation is a cursor over one level at a time:
//   parent  - the element whose children are being walked (0 = the document),
//   current - the child found last (0 = none yet),
// so a walk looks like
//   doc.findElement("root"); doc.enterElement();
//   while (doc.findElement("item")) use(doc.attribute("src"));
//   doc.leaveElement();
//
// Element and attribute names match without regard to ASCII case: a name in
// the document of length n matches a query whose first n characters agree
// and whose next character is its end or one of ' ', '=', '/', '['.
//
// Every offset and character count that shows up in resultText() (error
// positions, the "wide chars" count of a file) counts UTF-16 code units, so
// that the numbers are the same whatever the in-memory encoding.
//
// The reader is lenient by design: it checks that tags nest and that there is
// exactly one root element, but not the finer points of well-formedness
// (attribute syntax, characters allowed in names, entity references, text
// outside the root element).
//
// A document is owned by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vornida {

// Index of an element in the document's element table. 0 names the virtual
// document node (the parent of the root element), and "none" where an element
// is expected.
using ElementIndex = uint32_t;

class CXmlDoc {
 public:
  // An empty document: resultText() reads "Empty document".
  CXmlDoc();
  ~CXmlDoc();
  CXmlDoc(const CXmlDoc&) = delete;
  CXmlDoc& operator=(const CXmlDoc&) = delete;
  // A moved-from document may only be assigned to or destroyed.
  CXmlDoc(CXmlDoc&&) noexcept;
  CXmlDoc& operator=(CXmlDoc&&) noexcept;

  // Takes `text` as the document and parses it. True when it is a document by
  // the reader's rules; otherwise resultText() holds the reason, the text is
  // kept unchanged and navigation finds nothing. Forgets fileName().
  bool setText(std::string_view text);

  // The document text exactly as given or loaded.
  const std::string& text() const { return text_; }

  // Reads a UTF-8 file (no byte-order mark handling; invalid sequences become
  // U+FFFD) and parses it. resultText() then starts with
  // "<bytes> bytes to <chars> wide chars", followed by ", <parse error>" when
  // the parse fails. If the file cannot be read, resultText() is the system's
  // error text and the document is left as it was. True only when both the
  // read and the parse succeed; then fileName() is `path`.
  bool loadFile(const std::string& path);

  // Writes the text as UTF-8 (no byte-order mark). resultText() becomes
  // "<chars> wide chars to <bytes> bytes", or the system's error text on
  // failure.
  bool saveFile(const std::string& path);

  // The path of the last successful loadFile(); empty after setText().
  const std::string& fileName() const { return fileName_; }

  // What the last load, save or parse left behind: byte counts, a system error
  // text or a parse error message.
  const std::string& resultText() const { return result_; }

  // Moves to the next element among the children of the cursor's parent, after
  // the current one (or the first child when there is no current one), whose
  // name matches `name`; an empty name matches any element. False, with the
  // cursor unchanged, when there is none.
  bool findElement(std::string_view name = {});

  // Steps into the current element: its children become the level searched by
  // findElement, which then starts from the first child (or, after
  // leaveElement, from the child that was current when it was left).
  // False when there is no current element.
  bool enterElement();

  // Steps out to the parent level; the element that was the parent becomes
  // current again. False at the top level.
  bool leaveElement();

  // The current element's tag name as written; empty when there is none.
  std::string tagName() const;

  // The decoded value of the current element's attribute `name`; empty when
  // there is no current element, no such attribute, or the value is not in
  // quotes.
  std::string attribute(std::string_view name) const;

  // The decoded text of the current element. Empty for an element that has
  // child elements and for an empty-element tag. Text pieces contribute their
  // decoded text and CDATA sections their characters unchanged; comments,
  // processing instructions and white space between them contribute nothing.
  std::string elementText() const;

  // The text of the current element (or of element `index`) from its "<" to
  // the ">" of its end tag. The white space after it is included when the
  // text ends there or a "<" follows it, not when other text follows. Empty
  // for index 0 or an index that names no element.
  std::string elementMarkup() const;
  std::string elementMarkup(ElementIndex index) const;

  // Cursor inspection.
  ElementIndex currentElement() const { return nodeType_ == 1 ? currentPos_ : 0; }
  bool hasChildElements() const;  // the current element has at least one child element
  std::size_t elementCount() const { return freePos_ - 1; }  // elements indexed by the last parse

 private:
  struct ElementRecord;

  ElementRecord& record(ElementIndex index);
  const ElementRecord& record(ElementIndex index) const;
  void resetTable(std::size_t textLength);
  ElementIndex newRecord();
  bool parse();
  bool parseElements(std::string& message);

  std::string text_;
  std::string result_;
  std::string fileName_;

  ElementIndex parentPos_ = 0;
  ElementIndex currentPos_ = 0;
  ElementIndex childPos_ = 0;
  int nodeType_ = 0;

  // The element table in pages of up to kPageSize records; index >> 16
  // selects the page, index & 0xFFFF the slot. The first page starts only as
  // large as the document needs and grows by half; later pages are whole.
  std::vector<std::unique_ptr<ElementRecord[]>> pages_;
  std::size_t firstPageCapacity_ = 0;
  ElementIndex freePos_ = 1;
};

// Escapes text for inclusion in XML (attribute values, and values sent to the
// movie): "&" first, then "<", ">", "'" and '"', each replaced by its
// standard entity, and every control character (U+0001..U+001F, U+007F) by
// its numeric reference (&#10;, &#9;, ...), so that a line break or a TAB
// comes back from an attribute as itself and not as a space.
std::string XmlEscape(std::string_view text);

// Decodes the five standard entities and numeric character references
// (&#65; &#x42;) the way attribute values and element text are decoded.
// Anything else, including an unknown or malformed reference, stays as it is.
std::string XmlDecode(std::string_view text);

}  // namespace vornida
