#include "upgrade/upgrade_wizard.h"

#include <unistd.h>

#include <filesystem>

#include "platform/system_codes.h"
#include "upgrade/sha256.h"
#include "upgrade/zip_reader.h"

namespace vornida {

namespace {

std::string FileNameOfUrl(const std::string& src) {
  const std::size_t slash = src.find_last_of("/\\");
  return slash == std::string::npos ? src : src.substr(slash + 1);
}

void RemoveFile(const std::string& path) {
  if (!path.empty()) ::unlink(path.c_str());
}

// Empties `folder` (read-only files too) and makes sure it exists.
void ResetFolder(const std::string& folder) {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  std::filesystem::create_directories(folder, ignored);
}

}  // namespace

CUpgradeWizard::CUpgradeWizard(bool silent, WizardView& view, const platform::Services& services,
                               UpgradeWizardSettings settings, WizardTextSource texts)
    : silent_(silent),
      view_(view),
      services_(services),
      settings_(std::move(settings)),
      texts_(std::move(texts)),
      visible_(!silent),
      manifestSink_(*services.loop, [this](const ThreadNotification& note) { OnPage1Notify(note); }),
      installerSink_(*services.loop, [this](const ThreadNotification& note) { OnPage3Notify(note); }) {
  urls_ = SplitUrlList(settings_.urlList);
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(settings_.manifestPath).parent_path(), ignored);
  manifestDownload_.SetNotifyWindow(&manifestSink_);
  installerDownload_.SetNotifyWindow(&installerSink_);
  view_.Bind(this);
}

CUpgradeWizard::~CUpgradeWizard() {
  view_.Bind(nullptr);
  manifestSink_.Close();
  installerSink_.Close();
  if (timer_) services_.loop->stopTimer(timer_);
  // The downloads stop and join as they go; the manifest copy goes with its
  // downloader, a finished installer stays (it was kept).
}

std::string CUpgradeWizard::Text(const std::string& key) const { return texts_.getText ? texts_.getText(key) : key; }

void CUpgradeWizard::Start() { ActivatePage1(); }

bool CUpgradeWizard::IsButtonEnabled(WizardPress press) const {
  if (closed_) return false;
  switch (press) {
    case WizardPress::Next: return (buttons_ & kWizardNext) != 0;
    case WizardPress::Finish: return (buttons_ & kWizardFinish) != 0;
    case WizardPress::Cancel: return true;
  }
  return false;
}

bool CUpgradeWizard::IsWaitingForUser() const {
  return !closed_ && visible_ && !manifestPending_ && !installerPending_ && timer_ == 0;
}

void CUpgradeWizard::Press(WizardPress press) {
  if (!IsButtonEnabled(press)) return;
  switch (press) {
    case WizardPress::Cancel:
      Close();
      break;
    case WizardPress::Next:
      if (page_ == 2) ActivatePage3();
      break;
    case WizardPress::Finish:
      if (page_ == 3 && !installerPath_.empty() && services_.shell)
        services_.shell->execute("open", installerPath_, "", platform::kShowShow);
      Close();
      break;
  }
}

void CUpgradeWizard::ShowPage(int page) {
  page_ = page;
  const std::string prefix = "UW.Page" + std::to_string(page);
  view_.ShowPage(page, Text("UW.Title"), Text(prefix + ".Title"), Text(prefix + ".SubTitle"));
}

void CUpgradeWizard::SetButtons(std::uint32_t flags) {
  buttons_ = flags;
  view_.SetButtons(flags);
}

void CUpgradeWizard::Close() {
  if (closed_) return;
  closed_ = true;
  visible_ = false;
  if (timer_) {
    services_.loop->stopTimer(timer_);
    timer_ = 0;
  }
  manifestDownload_.RequestStop();
  installerDownload_.RequestStop();
  manifestPending_ = installerPending_ = false;
  view_.Destroy();
  // The owner may free the wizard from here, so the call waits for the loop.
  if (closedHandler_) services_.loop->post([handler = closedHandler_] { handler(); });
}

void CUpgradeWizard::StartTimer(int which) {
  timer_ = services_.loop->startTimer(settings_.silentStepDelay, false, [this, which] {
    timer_ = 0;
    OnPage2Timer(which);
  });
}

// --- Page 1: the manifest ---

void CUpgradeWizard::ActivatePage1() {
  ShowPage(1);
  SetButtons(kWizardNoButton);
  view_.SetAnimation(true);
  view_.SetControlText(kWizardStatusText, Text("UW.Page1.Msg0"));
  TryNextUrl();
}

void CUpgradeWizard::TryNextUrl() {
  while (nextUrl_ < urls_.size()) {
    const std::string& url = urls_[nextUrl_++];
    if (manifestDownload_.Download(url, settings_.manifestPath)) {
      manifestPending_ = true;
      return;
    }
  }
  view_.SetAnimation(false);
  view_.SetControlText(kWizardStatusText, Text("UW.Page1.ErrMsg1"));
  if (silent_) Close();
}

void CUpgradeWizard::OnPage1Notify(const ThreadNotification& note) {
  if (closed_ || page_ != 1 || note.kind != kNotifyEnd) return;
  manifestPending_ = false;
  switch (manifestDownload_.GetStatus()) {
    case kStatusError:
      TryNextUrl();
      break;
    case kStatusDownloaded:
      view_.SetAnimation(false);
      view_.SetControlText(kWizardStatusText, Text("UW.Page1.Msg1"));
      ActivatePage2();  // the page presses Next itself
      break;
    default:
      break;
  }
}

