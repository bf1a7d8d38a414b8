#include "engine/cache/kept_copy.h"

#include "engine/cache/page_descr.h"

CKeptCopy CKeptCopy::Of(const CPageDescr& page) {
  CKeptCopy kept;
  kept.links.reserve(page.m_links.size());
  for (const auto& link : page.m_links) {
    auto copy = std::make_unique<CPageChild>();
    copy->m_nLinkType = link->m_nLinkType;
    copy->m_strAddress = link->m_strAddress;
    copy->m_strTitle = link->m_strTitle;
    kept.links.push_back(std::move(copy));
  }
  return kept;
}

void CKeptCopy::RestoreTo(CPageDescr& page) { page.m_links = std::move(links); }
