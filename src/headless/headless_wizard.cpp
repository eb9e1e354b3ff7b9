#include "headless/headless_wizard.h"

#include <chrono>

#include "platform/headless/headless_platform.h"
#include "upgrade/upgrade_commands.h"

namespace vornida {

namespace {

// How often a shown wizard is looked at for a wait; short, since every tick
// is cheap.
constexpr std::chrono::milliseconds kTickInterval{20};

const char* PressName(WizardPress press) {
  switch (press) {
    case WizardPress::Next: return "next";
    case WizardPress::Finish: return "finish";
    case WizardPress::Cancel: return "cancel";
  }
  return "";
}

// What the console's options set, before the host is built.
UpgradeModuleOptions& HeadlessUpgradeOptions() {
  static UpgradeModuleOptions options;
  return options;
}

}  // namespace

bool WizardPressQueue::Prepare(std::string_view list) {
  std::deque<WizardPress> parsed;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(',', start);
    if (end == std::string_view::npos) end = list.size();
    const std::string_view word = list.substr(start, end - start);
    if (word == "next")
      parsed.push_back(WizardPress::Next);
    else if (word == "finish")
      parsed.push_back(WizardPress::Finish);
    else if (word == "cancel")
      parsed.push_back(WizardPress::Cancel);
    else
      return false;
    start = end + 1;
  }
  presses_.insert(presses_.end(), parsed.begin(), parsed.end());
  return true;
}

std::optional<WizardPress> WizardPressQueue::Take() {
  if (presses_.empty()) return std::nullopt;
  const WizardPress press = presses_.front();
  presses_.pop_front();
  return press;
}

HeadlessWizardView::HeadlessWizardView(platform::EventLog& log, platform::EventLoop& loop, WizardPressQueue& presses)
    : log_(log), loop_(loop), presses_(presses) {}

HeadlessWizardView::~HeadlessWizardView() { StopTicking(); }

void HeadlessWizardView::Bind(CUpgradeWizard* wizard) {
  wizard_ = wizard;
  if (!wizard_) {
    StopTicking();
  } else if (!ticker_) {
    // Ticking for the wizard's whole life also tells the headless host that
    // work is still under way while a download runs.
    ticker_ = loop_.startTimer(kTickInterval, true, [this] { Tick(); });
  }
}

void HeadlessWizardView::StopTicking() {
  if (ticker_) loop_.stopTimer(ticker_);
  ticker_ = 0;
}

void HeadlessWizardView::Tick() {
  if (!wizard_ || !wizard_->IsWaitingForUser()) return;
  const std::optional<WizardPress> press = presses_.Take();
  if (press && wizard_->IsButtonEnabled(*press)) {
    log_.line(std::string("wizard: press ") + PressName(*press));
    wizard_->Press(*press);
    return;
  }
  log_.line(press ? std::string("wizard: cancel (") + PressName(*press) + " not enabled)"
                  : std::string("wizard: cancel (no prepared press)"));
  wizard_->Press(WizardPress::Cancel);
}

void HeadlessWizardView::ShowPage(int page, const std::string& caption, const std::string& title,
                                  const std::string& subtitle) {
  log_.line("wizard: page " + std::to_string(page) + " caption=" + caption + " title=" + title +
            " subtitle=" + subtitle);
}

void HeadlessWizardView::SetControlText(int control, const std::string& text) {
  log_.line("wizard: text " + std::to_string(control) + " " + text);
}

void HeadlessWizardView::AppendDescription(const std::string& text) { log_.line("wizard: description " + text); }

void HeadlessWizardView::HideControl(int control) { log_.line("wizard: hide " + std::to_string(control)); }

void HeadlessWizardView::SetButtons(std::uint32_t flags) {
  std::string names;
  if (flags & kWizardNext) names += "next";
  if (flags & kWizardFinish) names += names.empty() ? "finish" : ",finish";
  if (flags & kWizardDisabledFinish) names += names.empty() ? "finish-disabled" : ",finish-disabled";
  log_.line("wizard: buttons " + (names.empty() ? std::string("none") : names));
}

void HeadlessWizardView::SetFinishText(const std::string& text) { log_.line("wizard: finish-text " + text); }

void HeadlessWizardView::SetProgress(int percent) { log_.line("wizard: progress " + std::to_string(percent)); }

void HeadlessWizardView::SetAnimation(bool playing) {
  log_.line(std::string("wizard: animation ") + (playing ? "play" : "stop"));
}

void HeadlessWizardView::Show() { log_.line("wizard: show"); }

void HeadlessWizardView::Destroy() {
  log_.line("wizard: close");
  StopTicking();
}

WizardPressQueue& HeadlessWizardPresses() {
  static WizardPressQueue presses;
  return presses;
}

void SetHeadlessUpdateUrl(std::string urlList) { HeadlessUpgradeOptions().urlList = std::move(urlList); }
void SetHeadlessUpdateCaFile(std::string caFile) { HeadlessUpgradeOptions().caFile = std::move(caFile); }
void SetHeadlessTransferLimits(const TransferLimits& limits) { HeadlessUpgradeOptions().limits = limits; }
void SetHeadlessUpdateKey(const UpdateKey& key) { HeadlessUpgradeOptions().trustedKey = key; }

const UpgradeModuleOptions& HeadlessUpgradeSettings() { return HeadlessUpgradeOptions(); }

WizardViewFactory HeadlessWizardViewFactory(platform::EventLog& log, platform::EventLoop& loop) {
  return [&log, &loop](bool) { return std::make_unique<HeadlessWizardView>(log, loop, HeadlessWizardPresses()); };
}

}  // namespace vornida
