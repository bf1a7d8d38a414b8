#include "shell/page_outcome.h"

#include "change_report.h"
#include "harvion/cache_view.h"

namespace hvui {

QString PageOutcome(const std::string& address) {
  HvCacheRecord record;
  if (!GetCacheRecord(address, record)) return {};
  if (record.lastRetrievalEnd == 0 && record.statusCode == 0 && record.statusText.empty()) return {};
  return QString::fromStdString(harvion::LoadOutcome(record.statusCode, record.statusText, record.state, false));
}

}  // namespace hvui
