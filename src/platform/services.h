// The process-wide platform services the core reaches through one bundle.
// The host (desktop or headless) owns the objects; the bundle only points at
// them, so it is cheap to copy.
#pragma once

#include "platform/dialogs.h"
#include "platform/event_loop.h"
#include "platform/shell.h"

namespace vornida::platform {

struct Services {
  EventLoop* loop = nullptr;
  FileDialogs* fileDialogs = nullptr;
  MessageBoxes* messageBoxes = nullptr;
  SystemShell* shell = nullptr;
};

}  // namespace vornida::platform
