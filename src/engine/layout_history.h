// The layouts of this session, for "Undo layout" and "Redo layout".
//
// A layout is reproducible from its seed, its collage-parameter text and the
// photos it was made from, in their order: the history keeps exactly that
// and no pictures. It holds the last kMaxLayouts layouts with a cursor on
// the one shown. Recording a new layout drops the layouts after the cursor
// (the redo side) and, past kMaxLayouts, the oldest one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/collage.h"

namespace vornida {

struct LayoutRecord {
  uint32_t seed = 0;
  std::string parameterText;
  std::vector<CollagePhoto> photos;  // paths, sizes and file stamps; no pictures
};

class LayoutHistory {
 public:
  static constexpr std::size_t kMaxLayouts = 20;

  // A layout that was just made and is now shown.
  void Record(LayoutRecord layout);
  // The layout one step back or forward from the shown one, if there is one;
  // the cursor moves only when that layout has been shown (MoveTo).
  std::optional<LayoutRecord> Previous() const;
  std::optional<LayoutRecord> Next() const;
  // Makes the layout `steps` away from the shown one (-1 back, +1 forward)
  // the shown one; false when there is none.
  bool Move(int steps);
  void Clear();

  bool CanUndo() const { return cursor_ > 0 && cursor_ < layouts_.size(); }
  bool CanRedo() const { return cursor_ + 1 < layouts_.size(); }
  std::size_t Size() const { return layouts_.size(); }
  // The shown layout; null when nothing was recorded.
  const LayoutRecord* Shown() const { return cursor_ < layouts_.size() ? &layouts_[cursor_] : nullptr; }

 private:
  std::vector<LayoutRecord> layouts_;
  std::size_t cursor_ = 0;
};

// The seed of a new layout after the one made with `shown`: with a fixed
// seed (tests, --seed) a fixed successor, so that a session of new layouts
// repeats exactly; otherwise a fresh random value. Never `shown` itself.
uint32_t NextLayoutSeed(uint32_t shown, bool fixed);

}  // namespace vornida
