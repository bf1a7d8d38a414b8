#include "pages/anchor_schedule.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <algorithm>

#include "harvion/saf_node.h"
#include "harvion/schedule_list.h"
#include "harvion/ui_node.h"
#include "pages/page_controls.h"
#include "pages/page_host.h"
#include "shell/agent_tree_view.h"
#include "shell/plugin_client.h"
#include "shell/tree_images.h"

namespace hvui {

namespace {

constexpr unsigned long kInherits = 1;  // schedule information bit 0

// Schedule information holds the schedule's place + 1 in bits 1 to 7.
int ScheduleChoice(unsigned long info) { return static_cast<int>((info & 0xFE) >> 1); }
unsigned long ScheduleInfo(int choice, bool inherit) {
  return (static_cast<unsigned long>(choice) << 1 & 0xFE) | (inherit ? kInherits : 0);
}

QString StoredText(std::uint32_t when) {
  if (!when) return QStringLiteral("N/A");
  const QDateTime at = QDateTime::fromSecsSinceEpoch(when, Qt::UTC);
  return QLocale::c().toString(at, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
}

QString NextRunText(std::uint32_t when, bool enabled) {
  if (!when) return QStringLiteral("Not scheduled");
  QString text = QLocale::c().toString(QDateTime::fromSecsSinceEpoch(when), QStringLiteral("ddd, dd MMM yyyy HH:mm"));
  // Nothing runs by itself while unattended runs are off.
  if (!enabled) text += QStringLiteral(" (scheduled runs are off)");
  return text;
}

// The time the page's copy was last stored; 0 for none or another kind.
std::uint32_t StoredAt(CSafNode& node) {
  _httpRetrieveResult result{};
  const int size = node.GetData(itemResult, &result, sizeof(result));
  return size == static_cast<int>(sizeof(result)) ? result.storedAt : 0;
}

}  // namespace

CAnchorSchedule::CAnchorSchedule(CPageHost& host, QWidget* parent)
    : CPropertyPage(host, parent),
      m_inherit(new QCheckBox(tr("Use parent &schedule"), this)),
      m_update(new QComboBox(this)),
      m_editSchedules(new QPushButton(tr("..."), this)),
      m_lastUpdate(new QLabel(this)),
      m_nextUpdate(new QLabel(this)) {
  setObjectName(QStringLiteral("page_102"));
  TagControl(m_inherit, kIdInherit, tr("Use parent schedule"));
  TagControl(m_editSchedules, kIdEditSchedules, tr("Edit the schedules"));
  m_editSchedules->setToolTip(m_editSchedules->accessibleName());
  m_editSchedules->setFixedWidth(m_editSchedules->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
  auto* grid = new QGridLayout(this);
  grid->addWidget(m_inherit, 0, 0, 1, 3);
  AddLabelledRow(grid, 1, tr("&Update:"), m_update, kIdUpdate);
  grid->addWidget(m_editSchedules, 1, 2);
  AddLabelledRow(grid, 2, tr("Last update:"), m_lastUpdate, kIdLastUpdate);
  AddLabelledRow(grid, 3, tr("Next update:"), m_nextUpdate, kIdNextUpdate);
  for (QLabel* text : {m_lastUpdate, m_nextUpdate}) text->setTextInteractionFlags(Qt::TextSelectableByMouse);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(4, 1);
  connect(m_update, &QComboBox::activated, this, [this](int index) { Apply(index, m_inherit->isChecked()); });
  connect(m_inherit, &QCheckBox::clicked, this, [this](bool checked) {
    // An item's own schedule is a named one: "no schedule" of its own is
    // its parent's. Unchecked, the page lets the user pick one first.
    if (!checked && m_update->currentIndex() <= 0) {
      m_update->setEnabled(true);
      m_editSchedules->setEnabled(true);
      m_update->setFocus();
      return;
    }
    Apply(m_update->currentIndex(), checked);
  });
  connect(m_editSchedules, &QPushButton::clicked, this, [this] { EditSchedules(); });
}

void CAnchorSchedule::Fill() {
  unsigned long info = 0, loadInfo = 0, nextRun = 0;
  bool hasParent = false;
  const bool present = Read([&](CSafNode& node) {
    info = node.GetValue(itemSchedule);
    loadInfo = node.GetValue(itemLoadInfo);
    nextRun = node.GetValue(itemNextRun);
    hasParent = node.m_pUINode && node.m_pUINode->m_pParentNode;
  });
  const bool writable = present && Writable();
  if (present) {
    if (PluginClient* client = Host().Client()) {
      client->RefreshSchedules();
      m_update->clear();
      m_update->addItems(client->ScheduleNames());
    }
    const int choice = ScheduleChoice(info);
    m_update->setCurrentIndex(choice < m_update->count() ? choice : 0);
    // An item without a parent has nothing to follow.
    m_inherit->setChecked((info & kInherits) && hasParent);
    m_mayInherit = hasParent && (Item().kind & kNodeFlagUserItem) != 0;
    m_lastUpdate->setText(LastUpdateText());
    m_nextUpdate->setText(NextRunText(static_cast<std::uint32_t>(nextRun), CScheduleList::IsEnabled()));
    if (CAgentTreeView* tree = Host().Tree())
      tree->SetOverlay(Item().id, ShowsOwnSettings(hasParent, Item().kind, loadInfo, info));
  }
  m_inherit->setEnabled(writable && m_mayInherit);
  m_update->setEnabled(writable && !m_inherit->isChecked());
  m_editSchedules->setEnabled(writable && !m_inherit->isChecked());
}

QString CAnchorSchedule::LastUpdateText() const {
  std::vector<std::uint64_t> pages;
  if ((Item().kind & kNodeKindMask) == kNodeKindPage) {
    pages.push_back(Item().id);
  } else if (const CAgentTreeView* tree = Host().Tree()) {
    // A folder was updated when the newest page below it was.
    std::vector<const QTreeWidgetItem*> open = {tree->Item(Item().id)};
    while (!open.empty()) {
      const QTreeWidgetItem* item = open.back();
      open.pop_back();
      if (!item) continue;
      if (CAgentTreeView::ClassOf(item) == kNodeKindPage) pages.push_back(CAgentTreeView::IdOf(item));
      for (int i = 0; i < item->childCount(); ++i) open.push_back(item->child(i));
    }
  }
  std::uint32_t newest = 0;
  for (const std::uint64_t id : pages)
    Host().Bridge().WithNode(id, [&](CSafNode& node) { newest = std::max(newest, StoredAt(node)); });
  return StoredText(newest);
}

void CAnchorSchedule::Apply(int choice, bool inherit) {
  if (choice < 0) choice = 0;
  // Bits 1 to 7 hold the place: a schedule further down cannot be an item's.
  if (choice > 127) return Refill();
  const unsigned long value = ScheduleInfo(choice, inherit);
  if (Write([value](CSafNode& node) { return node.SetValue(itemSchedule, value) != 0; })) Refill();
}

void CAnchorSchedule::EditSchedules() {
  if (!Writable()) return;
  // The dialog runs without the engine's lock; -1 is Cancel, which keeps
  // the item's schedule as it was.
  const int chosen = PluginClient::Schedules(m_update->currentIndex() - 1);
  if (chosen >= 0) Apply(chosen + 1, false);
  Refill();
}

}  // namespace hvui
