// Which pages the details bar shows for each kind of node, in tab order.
// A new page is one line in the table: the node class, the tab's title and
// how to make the page.
#pragma once

#include <QString>
#include <functional>
#include <vector>

namespace hvui {

class CPageHost;
class CPropertyPage;

struct PageEntry {
  int nodeClass;  // 0: no node shown
  const char* title;
  std::function<CPropertyPage*(CPageHost&)> make;
};

const std::vector<PageEntry>& PageTable();

}  // namespace hvui
