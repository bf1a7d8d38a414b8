#include "pages/anchor_retrieval.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QPushButton>

#include "harvion/saf_node.h"
#include "harvion/ui_node.h"
#include "pages/link_levels_dialog.h"
#include "pages/load_fields.h"
#include "pages/page_controls.h"
#include "pages/page_host.h"
#include "pages/picture_strip.h"
#include "shell/agent_tree_view.h"
#include "shell/plugin_client.h"
#include "shell/tree_images.h"

namespace hvui {

namespace {

// The widths of the list indexes in the load information: an entry further
// down a list cannot be an item's.
constexpr int kFileTypeIndexes = 64;
constexpr int kLocationIndexes = 32;

const CPictureStrip& ConfineStrip() {
  static const CPictureStrip strip(QStringLiteral(":/icons/confine-depth.svg"), 98);
  return strip;
}

const CPictureStrip& FileTypeStrip() {
  static const CPictureStrip strip(QStringLiteral(":/icons/file-types.svg"), 16);
  return strip;
}

// The entry's value from the client's list; -1 when the list has no such
// entry or an item cannot name it.
int ValueAt(const QVector<int>& values, int index, int indexes) {
  return index >= 0 && index < values.size() && index < indexes ? values[index] : -1;
}

}  // namespace

CAnchorRetrieval::CAnchorRetrieval(CPageHost& host, QWidget* parent)
    : CPropertyPage(host, parent),
      m_inherit(new QCheckBox(tr("Use &parent settings"), this)),
      m_retrieve(new QComboBox(this)),
      m_editFileTypes(new QPushButton(tr("..."), this)),
      m_follow(new QComboBox(this)),
      m_editLevels(new QPushButton(tr("..."), this)),
      m_confine(new QComboBox(this)),
      m_editLocations(new QPushButton(tr("..."), this)),
      m_anyServer(new QCheckBox(tr("Stylesheets, scripts and pictures from &any server"), this)),
      m_confineImage(new QLabel(this)),
      m_fileTypeImage(new QLabel(this)) {
  setObjectName(QStringLiteral("page_108"));
  TagControl(m_inherit, kIdInherit, tr("Use parent settings"));
  TagControl(m_editFileTypes, kIdEditFileTypes, tr("Edit the file types"));
  TagControl(m_editLevels, kIdEditLevels, tr("Enter a number of link levels"));
  TagControl(m_editLocations, kIdEditLocations, tr("Edit the locations"));
  TagControl(m_anyServer, kIdAnyServer, tr("Stylesheets, scripts and pictures from any server"));
  m_anyServer->setToolTip(tr("A stored page may take what it needs to look as it did from other servers too, "
                             "without following their pages"));
  TagControl(m_confineImage, kIdConfinePicture, tr("Where links lead and how far"));
  TagControl(m_fileTypeImage, kIdFileTypePicture, tr("What is retrieved"));
  for (QPushButton* button : {m_editFileTypes, m_editLevels, m_editLocations}) {
    button->setToolTip(button->accessibleName());
    button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
  }
  m_confineImage->setFixedSize(ConfineStrip().CellSize());
  m_fileTypeImage->setFixedSize(FileTypeStrip().CellSize());

  auto* grid = new QGridLayout(this);
  grid->addWidget(m_inherit, 0, 0, 1, 3);
  grid->addWidget(m_fileTypeImage, 1, 3, Qt::AlignLeft | Qt::AlignVCenter);
  AddLabelledRow(grid, 1, tr("&Retrieve:"), m_retrieve, kIdRetrieve);
  grid->addWidget(m_editFileTypes, 1, 2);
  AddLabelledRow(grid, 2, tr("&Follow links:"), m_follow, kIdFollow);
  grid->addWidget(m_editLevels, 2, 2);
  AddLabelledRow(grid, 3, tr("&Confine to:"), m_confine, kIdConfine);
  grid->addWidget(m_editLocations, 3, 2);
  grid->addWidget(m_confineImage, 2, 3, 2, 1, Qt::AlignLeft | Qt::AlignVCenter);
  grid->addWidget(m_anyServer, 4, 0, 1, 4);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(5, 1);

  for (QComboBox* list : {m_retrieve, m_follow, m_confine})
    connect(list, &QComboBox::activated, this, [this] { Save(); });
  connect(m_inherit, &QCheckBox::clicked, this, [this] { Save(); });
  connect(m_anyServer, &QCheckBox::clicked, this, [this](bool checked) { SaveAnyServer(checked); });
  connect(m_editFileTypes, &QPushButton::clicked, this, [this] { EditStrategies(false); });
  connect(m_editLocations, &QPushButton::clicked, this, [this] { EditStrategies(true); });
  connect(m_editLevels, &QPushButton::clicked, this, [this] { EditLevels(); });
}

void CAnchorRetrieval::FillLists() {
  PluginClient* client = Host().Client();
  if (!client) return;
  client->RefreshFileTypes();
  client->RefreshConstraints();
  m_retrieve->clear();
  m_retrieve->addItems(client->FileTypeNames());
  m_confine->clear();
  m_confine->addItems(client->ConstraintNames());
}

void CAnchorRetrieval::Fill() {
  unsigned long loadInfo = 0, scheduleInfo = 0, requisites = 0;
  bool hasParent = false;
  const bool present = Read([&](CSafNode& node) {
    loadInfo = node.GetValue(itemLoadInfo);
    scheduleInfo = node.GetValue(itemSchedule);
    requisites = node.GetValue(itemRequisites);
    hasParent = node.m_pUINode && node.m_pUINode->m_pParentNode;
  });
  const bool writable = present && Writable();
  if (present) {
    const LoadFields s = UnpackLoadFields(loadInfo);
    FillLists();
    m_levelChoices = LevelChoices(s.levels);
    m_follow->clear();
    for (const LevelChoice& choice : m_levelChoices) m_follow->addItem(choice.text);
    m_follow->setCurrentIndex(LevelChoiceFor(m_levelChoices, s.levels));
    m_retrieve->setCurrentIndex(s.fileTypeIndex < m_retrieve->count() ? s.fileTypeIndex : -1);
    m_confine->setCurrentIndex(s.locationIndex < m_confine->count() ? s.locationIndex : -1);
    // An item without a parent has nothing to take its settings from.
    m_inherit->setChecked(s.inherit && hasParent);
    m_anyServer->setChecked(requisites == CUINode::rqAnyServer);
    m_mayInherit = hasParent && (Item().kind & kNodeFlagUserItem) != 0;
    ShowPictures(s.linkType, s.loadDetail);
    if (CAgentTreeView* tree = Host().Tree())
      tree->SetOverlay(Item().id, ShowsOwnSettings(hasParent, Item().kind, loadInfo, scheduleInfo));
  }
  const bool own = writable && !m_inherit->isChecked();
  m_inherit->setEnabled(writable && m_mayInherit);
  for (QWidget* control : std::initializer_list<QWidget*>{m_retrieve, m_editFileTypes, m_follow, m_editLevels,
                                                          m_confine, m_editLocations, m_anyServer})
    control->setEnabled(own);
}

void CAnchorRetrieval::ShowPictures(int linkType, int loadDetail) {
  const qreal ratio = devicePixelRatioF();
  m_confinePicture = ConfinePictureIndex(linkType, m_follow->currentIndex());
  m_fileTypePicture = loadDetail < FileTypeStrip().Count() ? loadDetail : -1;
  m_confineImage->setPixmap(ConfineStrip().Picture(m_confinePicture, ratio));
  m_fileTypeImage->setPixmap(FileTypeStrip().Picture(m_fileTypePicture, ratio));
}

void CAnchorRetrieval::Save() {
  const PluginClient* client = Host().Client();
  const int fileType = m_retrieve->currentIndex(), location = m_confine->currentIndex();
  const int levelChoice = m_follow->currentIndex();
  LoadFields s;
  s.inherit = m_inherit->isChecked();
  s.fileTypeIndex = fileType;
  s.locationIndex = location;
  s.loadDetail = client ? ValueAt(client->FileTypeValues(), fileType, kFileTypeIndexes) : -1;
  s.linkType = client ? ValueAt(client->ConstraintValues(), location, kLocationIndexes) : -1;
  s.levels = levelChoice >= 0 && levelChoice < static_cast<int>(m_levelChoices.size())
                 ? m_levelChoices[static_cast<std::size_t>(levelChoice)].levels
                 : -1;
  // Settings taken from the parent need no entry of their own.
  if (!s.inherit && (s.loadDetail < 0 || s.linkType < 0 || s.levels < 0)) {
    Refill();
    return;
  }
  Apply(s);
}

void CAnchorRetrieval::Apply(const LoadFields& s) {
  const unsigned long value = PackLoadFields(s);
  if (Write([value](CSafNode& node) { return node.SetValue(itemLoadInfo, value) != 0; })) Refill();
}

void CAnchorRetrieval::SaveAnyServer(bool anyServer) {
  const unsigned long choice = anyServer ? CUINode::rqAnyServer : CUINode::rqStrategy;
  if (Write([choice](CSafNode& node) { return node.SetValue(itemRequisites, choice) != 0; })) Refill();
}

void CAnchorRetrieval::EditStrategies(bool locations) {
  if (!Writable()) return;
  QComboBox* list = locations ? m_confine : m_retrieve;
  // The dialog runs without the engine's lock; the item may be gone after.
  const int chosen = locations ? PluginClient::Constraints(list->currentIndex())
                               : PluginClient::FileTypes(list->currentIndex());
  PluginClient* client = Host().Client();
  unsigned long loadInfo = 0;
  if (chosen >= 0 && client && Read([&](CSafNode& node) { loadInfo = node.GetValue(itemLoadInfo); })) {
    // The item's other choices as the engine holds them now: the dialog may
    // have removed entries, so the page's indexes may be out of date.
    LoadFields s = UnpackLoadFields(loadInfo);
    s.inherit = false;
    if (locations) {
      client->RefreshConstraints();
      s.locationIndex = chosen;
      s.linkType = ValueAt(client->ConstraintValues(), chosen, kLocationIndexes);
    } else {
      client->RefreshFileTypes();
      s.fileTypeIndex = chosen;
      s.loadDetail = ValueAt(client->FileTypeValues(), chosen, kFileTypeIndexes);
    }
    if (s.linkType >= 0 && s.loadDetail >= 0) Apply(s);
  }
  Refill();
}

void CAnchorRetrieval::EditLevels() {
  if (!Writable()) return;
  unsigned long loadInfo = 0;
  if (!Read([&](CSafNode& node) { loadInfo = node.GetValue(itemLoadInfo); })) return;
  const std::optional<int> levels = CLinkLevelsDialog::Edit(this, UnpackLoadFields(loadInfo).levels);
  if (!levels) return;
  // Read again: the item may have changed or gone while the dialog was open.
  if (!Read([&](CSafNode& node) { loadInfo = node.GetValue(itemLoadInfo); })) return Refill();
  LoadFields s = UnpackLoadFields(loadInfo);
  s.inherit = false;
  s.levels = *levels;
  Apply(s);
  Refill();
}

}  // namespace hvui
