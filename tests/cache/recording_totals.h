// Totals that only count, clamped at 0 as the agent's are, so tests can see
// what the cache reported.
#pragma once

#include <algorithm>
#include <cstdint>

#include "engine/cache/cache_totals.h"

class RecordingTotals : public CCacheTotals {
 public:
  void AddBytes(std::int64_t n) override { bytes = std::max<std::int64_t>(bytes + n, 0); }
  void AddFiles(std::int32_t n) override { files = std::max<std::int64_t>(files + n, 0); }
  void MarkCacheChanged() override { ++changes; }

  std::int64_t bytes = 0;
  std::int64_t files = 0;
  int changes = 0;
};
