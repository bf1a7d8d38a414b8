#include "pages/anchor_location.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "harvion/saf_node.h"
#include "harvion/ui_node.h"
#include "pages/page_controls.h"
#include "pages/page_host.h"
#include "shell/page_outcome.h"
#include "shell/status_texts.h"
#include "shell/tree_item_node.h"

namespace hvui {

namespace {

enum : int { kIdAddress = 1014, kIdModified = 1046, kIdStatus = 1047, kIdOriginal = 1048, kIdRetrieved = 1054 };

bool IsLocation(const PageItem& item) { return (item.kind & kNodeKindMask) == kNodeKindPage; }

}  // namespace

CAnchorLocation::CAnchorLocation(CPageHost& host, QWidget* parent)
    : CPropertyPage(host, parent),
      m_address(new QLineEdit(this)),
      m_modified(new QLabel(this)),
      m_retrieved(new QLabel(this)),
      m_status(new QLabel(this)),
      m_original(new QPushButton(tr("&Go to Original"), this)) {
  setObjectName("page_101");
  auto* grid = new QGridLayout(this);
  AddLabelledRow(grid, 0, tr("&Location:"), m_address, kIdAddress);
  AddLabelledRow(grid, 1, tr("Modified:"), m_modified, kIdModified);
  AddLabelledRow(grid, 2, tr("Retrieved:"), m_retrieved, kIdRetrieved);
  AddLabelledRow(grid, 3, tr("Status:"), m_status, kIdStatus);
  for (QLabel* shown : {m_modified, m_retrieved, m_status}) {
    shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
    shown->setWordWrap(true);
  }
  TagControl(m_original, kIdOriginal, m_original->text());
  grid->addWidget(m_original, 4, 1, Qt::AlignLeft);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(5, 1);
  connect(m_address, &QLineEdit::editingFinished, this, &CAnchorLocation::SaveAddress);
  connect(m_original, &QPushButton::clicked, this, &CAnchorLocation::GoToOriginal);
}

void CAnchorLocation::Fill() {
  if (!IsLocation(Item())) return;
  std::string address;
  _httpRetrieveResult result{};
  const bool there = Read([&](CSafNode& node) {
    address = NodeData(node, itemUrl);
    // A page not in the index yet fills nothing: it was never retrieved.
    if (node.GetData(itemResult, &result, sizeof result) != static_cast<int>(sizeof result)) result = {};
  });
  if (!there) return;
  m_address->setText(EngineText(address.c_str()));
  m_address->setModified(false);
  m_modified->setText(GmtTimeText(result.lastModified));
  m_retrieved->setText(GmtTimeText(result.storedAt));
  // The code's own text; a load without one says why in a run's words.
  QString status = StatusText(result.statusCode);
  if (status == StatusText(0)) {
    const QString outcome = PageOutcome(address);
    if (!outcome.isEmpty()) status = outcome;
  }
  m_status->setText(status);
  // Only the user's own locations take another address.
  m_address->setReadOnly(!Writable() || !(Item().kind & kNodeFlagUserItem));
  m_original->setEnabled(!address.empty());
}

void CAnchorLocation::SaveAddress() {
  if (!m_address->isModified()) return;
  m_address->setModified(false);
  const std::string address = m_address->text().trimmed().toStdString();
  if (Write([&](CSafNode& node) { return node.SetData(itemUrl, address.c_str(), 0) == 1; })) Refill();
}

void CAnchorLocation::GoToOriginal() {
  std::string address;
  Read([&](CSafNode& node) { address = NodeData(node, itemUrl); });
  if (!address.empty()) Host().Navigate(EngineText(address.c_str()));
}

}  // namespace hvui
