// "BrowseBackgroundFile" and "BrowseCustomShape": pick one picture, remember
// its folder for the next time, and hand the path to the movie.
#include "app/paths.h"
#include "app/registry.h"
#include "commands/vr_flash_ctrl.h"
#include "platform/system_codes.h"

namespace vornida {
namespace {

constexpr std::string_view kPictureFilter =
    "Picture Files (*.jpg;*.gif;*.bmp;*.png)|*.jpg;*.gif;*.bmp;*.png|All Files (*.*)|*.*||";

}  // namespace

bool CVRFlashCtrl::BrowsePicture(std::string_view recentKey, std::string_view movieFunction) {
  platform::FileDialogs* dialogs = Services().fileDialogs;
  if (dialogs == nullptr) return true;

  platform::FileDialogRequest request;
  request.mode = platform::FileDialogMode::Open;
  request.flags = platform::kOfnHideReadOnly | platform::kOfnExplorer | platform::kOfnEnableSizing |
                  platform::kOfnForceShowHidden;
  request.filter = kPictureFilter;
  request.viewMode = platform::kFileDialogThumbnailView;
  request.initialFolder = GetRecent(recentKey);

  const platform::FileDialogResult chosen = dialogs->showFileDialog(request);
  if (!chosen.accepted || chosen.paths.empty()) return true;

  const std::string& path = chosen.paths.front();
  const std::string folder = GetFolderPart(path);
  if (!folder.empty()) SetRecent(recentKey, folder);

  std::string ignored;
  CallFunction(InvokeRequest(movieFunction, StringValue(path)), ignored);
  return true;
}

}  // namespace vornida
