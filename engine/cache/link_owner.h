// The location that receives the links of a page: the page parsers report
// the links they find to it, and a page that need not be fetched again
// re-creates its children from the stored links through it.
#pragma once

#include <string>

class CAnchor;
class CPageChild;

class CLinkOwner {
 public:
  virtual ~CLinkOwner() = default;
  // Adds the child anchor for a link (linkType as CPageChild::LinkKind);
  // null when the strategy refuses it. link is the stored link record when
  // the children are rebuilt, else null.
  virtual CAnchor* AddLink(const std::string& address, int linkType, bool collectText, CPageChild* link) = 0;
};
