// The details bar under the tree: a tab for each property page of the node
// shown, by the node's kind. The pages themselves come with their own work;
// until then each tab shows its page's title.
#pragma once

#include <QDockWidget>
#include <QStringList>
#include <cstdint>

#include "harvion/types.h"

class QTabWidget;

namespace hvui {

class NodeBridge;

class CDetailsBar : public QDockWidget {
  Q_OBJECT
 public:
  CDetailsBar(NodeBridge& bridge, QWidget* parent = nullptr);
  ~CDetailsBar() override;

  // The tab titles for a node class (0: no node).
  static QStringList TabsFor(int nodeClass);

  // Shows the node (0: none). The same kind as before keeps the selected
  // tab; another rebuilds the tabs and selects the first.
  void ShowNode(std::uint64_t id, int nodeClass);
  // The node went away: the bar forgets it.
  void Forget(std::uint64_t id);
  std::uint64_t NodeId() const { return m_id; }
  QTabWidget* Tabs() const { return m_tabs; }
  // The node's record as it was when shown; null when it has none.
  HGLOBAL Record() const { return m_record; }

 private:
  void TakeRecord(std::uint64_t id);

  NodeBridge& m_bridge;
  QTabWidget* m_tabs;
  std::uint64_t m_id = 0;
  int m_class = -1;
  HGLOBAL m_record = nullptr;
};

}  // namespace hvui
