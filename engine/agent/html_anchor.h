// An HTML page: a web location the user added, or a page reached by a link.
#pragma once

#include <memory>

#include "engine/agent/http_anchor.h"

class CHTMLAnchor : public CHTTPAnchor {
  DECLARE_SERIAL(CHTMLAnchor)
 public:
  CHTMLAnchor();

  void DeleteTree() override;
  int IsUnderLocation() override;
  int IsRunLocationRoot() override;
  int SameServerAsLocation(const std::string& url) override;
  int SameSiteAsLocation(const std::string& url) override;
  int SameDirectoryAsLocation(const std::string& url) override;
  int LevelCost() override;
  void ClearResults() override;
  void RelinkPage() override;

  // The page address kept while the cache index is rebuilt.
  std::unique_ptr<std::string> m_pSavedUrl;

 protected:
  bool StoresNoLevelCost() const override { return true; }
};
