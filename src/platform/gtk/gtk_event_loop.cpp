#include "platform/gtk/gtk_event_loop.h"

#include <utility>

namespace vornida::platform {

// The posted tasks. Shared with the GLib source, which may outlive the loop
// object for a moment when the loop goes while a post is in flight.
struct GtkEventLoop::Queue {
  std::mutex mutex;
  std::deque<Task> tasks;
  bool scheduled = false;  // a drain source is attached
  GtkEventLoop* loop = nullptr;
  GMainContext* context = nullptr;
};

struct GtkEventLoop::Timer {
  GtkEventLoop* loop;
  TimerId id;
  bool repeating;
  Task task;
  GSource* source = nullptr;
};

GtkEventLoop::GtkEventLoop()
    : context_(g_main_context_ref(g_main_context_default())),
      uiThread_(std::this_thread::get_id()),
      queue_(std::make_shared<Queue>()) {
  queue_->loop = this;
  queue_->context = context_;
}

GtkEventLoop::~GtkEventLoop() {
  for (auto& [id, timer] : timers_) {
    g_source_destroy(timer->source);
    g_source_unref(timer->source);
  }
  timers_.clear();
  std::lock_guard lock(queue_->mutex);
  queue_->loop = nullptr;
  // Tasks still queued are dropped; RunOnUiThread's waiters are released by
  // the tasks' destructors.
  queue_->tasks.clear();
  g_main_context_unref(context_);
}

void GtkEventLoop::post(Task task) {
  bool attach = false;
  {
    std::lock_guard lock(queue_->mutex);
    if (queue_->loop == nullptr) return;
    queue_->tasks.push_back(std::move(task));
    attach = !queue_->scheduled;
    queue_->scheduled = true;
  }
  if (!attach) return;
  auto* holder = new std::shared_ptr<Queue>(queue_);
  GSource* source = g_idle_source_new();
  g_source_set_priority(source, G_PRIORITY_DEFAULT);
  g_source_set_callback(
      source,
      [](gpointer data) -> gboolean {
        auto& queue = *static_cast<std::shared_ptr<Queue>*>(data);
        GtkEventLoop* loop;
        {
          std::lock_guard lock(queue->mutex);
          queue->scheduled = false;
          loop = queue->loop;
        }
        if (loop != nullptr) loop->RunQueue();
        return G_SOURCE_REMOVE;
      },
      holder, [](gpointer data) { delete static_cast<std::shared_ptr<Queue>*>(data); });
  g_source_attach(source, context_);
  g_source_unref(source);
}

void GtkEventLoop::RunQueue() {
  // Tasks posted before this turn run now; tasks they post wait for the next.
  std::deque<Task> batch;
  {
    std::lock_guard lock(queue_->mutex);
    batch.swap(queue_->tasks);
  }
  for (Task& task : batch) task();
}

gboolean GtkEventLoop::OnTimer(gpointer data) {
  auto* timer = static_cast<Timer*>(data);
  GtkEventLoop* loop = timer->loop;
  const TimerId id = timer->id;
  if (timer->repeating) {
    // A copy: the task may stop its own timer.
    Task task = timer->task;
    task();
    return loop->timers_.count(id) != 0 ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
  }
  Task task = std::move(timer->task);
  auto it = loop->timers_.find(id);
  g_source_unref(it->second->source);
  loop->timers_.erase(it);  // before the task runs, so it may start timers freely
  task();
  return G_SOURCE_REMOVE;
}

EventLoop::TimerId GtkEventLoop::startTimer(std::chrono::milliseconds interval, bool repeating, Task task) {
  const TimerId id = nextTimerId_++;
  auto timer = std::make_unique<Timer>(Timer{this, id, repeating, std::move(task)});
  const auto ms = interval.count() < 0 ? 0 : interval.count();
  timer->source = g_timeout_source_new(static_cast<guint>(ms));
  g_source_set_callback(timer->source, &GtkEventLoop::OnTimer, timer.get(), nullptr);
  g_source_attach(timer->source, context_);
  timers_.emplace(id, std::move(timer));
  return id;
}

void GtkEventLoop::stopTimer(TimerId id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  // The timer object may be running its task right now (a task that stops
  // its own timer): destroying the source is safe then, and the object goes
  // with the map entry only after the task's copy has been made.
  g_source_destroy(it->second->source);
  g_source_unref(it->second->source);
  timers_.erase(it);
}

bool GtkEventLoop::onUiThread() const { return std::this_thread::get_id() == uiThread_; }

void GtkEventLoop::wake() { g_main_context_wakeup(context_); }

bool GtkEventLoop::iterate(bool mayBlock) {
  if (!mayBlock) return g_main_context_iteration(context_, FALSE) != FALSE;
  // Bound the sleep: a condition met by another thread without a post is
  // seen within 100 ms at the latest.
  GSource* bound = g_timeout_source_new(100);
  g_source_set_callback(bound, [](gpointer) -> gboolean { return G_SOURCE_REMOVE; }, nullptr, nullptr);
  g_source_attach(bound, context_);
  const bool ran = g_main_context_iteration(context_, TRUE) != FALSE;
  g_source_destroy(bound);
  g_source_unref(bound);
  return ran;
}

}  // namespace vornida::platform
