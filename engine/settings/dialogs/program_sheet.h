// "Plugin Settings": the Connection, Passwords, Proxy and Search Engines
// pages. A page reads its values when first shown; OK and Apply store what
// changed on the pages shown, Cancel stores nothing (what Apply stored
// stays, and "Change Folder..." takes effect at once).
#pragma once

#include <QDialog>
#include <vector>

class QTabWidget;
class QPushButton;

namespace hvdlg {

class CSheetPage;

class CProgramSheet : public QDialog {
  Q_OBJECT
 public:
  explicit CProgramSheet(QWidget* parent = nullptr);
  // Shows the sheet modally.
  static void Run(QWidget* parent);

  void accept() override;
  QTabWidget* Tabs() const { return m_tabs; }
  CSheetPage* Page(int index) const { return m_pages[static_cast<std::size_t>(index)]; }

  // Stores every page shown; false when a page refused a value (that page
  // is then selected).
  bool Apply();

 private:
  void ActivateCurrent();

  QTabWidget* m_tabs;
  std::vector<CSheetPage*> m_pages;
};

}  // namespace hvdlg
