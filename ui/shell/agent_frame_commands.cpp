// The agent frame's commands: buttons, menus, context menu and what each
// command does.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QToolBar>
#include <QToolButton>

#include "change_anchor.h"
#include "harvion/dialogs.h"
#include "run_record.h"
#include "harvion/global_memory.h"
#include "harvion/saf_node.h"
#include "shell/agent_frame.h"
#include "shell/agent_tree_view.h"
#include "shell/browser_text.h"
#include "shell/details_bar.h"
#include "shell/drag_formats.h"
#include "shell/frame_contents.h"
#include "shell/message_boxes.h"
#include "shell/plugin_client.h"
#include "shell/progress_display.h"
#include "shell/splash_window.h"
#include "shell/tree_images.h"
#include "shell/tree_item_node.h"
#include "shell/ui_texts.h"

namespace hvui {

namespace {

struct CommandText {
  int command;
  const char* text;
};

constexpr CommandText kCommandTexts[] = {
    {kCmdNewAgent, "New Agent"},
    {kCmdStartStop, "Start/Stop Agent"},
    {kCmdProperties, "Properties"},
    {kCmdInternetLocation, "Internet Location..."},
    {kCmdLocalFile, "Local File..."},
    {kCmdNewFolder, "New Folder"},
    {kCmdNewSearch, "New Search"},
    {kCmdCurrentPage, "Current Page"},
    {kCmdPluginOptions, "Plugin Options..."},
    {kCmdSchedules, "Schedules..."},
    {kCmdHide, "Hide Harvion Plugin"},
    {kCmdAbout, "About Harvion..."},
    {kCmdGoToOriginal, "Go to Original"},
    {kCmdUpdateNow, "Update Now"},
    {kCmdExpandAll, "Expand All"},
    {kCmdCut, "Cut"},
    {kCmdCopy, "Copy"},
    {kCmdPaste, "Paste"},
    {kCmdDelete, "Delete"},
    {kCmdRename, "Rename"},
    {kCmdHelp, "Harvion Help"},
    {kCmdShowChanges, "Show C&hanges"},
};

QString Latin1(const char* text) { return QString::fromLatin1(text); }

// The number of the user-interface node of an engine node; 0 for none.
std::uint64_t IdOfNode(CSafNode* node) {
  const auto* ui = node ? dynamic_cast<const CTreeItemNode*>(node->m_pUINode) : nullptr;
  return ui ? ui->Id() : 0;
}

}  // namespace

void CAgentFrame::BuildActions() {
  for (const CommandText& entry : kCommandTexts) {
    auto* action = new QAction(tr(entry.text), this);
    action->setObjectName(QString("cmd_%1").arg(entry.command));
    const int command = entry.command;
    connect(action, &QAction::triggered, this, [this, command] { OnCommand(command); });
    m_actions.insert(command, action);
  }
  Action(kCmdDelete)->setShortcut(QKeySequence::Delete);
  Action(kCmdRename)->setShortcut(Qt::Key_F2);
  Action(kCmdCopy)->setShortcut(QKeySequence::Copy);
  Action(kCmdPaste)->setShortcut(QKeySequence::Paste);
  Action(kCmdHelp)->setShortcut(QKeySequence::HelpContents);
  addAction(Action(kCmdHelp));
  for (const int command : {kCmdDelete, kCmdRename, kCmdCopy, kCmdPaste}) {
    Action(command)->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_tree->addAction(Action(command));
  }
  // Moving items is done by dragging them.
  Action(kCmdCut)->setEnabled(false);
  // Offered when a module draws the engine's dialogs.
  Action(kCmdPluginOptions)->setEnabled(HasEngineDialogs());
  Action(kCmdSchedules)->setEnabled(HasEngineDialogs());
  Action(kCmdProperties)->setCheckable(true);
  Action(kCmdProperties)->setChecked(true);
}

QMenu* CAgentFrame::InsertMenu() {
  auto* menu = new QMenu(tr("Insert"), this);
  menu->setObjectName("menu_insert");
  for (const int command : {kCmdInternetLocation, kCmdLocalFile, kCmdNewFolder, kCmdNewSearch, kCmdCurrentPage})
    menu->addAction(Action(command));
  return menu;
}

void CAgentFrame::BuildButtons() {
  auto* bar = new QToolBar(tr("Agent"), this);
  bar->setObjectName("buttons");
  bar->setMovable(false);
  bar->setIconSize(QSize(24, 24));
  addToolBar(Qt::TopToolBarArea, bar);
  const auto button = [&](int id, const char* icon, const char* tip, QMenu* menu) {
    auto* b = new QToolButton(bar);
    b->setObjectName(QString("button_%1").arg(id));
    b->setIcon(QIcon(QString(":/icons/%1.svg").arg(icon)));
    b->setToolTip(Latin1(tip));
    b->setAutoRaise(true);
    if (menu) {
      b->setMenu(menu);
      b->setPopupMode(QToolButton::InstantPopup);
    }
    bar->addWidget(b);
    return b;
  };
  auto* agentMenu = new QMenu(tr("Agent"), this);
  agentMenu->setObjectName("menu_agent");
  connect(agentMenu, &QMenu::aboutToShow, this, [this, agentMenu] { FillAgentMenu(agentMenu); });
  button(156, "agent-open", "Create/Open Agent", agentMenu);
  m_startStop = button(kCmdStartStop, "run", "Start/Stop Agent", nullptr);
  connect(m_startStop, &QToolButton::clicked, this, [this] { OnCommand(kCmdStartStop); });
  QToolButton* properties = button(kCmdProperties, "properties", "Item Properties", nullptr);
  properties->setDefaultAction(Action(kCmdProperties));
  properties->setIcon(QIcon(":/icons/properties.svg"));
  properties->setToolTip(Latin1("Item Properties"));
  button(134, "insert", "Insert Item", InsertMenu());
  auto* options = new QMenu(tr("Options"), this);
  options->setObjectName("menu_options");
  options->addAction(Action(kCmdPluginOptions));
  options->addAction(Action(kCmdSchedules));
  options->addSeparator();
  options->addAction(Action(kCmdHide));
  options->addSeparator();
  options->addAction(Action(kCmdHelp));
  options->addAction(Action(kCmdAbout));
  button(162, "options", "Plugin Options", options);
  auto* spacer = new QWidget(bar);
  spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  bar->addWidget(spacer);
  m_progress->setObjectName("progress");
  m_progress->setMinimumWidth(110);
  bar->addWidget(m_progress);
}

void CAgentFrame::FillAgentMenu(QMenu* menu) {
  menu->clear();
  menu->addAction(Action(kCmdNewAgent));
  menu->addSeparator();
  if (!m_agentList) return;
  for (const AgentMenuEntry& listed : AgentMenuEntries(m_agentList())) {
    QAction* entry = menu->addAction(EngineText(listed.name.c_str()));
    entry->setObjectName(QString("cmd_%1").arg(listed.command));
    const int command = listed.command;
    connect(entry, &QAction::triggered, this, [this, command] { OnCommand(command); });
  }
}

void CAgentFrame::ShowContextMenu(std::uint64_t id, const QPoint& globalPos) {
  m_details->ShowNode(id, CAgentTreeView::ClassOf(m_tree->Item(id)));
  QMenu menu(this);
  menu.setObjectName("menu_anchor");
  for (const int command : {kCmdGoToOriginal, kCmdShowChanges, kCmdUpdateNow, kCmdExpandAll})
    menu.addAction(Action(command));
  menu.addSeparator();
  for (const int command : {kCmdCut, kCmdCopy, kCmdPaste}) menu.addAction(Action(command));
  menu.addSeparator();
  menu.addMenu(InsertMenu());
  menu.addAction(Action(kCmdDelete));
  menu.addAction(Action(kCmdRename));
  menu.addSeparator();
  menu.addAction(Action(kCmdProperties));
  Action(kCmdGoToOriginal)->setEnabled(!NodeUrl(id).isEmpty());
  Action(kCmdShowChanges)->setEnabled(ChangesShown(id));
  menu.exec(globalPos);
}

// ---- commands --------------------------------------------------------------------------------------

void CAgentFrame::OnCommand(int command) {
  const std::uint64_t selected = m_tree->SelectedId();
  if (command >= kCmdFirstListedAgent && command <= kCmdLastListedAgent) {
    // The list is read again: it may have changed since the menu showed it.
    const std::string name = m_agentList ? AgentForCommand(m_agentList(), command) : std::string();
    if (!name.empty()) OpenAgent(EngineText(name.c_str()));
    return;
  }
  switch (command) {
    case kCmdNewAgent:
      NewAgent();
      break;
    case kCmdStartStop:
      if (m_running) {
        m_stopAsked = true;
        PluginClient::HTTPShutdown();
      } else if (QTreeWidgetItem* root = m_tree->Root()) {
        m_tree->SelectQuietly(root);
        StartRun(CAgentTreeView::IdOf(root));
      }
      break;
    case kCmdProperties:
      m_details->setVisible(!m_details->isVisible());
      Action(kCmdProperties)->setChecked(m_details->isVisible());
      break;
    case kCmdInternetLocation:
      AddInternetLocation();
      break;
    case kCmdLocalFile:
      ImportLocalFile();
      break;
    case kCmdNewFolder:
      NewFolder();
      break;
    case kCmdNewSearch:
      NewSearch();
      break;
    case kCmdCurrentPage:
      AddCurrentPage();
      break;
    case kCmdPluginOptions:
      PluginClient::Settings();
      break;
    case kCmdSchedules:
      PluginClient::Schedules(-1);
      m_client->RefreshSchedules();
      // The page shown may list the schedules.
      if (CPropertyPage* page = m_details->CurrentPage()) page->Refill();
      break;
    case kCmdHide:
      if (m_navigate) m_navigate(QString(), 1);
      break;
    case kCmdAbout:
      CSplashWindow::OpenAbout(this);
      break;
    case kCmdHelp:
      OpenHelp();
      break;
    case kCmdGoToOriginal:
      GoToOriginal();
      break;
    case kCmdShowChanges:
      ShowChanges();
      break;
    case kCmdUpdateNow:
      if (!m_running) StartRun(selected);
      break;
    case kCmdExpandAll:
      m_tree->ExpandAll(m_tree->Item(selected));
      break;
    case kCmdCopy:
      CopySelected();
      break;
    case kCmdPaste:
      PasteIntoTarget();
      break;
    case kCmdDelete:
      DeleteSelected();
      break;
    case kCmdRename:
      m_tree->EditLabel(m_tree->Item(selected));
      break;
    default:
      break;
  }
}

std::uint64_t CAgentFrame::TargetFolder() const {
  QTreeWidgetItem* item = m_tree->currentItem();
  while (item && !CAgentTreeView::IsFolderLike(item)) item = item->parent();
  if (!item) item = m_tree->Root();
  return CAgentTreeView::IdOf(item);
}

void CAgentFrame::NewAgent() {
  m_tree->EndEditing();
  if (m_running) {
    ShowMessage(this, PluginCaption(), FrameMessage(kTextLoadWhileRunning));
    return;
  }
  PluginClient::SaveAgentFile();
  HGLOBAL block = PluginClient::CreateNewAgentName(texts::kNewAgent);
  if (!block) return;
  const QByteArray name(static_cast<const char*>(GlobalLock(block)));
  GlobalUnlock(block);
  GlobalFree(block);
  m_tree->setCurrentItem(nullptr);
  m_details->ShowNode(0, 0);
  m_tree->Empty();
  if (!PluginClient::CreateAgent(name.constData())) return;
  PluginClient::SaveAgentFile();
  // Named by the user at once: the root arrives with the queued calls before this.
  QTimer::singleShot(0, this, [this] {
    emit agentChanged(AgentName());
    UpdateButtons();
    m_tree->EditLabel(m_tree->Root());
  });
}

void CAgentFrame::NewFolder() {
  const std::uint64_t target = TargetFolder();
  if (!target) return;
  m_tree->EndEditing();
  const QByteArray name = Latin1(texts::kNewFolder).toUtf8();
  std::uint64_t made = 0;
  m_client->Bridge().WithNode(target, [&](CSafNode& node) {
    made = IdOfNode(PluginClient::CreateCategoryNode(&node, name.constData(), 0));
  });
  // Named at once, where the user sees it, as a new search is.
  if (made) QTimer::singleShot(0, this, [this, made] { m_tree->EditLabel(m_tree->Item(made)); });
}

void CAgentFrame::NewSearch() {
  const std::uint64_t target = TargetFolder();
  if (!target) return;
  m_tree->EndEditing();
  std::uint64_t made = 0;
  m_client->Bridge().WithNode(target, [&](CSafNode& node) {
    made = IdOfNode(PluginClient::CreateSearchCategoryNode(&node, texts::kSearchPrompt, 0));
  });
  // The user types the search terms as the folder's name.
  if (made) QTimer::singleShot(0, this, [this, made] { m_tree->EditLabel(m_tree->Item(made)); });
}

void CAgentFrame::SetCurrentPageSource(std::function<QString()> source, bool available) {
  m_currentPageSource = std::move(source);
  Action(kCmdCurrentPage)->setEnabled(available);
}

void CAgentFrame::AddCurrentPage() {
  const std::uint64_t target = TargetFolder();
  if (!target) return;
  QString page = m_currentPageSource ? m_currentPageSource() : QString();
  if (page.isEmpty()) page = m_currentPage;
  // A stored copy opened last is a local file: not a web location to add.
  if (const int refusal = AddPageRefusal(page)) {
    ShowMessage(this, FrameMessage(kTextCaption), FrameMessage(static_cast<FrameText>(refusal)));
    return;
  }
  const QByteArray url = page.toUtf8();
  const QByteArray name = CurrentPageName(page).toUtf8();
  m_client->Bridge().WithNode(target, [&](CSafNode& node) {
    PluginClient::CreateHTMLNode(&node, name.constData(), url.constData(), 0);
  });
}

void CAgentFrame::AddInternetLocation() {
  const std::uint64_t target = TargetFolder();
  if (!target) return;
  bool ok = false;
  const QString location =
      QInputDialog::getText(this, tr("Internet Location"), Latin1(texts::kLocationPrompt), QLineEdit::Normal,
                            QStringLiteral("http://"), &ok)
          .trimmed();
  if (!ok || location.isEmpty()) return;
  const QByteArray url = location.toUtf8();
  m_client->Bridge().WithNode(target, [&](CSafNode& node) {
    PluginClient::CreateHTMLNode(&node, url.constData(), url.constData(), 0);
  });
}

void CAgentFrame::ImportLocalFile() {
  const std::uint64_t target = TargetFolder();
  if (!target) return;
  const QString path = QFileDialog::getOpenFileName(this, tr("Local File"), QString(),
                                                    tr("HTML Files (*.htm *.html);;All files (*)"));
  if (path.isEmpty()) return;
  const QByteArray bytes = QFile::encodeName(path);
  m_client->Bridge().WithNode(target, [&](CSafNode& node) { PluginClient::ImportLocalFile(&node, bytes.constData()); });
}

void CAgentFrame::DeleteSelected() {
  m_tree->EndEditing();
  QTreeWidgetItem* item = m_tree->currentItem();
  if (!item) return;
  if (item != m_tree->Root()) {
    // The user's items are their work, and a removed node cannot come back.
    const std::uint64_t id = CAgentTreeView::IdOf(item);
    QString question = tr("Delete \"%1\" from the agent?").arg(item->text(0));
    if (item->childCount() > 0) question += ' ' + tr("Everything in it goes too.");
    if (ShowMessage(this, PluginCaption(), question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Question) !=
        QMessageBox::Yes)
      return;
    // A run may have removed it while the question was shown.
    m_client->Bridge().WithNode(id, [](CSafNode& node) { node.Remove(0); });
    return;
  }
  if (m_running) {
    ShowMessage(this, PluginCaption(), FrameMessage(kTextModifyWhileRunning));
    return;
  }
  const auto answer = ShowMessage(this, PluginCaption(), Latin1(texts::kDeleteAgent),
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::Warning);
  if (answer != QMessageBox::Yes) return;
  m_details->ShowNode(0, 0);
  PluginClient::DeleteAgentFile();
  OpenAgent(QString());
}

void CAgentFrame::GoToOriginal() {
  const QString url = NodeUrl(m_tree->SelectedId());
  if (!url.isEmpty() && m_open) m_open(url);
}

bool CAgentFrame::ChangesShown(std::uint64_t id) const {
  const QTreeWidgetItem* item = m_tree->Item(id);
  if (!item) return false;
  const std::string folder = OpenAgentFolder(*m_tree);
  const QString report = QFile::decodeName(QByteArray::fromStdString(folder + "/" + harvion::kChangesPage));
  if (folder.empty() || !QFileInfo(report).isFile()) return false;
  if (item == m_tree->Root()) return true;
  // A page whose picture says it changed.
  const int image = item->data(0, CAgentTreeView::kImageRole).toInt();
  return CAgentTreeView::ClassOf(item) == kNodeKindPage &&
         (image == kImagePageStoredNew || image == kImagePageNoCopyNew);
}

void CAgentFrame::ShowChanges() {
  const std::uint64_t id = m_tree->SelectedId();
  if (!ChangesShown(id) || !m_open) return;
  const std::string folder = OpenAgentFolder(*m_tree);
  QUrl report =
      QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(folder + "/" + harvion::kChangesPage)));
  // A page opens at its own entry.
  if (m_tree->Item(id) != m_tree->Root()) {
    std::string address;
    m_client->Bridge().WithNode(id, [&](CSafNode& node) { address = NodeData(node, itemUrl); });
    if (!address.empty()) report.setFragment(QString::fromStdString(harvion::ChangeAnchor(address)));
  }
  m_open(report.toString(QUrl::FullyEncoded));
}

