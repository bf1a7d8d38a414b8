#include "engine/settings/dialogs/program_search.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QVBoxLayout>

#include "engine/settings/dialogs/dialog_ids.h"
#include "engine/settings/dialogs/dialog_support.h"
#include "engine/settings/dialogs/list_editor.h"
#include "engine/settings/dialogs/search_engine_dialog.h"

namespace hvdlg {

CProgramSearch::CProgramSearch(QWidget* parent)
    : CSheetPage(parent) {
  CListEditor::Owner owner;
  owner.names = [this] {
    QStringList names;
    for (const SearchEngineItem& item : m_list) names << FromEngine(item.title);
    return names;
  };
  owner.permissions = [](int) { return CListEditor::kMayAll; };
  owner.edit = [this](CListEditor::Mode mode, int index) {
    return CSearchEngineDialog::Edit(this, mode, m_list, index);
  };
  owner.remove = [this](int index) { m_list.erase(m_list.begin() + index); };
  m_editor = new CListEditor(Text(kTextSearchEngines), true, std::move(owner), this);
  // Made after the editor, so Tab reaches them after it, as they are placed.
  m_title = new QLineEdit(this);
  m_location = new QLineEdit(this);
  m_query = new QLineEdit(this);
  auto* details = new QGroupBox(tr("Details"), this);
  auto* form = new QFormLayout(details);
  AddRow(form, tr("Titl&e:"), m_title, kIdDetailTitle);
  AddRow(form, tr("L&ocation:"), m_location, kIdDetailLocation);
  AddRow(form, tr("Q&uery:"), m_query, kIdDetailQuery);
  for (QLineEdit* field : {m_title, m_location, m_query}) field->setReadOnly(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_editor, 1);
  layout->addWidget(details);
  connect(m_editor, &CListEditor::selectionChanged, this, &CProgramSearch::ShowDetails);
}

QString CProgramSearch::Title() const { return tr("Search Engines"); }

void CProgramSearch::Activate() {
  m_shown = CSettingsLists::SearchEngines();
  m_list = m_shown;
  m_editor->Select(m_list.empty() ? -1 : 0);
}

bool CProgramSearch::Store() {
  if (m_list == m_shown) return true;
  // A store that cannot be written changes nothing: the user's edits stay on the page.
  if (!CSettingsLists::ChangeSearchEngines(m_shown, m_list)) return true;
  m_shown = m_list;
  return true;
}

void CProgramSearch::ShowDetails(int index) {
  const bool shown = index >= 0 && index < static_cast<int>(m_list.size());
  const SearchEngineItem* item = shown ? &m_list[static_cast<std::size_t>(index)] : nullptr;
  m_title->setText(item ? FromEngine(item->title) : QString());
  m_location->setText(item ? FromEngine(item->location) : QString());
  m_query->setText(item ? FromEngine(item->query) : QString());
}

}  // namespace hvdlg
