#include "engine/agent/html_anchor.h"

#include "engine/agent/agent_manager.h"
#include "engine/cache/cache.h"
#include "engine/html/copy_writer.h"
#include "engine/html/css_rewriter.h"
#include "engine/html/map_parser.h"
#include "engine/retrieval/site_tests.h"

IMPLEMENT_SERIAL(CHTMLAnchor, CHTTPAnchor, 1)

CHTMLAnchor::CHTMLAnchor() { m_bNoLevelCost = 0; }

// The parser goes first: it may still hold a child it has not handed over.
CHTMLAnchor::~CHTMLAnchor() { m_pParser.reset(); }

int CHTMLAnchor::IsUnderLocation() { return 1; }

int CHTMLAnchor::IsRunLocationRoot() {
  CAnchor* running = CAgentManager::Instance().Running();
  if (!running) return 0;
  if (running == this) return 1;
  return m_pParent ? !m_pParent->IsUnderLocation() : 1;
}

// The link is the first argument, this page's address the second.
int CHTMLAnchor::SameServerAsLocation(const std::string& url) {
  return m_pPage ? static_cast<int>(hv::SameServer(url.c_str(), m_pPage->m_strAddress.c_str())) : 0;
}

int CHTMLAnchor::SameSiteAsLocation(const std::string& url) {
  return m_pPage ? static_cast<int>(hv::SameSite(url.c_str(), m_pPage->m_strAddress.c_str())) : 0;
}

// The link must lie in this page's directory or below it, never above.
int CHTMLAnchor::SameDirectoryAsLocation(const std::string& url) {
  return m_pPage ? static_cast<int>(hv::InDirectoryOf(url.c_str(), m_pPage->m_strAddress.c_str())) : 0;
}

int CHTMLAnchor::LevelCost() { return 1; }

void CHTMLAnchor::ClearResults() {
  if (m_bUserItem) {
    m_pSavedUrl = std::make_unique<std::string>(GetPageUrl());
    m_pPage = nullptr;
  }
  CHTTPAnchor::ClearResults();
}

void CHTMLAnchor::RelinkPage() {
  if (!m_pSavedUrl) return;
  if (CCache* cache = CAgentManager::Instance().Cache()) {
    std::lock_guard guard(CCache::Lock());
    m_pPage = cache->FindOrCreate(*m_pSavedUrl);
  }
  m_pSavedUrl.reset();
}
