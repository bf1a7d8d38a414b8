// The pictures of the agent tree by their numbers in the tree's image list:
// the numbers the node classes and page states use.
#pragma once

#include <QIcon>

#include "harvion/http_retrieve_result.h"

namespace hvui {

enum TreeImage : int {
  kImageAgent = 1,
  kImagePageMissing = 3,    // 404 or 410
  kImagePageLoading = 4,    // being retrieved
  kImagePageFailed = 6,     // the last retrieval failed; one before it ended
  kImagePageNoCopyNew = 7,  // changed, but nothing is stored (site maps)
  kImagePageNever = 8,      // never retrieved, or nothing new and nothing stored
  kImagePageStoredNew = 10,
  kImagePageStored = 11,
  kImageFolder = 12,        // + 1 open
  kImageSearchFolder = 14,  // + 1 open
};

// The state picture of a page from its last retrieval.
int PageStateImage(const _httpRetrieveResult& result);

// The closed picture of a node class (the kind's low four bits); pages
// start as never retrieved.
int ClosedImage(int nodeClass);
// Whether the class has an open picture (closed + 1).
bool HasOpenImage(int nodeClass);

// The icon drawn for the image number; an empty icon for an unknown one.
// The overlay marks an item with settings of its own.
QIcon TreeIcon(int image, bool overlay = false);

// Whether an item shows the overlay: one the user may give settings of its
// own (kind flag 0x40) below another item, that does not take both its
// retrieval settings (load information bit 7) and its schedule (schedule
// information bit 0) from its parent.
bool ShowsOwnSettings(bool hasParent, int kind, unsigned long loadInfo, unsigned long scheduleInfo);

}  // namespace hvui
