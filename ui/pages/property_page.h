// One tab of the details bar. The bar makes a page for each tab of the kind
// of node shown and calls Show whenever the tab becomes current or shows
// another node; the page then fills itself from the node.
//
// A page plugs in by overriding Fill: read the node through Read, set the
// controls, and leave them disabled unless Writable. Each change the user
// makes is written at once through Write (there is no OK step); Write runs
// only while the node is still there and may be changed, and refills the page
// when the engine refuses, so the controls never show a value that is not
// the node's. A node that is gone, or one the bar shows read-only, keeps its
// last values on the page and takes no change.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>

class CSafNode;

namespace hvui {

class CPageHost;

// The node a page shows.
struct PageItem {
  std::uint64_t id = 0;  // the bridge's number; 0: none
  int kind = 0;          // the node's class in the low four bits, then its flags
};

class CPropertyPage : public QWidget {
  Q_OBJECT
 public:
  CPropertyPage(CPageHost& host, QWidget* parent = nullptr);

  // Shows the node and fills the page from it.
  void Show(const PageItem& item);
  // Fills the page again from the node shown.
  void Refill();
  // A read-only page shows the node's values and changes nothing.
  void SetReadOnly(bool readOnly);

  const PageItem& Item() const { return m_item; }
  // The node is there and may be changed through this page.
  bool Writable() const;

 protected:
  // Reads the node and sets the controls.
  virtual void Fill() = 0;

  // Runs read with the node under the engine's lock; false when it is gone.
  bool Read(const std::function<void(CSafNode&)>& read) const;
  // Writes a change: write answers whether the engine took it. False when
  // the node is gone, read-only or refused it; the last two fill the page
  // again.
  // Controls that signal while the page fills write nothing.
  bool Write(const std::function<bool(CSafNode&)>& write);

  CPageHost& Host() const { return m_host; }

 private:
  CPageHost& m_host;
  PageItem m_item;
  bool m_readOnly = false;
  bool m_filling = false;  // a change signalled while filling is not the user's
};

}  // namespace hvui
