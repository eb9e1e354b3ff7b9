// The top-level window around the main movie, as the window commands of the
// movie drive it. The movie draws its own title bar, so minimising,
// maximising, closing, dragging and the system menu all arrive as commands.
#pragma once

#include <cstdint>

namespace vornida::platform {

// Which system-menu items are enabled when the menu is shown.
struct SystemMenuState {
  bool restoreEnabled = false;
  bool maximizeEnabled = true;
  bool moveEnabled = true;
  bool sizeEnabled = true;
};

class FrameWindow {
 public:
  virtual ~FrameWindow() = default;

  // Queues a system command (kSc*) for the frame; it is carried out after the
  // current call returns.
  virtual void postSysCommand(std::uint32_t command) = 0;
  // Carries out a system command at once.
  virtual void sendSysCommand(std::uint32_t command) = 0;
  // Sends one of the frame's private messages (kMsg*).
  virtual void sendMessage(std::uint32_t message) = 0;

  virtual bool isMaximized() const = 0;

  // False when the frame has no system menu.
  virtual bool hasSystemMenu() const = 0;
  // Shows the system menu at a point in the movie's client coordinates and
  // returns the chosen command, 0 when the menu was dismissed.
  virtual std::uint32_t trackSystemMenu(int clientX, int clientY, const SystemMenuState& state) = 0;
};

}  // namespace vornida::platform
