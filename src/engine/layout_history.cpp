#include "engine/layout_history.h"

#include <chrono>
#include <random>

namespace vornida {

void LayoutHistory::Record(LayoutRecord layout) {
  if (!layouts_.empty()) layouts_.resize(cursor_ + 1);
  layouts_.push_back(std::move(layout));
  if (layouts_.size() > kMaxLayouts) layouts_.erase(layouts_.begin());
  cursor_ = layouts_.size() - 1;
}

std::optional<LayoutRecord> LayoutHistory::Previous() const {
  if (!CanUndo()) return std::nullopt;
  return layouts_[cursor_ - 1];
}

std::optional<LayoutRecord> LayoutHistory::Next() const {
  if (!CanRedo()) return std::nullopt;
  return layouts_[cursor_ + 1];
}

bool LayoutHistory::Move(int steps) {
  const long long to = static_cast<long long>(cursor_) + steps;
  if (layouts_.empty() || to < 0 || to >= static_cast<long long>(layouts_.size())) return false;
  cursor_ = static_cast<std::size_t>(to);
  return true;
}

void LayoutHistory::Clear() {
  layouts_.clear();
  cursor_ = 0;
}

uint32_t NextLayoutSeed(uint32_t shown, bool fixed) {
  if (fixed) {
    // One step of a full-period generator: every seed has a different
    // successor, and none is its own ((a - 1) * x is even, c is odd).
    return shown * 1664525u + 1013904223u;
  }
  static std::mt19937 mix(std::random_device{}() ^
                          static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  uint32_t next = mix();
  while (next == shown) next = mix();
  return next;
}

}  // namespace vornida
