// Retrieval settings in words: "[Text and graphics, Links within site,
// + 1 level]", with ", requisites from any server" when the item takes them
// so (requisites: CUINode::requisites), and ", inherited" when it uses its
// parent's settings.
#pragma once

#include <string>

#include "strategy_names.h"

namespace harvion {

// "This page", "+ 1 level", "+ N levels" or "All levels".
std::string DescribeLevels(unsigned levels);
std::string DescribeSettings(unsigned long loadInfo, unsigned long requisites, const StrategyNames& names);

}  // namespace harvion
