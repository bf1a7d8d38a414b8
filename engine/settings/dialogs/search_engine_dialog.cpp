#include "engine/settings/dialogs/search_engine_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "engine/settings/dialogs/dialog_ids.h"
#include "engine/settings/dialogs/dialog_support.h"

namespace hvdlg {

bool SameStoreName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

bool CSearchEngineDialog::Edit(QWidget* parent, CListEditor::Mode mode, std::vector<SearchEngineItem>& list,
                               int index) {
  if (mode != CListEditor::Mode::add && (index < 0 || index >= static_cast<int>(list.size()))) return false;
  CSearchEngineDialog dialog(mode, list, index, parent);
  return dialog.exec() == QDialog::Accepted;
}

CSearchEngineDialog::CSearchEngineDialog(CListEditor::Mode mode, std::vector<SearchEngineItem>& list, int index,
                                         QWidget* parent)
    : QDialog(parent), m_mode(mode), m_list(list), m_index(index), m_title(new QLineEdit(this)),
      m_location(new QLineEdit(this)), m_query(new QLineEdit(this)) {
  const bool modify = mode == CListEditor::Mode::modify;
  setWindowTitle(Text(modify ? kTextModifySearchEngine : kTextAddSearchEngine));
  setObjectName(QStringLiteral("dialog_search_engine"));
  if (mode != CListEditor::Mode::add) {
    const SearchEngineItem& item = list[static_cast<std::size_t>(index)];
    m_title->setText(FromEngine(item.title));
    m_location->setText(FromEngine(item.location));
    m_query->setText(FromEngine(item.query));
  }
  // The title names the engine's key: in modify mode it stays.
  m_title->setReadOnly(modify);
  auto* prompt = new QLabel(tr("Enter the title, URL, and query string for this search engine:"), this);
  auto* form = new QFormLayout;
  AddRow(form, tr("&Title:"), m_title, kIdEngineTitle);
  AddRow(form, tr("&Location:"), m_location, kIdEngineLocation);
  AddRow(form, tr("&Query:"), m_query, kIdEngineQuery);
  QDialogButtonBox* buttons = OkCancel(this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(prompt);
  layout->addLayout(form);
  layout->addWidget(buttons);
  (modify ? m_location : m_title)->setFocus();
}

void CSearchEngineDialog::accept() {
  const std::string title = ToEngine(m_title->text().trimmed());
  const std::string location = ToEngine(m_location->text().trimmed());
  const std::string query = ToEngine(m_query->text().trimmed());
  if (location.empty()) return Refuse(kTextNoEngineLocation);
  if (query.empty()) return Refuse(kTextNoQuery);
  if (m_mode == CListEditor::Mode::modify) {
    SearchEngineItem& item = m_list[static_cast<std::size_t>(m_index)];
    item.location = location;
    item.query = query;
    return QDialog::accept();
  }
  if (title.empty()) return Refuse(kTextNoEngineTitle);
  for (const SearchEngineItem& item : m_list)
    if (SameStoreName(item.title, title)) return Refuse(kTextEngineTaken);
  m_list.push_back({title, location, query});
  QDialog::accept();
}

}  // namespace hvdlg
