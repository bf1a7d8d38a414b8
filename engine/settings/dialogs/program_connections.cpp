#include "engine/settings/dialogs/program_connections.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "engine/settings/dialogs/dialog_ids.h"
#include "engine/settings/dialogs/dialog_support.h"
#include "engine/settings/dialogs/engine_values.h"
#include "harvion/ras.h"
#include "harvion/settings.h"
#include "harvion/settings_lists.h"

namespace hvdlg {

namespace {

FolderChooser& Chooser() {
  static FolderChooser chooser;
  return chooser;
}

QString ChooseFolder(QWidget* parent, const QString& title, const QString& start) {
  if (Chooser()) return Chooser()(parent, title, start);
  return QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
}

// The dial-up library's text for an error, else "Undefine Ras Error Code".
QString RasErrorText(std::uint32_t error) {
  char text[512] = {};
  if (CRas::gpfnRasGetErrorString && CRas::gpfnRasGetErrorString(error, text, sizeof text - 1) == 0 && text[0])
    return FromEngine(text);
  return Text(kTextRasUndefined);
}

}  // namespace

FolderChooser SetFolderChooser(FolderChooser chooser) {
  std::swap(Chooser(), chooser);
  return chooser;
}

QString CProgramConnections::AgentsFolderUnder(const QString& chosen) {
  QString path = chosen;
  if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
  return path + Text(kTextAgentsSubfolder);
}

CProgramConnections::CProgramConnections(QWidget* parent)
    : CSheetPage(parent), m_autodial(new QCheckBox(tr("&Connect to the Internet as needed"), this)),
      m_connectionLabel(new QLabel(tr("&Use the following Dial-Up Networking connection:"), this)),
      m_connection(new QComboBox(this)), m_add(new QPushButton(tr("Ad&d..."), this)),
      m_properties(new QPushButton(tr("P&roperties"), this)), m_threads(new QSpinBox(this)),
      m_timeout(new QSpinBox(this)), m_keepAlive(new QCheckBox(this)), m_caFile(new QLineEdit(this)),
      m_folder(new QLineEdit(this)), m_changeFolder(new QPushButton(tr("C&hange Folder..."), this)) {
  Tag(m_autodial, kIdAutodial, m_autodial->text());
  Tag(m_connectionLabel, kIdConnectionLabel, m_connectionLabel->text());
  m_connectionLabel->setBuddy(m_connection);
  Tag(m_connection, kIdConnection, m_connectionLabel->text());
  Tag(m_add, kIdDialAdd, tr("Add Dial-Up Networking connection"));
  Tag(m_properties, kIdDialProperties, tr("Dial-Up Networking connection properties"));
  m_keepAlive->setText(QStringLiteral("&%1").arg(Text(kTextKeepAlive)));
  Tag(m_keepAlive, kIdKeepAlive, m_keepAlive->text());
  Tag(m_changeFolder, kIdChangeFolder, m_changeFolder->text());
  m_threads->setRange(1, 63);
  m_timeout->setRange(1, 3600);
  m_timeout->setSuffix(tr(" s"));
  m_folder->setReadOnly(true);
  for (QPushButton* b : {m_add, m_properties, m_changeFolder}) b->setAutoDefault(false);

  auto* dial = new QGroupBox(tr("Dial-Up Networking"), this);
  auto* dialLayout = new QVBoxLayout(dial);
  dialLayout->addWidget(m_autodial);
  dialLayout->addWidget(m_connectionLabel);
  auto* entryRow = new QHBoxLayout;
  entryRow->addWidget(m_connection, 1);
  entryRow->addWidget(m_add);
  entryRow->addWidget(m_properties);
  dialLayout->addLayout(entryRow);

  auto* transfers = new QGroupBox(tr("Connections"), this);
  auto* form = new QFormLayout(transfers);
  AddRow(form, tr("Co&nnections:"), m_threads, kIdThreads);
  AddRow(form, tr("&Timeout:"), m_timeout, kIdTimeout);
  form->addRow(m_keepAlive);
  AddRow(form, QStringLiteral("C&A File:"), m_caFile, kIdCaFile);
  m_caFile->setPlaceholderText(tr("PEM certificates trusted beside the system's"));

  auto* folderLabel = new QLabel(tr("Harvion saves Agent files and Internet files in a special &folder:"), this);
  folderLabel->setWordWrap(true);
  folderLabel->setBuddy(m_folder);
  Tag(m_folder, kIdFolder, folderLabel->text());
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(m_folder, 1);
  folderRow->addWidget(m_changeFolder);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(dial);
  layout->addWidget(transfers);
  layout->addWidget(folderLabel);
  layout->addLayout(folderRow);
  layout->addStretch();

  connect(m_autodial, &QCheckBox::toggled, this, &CProgramConnections::UpdateDialControls);
  connect(m_add, &QPushButton::clicked, this, [this] { RunPhonebook(true); });
  connect(m_properties, &QPushButton::clicked, this, [this] { RunPhonebook(false); });
  connect(m_changeFolder, &QPushButton::clicked, this, &CProgramConnections::ChangeFolder);
}

QString CProgramConnections::Title() const { return tr("Connection"); }

void CProgramConnections::Activate() {
  {
    CRas ras;
    ras.Init();
    m_rasAvailable = CRas::IsRasAvailable() != 0;
  }
  m_read.autodial = EngineSwitch("autodial") && m_rasAvailable;
  m_read.threads = EngineValue("threads").toInt();
  m_read.timeout = EngineValue("timeout").toInt();
  m_read.keepAlive = EngineSwitch("keep-alive");
  m_read.caFile = EngineValue("ca-file");
  m_autodial->setChecked(m_read.autodial);
  m_autodial->setEnabled(m_rasAvailable);
  FillConnections(EngineValue("connection"));
  m_read.connection = m_connection->currentText();
  m_threads->setValue(m_read.threads);
  m_timeout->setValue(m_read.timeout);
  m_keepAlive->setChecked(m_read.keepAlive);
  m_caFile->setText(m_read.caFile);
  m_folder->setText(EngineValue("agents-folder"));
  // The folder holds the agent a run is writing: it changes only between runs.
  m_changeFolder->setEnabled(CSettingsLists::IsRetrievalStopped());
  UpdateDialControls();
}

void CProgramConnections::FillConnections(const QString& select) {
  m_connection->clear();
  if (m_rasAvailable) {
    CRas ras;
    ras.Init();
    ras.Reset();
    for (const std::string& name : *ras.GetNames()) m_connection->addItem(FromEngine(name));
  }
  // A stored entry that is gone is forgotten: the first one is taken instead.
  const int found = m_connection->findText(select, Qt::MatchExactly);
  m_connection->setCurrentIndex(found >= 0 ? found : (m_connection->count() > 0 ? 0 : -1));
}

void CProgramConnections::UpdateDialControls() {
  const bool on = m_autodial->isChecked();
  for (QWidget* control : {static_cast<QWidget*>(m_connectionLabel), static_cast<QWidget*>(m_connection),
                           static_cast<QWidget*>(m_add), static_cast<QWidget*>(m_properties)})
    control->setEnabled(on);
}

void CProgramConnections::RunPhonebook(bool create) {
  const QString selected = m_connection->currentText();
  std::uint32_t error = 0;
  if (create && CRas::gpfnRasCreatePhonebookEntry) {
    error = CRas::gpfnRasCreatePhonebookEntry(nullptr, nullptr);
  } else if (!create && CRas::gpfnRasEditPhonebookEntry && !selected.isEmpty()) {
    error = CRas::gpfnRasEditPhonebookEntry(nullptr, nullptr, ToEngine(selected).c_str());
  } else {
    return;
  }
  if (error != 0) Refuse(RasErrorText(error));
  FillConnections(selected);
}

void CProgramConnections::ChangeFolder() {
  const QString chosen = ChooseFolder(this, Text(kTextChooseFolder), m_folder->text());
  if (chosen.isEmpty()) return;
  const QString path = AgentsFolderUnder(chosen);
  // Made (one level) and taken at once: the open agent is saved and closed first.
  if (CEngineSettings::Change("agents-folder", ToEngine(path)).empty()) {
    m_folder->setText(EngineValue("agents-folder"));
    return;
  }
  Refuse(Text(kTextFolderNotMade).replace(QStringLiteral("%s"), path));
}

CProgramConnections::Values CProgramConnections::Shown() const {
  return {m_autodial->isChecked(), m_connection->currentText(), m_threads->value(),
          m_timeout->value(),      m_keepAlive->isChecked(),    m_caFile->text().trimmed()};
}

bool CProgramConnections::Store() {
  const Values now = Shown();
  bool stored = true;
  const auto change = [&](bool differs, const char* name, const QString& value) {
    if (differs) stored = ChangeEngineValue(name, value) && stored;
  };
  change(now.threads != m_read.threads, "threads", QString::number(now.threads));
  change(now.timeout != m_read.timeout, "timeout", QString::number(now.timeout));
  change(now.autodial != m_read.autodial, "autodial", now.autodial ? "on" : "off");
  change(now.connection != m_read.connection, "connection", now.connection);
  change(now.keepAlive != m_read.keepAlive, "keep-alive", now.keepAlive ? "on" : "off");
  change(now.caFile != m_read.caFile, "ca-file", now.caFile);
  if (stored) m_read = now;
  return stored;
}

}  // namespace hvdlg
