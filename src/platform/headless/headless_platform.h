// In-memory implementations of the platform interfaces, for the headless
// host and for tests. Each records what the core asked of it as one line of
// an event log, in the order it happened, and answers from prepared replies
// (what a script says the user would click) or a fixed default.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/canvas_window.h"
#include "platform/dialogs.h"
#include "platform/frame_window.h"
#include "platform/movie_transport.h"
#include "platform/shell.h"

namespace vornida::platform {

// Writes event lines to a stream, whole lines at a time from any thread, and
// flushes each. Line breaks inside an event are written as "\n" so that every
// event stays on one line.
class EventLog {
 public:
  explicit EventLog(std::ostream& out) : out_(out) {}
  void line(const std::string& text);

 private:
  std::mutex mutex_;
  std::ostream& out_;
};

// The movie's side of the transport. Every call the native side makes goes
// to the call listener (by default: logged as "call: REQUEST") and is
// answered by the responder; the return value the native side sets for a
// FlashCall is captured for the caller of deliverFlashCall.
class HeadlessMovie final : public MovieTransport {
 public:
  // Gives the movie's answer text to a request, or nullopt when the movie
  // has no such function (the call then fails).
  using Responder = std::function<std::optional<std::string>(const std::string& request)>;
  // Hears every request before it is answered, from the calling thread.
  using CallListener = std::function<void(const std::string& request)>;

  HeadlessMovie(EventLog& log, Responder responder);
  HeadlessMovie(CallListener listener, Responder responder);

  void setEventSink(MovieEventSink* sink) override;
  bool isOpen() const override { return open_; }
  bool callFunction(const std::string& request, std::string& response) override;
  void setReturnValue(const std::string& value) override;

  // Closing makes later calls into the movie fail, as a destroyed window does.
  void setOpen(bool open) { open_ = open; }

  // Delivers one request as a FlashCall; gives the value the native side set,
  // or nullopt when it set none. Nested deliveries keep their own values.
  std::optional<std::string> deliverFlashCall(const std::string& request);
  bool deliverFsCommand(const std::string& command, const std::string& argument);

 private:
  CallListener listener_;
  Responder responder_;
  MovieEventSink* sink_ = nullptr;
  bool open_ = true;
  std::vector<std::optional<std::string>> returnValues_;  // one per call in progress
};

// File dialogs and message boxes answered from queues of prepared replies.
class ScriptedDialogs final : public FileDialogs, public MessageBoxes {
 public:
  explicit ScriptedDialogs(EventLog& log) : log_(log) {}

  // The next file dialog picks these paths; nullopt cancels it.
  void prepareFileDialog(std::optional<std::vector<std::string>> paths);
  // The next message box is closed with this button.
  void prepareMessageBox(int button);

  FileDialogResult showFileDialog(const FileDialogRequest& request) override;
  // Without a prepared reply a message box answers kIdOk.
  int showMessageBox(const MessageBoxRequest& request) override;

 private:
  EventLog& log_;
  std::deque<std::optional<std::vector<std::string>>> fileAnswers_;
  std::deque<int> messageBoxAnswers_;
};

class RecordingShell final : public SystemShell {
 public:
  explicit RecordingShell(EventLog& log) : log_(log) {}
  bool execute(const std::string& verb, const std::string& target, const std::string& parameters,
               int showState) override;

 private:
  EventLog& log_;
};

// A frame that logs the commands it receives and follows maximise and
// restore, so that commands depending on its state behave as on a desktop.
class HeadlessFrame final : public FrameWindow {
 public:
  explicit HeadlessFrame(EventLog& log) : log_(log) {}

  // The next system menu returns this command.
  void prepareMenu(std::uint32_t command);
  void setMaximized(bool maximized) { maximized_ = maximized; }

  void postSysCommand(std::uint32_t command) override;
  void sendSysCommand(std::uint32_t command) override;
  void sendMessage(std::uint32_t message) override;
  bool isMaximized() const override { return maximized_; }
  bool hasSystemMenu() const override { return true; }
  // Without a prepared reply the menu is dismissed (0).
  std::uint32_t trackSystemMenu(int clientX, int clientY, const SystemMenuState& state) override;

 private:
  void apply(std::uint32_t command);

  EventLog& log_;
  std::deque<std::uint32_t> menuAnswers_;
  bool maximized_ = false;
};

// A canvas that exists from the start, hidden, 200 by 200 at the origin, as
// the main window creates it.
class HeadlessCanvas final : public CanvasWindow {
 public:
  explicit HeadlessCanvas(EventLog& log) : log_(log) {}

  bool exists() const override { return exists_; }
  WindowRect bounds() const override { return bounds_; }
  void move(const WindowRect& rect) override;
  void show() override;
  void hide() override;
  bool isVisible() const override { return visible_; }
  void draw(const PixelView& picture) override;

  void setExists(bool exists) { exists_ = exists; }

 private:
  EventLog& log_;
  WindowRect bounds_{0, 0, 200, 200};
  bool exists_ = true;
  bool visible_ = false;
};

}  // namespace vornida::platform
