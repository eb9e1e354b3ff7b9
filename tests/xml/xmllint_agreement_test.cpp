// Compares which small documents the class accepts with what a full XML
// parser (xmllint) accepts. The class is lenient on purpose: it checks the
// nesting of elements and the shape of markup, not the finer rules of XML.
// Every disagreement must be listed below with its reason; an unlisted one,
// or a listed one that no longer happens, fails the test.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "xml/xml_doc.h"

namespace vornida {
namespace {

namespace fs = std::filesystem;

struct Sample {
  const char* id;
  std::string bytes;
};

std::vector<Sample> Corpus() {
  using namespace std::string_literals;
  return {
      // Both accept.
      {"empty-root", "<a/>"},
      {"nested", "<a><b><c/></b><d>t</d></a>"},
      {"declaration", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a/>\n"},
      {"attributes", "<a x='1' y=\"2\" z = '3'/>"},
      {"gt-in-attribute", "<a x='1 > 2'/>"},
      {"entities", "<a>&lt;&gt;&amp;&apos;&quot;&#65;&#x42;</a>"},
      {"cdata", "<a><![CDATA[<not> &a tag]]></a>"},
      {"comment", "<a><!-- note --></a>"},
      {"empty-comment", "<a><!----></a>"},
      {"pi", "<a><?target data?></a>"},
      {"comments-around-root", "<!-- a --><a/><!-- b -->"},
      {"doctype", "<!DOCTYPE a><a/>"},
      {"doctype-subset", "<!DOCTYPE a [<!ELEMENT a (#PCDATA)><!ATTLIST a x CDATA #IMPLIED>]><a x='1'>t</a>"},
      {"doctype-comment", "<!DOCTYPE a [<!-- > -->]><a/>"},
      {"doctype-entity", "<!DOCTYPE a [<!ENTITY e \"v\">]><a>&e;</a>"},
      {"non-ascii-names", "<épée ü='ö'>ß</épée>"},
      {"names-with-punctuation", "<a.b-c_d:e/>"},
      {"underscore-and-colon", "<_a><:b/></_a>"},
      {"undeclared-prefix", "<x:a/>"},
      {"whitespace-end-tag", "<a></a  >"},
      {"bom", "\xEF\xBB\xBF<a/>"},
      {"trailing-whitespace", "<a/>\n\n  "},
      {"latin1-declared", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>caf\xE9</a>"},
      {"utf16-with-bom", "\xFF\xFE<\0a\0/\0>\0"s},
      // Both refuse.
      {"empty", ""},
      {"text-only", "hello"},
      {"unclosed", "<a>"},
      {"mismatch", "<ab></a>"},
      {"two-roots", "<a/><b/>"},
      {"end-tag-only", "</a>"},
      {"cut-tag", "<a"},
      {"cut-end-tag", "<a></a"},
      {"digit-name", "<1a/>"},
      {"space-name", "< a/>"},
      {"bang-lower", "<a><!x></a>"},
      {"bad-comment-open", "<a><!-x--></a>"},
      {"bad-cdata-open", "<a><![X[y]]></a>"},
      {"cut-comment", "<a><!-- x </a>"},
      {"cut-cdata", "<a><![CDATA[x</a>"},
      {"cut-pi", "<a><?pi</a>"},
      {"cut-doctype", "<!DOCTYPE a [<!ELEMENT a ANY>"},
      {"stray-lt", "<a>x<</a>"},
      {"element-decl-outside", "<a/><!ELEMENT a ANY>"},
      {"space-after-slash", "<a></ a>"},
      {"space-in-empty", "<a/ >"},
      {"unclosed-quote", "<a x='1/>"},
      // The class accepts, xmllint refuses.
      {"case-mismatch", "<a></A>"},
      {"text-before-root", "x<a/>"},
      {"text-after-root", "<a/>x"},
      {"cdata-outside-root", "<![CDATA[x]]><a/>"},
      {"unquoted-attribute", "<a x=1/>"},
      {"attribute-without-value", "<a x/>"},
      {"attributes-run-together", "<a x='1'y='2'/>"},
      {"duplicate-attribute", "<a x='1' x='2'/>"},
      {"lt-in-attribute", "<a x='<'/>"},
      {"undefined-entity", "<a>&foo;</a>"},
      {"bare-ampersand", "<a>&</a>"},
      {"char-ref-zero", "<a>&#0;</a>"},
      {"cdata-end-in-text", "<a>]]></a>"},
      {"double-hyphen-in-comment", "<a><!-- a -- b --></a>"},
      {"declaration-not-first", "<a/><?xml version=\"1.0\"?>"},
      {"declaration-without-version", "<?xml?><a/>"},
      {"doctype-keyword-unchecked", "<!Doctor><a/>"},
      {"doctype-after-root", "<a/><!DOCTYPE a>"},
      {"cdata-keyword-unchecked", "<a><![Cdata[x]]></a>"},
      {"invalid-utf8", "<a>\xC3\x28</a>"},
      {"control-character", "<a>\x01</a>"},
      {"nul-character", "<a>\0</a>"s},
      {"end-name-prefix-with-bracket", "<a[></a>"},
      {"odd-name-character", "<a|b/>"},
      {"slash-inside-start-tag", "<a / x='1'></a>"},
  };
}

// Documents on which the two disagree, with the class's verdict and why it
// differs from a full parser.
struct Difference {
  bool classAccepts;
  const char* reason;
};

const std::map<std::string, Difference>& ExpectedDifferences() {
  static const std::map<std::string, Difference> table = {
      {"utf16-with-bom", {false, "files are read as UTF-8; no byte-order mark is looked for"}},
      {"case-mismatch", {true, "element names match without regard to ASCII case"}},
      {"text-before-root", {true, "text outside the root element is skipped"}},
      {"text-after-root", {true, "text outside the root element is skipped"}},
      {"cdata-outside-root", {true, "nodes outside the root element are skipped"}},
      {"unquoted-attribute", {true, "attribute syntax is not checked (the value reads as empty)"}},
      {"attribute-without-value", {true, "attribute syntax is not checked"}},
      {"attributes-run-together", {true, "attribute syntax is not checked"}},
      {"duplicate-attribute", {true, "attributes are not checked; the first one is read"}},
      {"lt-in-attribute", {true, "attribute values are not checked"}},
      {"undefined-entity", {true, "unknown references stay in the text as they are"}},
      {"bare-ampersand", {true, "a lone ampersand stays in the text"}},
      {"char-ref-zero", {true, "a reference to code 0 stays in the text as it is"}},
      {"cdata-end-in-text", {true, "text is not checked for ']]>'"}},
      {"double-hyphen-in-comment", {true, "a comment runs to the first '-->'"}},
      {"declaration-not-first", {true, "processing instructions are skipped wherever they are"}},
      {"declaration-without-version", {true, "the XML declaration is not examined"}},
      {"doctype-keyword-unchecked", {true, "only the 'D' of the doctype keyword is looked at"}},
      {"doctype-after-root", {true, "a doctype is skipped wherever it is"}},
      {"cdata-keyword-unchecked", {true, "only the 'C' of the CDATA keyword is looked at"}},
      {"invalid-utf8", {true, "invalid UTF-8 is read as U+FFFD"}},
      {"control-character", {true, "characters are not checked against the XML character set"}},
      {"nul-character", {true, "characters are not checked against the XML character set"}},
      {"end-name-prefix-with-bracket", {true, "an end-tag name matches a start-tag name that goes on with '['"}},
      {"odd-name-character", {true, "name characters after the first are not checked"}},
      {"slash-inside-start-tag", {true, "attribute syntax is not checked"}},
  };
  return table;
}

TEST(XmlAgreement, VerdictsMatchXmllintExceptForTheListedLeniencies) {
  ASSERT_EQ(std::system("xmllint --version >/dev/null 2>&1"), 0) << "xmllint (libxml2-utils) is needed";
  std::string pattern = (fs::path(::testing::TempDir()) / "xmlagree.XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern;

  std::map<std::string, bool> seenDifferences;
  int agreements = 0;
  for (const Sample& sample : Corpus()) {
    const fs::path path = dir / (std::string(sample.id) + ".xml");
    std::ofstream(path, std::ios::binary) << sample.bytes;

    CXmlDoc doc;
    const bool ours = doc.loadFile(path.string());
    const std::string command = "xmllint --noout '" + path.string() + "' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << sample.id;
    const bool theirs = WEXITSTATUS(status) == 0;

    const auto listed = ExpectedDifferences().find(sample.id);
    if (ours == theirs) {
      ++agreements;
      EXPECT_EQ(listed, ExpectedDifferences().end())
          << sample.id << " is listed as a difference but both now " << (ours ? "accept" : "refuse") << " it";
    } else {
      ASSERT_NE(listed, ExpectedDifferences().end())
          << sample.id << ": unlisted difference; class " << (ours ? "accepts" : "refuses")
          << " it (" << doc.resultText() << "), xmllint does not";
      EXPECT_EQ(listed->second.classAccepts, ours) << sample.id;
      seenDifferences[sample.id] = true;
    }
  }
  for (const auto& [id, difference] : ExpectedDifferences()) {
    EXPECT_TRUE(seenDifferences.count(id)) << id << " is listed but not in the corpus or not different";
  }
  EXPECT_GT(agreements, 30);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vornida
