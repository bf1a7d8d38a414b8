#include "engine/settings/dialogs/list_editor.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/settings/dialogs/dialog_ids.h"
#include "engine/settings/dialogs/dialog_support.h"

namespace hvdlg {

CListEditor::CListEditor(const QString& title, bool canAdd, Owner owner, QWidget* parent)
    : QGroupBox(title, parent), m_owner(std::move(owner)), m_canAdd(canAdd), m_list(new QListWidget(this)) {
  Tag(this, kIdListGroup, title);
  Tag(m_list, kIdList, title);
  const auto button = [this](const QString& text, int id) {
    auto* b = new QPushButton(text, this);
    Tag(b, id, text);
    b->setAutoDefault(false);
    return b;
  };
  m_add = button(tr("&Add..."), kIdAdd);
  m_copy = button(tr("&Copy..."), kIdCopy);
  m_modify = button(tr("&Modify..."), kIdModify);
  m_remove = button(tr("&Remove"), kIdRemove);
  auto* buttons = new QVBoxLayout;
  for (QPushButton* b : {m_add, m_copy, m_modify, m_remove}) buttons->addWidget(b);
  buttons->addStretch();
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(m_list, 1);
  layout->addLayout(buttons);

  connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
    UpdateButtons();
    emit selectionChanged(row);
  });
  connect(m_list, &QListWidget::itemDoubleClicked, this, [this] {
    if (m_modify->isEnabled()) Run(Mode::modify);
  });
  connect(m_add, &QPushButton::clicked, this, [this] { Run(Mode::add); });
  connect(m_copy, &QPushButton::clicked, this, [this] { Run(Mode::copy); });
  connect(m_modify, &QPushButton::clicked, this, [this] { Run(Mode::modify); });
  connect(m_remove, &QPushButton::clicked, this, [this] { RemoveSelected(); });
  Refill(-1);
}

void CListEditor::Select(int index) {
  Refill(index);
  emit selectionChanged(Selected());
}

int CListEditor::Selected() const { return m_list->currentRow(); }

void CListEditor::Refill(int select) {
  const QSignalBlocker quiet(m_list);
  m_list->clear();
  m_list->addItems(m_owner.names());
  m_list->setCurrentRow(select >= 0 && select < m_list->count() ? select : -1);
  UpdateButtons();
}

void CListEditor::UpdateButtons() {
  const int selected = Selected();
  const int permissions = selected >= 0 ? m_owner.permissions(selected) : 0;
  m_add->setEnabled(m_canAdd);
  m_copy->setEnabled(permissions & kMayCopy);
  m_modify->setEnabled(permissions & kMayModify);
  m_remove->setEnabled(permissions & kMayRemove);
}

void CListEditor::Run(Mode mode) {
  const int selected = Selected();
  // Buttons are disabled rather than refused; a shortcut may still arrive.
  if (mode == Mode::add && !m_canAdd) return;
  if (mode != Mode::add && (selected < 0 || !(m_owner.permissions(selected) & (mode == Mode::copy ? kMayCopy : kMayModify))))
    return;
  if (!m_owner.edit(mode, selected)) return;
  // A new item is the last one; a modified one keeps its place and name.
  const QStringList names = m_owner.names();
  Select(mode == Mode::modify ? selected : static_cast<int>(names.size()) - 1);
}

void CListEditor::RemoveSelected() {
  const int selected = Selected();
  if (selected < 0 || !(m_owner.permissions(selected) & kMayRemove)) return;
  m_owner.remove(selected);
  // The line goes with its item; nothing is selected until the user picks.
  Select(-1);
}

}  // namespace hvdlg
