// Where the cache counts its stored files and bytes: the open agent's root,
// which also decides whether a run has reached its size limit.
#pragma once

#include <cstdint>

class CCacheTotals {
 public:
  virtual ~CCacheTotals() = default;
  // Adds to the byte total (a negative n takes off); never below 0. Posts
  // the statistics and applies the size limit.
  virtual void AddBytes(std::int64_t n) = 0;
  // Adds to the file count (n may be negative); never below 0.
  virtual void AddFiles(std::int32_t n) = 0;
  // The index has changes that must be saved.
  virtual void MarkCacheChanged() = 0;
};
