// The upgrade wizard's logic: three pages over a small view interface.
//
//   page 1  downloads the update manifest, trying each URL of the list in turn
//   page 2  compares the server's version with ours and shows the description
//   page 3  downloads the installer (unpacking it from a zip archive when the
//           manifest says so) and opens it on Finish
//
// Interactive: the view is shown from the start and the user steps through.
// Silent: the wizard works hidden; it shows itself only when a newer version
// exists and the user says yes to the question box, and from then on behaves
// like the interactive one. Every user-visible text comes from the movie by
// key. All of it runs on the UI thread; downloads report through posted
// notifications.
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

namespace vornida {

class CUpgradeWizard;

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
  std::string manifestPath;     // local copy of the manifest
  std::string installerFolder;  // downloads and unpacked installers
  std::chrono::milliseconds silentStepDelay{1000};  // page 2's pause before it acts in silent mode
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

 private:
  std::string Text(const std::string& key) const;
  void ShowPage(int page);
  void SetButtons(std::uint32_t flags);
  void Close();
  void StartTimer(int which);

  void ActivatePage1();
  void TryNextUrl();
  void OnPage1Notify(const ThreadNotification& note);
  void ActivatePage2();
  void OnPage2Timer(int which);
  void ActivatePage3();
  void StartNextItem();
  void OnPage3Notify(const ThreadNotification& note);
  void FailCurrentItem();
  void FinishDownload();

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

  // Page 1.
  std::vector<std::string> urls_;
  std::size_t nextUrl_ = 0;
  bool manifestPending_ = false;
  // Page 2.
  double newVersion_ = 0;
  bool patchFound_ = false;
  std::string patchName_;
  // Page 3.
  std::vector<DownloadItem> items_;
  std::size_t nextItem_ = 0;
  const DownloadItem* currentItem_ = nullptr;
  std::string installerPath_;
  bool installerPending_ = false;

  // The sinks outlive the downloads that post to them.
  ThreadNotifySink manifestSink_;
  ThreadNotifySink installerSink_;
  CHttpDownload manifestDownload_;
  CHttpDownload installerDownload_;
};

}  // namespace vornida
