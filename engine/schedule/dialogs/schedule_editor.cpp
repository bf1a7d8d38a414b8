#include "engine/schedule/dialogs/schedule_editor.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "engine/settings/dialogs/dialog_ids.h"
#include "engine/settings/dialogs/dialog_support.h"
#include "harvion/settings_lists.h"

namespace hvdlg {

namespace {

// Every letter reaches one control: the days and times take letters the
// kinds and the name leave free.
const char* const kKindLabels[] = {"&Hourly", "&Periodic intervals", "&Daily", "&Monthly"};
const char* const kDayLabels[] = {"S&unday", "Monda&y", "Tu&esday", "&Wednesday", "&Thursday", "Fr&iday", "Satu&rday"};

QSpinBox* Spin(QWidget* parent, int low, int high, int value, int id, const QString& name) {
  auto* spin = new QSpinBox(parent);
  spin->setRange(low, high);
  spin->setValue(value);
  Tag(spin, id, name);
  return spin;
}

QLineEdit* TimeEdit(QWidget* parent, const std::string& text, int id, const QString& name) {
  auto* edit = new QLineEdit(FromEngine(text), parent);
  edit->setMaximumWidth(100);
  Tag(edit, id, name);
  return edit;
}

QLabel* Label(QWidget* parent, const QString& text, QWidget* buddy = nullptr) {
  auto* label = new QLabel(text, parent);
  if (buddy) label->setBuddy(buddy);
  return label;
}

}  // namespace

const char CScheduleEditor::kNoNextRun[] = "***Error.***  Next run can not be calculated.";

bool CScheduleEditor::Edit(QWidget* parent, CListEditor::Mode mode, std::vector<Schedule>& list, int index) {
  if (mode != CListEditor::Mode::add && (index < 0 || index >= static_cast<int>(list.size()))) return false;
  CScheduleEditor editor(mode, list, index, parent);
  return editor.exec() == QDialog::Accepted;
}

CScheduleEditor::CScheduleEditor(CListEditor::Mode mode, std::vector<Schedule>& list, int index, QWidget* parent)
    : QDialog(parent), m_mode(mode), m_list(list), m_index(index) {
  const bool modify = mode == CListEditor::Mode::modify;
  setWindowTitle(Text(modify ? kTextModifySchedule : kTextAddSchedule));
  setObjectName(QStringLiteral("dialog_138"));
  m_copy = mode == CListEditor::Mode::add ? CScheduleList::Fresh() : list[static_cast<std::size_t>(index)];
  if (mode == CListEditor::Mode::copy) {
    std::vector<std::string> names;
    for (const Schedule& s : list) names.push_back(s.name);
    m_copy.name = CSettingsLists::CopyName(names, m_copy.name);
  }

  // Made in the order they are placed, so Tab goes top to bottom.
  m_name = new QLineEdit(FromEngine(m_copy.name), this);
  m_name->setReadOnly(modify);
  auto* form = new QFormLayout;
  AddRow(form, tr("&Name:"), m_name, kIdScheduleName);

  auto* kinds = new QHBoxLayout;
  for (int i = 0; i < 4; ++i) {
    m_kinds[i] = new QRadioButton(tr(kKindLabels[i]), this);
    Tag(m_kinds[i], kIdHourly + i, m_kinds[i]->text());
    m_kinds[i]->setChecked(m_copy.kind == i);
    kinds->addWidget(m_kinds[i]);
  }
  kinds->addStretch();

  auto* days = new QGridLayout;
  for (int i = 0; i < 7; ++i) {
    m_days[i] = new QCheckBox(tr(kDayLabels[i]), this);
    Tag(m_days[i], kIdSunday + i, m_days[i]->text());
    m_days[i]->setChecked(m_copy.days & (1 << i));
    days->addWidget(m_days[i], i / 4, i % 4);
  }

  m_hourlyRow = new QWidget(this);
  auto* hourly = new QHBoxLayout(m_hourlyRow);
  hourly->setContentsMargins(0, 0, 0, 0);
  m_minute = Spin(m_hourlyRow, 0, 59, m_copy.minute, kIdMinute, tr("minutes after the hour"));
  hourly->addWidget(m_minute);
  hourly->addWidget(Label(m_hourlyRow, tr("minutes a&fter the hour"), m_minute));
  hourly->addStretch();

  m_periodicRow = new QWidget(this);
  auto* periodic = new QHBoxLayout(m_periodicRow);
  periodic->setContentsMargins(0, 0, 0, 0);
  QLabel* every = Label(m_periodicRow, tr("E&very"));
  m_period = Spin(m_periodicRow, 1, 1439, m_copy.period, kIdPeriod, tr("Every, minutes"));
  every->setBuddy(m_period);
  QLabel* between = Label(m_periodicRow, tr("minutes &between"));
  m_windowStart = TimeEdit(m_periodicRow, m_copy.start, kIdWindowStart, tr("between"));
  between->setBuddy(m_windowStart);
  QLabel* andLabel = Label(m_periodicRow, tr("&and"));
  m_windowEnd = TimeEdit(m_periodicRow, m_copy.end, kIdWindowEnd, tr("and"));
  andLabel->setBuddy(m_windowEnd);
  for (QWidget* w : std::initializer_list<QWidget*>{every, m_period, between, m_windowStart, andLabel, m_windowEnd})
    periodic->addWidget(w);
  periodic->addStretch();

  m_startRow = new QWidget(this);
  auto* start = new QHBoxLayout(m_startRow);
  start->setContentsMargins(0, 0, 0, 0);
  QLabel* startLabel = Label(m_startRow, tr("&Start at:"));
  m_startAt = TimeEdit(m_startRow, m_copy.start, kIdStartAt, tr("Start at:"));
  startLabel->setBuddy(m_startAt);
  start->addWidget(startLabel);
  start->addWidget(m_startAt);
  m_monthlyPart = new QWidget(m_startRow);
  auto* monthly = new QHBoxLayout(m_monthlyPart);
  monthly->setContentsMargins(0, 0, 0, 0);
  QLabel* onThe = Label(m_monthlyPart, tr("&on the"));
  m_dayOfMonth = Spin(m_monthlyPart, 1, 31, m_copy.dayOfMonth, kIdDayOfMonth, tr("on the, day of the month"));
  onThe->setBuddy(m_dayOfMonth);
  monthly->addWidget(onThe);
  monthly->addWidget(m_dayOfMonth);
  monthly->addWidget(Label(m_monthlyPart, tr("day of the month")));
  start->addWidget(m_monthlyPart);
  start->addStretch();

  m_nextUpdate = new QLabel(this);
  m_nextUpdate->setTextFormat(Qt::PlainText);
  m_nextUpdate->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_nextUpdate->setObjectName(QStringLiteral("id_%1").arg(kIdNextUpdate));
  m_nextUpdate->setAccessibleName(tr("Next update:"));
  auto* next = new QFormLayout;
  next->addRow(tr("Next update:"), m_nextUpdate);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(kinds);
  layout->addLayout(days);
  for (QWidget* row : {m_hourlyRow, m_periodicRow, m_startRow}) layout->addWidget(row);
  layout->addLayout(next);
  layout->addWidget(OkCancel(this));
  layout->setSizeConstraint(QLayout::SetFixedSize);  // rows come and go with the kind

  for (QRadioButton* kind : m_kinds) connect(kind, &QRadioButton::toggled, this, &CScheduleEditor::Refresh);
  for (QCheckBox* day : m_days) connect(day, &QCheckBox::toggled, this, &CScheduleEditor::Refresh);
  for (QSpinBox* spin : {m_minute, m_period, m_dayOfMonth})
    connect(spin, &QSpinBox::valueChanged, this, &CScheduleEditor::Refresh);
  // One start time, shown in the row of each kind that has one.
  connect(m_windowStart, &QLineEdit::textEdited, this, [this](const QString& text) {
    m_startAt->setText(text);
    Refresh();
  });
  connect(m_startAt, &QLineEdit::textEdited, this, [this](const QString& text) {
    m_windowStart->setText(text);
    Refresh();
  });
  connect(m_windowEnd, &QLineEdit::textEdited, this, &CScheduleEditor::Refresh);
  Refresh();
  if (modify) {
    const int kind = Kind();
    (kind >= 0 ? static_cast<QWidget*>(m_kinds[static_cast<std::size_t>(kind)]) : m_kinds[0])->setFocus();
  } else {
    m_name->setFocus();
    m_name->selectAll();
  }
}

int CScheduleEditor::Kind() const {
  for (int i = 0; i < 4; ++i)
    if (m_kinds[static_cast<std::size_t>(i)]->isChecked()) return i;
  return -1;
}

CScheduleList::Edit CScheduleEditor::Read() const {
  CScheduleList::Edit edit;
  edit.name = ToEngine(m_name->text().trimmed());
  edit.kind = Kind();
  edit.minute = m_minute->value();
  edit.period = m_period->value();
  edit.dayOfMonth = m_dayOfMonth->value();
  // The eighth bit means nothing but is kept as it was stored.
  int days = m_copy.days & 0x80;
  for (int i = 0; i < 7; ++i)
    if (m_days[static_cast<std::size_t>(i)]->isChecked()) days |= 1 << i;
  edit.days = days;
  edit.start = ToEngine(m_startAt->text());
  edit.end = ToEngine(m_windowEnd->text());
  return edit;
}

void CScheduleEditor::Refresh() {
  if (m_refreshing) return;
  m_refreshing = true;
  const int kind = Kind();
  m_hourlyRow->setVisible(kind == CScheduleList::kindHourly);
  m_periodicRow->setVisible(kind == CScheduleList::kindPeriodic);
  m_startRow->setVisible(kind == CScheduleList::kindDaily || kind == CScheduleList::kindMonthly);
  m_monthlyPart->setVisible(kind == CScheduleList::kindMonthly);
  // A monthly schedule runs whatever the weekday; the boxes keep their marks.
  for (QCheckBox* day : m_days) day->setEnabled(kind != CScheduleList::kindMonthly);
  Schedule checked = m_copy;
  const bool sound = CScheduleList::Check(m_list, Read(), false, checked).empty();
  if (sound) m_copy = checked;
  m_nextUpdate->setText(sound && checked.nextRun ? FromEngine(checked.nextRunText) : QString::fromLatin1(kNoNextRun));
  m_refreshing = false;
}

void CScheduleEditor::accept() {
  const bool adding = m_mode != CListEditor::Mode::modify;
  Schedule result = m_copy;
  const std::string refusal = CScheduleList::Check(m_list, Read(), adding, result);
  if (!refusal.empty()) return Refuse(FromEngine(refusal));
  if (adding)
    m_list.push_back(result);
  else
    m_list[static_cast<std::size_t>(m_index)] = result;
  QDialog::accept();
}

}  // namespace hvdlg
