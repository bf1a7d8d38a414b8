// The Retrieval page's "Follow links" choices and its confine picture, and
// which tree items are marked as having settings of their own.
#include <gtest/gtest.h>

#include <set>

#include "pages/link_levels.h"
#include "pages/picture_strip.h"
#include "shell/tree_images.h"

namespace {

using hvui::LevelChoices;

QStringList Texts(const std::vector<hvui::LevelChoice>& choices) {
  QStringList texts;
  for (const auto& choice : choices) texts << choice.text;
  return texts;
}

TEST(LinkLevels, an_uncommon_number_gets_a_choice_of_its_own_before_all_levels) {
  const QStringList fixed = {"This page", "+ 1 level", "+ 2 levels", "+ 3 levels", "+ 4 levels", "+ 5 levels"};
  const struct {
    int levels;
    QString extra;  // empty: none
    int chosen;
  } cases[] = {{0, "", 0}, {3, "", 3}, {5, "", 5}, {6, "+ 6 levels", 6}, {8, "+ 8 levels", 6},
               {126, "+ 126 levels", 6}, {127, "", 6}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.levels);
    const auto choices = LevelChoices(c.levels);
    QStringList expected = fixed;
    if (!c.extra.isEmpty()) expected << c.extra;
    expected << "All levels";
    EXPECT_EQ(Texts(choices), expected);
    const int chosen = hvui::LevelChoiceFor(choices, c.levels);
    EXPECT_EQ(chosen, c.chosen);
    EXPECT_EQ(choices[static_cast<std::size_t>(chosen)].levels, c.levels) << "the choice keeps the number";
  }
}

TEST(LinkLevels, every_strategy_and_depth_has_a_picture_of_its_own) {
  hvui::CPictureStrip confine(":/icons/confine-depth.svg", 98);
  hvui::CPictureStrip fileTypes(":/icons/file-types.svg", 16);
  ASSERT_EQ(fileTypes.Count(), 4) << "one per file-type strategy";
  ASSERT_EQ(confine.Count(), 20);
  std::set<int> seen;
  for (int linkType = 0; linkType < 5; ++linkType) {
    for (int choice = 0; choice < 8; ++choice) {
      const int index = hvui::ConfinePictureIndex(linkType, choice);
      ASSERT_GE(index, 0);
      ASSERT_LT(index, confine.Count());
      if (choice <= 3) {
        EXPECT_TRUE(seen.insert(index).second) << linkType << " " << choice;
      }
    }
  }
  EXPECT_EQ(hvui::ConfinePictureIndex(5, 0), -1);
  EXPECT_EQ(hvui::ConfinePictureIndex(2, 7), hvui::ConfinePictureIndex(2, 3)) << "three levels and more look alike";
  // Neighbouring cells differ: the strip is cut where the pictures are.
  const QImage inside = confine.Picture(1, 2).toImage();
  EXPECT_EQ(inside.size(), QSize(196, 80));
  EXPECT_NE(inside, confine.Picture(2, 2).toImage());
  EXPECT_TRUE(confine.Picture(20).isNull());
}

TEST(TreeOverlay, marks_items_below_the_root_that_keep_any_setting_of_their_own) {
  const unsigned long inheritLoad = 0x80, ownLoad = 0x02, inheritSchedule = 1, ownSchedule = 4;
  const struct {
    bool hasParent;
    int kind;
    unsigned long load, schedule;
    bool overlay;
  } cases[] = {
      {true, 0x43, inheritLoad, inheritSchedule, false}, {true, 0x43, ownLoad, inheritSchedule, true},
      {true, 0x43, inheritLoad, ownSchedule, true},      {true, 0x41, ownLoad, ownSchedule, true},
      {true, 0x01, ownLoad, ownSchedule, false},  // a page found by a run, not the user's
      {false, 0x42, ownLoad, ownSchedule, false},  // the agent follows nobody
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    EXPECT_EQ(hvui::ShowsOwnSettings(c.hasParent, c.kind, c.load, c.schedule), c.overlay);
  }
  EXPECT_NE(hvui::TreeIcon(12, true).pixmap(16, 16).toImage(), hvui::TreeIcon(12).pixmap(16, 16).toImage());
}

}  // namespace
