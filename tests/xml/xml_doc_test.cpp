#include "xml/xml_doc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vornida {
namespace {

// Every element name in document order, walking the whole tree with the cursor.
std::vector<std::string> WalkNames(CXmlDoc& doc) {
  std::vector<std::string> names;
  int depth = 0;
  for (;;) {
    if (doc.findElement()) {
      names.push_back(doc.tagName());
      doc.enterElement();
      ++depth;
    } else if (depth > 0) {
      doc.leaveElement();
      --depth;
    } else {
      return names;
    }
  }
}

TEST(XmlDocStructure, RootWithEmptyChild) {
  CXmlDoc doc;
  ASSERT_TRUE(doc.setText("<a><b/></a>"));
  EXPECT_EQ(doc.resultText(), "");
  EXPECT_EQ(doc.elementCount(), 2u);
  ASSERT_TRUE(doc.findElement());
  EXPECT_EQ(doc.tagName(), "a");
  EXPECT_TRUE(doc.hasChildElements());
  EXPECT_EQ(doc.elementText(), "");  // has a child element
  ASSERT_TRUE(doc.enterElement());
  ASSERT_TRUE(doc.findElement());
  EXPECT_EQ(doc.tagName(), "b");
  EXPECT_FALSE(doc.hasChildElements());
  EXPECT_EQ(doc.elementMarkup(), "<b/>");
  EXPECT_EQ(doc.elementText(), "");  // empty-element tag
  EXPECT_FALSE(doc.findElement());
}

TEST(XmlDocStructure, NamesMatchIgnoringAsciiCaseAndTextAroundRootIsAllowed) {
  CXmlDoc doc;
  EXPECT_TRUE(doc.setText("<a></A>"));
  EXPECT_TRUE(doc.setText("<?xml version='1.0'?>\n<!-- c --><!DOCTYPE a [<!ELEMENT a ANY><!-- > -->]>"
                          "stray text<a/>  trailing <!-- x --> text <?pi?>"));
  ASSERT_TRUE(doc.findElement("A"));
  EXPECT_EQ(doc.tagName(), "a");
}

TEST(XmlDocStructure, WholeTreeWalksInDocumentOrder) {
  CXmlDoc doc;
  ASSERT_TRUE(doc.setText("<r><a><a1/><a2><x/></a2></a><b/><c>t</c></r>"));
  EXPECT_EQ(WalkNames(doc), (std::vector<std::string>{"r", "a", "a1", "a2", "x", "b", "c"}));
}

TEST(XmlDocStructure, ManyElementsSpillOverSeveralPages) {
  // Short elements outrun the up-front estimate of one record per 64 bytes,
  // so the table grows, and 200000 of them need four pages.
  std::string text = "<list>";
  for (int i = 0; i < 200000; ++i) text += "<i n='" + std::to_string(i) + "'/>";
  text += "</list>";
  CXmlDoc doc;
  ASSERT_TRUE(doc.setText(text)) << doc.resultText();
  EXPECT_EQ(doc.elementCount(), 200001u);
  ASSERT_TRUE(doc.findElement("list"));
  ASSERT_TRUE(doc.enterElement());
  int seen = 0;
  bool inOrder = true;
  while (doc.findElement("i")) {
    inOrder = inOrder && doc.attribute("n") == std::to_string(seen);
    ++seen;
  }
  EXPECT_EQ(seen, 200000);
  EXPECT_TRUE(inOrder);
}

TEST(XmlDocStructure, DeepNestingParsesAndUnwinds) {
  constexpr int kDepth = 100000;
  std::string text;
  for (int i = 0; i < kDepth; ++i) text += "<d>";
  text += "core";
  for (int i = 0; i < kDepth; ++i) text += "</d>";
  CXmlDoc doc;
  ASSERT_TRUE(doc.setText(text));
  int depth = 0;
  while (doc.findElement("d")) {
    ++depth;
    if (!doc.hasChildElements()) break;
    doc.enterElement();
  }
  EXPECT_EQ(depth, kDepth);
  EXPECT_EQ(doc.elementText(), "core");
  int left = 0;
  while (doc.leaveElement()) ++left;
  EXPECT_EQ(left, kDepth - 1);
  EXPECT_EQ(doc.elementMarkup().size(), text.size());
}

TEST(XmlDocStructure, LongTagsAreIndexedWhole) {
  // Tags longer than a compact record field could hold still index correctly.
  const std::string value(5 * 1024 * 1024, 'v');
  const std::string endTag = "</a" + std::string(3000, ' ') + ">";
  const std::string text = "<a x='" + value + "'><b/>" + endTag;
  CXmlDoc doc;
  ASSERT_TRUE(doc.setText(text)) << doc.resultText();
  ASSERT_TRUE(doc.findElement("a"));
  EXPECT_EQ(doc.attribute("x").size(), value.size());
  EXPECT_EQ(doc.elementMarkup(), text);
  ASSERT_TRUE(doc.enterElement());
  ASSERT_TRUE(doc.findElement());
  EXPECT_EQ(doc.tagName(), "b");
}

struct ErrorCase {
  const char* document;
  const char* message;
};

TEST(XmlDocErrors, EveryMessageWithItsOffsets) {
  const ErrorCase cases[] = {
      {"", "Empty document"},
      {"just text", "Root element not found"},
      {"  <!-- only a comment -->  ", "Root element not found"},
      {"<ab></a>", "End tag 'a' at offset 5 does not match start tag 'ab' at offset 0"},
      {"<a/><b/>", "Element 'b' at offset 4 is sibling to root"},
      {"</a>", "No start tag for end tag 'a' at offset 0"},
      {"<a>", "Element 'a' at offset 0 not ended"},
      {"<r><a><b></b>", "Element 'a' at offset 3 not ended"},
      {"<a", "Element tag at offset 0 unterminated"},
      {"<a x='>'", "Element tag at offset 0 unterminated"},
      {"<a></a", "Element end tag at offset 3 unterminated"},
      {"<a><![CDATA[x]]</a>", "CDATA Section at offset 3 unterminated"},
      {"<a><?pi x</a>", "Processing instruction at offset 3 unterminated"},
      {"<a><!-- x -></a>", "Comment at offset 3 unterminated"},
      {"<!DOCTYPE a [<!ELEMENT a ANY>", "Doctype at offset 0 unterminated"},
      {"<!DOCTYPE a [<!ELEMENT a ANY", "Doctype at offset 0 unterminated"},
      {"<!DOCTYPE a [<!-- > ", "Doctype at offset 0 unterminated"},
      {"<a>x<", "tag at offset 4 unterminated"},
      {"<a><!", "tag at offset 3 unterminated"},
      {"<a><1/></a>", "Incorrect tag name character at offset 3"},
      {"<a>< b/></a>", "Incorrect tag name character at offset 3"},
      {"<a><!x></a>", "Incorrect ! tag at offset 3"},
      {"<a><!-x--></a>", "Incorrect comment tag at offset 3"},
      {"<a><![X[y]]></a>", "Incorrect tag at offset 3"},
      {"<a/>x<!ELEMENT b ANY>", ""},
  };
  for (const auto& c : cases) {
    CXmlDoc doc;
    EXPECT_FALSE(doc.setText(c.document)) << c.document;
    EXPECT_EQ(doc.resultText(), c.message) << c.document;
    // A failed parse leaves nothing to navigate but keeps the text.
    EXPECT_FALSE(doc.findElement()) << c.document;
    EXPECT_EQ(doc.elementCount(), 0u);
    EXPECT_EQ(doc.text(), c.document);
  }
}

TEST(XmlDocErrors, OffsetsCountUtf16Units) {
  CXmlDoc doc;
  // "é" is two bytes but one unit; the emoji four bytes but two units.
  EXPECT_FALSE(doc.setText("<a>é😀</b>"));
  EXPECT_EQ(doc.resultText(), "End tag 'b' at offset 7 does not match start tag 'a' at offset 0");
  EXPECT_FALSE(doc.setText("<é/><ü/>"));
  EXPECT_EQ(doc.resultText(), "Element 'ü' at offset 4 is sibling to root");
}

TEST(XmlDocErrors, FailedParseForgetsThePreviousDocument) {
  CXmlDoc doc;
  ASSERT_TRUE(doc.setText("<a x='1'><b/></a>"));
  ASSERT_TRUE(doc.findElement("a"));
  EXPECT_FALSE(doc.setText("<a>"));
  EXPECT_EQ(doc.tagName(), "");
  EXPECT_EQ(doc.attribute("x"), "");
  EXPECT_FALSE(doc.enterElement());
  EXPECT_FALSE(doc.findElement());
}

TEST(XmlDocNavigation, FindEnterLeaveAsACursor) {
  CXmlDoc doc;
  ASSERT_TRUE(doc.setText("<r><p id='1'><q/></p><s/><p id='2'/><p id='3'><q id='q3'/></p></r>"));
  EXPECT_FALSE(doc.enterElement());  // nothing current yet
  EXPECT_FALSE(doc.leaveElement());  // already at the top
  EXPECT_FALSE(doc.findElement("p"));  // only the root is at the top level
  ASSERT_TRUE(doc.findElement("r"));
  EXPECT_FALSE(doc.findElement());  // the root has no sibling
  EXPECT_EQ(doc.tagName(), "r");    // and the failed search moved nothing
  ASSERT_TRUE(doc.enterElement());
  EXPECT_EQ(doc.currentElement(), 0u);
  EXPECT_EQ(doc.tagName(), "");
  EXPECT_FALSE(doc.enterElement());

  ASSERT_TRUE(doc.findElement("P"));
  EXPECT_EQ(doc.attribute("id"), "1");
  ASSERT_TRUE(doc.findElement("p"));  // skips s
  EXPECT_EQ(doc.attribute("id"), "2");
  ASSERT_TRUE(doc.findElement("p"));
  EXPECT_EQ(doc.attribute("id"), "3");
  ASSERT_TRUE(doc.enterElement());
  ASSERT_TRUE(doc.findElement("q"));
  EXPECT_EQ(doc.attribute("id"), "q3");
  ASSERT_TRUE(doc.leaveElement());
  EXPECT_EQ(doc.attribute("id"), "3");  // the left element is current again
  EXPECT_FALSE(doc.findElement("p"));   // and the search goes on after it
  // Entering again resumes after the child that was current when leaving.
  ASSERT_TRUE(doc.enterElement());
  EXPECT_EQ(doc.attribute("id"), "q3");
  EXPECT_FALSE(doc.findElement());
  ASSERT_TRUE(doc.leaveElement());
  ASSERT_TRUE(doc.leaveElement());
  EXPECT_EQ(doc.tagName(), "r");
  EXPECT_FALSE(doc.leaveElement());
}

TEST(XmlDocNavigation, NameMatchingRule) {
  CXmlDoc doc;
  ASSERT_TRUE(doc.setText("<r><item/><Items/><it/></r>"));
  const auto findFirst = [&](const char* query) {
    doc.setText(doc.text());
    doc.findElement();
    doc.enterElement();
    return doc.findElement(query) ? doc.tagName() : std::string("(none)");
  };
  EXPECT_EQ(findFirst("ITEM"), "item");
  EXPECT_EQ(findFirst("items"), "Items");
  EXPECT_EQ(findFirst("item x"), "item");  // the query may go on after a space,
  EXPECT_EQ(findFirst("item=1"), "item");  // "=",
  EXPECT_EQ(findFirst("item/"), "item");   // "/"
  EXPECT_EQ(findFirst("item[2]"), "item");  // or "["
  EXPECT_EQ(findFirst("itemz"), "(none)");  // but not with another character
  EXPECT_EQ(findFirst("ite"), "(none)");    // and must not be shorter
  EXPECT_EQ(findFirst("it"), "it");
  EXPECT_EQ(findFirst(""), "item");
}

TEST(XmlDocAttributes, QuotedValuesAreFoundAndDecoded) {
  CXmlDoc doc;
  ASSERT_TRUE(doc.setText(R"(<a x='1 > 2' y="&lt;b&gt;" Z = 'sp' q="it's" e="" href="a/b?c" n=3 m='&#65;&amp;lt;'/>)"));
  ASSERT_TRUE(doc.findElement());
  EXPECT_EQ(doc.attribute("x"), "1 > 2");
  EXPECT_EQ(doc.attribute("y"), "<b>");
  EXPECT_EQ(doc.attribute("z"), "sp");  // names ignore ASCII case; blanks around "=" are fine
  EXPECT_EQ(doc.attribute("q"), "it's");
  EXPECT_EQ(doc.attribute("e"), "");
  EXPECT_EQ(doc.attribute("href"), "a/b?c");
  EXPECT_EQ(doc.attribute("n"), "");  // not in quotes
  EXPECT_EQ(doc.attribute("m"), "A&lt;");
  EXPECT_EQ(doc.attribute("missing"), "");
  EXPECT_EQ(doc.attribute("a"), "");  // the tag name is not an attribute
  EXPECT_EQ(doc.attribute(""), "");
}

TEST(XmlDocAttributes, ValuesNeverLookLikeNames) {
  CXmlDoc doc;
  ASSERT_TRUE(doc.setText(R"(<a t="x='no'" x="yes"><b/></a>)"));
  ASSERT_TRUE(doc.findElement());
  EXPECT_EQ(doc.attribute("x"), "yes");
  ASSERT_TRUE(doc.setText(R"(<a first="1" x/>)"));
  ASSERT_TRUE(doc.findElement());
  EXPECT_EQ(doc.attribute("x"), "");  // the "/" ends the tag before any value
  ASSERT_TRUE(doc.setText(R"(<a x="1" y="2"></a>)"));
  EXPECT_EQ(doc.attribute("x"), "");  // no current element
}

TEST(XmlDocText, EntitiesAndCharacterReferences) {
  const std::pair<const char*, const char*> cases[] = {
      {"<a>&#65;&#x42;</a>", "AB"},
      {"<a>&#0;&foo;&#x;&#;&</a>", "&#0;&foo;&#x;&#;&"},
      {"<a>&amp;lt;</a>", "&lt;"},  // one pass only
      {"<a>&lt;&gt;&amp;&apos;&quot;</a>", "<>&'\""},
      {"<a>&LT;&Amp;</a>", "&LT;&Amp;"},  // entities are case-sensitive
      {"<a>&#233;&#xe9;&#xE9;</a>", "ééé"},
      {"<a>&#65601;</a>", "A"},               // codes are taken modulo 65536
      {"<a>&#x1F600;</a>", "\xEF\x98\x80"},   // ... as 16-bit units
      {"<a>&#xD83D;&#xDE00;</a>", "😀"},      // a surrogate pair makes one character
      {"<a>&#xD83D;x</a>", "\xEF\xBF\xBDx"},  // a lone surrogate cannot be kept
      {"<a>&#1234567;&#00065;</a>", "&#1234567;A"},  // ";" must come within 7 characters
      {"<a>&#X41;</a>", "&#X41;"},
      {"<a>  spaced  </a>", "  spaced  "},
      {"<a></a>", ""},
  };
  CXmlDoc doc;
  for (const auto& [document, text] : cases) {
    ASSERT_TRUE(doc.setText(document)) << document;
    ASSERT_TRUE(doc.findElement()) << document;
    EXPECT_EQ(doc.elementText(), text) << document;
  }
}

TEST(XmlDocText, MixedContentKeepsTextAndCdataOnly) {
  CXmlDoc doc;
  ASSERT_TRUE(doc.setText("<a>\n  <!-- note -->\n  one &amp; <![CDATA[<two> &amp;]]><?pi?> three\n</a>"));
  ASSERT_TRUE(doc.findElement());
  EXPECT_EQ(doc.elementText(), "\n  one & <two> &amp; three\n");
  ASSERT_TRUE(doc.setText("<a>  <!-- c -->  </a>"));
  ASSERT_TRUE(doc.findElement());
  EXPECT_EQ(doc.elementText(), "");
  ASSERT_TRUE(doc.setText("<a><![CDATA[]]></a>"));
  ASSERT_TRUE(doc.findElement());
  EXPECT_EQ(doc.elementText(), "");
  ASSERT_TRUE(doc.setText("<a><![C]]></a>"));  // the keyword is not checked
  ASSERT_TRUE(doc.findElement());
  EXPECT_EQ(doc.elementText(), "");
  ASSERT_TRUE(doc.setText("<a>x<b/>y</a>"));
  ASSERT_TRUE(doc.findElement());
  EXPECT_EQ(doc.elementText(), "");
}

TEST(XmlDocMarkup, TrailingWhiteSpaceOnlyBeforeATagOrTheEnd) {
  CXmlDoc doc;
  ASSERT_TRUE(doc.setText("<r><p id='1'><s>x</s></p>\n  <p/> tail</r>\n"));
  ASSERT_TRUE(doc.findElement());
  EXPECT_EQ(doc.elementMarkup(), "<r><p id='1'><s>x</s></p>\n  <p/> tail</r>\n");
  ASSERT_TRUE(doc.enterElement());
  ASSERT_TRUE(doc.findElement());
  EXPECT_EQ(doc.elementMarkup(), "<p id='1'><s>x</s></p>\n  ");
  const ElementIndex first = doc.currentElement();
  ASSERT_TRUE(doc.findElement());
  EXPECT_EQ(doc.elementMarkup(), "<p/>");  // text follows the blank
  EXPECT_EQ(doc.elementMarkup(first), "<p id='1'><s>x</s></p>\n  ");
  EXPECT_EQ(doc.elementMarkup(0), "");
  EXPECT_EQ(doc.elementMarkup(99), "");
}

TEST(XmlEscapeTest, TheFiveCharactersAndControlCharacters) {
  EXPECT_EQ(XmlEscape("a&b<c>d'e\"f é"), "a&amp;b&lt;c&gt;d&apos;e&quot;f é");
  EXPECT_EQ(XmlEscape("&amp;"), "&amp;amp;");
  EXPECT_EQ(XmlEscape("a\nb\tc\rd\x01\x1f\x7f~"), "a&#10;b&#9;c&#13;d&#1;&#31;&#127;~");
  // Every control character a file name may hold survives an attribute.
  std::string controls;
  for (int c = 1; c < 32; ++c) controls += static_cast<char>(c);
  controls += '\x7f';
  CXmlDoc names;
  ASSERT_TRUE(names.setText("<p src='" + XmlEscape(controls) + "'/>"));
  ASSERT_TRUE(names.findElement());
  EXPECT_EQ(names.attribute("src"), controls);
  // What the escaper writes reads back unchanged.
  const std::string awkward = "x < y && 'q' > \"r\" &#65;";
  CXmlDoc doc;
  ASSERT_TRUE(doc.setText("<t v=\"" + XmlEscape(awkward) + "\">" + XmlEscape(awkward) + "</t>"));
  ASSERT_TRUE(doc.findElement());
  EXPECT_EQ(doc.attribute("v"), awkward);
  EXPECT_EQ(doc.elementText(), awkward);
}

}  // namespace
}  // namespace vornida
