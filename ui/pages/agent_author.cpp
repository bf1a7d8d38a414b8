#include "pages/agent_author.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "harvion/saf_node.h"
#include "harvion/ui_node.h"
#include "pages/item_records.h"
#include "pages/page_controls.h"
#include "shell/tree_item_node.h"

namespace hvui {

namespace {

enum : int { kIdOrganization = 1004, kIdComments = 1005, kIdAuthor = 1015 };

}  // namespace

CAgentAuthor::CAgentAuthor(CPageHost& host, QWidget* parent)
    : CPropertyPage(host, parent),
      m_author(new QLineEdit(this)),
      m_organization(new QLineEdit(this)),
      m_comments(new QPlainTextEdit(this)) {
  setObjectName("page_171");
  auto* grid = new QGridLayout(this);
  AddLabelledRow(grid, 0, tr("&Author:"), m_author, kIdAuthor);
  AddLabelledRow(grid, 1, tr("&Organization:"), m_organization, kIdOrganization);
  QLabel* comments = AddLabelledRow(grid, 2, tr("&Comments:"), m_comments, kIdComments);
  grid->setAlignment(comments, Qt::AlignTop);
  m_comments->setTabChangesFocus(true);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(2, 1);
  // Each saves when the user leaves it.
  connect(m_author, &QLineEdit::editingFinished, this, &CAgentAuthor::SaveIfChanged);
  connect(m_organization, &QLineEdit::editingFinished, this, &CAgentAuthor::SaveIfChanged);
  m_comments->installEventFilter(this);
}

bool CAgentAuthor::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_comments && event->type() == QEvent::FocusOut) SaveIfChanged();
  return CPropertyPage::eventFilter(watched, event);
}

void CAgentAuthor::Fill() {
  if ((Item().kind & kNodeKindMask) != kNodeKindAgent) return;
  QByteArray block;
  if (!Read([&](CSafNode& node) { block = NodeRecordLocked(node); })) return;
  if (const std::optional<AgentRecord> record = ReadAgentRecord(block)) {
    m_author->setText(EngineText(record->author.c_str()));
    m_organization->setText(EngineText(record->organization.c_str()));
    m_comments->setPlainText(EngineText(record->comments.c_str()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  }
  MarkSaved();
  const bool writable = Writable();
  m_author->setReadOnly(!writable);
  m_organization->setReadOnly(!writable);
  m_comments->setReadOnly(!writable);
}

bool CAgentAuthor::Changed() const {
  return m_author->isModified() || m_organization->isModified() || m_comments->document()->isModified();
}

void CAgentAuthor::MarkSaved() {
  m_author->setModified(false);
  m_organization->setModified(false);
  m_comments->document()->setModified(false);
}

void CAgentAuthor::SaveIfChanged() {
  // One change is written once, whichever field the user leaves next.
  if (!Changed()) return;
  MarkSaved();
  if ((Item().kind & kNodeKindMask) != kNodeKindAgent) return;
  const std::string author = m_author->text().toStdString();
  const std::string organization = m_organization->text().toStdString();
  // Lines of the comments end as they always have in agent files.
  const std::string comments = m_comments->toPlainText().replace('\n', QStringLiteral("\r\n")).toStdString();
  Write([&](CSafNode& node) {
    std::optional<AgentRecord> record = ReadAgentRecord(NodeRecordLocked(node));
    if (!record) return false;
    record->author = author;
    record->organization = organization;
    record->comments = comments;
    const QByteArray bytes = record->Bytes();
    return node.SetData(itemRecord, bytes.constData(), static_cast<unsigned long>(bytes.size())) == 1;
  });
}

}  // namespace hvui
