#include "engine/agent/http_anchor.h"

#include <cstring>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_load_context.h"
#include "engine/agent/agent_manager.h"
#include "engine/agent/search_category_anchor.h"
#include "engine/cache/cache.h"
#include "engine/settings/exception_entry.h"
#include "harvion/http_retrieve_result.h"
#include "platform/framework/archive.h"

IMPLEMENT_SERIAL(CHTTPAnchor, CAnchor, 1)

namespace {

// Whole lines only: "http://a/b" must not count as holding "http://a/".
bool HasLine(const std::string& text, const std::string& line) {
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find("\r\n", start);
    const std::size_t length = (end == std::string::npos ? text.size() : end) - start;
    if (length == line.size() && text.compare(start, length, line) == 0) return true;
    if (end == std::string::npos) return false;
    start = end + 2;
  }
}

}  // namespace

CHTTPAnchor::CHTTPAnchor() : m_node(this) {}

// The embedded node goes with the anchor: detach the UI before it does. No
// transfer still running for it may call it afterwards.
CHTTPAnchor::~CHTTPAnchor() {
  DetachRequests();
  DestroyTree();
}

void CHTTPAnchor::Serialize(CArchive& ar) {
  SerializeAnchorPart(ar);
  SerializePage(ar);
  SerializeTail(ar);
}

void CHTTPAnchor::SerializePage(CArchive& ar) {
  if (ar.IsStoring()) {
    ar.WriteString(m_pPage ? m_pPage->m_strAddress.str() : std::string());
    return;
  }
  const std::string url = ar.ReadString();
  auto* ctx = static_cast<hv::AgentLoadContext*>(ar.m_pDocument);
  if (ctx && ctx->cache && !url.empty()) {
    std::lock_guard guard(CCache::Lock());
    m_pPage = ctx->cache->FindOrCreate(url);
  }
}

CPageDescr* CHTTPAnchor::IndexedPage() const {
  CCache* cache = CAgentManager::Instance().Cache();
  return (cache && cache->Contains(m_pPage)) ? m_pPage : nullptr;
}

std::string CHTTPAnchor::SearchTemplate() const {
  const auto* folder = dynamic_cast<const CSearchCategoryAnchor*>(m_pParent);
  return folder ? folder->TemplateOf(this) : std::string();
}

std::string CHTTPAnchor::GetPageUrl() { return m_pPage ? m_pPage->m_strAddress.str() : std::string(); }

void CHTTPAnchor::SetUrl(const std::string& text) {
  if (m_pPage && !text.empty()) m_pPage->m_strAddress = text;
}

std::string CHTTPAnchor::GetDisplayName() { return m_strName.empty() ? GetPageUrl() : m_strName; }

int CHTTPAnchor::CopyDisplayName(char* buffer, int size) {
  const std::string text = GetDisplayName();
  if (text.empty()) return 1;
  const int length = static_cast<int>(text.size());
  if (buffer && length < size) std::memcpy(buffer, text.c_str(), text.size() + 1);
  return length;
}

void CHTTPAnchor::ExcludeFromLocation() {
  CAgentAnchor* agent = GetAgent();
  const std::string url = GetPageUrl();
  if (!agent || url.empty()) return;
  CExceptionEntry* entry = agent->LocationEntry(EffectiveSettings().locationIndex);
  if (!entry) return;
  std::string& text = entry->m_strExclusions;
  if (HasLine(text, url)) return;
  text += url;
  text += "\r\n";
  agent->m_bModified = 1;
}

CSafNode* CHTTPAnchor::CreateNode() { return &m_node; }

int CHTTPAnchor::GetKind() { return m_bUserItem ? 0x41 : 0x01; }

void CHTTPAnchor::MarkCacheUse() {
  const hv::LoadSettings s = EffectiveSettings();
  CCache* cache = CAgentManager::Instance().Cache();
  if (!m_pPage || !cache) return;
  m_pPage->MarkUsed(*cache, s.loadDetail != 0);
}

void CHTTPAnchor::FillResult(_httpRetrieveResult& r) {
  r = {};
  const CPageDescr* page = IndexedPage();
  if (!page) return;
  r.lastModified = page->m_tLastModified;
  r.storedAt = page->m_tStoredAt;
  r.modified = (page->m_bFlag && page->m_tLastModified != 0) ? 1 : 0;
  r.localCopy = ((page->m_nState == CPageDescr::kInterrupted || page->m_nState == CPageDescr::kStored) &&
                 page->m_nCopyKept != 0)
                    ? 1
                    : 0;
  r.retrievedBefore = page->m_tLastRetrievalEnd != 0 ? 1 : 0;
  r.statusCode = page->m_nStatusCode;
}
