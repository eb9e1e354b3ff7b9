#include "host/ui_proxies.h"

#include <functional>

#include "host/flash_ctrl.h"
#include "host/movie_calls.h"
#include "host/ui_thread.h"

namespace vornida {
namespace {

void Call(CFlashCtrl* control, const std::string& request) {
  if (control == nullptr) return;
  std::string ignored;
  control->CallFunction(request, ignored);
}

}  // namespace

void VRNLabel::SetText(const std::string& text) { Call(control_, movie_request::SetLabelText(function_, text)); }

void VRNProgressBar::SetPos(int position) {
  position_ = position;
  Call(control_, movie_request::SetProgress(position));
}

void VRNProgressBar::SetMax(int maximum) {
  maximum_ = maximum;
  Call(control_, movie_request::SetProgressMaximum(maximum));
}

template <typename Work>
bool VRNPictureBox::OnUiThread(Work&& work) {
  if (control_ == nullptr) {
    work();  // no loop to go through: a test or a box without a movie
    return true;
  }
  return RunOnUiThread(control_->Loop(), std::function<void()>(std::forward<Work>(work)));
}

void VRNPictureBox::DrawImage(const platform::PixelView& picture) {
  platform::CanvasWindow* canvas = placement_ != nullptr ? placement_->Canvas() : nullptr;
  if (canvas == nullptr) return;
  OnUiThread([&] {
    if (canvas->exists()) canvas->draw(picture);
  });
}

void VRNPictureBox::SetSize(int width, int height) {
  if (placement_ == nullptr || placement_->Canvas() == nullptr) return;
  OnUiThread([&] {
    if (!placement_->Canvas()->exists()) return;
    placement_->ResizeCanvas(width, height);
    if (control_ != nullptr) control_->Transport().repaint();
  });
}

int VRNPictureBox::GetWidth() {
  if (placement_ == nullptr) return 0;
  return static_cast<int>(placement_->Area().Width());
}

int VRNPictureBox::GetHeight() {
  if (placement_ == nullptr) return 0;
  return static_cast<int>(placement_->Area().Height());
}

void VRNPictureBox::Hide() {
  platform::CanvasWindow* canvas = placement_ != nullptr ? placement_->Canvas() : nullptr;
  if (canvas == nullptr) return;
  OnUiThread([&] { canvas->hide(); });
}

void VRNPictureBox::Show() {
  platform::CanvasWindow* canvas = placement_ != nullptr ? placement_->Canvas() : nullptr;
  if (canvas != nullptr) OnUiThread([&] { canvas->show(); });
  Call(control_, movie_request::ClearPreviewShape());
}

}  // namespace vornida
