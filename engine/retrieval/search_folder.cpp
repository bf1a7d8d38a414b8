// A search folder in a run: each search engine's location is asked for its
// template with the search text in it, and gets the template back after.
#include <mutex>

#include "engine/agent/http_anchor.h"
#include "engine/agent/search_category_anchor.h"
#include "engine/cache/cache.h"
#include "engine/cache/page_descr.h"
#include "engine/retrieval/retrieval_run.h"
#include "harvion/saf_node.h"

namespace {

// The search text as a query value: a blank is "+" already; "&", "#" and
// "%", control bytes and bytes above 0x7F would end or change the address,
// so they are escaped. A "+" stays, as it stands for a blank.
std::string QueryValue(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string value;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == ' ') {
      value += '+';
    } else if (byte < 0x20 || byte >= 0x7F || c == '&' || c == '#' || c == '%') {
      value += '%';
      value += kHex[byte >> 4];
      value += kHex[byte & 0x0F];
    } else {
      value += c;
    }
  }
  return value;
}

}  // namespace

std::string CSearchCategoryAnchor::SearchUrl(const std::string& urlTemplate, const std::string& searchText) {
  const std::size_t key = urlTemplate.find("%KEY");
  if (key == std::string::npos) return urlTemplate;
  return urlTemplate.substr(0, key) + QueryValue(searchText) + urlTemplate.substr(key + 4);
}

void CSearchCategoryAnchor::Queue() {
  std::lock_guard guard(CCache::Lock());
  CAnchor::Queue();
  if (m_strName.empty()) {
    EndWithoutWork();  // nothing to search for: nothing is asked
    return;
  }
  std::string text = m_strName;
  for (char& c : text) {
    if (c == ' ') c = '+';
  }
  if (text != m_strName) {
    m_strName = text;
    MarkAgentModified();
    if (m_pNode) m_pNode->NameChanged();
  }
  CCache* cache = hv::run::Cache();
  for (int i = 0; i < GetChildCount(); ++i) {
    CAnchor* child = GetChild(i);
    const std::string urlTemplate = TemplateOf(child);
    auto* location = dynamic_cast<CHTTPAnchor*>(child);
    CPageDescr* page = location ? location->m_pPage : nullptr;
    if (urlTemplate.empty() || !page || !cache) {
      ++m_nChildrenLoaded;
      ++m_nSubtreesDone;
      continue;
    }
    // Each search answers anew: the last answer's copy goes.
    if (!page->m_strLocalFile.empty()) page->ForgetFile(*cache);
    page->m_strAddress = SearchUrl(urlTemplate, m_strName);
    child->Queue();
  }
  CAnchor::OnLoaded(0);
}
