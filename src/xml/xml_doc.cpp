#include "xml/xml_doc.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

#include "base/text.h"

namespace vornida {

namespace {

constexpr unsigned kPageBits = 16;
constexpr std::size_t kPageSize = std::size_t{1} << kPageBits;
constexpr ElementIndex kSlotMask = kPageSize - 1;

// Offsets are held in 32 bits; a longer text is refused rather than indexed
// with offsets that wrap.
constexpr std::size_t kMaxDocumentBytes = std::numeric_limits<int32_t>::max();

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsAllSpace(std::string_view text) {
  return std::all_of(text.begin(), text.end(), IsSpace);
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A document name of length n matches the query when the query's first n
// characters agree ignoring ASCII case and the query ends there or goes on
// with ' ', '=', '/' or '['.
bool NameMatches(std::string_view token, std::string_view query) {
  if (query.size() < token.size()) return false;
  for (std::size_t i = 0; i < token.size(); ++i) {
    if (AsciiLower(token[i]) != AsciiLower(query[i])) return false;
  }
  if (query.size() == token.size()) return true;
  const char next = query[token.size()];
  return next == ' ' || next == '=' || next == '/' || next == '[';
}

// The tag name that starts at `offset`: up to white space, "/" or ">".
std::string_view NameAt(std::string_view text, std::size_t offset, std::size_t limit) {
  std::size_t end = offset;
  while (end < limit) {
    const char c = text[end];
    if (IsSpace(c) || c == '/' || c == '>') break;
    ++end;
  }
  return text.substr(offset, end - offset);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A numeric character reference at text[at] ("&#65;" or "&#x41;"): the code,
// taken modulo 65536, and the offset after the ";". The ";" must come within
// the seven characters after "&#", and a code of 0 is not a reference.
bool ParseNumericReference(std::string_view text, std::size_t at, char16_t& code, std::size_t& end) {
  if (at + 2 >= text.size() || text[at] != '&' || text[at + 1] != '#') return false;
  std::size_t i = at + 2;
  const bool hex = text[i] == 'x';
  if (hex) ++i;
  const std::size_t digitsStart = i;
  const std::size_t limit = std::min(text.size(), at + 2 + 7);
  uint32_t value = 0;
  while (i < limit) {
    const int digit = hex ? HexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (digit < 0) break;
    value = (value * (hex ? 16 : 10) + static_cast<uint32_t>(digit)) & 0xFFFF;
    ++i;
  }
  if (i == digitsStart || i >= limit || text[i] != ';' || value == 0) return false;
  code = static_cast<char16_t>(value);
  end = i + 1;
  return true;
}

// ---------------------------------------------------------------------------
// Tokenizer: one node at a time from a position in the text.

enum class NodeKind {
  kEnd,
  kText,  // text or white space up to the next "<"
  kStartTag,
  kEmptyTag,  // start tag closed by "/>"
  kEndTag,
  kComment,
  kCData,
  kProcessingInstruction,
  kDoctype,
  kDeclaration,  // "<!ELEMENT" and the like outside a doctype: not allowed
  kError,
};

struct Node {
  NodeKind kind = NodeKind::kEnd;
  std::size_t start = 0;
  std::size_t end = 0;  // one past the node's last character
};

class NodeReader {
 public:
  explicit NodeReader(std::string_view text, std::size_t pos = 0) : text_(text), pos_(pos) {}

  Node next();

  // After a kError node: what was wrong, with the node's byte offset.
  const char* errorFormat() const { return errorFormat_; }
  const char* errorSubject() const { return errorSubject_; }
  std::size_t errorOffset() const { return errorOffset_; }

 private:
  Node fail(const char* format, const char* subject, std::size_t start) {
    errorFormat_ = format;
    errorSubject_ = subject;
    errorOffset_ = start;
    pos_ = text_.size();
    return Node{NodeKind::kError, start, start};
  }
  Node unterminated(const char* what, std::size_t start) { return fail("%s at offset %d unterminated", what, start); }
  Node incorrect(const char* what, std::size_t start) { return fail("Incorrect %s at offset %d", what, start); }
  Node done(NodeKind kind, std::size_t start, std::size_t end) {
    pos_ = end;
    return Node{kind, start, end};
  }
  std::size_t find(char c, std::size_t from) const {
    if (from >= text_.size()) return std::string_view::npos;
    const void* hit = std::memchr(text_.data() + from, c, text_.size() - from);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text_.data()) : std::string_view::npos;
  }
  Node startTag(std::size_t start);
  Node markupDeclaration(std::size_t start);
  Node doctype(std::size_t start);

  std::string_view text_;
  std::size_t pos_;
  const char* errorFormat_ = "";
  const char* errorSubject_ = "";
  std::size_t errorOffset_ = 0;
};

Node NodeReader::next() {
  const std::size_t n = text_.size();
  const std::size_t start = pos_;
  if (start >= n) return Node{NodeKind::kEnd, n, n};
  if (text_[start] != '<') {
    const std::size_t lt = find('<', start);
    return done(NodeKind::kText, start, lt == std::string_view::npos ? n : lt);
  }
  if (start + 1 >= n) return unterminated("tag", start);
  const char c = text_[start + 1];
  if (c == '!') return markupDeclaration(start);
  if (c == '/') {
    const std::size_t gt = find('>', start + 2);
    if (gt == std::string_view::npos) return unterminated("Element end tag", start);
    return done(NodeKind::kEndTag, start, gt + 1);
  }
  if (c == '?') {
    const std::size_t close = start + 2 <= n ? text_.find("?>", start + 2) : std::string_view::npos;
    if (close == std::string_view::npos) return unterminated("Processing instruction", start);
    return done(NodeKind::kProcessingInstruction, start, close + 2);
  }
  // Names start with ":", "_", a letter, or any character above "`" (which
  // takes in every non-ASCII character).
  if (c == ':' || c == '_' || static_cast<unsigned char>(c) > '`' || (c >= 'A' && c <= 'Z')) return startTag(start);
  return incorrect("tag name character", start);
}

Node NodeReader::startTag(std::size_t start) {
  const std::size_t n = text_.size();
  std::size_t i = start + 1;
  while (i < n) {
    const char c = text_[i];
    if (c == '>') {
      const bool empty = text_[i - 1] == '/';
      return done(empty ? NodeKind::kEmptyTag : NodeKind::kStartTag, start, i + 1);
    }
    if (c == '"' || c == '\'') {
      const std::size_t close = find(c, i + 1);
      if (close == std::string_view::npos) break;
      i = close + 1;
      continue;
    }
    ++i;
  }
  return unterminated("Element tag", start);
}

Node NodeReader::markupDeclaration(std::size_t start) {
  const std::size_t n = text_.size();
  if (start + 2 >= n) return unterminated("tag", start);
  switch (text_[start + 2]) {
    case '-': {
      if (start + 3 >= n) return unterminated("Comment", start);
      if (text_[start + 3] != '-') return incorrect("comment tag", start);
      const std::size_t close = text_.find("-->", start + 4);
      if (close == std::string_view::npos) return unterminated("Comment", start);
      return done(NodeKind::kComment, start, close + 3);
    }
    case '[': {
      if (start + 3 >= n) return unterminated("tag", start);
      if (text_[start + 3] != 'C') return incorrect("tag", start);
      const std::size_t close = text_.find("]]>", start + 4);
      if (close == std::string_view::npos) return unterminated("CDATA Section", start);
      return done(NodeKind::kCData, start, close + 3);
    }
    case 'D':
      return doctype(start);
    case 'E':
    case 'A':
    case 'N': {
      const std::size_t gt = find('>', start + 3);
      if (gt == std::string_view::npos) return unterminated("tag", start);
      return done(NodeKind::kDeclaration, start, gt + 1);
    }
    default:
      return incorrect("! tag", start);
  }
}

Node NodeReader::doctype(std::size_t start) {
  const std::size_t n = text_.size();
  std::size_t i = start + 3;
  while (i < n) {
    const char c = text_[i];
    if (c == '>') return done(NodeKind::kDoctype, start, i + 1);
    if (c == '<' && i + 2 < n && text_[i + 1] == '!') {
      const char kind = text_[i + 2];
      if (kind == 'E' || kind == 'A' || kind == 'N') {
        const std::size_t gt = find('>', i + 3);
        if (gt == std::string_view::npos) break;
        i = gt + 1;
        continue;
      }
      if (kind == '-' && i + 3 < n && text_[i + 3] == '-') {
        const std::size_t close = text_.find("-->", i + 4);
        if (close == std::string_view::npos) break;
        i = close + 3;
        continue;
      }
    }
    ++i;
  }
  return unterminated("Doctype", start);
}

std::string Format(const char* format, std::initializer_list<std::string> parts) {
  // The messages use %s and %d only; both are filled from ready strings.
  std::string out;
  auto part = parts.begin();
  for (const char* p = format; *p; ++p) {
    if (p[0] == '%' && (p[1] == 's' || p[1] == 'd') && part != parts.end()) {
      out += *part++;
      ++p;
    } else {
      out.push_back(*p);
    }
  }
  return out;
}

}  // namespace

// ---------------------------------------------------------------------------

// Tag lengths get full 32-bit fields: a start tag with a long attribute value
// or an end tag padded with blanks must not be cut to fit a narrower field.
struct CXmlDoc::ElementRecord {
  uint32_t start;           // byte offset of the "<" of the start tag
  uint32_t length;          // bytes from that "<" to the ">" of the end tag
  uint32_t startTagLength;  // bytes of the start tag
  uint32_t endTagLength;    // bytes of the end tag; 0 for an empty-element tag
  uint32_t level;           // nesting level; the root element is 0
  ElementIndex parent;
  ElementIndex firstChild;
  ElementIndex next;  // next sibling, 0 for the last
  ElementIndex prev;  // previous sibling; for a first child, the last sibling
};

CXmlDoc::CXmlDoc() { setText({}); }
CXmlDoc::~CXmlDoc() = default;
CXmlDoc::CXmlDoc(CXmlDoc&&) noexcept = default;
CXmlDoc& CXmlDoc::operator=(CXmlDoc&&) noexcept = default;

CXmlDoc::ElementRecord& CXmlDoc::record(ElementIndex index) {
  return pages_[index >> kPageBits][index & kSlotMask];
}

const CXmlDoc::ElementRecord& CXmlDoc::record(ElementIndex index) const {
  return pages_[index >> kPageBits][index & kSlotMask];
}

void CXmlDoc::resetTable(std::size_t textLength) {
  // One record per 64 bytes of text, plus a few, covers ordinary documents
  // without growing; the virtual document node takes slot 0. Records are
  // written when taken, so pages are not cleared here, and pages that are
  // reserved but never reached are never touched.
  const std::size_t wanted = textLength / 64 + 8;
  const std::size_t firstPage = std::min(wanted, kPageSize);
  const std::size_t pages = (wanted + kPageSize - 1) / kPageSize;
  if (pages_.empty() || firstPageCapacity_ != firstPage) {
    pages_.clear();
    pages_.push_back(std::make_unique_for_overwrite<ElementRecord[]>(firstPage));
    firstPageCapacity_ = firstPage;
  }
  if (pages_.size() > pages) pages_.resize(pages);
  while (pages_.size() < pages) pages_.push_back(std::make_unique_for_overwrite<ElementRecord[]>(kPageSize));
  record(0) = ElementRecord{};
  record(0).endTagLength = 1;
  freePos_ = 1;
}

ElementIndex CXmlDoc::newRecord() {
  const ElementIndex index = freePos_;
  const std::size_t page = index >> kPageBits;
  const std::size_t slot = index & kSlotMask;
  if (page == 0 && slot >= firstPageCapacity_) {
    // Grow the first page by half (up to a whole page), keeping its records.
    const std::size_t grown = std::min(kPageSize, std::max(firstPageCapacity_ + firstPageCapacity_ / 2, slot + 1));
    auto bigger = std::make_unique_for_overwrite<ElementRecord[]>(grown);
    std::copy(pages_[0].get(), pages_[0].get() + firstPageCapacity_, bigger.get());
    pages_[0] = std::move(bigger);
    firstPageCapacity_ = grown;
  } else if (page >= pages_.size()) {
    pages_.push_back(std::make_unique_for_overwrite<ElementRecord[]>(kPageSize));
  }
  ++freePos_;
  record(index) = ElementRecord{};
  return index;
}

bool CXmlDoc::setText(std::string_view text) {
  fileName_.clear();
  text_.assign(text.data(), text.size());
  result_.clear();
  return parse();
}

bool CXmlDoc::parse() {
  std::string previous = std::move(result_);
  result_.clear();
  parentPos_ = currentPos_ = childPos_ = 0;
  nodeType_ = 0;

  std::string message;
  bool ok = false;
  if (text_.empty()) {
    resetTable(0);
    message = "Empty document";
  } else if (text_.size() > kMaxDocumentBytes) {
    resetTable(0);
    message = "Document too large";
  } else {
    resetTable(text_.size());
    ok = parseElements(message);
    if (ok) {
      record(0).length = static_cast<uint32_t>(text_.size());
    } else {
      record(0) = ElementRecord{};
      record(0).endTagLength = 1;
      freePos_ = 1;
    }
  }

  parentPos_ = currentPos_ = childPos_ = 0;
  nodeType_ = 0;
  if (previous.empty()) {
    result_ = std::move(message);
  } else {
    result_ = std::move(previous);
    if (!message.empty()) result_.append(", ").append(message);
  }
  return ok;
}

bool CXmlDoc::parseElements(std::string& message) {
  const std::string_view text = text_;
  const auto offset16 = [&](std::size_t byteOffset) {
    return std::to_string(Utf16Length(text.substr(0, byteOffset)));
  };

  std::vector<ElementIndex> open;  // the open elements, innermost last
  ElementIndex parent = 0;
  bool rootSeen = false;
  NodeReader reader(text);
  for (;;) {
    const Node node = reader.next();
    switch (node.kind) {
      case NodeKind::kEnd:
        if (!open.empty()) {
          const ElementRecord& innermost = record(open.back());
          message = Format("Element '%s' at offset %d not ended",
                           {std::string(NameAt(text, innermost.start + 1, text.size())), offset16(innermost.start)});
          return false;
        }
        if (!rootSeen) {
          message = "Root element not found";
          return false;
        }
        return true;
      case NodeKind::kError:
        message = Format(reader.errorFormat(), {reader.errorSubject(), offset16(reader.errorOffset())});
        return false;
      case NodeKind::kDeclaration:
        message.clear();
        return false;
      case NodeKind::kStartTag:
      case NodeKind::kEmptyTag: {
        if (rootSeen && open.empty()) {
          message = Format("Element '%s' at offset %d is sibling to root",
                           {std::string(NameAt(text, node.start + 1, node.end)), offset16(node.start)});
          return false;
        }
        rootSeen = true;
        const ElementIndex index = newRecord();
        ElementRecord& parentRecord = record(parent);
        ElementRecord& element = record(index);
        if (parentRecord.firstChild == 0) {
          parentRecord.firstChild = index;
          element.prev = index;
        } else {
          ElementRecord& first = record(parentRecord.firstChild);
          record(first.prev).next = index;
          element.prev = first.prev;
          first.prev = index;
        }
        element.parent = parent;
        element.level = static_cast<uint32_t>(open.size());
        element.start = static_cast<uint32_t>(node.start);
        element.startTagLength = static_cast<uint32_t>(node.end - node.start);
        if (node.kind == NodeKind::kEmptyTag) {
          element.length = element.startTagLength;
        } else {
          open.push_back(index);
          parent = index;
        }
        break;
      }
      case NodeKind::kEndTag: {
        const std::string_view endName = NameAt(text, node.start + 2, node.end);
        if (open.empty()) {
          message = Format("No start tag for end tag '%s' at offset %d", {std::string(endName), offset16(node.start)});
          return false;
        }
        ElementRecord& element = record(open.back());
        element.length = static_cast<uint32_t>(node.end - element.start);
        element.endTagLength = static_cast<uint32_t>(node.end - node.start);
        const std::string_view startName = NameAt(text, element.start + 1, element.start + element.startTagLength);
        if (!NameMatches(endName, startName)) {
          message = Format("End tag '%s' at offset %d does not match start tag '%s' at offset %d",
                           {std::string(endName), offset16(node.start + 1), std::string(startName),
                            offset16(element.start)});
          return false;
        }
        open.pop_back();
        parent = element.parent;
        break;
      }
      default:
        break;
    }
  }
}

bool CXmlDoc::loadFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    result_ = std::strerror(errno);
    return false;
  }
  std::string bytes;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    bytes.reserve(static_cast<std::size_t>(info.st_size));
  }
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      result_ = std::strerror(error);  // the document stays as it was
      return false;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);

  const std::size_t wideChars = Utf16Length(bytes);
  result_ = std::to_string(bytes.size()) + " bytes to " + std::to_string(wideChars) + " wide chars";
  // Invalid sequences become U+FFFD, so the text held is always UTF-8.
  text_ = IsAscii(bytes) ? std::move(bytes) : Utf16ToUtf8(Utf8ToUtf16(bytes));
  fileName_.clear();
  if (!parse()) return false;
  fileName_ = path;
  return true;
}

