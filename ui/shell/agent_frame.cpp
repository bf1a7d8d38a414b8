#include "shell/agent_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>
#include <QToolButton>

#include "change_notice.h"
#include "change_report.h"
#include "harvion/exports.h"
#include "harvion/message_target.h"
#include "harvion/messages.h"
#include "harvion/saf_node.h"
#include "pages/page_host.h"
#include "run_record.h"
#include "shell/agent_tree_view.h"
#include "shell/browser_text.h"
#include "shell/call_queue.h"
#include "shell/desktop_notifier.h"
#include "shell/details_bar.h"
#include "shell/frame_contents.h"
#include "shell/message_boxes.h"
#include "shell/plugin_client.h"
#include "shell/progress_display.h"
#include "shell/tree_images.h"
#include "shell/ui_texts.h"

namespace hvui {

namespace {

constexpr int kRootFilesRole = Qt::UserRole + 10;
constexpr int kRootBytesRole = Qt::UserRole + 11;
// The first size: room for the tree's addresses and, below them, for the
// property pages with their lists; never more than most of the screen.
constexpr QSize kFirstSize(600, 760);
constexpr int kFirstDetailsHeight = 300;

// While it lives the program shows that it is busy.
class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

CAgentFrame::CAgentFrame(Navigate navigate, QWidget* parent)
    : QMainWindow(parent), m_calls(new CallQueue(this)), m_navigate(std::move(navigate)) {
  setObjectName("agentFrame");
  setWindowTitle("Harvion");
  setWindowIcon(QIcon(":/icons/harvion.svg"));
  MakeClient();
  m_tree = new CAgentTreeView(m_client->Bridge(), this);
  setCentralWidget(m_tree);
  m_details = new CDetailsBar(m_client->Bridge(), this);
  addDockWidget(Qt::BottomDockWidgetArea, m_details);
  m_progress = new CProgressDisplay(this);
  m_notifier = new CDesktopNotifier(this);
  ConnectPages();
  BuildActions();
  BuildButtons();

  m_tree->SetDropsAllowed([this] { return !m_running; });
  connect(m_tree, &CAgentTreeView::progress, this, [this](int done, int total) { m_progress->Add(done, total); });
  connect(m_tree, &CAgentTreeView::userSelected, this, &CAgentFrame::OnUserSelected);
  connect(m_tree, &CAgentTreeView::contextMenuRequested, this, &CAgentFrame::ShowContextMenu);
  connect(m_tree, &CAgentTreeView::detached, this, [this](std::uint64_t id) {
    m_details->Forget(id);
    if (id == m_runningId) m_runningId = 0;
  });
  connect(m_tree, &CAgentTreeView::renamed, this, [this](std::uint64_t id) {
    if (m_tree->Item(id) == m_tree->Root()) emit agentChanged(AgentName());
  });
  connect(m_tree, &CAgentTreeView::itemActivatedById, this, &CAgentFrame::OpenNode);
  connect(m_client, &PluginClient::runEnded, this, &CAgentFrame::OnRunEnded);

  // The engine posts from its threads; the calls run here, on the Qt thread.
  m_window = CreateMessageTarget([this](UINT message, WPARAM wParam, LPARAM lParam) {
    m_calls->Post([this, message, wParam, lParam] { OnEngineMessage(message, wParam, lParam); });
  });
  m_client->SetMainWnd(m_window);
  UpdateButtons();
  QSize first = kFirstSize;
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    first = first.boundedTo(screen->availableGeometry().size() * 9 / 10);
  resize(first);
  resizeDocks({m_details}, {std::min(kFirstDetailsHeight, first.height() / 2)}, Qt::Vertical);
}

CAgentFrame::~CAgentFrame() {
  // After this the engine's messages go nowhere; then the agent closes while
  // its nodes can still be told.
  DestroyMessageTarget(m_window);
  m_client->SetMainWnd(nullptr);
  m_client->m_bClosing = true;
  PluginClient::SaveAgentFile();
  PluginClient::DeleteAgent();
  m_client->Bridge().SetView(nullptr);
}

void CAgentFrame::ConnectPages() {
  CPageHost& host = m_details->Host();
  host.SetClient(m_client);
  host.SetTree(m_tree);
  host.SetRunning([this] { return m_running; });
  host.SetTotals([this]() -> std::optional<CacheTotals> {
    QTreeWidgetItem* root = m_tree->Root();
    if (!root || !root->data(0, kRootFilesRole).isValid()) return std::nullopt;
    return CacheTotals{root->data(0, kRootFilesRole).toULongLong(), root->data(0, kRootBytesRole).toULongLong()};
  });
  host.SetNavigate([this](const QString& url) {
    if (m_open) m_open(url);
  });
  connect(this, &CAgentFrame::runStateChanged, &host, &CPageHost::runStateChanged);
  // A rename by the user or by the engine changes the item's text.
  connect(m_tree, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
    if (column == 0) m_details->NameChanged(CAgentTreeView::IdOf(item), item->text(0));
  });
}

void CAgentFrame::MakeClient() {
  // One client for the frame's life: after the agents folder changes, the
  // engine closes the agent and the frame opens the new folder's.
  m_client = new PluginClient(this);
  m_client->Connect();
  m_client->RefreshSchedules();
}

// ---- agents -------------------------------------------------------------------------

QString CAgentFrame::AgentName() const {
  QTreeWidgetItem* root = m_tree->Root();
  return root ? NodeText(CAgentTreeView::IdOf(root), itemName) : QString();
}

int CAgentFrame::OpenAgent(const QString& name) {
  if (!name.isEmpty() && m_tree->Root() && AgentName() == name) return 1;
  // Closing the agent would end its run halfway.
  if (m_running) {
    ShowMessage(this, PluginCaption(), FrameMessage(kTextLoadWhileRunning));
    return 0;
  }
  m_client->m_bClosing = true;
  m_details->ShowNode(0, 0);
  int result = 0;
  {
    const WaitCursor wait;
    m_tree->Empty();
    const QByteArray bytes = name.toUtf8();
    result = PluginClient::LoadAgentFile(name.isEmpty() ? nullptr : bytes.constData(), 0);
  }
  m_client->m_bClosing = false;
  // The tree fills as the new agent's nodes report; the title follows then.
  QMetaObject::invokeMethod(this, [this] { emit agentChanged(AgentName()); }, Qt::QueuedConnection);
  return result;
}

void CAgentFrame::OfferHelp() {
  auto* offer = new QLabel(tr("New to Harvion? <a href=\"help\">Read the help page</a> (F1)"), statusBar());
  offer->setObjectName("helpOffer");
  offer->setAccessibleName(tr("Read the help page"));
  connect(offer, &QLabel::linkActivated, this, [this, offer] {
    OnCommand(kCmdHelp);
    offer->hide();
    offer->deleteLater();
  });
  statusBar()->addWidget(offer, 1);
}

// ---- runs -------------------------------------------------------------------------------

bool CAgentFrame::StartRun(std::uint64_t id) {
  if (m_running || !id) return false;
  m_running = true;
  m_stopAsked = false;
  m_progress->Reset();
  statusBar()->clearMessage();
  m_baseline = std::make_unique<harvion::RunBaseline>(harvion::RunBaseline::Take());
  // At most a second's wait, when a run ended within this second: what the
  // two runs did in one second could not be told apart.
  m_runStart = harvion::RunStartAfter(m_baseline->Latest());
  int started = 0;
  m_client->Bridge().WithNode(id, [&](CSafNode& node) { started = node.Run(); });
  if (!started) {
    m_running = false;
    m_baseline.reset();
    UpdateButtons();
    return false;
  }
  m_runningId = id;
  UpdateButtons();
  emit runStateChanged(true);
  return true;
}

void CAgentFrame::OnRunEnded(bool interrupted) {
  m_running = false;
  m_runningId = 0;
  m_progress->Reset();
  PluginClient::SaveAgentFile();
  if (m_baseline) {
    harvion::ChangeReport report = harvion::ClassifyChanges(*m_baseline, m_runStart);
    report.stopped = interrupted || m_stopAsked;
    std::string agentName;
    if (QTreeWidgetItem* root = m_tree->Root())
      m_client->Bridge().WithNode(CAgentTreeView::IdOf(root), [&](CSafNode& node) { agentName = NodeData(node, itemName); });
    const std::string changesPage =
        agentName.empty() ? std::string() : harvion::RecordRun(report, agentName, GetAgentsDirectory() + "/" + agentName);
    QString text = (report.stopped ? tr("Run stopped: %1") : tr("Run ended: %1"))
                       .arg(QString::fromStdString(harvion::ChangeTotals(report)));
    if (const std::string limits = harvion::LimitsText(report.limits); !limits.empty())
      text += "; " + QString::fromStdString(limits);
    statusBar()->showMessage(text);
    m_baseline.reset();
    // Read offline in any browser, and told on the desktop.
    if (!agentName.empty()) {
      std::string why;
      const std::string contents = WriteFrameContents(*m_tree, &report, why);
      const std::string reportPath =
          changesPage.empty() ? OpenAgentFolder(*m_tree) + "/" + harvion::kChangesPage : changesPage;
      m_notifier->Notify(harvion::ChangeNotice::Of(agentName, report, reportPath, contents));
    }
  }
  UpdateButtons();
  emit runStateChanged(false);
}

void CAgentFrame::UpdateButtons() {
  const bool open = m_tree->Root() != nullptr;
  if (m_startStop) {
    m_startStop->setIcon(QIcon(m_running ? ":/icons/stop.svg" : ":/icons/run.svg"));
    m_startStop->setEnabled(open || m_running);
  }
  for (const int command : {kCmdUpdateNow, kCmdPaste}) {
    if (QAction* action = Action(command)) action->setEnabled(!m_running);
  }
}

// ---- engine messages and selection ---------------------------------------------------------------

void CAgentFrame::OnEngineMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_HV_AGENTS_FOLDER_CHANGING) {
    m_details->ShowNode(0, 0);
    m_tree->Empty();
  } else if (message == WM_HV_AGENTS_FOLDER_CHANGED) {
    OpenAgent(QString());
  } else if (message == WM_HV_STATISTICS) {
    if (QTreeWidgetItem* root = m_tree->Root()) {
      root->setData(0, kRootFilesRole, QVariant::fromValue<qulonglong>(wParam));
      root->setData(0, kRootBytesRole, QVariant::fromValue<qulonglong>(static_cast<qulonglong>(lParam)));
      emit m_details->Host().totalsChanged();
    }
  }
  UpdateButtons();
}

