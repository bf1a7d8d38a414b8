// A read-only view of the current agent's cache index, for front ends that
// list what an agent has stored.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "harvion/types.h"

struct HvCacheLink {
  int type = 0;  // 0 page, 1 embedded object, 2 frame
  std::string address;
  std::string title;
};

struct HvCacheRecord {
  std::string address;
  int state = 0;  // 0 not stored, 1 being retrieved, 2 interrupted, 3 stored
  std::string localFile;
  // The copy this page had before the last run modified it, relative to the
  // agent folder ("SUBFOLDER/NAME"); empty when there is none.
  std::string previousFile;
  std::uint32_t lastRetrievalEnd = 0;  // seconds since 1970, 0 for never
  std::uint32_t storedAt = 0;
  std::uint32_t lastModified = 0;
  std::uint32_t stateChangedAt = 0;  // when a stored copy appeared or went
  int modified = 0;  // the server's copy was newer than ours when last asked
  int statusCode = 0;
  std::string statusText;
  std::string contentType;
  std::int32_t contentLength = 0;
  std::string title;
  std::vector<HvCacheLink> links;
};

// Every record of the current agent's index once, in index order; empty
// when no agent is open.
HV_EXPORT std::vector<HvCacheRecord> GetCacheRecords();
// Shows visit every record of the current agent's index once, in index
// order, one at a time (a large agent's records need not all be copied at
// once); links are filled in only when asked for. visit runs under the
// engine's cache lock and must not call the engine. False when no agent is
// open, or when visit threw (the visit then stopped there).
HV_EXPORT bool VisitCacheRecords(const std::function<void(const HvCacheRecord&)>& visit, bool withLinks);
// The record of one address of the current agent's index, without its links;
// false when no agent is open or the index has no such address.
HV_EXPORT bool GetCacheRecord(const std::string& address, HvCacheRecord& record);
