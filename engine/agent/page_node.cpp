#include "engine/agent/page_node.h"

#include <strings.h>

#include <cstring>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/http_anchor.h"
#include "engine/agent/record_writer.h"
#include "engine/cache/cache.h"
#include "engine/agent/agent_manager.h"
#include "harvion/http_retrieve_result.h"
#include "platform/files/file_system.h"

CPageNode::CPageNode(CHTTPAnchor* anchor) : CBaseNode(anchor) {}

CHTTPAnchor* CPageNode::Page() const { return static_cast<CHTTPAnchor*>(m_pAnchor); }

void CPageNode::Release() { DetachUi(); }

std::string CPageNode::LocalFileOrUrl() const {
  const CPageDescr* page = Page()->IndexedPage();
  if (page && !page->m_strLocalFile.empty()) {
    const std::string path = hv::fs::JoinPath(CAgentManager::Instance().Cache()->Directory(), page->m_strLocalFile);
    if (hv::fs::IsRegularFile(path)) return path;
  }
  return Page()->GetPageUrl();
}

int CPageNode::DoGetData(int item, void* buffer, int size) {
  if (!m_pAnchor) return 0;
  switch (item) {
    case itemName:
      return CopyText(Page()->GetDisplayName(), buffer, size);
    case itemUrl:
      return CopyText(Page()->GetPageUrl(), buffer, size);
    case itemLocalFile:
      return CopyText(LocalFileOrUrl(), buffer, size);
    case itemFailure: {
      const CPageDescr* page = Page()->IndexedPage();
      // A failed load leaves no status code, and its reason as the text.
      if (!page || page->m_nStatusCode != 0 || page->m_strStatusText.empty()) return 0;
      return CopyText(page->m_strStatusText, buffer, size);
    }
    case itemResult: {
      if (!Page()->IndexedPage()) return size + 1;
      if (!buffer || size < static_cast<int>(sizeof(_httpRetrieveResult)))
        return static_cast<int>(sizeof(_httpRetrieveResult));
      _httpRetrieveResult result{};
      Page()->FillResult(result);
      std::memcpy(buffer, &result, sizeof(result));
      return size;
    }
    default:
      return CBaseNode::DoGetData(item, buffer, size);
  }
}

unsigned long CPageNode::DoGetValue(int item) {
  if (!m_pAnchor) return 0;
  if (item == itemKindFlags) {
    const CPageDescr* page = Page()->IndexedPage();
    if (!page) return 0;
    return (static_cast<unsigned long>(Page()->GetKind()) |
            (static_cast<unsigned long>(static_cast<std::uint32_t>(page->m_nStatusCode)) << 12)) &
           0xFFFFFFFFUL;
  }
  return CBaseNode::DoGetValue(item);
}

HGLOBAL CPageNode::PageRecord() const {
  const CPageDescr* page = Page()->IndexedPage();
  hv::RecordWriter record;
  record.PutDWord(0);  // kind: page
  record.PutDWord(page ? page->m_tLastModified : 0);
  record.PutDWord(page ? page->m_tLastRetrievalEnd : 0);
  record.PutDWord(0);
  const std::string url = Page()->GetPageUrl();
  const std::string local = page ? page->m_strLocalFile : std::string();
  const std::string title = page ? page->m_strTitle : std::string();
  record.PutDWord(static_cast<std::uint32_t>(url.size() + 1));
  record.PutDWord(static_cast<std::uint32_t>(url.size() + 1 + local.size() + 1));
  record.PutText(url);
  record.PutText(local);
  record.PutText(title);
  record.PadTo(url.size() + local.size() + title.size() + 30);
  return MakeBlock(record.Bytes());
}

HGLOBAL CPageNode::DoGetDataHandle(int item) {
  if (!m_pAnchor) return nullptr;
  if (item == itemRecord) return PageRecord();
  return CBaseNode::DoGetDataHandle(item);
}

int CPageNode::DoSetData(int item, const void* data, unsigned long) {
  if (!m_pAnchor || !data) return 0;
  const char* text = static_cast<const char*>(data);
  switch (item) {
    case itemUrl: {
      CHTTPAnchor* anchor = Page();
      if (!anchor->m_bUserItem) return 0;
      if (!*text || !anchor->m_pPage || anchor->m_pPage->m_strAddress.empty()) return 0;
      if (strcasecmp(text, anchor->m_pPage->m_strAddress.c_str()) == 0) return 1;
      CCache* cache = CAgentManager::Instance().Cache();
      if (!cache) return 0;
      CPageDescr* page;
      {
        std::lock_guard guard(CCache::Lock());
        page = cache->FindOrCreate(text);
      }
      if (!page) return 0;
      if (CAgentAnchor* agent = anchor->GetAgent()) agent->m_bModified = 1;
      anchor->m_pPage = page;
      return 1;
    }
    case itemName:
      m_pAnchor->SetName(text, 0);
      return 1;
    default:
      return 0;
  }
}

void CPageNode::DoRemove(int exclude) {
  if (exclude && !m_pAnchor->m_bUserItem) m_pAnchor->ExcludeFromLocation();
  m_pAnchor->DeleteTree();
}
