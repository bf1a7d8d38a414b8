// The retrieval result of one node, as the user interface receives it.
#pragma once

#include <cstdint>

// Six 32-bit fields in this order; times are seconds since 1970 (UTC).
struct _httpRetrieveResult {
  std::uint32_t lastModified;
  std::uint32_t storedAt;
  std::int32_t modified;         // 1: the server reported a newer copy
  std::int32_t localCopy;        // 1: a stored copy exists
  std::int32_t retrievedBefore;  // 1: a retrieval of the page has ended before
  std::int32_t statusCode;       // status of the last response
};
static_assert(sizeof(_httpRetrieveResult) == 24);
