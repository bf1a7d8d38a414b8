// A search folder: one location per search engine, each holding a URL
// template in which the search text (the folder's name) replaces "%KEY".
#pragma once

#include <map>
#include <string>

#include "engine/agent/category_anchor.h"

class CSearchCategoryAnchor : public CCategoryAnchor {
  DECLARE_SERIAL(CSearchCategoryAnchor)
 public:
  void Serialize(CArchive& ar) override;
  int GetKind() override;
  void Queue() override;
  void OnChildLoaded(CAnchor* child) override;
  CAnchor* InsertChild(std::unique_ptr<CAnchor> child, unsigned long insertPos) override;
  int RemoveChild(CAnchor* child) override;

  // The template of a child; empty when none is recorded.
  std::string TemplateOf(const CAnchor* child) const;
  // The template with its first "%KEY" replaced by the search text.
  static std::string SearchUrl(const std::string& urlTemplate, const std::string& searchText);

 private:
  std::map<const CAnchor*, std::string> m_templates;
};
