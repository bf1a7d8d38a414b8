// The "Follow links" choices of the Retrieval page: this page, one to five
// levels, the item's own number when it is another one, and all levels.
#pragma once

#include <QString>
#include <vector>

namespace hvui {

inline constexpr int kAllLevels = 127;  // stored for "All levels"
inline constexpr int kMaxLevels = 127;

struct LevelChoice {
  QString text;
  int levels;
};

// The choices offered to an item that follows `levels` levels now.
std::vector<LevelChoice> LevelChoices(int levels);
// The choice that stands for `levels`: 0 to 5 their own, 6 to 126 the extra
// one, 127 the last.
int LevelChoiceFor(const std::vector<LevelChoice>& choices, int levels);

// The place of the confine-and-depth picture: one per location strategy
// (five) and depth (this page, one, two, three or more levels); -1 for a
// strategy the pictures do not know.
int ConfinePictureIndex(int linkType, int levelChoice);

}  // namespace hvui
