// The history's list and cursor: what undo and redo reach, what a new layout
// drops, the limit of 20, and new layouts' seeds.
#include "engine/layout_history.h"

#include <gtest/gtest.h>

#include <set>

namespace vornida {
namespace {

LayoutRecord Layout(uint32_t seed) {
  LayoutRecord record;
  record.seed = seed;
  record.parameterText = "<Vornida seed='" + std::to_string(seed) + "'/>";
  CollagePhoto photo;
  photo.srcPath = "/photos/" + std::to_string(seed) + ".jpg";
  record.photos = {photo};
  return record;
}

TEST(LayoutHistoryTest, UndoAndRedoWalkTheRecordedLayoutsAndANewOneDropsTheRedoSide) {
  LayoutHistory history;
  EXPECT_FALSE(history.CanUndo());
  EXPECT_FALSE(history.CanRedo());
  EXPECT_FALSE(history.Previous());
  EXPECT_FALSE(history.Move(-1));
  EXPECT_EQ(history.Shown(), nullptr);

  for (uint32_t seed : {1u, 2u, 3u}) history.Record(Layout(seed));
  ASSERT_NE(history.Shown(), nullptr);
  EXPECT_EQ(history.Shown()->seed, 3u);
  EXPECT_TRUE(history.CanUndo());
  EXPECT_FALSE(history.CanRedo());
  // Looking back does not move: only a layout that was shown moves the cursor.
  ASSERT_TRUE(history.Previous());
  EXPECT_EQ(history.Previous()->seed, 2u);
  EXPECT_EQ(history.Previous()->photos.at(0).srcPath, "/photos/2.jpg");
  EXPECT_EQ(history.Shown()->seed, 3u);

  ASSERT_TRUE(history.Move(-1));
  ASSERT_TRUE(history.Move(-1));
  EXPECT_EQ(history.Shown()->seed, 1u);
  EXPECT_FALSE(history.CanUndo());
  EXPECT_FALSE(history.Move(-1));
  ASSERT_TRUE(history.Next());
  EXPECT_EQ(history.Next()->seed, 2u);
  ASSERT_TRUE(history.Move(1));
  EXPECT_TRUE(history.CanRedo());

  // A new layout after going back replaces what lay ahead.
  history.Record(Layout(9));
  EXPECT_EQ(history.Size(), 3u);
  EXPECT_EQ(history.Shown()->seed, 9u);
  EXPECT_FALSE(history.CanRedo());
  ASSERT_TRUE(history.Move(-1));
  EXPECT_EQ(history.Shown()->seed, 2u);

  history.Clear();
  EXPECT_EQ(history.Size(), 0u);
  EXPECT_FALSE(history.CanUndo() || history.CanRedo());
}

TEST(LayoutHistoryTest, KeepsTheLastTwentyLayouts) {
  LayoutHistory history;
  for (uint32_t seed = 1; seed <= 25; ++seed) history.Record(Layout(seed));
  EXPECT_EQ(history.Size(), LayoutHistory::kMaxLayouts);
  int steps = 0;
  while (history.Move(-1)) ++steps;
  EXPECT_EQ(steps, 19);
  EXPECT_EQ(history.Shown()->seed, 6u);  // 1 to 5 went
}

TEST(LayoutHistoryTest, NewSeedsDifferFromTheShownOneAndRepeatWithAFixedSeed) {
  // Fixed: the same chain every session, no seed its own successor, and no
  // short cycle.
  std::set<uint32_t> chain;
  uint32_t seed = 5;
  for (int i = 0; i < 1000; ++i) {
    const uint32_t next = NextLayoutSeed(seed, true);
    EXPECT_NE(next, seed);
    chain.insert(next);
    seed = next;
  }
  EXPECT_EQ(chain.size(), 1000u);
  EXPECT_EQ(NextLayoutSeed(5, true), NextLayoutSeed(5, true));
  for (uint32_t shown : {0u, 1u, 0xFFFFFFFFu}) EXPECT_NE(NextLayoutSeed(shown, true), shown);
  // Free: fresh values, never the shown seed.
  std::set<uint32_t> fresh;
  for (int i = 0; i < 50; ++i) {
    const uint32_t next = NextLayoutSeed(77, false);
    EXPECT_NE(next, 77u);
    fresh.insert(next);
  }
  EXPECT_GT(fresh.size(), 45u);
}

}  // namespace
}  // namespace vornida
