#include "pages/link_levels.h"

#include <algorithm>

namespace hvui {

namespace {

constexpr int kFixedChoices = 6;  // this page, and + 1 to + 5 levels
constexpr int kLinkTypes = 5;
constexpr int kDepths = 4;

QString Text(int levels) {
  if (levels == 0) return QStringLiteral("This page");
  if (levels == 1) return QStringLiteral("+ 1 level");
  if (levels == kAllLevels) return QStringLiteral("All levels");
  return QStringLiteral("+ %1 levels").arg(levels);
}

}  // namespace

std::vector<LevelChoice> LevelChoices(int levels) {
  std::vector<LevelChoice> choices;
  for (int i = 0; i < kFixedChoices; ++i) choices.push_back({Text(i), i});
  if (levels >= kFixedChoices && levels < kAllLevels) choices.push_back({Text(levels), levels});
  choices.push_back({Text(kAllLevels), kAllLevels});
  return choices;
}

int LevelChoiceFor(const std::vector<LevelChoice>& choices, int levels) {
  for (std::size_t i = 0; i < choices.size(); ++i)
    if (choices[i].levels == levels) return static_cast<int>(i);
  // Past every level there is, as far as a run goes.
  return static_cast<int>(choices.size()) - 1;
}

int ConfinePictureIndex(int linkType, int levelChoice) {
  if (linkType < 0 || linkType >= kLinkTypes || levelChoice < 0) return -1;
  // Five strategies a row: the one added last has pictures of its own
  // rather than sharing the next depth's.
  return linkType + kLinkTypes * std::min(levelChoice, kDepths - 1);
}

}  // namespace hvui
