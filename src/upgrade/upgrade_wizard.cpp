#include "upgrade/upgrade_wizard.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/system_codes.h"
#include "upgrade/sha256.h"
#include "upgrade/url.h"
#include "upgrade/wizard_texts.h"
#include "upgrade/zip_reader.h"

namespace vornida {

namespace {

std::string FileNameOfUrl(const std::string& src) {
  // The name is the last segment of the path; a query does not name files.
  const std::string path = src.substr(0, src.find_first_of("?#"));
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
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

// At most `limit` bytes of a file; false when it cannot be read or is longer.
bool ReadSmallFile(const std::string& path, std::uint64_t limit, std::string& out) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::string bytes;
  bytes.resize(static_cast<std::size_t>(limit) + 1);
  file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (file.bad() || static_cast<std::uint64_t>(file.gcount()) > limit) return false;
  bytes.resize(static_cast<std::size_t>(file.gcount()));
  out = std::move(bytes);
  return true;
}

bool LacksSpaceFor(const std::string& folder, std::uint64_t bytes) {
  struct statvfs info {};
  if (::statvfs(folder.c_str(), &info) != 0) return false;
  return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize < bytes;
}

}  // namespace

// Takes the installer out of a downloaded zip archive on a worker thread, so
// that neither a big installer nor a slow disk holds up the window, and a
// stop ends it between chunks.
class CInstallerUnpack final : public CThreadObject {
 public:
  enum class Outcome { kUnpacked, kNotFound, kTooLarge, kDiskFull, kDamaged, kStopped };

  ~CInstallerUnpack() override { StopAndJoin(); }

  bool Begin(std::string archive, std::string folder, std::string name, std::uint64_t maxBytes) {
    if (IsRunning()) return false;
    archive_ = std::move(archive);
    folder_ = std::move(folder);
    name_ = std::move(name);
    maxBytes_ = maxBytes;
    return Start();
  }

  // Read after the end notification.
  Outcome outcome() const { return outcome_; }
  const std::string& unpackedPath() const { return unpacked_; }

 protected:
  int Run() override {
    outcome_ = Unpack();
    return outcome_ == Outcome::kUnpacked;
  }

 private:
  Outcome Unpack() {
    ZipHandlePtr zip(OpenZip(archive_, folder_));
    int index = -1;
    ZipItemInfo info;
    if (!zip || FindZipItem(zip.get(), name_, true, &index, &info) != kZipOk) return Outcome::kNotFound;
    if (maxBytes_ != 0 && info.size > maxBytes_) return Outcome::kTooLarge;
    unpacked_ = folder_ + "/" + info.name;
    // An older unpacked copy (possibly read-only) must not survive in place
    // of the new one; an archive named like its installer steps aside.
    std::string source = archive_;
    if (unpacked_ == archive_) {
      source = archive_ + ".archive";
      if (::rename(archive_.c_str(), source.c_str()) != 0) return Outcome::kDamaged;
      zip.reset(OpenZip(source, folder_));
      if (!zip || FindZipItem(zip.get(), name_, true, &index, &info) != kZipOk) return Outcome::kNotFound;
    } else {
      RemoveFile(unpacked_);
    }
    const std::uint32_t result = ExtractZipItem(zip.get(), index, info.name, [this] { return IsStopRequested(); });
    zip.reset();
    RemoveFile(source);  // the archive is not needed any more, whatever came of it
    if (result == kZipOk) return Outcome::kUnpacked;
    if (result == kZipStopped) return Outcome::kStopped;
    return LacksSpaceFor(folder_, info.size) ? Outcome::kDiskFull : Outcome::kDamaged;
  }

