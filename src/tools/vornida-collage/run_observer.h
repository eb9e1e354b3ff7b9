// Watching a run of the native side for the command-line maker: the typed
// events of the headless host (progress, state texts, imported photos, the
// finished layout, each save's outcome) are collected here for the driver
// and shown on the terminal.
#pragma once

#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "headless/run_observer.h"

namespace vornida::collage_cli {

enum class ProgressStyle {
  Bar,    // one line redrawn in place: a bar, the percentage and the step
  Lines,  // one line per new step, for logs and pipes
  Quiet,
};

// Shows progress. Called from whichever thread made the movie call.
class ProgressDisplay {
 public:
  // A bar line is cut to `columns` characters: a line that wraps could not
  // be redrawn in place.
  ProgressDisplay(std::ostream& out, ProgressStyle style, int columns = 80)
      : out_(out), style_(style), columns_(columns < 20 ? 20 : columns) {}
  void SetMaximum(int maximum);
  void SetPosition(int position);
  void SetStep(const std::string& text);
  // Ends a bar line so that the next message starts on a fresh line.
  void Finish();

 private:
  void Draw();

  std::ostream& out_;
  ProgressStyle style_;
  int columns_;
  int maximum_ = 0;
  int position_ = 0;
  std::string step_;
  std::string drawn_;
};

// What the run told the movie, kept for the driver.
struct RunFacts {
  std::vector<std::string> importedPaths;  // in the order the movie heard of them
  bool layoutMade = false;                  // a layout finished with a collage
  std::string previewPath;                  // the finished layout's preview
  std::string infoText;                     // the last info text
  int savesFinished = 0;
  std::optional<SaveReport> lastSave;       // how the last save ended
};

class JobObserver final : public RunObserver {
 public:
  explicit JobObserver(ProgressDisplay& display) : display_(display) {}
  RunFacts Facts() const;

  void onProgressMaximum(int32_t maximum) override { display_.SetMaximum(maximum); }
  void onProgress(int32_t position) override { display_.SetPosition(position); }
  void onStateText(const std::string& text) override { display_.SetStep(text); }
  void onInfoText(const std::string& text) override;
  void onPhotoAdded(const std::string& path) override;
  void onCollageMade() override;
  void onPreviewFile(const std::string& path) override;
  void onSaveFinished(const SaveReport& report) override;

 private:
  ProgressDisplay& display_;
  mutable std::mutex mutex_;
  RunFacts facts_;
};

}  // namespace vornida::collage_cli
