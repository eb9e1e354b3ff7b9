// The XML messages exchanged with the movie.
//
// The movie calls a native command with a request such as
//   <invoke name="FileExists" returntype="xml"><arguments>
//     <string>/home/me/a.jpg</string></arguments></invoke>
// and may get one value back (an answer form below). Native code calls a
// movie function with a request of the same shape (InvokeRequest) and decodes
// the movie's answer with ParseResponse.
//
// Values travel as text: numbers as their decimal text, true as "1", false as
// "0", null and undefined as the empty string. Nothing here escapes text:
// values put into answers and requests are inserted unchanged (callers that
// need escaping use XmlEscape from xml/xml_doc.h themselves).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vornida {

class CXmlDoc;

// One incoming call, built for one dispatch and discarded when it returns.
struct DecodedCall {
  std::string name;               // command name; compared exactly by the dispatchers
  std::vector<std::string> args;  // arguments in order, index 0 first
  std::string result;             // one complete value element, or empty for no answer
};

// Decodes an incoming request: the first top-level "invoke" element, its
// "name" attribute (empty if missing) and the values inside its "arguments"
// child. False when the text is not a document, or has no "invoke" element
// or no "arguments" child. On success `call` holds the name, the arguments
// and an empty result.
bool ParseInvoke(std::string_view request, DecodedCall& call);

// Appends the values of all value elements at the document's current level
// to `args`: "true" gives "1", "false" "0"; an "array" is flattened (the
// values inside each of its children, nested arrays too); another element
// with child elements gives the markup of its first child; any other element
// gives its decoded text. The cursor is left at the same level.
void ParseValues(CXmlDoc& doc, std::vector<std::string>& args);

// True when the call carries at least `count` arguments. A command that needs
// more than it got does not run and leaves the call unhandled.
bool CheckArgCount(const DecodedCall& call, std::size_t count);

// Decodes the movie's answer to an outgoing call: the one value it holds, or
// the empty string when it does not load or holds no value or several.
std::string ParseResponse(std::string_view response);

// Value forms, used both for answers (DecodedCall::result) and for the
// values of outgoing requests. Text is inserted unchanged.
std::string StringValue(std::string_view text);  // <string>text</string>
std::string NumberValue(int64_t number);         // <number>-12</number>
std::string BoolValue(bool value);               // <true/> or <false/>

// The request that calls movie function `function` with `values` (the
// concatenated value forms):
//   <invoke name='function'><arguments>values</arguments></invoke>
std::string InvokeRequest(std::string_view function, std::string_view values = {});

}  // namespace vornida
