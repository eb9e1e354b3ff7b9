// The parts of the main window that the commands and the engine use: the
// canvas with the area it is centred in, and the reporting proxies wired to
// the main movie ("setStateText", "setInfoText", the progress bar, the picture
// box over the canvas). Whichever host plays the main window (the desktop
// window, the headless host) owns one and attaches it to the main movie's
// control; a command reaches it through CVRFlashCtrl::MainWindow().
#pragma once

#include <atomic>

#include "host/canvas_area.h"
#include "host/ui_proxies.h"

namespace vornida {

class CFlashCtrl;

struct MainWindowParts {
  MainWindowParts(CFlashCtrl* control, platform::CanvasWindow* canvas)
      : placement(canvas),
        progressBar(control),
        stateLabel(control, "setStateText"),
        infoLabel(control, "setInfoText"),
        pictureBox(&placement, control) {}
  MainWindowParts(const MainWindowParts&) = delete;
  MainWindowParts& operator=(const MainWindowParts&) = delete;

  CanvasPlacement placement;
  VRNProgressBar progressBar;
  VRNLabel stateLabel;
  VRNLabel infoLabel;
  VRNPictureBox pictureBox;
  // Set once the user asked for an update check; the silent check then stays away.
  std::atomic<bool> updateChecked{false};
};

}  // namespace vornida
