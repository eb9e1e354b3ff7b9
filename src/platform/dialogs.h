// Modal dialogs the core shows: file dialogs and message boxes.
//
// Both run on the UI thread and return when the user has answered. The core
// builds a request in its own terms (the filter string in the movie's
// "Description|patterns|...||" form, the message-box style as the numbers of
// system_codes.h); each host turns that into its toolkit's dialog.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vornida::platform {

enum class FileDialogMode { Open, Save };

struct FileDialogRequest {
  FileDialogMode mode = FileDialogMode::Open;
  std::string title;             // empty: the toolkit's default title
  std::string initialFolder;     // empty: the toolkit's choice
  std::string initialFileName;
  std::string defaultExtension;  // without the dot; empty for none
  // Pairs of description and patterns separated by '|', ending in "||",
  // e.g. "Picture Files (*.jpg;*.png)|*.jpg;*.png|All Files (*.*)|*.*||".
  std::string filter;
  std::uint32_t flags = 0;       // kOfn* values
  std::uint32_t viewMode = 0;    // 0, or kFileDialogThumbnailView
  bool allowMultiple = false;
};

struct FileDialogResult {
  bool accepted = false;            // false: cancelled
  std::vector<std::string> paths;   // full paths, one unless allowMultiple
};

class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  virtual FileDialogResult showFileDialog(const FileDialogRequest& request) = 0;
};

struct MessageBoxRequest {
  std::string text;      // may hold line breaks
  std::string caption;
  std::uint32_t style = 0;  // kMb* button set and icon
};

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // Returns the id of the button that closed the box (kId*).
  virtual int showMessageBox(const MessageBoxRequest& request) = 0;
};

}  // namespace vornida::platform
