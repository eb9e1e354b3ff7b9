#include "host/messages.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xml/xml_doc.h"

namespace vornida {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string Invoke(const std::string& arguments, const std::string& name = "Cmd") {
  return "<invoke name=\"" + name + "\" returntype=\"xml\"><arguments>" + arguments + "</arguments></invoke>";
}

TEST(ParseInvokeTest, NameAndPathArgument) {
  DecodedCall call;
  call.result = "<true/>";  // left over from elsewhere: a decode starts a fresh answer
  ASSERT_TRUE(ParseInvoke(
      "<invoke name=\"FileExists\" returntype=\"xml\"><arguments><string>/home/me/My Photos/a.jpg</string>"
      "</arguments></invoke>",
      call));
  EXPECT_EQ(call.name, "FileExists");
  EXPECT_THAT(call.args, ElementsAre("/home/me/My Photos/a.jpg"));
  EXPECT_EQ(call.result, "");
}

TEST(ParseInvokeTest, ValueKinds) {
  DecodedCall call;
  ASSERT_TRUE(ParseInvoke(Invoke("<true/><false/><number>7</number><number>0.5</number>"), call));
  EXPECT_THAT(call.args, ElementsAre("1", "0", "7", "0.5"));

  ASSERT_TRUE(ParseInvoke(Invoke("<null/><string>x</string><undefined/><string></string><string/>"), call));
  EXPECT_THAT(call.args, ElementsAre("", "x", "", "", ""));

  ASSERT_TRUE(ParseInvoke(Invoke("<string>&amp;</string><string>a &lt;b&gt; &#233;</string>"), call));
  EXPECT_THAT(call.args, ElementsAre("&", "a <b> é"));

  // Tag names of values are exact: "True" is not a boolean but a text value.
  ASSERT_TRUE(ParseInvoke(Invoke("<True/><string>\n  spaced  </string>"), call));
  EXPECT_THAT(call.args, ElementsAre("", "\n  spaced  "));
}

TEST(ParseInvokeTest, ArraysAreFlattened) {
  DecodedCall call;
  ASSERT_TRUE(ParseInvoke(Invoke("<array><property id=\"0\"><string>a</string></property>"
                                 "<property id=\"1\"><string>b</string></property></array><string>c</string>"),
                          call));
  EXPECT_THAT(call.args, ElementsAre("a", "b", "c"));

  ASSERT_TRUE(ParseInvoke(Invoke("<array></array><array/><string>only</string>"), call));
  EXPECT_THAT(call.args, ElementsAre("only"));

  ASSERT_TRUE(ParseInvoke(Invoke("<array><property id=\"0\"><array><property id=\"0\"><number>1</number></property>"
                                 "<property id=\"1\"><true/></property></array></property>"
                                 "<property id=\"1\"><null/></property></array><string>z</string>"),
                          call));
  EXPECT_THAT(call.args, ElementsAre("1", "1", "", "z"));
}

TEST(ParseInvokeTest, DeeplyNestedArraysDoNotExhaustTheStack) {
  constexpr int kDepth = 50000;
  std::string values;
  for (int i = 0; i < kDepth; ++i) values += "<array><property id=\"0\">";
  values += "<string>deep</string>";
  for (int i = 0; i < kDepth; ++i) values += "</property></array>";
  DecodedCall call;
  ASSERT_TRUE(ParseInvoke(Invoke(values + "<false/>"), call));
  EXPECT_THAT(call.args, ElementsAre("deep", "0"));
}

TEST(ParseInvokeTest, ObjectGivesTheMarkupOfItsFirstProperty) {
  DecodedCall call;
  ASSERT_TRUE(ParseInvoke(Invoke("<object><property id=\"w\"><number>3</number></property>\n"
                                 "<property id=\"h\"><number>4</number></property></object><string>after</string>"),
                          call));
  EXPECT_THAT(call.args, ElementsAre("<property id=\"w\"><number>3</number></property>\n", "after"));
}

TEST(ParseInvokeTest, EmptyArgumentsAreNotAFailure) {
  DecodedCall call;
  ASSERT_TRUE(ParseInvoke("<invoke name=\"Exit\" returntype=\"xml\"><arguments/></invoke>", call));
  EXPECT_EQ(call.name, "Exit");
  EXPECT_THAT(call.args, IsEmpty());
  ASSERT_TRUE(ParseInvoke("<invoke name=\"Exit\"><arguments></arguments></invoke>", call));
  EXPECT_THAT(call.args, IsEmpty());
}

TEST(ParseInvokeTest, ElementNamesOfTheEnvelopeIgnoreCaseButCommandNamesKeepIt) {
  DecodedCall call;
  ASSERT_TRUE(ParseInvoke("<INVOKE NAME='getStr'><Arguments><string>k</string></Arguments></INVOKE>", call));
  EXPECT_EQ(call.name, "getStr");
  EXPECT_THAT(call.args, ElementsAre("k"));
}

TEST(ParseInvokeTest, Failures) {
  const char* requests[] = {
      "",
      "not xml",
      "<invoke name=\"A\"><arguments><string>x</arguments></invoke>",  // not well-formed
      "<call name=\"A\"><arguments/></call>",                          // no invoke element
      "<invoke name=\"A\"><args/></invoke>",                           // no arguments child
      "<invoke name=\"A\"/>",
      "<wrapper><invoke name=\"A\"><arguments/></invoke></wrapper>",  // invoke not at the top
  };
  for (const char* request : requests) {
    DecodedCall call;
    call.name = "unchanged";
    EXPECT_FALSE(ParseInvoke(request, call)) << request;
    EXPECT_EQ(call.name, "unchanged") << request;
  }
}

TEST(ParseInvokeTest, MissingNameGivesAnEmptyName) {
  DecodedCall call;
  ASSERT_TRUE(ParseInvoke("<invoke returntype=\"xml\"><arguments><string>a</string></arguments></invoke>", call));
  EXPECT_EQ(call.name, "");
  EXPECT_THAT(call.args, ElementsAre("a"));
}

TEST(CheckArgCountTest, AtLeastTheNeededCount) {
  DecodedCall call;
  ASSERT_TRUE(ParseInvoke(Invoke("<string>a</string><string>b</string><string>c</string>"), call));
  EXPECT_TRUE(CheckArgCount(call, 2));  // the third is ignored
  EXPECT_TRUE(CheckArgCount(call, 3));
  EXPECT_FALSE(CheckArgCount(call, 4));
  ASSERT_TRUE(ParseInvoke(Invoke("<null/>"), call));
  EXPECT_TRUE(CheckArgCount(call, 1));  // a null still occupies its place
  EXPECT_FALSE(CheckArgCount(call, 2));
  EXPECT_TRUE(CheckArgCount(call, 0));
}

TEST(ParseValuesTest, LeavesTheCursorAtItsLevel) {
  CXmlDoc doc;
  ASSERT_TRUE(doc.setText("<r><v><array><property><string>a</string></property></array><true/></v><w/></r>"));
  ASSERT_TRUE(doc.findElement("r"));
  ASSERT_TRUE(doc.enterElement());
  ASSERT_TRUE(doc.findElement("v"));
  ASSERT_TRUE(doc.enterElement());
  std::vector<std::string> args{"kept"};
  ParseValues(doc, args);
  EXPECT_THAT(args, ElementsAre("kept", "a", "1"));
  ASSERT_TRUE(doc.leaveElement());
  EXPECT_EQ(doc.tagName(), "v");
  ASSERT_TRUE(doc.findElement());
  EXPECT_EQ(doc.tagName(), "w");
}

TEST(ParseResponseTest, ExactlyOneValue) {
  EXPECT_EQ(ParseResponse("<string>hello &amp; bye</string>"), "hello & bye");
  EXPECT_EQ(ParseResponse("<number>-12</number>"), "-12");
  EXPECT_EQ(ParseResponse("<true/>"), "1");
  EXPECT_EQ(ParseResponse("<false/>"), "0");
  EXPECT_EQ(ParseResponse("<null/>"), "");
  EXPECT_EQ(ParseResponse("<array><property id='0'><string>one</string></property></array>"), "one");
  EXPECT_EQ(ParseResponse("<array/>"), "");
  EXPECT_EQ(ParseResponse("<array><property id='0'><string>a</string></property>"
                          "<property id='1'><string>b</string></property></array>"),
            "");
  EXPECT_EQ(ParseResponse("<string>a</string><string>b</string>"), "");  // two roots do not load
  EXPECT_EQ(ParseResponse(""), "");
  EXPECT_EQ(ParseResponse("<string>cut"), "");
}

TEST(ValueFormsTest, InsertedUnchanged) {
  EXPECT_EQ(StringValue("a&b<c>"), "<string>a&b<c></string>");
  EXPECT_EQ(NumberValue(-42), "<number>-42</number>");
  EXPECT_EQ(NumberValue(2147483648LL), "<number>2147483648</number>");
  EXPECT_EQ(BoolValue(true), "<true/>");
  EXPECT_EQ(BoolValue(false), "<false/>");
  EXPECT_EQ(InvokeRequest("getStr", StringValue("key")),
            "<invoke name='getStr'><arguments><string>key</string></arguments></invoke>");
  EXPECT_EQ(InvokeRequest("refresh"), "<invoke name='refresh'><arguments></arguments></invoke>");
}

TEST(ValueFormsTest, RequestsAndAnswersReadBack) {
  // What native code writes is what the decoder reads, for values that need
  // no escaping and for escaped ones.
  const std::string text = XmlEscape("it's <b> & \"q\"");
  DecodedCall call;
  ASSERT_TRUE(ParseInvoke(InvokeRequest("notify", StringValue(text) + NumberValue(-3) + BoolValue(false) +
                                                      BoolValue(true)),
                          call));
  EXPECT_EQ(call.name, "notify");
  EXPECT_THAT(call.args, ElementsAre("it's <b> & \"q\"", "-3", "0", "1"));
  EXPECT_EQ(ParseResponse(StringValue("ok")), "ok");
  EXPECT_EQ(ParseResponse(NumberValue(5)), "5");
}

}  // namespace
}  // namespace vornida
