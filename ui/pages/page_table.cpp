#include "pages/page_table.h"

#include "harvion/ui_node.h"
#include "pages/no_selection.h"
#include "pages/title_page.h"

namespace hvui {

namespace {

template <class Page>
std::function<CPropertyPage*(CPageHost&)> Make() {
  return [](CPageHost& host) { return new Page(host); };
}

std::function<CPropertyPage*(CPageHost&)> Titled(const char* title) {
  return [title](CPageHost& host) { return new CTitlePage(host, QString::fromLatin1(title)); };
}

}  // namespace

const std::vector<PageEntry>& PageTable() {
  static const std::vector<PageEntry> table = {
      {0, "No Selection", Make<CNoSelection>()},
      {kNodeKindAgent, "Retrieval", Titled("Retrieval")},
      {kNodeKindAgent, "Schedule", Titled("Schedule")},
      {kNodeKindAgent, "Agent", Titled("Agent")},
      {kNodeKindAgent, "Author", Titled("Author")},
      {kNodeKindPage, "Retrieval", Titled("Retrieval")},
      {kNodeKindPage, "Schedule", Titled("Schedule")},
      {kNodeKindPage, "Location", Titled("Location")},
      {kNodeKindFolder, "Retrieval", Titled("Retrieval")},
      {kNodeKindFolder, "Schedule", Titled("Schedule")},
      {kNodeKindSearchFolder, "Retrieval", Titled("Retrieval")},
      {kNodeKindSearchFolder, "Schedule", Titled("Schedule")},
  };
  return table;
}

}  // namespace hvui