bool CXmlDoc::saveFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    result_ = std::strerror(errno);
    return false;
  }
  const bool ascii = IsAscii(text_);
  const std::string converted = ascii ? std::string() : Utf16ToUtf8(Utf8ToUtf16(text_));
  const std::string& bytes = ascii ? text_ : converted;
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : EIO;
      ::close(fd);
      result_ = std::strerror(error);
      return false;
    }
    written += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) {
    result_ = std::strerror(errno);
    return false;
  }
  result_ = std::to_string(Utf16Length(text_)) + " wide chars to " + std::to_string(bytes.size()) + " bytes";
  return true;
}

bool CXmlDoc::findElement(std::string_view name) {
  ElementIndex candidate = currentPos_ != 0 ? record(currentPos_).next : record(parentPos_).firstChild;
  for (; candidate != 0; candidate = record(candidate).next) {
    const ElementRecord& element = record(candidate);
    if (name.empty() ||
        NameMatches(NameAt(text_, element.start + 1, element.start + element.startTagLength), name)) {
      currentPos_ = candidate;
      parentPos_ = element.parent;
      childPos_ = 0;
      nodeType_ = 1;
      return true;
    }
  }
  return false;
}

bool CXmlDoc::enterElement() {
  if (currentPos_ == 0 || nodeType_ != 1) return false;
  parentPos_ = currentPos_;
  currentPos_ = childPos_;
  childPos_ = 0;
  nodeType_ = currentPos_ != 0 ? 1 : 0;
  return true;
}

