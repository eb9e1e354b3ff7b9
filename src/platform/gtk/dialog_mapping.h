// How the program's dialog requests, written in the movie's terms, become
// GTK dialogs: the "Description|patterns|...||" filter strings and the
// message-box styles with their button ids. No GTK here, so the rules can be
// checked without a display.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vornida::platform {

struct FileFilterEntry {
  std::string name;                   // "Picture Files (*.jpg;*.png)"
  std::vector<std::string> patterns;  // glob patterns as GTK takes them
};

// Splits a filter string into its entries. Each pattern is made to match
// without regard to case ("*.jpg" becomes "*.[jJ][pP][gG]"), and "*.*" (all
// files, with or without a dot) becomes "*". An entry without patterns and
// anything after the closing "||" are dropped.
std::vector<FileFilterEntry> ParseFileFilter(std::string_view filter);

// The glob for one pattern as above.
std::string CaseInsensitiveGlob(std::string_view pattern);

enum class MessageBoxIcon { None, Error, Question, Warning, Information };

struct MessageBoxButton {
  const char* label;  // mnemonic label, "_Yes"
  int id;             // the button id the box answers with (kId*)
};

struct MessageBoxLayout {
  std::vector<MessageBoxButton> buttons;  // left to right
  int defaultId = 0;   // the button Enter presses
  int closeId = 0;     // the answer when the box is closed or Escape pressed
  MessageBoxIcon icon = MessageBoxIcon::None;
};

// The buttons, default button (MB_DEFBUTTON2..4 in bits 8..11), close answer
// and icon of a message-box style. An unknown button set shows OK.
MessageBoxLayout LayoutForStyle(std::uint32_t style);

}  // namespace vornida::platform