void CAgentFrame::OpenHelp() {
  // The help pages live in the Startup Agent's folder, its own page first.
  HGLOBAL block = PluginClient::GetEmptyFileName();
  if (!block) return;
  const QString path = EngineText(static_cast<const char*>(GlobalLock(block)));
  GlobalUnlock(block);
  GlobalFree(block);
  if (!QFileInfo::exists(path)) {
    ShowMessage(this, PluginCaption(), tr("The help pages are missing: %1").arg(path));
    return;
  }
  if (m_open) m_open(path);
}

void CAgentFrame::CopySelected() {
  const std::uint64_t id = m_tree->SelectedId();
  const QString url = NodeUrl(id);
  if (url.isEmpty()) return;
  QApplication::clipboard()->setMimeData(MakePageDragData(NodeText(id, itemName), url.toUtf8()));
}

void CAgentFrame::PasteIntoTarget() {
  const std::uint64_t target = TargetFolder();
  const QMimeData* data = QApplication::clipboard()->mimeData();
  if (!target || !data || m_running) return;
  const DropOffer offer = ReadDrop(data);
  if (!offer.acceptable) return;
  const QByteArray name = offer.name.toUtf8();
  m_client->Bridge().WithNode(target, [&](CSafNode& node) {
    PluginClient::CreateHTMLNode(&node, name.constData(), offer.url.constData(), 0);
  });
}

}  // namespace hvui
