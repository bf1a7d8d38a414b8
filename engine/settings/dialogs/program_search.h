// The "Search Engines" page: the list editor over a copy of the search
// engines, and the selected engine's title, location and query.
#pragma once

#include <vector>

#include "engine/settings/dialogs/sheet_page.h"
#include "harvion/settings_lists.h"

class QLineEdit;

namespace hvdlg {

class CListEditor;

class CProgramSearch : public CSheetPage {
  Q_OBJECT
 public:
  explicit CProgramSearch(QWidget* parent = nullptr);
  QString Title() const override;
  void Activate() override;
  bool Store() override;
  CListEditor* Editor() const { return m_editor; }

 private:
  void ShowDetails(int index);

  std::vector<SearchEngineItem> m_shown;  // as read or last stored
  std::vector<SearchEngineItem> m_list;   // as the user leaves it
  CListEditor* m_editor;
  QLineEdit *m_title, *m_location, *m_query;
};

}  // namespace hvdlg
