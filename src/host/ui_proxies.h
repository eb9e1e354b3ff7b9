// The main window's implementations of the engine's reporting interfaces:
// labels and the progress bar forward to functions of the movie, the picture
// box draws into the canvas window. Workers may call every operation; canvas
// work is carried out on the UI thread while the worker waits.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "host/canvas_area.h"
#include "host/ui_interfaces.h"

namespace vornida {

class CFlashCtrl;

// A text the movie shows, set through one movie function ("setInfoText",
// "setStateText").
class VRNLabel final : public MLabel {
 public:
  VRNLabel(CFlashCtrl* control, std::string function) : control_(control), function_(std::move(function)) {}

  // The label has no window of its own, so it has no size.
  int GetWidth() override { return 0; }
  int GetHeight() override { return 0; }
  void SetText(const std::string& text) override;

 private:
  CFlashCtrl* control_;
  std::string function_;
};

// The movie's progress bar. Without a control it only stores the values.
class VRNProgressBar final : public MProgressBar {
 public:
  explicit VRNProgressBar(CFlashCtrl* control = nullptr) : control_(control) {}

  void SetPos(int position) override;
  int GetPos() override { return static_cast<int>(position_.load()); }
  void SetMax(int maximum) override;
  int GetMax() override { return static_cast<int>(maximum_.load()); }

 private:
  std::atomic<double> position_{0.0};
  std::atomic<double> maximum_{100.0};
  CFlashCtrl* control_;
};

// The collage canvas as the engine's picture box.
class VRNPictureBox final : public MPictureBox {
 public:
  static constexpr std::uint32_t kBackground = 0xFFFFFFFFu;
  static constexpr std::uint32_t kSecondColor = 0xFF800000u;

  // `placement` gives the canvas window and the area it is centred in;
  // `control` is the movie told about a new preview.
  VRNPictureBox(CanvasPlacement* placement, CFlashCtrl* control) : placement_(placement), control_(control) {}

  void DrawImage(const platform::PixelView& picture) override;
  void SetSize(int width, int height) override;
  int GetWidth() override;
  int GetHeight() override;
  std::uint32_t GetBackColor() override { return kBackground; }
  std::uint32_t GetSecondColor() override { return kSecondColor; }
  void Hide() override;
  // Shows the canvas and tells the movie to drop its own preview picture.
  void Show() override;

 private:
  // Runs canvas work on the UI thread; false when it could not run.
  template <typename Work>
  bool OnUiThread(Work&& work);

  CanvasPlacement* placement_;
  CFlashCtrl* control_;
};

}  // namespace vornida