bool CXmlDoc::leaveElement() {
  if (parentPos_ == 0) return false;
  childPos_ = currentPos_;
  currentPos_ = parentPos_;
  parentPos_ = record(parentPos_).parent;
  nodeType_ = 1;
  return true;
}

std::string CXmlDoc::tagName() const {
  const ElementIndex index = currentElement();
  if (index == 0) return {};
  const ElementRecord& element = record(index);
  return std::string(NameAt(text_, element.start + 1, element.start + element.startTagLength));
}

bool CXmlDoc::hasChildElements() const {
  const ElementIndex index = currentElement();
  return index != 0 && record(index).firstChild != 0;
}

std::string CXmlDoc::attribute(std::string_view name) const {
  const ElementIndex index = currentElement();
  if (index == 0) return {};
  const ElementRecord& element = record(index);
  const std::string_view tag(text_.data() + element.start, element.startTagLength);

  // Tokens: a quoted value, a single delimiter character, or a run of other
  // characters. The wanted attribute is the first run after the tag name that
  // matches; its value is the token two further on (name, "=", value) and
  // counts only when quoted.
  const auto isDelimiter = [](char c) {
    return c == '<' || c == '>' || c == '=' || c == '\\' || c == '/' || c == '?' || c == '!';
  };
  std::size_t tokenNumber = 0;
  std::size_t markedAt = 0;
  bool marked = false;
  std::size_t i = 1;
  while (i < tag.size()) {
    const char c = tag[i];
    if (IsSpace(c)) {
      ++i;
      continue;
    }
    bool quoted = false;
    bool run = false;
    std::string_view token;
    if (c == '"' || c == '\'') {
      const std::size_t close = tag.find(c, i + 1);
      const std::size_t end = close == std::string_view::npos ? tag.size() : close;
      token = tag.substr(i + 1, end - i - 1);
      quoted = true;
      i = end + 1;
    } else if (isDelimiter(c)) {
      if (c == '/' || c == '>' || c == '?') return {};
      token = tag.substr(i, 1);
      ++i;
    } else {
      std::size_t end = i;
      while (end < tag.size() && !IsSpace(tag[end]) && !isDelimiter(tag[end])) ++end;
      token = tag.substr(i, end - i);
      run = true;
      i = end;
    }
    ++tokenNumber;
    if (tokenNumber == 1) continue;  // the tag name
    if (marked) {
      if (tokenNumber == markedAt + 2) return quoted ? XmlDecode(token) : std::string();
    } else if (run && NameMatches(token, name)) {
      marked = true;
      markedAt = tokenNumber;
    }
  }
  return {};
}

