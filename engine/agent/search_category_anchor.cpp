#include "engine/agent/search_category_anchor.h"

#include "platform/framework/archive.h"

IMPLEMENT_SERIAL(CSearchCategoryAnchor, CCategoryAnchor, 1)

int CSearchCategoryAnchor::GetKind() { return 0x44; }

void CSearchCategoryAnchor::Serialize(CArchive& ar) {
  CCategoryAnchor::Serialize(ar);
  if (ar.IsLoading()) {
    m_templates.clear();
    for (auto& child : m_children) m_templates[child.get()] = child->GetPageUrl();
  }
}

std::string CSearchCategoryAnchor::TemplateOf(const CAnchor* child) const {
  auto it = m_templates.find(child);
  return it == m_templates.end() ? std::string() : it->second;
}

CAnchor* CSearchCategoryAnchor::InsertChild(std::unique_ptr<CAnchor> child, unsigned long insertPos) {
  const CAnchor* key = child.get();
  m_templates[key] = child->GetPageUrl();
  CAnchor* inserted = CCategoryAnchor::InsertChild(std::move(child), insertPos);
  if (!inserted) m_templates.erase(key);  // refused: the child is gone
  return inserted;
}

int CSearchCategoryAnchor::RemoveChild(CAnchor* child) {
  const int index = CCategoryAnchor::RemoveChild(child);
  if (index >= 0) m_templates.erase(child);
  return index;
}

void CSearchCategoryAnchor::OnChildLoaded(CAnchor* child) {
  CCategoryAnchor::OnChildLoaded(child);
  const std::string url = TemplateOf(child);
  if (!url.empty()) child->SetUrl(url);
}
