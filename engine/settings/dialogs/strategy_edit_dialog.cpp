#include "engine/settings/dialogs/strategy_edit_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "engine/settings/dialogs/dialog_ids.h"
#include "engine/settings/dialogs/dialog_support.h"
#include "harvion/settings_lists.h"

namespace hvdlg {

namespace {

constexpr char kFileTypesHelp[] =
    "To exclude a file type from retrieval, enter its extension. Use one extension per line.\n"
    "Example: .mov excludes Quicktime movies.";
constexpr char kLocationsHelp[] =
    "To exclude pages from retrieval, enter a URL or path on each line. Deleted locations automatically appear in "
    "this list.";

std::vector<std::string> NamesOf(const std::vector<StrategyEntry>& list) {
  std::vector<std::string> names;
  for (const StrategyEntry& entry : list) names.push_back(entry.name);
  return names;
}

}  // namespace

QString CStrategyEditDialog::StrategyText(bool locations, int kind) {
  if (locations && kind == 4) return Text(kTextInsideServerStrategy);
  if (kind < 0 || kind > 3) return QString();
  return Text((locations ? kTextLocationStrategyFirst : kTextFileTypeStrategyFirst) + static_cast<unsigned>(kind));
}

QString ExclusionsForEdit(const std::string& stored) {
  QString text = FromEngine(stored);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

std::string ExclusionsForStore(const QString& edited) {
  QString text = edited;
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return ToEngine(text);
}

bool CStrategyEditDialog::Edit(QWidget* parent, bool locations, Mode mode, std::vector<StrategyEntry>& list,
                               int index) {
  if (index < 0 || index >= static_cast<int>(list.size())) return false;
  CStrategyEditDialog dialog(locations, mode, list, index, parent);
  return dialog.exec() == QDialog::Accepted;
}

CStrategyEditDialog::CStrategyEditDialog(bool locations, Mode mode, std::vector<StrategyEntry>& list, int index,
                                         QWidget* parent)
    : QDialog(parent), m_locations(locations), m_mode(mode), m_list(list), m_index(index),
      m_name(new QLineEdit(this)), m_retrieve(new QLineEdit(this)), m_exclude(new QPlainTextEdit(this)) {
  const bool modify = mode == Mode::modify;
  setWindowTitle(Text(locations ? (modify ? kTextModifyLocations : kTextAddLocation)
                                : (modify ? kTextModifyFileTypes : kTextAddFileTypes)));
  setObjectName(locations ? QStringLiteral("dialog_312") : QStringLiteral("dialog_310"));
  const StrategyEntry& entry = list[static_cast<std::size_t>(index)];
  // A copy shows the name it would get; its kind and exclusions are the copied entry's.
  m_name->setText(modify ? FromEngine(entry.name) : FromEngine(CSettingsLists::CopyName(NamesOf(list), entry.name)));
  m_name->setReadOnly(modify);
  m_retrieve->setText(StrategyText(locations, entry.kind));
  m_retrieve->setReadOnly(true);
  m_exclude->setPlainText(ExclusionsForEdit(entry.exclusions));
  m_exclude->setTabChangesFocus(true);

  auto* form = new QFormLayout;
  AddRow(form, tr("&Name:"), m_name, kIdStrategyName);
  AddRow(form, tr("Re&trieve:"), m_retrieve, kIdStrategyRetrieve);
  AddRow(form, tr("&Exclude:"), m_exclude, kIdStrategyExclude);
  auto* help = new QLabel(QString::fromLatin1(locations ? kLocationsHelp : kFileTypesHelp), this);
  help->setWordWrap(true);
  Tag(help, kIdStrategyHelp, help->text());
  QDialogButtonBox* buttons = OkCancel(this);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(help);
  layout->addWidget(buttons);
  (modify ? static_cast<QWidget*>(m_exclude) : m_name)->setFocus();
  if (!modify) m_name->selectAll();
}

void CStrategyEditDialog::accept() {
  const std::string name = ToEngine(m_name->text());
  if (name.empty()) {
    Refuse(kTextNoStrategyName);
    return;
  }
  const std::string exclusions = ExclusionsForStore(m_exclude->toPlainText());
  if (m_mode == Mode::modify) {
    m_list[static_cast<std::size_t>(m_index)].exclusions = exclusions;
    QDialog::accept();
    return;
  }
  for (const StrategyEntry& entry : m_list) {
    if (entry.name == name) {
      Refuse(kTextStrategyTaken);
      return;
    }
  }
  const int kind = m_list[static_cast<std::size_t>(m_index)].kind;
  m_list.push_back({name, kind, exclusions, 0xFFFF});
  QDialog::accept();
}

}  // namespace hvdlg
