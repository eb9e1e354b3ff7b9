// Warnings of the decoding libraries.
//
// libvips and the libraries under it warn through GLib's log ("heifload:
// ignoring nclx profile", "Unknown field with tag ..."). Their text is
// never printed: each file whose decoding drew a warning is noted instead,
// so that a program can say so in its own words, once per file, or say
// nothing. Warnings that cannot be tied to a file are dropped.
#pragma once

#include <string>
#include <vector>

namespace vornida {

// The files whose decoding drew a library warning since the last call, each
// once, in the order of their first warning; the list is emptied.
std::vector<std::string> TakeFilesWithDecoderWarnings();

}  // namespace vornida
