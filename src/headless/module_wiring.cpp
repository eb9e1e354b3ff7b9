// Each module whose work sits behind a movie command adds its installer here,
// e.g. InstallPhotoCommands(control). The headless host calls this once, right
// after building the control.
#include "engine/collage_run.h"
#include "headless/headless_host.h"
#include "output/save_collage.h"
#include "photos/photo_library.h"
#include "project/project_commands.h"
#include "headless/headless_wizard.h"

namespace vornida {

void InstallModuleCommands(HeadlessHost& host, CVRFlashCtrl& control) {
  InstallPhotoCommands(control);
  InstallCollageCommands(control);
  InstallSaveCommands(control, host.Loop());
  InstallHeadlessUpgrade(control, host.Log());
  // Opened projects queue their photos with the photo library's batch import.
  InstallProjectCommands(control, QueuePhotoImports);
}

}  // namespace vornida