std::string CXmlDoc::elementText() const {
  const ElementIndex index = currentElement();
  if (index == 0) return {};
  const ElementRecord& element = record(index);
  if (element.firstChild != 0 || element.endTagLength == 0) return {};
  const std::string_view content(text_.data() + element.start + element.startTagLength,
                                 element.length - element.startTagLength - element.endTagLength);
  if (content.find('<') == std::string_view::npos) return XmlDecode(content);

  std::string out;
  NodeReader reader(content);
  for (;;) {
    const Node node = reader.next();
    if (node.kind == NodeKind::kEnd || node.kind == NodeKind::kError) break;
    const std::string_view piece = content.substr(node.start, node.end - node.start);
    if (node.kind == NodeKind::kText) {
      if (!IsAllSpace(piece)) out += XmlDecode(piece);
    } else if (node.kind == NodeKind::kCData) {
      // "<![CDATA[" ... "]]>"; the keyword itself is not checked, so never
      // start the inside beyond the closing "]]>".
      const std::size_t innerEnd = piece.size() - 3;
      const std::size_t innerStart = std::min<std::size_t>(9, innerEnd);
      out.append(piece.substr(innerStart, innerEnd - innerStart));
    }
  }
  return out;
}

std::string CXmlDoc::elementMarkup() const { return elementMarkup(currentElement()); }

