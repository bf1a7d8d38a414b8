// The links of a page's stored copy, set aside while a load that may fail
// runs: a failed load keeps the copy, and the links that describe it.
#pragma once

#include <memory>
#include <vector>

#include "engine/cache/page_child.h"

class CPageDescr;

struct CKeptCopy {
  // The record's links now (the cache lock held).
  static CKeptCopy Of(const CPageDescr& page);
  // Puts them back (the cache lock held).
  void RestoreTo(CPageDescr& page);

  std::vector<std::unique_ptr<CPageChild>> links;
};
