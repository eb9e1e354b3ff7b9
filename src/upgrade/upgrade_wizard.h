// The upgrade wizard's logic: three pages over a small view interface.
//
//   page 1  downloads the update manifest and its signature, trying each URL
//           of the list in turn, and accepts only a manifest signed with the
//           trusted key
//   page 2  compares the server's version with ours and shows the description
//   page 3  downloads the installer, checks its sha256 from the manifest,
//           unpacks it from a zip archive when the manifest says so, and
//           opens it on Finish
//
// Interactive: the view is shown from the start and the user steps through.
// Silent: the wizard works hidden; it shows itself only when a newer version
// exists and the user says yes to the question box, and from then on behaves
// like the interactive one. Every user-visible text comes from the movie by
// key, with built-in English texts where the movie lacks one (wizard_texts.h).
// All of it runs on the UI thread; downloads and unpacking run on workers and
// report through posted notifications, and Cancel stops them at once.
//
// Every failure says what failed in the detail line (kWizardDetailText): no
// connection, an untrusted certificate, a missing or bad signature, a damaged
// manifest, a checksum mismatch, a full disk, a download too large or too
// slow, a damaged archive, or the server's answer. Whatever fails or is
// cancelled leaves no partial file behind.
//
// On this system the installer is whatever the server offers (a .deb, a
// script, an archive...): it keeps its downloaded (or stored) name and
// Finish hands it to the desktop's default handler. The installer stays in
// the installer folder until the next check reaches page 3, so that it exists
// for as long as the program it started may need it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "platform/services.h"
#include "upgrade/http_download.h"
#include "upgrade/update_manifest.h"
#include "upgrade/update_signature.h"

namespace vornida {

class CUpgradeWizard;
class CInstallerUnpack;

// Bounds of what the wizard fetches.
inline constexpr std::uint64_t kMaxManifestBytes = 1 << 20;       // the manifest, after undoing gzip
inline constexpr std::uint64_t kMaxSignatureBytes = 1024;         // its detached signature (64 bytes)
inline constexpr std::uint64_t kMaxInstallerBytes = 512ull << 20;  // an installer or its archive without a declared size

// Button states the pages ask for.
enum WizardButtonFlags : std::uint32_t {
  kWizardNoButton = 0,
  kWizardNext = 2,
  kWizardFinish = 4,
  kWizardDisabledFinish = 8,
};

// Controls of the pages.
enum WizardControl : int {
  kWizardStatusText = 1175,      // pages 1 and 3
  kWizardDetailText = 1176,      // pages 1 and 3, below the status: how the download goes, or why it failed
  kWizardAnimation = 1029,       // page 1
  kWizardVersionText = 2017,     // page 2
  kWizardDescription = 2016,     // page 2
  kWizardDescriptionLabel = 2019,
  kWizardHintText = 2020,
  kWizardProgress = 2002,        // page 3
  kWizardFinishButton = 12325,
};

enum class WizardPress { Next, Finish, Cancel };

// What the wizard needs of a window. Cancel is always available; Back never.
class WizardView {
 public:
  virtual ~WizardView() = default;
  // The wizard that receives this view's button presses; null when it goes.
  virtual void Bind(CUpgradeWizard* /*wizard*/) {}
  // Page `page` (1 to 3) becomes the one shown, with the sheet caption and the
  // page's header title and subtitle.
  virtual void ShowPage(int page, const std::string& caption, const std::string& title,
                        const std::string& subtitle) = 0;
  virtual void SetControlText(int control, const std::string& text) = 0;
  // Adds text at the end of the description box.
  virtual void AppendDescription(const std::string& text) = 0;
  virtual void HideControl(int control) = 0;
  virtual void SetButtons(std::uint32_t flags) = 0;  // WizardButtonFlags
  virtual void SetFinishText(const std::string& text) = 0;
  virtual void SetProgress(int percent) = 0;
  virtual void SetAnimation(bool playing) = 0;
  // Makes a hidden (silent) wizard visible.
  virtual void Show() = 0;
  // The wizard's window goes away.
  virtual void Destroy() = 0;
};

struct UpgradeWizardSettings {
  std::string urlList;          // manifest URLs separated by ";"
  std::string manifestPath;     // local copy of the manifest; its signature goes beside it (".sig")
  std::string installerFolder;  // downloads and unpacked installers
  std::chrono::milliseconds silentStepDelay{1000};  // page 2's pause before it acts in silent mode
  UpdateKey trustedKey = ReleaseUpdateKey();  // the key manifests must be signed with
  std::string caFile;           // authorities for https servers; empty: the system's
  TransferLimits limits;        // speed floor and redirect time of every download (maxBytes is set per file)
  std::uint64_t maxInstallerBytes = kMaxInstallerBytes;
};

// Where texts come from: the movie's text table and its version.
struct WizardTextSource {
  std::function<std::string(const std::string& key)> getText;
  std::function<std::string()> getVersion;
};

class CUpgradeWizard {
 public:
  CUpgradeWizard(bool silent, WizardView& view, const platform::Services& services, UpgradeWizardSettings settings,
                 WizardTextSource texts);
  // Stops running downloads and waits for them.
  ~CUpgradeWizard();
  CUpgradeWizard(const CUpgradeWizard&) = delete;
  CUpgradeWizard& operator=(const CUpgradeWizard&) = delete;