std::string CXmlDoc::elementMarkup(ElementIndex index) const {
  if (index == 0 || index >= freePos_) return {};
  const ElementRecord& element = record(index);
  std::size_t end = element.start + element.length;
  std::size_t after = end;
  while (after < text_.size() && IsSpace(text_[after])) ++after;
  if (after == text_.size() || text_[after] == '<') end = after;
  return text_.substr(element.start, end - element.start);
}

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '\'': out += "&apos;"; break;
      case '"': out += "&quot;"; break;
      default:
        // Control characters (line breaks and TABs among them, which a file
        // name may hold) as numeric references: raw, an XML reader would
        // fold them into spaces or refuse them.
        if ((c >= 0x01 && c < 0x20) || c == 0x7F) {
          out += "&#" + std::to_string(static_cast<int>(c)) + ";";
        } else {
          out.push_back(c);
        }
    }
  }
  return out;
}

std::string XmlDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t amp = text.find('&', i);
    if (amp == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, amp - i));
    i = amp;
    const std::string_view rest = text.substr(amp);
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"&lt;", '<'}, {"&amp;", '&'}, {"&gt;", '>'}, {"&apos;", '\''}, {"&quot;", '"'}};
    bool replaced = false;
    for (const auto& [entity, character] : kEntities) {
      if (rest.starts_with(entity)) {
        out.push_back(character);
        i += entity.size();
        replaced = true;
        break;
      }
    }
    if (replaced) continue;
    char16_t code;
    std::size_t end;
    if (ParseNumericReference(text, i, code, end)) {
      char32_t cp = code;
      if (code >= 0xD800 && code <= 0xDBFF) {
        // A surrogate pair written as two references makes one character.
        char16_t low;
        std::size_t lowEnd;
        if (ParseNumericReference(text, end, low, lowEnd) && low >= 0xDC00 && low <= 0xDFFF) {
          cp = 0x10000 + ((static_cast<char32_t>(code) - 0xD800) << 10) + (low - 0xDC00);
          end = lowEnd;
        } else {
          cp = 0xFFFD;
        }
      } else if (code >= 0xDC00 && code <= 0xDFFF) {
        cp = 0xFFFD;
      }
      AppendUtf8(out, cp);
      i = end;
      continue;
    }
    out.push_back('&');
    ++i;
  }
  return out;
}

}  // namespace vornida
