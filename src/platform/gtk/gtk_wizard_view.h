// The upgrade wizard's window: a GtkAssistant with the wizard's three pages.
//
//   page 1  status text (1175) over a spinner (1029) while the manifest comes,
//           and below them the detail line (1176): what the download is
//           doing, or why it failed
//   page 2  version text (2017), the label (2019) over the description
//           (2016, read-only, scrolled) and the hint (2020)
//   page 3  status text (1175) over the download's progress bar (2002) and
//           its own detail line (1176)
//
// Each page has the wizard header: title, subtitle and the header picture.
// The buttons are the wizard's own (Next, Finish, Cancel; never Back); the
// window's close button and Escape press Cancel. An interactive wizard shows
// itself with its first page, modal to the main window; a silent one stays
// hidden until the wizard asks for Show.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>

#include "platform/gtk/gtk_event_loop.h"
#include "upgrade/upgrade_wizard.h"

namespace vornida::platform {

class GtkWizardView final : public vornida::WizardView {
 public:
  // `headerPicture` is the 1x picture file; a file beside it named with
  // "@2x" before the extension is taken on scaled screens. When `loop` is
  // asked to quit the wizard is cancelled, so that its modal run ends.
  GtkWizardView(GtkWindow* parent, bool silent, const std::string& headerPicture, GtkEventLoop& loop);
  ~GtkWizardView() override;
  GtkWizardView(const GtkWizardView&) = delete;
  GtkWizardView& operator=(const GtkWizardView&) = delete;

  void Bind(vornida::CUpgradeWizard* wizard) override { wizard_ = wizard; }
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

  GtkWidget* Window() const { return assistant_; }
  int CurrentPage() const { return page_; }

 private:
  struct Page {
    GtkWidget* box = nullptr;
    GtkWidget* title = nullptr;
    GtkWidget* subtitle = nullptr;
  };

  Page BuildPage(GtkWidget* body);
  GtkWidget* HeaderPicture() const;
  void Press(vornida::WizardPress press);

  GtkWidget* assistant_ = nullptr;
  GtkEventLoop& loop_;
  EventLoop::TimerId quitWatch_ = 0;
  vornida::CUpgradeWizard* wizard_ = nullptr;
  bool silent_;
  bool shown_ = false;
  bool destroyed_ = false;
  int page_ = 0;
  std::string headerPicture_;
  Page pages_[3];
  GtkWidget* status1_ = nullptr;
  GtkWidget* detail1_ = nullptr;
  GtkWidget* spinner_ = nullptr;
  GtkWidget* versionText_ = nullptr;
  GtkWidget* descriptionLabel_ = nullptr;
  GtkWidget* descriptionScroll_ = nullptr;
  GtkWidget* description_ = nullptr;
  GtkWidget* hint_ = nullptr;
  GtkWidget* status3_ = nullptr;
  GtkWidget* detail3_ = nullptr;
  GtkWidget* progress_ = nullptr;
  GtkWidget* next_ = nullptr;
  GtkWidget* finish_ = nullptr;
  GtkWidget* cancel_ = nullptr;
};

}  // namespace vornida::platform