  // Page 1 becomes active and the manifest download starts.
  void Start();
  // The user pressed a button. Ignored unless that button is enabled.
  void Press(WizardPress press);
  bool IsButtonEnabled(WizardPress press) const;

  // Runs once, on the UI thread's loop, after the window has gone.
  void SetClosedHandler(std::function<void()> handler) { closedHandler_ = std::move(handler); }

  bool IsClosed() const { return closed_; }
  bool IsVisible() const { return visible_; }
  bool IsSilent() const { return silent_; }
  int Page() const { return page_; }
  std::uint32_t Buttons() const { return buttons_; }
  // Shown, open, and nothing of its own left to happen: only the user can
  // move it on.
  bool IsWaitingForUser() const;
  // The installer that Finish opens; empty until one is ready.
  const std::string& InstallerPath() const { return installerPath_; }
  double NewVersion() const { return newVersion_; }
  // Key of the text that told the last failure; empty when none.
  const std::string& LastFailureKey() const { return lastFailure_; }

 private:
  std::string Text(const std::string& key) const;
  void ShowPage(int page);
  void SetButtons(std::uint32_t flags);
  void Close();
  void StartTimer(int which);

  void ShowStatus(std::uint16_t downloadStatus);
  void ShowFailure(const std::string& key);
  TransferLimits LimitsFor(std::uint64_t maxBytes) const;

  void ActivatePage1();
  void TryNextUrl();
  void OnPage1Notify(const ThreadNotification& note);
  void FetchSignature();
  void CheckSignature();
  void ActivatePage2();
  void OnPage2Timer(int which);
  void ActivatePage3();
  void StartNextItem();
  void OnPage3Notify(const ThreadNotification& note);
  void FinishDownload();
  void OnUnpacked();
  void OfferInstaller();

  bool silent_;
  WizardView& view_;
  platform::Services services_;
  UpgradeWizardSettings settings_;
  WizardTextSource texts_;

  int page_ = 0;
  bool closed_ = false;
  bool visible_ = false;
  std::uint32_t buttons_ = kWizardNoButton;
  std::function<void()> closedHandler_;
  platform::EventLoop::TimerId timer_ = 0;

  std::string lastFailure_;

  // Page 1.
  std::vector<std::string> urls_;
  std::size_t nextUrl_ = 0;
  std::string currentUrl_;
  bool manifestPending_ = false;  // the manifest or its signature is on its way
  std::string manifestText_;      // the manifest whose signature was checked; what pages 2 and 3 read
  // Page 2.
  double newVersion_ = 0;
  bool patchFound_ = false;
  std::string patchName_;
  // Page 3.
  std::vector<DownloadItem> items_;
  std::size_t nextItem_ = 0;
  const DownloadItem* currentItem_ = nullptr;
  std::string installerPath_;
  bool installerPending_ = false;  // downloading or unpacking

  // The sinks outlive the workers that post to them.
  ThreadNotifySink manifestSink_;
  ThreadNotifySink installerSink_;
  CHttpDownload manifestDownload_;
  CHttpDownload signatureDownload_;
  CHttpDownload installerDownload_;
  std::unique_ptr<CInstallerUnpack> unpack_;
};

}  // namespace vornida