void CAgentFrame::OnUserSelected(std::uint64_t id) {
  m_details->ShowNode(id, CAgentTreeView::ClassOf(m_tree->Item(id)));
  const QString local = NodeText(id, itemLocalFile);
  if (!local.isEmpty() && m_navigate) m_navigate(local, 0);
}

void CAgentFrame::OpenNode(std::uint64_t id) {
  if (!m_open) return;
  const QString local = NodeText(id, itemLocalFile);
  const QString address = local.isEmpty() ? NodeUrl(id) : local;
  if (!address.isEmpty()) m_open(address);
}

void CAgentFrame::closeEvent(QCloseEvent* event) {
  if (m_running) {
    ShowMessage(this, PluginCaption(), QString::fromLatin1(texts::kStillRunning),
                QMessageBox::Ok);
    event->ignore();
    return;
  }
  m_client->m_bClosing = true;
  m_tree->setCurrentItem(nullptr);
  PluginClient::SaveAgentFile();
  PluginClient::DeleteAgent();
  event->accept();
}

// ---- node texts -----------------------------------------------------------------------------------

QString CAgentFrame::NodeText(std::uint64_t id, int item) const {
  std::string text;
  m_client->Bridge().WithNode(id, [&](CSafNode& node) { text = NodeData(node, item); });
  return EngineText(text.c_str());
}

QString CAgentFrame::NodeUrl(std::uint64_t id) const {
  if (CAgentTreeView::ClassOf(m_tree->Item(id)) != kNodeKindPage) return {};
  return NodeText(id, itemUrl);
}

}  // namespace hvui
