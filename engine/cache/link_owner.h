// The location a page belongs to, as the page's parsers and its stored links
// see it: it receives the links found on the page (and decides which become
// child locations), the page's title, and the children whose link text was
// being collected.
#pragma once

#include <string>

class CAnchor;
class CPageChild;
class CPageDescr;

class CLinkOwner {
 public:
  virtual ~CLinkOwner() = default;

  // The page's record in the cache index, or null.
  virtual CPageDescr* OwnerPage() = 0;
  // Adds the child location for a link (linkType as CPageChild::LinkKind);
  // null when the strategy refuses it. existing is the stored link record
  // when the children are rebuilt from the index; otherwise, when record is
  // not null, it receives the page's link record for the address. A deferred
  // child (its link text is still being collected) is made but not yet put
  // into the tree: CompleteLink or ReleaseLink follows. When target is not
  // null it receives the record of the address in the cache index if the
  // link was recorded (records live until the run's collection), so the
  // caller need not look the address up again.
  virtual CAnchor* AddLink(const std::string& address, int linkType, bool defer, CPageChild* existing,
                           CPageChild** record, CPageDescr** target) = 0;
  // The deferred child's text is complete: put it into the tree and start it
  // (nothing when it is already there).
  virtual void CompleteLink(CAnchor* child) = 0;
  // Discards a deferred child that is not in the tree, with its stored file.
  virtual void ReleaseLink(CAnchor* child) = 0;
  // The page's title became known: it names the location.
  virtual void SetTitle(const std::string& title) = 0;
  // Whether a stored link that AddLink refused stays among the page's links:
  // one that only this run's levels refuse is followed by a run that grants
  // more, though the page is not read again.
  virtual bool KeepsRefusedLink(const CPageChild& link) {
    (void)link;
    return false;
  }
};
