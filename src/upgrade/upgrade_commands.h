// The upgrade wizard's place in the program: the "CheckUpdate" command and
// the silent check that starts about 12 seconds after the main movie loaded
// (timer 1006, then timer 1007 of the main movie's control).
//
// "CheckUpdate" runs an interactive wizard and answers when it has closed;
// from then on no silent check starts. A hidden silent wizard still at work
// gives way to it; a silent wizard the user has already accepted (and sees)
// makes "CheckUpdate" do nothing.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "upgrade/upgrade_wizard.h"

namespace vornida {

class CVRFlashCtrl;

// The manifest URL list built into the program: a host of our own, over
// https. Its manifests are signed with the key of ReleaseUpdateKey().
inline constexpr std::string_view kDefaultUpdateUrls = "https://update.vornida.example/upgrade/update.xml";

using WizardViewFactory = std::function<std::unique_ptr<WizardView>(bool silent)>;

struct UpgradeModuleOptions {
  std::string urlList = std::string(kDefaultUpdateUrls);
  WizardViewFactory makeView;  // required
  std::chrono::milliseconds firstDelay{2000};    // timer 1006
  std::chrono::milliseconds secondDelay{10000};  // timer 1007
  std::chrono::milliseconds silentStepDelay{1000};
  UpdateKey trustedKey = ReleaseUpdateKey();  // what manifests must be signed with
  std::string caFile;                         // authorities for https; empty: the system's
  TransferLimits limits;                      // speed floor, its window, redirect chain time
};

// Installs "CheckUpdate" and the handlers of timers 1006 and 1007 into the
// control. When no other module handles "LoadComplete", a handler that
// starts timer 1006 is installed too; a main window that takes
// "LoadComplete" over calls StartSilentUpdateTimers itself.
void InstallUpgradeCommands(CVRFlashCtrl& control, UpgradeModuleOptions options);

// Starts timer 1006 (the first step towards the silent check).
void StartSilentUpdateTimers(CVRFlashCtrl& control);

// Where the wizard keeps its files: the manifest copy and the installer
// folder below the data folder.
UpgradeWizardSettings DefaultWizardSettings(std::string urlList);

}  // namespace vornida
