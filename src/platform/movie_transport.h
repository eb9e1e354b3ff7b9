// The channel between the native side and one movie.
//
// The movie calls native code with an `invoke` request text (a FlashCall) and
// waits for the answer that native code sets with setReturnValue while it
// handles the call. Native code calls a function of the movie with
// callFunction and receives the movie's answer text. The older command
// channel (FSCommand) delivers a command and one argument and takes no answer.
//
// The desktop host implements this over its web view; the headless host plays
// the movie's side from a script. Every member is used on the UI thread only;
// the host bridge marshals calls made by worker threads.
#pragma once

#include <string>

namespace vornida::platform {

// Receives the movie's calls. Implemented by the control that hosts the movie.
class MovieEventSink {
 public:
  virtual ~MovieEventSink() = default;
  // One request text. The sink answers by calling setReturnValue on the
  // transport before it returns; a call that sets nothing gives no value.
  virtual void onFlashCall(const std::string& request) = 0;
  // The older channel; returns whether the command was handled.
  virtual bool onFsCommand(const std::string& command, const std::string& argument) = 0;
};

class MovieTransport {
 public:
  virtual ~MovieTransport() = default;

  // Where the movie's calls go; null detaches.
  virtual void setEventSink(MovieEventSink* sink) = 0;

  // False when the movie's window does not exist (not created, or destroyed);
  // calls into the movie fail then.
  virtual bool isOpen() const = 0;

  // Calls a function of the movie. Returns false when the call failed (no
  // window, or the movie has no such function); `response` is then untouched.
  virtual bool callFunction(const std::string& request, std::string& response) = 0;

  // Answers the movie's current FlashCall.
  virtual void setReturnValue(const std::string& value) = 0;

  // Gives the movie the keyboard focus.
  virtual void focus() {}

  // Repaints the movie at once (after the canvas laid over it moved).
  virtual void repaint() {}
};

}  // namespace vornida::platform
