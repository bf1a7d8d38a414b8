#include "shell/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QToolBar>
#include <QUrl>

#include "harvion/global_memory.h"
#include "harvion/saf_node.h"
#include "shell/agent_frame.h"
#include "shell/agent_tree_view.h"
#include "shell/message_boxes.h"
#include "shell/node_bridge.h"
#include "shell/plugin_client.h"
#include "shell/tree_item_node.h"

namespace hvui {

namespace {

QString TakePath(HGLOBAL block) {
  if (!block) return {};
  const QString path = EngineText(static_cast<const char*>(GlobalLock(block)));
  GlobalUnlock(block);
  GlobalFree(block);
  return path;
}

}  // namespace

CMainFrame::CMainFrame(std::unique_ptr<CBrowserHost> host, QObject* parent)
    : QObject(parent),
      m_host(std::move(host)),
      m_frame(new CAgentFrame([this](const QString& url, int flag) { Navigate(url, flag); })) {
  m_frame->setAttribute(Qt::WA_DeleteOnClose, false);
  m_frame->SetAgentList([this] { return m_host->AgentListEntries(); });
  m_frame->SetOpener([this](const QString& address) { OpenInBrowser(address); });
  connect(m_frame, &CAgentFrame::agentChanged, this, [this] { UpdateTitle(); });
  // The agent beside the current page, in the browser: how an agent is read.
  m_viewAction = new QAction(QIcon(":/icons/agent.svg"), tr("Read Offline"), m_frame);
  m_viewAction->setObjectName("action_view");
  m_viewAction->setToolTip(tr("Show the agent beside its pages in the browser"));
  connect(m_viewAction, &QAction::triggered, this, [this] { ShowAgentView(); });
  if (auto* bar = m_frame->findChild<QToolBar*>("buttons")) bar->insertAction(bar->actions().value(5), m_viewAction);
}

CMainFrame::~CMainFrame() { delete m_frame; }

int CMainFrame::OpenAgent(const QString& name) {
  if (m_frame->Running() && name != m_frame->AgentName()) {
    ShowMessage(m_frame, PluginCaption(), FrameMessage(kTextLoadWhileRunning));
    return 0;
  }
  if (name.startsWith('?')) {
    m_frame->OnCommand(kCmdNewAgent);
    PluginClient::SaveAgentFile();
    return 1;
  }
  m_frame->OpenAgent(name);
  return 1;
}

void CMainFrame::Navigate(const QString& url, int flag) {
  // Selecting an item shows nothing by itself: there is no agent view beside
  // the tree to follow it. The plain page is shown on request.
  if (flag == 0) return;
  QString target = m_host->StatusBarLocation();
  if (target.isEmpty() && m_frame->AgentName().size() > 0) {
    const std::uint64_t id = m_frame->Tree()->SelectedId();
    if (id) {
      m_frame->Client()->Bridge().WithNode(id,
                                           [&](CSafNode& node) { target = TakePath(node.GetDataHandle(itemLocalFile)); });
    }
    if (target.isEmpty()) target = TakePath(PluginClient::GetEmptyFileName());
  }
  if (target.isEmpty()) target = url;
  if (!target.isEmpty()) OpenInBrowser(target);
}

void CMainFrame::ShowAgentView() {
  QString location = m_host->CurrentLocation();
  // Without a page opened yet, the selected item's stored copy is shown.
  if (location.isEmpty()) {
    const std::uint64_t id = m_frame->Tree()->SelectedId();
    m_frame->Client()->Bridge().WithNode(id, [&](CSafNode& node) {
      location = TakePath(node.GetDataHandle(itemLocalFile));
      if (location.isEmpty()) location = TakePath(node.GetDataHandle(itemUrl));
    });
  }
  if (QFileInfo(location).isAbsolute()) location = QFileInfo(location).fileName();
  char path[4096] = {};
  const QByteArray address = location.isEmpty() ? QByteArray("about:blank") : location.toUtf8();
  if (!PluginClient::CreateFrameSet(address.constData(), path, sizeof path) || !*path) {
    ShowMessage(m_frame, PluginCaption(), FrameMessage(kTextNoTemporaryFile));
    return;
  }
  m_host->Navigate(EngineText(path));
}

void CMainFrame::AddCurrentPage() {
  if (m_frame->Running()) {
    ShowMessage(m_frame, PluginCaption(), FrameMessage(kTextModifyWhileRunning));
    return;
  }
  const QString url = m_host->CurrentLocation();
  QString title = StripBrowserName(m_host->CurrentPageTitle(), m_host->Kind());
  if (title.isEmpty()) title = url;
  if (const int refusal = AddPageRefusal(url)) {
    ShowMessage(m_frame, PluginCaption(), FrameMessage(static_cast<FrameText>(refusal)));
    return;
  }
  QTreeWidgetItem* root = m_frame->Tree()->Root();
  if (!root) return;
  const QByteArray name = title.toUtf8();
  const QByteArray address = url.toUtf8();
  bool added = false;
  m_frame->Client()->Bridge().WithNode(CAgentTreeView::IdOf(root), [&](CSafNode& node) {
    added = PluginClient::CreateHTMLNode(&node, name.constData(), address.constData(), 0) != nullptr;
  });
  if (added)
    ShowMessage(m_frame, PluginCaption(), AddedPageMessage(title, url, m_frame->AgentName()));
}

bool CMainFrame::Quit() {
  if (m_frame->Running()) {
    ShowMessage(m_frame, PluginCaption(), FrameMessage(kTextQuitWhileRunning));
    return false;
  }
  m_frame->Client()->m_bClosing = true;
  QApplication::exit(0);
  return true;
}

void CMainFrame::OpenInBrowser(const QString& address) {
  if (!m_host->Navigate(address)) return;
  m_frame->SetCurrentPage(address.startsWith('/') ? QUrl::fromLocalFile(address).toString() : address);
}

void CMainFrame::UpdateTitle() {
  // The window is the agent's: the pages it opens show in the browser, and
  // their addresses would push the agent's name out of a task bar's room.
  const QString agent = m_frame->AgentName();
  m_frame->setWindowTitle(agent.isEmpty() ? QStringLiteral("Harvion") : agent + QStringLiteral(" \u2014 Harvion"));
}

}  // namespace hvui
