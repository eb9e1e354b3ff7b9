// What the start-up and responsiveness benchmark reads (vornida --timing-log
// FILE): one line per event, "EVENT SECONDS [MILLISECONDS]", with the wall
// clock in seconds so that it compares with the time the benchmark started
// the process.
//
//   splash-shown T        the splash window was first drawn
//   load-complete T       the main movie said "LoadComplete"
//   splash-painted T      the splash movie was on the screen and the main
//                         window could take over
//   main-shown T          the main window was first drawn
//   stall T MS            the main loop's 5 ms probe fired MS late (over 2 ms)
//   frame T               a preview picture was drawn into the canvas
//   probe-max MS          at exit: the latest any probe firing came
//
// The events are kept in memory and written at exit.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "platform/gtk/gtk_event_loop.h"

namespace vornida {

class TimingLog {
 public:
  TimingLog(std::string path, platform::GtkEventLoop& loop);
  ~TimingLog();  // writes the file
  TimingLog(const TimingLog&) = delete;
  TimingLog& operator=(const TimingLog&) = delete;

  // Records "EVENT T" the first time `window` is drawn.
  void WatchFirstDraw(GtkWidget* window, const char* event);
  void Record(const char* event);

 private:
  struct Entry {
    const char* event;
    double seconds;
    double milliseconds;  // < 0: none
  };

  std::string path_;
  platform::GtkEventLoop& loop_;
  platform::EventLoop::TimerId probe_ = 0;
  gint64 lastTick_ = 0;
  double maxLate_ = 0;
  std::vector<Entry> entries_;
};

}  // namespace vornida
