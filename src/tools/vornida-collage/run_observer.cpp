#include "tools/vornida-collage/run_observer.h"

#include <algorithm>

#include "base/text.h"

namespace vornida::collage_cli {

void ProgressDisplay::SetMaximum(int maximum) {
  maximum_ = std::max(0, maximum);
  Draw();
}

void ProgressDisplay::SetPosition(int position) {
  position_ = std::max(0, position);
  Draw();
}

void ProgressDisplay::SetStep(const std::string& text) {
  if (text.empty() || text == step_) return;
  step_ = text;
  if (style_ == ProgressStyle::Lines) out_ << step_ << std::endl;
  Draw();
}

void ProgressDisplay::Draw() {
  if (style_ != ProgressStyle::Bar) return;
  constexpr int kWidth = 30;
  const int percent = maximum_ > 0 ? std::min(100, static_cast<int>(100LL * position_ / maximum_)) : 0;
  const int filled = kWidth * percent / 100;
  std::string line = "[" + std::string(filled, '#') + std::string(kWidth - filled, '-') + "] ";
  line += (percent < 10 ? "  " : percent < 100 ? " " : "") + std::to_string(percent) + "%  " + step_;
  if (Utf16Length(line) >= static_cast<std::size_t>(columns_)) line = TruncateUtf16(line, columns_ - 1);
  if (line == drawn_) return;
  drawn_ = line;
  out_ << "\r\033[K" << line << std::flush;
}

void ProgressDisplay::Finish() {
  if (style_ == ProgressStyle::Bar && !drawn_.empty()) out_ << "\n" << std::flush;
  drawn_.clear();
}

void JobObserver::onInfoText(const std::string& text) {
  std::lock_guard lock(mutex_);
  facts_.infoText = text;
}

void JobObserver::onPhotoAdded(const std::string& path) {
  std::lock_guard lock(mutex_);
  facts_.importedPaths.push_back(path);
}

void JobObserver::onCollageMade() {
  std::lock_guard lock(mutex_);
  facts_.layoutMade = true;
}

void JobObserver::onPreviewFile(const std::string& path) {
  std::lock_guard lock(mutex_);
  facts_.previewPath = path;
}

void JobObserver::onSaveFinished(const SaveReport& report) {
  std::lock_guard lock(mutex_);
  ++facts_.savesFinished;
  facts_.lastSave = report;
}

RunFacts JobObserver::Facts() const {
  std::lock_guard lock(mutex_);
  return facts_;
}

}  // namespace vornida::collage_cli
