// An HTML page: a web location the user added, or a page reached by a link.
#pragma once

#include <memory>

#include "engine/agent/http_anchor.h"

class CCopyWriter;
class CCssRewriter;
class CMapParser;

class CHTMLAnchor : public CHTTPAnchor {
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

  void SetTitle(const std::string& title) override;

  // The page address kept while the cache index is rebuilt.
  std::unique_ptr<std::string> m_pSavedUrl;

 protected:
  bool StoresNoLevelCost() const override { return true; }
  bool BeginBody() override;
  int ReceiveBody(const char* data, int length) override;
  BodyEnd EndBody(bool transferCompleted) override;
  void DiscardBody() override;
  void RebuildChildren() override;
  void KeepStoredCopyIfSame() override;

 private:
  // Ends the stored copy of a stylesheet or plain body: only a whole one is kept.
  BodyEnd EndWholeCopy(bool transferCompleted, bool written, bool diskFull);

  // Reads the page while it arrives (null between loads): one of them, by
  // the kind of the body.
  std::unique_ptr<CMapParser> m_pParser;
  std::unique_ptr<CCssRewriter> m_pStylesheet;
  std::unique_ptr<CCopyWriter> m_pPlain;
};
