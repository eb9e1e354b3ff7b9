// Each module whose work sits behind a movie command adds its installer here,
// e.g. InstallPhotoCommands(control). The headless host calls this once, right
// after building the control.
#include "headless/headless_host.h"

namespace vornida {

void InstallModuleCommands(HeadlessHost& /*host*/, CVRFlashCtrl& /*control*/) {}

}  // namespace vornida