  std::string archive_, folder_, name_, unpacked_;
  std::uint64_t maxBytes_ = 0;
  Outcome outcome_ = Outcome::kStopped;
};

CUpgradeWizard::CUpgradeWizard(bool silent, WizardView& view, const platform::Services& services,
                               UpgradeWizardSettings settings, WizardTextSource texts)
    : silent_(silent),
      view_(view),
      services_(services),
      settings_(std::move(settings)),
      texts_(std::move(texts)),
      visible_(!silent),
      manifestSink_(*services.loop, [this](const ThreadNotification& note) { OnPage1Notify(note); }),
      installerSink_(*services.loop, [this](const ThreadNotification& note) { OnPage3Notify(note); }),
      unpack_(std::make_unique<CInstallerUnpack>()) {
  urls_ = SplitUrlList(settings_.urlList);
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(settings_.manifestPath).parent_path(), ignored);
  for (CHttpDownload* download : {&manifestDownload_, &signatureDownload_, &installerDownload_})
    download->SetCaFile(settings_.caFile);
  manifestDownload_.SetNotifyWindow(&manifestSink_);
  signatureDownload_.SetNotifyWindow(&manifestSink_);
  installerDownload_.SetNotifyWindow(&installerSink_);
  unpack_->SetNotifyWindow(&installerSink_);
  view_.Bind(this);
}

CUpgradeWizard::~CUpgradeWizard() {
  view_.Bind(nullptr);
  manifestSink_.Close();
  installerSink_.Close();
  if (timer_) services_.loop->stopTimer(timer_);
  // Every worker is asked to stop before the first one is waited for.
  for (CThreadObject* worker : std::initializer_list<CThreadObject*>{&manifestDownload_, &signatureDownload_,
                                                                      &installerDownload_, unpack_.get()})
    worker->RequestStop();
  // The workers stop and join as they go; the manifest copy and its
  // signature go with their downloaders, a finished installer stays (it was
  // kept).
}

std::string CUpgradeWizard::Text(const std::string& key) const {
  return ChooseWizardText(key, texts_.getText ? texts_.getText(key) : std::string());
}

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
  // Asked in this order, whatever order the compiler gives arguments.
  const std::string caption = Text("UW.Title");
  const std::string title = Text(prefix + ".Title");
  const std::string subtitle = Text(prefix + ".SubTitle");
  view_.ShowPage(page, caption, title, subtitle);
}

void CUpgradeWizard::SetButtons(std::uint32_t flags) {
  buttons_ = flags;
  view_.SetButtons(flags);
}

void CUpgradeWizard::ShowStatus(std::uint16_t downloadStatus) {
  const std::string key = DownloadStatusKey(downloadStatus);
  if (!key.empty()) view_.SetControlText(kWizardDetailText, Text(key));
}

void CUpgradeWizard::ShowFailure(const std::string& key) {
  lastFailure_ = key;
  view_.SetControlText(kWizardDetailText, Text(key));
}

TransferLimits CUpgradeWizard::LimitsFor(std::uint64_t maxBytes) const {
  TransferLimits limits = settings_.limits;
  limits.maxBytes = maxBytes;
  return limits;
}

