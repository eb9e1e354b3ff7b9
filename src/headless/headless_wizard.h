// The upgrade wizard without a window: a view that writes what it would show
// to the headless event log, one "wizard: ..." line per event, and presses
// the buttons a script prepared.
//
//   wizard: page N caption=... title=... subtitle=...
//   wizard: text CONTROL TEXT          wizard: description TEXT
//   wizard: hide CONTROL               wizard: buttons none|next|finish|finish-disabled
//   wizard: finish-text TEXT           wizard: progress PERCENT
//   wizard: animation play|stop        wizard: show | wizard: close
//   wizard: press next|finish|cancel   wizard: cancel (no prepared press)
//
// Whenever a shown wizard waits for the user, the next prepared press is
// used if its button is enabled; a wait with no usable press cancels the
// wizard, so that no script hangs on it.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "platform/event_loop.h"
#include "upgrade/upgrade_commands.h"
#include "upgrade/upgrade_wizard.h"

namespace vornida {

class CVRFlashCtrl;

namespace platform {
class EventLog;
}

// Button presses a script prepared, used in order.
class WizardPressQueue {
 public:
  // Appends presses from a comma-separated list of "next", "finish",
  // "cancel". False, with nothing added, when a word is unknown.
  bool Prepare(std::string_view list);
  std::optional<WizardPress> Take();
  void Clear() { presses_.clear(); }

 private:
  std::deque<WizardPress> presses_;
};

class HeadlessWizardView final : public WizardView {
 public:
  HeadlessWizardView(platform::EventLog& log, platform::EventLoop& loop, WizardPressQueue& presses);
  ~HeadlessWizardView() override;

  void Bind(CUpgradeWizard* wizard) override;
  void ShowPage(int page, const std::string& caption, const std::string& title, const std::string& subtitle) override;
  void SetControlText(int control, const std::string& text) override;
  void AppendDescription(const std::string& text) override;
  void HideControl(int control) override;
  void SetButtons(std::uint32_t flags) override;
  void SetFinishText(const std::string& text) override;
  void SetProgress(int percent) override;
  void SetAnimation(bool playing) override;
  void Show() override;
  void Destroy() override;

 private:
  void Tick();
  void StopTicking();

  platform::EventLog& log_;
  platform::EventLoop& loop_;
  WizardPressQueue& presses_;
  CUpgradeWizard* wizard_ = nullptr;
  platform::EventLoop::TimerId ticker_ = 0;
};

// For vornida-headless: the presses its "wizard" directive prepares, the URL
// list its --update-url option sets (before the host is built), the other
// connection settings of its options, and the factory of headless views; the
// headless host hands the settings and the factory to the wiring.
WizardPressQueue& HeadlessWizardPresses();
void SetHeadlessUpdateUrl(std::string urlList);
void SetHeadlessUpdateCaFile(std::string caFile);
void SetHeadlessTransferLimits(const TransferLimits& limits);
// Only the test copy of the console calls this (see update_signature.h).
void SetHeadlessUpdateKey(const UpdateKey& key);
const UpgradeModuleOptions& HeadlessUpgradeSettings();
WizardViewFactory HeadlessWizardViewFactory(platform::EventLog& log, platform::EventLoop& loop);

}  // namespace vornida
