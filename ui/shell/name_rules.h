// What names the tree's items may take.
#pragma once

#include <QString>
#include <functional>

namespace hvui {

// Every item: not empty, no blanks at either end. The agent itself also
// none of \ / : * ? " < > | and no other agent of that name (agentMissing
// answers whether the name is free).
bool IsValidItemName(const QString& name, bool agentRoot, const std::function<bool(const QString&)>& agentMissing);

}  // namespace hvui
