#include "wiring/module_wiring.h"

#include "commands/vr_flash_ctrl.h"
#include "engine/collage_run.h"
#include "output/save_collage.h"
#include "photos/photo_library.h"
#include "project/project_commands.h"

namespace vornida {

void InstallModuleCommands(CVRFlashCtrl& control, const HostModules& host) {
  InstallPhotoCommands(control);
  InstallCollageCommands(control);
  InstallSaveCommands(control, *host.loop, host.onSave);
  InstallUpgradeCommands(control, host.upgrade);
  // Opened projects queue their photos with the photo library's batch import.
  InstallProjectCommands(control, QueuePhotoImports);
}

}  // namespace vornida