void CUpgradeWizard::Close() {
  if (closed_) return;
  closed_ = true;
  visible_ = false;
  if (timer_) {
    services_.loop->stopTimer(timer_);
    timer_ = 0;
  }
  // Each worker ends at once and removes what it was writing.
  manifestDownload_.RequestStop();
  signatureDownload_.RequestStop();
  installerDownload_.RequestStop();
  unpack_->RequestStop();
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

// --- Page 1: the manifest and its signature ---

void CUpgradeWizard::ActivatePage1() {
  ShowPage(1);
  SetButtons(kWizardNoButton);
  view_.SetAnimation(true);
  view_.SetControlText(kWizardStatusText, Text("UW.Page1.Msg0"));
  TryNextUrl();
}

void CUpgradeWizard::TryNextUrl() {
  manifestText_.clear();
  manifestDownload_.SetLimits(LimitsFor(kMaxManifestBytes));
  while (nextUrl_ < urls_.size()) {
    currentUrl_ = urls_[nextUrl_++];
    if (manifestDownload_.Download(currentUrl_, settings_.manifestPath)) {
      manifestPending_ = true;
      return;
    }
  }
  view_.SetAnimation(false);
  view_.SetControlText(kWizardStatusText, Text("UW.Page1.ErrMsg1"));
  if (silent_) Close();
}

void CUpgradeWizard::OnPage1Notify(const ThreadNotification& note) {
  if (closed_ || page_ != 1) return;
  if (note.kind == kNotifyStatus) {
    ShowStatus(note.value);
    return;
  }
  if (note.kind != kNotifyEnd) return;
  if (note.sender == &manifestDownload_) {
    switch (manifestDownload_.GetStatus()) {
      case kStatusError:
        manifestPending_ = false;
        ShowFailure(DownloadFailureKey(manifestDownload_));
        TryNextUrl();
        break;
      case kStatusDownloaded:
        FetchSignature();
        break;
      default:
        break;
    }
  } else if (note.sender == &signatureDownload_) {
    switch (signatureDownload_.GetStatus()) {
      case kStatusError: {
        manifestPending_ = false;
        // No signature where one belongs, or something too long to be one.
        const std::uint16_t http = signatureDownload_.GetHttpStatus();
        const std::uint16_t code = signatureDownload_.GetErrorCode();
        if (code == kErrorHttpStatus && (http == 404 || http == 410))
          ShowFailure(wizard_key::kNoSignature);
        else if (code == kErrorTooLarge)
          ShowFailure(wizard_key::kBadSignature);
        else
          ShowFailure(DownloadFailureKey(signatureDownload_));
        RemoveFile(settings_.manifestPath);  // never used unsigned
        TryNextUrl();
        break;
      }
      case kStatusDownloaded:
        manifestPending_ = false;
        CheckSignature();
        break;
      default:
        break;
    }
  }
}

void CUpgradeWizard::FetchSignature() {
  signatureDownload_.SetLimits(LimitsFor(kMaxSignatureBytes));
  if (!signatureDownload_.Download(SiblingUrl(currentUrl_, ".sig"), settings_.manifestPath + ".sig")) {
    manifestPending_ = false;
    ShowFailure(wizard_key::kNoSignature);
    TryNextUrl();
  }
}

void CUpgradeWizard::CheckSignature() {
  std::string manifest, signature;
  const bool read = ReadSmallFile(settings_.manifestPath, kMaxManifestBytes, manifest) &&
                    ReadSmallFile(settings_.manifestPath + ".sig", kMaxSignatureBytes, signature);
  if (!read) {
    ShowFailure("UW.Err.CannotSave");
    RemoveFile(settings_.manifestPath);
    TryNextUrl();
    return;
  }
  if (CheckUpdateSignature(manifest, signature, settings_.trustedKey) != SignatureCheck::kValid) {
    ShowFailure(wizard_key::kBadSignature);
    RemoveFile(settings_.manifestPath);
    TryNextUrl();
    return;
  }
  // From here on the manifest is read from these bytes only.
  manifestText_ = std::move(manifest);
  lastFailure_.clear();
  view_.SetAnimation(false);
  view_.SetControlText(kWizardStatusText, Text("UW.Page1.Msg1"));
  view_.SetControlText(kWizardDetailText, "");
  ActivatePage2();  // the page presses Next itself
}

// --- Page 2: versions and description ---

void CUpgradeWizard::ActivatePage2() {
  ShowPage(2);
  const std::string version = texts_.getVersion ? texts_.getVersion() : std::string();
  const ManifestVersion manifest = ReadManifestVersionFromText(manifestText_, version);
  if (!manifest.loaded) {
    // Nothing in it can be trusted to mean anything: there is no way on.
    lastFailure_ = wizard_key::kDamagedManifest;
    view_.SetControlText(kWizardVersionText, Text(wizard_key::kDamagedManifest));
    view_.HideControl(kWizardDescriptionLabel);
    view_.HideControl(kWizardDescription);
    view_.HideControl(kWizardHintText);
    SetButtons(kWizardNoButton);
    if (silent_) Close();
    return;
  }
  if (manifest.newer) {
    newVersion_ = manifest.server;
    view_.SetControlText(kWizardVersionText,
                         FormatWithDoubles(Text("UW.Page2.Msg1"), {manifest.current, manifest.server}));
    SetButtons(kWizardNext);
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
    if (silent_) {
      SetButtons(kWizardNoButton);
      StartTimer(2);
    } else {
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
  items_ = ReadInstallItemsFromText(manifestText_);
  nextItem_ = 0;
  lastFailure_.clear();
  StartNextItem();
}

void CUpgradeWizard::StartNextItem() {
  while (nextItem_ < items_.size()) {
    currentItem_ = &items_[nextItem_++];
    const std::string fileName = FileNameOfUrl(currentItem_->src);
    std::uint64_t limit = settings_.maxInstallerBytes;
    std::uint64_t declared = 0;
    // A download without its digest (or with a size that is no number)
    // cannot be checked, so it is never fetched.
    if (fileName.empty() || fileName == "." || fileName == ".." || !IsSha256Hex(currentItem_->sha256) ||
        (!currentItem_->size.empty() && (!ParseDeclaredSize(currentItem_->size, declared) || declared == 0))) {
      ShowFailure(wizard_key::kDamagedManifest);
      continue;
    }
    if (declared != 0) {
      if (declared > limit) {
        ShowFailure(wizard_key::kTooLarge);
        continue;
      }
      limit = declared;
    }
    installerPath_ = settings_.installerFolder + "/" + fileName;
    installerDownload_.SetLimits(LimitsFor(limit));
    installerDownload_.SetExpectedSha256(currentItem_->sha256);
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
  if (note.sender == unpack_.get()) {
    if (note.kind == kNotifyEnd) OnUnpacked();
    return;
  }
  if (note.kind == kNotifyPercent) {
    view_.SetProgress(note.value);
    return;
  }
  if (note.kind == kNotifyStatus) {
    ShowStatus(note.value);
    return;
  }
  if (note.kind != kNotifyEnd) return;
  switch (installerDownload_.GetStatus()) {
    case kStatusError:
      installerPending_ = false;
      ShowFailure(DownloadFailureKey(installerDownload_));  // the download removed its file
      StartNextItem();
      break;
    case kStatusDownloaded:
      FinishDownload();
      break;
    default:
      installerPending_ = false;
      break;
  }
}

void CUpgradeWizard::FinishDownload() {
  installerDownload_.KeepFile();
  const DownloadItem& item = *currentItem_;
  if (item.type == "ZIPEXE" && !item.inZipExeName.empty()) {
    if (unpack_->Begin(installerPath_, settings_.installerFolder, item.inZipExeName, settings_.maxInstallerBytes))
      return;  // still pending
    installerPending_ = false;
    RemoveFile(installerPath_);
    ShowFailure(wizard_key::kDamagedArchive);
    StartNextItem();
    return;
  }
  installerPending_ = false;
  OfferInstaller();
}

void CUpgradeWizard::OnUnpacked() {
  installerPending_ = false;
  switch (unpack_->outcome()) {
    case CInstallerUnpack::Outcome::kUnpacked:
      installerPath_ = unpack_->unpackedPath();
      OfferInstaller();
      return;
    case CInstallerUnpack::Outcome::kNotFound:
      if (services_.messageBoxes)
        services_.messageBoxes->showMessageBox(
            {Text("UW.Page3.Msg3"), Text("Msg.Title"), platform::kMbOk | platform::kMbIconError});
      return;  // the page stays, Finish disabled; the archive stays too
    case CInstallerUnpack::Outcome::kStopped:
      return;
    case CInstallerUnpack::Outcome::kTooLarge:
      RemoveFile(installerPath_);
      ShowFailure(wizard_key::kTooLarge);
      break;
    case CInstallerUnpack::Outcome::kDiskFull:
      ShowFailure(wizard_key::kDiskFull);
      break;
    case CInstallerUnpack::Outcome::kDamaged:
      ShowFailure(wizard_key::kDamagedArchive);
      break;
  }
  StartNextItem();
}

void CUpgradeWizard::OfferInstaller() {
  lastFailure_.clear();
  view_.SetControlText(kWizardStatusText, Text("UW.Page3.Msg2"));
  view_.SetControlText(kWizardDetailText, "");
  SetButtons(kWizardFinish);
  view_.SetFinishText(Text("UW.Page3.Setup"));
}

}  // namespace vornida
