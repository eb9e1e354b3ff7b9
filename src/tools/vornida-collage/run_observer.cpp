#include "tools/vornida-collage/run_observer.h"

#include <algorithm>
#include <cstdlib>

#include "base/text.h"
#include "host/messages.h"

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

std::string PhotoSourceFromMovieText(const std::string& photoText) {
  constexpr std::string_view kSrc = " src='";
  constexpr std::string_view kThumb = "' thumb='";
  const auto start = photoText.find(kSrc);
  if (start == std::string::npos) return {};
  const auto from = start + kSrc.size();
  const auto end = photoText.rfind(kThumb);
  if (end == std::string::npos || end < from) return {};
  return photoText.substr(from, end - from);
}

void RunObserver::OnEventLine(const std::string& line) {
  constexpr std::string_view kCall = "call: ";
  if (!line.starts_with(kCall)) return;
  DecodedCall call;
  if (!ParseInvoke(std::string_view(line).substr(kCall.size()), call)) return;
  const auto arg = [&call](std::size_t i) { return i < call.args.size() ? call.args[i] : std::string(); };

  if (call.name == "setProgressMaximum") {
    display_.SetMaximum(std::atoi(arg(0).c_str()));
  } else if (call.name == "setProgress") {
    display_.SetPosition(std::atoi(arg(0).c_str()));
  } else if (call.name == "setStateText") {
    display_.SetStep(arg(0));
  }

  std::lock_guard lock(mutex_);
  if (call.name == "openAddPhotosDlgCallBack") {
    if (std::string src = PhotoSourceFromMovieText(arg(0)); !src.empty()) facts_.importedPaths.push_back(src);
  } else if (call.name == "notify") {
    if (arg(0) == "haveCreateCollage" && arg(1) == "true") facts_.layoutMade = true;
    if (arg(0) == "saving" && arg(1) == "0") ++facts_.savingEnded;
  } else if (call.name == "setShapePreview") {
    facts_.previewPath = arg(0);
  } else if (call.name == "setInfoText") {
    facts_.infoText = arg(0);
  }
}

RunFacts RunObserver::Facts() const {
  std::lock_guard lock(mutex_);
  return facts_;
}

ObservedLog::LineBuffer::int_type ObservedLog::LineBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char ch = traits_type::to_char_type(c);
  if (ch == '\n') {
    observer_.OnEventLine(pending_);
    pending_.clear();
  } else {
    pending_ += ch;
  }
  return c;
}

}  // namespace vornida::collage_cli
