#include "shell/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QToolBar>
#include <QUrl>

#include <algorithm>
#include <cstring>

#include "harvion/child_window.h"
#include "harvion/global_memory.h"
#include "harvion/plugin_messages.h"
#include "harvion/saf_node.h"
#include "harvion/top_level_window.h"
#include "harvion/window_messages.h"
#include "shell/agent_frame.h"
#include "shell/agent_tree_view.h"
#include "shell/details_bar.h"
#include "shell/message_boxes.h"
#include "shell/node_bridge.h"
#include "shell/plugin_client.h"
#include "shell/shared_block.h"
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
  // The page the agent view shows, reported through the status bar; the
  // browser that has none cannot tell.
  m_frame->SetCurrentPageSource([this] { return m_host->StatusBarLocation(); },
                                m_host->Kind() != BrowserKind::Netscape);
  connect(m_frame, &CAgentFrame::agentChanged, this, [this] { UpdateTitle(); });
  // The agent beside the current page, in the browser: how an agent is read.
  m_viewAction = new QAction(QIcon(":/icons/agent.svg"), tr("Read Offline"), m_frame);
  m_viewAction->setObjectName("action_view");
  m_viewAction->setToolTip(tr("Show the agent beside its pages in the browser"));
  connect(m_viewAction, &QAction::triggered, this, [this] { ShowAgentView(); });
  if (auto* bar = m_frame->findChild<QToolBar*>("buttons")) bar->insertAction(bar->actions().value(5), m_viewAction);
}

CMainFrame::~CMainFrame() {
  // No message of the component reaches a frame that is going.
  if (m_target) DestroyMessageTarget(m_target);
  if (m_block) m_block->Unlink();
  delete m_frame;
}

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
  // Selecting an item shows nothing by itself unless the agent frame is
  // attached: then the host shows the page. The plain page is shown on
  // request.
  if (flag == 0) {
    if (!m_embedded) return;
    const QByteArray address = url.toUtf8();
    PluginClient::Reparse(address.constData());
    SendToHost(url);
    return;
  }
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
  if (m_target) {
    ShowPluginView();
    return;
  }
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
  if (m_embedded) {
    ShowMessage(m_frame, PluginCaption(), FrameMessage(kTextPluginModeAdd));
    return;
  }
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

bool CMainFrame::Quit(int exitCode) {
  if (m_frame->Running()) {
    ShowMessage(m_frame, PluginCaption(), FrameMessage(kTextQuitWhileRunning));
    return false;
  }
  m_frame->Client()->m_bClosing = true;
  QApplication::exit(exitCode);
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

bool CMainFrame::StartPlugin(HWND browserWindow, HWND notifyWindow, bool showFlag) {
  m_browserWindow = browserWindow;
  m_hostWindow = notifyWindow;
  const std::string title = PluginFrameTitle(browserWindow);
  m_block = std::make_unique<SharedBlock>(QString::fromStdString(title));
  // Messages arrive on the link's thread; each is handled on the Qt thread,
  // and a sent one is answered from there.
  m_target = CreateMessageTarget(
      [this](UINT message, WPARAM wParam, LPARAM lParam) { Enqueue({message, wParam, lParam, nullptr}); },
      [this](UINT message, WPARAM wParam, LPARAM lParam, ReplyFunction reply) {
        Enqueue({message, wParam, lParam, std::move(reply)});
      });
  if (!m_target || !PublishWindow(m_target, kPluginFrameClass, title.c_str())) return false;
  PostMessage(m_target, WM_HVP_OPEN_AGENT, 0, 0);
  if (notifyWindow && IsWindow(notifyWindow))
    PostMessage(m_target, WM_HVP_ATTACH, reinterpret_cast<WPARAM>(notifyWindow), 0);
  else
    PostMessage(m_target, showFlag ? WM_HVP_SHOW : WM_HVP_ADD_PAGE, 0, 0);
  return true;
}

void CMainFrame::Enqueue(PendingMessage pending) {
  std::lock_guard lock(m_pendingMutex);
  const bool question =
      pending.reply && (pending.message == WM_HVP_QUERY_ATTACHED || pending.message == WM_GETTEXT);
  pending.id = m_nextId++;
  if (question) QMetaObject::invokeMethod(this, [this, id = pending.id] { AnswerWhileBusy(id); }, Qt::QueuedConnection);
  m_pending.push_back(std::move(pending));
  if (m_pending.size() == 1) QMetaObject::invokeMethod(this, [this] { HandleNext(); }, Qt::QueuedConnection);
}

void CMainFrame::AnswerWhileBusy(std::uint64_t id) {
  // Running here while a message is handled means its box's loop runs us.
  if (!m_handling) return;
  PendingMessage pending;
  {
    std::lock_guard lock(m_pendingMutex);
    // The front is the message being handled; a question behind it goes now.
    auto it = std::find_if(m_pending.begin() + 1, m_pending.end(), [&](const auto& p) { return p.id == id; });
    if (it == m_pending.end()) return;
    pending = std::move(*it);
    m_pending.erase(it);
  }
  pending.reply(OnPluginMessage(pending.message, pending.wParam, pending.lParam));
}

void CMainFrame::HandleNext() {
  PendingMessage pending;
  {
    std::lock_guard lock(m_pendingMutex);
    if (m_pending.empty()) return;
    pending = std::move(m_pending.front());
  }
  m_handling = true;
  const LRESULT result = OnPluginMessage(pending.message, pending.wParam, pending.lParam);
  m_handling = false;
  if (pending.reply) pending.reply(result);
  std::lock_guard lock(m_pendingMutex);
  m_pending.pop_front();
  if (!m_pending.empty()) QMetaObject::invokeMethod(this, [this] { HandleNext(); }, Qt::QueuedConnection);
}

LRESULT CMainFrame::OnPluginMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_HVP_ADD_PAGE:
      AddCurrentPage();
      return 0;
    case WM_HVP_OPEN_AGENT:
      return OpenAgent(m_block ? QString::fromStdString(m_block->ReadText()) : QString());
    case WM_HVP_ATTACH:
      Attach(reinterpret_cast<HWND>(wParam));
      return 0;
    case WM_HVP_QUERY_ATTACHED:
      return m_embedded ? 1 : 0;
    case WM_HVP_SHOW:
      ShowAgentView();
      return 0;
    case WM_HVP_DETACH:
      Detach();
      return 0;
    case WM_HVP_RESIZE:
      ResizeAgentFrame(lParam);
      return 0;
    case WM_HVP_QUIT:
      Quit(kPluginQuitCode);
      return 0;
    case WM_GETTEXT: {
      const QByteArray name = m_frame->AgentName().toUtf8();
      if (name.isEmpty() || !lParam || std::size_t(name.size()) >= wParam) return 0;
      std::memcpy(reinterpret_cast<char*>(lParam), name.constData(), std::size_t(name.size()) + 1);
      return name.size();
    }
    default:
      return 0;
  }
}

