#include "shell/name_rules.h"

namespace hvui {

bool IsValidItemName(const QString& name, bool agentRoot, const std::function<bool(const QString&)>& agentMissing) {
  if (name.isEmpty() || name != name.trimmed()) return false;
  if (!agentRoot) return true;
  for (const QChar c : QStringLiteral("\\/:*?\"<>|"))
    if (name.contains(c)) return false;
  return !agentMissing || agentMissing(name);
}

}  // namespace hvui