// --- Page 2: versions and description ---

void CUpgradeWizard::ActivatePage2() {
  ShowPage(2);
  SetButtons(kWizardNext);
  const std::string version = texts_.getVersion ? texts_.getVersion() : std::string();
  const ManifestVersion manifest = ReadManifestVersion(settings_.manifestPath, version);
  if (manifest.loaded) {
    if (manifest.newer) {
      newVersion_ = manifest.server;
      view_.SetControlText(kWizardVersionText,
                           FormatWithDoubles(Text("UW.Page2.Msg1"), {manifest.current, manifest.server}));
      if (manifest.hasFileList) {
        patchFound_ = manifest.patchFound;
        patchName_ = manifest.patchName;
        if (manifest.hasDescription) view_.AppendDescription(manifest.description);
        if (silent_) StartTimer(1);
      } else if (silent_) {
        // Nothing could ever move a hidden wizard on from here.
        Close();
        return;
      }
    } else {
      view_.SetControlText(kWizardVersionText, FormatWithDoubles(Text("UW.Page2.Msg2"), {manifest.current}));
      view_.HideControl(kWizardDescriptionLabel);
      view_.HideControl(kWizardDescription);
      view_.HideControl(kWizardHintText);
      if (silent_)
        StartTimer(2);
      else
        SetButtons(kWizardFinish);
    }
  }
  view_.SetControlText(kWizardDescriptionLabel, Text("UW.Page2.Text1"));
  view_.SetControlText(kWizardHintText, Text("UW.Page2.Text2"));
}

void CUpgradeWizard::OnPage2Timer(int which) {
  if (closed_) return;
  if (which == 2) {
    Close();
    return;
  }
  silent_ = false;
  int answer = platform::kIdOk;
  if (services_.messageBoxes)
    answer = services_.messageBoxes->showMessageBox(
        {Text("UW.Page2.Msg3"), Text("Msg.Title"), platform::kMbYesNo | platform::kMbIconInformation});
  if (answer == platform::kIdNo) {
    Close();
    return;
  }
  visible_ = true;
  view_.Show();
  ActivatePage3();
}

// --- Page 3: the installer ---

void CUpgradeWizard::ActivatePage3() {
  ShowPage(3);
  SetButtons(kWizardDisabledFinish);
  view_.SetControlText(kWizardStatusText, Text("UW.Page3.Msg0"));
  view_.SetFinishText(Text("UW.Page3.Setup"));
  // The previous check's installer is no longer needed.
  ResetFolder(settings_.installerFolder);
  items_ = ReadInstallItems(settings_.manifestPath);
  nextItem_ = 0;
  StartNextItem();
}

void CUpgradeWizard::StartNextItem() {
  while (nextItem_ < items_.size()) {
    currentItem_ = &items_[nextItem_++];
    const std::string fileName = FileNameOfUrl(currentItem_->src);
    if (fileName.empty() || fileName == "." || fileName == "..") continue;
    installerPath_ = settings_.installerFolder + "/" + fileName;
    if (installerDownload_.Download(currentItem_->src, installerPath_)) {
      installerPending_ = true;
      return;
    }
  }
  currentItem_ = nullptr;
  installerPath_.clear();
  view_.SetControlText(kWizardStatusText, Text("UW.Page3.Msg1"));
}

void CUpgradeWizard::OnPage3Notify(const ThreadNotification& note) {
  if (closed_ || page_ != 3) return;
  if (note.kind == kNotifyPercent) {
    view_.SetProgress(note.value);
    return;
  }
  if (note.kind != kNotifyEnd) return;
  installerPending_ = false;
  switch (installerDownload_.GetStatus()) {
    case kStatusError:
      FailCurrentItem();
      break;
    case kStatusDownloaded:
      FinishDownload();
      break;
    default:
      break;
  }
}

void CUpgradeWizard::FailCurrentItem() {
  RemoveFile(installerPath_);
  StartNextItem();
}

void CUpgradeWizard::FinishDownload() {
  installerDownload_.KeepFile();
  const DownloadItem& item = *currentItem_;
  if (!item.sha256.empty() && !FileMatchesSha256(installerPath_, item.sha256)) {
    FailCurrentItem();
    return;
  }
  if (item.type == "ZIPEXE" && !item.inZipExeName.empty()) {
    const std::string& folder = settings_.installerFolder;
    ZipHandlePtr zip(OpenZip(installerPath_, folder));
    int index = -1;
    ZipItemInfo info;
    if (!zip || FindZipItem(zip.get(), item.inZipExeName, true, &index, &info) != kZipOk) {
      zip.reset();
      if (services_.messageBoxes)
        services_.messageBoxes->showMessageBox(
            {Text("UW.Page3.Msg3"), Text("Msg.Title"), platform::kMbOk | platform::kMbIconError});
      return;  // the page stays, Finish disabled; the archive stays too
    }
    const std::string unpacked = folder + "/" + info.name;
    // An older unpacked copy (possibly read-only) must not survive in place
    // of the new one.
    if (unpacked != installerPath_) RemoveFile(unpacked);
    const std::uint32_t result = ExtractZipItem(zip.get(), index, info.name);
    zip.reset();
    if (result != kZipOk) {
      FailCurrentItem();
      return;
    }
    if (unpacked != installerPath_) RemoveFile(installerPath_);
    installerPath_ = unpacked;
  }
  view_.SetControlText(kWizardStatusText, Text("UW.Page3.Msg2"));
  SetButtons(kWizardFinish);
  view_.SetFinishText(Text("UW.Page3.Setup"));
}

}  // namespace vornida
