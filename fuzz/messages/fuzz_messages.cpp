// Feeds arbitrary bytes to the request and response decoders.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "host/messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  vornida::DecodedCall call;
  if (vornida::ParseInvoke(input, call)) {
    // Every argument comes out of the input: none can be longer than four
    // times it (a one-byte reference may decode to a three-byte character).
    for (const auto& arg : call.args) {
      if (arg.size() > 4 * size) std::abort();
    }
    if (call.args.size() > size) std::abort();
    if (!call.result.empty()) std::abort();
  }
  const auto value = vornida::ParseResponse(input);
  if (value.size() > 4 * size) std::abort();
  return 0;
}
