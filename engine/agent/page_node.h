// The node of a location or retrieved page. It lives inside its anchor and
// is freed with it.
#pragma once

#include "engine/agent/base_node.h"

class CHTTPAnchor;

class CPageNode : public CBaseNode {
 public:
  explicit CPageNode(CHTTPAnchor* anchor);

  void Release() override;

 protected:
  int DoGetData(int item, void* buffer, int size) override;
  unsigned long DoGetValue(int item) override;
  HGLOBAL DoGetDataHandle(int item) override;
  int DoSetData(int item, const void* data, unsigned long size) override;
  void DoRemove(int exclude) override;

 private:
  CHTTPAnchor* Page() const;
  // Local file path when the page is stored and the file exists, else the URL.
  std::string LocalFileOrUrl() const;
  HGLOBAL PageRecord() const;
};
