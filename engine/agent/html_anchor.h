// An HTML page: a web location the user added, or a page reached by a link.
#pragma once

#include <memory>

#include "engine/agent/http_anchor.h"
#include "engine/cache/link_owner.h"
#include "engine/retrieval/link_test.h"

class CMapParser;

class CHTMLAnchor : public CHTTPAnchor, public CLinkOwner {
  DECLARE_SERIAL(CHTMLAnchor)
 public:
  CHTMLAnchor();
  ~CHTMLAnchor() override;

  int IsUnderLocation() override;
  int IsRunLocationRoot() override;
  int SameServerAsLocation(const std::string& url) override;
  int SameSiteAsLocation(const std::string& url) override;
  int SameDirectoryAsLocation(const std::string& url) override;
  int LevelCost() override;
  void ClearResults() override;
  void RelinkPage() override;

  // The links of the page being read: which become children.
  CPageDescr* OwnerPage() override { return m_pPage; }
  CAnchor* AddLink(const std::string& address, int linkType, bool defer, CPageChild* existing,
                   CPageChild** record) override;
  void CompleteLink(CAnchor* child) override;
  void ReleaseLink(CAnchor* child) override;
  void SetTitle(const std::string& title) override;
  bool KeepsRefusedLink(const CPageChild& link) override;

  // The page address kept while the cache index is rebuilt.
  std::unique_ptr<std::string> m_pSavedUrl;

 protected:
  bool StoresNoLevelCost() const override { return true; }
  bool BeginBody() override;
  int ReceiveBody(const char* data, int length) override;
  BodyEnd EndBody(bool transferCompleted) override;
  void DiscardBody() override;
  void RebuildChildren() override;

 private:
  // Puts a prepared child into the tree and asks for its page; a child too
  // deep for the tree is given up instead.
  void InsertAndSubmit(std::unique_ptr<CHTTPAnchor> child);
  // A prepared child that will not be loaded after all.
  void GiveUp(CHTTPAnchor* child);
  // What the link test is asked for a link of this page (the cache lock held).
  hv::LinkQuery QueryFor(const std::string& url, int linkType);

  // Reads the page while it arrives (null between loads).
  std::unique_ptr<CMapParser> m_pParser;
};
