// Watching a run of the native side through the headless host's event log:
// the movie calls it makes (progress, state texts, notifications, imported
// photos, the preview) are collected here and shown on the terminal.
#pragma once

#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

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
  bool layoutMade = false;                  // notify "haveCreateCollage" "true"
  std::string previewPath;                  // setShapePreview
  std::string infoText;                     // the last setInfoText
  int savingEnded = 0;                      // notify "saving" "0" count
};

class RunObserver {
 public:
  explicit RunObserver(ProgressDisplay& display) : display_(display) {}
  // One line of the event log (without its line break).
  void OnEventLine(const std::string& line);
  RunFacts Facts() const;

 private:
  ProgressDisplay& display_;
  mutable std::mutex mutex_;
  RunFacts facts_;
};

// A stream whose complete lines go to a RunObserver (the host writes its
// event log here).
class ObservedLog : public std::ostream {
 public:
  explicit ObservedLog(RunObserver& observer) : std::ostream(&lines_), lines_(observer) {}

 private:
  class LineBuffer : public std::streambuf {
   public:
    explicit LineBuffer(RunObserver& observer) : observer_(observer) {}

   protected:
    int_type overflow(int_type c) override;

   private:
    RunObserver& observer_;
    std::string pending_;
  };
  LineBuffer lines_;
};

// The photo path in an imported photo's text as the movie receives it
// ("<photo name='...' src='...' thumb='...'/>", values unescaped).
std::string PhotoSourceFromMovieText(const std::string& photoText);

}  // namespace vornida::collage_cli
