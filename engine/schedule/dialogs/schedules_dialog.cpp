#include "engine/schedule/dialogs/schedules_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "engine/schedule/dialogs/schedule_editor.h"
#include "engine/settings/dialogs/dialog_ids.h"
#include "engine/settings/dialogs/dialog_support.h"
#include "engine/settings/dialogs/list_editor.h"

namespace hvdlg {

std::optional<CSchedulesDialog::Answer> CSchedulesDialog::Edit(QWidget* parent, const CScheduleList::Book& current,
                                                               int selected) {
  CSchedulesDialog dialog(current, selected, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Value();
}

int CSchedulesDialog::Run(QWidget* parent, int selected) {
  const CScheduleList::Book shown = CScheduleList::Read();
  const std::optional<Answer> answer = Edit(parent, shown, selected);
  if (!answer) return -1;
  if (const std::string refusal = CScheduleList::Change(shown, answer->book); !refusal.empty()) {
    Refuse(FromEngine(refusal));
    return -1;
  }
  if (answer->selected < 0) return -1;
  // Another program may have changed the list meanwhile: the index is the
  // one the chosen schedule has now.
  const std::string& name = answer->book.schedules[static_cast<std::size_t>(answer->selected)].name;
  const std::vector<CScheduleList::Schedule> stored = CScheduleList::List();
  for (std::size_t i = 0; i < stored.size(); ++i)
    if (stored[i].name == name) return static_cast<int>(i);
  return -1;
}

CSchedulesDialog::CSchedulesDialog(const CScheduleList::Book& current, int selected, QWidget* parent)
    : QDialog(parent), m_book(current) {
  const QString title = Text(kTextSchedules);
  setWindowTitle(title);
  setObjectName(QStringLiteral("dialog_137"));
  // Made in the order they are placed, so Tab goes top to bottom.
  m_enabled = new QCheckBox(tr("&Enable automatic updating using these schedules:"), this);
  Tag(m_enabled, kIdEnableSchedules, m_enabled->text());
  m_enabled->setChecked(current.enabled);

  CListEditor::Owner owner;
  owner.names = [this] {
    QStringList names;
    for (const CScheduleList::Schedule& s : m_book.schedules) names << FromEngine(s.name);
    return names;
  };
  owner.permissions = [](int) { return CListEditor::kMayAll; };
  owner.edit = [this](CListEditor::Mode mode, int index) {
    return CScheduleEditor::Edit(this, mode, m_book.schedules, index);
  };
  owner.remove = [this](int index) { m_book.schedules.erase(m_book.schedules.begin() + index); };
  m_editor = new CListEditor(title, true, std::move(owner), this);
  m_editor->setObjectName(QStringLiteral("id_%1").arg(kIdEditorFrame));

  m_name = new QLineEdit(this);
  m_name->setReadOnly(true);
  m_description = new QPlainTextEdit(this);
  m_description->setReadOnly(true);
  m_description->setTabChangesFocus(true);
  m_description->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_description->setFixedHeight(m_description->fontMetrics().lineSpacing() * 3 + 12);
  auto* details = new QGroupBox(tr("Details"), this);
  auto* form = new QFormLayout(details);
  AddRow(form, tr("&Name:"), m_name, kIdScheduleDetailName);
  AddRow(form, tr("Sc&hedule:"), m_description, kIdScheduleDetailText);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_enabled);
  layout->addWidget(m_editor);
  layout->addWidget(details);
  layout->addWidget(OkCancel(this));

  connect(m_editor, &CListEditor::selectionChanged, this, &CSchedulesDialog::ShowDetails);
  m_editor->Select(selected);
  // A list taking the focus makes its first line current: with none chosen,
  // OK would then answer the first schedule.
  if (m_editor->Selected() >= 0)
    m_editor->List()->setFocus();
  else
    m_enabled->setFocus();
}

CSchedulesDialog::Answer CSchedulesDialog::Value() const {
  Answer answer{m_book, m_editor->Selected()};
  answer.book.enabled = m_enabled->isChecked();
  return answer;
}

void CSchedulesDialog::ShowDetails(int index) {
  const bool shown = index >= 0 && index < static_cast<int>(m_book.schedules.size());
  const CScheduleList::Schedule* s = shown ? &m_book.schedules[static_cast<std::size_t>(index)] : nullptr;
  m_name->setText(s ? FromEngine(s->name) : QString());
  m_description->setPlainText(s ? FromEngine(s->description) : QString());
}

}  // namespace hvdlg
