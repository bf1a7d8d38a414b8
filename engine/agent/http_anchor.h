// A web location or a page or object found below one. Its data lives in the
// page's record of the cache index; the anchor only points at it.
#pragma once

#include "engine/agent/anchor.h"
#include "engine/agent/page_node.h"

class CPageDescr;

class CHTTPAnchor : public CAnchor {
  DECLARE_SERIAL(CHTTPAnchor)
 public:
  CHTTPAnchor();
  ~CHTTPAnchor() override;

  void Serialize(CArchive& ar) override;
  void ExcludeFromLocation() override;
  std::string GetDisplayName() override;
  int CopyDisplayName(char* buffer, int size) override;
  CSafNode* CreateNode() override;
  int GetKind() override;
  void MarkCacheUse() override;
  std::string GetPageUrl() override;
  void SetUrl(const std::string& text) override;
  int Run() override;
  void FillResult(_httpRetrieveResult& result) override;

  // The page's record when it is (still) in the open agent's cache index.
  CPageDescr* IndexedPage() const;

  CPageNode m_node;  // the node of a page lives inside its anchor
  void* m_pRequest = nullptr;  // the retrieval request in flight
  std::int32_t m_nPreviousState = 0;
  void* m_pParser = nullptr;  // the link parser fed while the body arrives
  std::vector<std::unique_ptr<CAnchor>> m_previousChildren;
  CPageDescr* m_pPage = nullptr;  // not owned: the cache index owns records

 protected:
  void SerializePage(CArchive& ar);
};
