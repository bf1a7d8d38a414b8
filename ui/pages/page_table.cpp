#include "pages/page_table.h"

#include "harvion/ui_node.h"
#include "pages/agent_author.h"
#include "pages/agent_general.h"
#include "pages/anchor_location.h"
#include "pages/anchor_retrieval.h"
#include "pages/anchor_schedule.h"
#include "pages/no_selection.h"

namespace hvui {

namespace {

template <class Page>
std::function<CPropertyPage*(CPageHost&)> Make() {
  return [](CPageHost& host) { return new Page(host); };
}

}  // namespace

const std::vector<PageEntry>& PageTable() {
  static const std::vector<PageEntry> table = {
      {0, "No Selection", Make<CNoSelection>()},
      {kNodeKindAgent, "Retrieval", Make<CAnchorRetrieval>()},
      {kNodeKindAgent, "Schedule", Make<CAnchorSchedule>()},
      {kNodeKindAgent, "Agent", Make<CAgentGeneral>()},
      {kNodeKindAgent, "Author", Make<CAgentAuthor>()},
      {kNodeKindPage, "Retrieval", Make<CAnchorRetrieval>()},
      {kNodeKindPage, "Schedule", Make<CAnchorSchedule>()},
      {kNodeKindPage, "Location", Make<CAnchorLocation>()},
      {kNodeKindFolder, "Retrieval", Make<CAnchorRetrieval>()},
      {kNodeKindFolder, "Schedule", Make<CAnchorSchedule>()},
      {kNodeKindSearchFolder, "Retrieval", Make<CAnchorRetrieval>()},
      {kNodeKindSearchFolder, "Schedule", Make<CAnchorSchedule>()},
  };
  return table;
}

}  // namespace hvui
