#include "engine/settings/dialogs/strategy_list_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/settings/dialogs/dialog_ids.h"
#include "engine/settings/dialogs/dialog_support.h"
#include "engine/settings/dialogs/list_editor.h"
#include "engine/settings/dialogs/strategy_edit_dialog.h"

namespace hvdlg {

std::optional<StrategyList> CStrategyListDialog::Edit(QWidget* parent, bool locations, const StrategyList& current) {
  CStrategyListDialog dialog(locations, current, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Value();
}

CStrategyListDialog::CStrategyListDialog(bool locations, const StrategyList& current, QWidget* parent)
    : QDialog(parent), m_locations(locations), m_list(current) {
  const QString title = Text(locations ? kTextLocations : kTextFileTypes);
  setWindowTitle(title);
  setObjectName(locations ? QStringLiteral("dialog_152") : QStringLiteral("dialog_309"));
  CListEditor::Owner owner;
  owner.names = [this] {
    QStringList names;
    for (const StrategyEntry& entry : m_list.entries) names << FromEngine(entry.name);
    return names;
  };
  owner.permissions = [this](int index) { return m_list.entries[static_cast<std::size_t>(index)].permissions; };
  owner.edit = [this](CListEditor::Mode mode, int index) {
    using Mode = CStrategyEditDialog::Mode;
    return CStrategyEditDialog::Edit(this, m_locations, mode == CListEditor::Mode::modify ? Mode::modify : Mode::copy,
                                     m_list.entries, index);
  };
  owner.remove = [this](int index) { m_list.entries.erase(m_list.entries.begin() + index); };
  // Strategies are only copied from another, never made from nothing.
  m_editor = new CListEditor(title, false, std::move(owner), this);
  m_editor->setObjectName(QStringLiteral("id_%1").arg(kIdEditorFrame));

  // Made after the editor, so Tab reaches them after it, as they are placed.
  m_name = new QLineEdit(this);
  m_retrieve = new QLineEdit(this);
  m_exclude = new QPlainTextEdit(this);
  m_name->setReadOnly(true);
  m_retrieve->setReadOnly(true);
  m_exclude->setReadOnly(true);
  m_exclude->setTabChangesFocus(true);
  m_exclude->setMaximumHeight(80);
  auto* details = new QGroupBox(tr("Details"), this);
  auto* form = new QFormLayout(details);
  AddRow(form, tr("Nam&e:"), m_name, kIdDetailName);
  AddRow(form, tr("Re&trieve:"), m_retrieve, kIdDetailRetrieve);
  AddRow(form, tr("E&xclude:"), m_exclude, kIdDetailExclude);

  QDialogButtonBox* buttons = OkCancel(this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_editor);
  layout->addWidget(details);
  layout->addWidget(buttons);

  connect(m_editor, &CListEditor::selectionChanged, this, &CStrategyListDialog::ShowDetails);
  m_editor->Select(current.selected);
  // A list taking the focus makes its first line current: with none chosen,
  // OK would then answer the first entry.
  if (m_editor->Selected() >= 0)
    m_editor->List()->setFocus();
  else
    buttons->button(QDialogButtonBox::Ok)->setFocus();
}

StrategyList CStrategyListDialog::Value() const {
  StrategyList value = m_list;
  value.selected = m_editor->Selected();
  return value;
}

void CStrategyListDialog::ShowDetails(int index) {
  const bool shown = index >= 0 && index < static_cast<int>(m_list.entries.size());
  const StrategyEntry* entry = shown ? &m_list.entries[static_cast<std::size_t>(index)] : nullptr;
  m_name->setText(entry ? FromEngine(entry->name) : QString());
  m_retrieve->setText(entry ? CStrategyEditDialog::StrategyText(m_locations, entry->kind) : QString());
  m_exclude->setPlainText(entry ? ExclusionsForEdit(entry->exclusions) : QString());
}

}  // namespace hvdlg