void CMainFrame::Attach(HWND host) {
  m_embedded = true;
  m_hostWindow = host;
  // Linux has no window of another process to put ours into: the agent
  // frame goes frameless over the place the component keeps for it, at the
  // size the component gives.
  m_frame->hide();
  m_frame->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  if (m_hostSize.isValid()) m_frame->resize(m_hostSize);
  m_frame->show();
  m_frame->Details()->setVisible(m_detailsShown);
  m_frame->Tree()->viewport()->update();
  PostMessage(m_browserWindow, WM_HVP_SHOW, 1, 0);
}

void CMainFrame::Detach() {
  m_embedded = false;
  m_detailsShown = m_frame->Details()->isVisible();
  m_frame->hide();
  m_frame->Details()->hide();
  // An ordinary window again, which the user can still reach.
  m_frame->setWindowFlags(Qt::Window);
  m_frame->show();
  PostMessage(m_browserWindow, WM_HVP_SHOW, 0, 0);
}

void CMainFrame::ResizeAgentFrame(LPARAM size) {
  const int width = int(size & 0xFFFF), height = int((size >> 16) & 0xFFFF);
  if (size != 0) {
    m_hostSize = QSize(width, height);
    m_frame->resize(m_hostSize);
    return;
  }
  m_frame->repaint();
  m_frame->Tree()->viewport()->repaint();
}

void CMainFrame::ShowPluginView() {
  if (m_embedded) {
    PluginClient::SaveAgentFile();
    Navigate(QString(), 1);
    return;
  }
  const std::string name = m_block ? m_block->ReadText() : std::string();
  if (!name.empty() && name != m_urlWritten && OpenAgent(QString::fromStdString(name)) != 1) return;
  const QByteArray location = m_host->CurrentLocation().toUtf8();
  char path[4096] = {};
  if (!PluginClient::CreateFrameSet(location.constData(), path, sizeof path) || !*path) {
    ShowMessage(m_frame, PluginCaption(), FrameMessage(kTextNoTemporaryFile));
    return;
  }
  m_host->Navigate(EngineText(path));
}

void CMainFrame::SendToHost(const QString& url) {
  const std::string bytes = url.toUtf8().toStdString();
  // The block holds 511 bytes and a zero: a cut address would show another
  // page, so a longer one is refused and said so.
  if (bytes.size() >= SharedBlock::kSize) {
    ShowMessage(m_frame, PluginCaption(),
                tr("This address is too long to be shown in the browser (512 bytes or more):\n%1").arg(url.left(200)));
    return;
  }
  if (!m_block || !m_block->WriteText(bytes)) return;
  m_urlWritten = bytes;
  if (IsWindow(m_hostWindow)) PostMessage(m_hostWindow, WM_HVP_NAVIGATE, 0, 0);
}

}  // namespace hvui
