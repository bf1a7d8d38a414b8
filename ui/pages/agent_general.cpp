#include "pages/agent_general.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "harvion/saf_node.h"
#include "harvion/ui_node.h"
#include "pages/item_records.h"
#include "pages/page_controls.h"
#include "pages/page_host.h"
#include "shell/message_boxes.h"
#include "shell/plugin_client.h"
#include "shell/tree_item_node.h"
#include "shell/ui_texts.h"

namespace hvui {

namespace {

enum : int { kIdClearCache = 1006, kIdLimit = 1021, kIdSize = 1052, kIdFolder = 1053 };
constexpr int kLargestLimit = 999999;

}  // namespace

CAgentGeneral::CAgentGeneral(CPageHost& host, QWidget* parent)
    : CPropertyPage(host, parent),
      m_folder(new QLabel(this)),
      m_size(new QLabel(this)),
      m_limit(new QLineEdit(this)),
      m_clear(new QPushButton(tr("C&lear Cache..."), this)) {
  setObjectName("page_164");
  auto* grid = new QGridLayout(this);
  for (QLabel* shown : {m_folder, m_size}) {
    shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
    shown->setWordWrap(true);
  }
  AddLabelledRow(grid, 0, tr("Cache:"), m_folder, kIdFolder);
  AddLabelledRow(grid, 1, tr("Size:"), m_size, kIdSize);
  auto* limitRow = new QHBoxLayout;
  m_limit->setMaxLength(7);
  m_limit->setMaximumWidth(m_limit->fontMetrics().horizontalAdvance(QStringLiteral("99999999")));
  limitRow->addWidget(m_limit);
  limitRow->addWidget(new QLabel(tr("Kilobytes"), this));
  limitRow->addStretch();
  auto* limitLabel = new QLabel(tr("Li&mit to:"), this);
  limitLabel->setBuddy(m_limit);
  TagControl(m_limit, kIdLimit, tr("Limit to (kilobytes)"));
  grid->addWidget(limitLabel, 2, 0);
  grid->addLayout(limitRow, 2, 1);
  TagControl(m_clear, kIdClearCache, m_clear->text());
  grid->addWidget(m_clear, 3, 1, Qt::AlignLeft);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(4, 1);

  connect(m_limit, &QLineEdit::editingFinished, this, &CAgentGeneral::SaveLimit);
  connect(m_clear, &QPushButton::clicked, this, &CAgentGeneral::ClearCache);
  connect(&host, &CPageHost::totalsChanged, this, &CAgentGeneral::ShowSize);
  connect(&host, &CPageHost::runStateChanged, this, &CAgentGeneral::Refill);
}

QString CAgentGeneral::Grouped(std::uint64_t number) {
  QString digits = QString::number(number);
  for (qsizetype at = digits.size() - 3; at > 0; at -= 3) digits.insert(at, ',');
  return digits;
}

QString CAgentGeneral::SizeText(std::uint64_t bytes, std::uint64_t files) {
  return QStringLiteral("%1KB for %2 files (%3 bytes)").arg(Grouped(bytes / 1024), Grouped(files), Grouped(bytes));
}

void CAgentGeneral::Fill() {
  if ((Item().kind & kNodeKindMask) != kNodeKindAgent) return;
  QByteArray block;
  if (!Read([&](CSafNode& node) { block = NodeRecordLocked(node); })) return;
  if (const std::optional<AgentRecord> record = ReadAgentRecord(block)) {
    m_folder->setText(EngineText(record->folder.c_str()));
    m_limit->setText(QString::number(record->sizeLimit));
    m_recordFiles = record->fileCount;
    m_recordBytes = record->byteCount;
  }
  m_limit->setModified(false);
  ShowSize();
  // A run's limit is read when it starts, and clearing would pull its pages away.
  const bool changeable = Writable() && !Host().Running();
  m_limit->setEnabled(changeable);
  m_clear->setEnabled(changeable);
}

void CAgentGeneral::ShowSize() {
  // Until a run reports, the counts the agent keeps are the totals.
  const std::optional<CacheTotals> totals = Host().Totals();
  m_size->setText(totals ? SizeText(totals->bytes, totals->files) : SizeText(m_recordBytes, m_recordFiles));
}

void CAgentGeneral::SaveLimit() {
  if (!m_limit->isModified()) return;
  m_limit->setModified(false);
  bool number = false;
  const int limit = m_limit->text().trimmed().toInt(&number);
  if (!number || limit < 0 || limit > kLargestLimit || Host().Running()) {
    if (!Host().Running())
      ShowMessage(this, PluginCaption(), tr("Please enter an integer between 0 and %1.").arg(kLargestLimit),
                  QMessageBox::Ok, QMessageBox::Warning);
    Refill();  // the old limit stays
    return;
  }
  Write([limit](CSafNode& node) {
    std::optional<AgentRecord> record = ReadAgentRecord(NodeRecordLocked(node));
    if (!record) return false;
    record->sizeLimit = static_cast<std::uint32_t>(limit);
    const QByteArray bytes = record->Bytes();
    return node.SetData(itemRecord, bytes.constData(), static_cast<unsigned long>(bytes.size())) == 1;
  });
}

void CAgentGeneral::ClearCache() {
  // Refused while a run stores pages in the cache.
  if (Host().Running() || !Writable()) return;
  if (ShowMessage(this, PluginCaption(), QString::fromLatin1(texts::kClearCache), QMessageBox::Yes | QMessageBox::No,
                  QMessageBox::Warning) != QMessageBox::Yes)
    return;
  PluginClient::ClearCache();
  Refill();
}

}  // namespace hvui
