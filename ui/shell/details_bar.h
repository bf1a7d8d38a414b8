// The details bar under the tree: a tab for each property page of the node
// shown, by the node's kind (the pages' table says which), with the node's
// name as its title.
#pragma once

#include <QDockWidget>
#include <QStringList>
#include <cstdint>

#include "harvion/types.h"
#include "pages/property_page.h"

class QTabWidget;

namespace hvui {

class CPageHost;
class NodeBridge;

class CDetailsBar : public QDockWidget {
  Q_OBJECT
 public:
  CDetailsBar(NodeBridge& bridge, QWidget* parent = nullptr);
  ~CDetailsBar() override;

  // The tab titles for a node class (0: no node).
  static QStringList TabsFor(int nodeClass);

  // Shows the node (0: none); kind is its class, with its flags when known.
  // The same class as before keeps the selected tab and fills it again;
  // another rebuilds the tabs and selects the first.
  void ShowNode(std::uint64_t id, int kind);
  // The node went away: the bar forgets it.
  void Forget(std::uint64_t id);
  // The node's name changed: the title follows when it is the one shown.
  void NameChanged(std::uint64_t id, const QString& name);
  std::uint64_t NodeId() const { return m_id; }
  QTabWidget* Tabs() const { return m_tabs; }
  CPageHost& Host() const { return *m_host; }
  // The page of the selected tab; null when there is none.
  CPropertyPage* CurrentPage() const;
  // The node's record as it was when shown; null when it has none.
  HGLOBAL Record() const { return m_record; }

 private:
  void TakeRecord(std::uint64_t id);
  void ShowCurrent();
  QString NodeName(std::uint64_t id) const;

  CPageHost* m_host;
  QTabWidget* m_tabs;
  PageItem m_item;
  int m_class = -1;
  std::uint64_t m_id = 0;
  HGLOBAL m_record = nullptr;
};

}  // namespace hvui
