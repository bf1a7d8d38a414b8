#include "pages/page_table.h"

#include "harvion/ui_node.h"
#include "pages/anchor_retrieval.h"
#include "pages/anchor_schedule.h"
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
      {kNodeKindAgent, "Retrieval", Make<CAnchorRetrieval>()},
      {kNodeKindAgent, "Schedule", Make<CAnchorSchedule>()},
      {kNodeKindAgent, "Agent", Titled("Agent")},
      {kNodeKindAgent, "Author", Titled("Author")},
      {kNodeKindPage, "Retrieval", Make<CAnchorRetrieval>()},
      {kNodeKindPage, "Schedule", Make<CAnchorSchedule>()},
      {kNodeKindPage, "Location", Titled("Location")},
      {kNodeKindFolder, "Retrieval", Make<CAnchorRetrieval>()},
      {kNodeKindFolder, "Schedule", Make<CAnchorSchedule>()},
      {kNodeKindSearchFolder, "Retrieval", Make<CAnchorRetrieval>()},
      {kNodeKindSearchFolder, "Schedule", Make<CAnchorSchedule>()},
  };
  return table;
}

}  // namespace hvui
