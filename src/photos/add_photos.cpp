// The add-photos dialog and the photo commands of the movie.
#include "app/paths.h"
#include "app/registry.h"
#include "commands/vr_flash_ctrl.h"
#include "photos/photo_library.h"
#include "platform/system_codes.h"

namespace vornida {

namespace {

constexpr std::string_view kPhotoFilter =
    "Picture Files (*.jpg;*.gif;*.bmp;*.png)|*.jpg;*.gif;*.bmp;*.png|All Files (*.*)|*.*||";

// OFN_HIDEREADONLY | OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_ENABLESIZING |
// OFN_FORCESHOWHIDDEN
constexpr std::uint32_t kAddPhotosFlags = platform::kOfnHideReadOnly | platform::kOfnAllowMultiSelect |
                                          platform::kOfnExplorer | platform::kOfnEnableSizing |
                                          platform::kOfnForceShowHidden;
static_assert(kAddPhotosFlags == 0x10880204);

}  // namespace

CFileDialogEx::CFileDialogEx(bool open, std::string defaultExtension, std::string fileName, std::uint32_t flags,
                             std::string filter) {
  request_.mode = open ? platform::FileDialogMode::Open : platform::FileDialogMode::Save;
  request_.defaultExtension = std::move(defaultExtension);
  request_.initialFileName = std::move(fileName);
  request_.flags = flags;
  request_.filter = std::move(filter);
  request_.allowMultiple = (flags & platform::kOfnAllowMultiSelect) != 0;
}

platform::FileDialogResult CFileDialogEx::DoModal(platform::FileDialogs& dialogs) {
  request_.viewMode = viewMode_;
  return dialogs.showFileDialog(request_);
}

bool CFileDialogEx::SendViewCommand(std::uint32_t /*command*/) const { return false; }

void OpenAddPhotosDialog(platform::FileDialogs& dialogs) {
  CFileDialogEx dialog(true, "", "", kAddPhotosFlags, std::string(kPhotoFilter));
  dialog.SetViewMode(CFileDialogEx::kThumbnailsView);
  dialog.SetInitialFolder(GetRecent(kRecentImportPhoto));
  const platform::FileDialogResult chosen = dialog.DoModal(dialogs);
  if (!chosen.accepted || chosen.paths.empty()) return;

  const std::string folder = GetFolderPart(chosen.paths.front());
  if (!folder.empty()) SetRecent(kRecentImportPhoto, folder);
  QueuePhotoImports(chosen.paths);
}

void InstallPhotoCommands(CVRFlashCtrl& control) {
  control.InstallCommandHandler("OpenAddPhotosDlg", [](CVRFlashCtrl& ctrl, DecodedCall&) {
    if (ctrl.Services().fileDialogs != nullptr) OpenAddPhotosDialog(*ctrl.Services().fileDialogs);
    return true;
  });
  control.InstallCommandHandler("RemovePhoto", [](CVRFlashCtrl&, DecodedCall& call) {
    RemovePhoto(call.args.at(0));
    return true;
  });
  control.InstallCommandHandler("SwapPhotos", [](CVRFlashCtrl&, DecodedCall& call) {
    call.result = SwapPhotos(call.args.at(0), call.args.at(1)) ? "<true/>" : "<false/>";
    return true;
  });
}

}  // namespace vornida
