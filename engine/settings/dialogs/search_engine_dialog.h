// "Modify Search Engine" / "Add Search Engine": title, location and query
// string of one engine of the Search Engines page.
#pragma once

#include <QDialog>
#include <vector>

#include "engine/settings/dialogs/list_editor.h"
#include "harvion/settings_lists.h"

class QLineEdit;

namespace hvdlg {

class CSearchEngineDialog : public QDialog {
  Q_OBJECT
 public:
  // Add starts empty, copy from the item at index, modify changes that item
  // (not its title); add and copy append a new item. True on OK.
  static bool Edit(QWidget* parent, CListEditor::Mode mode, std::vector<SearchEngineItem>& list, int index);

  CSearchEngineDialog(CListEditor::Mode mode, std::vector<SearchEngineItem>& list, int index,
                      QWidget* parent = nullptr);
  void accept() override;

 private:
  CListEditor::Mode m_mode;
  std::vector<SearchEngineItem>& m_list;
  int m_index;
  QLineEdit *m_title, *m_location, *m_query;
};

// Whether two names would name the same key of the settings store, which
// compares names without regard to ASCII case.
bool SameStoreName(const std::string& a, const std::string& b);

}  // namespace hvdlg
