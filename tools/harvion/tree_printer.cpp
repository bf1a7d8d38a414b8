#include "tree_printer.h"

#include <string>
#include <vector>

#include "change_report.h"
#include "commands.h"
#include "display_text.h"
#include "harvion/run_limits.h"
#include "harvion/saf_node.h"
#include "node_text.h"
#include "settings_text.h"
#include "ui_tree_node.h"

namespace harvion {

namespace {

std::string Address(const std::string& url) { return "<" + Printable(url) + ">"; }

std::string DescribePage(const UITreeNode& item) {
  std::string url = NodeText(item.m_pNode, itemUrl);
  if (url.empty()) url = item.Url();
  if (item.m_nKind & kNodeFlagEmbedded) return "object " + Address(url);
  if (!(item.m_nKind & kNodeFlagUserItem)) return "page " + Address(url);
  // A location's name defaults to its address; repeating it says nothing.
  const std::string name = NodeText(item.m_pNode, itemName);
  if (name.empty() || name == url) return "location " + Address(url);
  return "location " + Quoted(name) + " " + Address(url);
}

// '  schedule "Weekdays"' for an item with a schedule of its own; nothing for
// one that follows its parent's, or an agent without one.
std::string DescribeSchedule(const UITreeNode& item, const std::vector<std::string>& schedules) {
  const unsigned long info = item.m_pNode ? item.m_pNode->GetValue(itemSchedule) : item.ScheduleInfo();
  const int index = static_cast<int>((info & 0xFE) / 2) - 1;
  if ((info & 1) || index < 0 || index >= static_cast<int>(schedules.size())) return {};
  return "  schedule " + Quoted(schedules[static_cast<std::size_t>(index)]);
}

// '  (last run: 3 pages not fetched: ...)' on the agent's line when a limit
// left its last run incomplete.
std::string DescribeLastRun(const UITreeNode& item) {
  if (item.NodeClass() != kNodeKindAgent) return {};
  const std::string limits = LimitsText(GetRunLimits());
  return limits.empty() ? std::string() : "  (last run: " + limits + ")";
}

void PrintItem(std::ostream& out, const UITreeNode& item, const StrategyNames& names,
               const std::vector<std::string>& schedules, int depth) {
  out << std::string(static_cast<std::size_t>(depth) * 2, ' ') << DescribeItem(item) << "  "
      << DescribeSettings(item.m_pNode ? item.m_pNode->GetValue(itemLoadInfo) : item.LoadInfo(),
                          item.m_pNode ? item.m_pNode->GetValue(itemRequisites) : 0UL, names)
      << DescribeSchedule(item, schedules) << DescribeLastRun(item) << '\n';
  for (const UITreeNode* child : item.Children()) PrintItem(out, *child, names, schedules, depth + 1);
}

}  // namespace

std::string DescribeItem(const UITreeNode& item) {
  switch (item.NodeClass()) {
    case kNodeKindPage:
      return DescribePage(item);
    case kNodeKindAgent:
      return "agent " + Quoted(NodeText(item.m_pNode, itemName));
    case kNodeKindFolder:
      return "folder " + QuotedFolderName(NodeText(item.m_pNode, itemName));
    case kNodeKindSearchFolder:
      return "search " + QuotedFolderName(NodeText(item.m_pNode, itemName));
    default:
      return "item " + Quoted(NodeText(item.m_pNode, itemName));
  }
}

void PrintTree(std::ostream& out, const UITreeNode& root, const StrategyNames& names) {
  PrintItem(out, root, names, ScheduleNames(), 0);
}

}  // namespace harvion
