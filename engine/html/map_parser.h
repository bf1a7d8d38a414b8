// The parser of a page being retrieved: it hands every http link of the
// page to the page's location (with the text of A links and the page's
// title) and, unless it only reads, writes the stored copy with those links
// pointing at the stored copies and without the page's BASE.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/html/content_parser.h"
#include "engine/html/element_text.h"

class CAnchor;
class CLinkOwner;
class CUrlBase;
class CPageChild;

class CMapParser : public CContentParser {
 public:
  // Link text kept per A or TITLE; more is dropped.
  static constexpr std::size_t kMaxText = 4096;

  // The page is the owner's; unless readOnly the files are opened at once.
  CMapParser(CCache& cache, CLinkOwner* owner, bool readOnly);
  // Releases a link whose text was still being collected.
  ~CMapParser() override;

  // The page's BASE address, empty when it has none.
  const std::string& Base() const { return m_strBase; }

 protected:
  void OnCharacter(const SGMLTagDef* tag, int tagIndex, int code) override;
  void OnText(const SGMLTagDef* tag, int tagIndex, const char* text, std::size_t length) override;
  void OnStartTag(const SGMLTagDef* tag, int tagLength, int tagIndex, CSGMLAttribute* attributes) override;
  void OnEndTag(const SGMLTagDef* tag, int tagIndex) override;
  // A reference of the page's CSS is a link, resolved against the BASE.
  std::string CssReplacementFor(const CCssScanner::Reference& reference, char quote) override;

 private:
  // Hands the link in value to the owner (a page link as the pending one,
  // with its text collected if asked) and returns what the copy says in
  // its place; empty when the link is none to follow or nothing is written.
  std::string AddLink(const std::string& value, int linkType, bool pageLink, bool collectText);
  // The same for one attribute, its replacement queued for the tag.
  void AddAttributeLink(const CSGMLAttribute* attributes, int attributeIndex, int linkType, bool pageLink,
                        bool collectText);
  // The requisites of the tag: stylesheets, scripts, frames, media, srcset.
  void AddRequisites(const SGMLTagDef* tag, const CSGMLAttribute* attributes);
  bool CollectsText(int tagIndex) const;
  // The page's ResolveLink, remembered: pages repeat their links.
  const std::string& Resolved(const std::string& value);
  // Gives the deferred child back to the owner and forgets it.
  void ReleasePending();
  void ClearPending();

  int m_bLinkPending = 0;  // the text of the current A goes to a child not yet in the tree
  CLinkOwner* m_pOwner;
  std::string m_strBase;
  // Values resolved against m_strBase, by a hash of the value: a slot taken
  // by another value is resolved anew. The tables are kept per thread from
  // page to page, with their strings' room, so a page costs no allocation
  // for them.
  struct ResolvedSlot {
    std::string value;
    std::string address;
    bool used = false;
  };
  static constexpr std::size_t kResolvedSlots = 256;
  using ResolvedTable = std::unique_ptr<ResolvedSlot[]>;
  static std::vector<ResolvedTable>& KeptTables();  // this thread's
  static ResolvedTable TakeTable();
  static void ReturnTable(ResolvedTable table);
  ResolvedTable m_resolved;
  std::unique_ptr<CUrlBase> m_pBase;  // m_strBase, or the page's address, split
  ElementText m_text{kMaxText};  // of the current A or TITLE
  CAnchor* m_pPendingLocation = nullptr;
  CPageChild* m_pPendingChild = nullptr;
};
