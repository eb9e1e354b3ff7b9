#include "desktop/timing_log.h"

#include <cstdio>

namespace vornida {

namespace {

constexpr gint64 kProbeMicroseconds = 5000;
constexpr double kRecordedLateness = 2.0;  // milliseconds

double Now() { return static_cast<double>(g_get_real_time()) / 1e6; }

}  // namespace

TimingLog::TimingLog(std::string path, platform::GtkEventLoop& loop) : path_(std::move(path)), loop_(loop) {
  entries_.reserve(4096);
  lastTick_ = g_get_monotonic_time();
  probe_ = loop_.startTimer(std::chrono::milliseconds(5), true, [this] {
    const gint64 now = g_get_monotonic_time();
    const double late = static_cast<double>(now - lastTick_ - kProbeMicroseconds) / 1000.0;
    lastTick_ = now;
    if (late > maxLate_) maxLate_ = late;
    if (late > kRecordedLateness) entries_.push_back({"stall", Now(), late});
  });
}

TimingLog::~TimingLog() {
  loop_.stopTimer(probe_);
  FILE* out = std::fopen(path_.c_str(), "w");
  if (out == nullptr) return;
  for (const Entry& entry : entries_) {
    if (entry.milliseconds < 0)
      std::fprintf(out, "%s %.6f\n", entry.event, entry.seconds);
    else
      std::fprintf(out, "%s %.6f %.3f\n", entry.event, entry.seconds, entry.milliseconds);
  }
  std::fprintf(out, "probe-max %.3f\n", maxLate_);
  std::fclose(out);
}

void TimingLog::Record(const char* event) { entries_.push_back({event, Now(), -1}); }

void TimingLog::WatchFirstDraw(GtkWidget* window, const char* event) {
  struct Watch {
    TimingLog* log;
    const char* event;
    gulong handler = 0;
  };
  auto* watch = new Watch{this, event};
  watch->handler = g_signal_connect_data(
      window, "draw", G_CALLBACK(+[](GtkWidget* widget, cairo_t*, gpointer data) -> gboolean {
        auto* w = static_cast<Watch*>(data);
        w->log->Record(w->event);
        g_signal_handler_disconnect(widget, w->handler);  // frees the watch
        return FALSE;
      }),
      watch, [](gpointer data, GClosure*) { delete static_cast<Watch*>(data); }, G_CONNECT_AFTER);
}

}  // namespace vornida
