#include "upgrade/upgrade_commands.h"

#include "app/folders.h"
#include "commands/vr_flash_ctrl.h"
#include "host/movie_calls.h"

namespace vornida {

namespace {

struct UpgradeModule {
  UpgradeModuleOptions options;
  bool updateChecked = false;
  bool interactiveRunning = false;  // a modal wizard is up; a second "CheckUpdate" waits for nothing
  // The view goes after the wizard that draws on it.
  std::unique_ptr<WizardView> silentView;
  std::unique_ptr<CUpgradeWizard> silentWizard;

  void DropSilentWizard() {
    silentWizard.reset();
    silentView.reset();
  }
};

WizardTextSource MovieTexts() {
  return {[](const std::string& key) { return GetText(key); }, [] { return GetMovieVersion(); }};
}

UpgradeWizardSettings SettingsFor(const UpgradeModule& module) {
  UpgradeWizardSettings settings = DefaultWizardSettings(module.options.urlList);
  settings.silentStepDelay = module.options.silentStepDelay;
  settings.trustedKey = module.options.trustedKey;
  settings.caFile = module.options.caFile;
  settings.limits = module.options.limits;
  return settings;
}

bool RunInteractiveCheck(const std::shared_ptr<UpgradeModule>& module, CVRFlashCtrl& control) {
  module->updateChecked = true;
  if (module->interactiveRunning) return true;
  if (module->silentWizard) {
    if (module->silentWizard->IsVisible()) return true;
    module->DropSilentWizard();  // both would write the same manifest copy
  }
  std::unique_ptr<WizardView> view = module->options.makeView(false);
  if (!view) return true;
  module->interactiveRunning = true;
  {
    CUpgradeWizard wizard(false, *view, control.Services(), SettingsFor(*module), MovieTexts());
    wizard.Start();
    // Modal: the movie's call waits while the loop keeps turning.
    while (!wizard.IsClosed()) control.Services().loop->iterate(true);
  }
  module->interactiveRunning = false;
  return true;
}

void StartSilentCheck(const std::shared_ptr<UpgradeModule>& module, CVRFlashCtrl& control) {
  if (module->updateChecked || module->silentWizard) return;
  module->silentView = module->options.makeView(true);
  if (!module->silentView) return;
  module->silentWizard = std::make_unique<CUpgradeWizard>(true, *module->silentView, control.Services(),
                                                          SettingsFor(*module), MovieTexts());
  std::weak_ptr<UpgradeModule> weak = module;
  CUpgradeWizard* started = module->silentWizard.get();
  module->silentWizard->SetClosedHandler([weak, started] {
    if (auto alive = weak.lock(); alive && alive->silentWizard.get() == started) alive->DropSilentWizard();
  });
  module->silentWizard->Start();
}

std::weak_ptr<UpgradeModule>& InstalledModule() {
  static std::weak_ptr<UpgradeModule> module;
  return module;
}

}  // namespace

UpgradeWizardSettings DefaultWizardSettings(std::string urlList) {
  UpgradeWizardSettings settings;
  settings.urlList = std::move(urlList);
  settings.manifestPath = MakeAppDataPath("Upgrade/Update.xml");
  settings.installerFolder = MakeAppDataPath("Upgrade/Installer");
  return settings;
}

void InstallUpgradeCommands(CVRFlashCtrl& control, UpgradeModuleOptions options) {
  auto module = std::make_shared<UpgradeModule>();
  module->options = std::move(options);
  InstalledModule() = module;
  control.InstallCommandHandler("CheckUpdate", [module](CVRFlashCtrl& ctrl, DecodedCall&) {
    return RunInteractiveCheck(module, ctrl);
  });
  control.InstallTimerHandler(CVRFlashCtrl::kAfterLoadTimer, [module](CVRFlashCtrl& ctrl) {
    ctrl.SetTimer(CVRFlashCtrl::kSilentUpdateTimer, static_cast<std::uint32_t>(module->options.secondDelay.count()));
  });
  control.InstallTimerHandler(CVRFlashCtrl::kSilentUpdateTimer,
                              [module](CVRFlashCtrl& ctrl) { StartSilentCheck(module, ctrl); });
  if (!control.HasCommandHandler("LoadComplete"))
    control.InstallCommandHandler("LoadComplete", [](CVRFlashCtrl& ctrl, DecodedCall&) {
      StartSilentUpdateTimers(ctrl);
      return true;
    });
}

void StartSilentUpdateTimers(CVRFlashCtrl& control) {
  const auto module = InstalledModule().lock();
  const auto delay = module ? module->options.firstDelay : std::chrono::milliseconds(2000);
  control.SetTimer(CVRFlashCtrl::kAfterLoadTimer, static_cast<std::uint32_t>(delay.count()));
}

}  // namespace vornida
