// Where the modules join the main movie's control, for every host.
//
// Each module whose work sits behind a movie command has an installer
// (InstallPhotoCommands, InstallCollageCommands, ...). Both hosts, the
// desktop window and the headless host, call InstallModuleCommands once,
// right after building the control, so that the two cannot drift apart; a
// host hands over only what differs between them.
#pragma once

#include <string>

#include "output/save_collage.h"
#include "platform/event_loop.h"
#include "upgrade/upgrade_commands.h"

namespace vornida {

class CVRFlashCtrl;

struct HostModules {
  platform::EventLoop* loop = nullptr;  // the UI thread's loop; required
  // The upgrade wizard's window (upgrade.makeView, required) and where and
  // how it looks for updates.
  UpgradeModuleOptions upgrade;
  // Hears how each save ended (optional).
  SaveListener onSave;
};

void InstallModuleCommands(CVRFlashCtrl& control, const HostModules& host);

}  // namespace vornida
