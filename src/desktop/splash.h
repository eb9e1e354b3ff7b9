// CSplashScreenDlg: the splash window, 485 by 322, playing the splash movie,
// and the place where the main movie loads (under the splash movie, out of
// sight) until it reports "LoadComplete".
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <vector>

#include "desktop/desktop_context.h"
#include "host/flash_ctrl.h"
#include "platform/gtk/web_movie.h"

namespace vornida {

class CSplashScreenDlg {
 public:
  static constexpr int kWidth = 485;
  static constexpr int kHeight = 322;

  explicit CSplashScreenDlg(DesktopContext& context);
  ~CSplashScreenDlg();
  CSplashScreenDlg(const CSplashScreenDlg&) = delete;
  CSplashScreenDlg& operator=(const CSplashScreenDlg&) = delete;

  GtkWindow* Window() const { return window_; }
  platform::WebMovie* Movie() { return movie_.get(); }

  // Starts the splash movie and shows the window.
  void Show();
  // Runs `then` once the splash movie has been drawn on the screen: at once
  // when it has been, else after its first frame following its load. A
  // splash that never gets drawn holds nothing up for longer than
  // kLongestWaitMs.
  void WhenPainted(std::function<void()> then);
  // Whether the splash movie was drawn (false when the wait gave up).
  bool IsPainted() const { return painted_; }
  static constexpr int kLongestWaitMs = 4000;
  // The main movie's view loads here, under the splash movie, at the size it
  // will have in the maximised main window (so that the page lays out once,
  // and the hand-over does not resize it).
  void HostMainMovie(GtkWidget* view, int width, int height);
  // Gives the main movie's view up (to the main window).
  void ReleaseMainMovie(GtkWidget* view);
  // The splash movie goes and the window hides (the object stays until exit).
  void Dismiss();

 private:
  DesktopContext& context_;
  GtkWindow* window_ = nullptr;
  GtkOverlay* overlay_ = nullptr;
  GtkWidget* mainView_ = nullptr;
  GdkRectangle mainViewSize_{0, 0, 0, 0};
  bool loaded_ = false;
  bool painted_ = false;
  bool settled_ = false;  // painted, or given up on
  bool paintPosted_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // for tasks posted to the loop
  platform::EventLoop::TimerId paintWatch_ = 0;
  std::vector<std::function<void()>> whenPainted_;
  void OnPainted(bool drawn);
  void CancelPaintWatch();
  GCancellable* paintCancel_ = nullptr;
  std::unique_ptr<platform::WebMovie> movie_;
  std::unique_ptr<CFlashCtrlEx> control_;
};

}  // namespace vornida
