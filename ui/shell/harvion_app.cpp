#include "shell/harvion_app.h"

#include <unistd.h>

#include <QApplication>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <QFile>
#include <QMessageBox>

#include <cstdint>
#include <cstdio>

#include "harvion/message_target.h"
#include "harvion/plugin_messages.h"
#include "harvion/settings.h"
#include "harvion/top_level_window.h"
#include "shell/browser_recognition.h"
#include "shell/plugin_browser_host.h"
#include "shell/agent_frame.h"
#include "shell/agent_tree_view.h"
#include "shell/details_bar.h"
#include "shell/main_frame.h"
#include "shell/message_boxes.h"
#include "shell/splash_window.h"
#include "shell/window_layout.h"

namespace hvui {

namespace {

constexpr int kRequestWaitMs = 2000;
// Long enough for the agent's items to arrive from the engine.
constexpr int kScreenshotDelayMs = 1500;

}  // namespace

StartOptions ParseStartOptions(const QStringList& arguments) {
  StartOptions options;
  bool endOfOptions = false;
  for (int i = 1; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (!endOfOptions && (argument == "--help" || argument == "-h")) {
      options.help = true;
    } else if (!endOfOptions && argument == "--no-splash") {
      options.splash = false;
    } else if (!endOfOptions && argument == "--screenshot" && i + 1 < arguments.size()) {
      options.screenshot = arguments[++i];
    } else if (!endOfOptions && argument == "--message-log" && i + 1 < arguments.size()) {
      options.messageLog = arguments[++i];
    } else if (!endOfOptions && (argument == "--browser-window" || argument == "--host-window") &&
               i + 1 < arguments.size()) {
      bool number = false;
      const quint64 value = arguments[++i].toULongLong(&number, 10);
      if (!number) options.error = argument + " takes a window number";
      (argument == "--browser-window" ? options.browserWindow : options.hostWindow) = value;
    } else if (!endOfOptions && argument == "--show") {
      options.showFlag = true;
    } else if (!endOfOptions && argument == "--") {
      endOfOptions = true;
    } else if (!endOfOptions && argument.startsWith('-')) {
      options.error = "unknown option " + argument;
    } else if (options.agent.isEmpty()) {
      options.agent = argument;
    } else {
      options.error = "more than one agent named";
    }
  }
  if (options.error.isEmpty() && options.browserWindow == 0 && (options.hostWindow || options.showFlag))
    options.error = "--host-window and --show need --browser-window";
  if (options.error.isEmpty() && options.browserWindow && !options.agent.isEmpty())
    options.error = "a browser component names the agent in the shared block, not as an argument";
  return options;
}

QString UsageText() {
  return "Usage: hvmain [--no-splash] [AGENT]\n"
         "       hvmain [--no-splash] --browser-window N [--host-window H] [--show]\n"
         "The Harvion desktop program: your agents as a tree, retrieved on demand or on their schedules,\n"
         "read offline in your browser. Opens AGENT, else the Startup Agent (made when missing).\n"
         "Only one runs per user: a second start shows the first and opens AGENT there.\n"
         "  --no-splash  start without the splash window\n"
         "  --screenshot FILE\n"
         "               save a picture of the window (PNG) once the agent is shown, then end\n"
         "  --message-log FILE\n"
         "               answer every message box with OK at once and append its caption and text\n"
         "               to FILE, one line each (for scripts)\n"
         "  --help       show this text\n"
         "Started by a browser-side component (hvplugin, harvion-native-host) for one browser window:\n"
         "  --browser-window N  the browser window's handle, as the component listed it; the program\n"
         "                      serves that window as the frame \"Harvion Plugin Frame: N\" and ends at\n"
         "                      once (status 1) when N is no window, is no browser it recognises, or\n"
         "                      another instance serves it\n"
         "  --host-window H     the window to attach the agent frame to, or 0 (the default)\n"
         "  --show              without a host window: show the agent's view of the current page;\n"
         "                      without --show the current page is added to the agent\n"
         "  The agent to open is the text of the frame's shared block (\"?\": a new agent); the program\n"
         "  ends with status 3 when the component asks it to quit.\n"
         "Environment: HARVION_HOME is the folder for settings and agents\n"
         "(default: $XDG_DATA_HOME/harvion, else ~/.local/share/harvion); BROWSER names the browser\n"
         "pages open in (default: xdg-open).\n";
}

QString CHarvionApp::LayoutFile() { return QString::fromStdString(GetHomeDirectory()) + "/hvmain.ini"; }

QString CHarvionApp::InstanceName() {
  const QByteArray home = QFileInfo(QString::fromStdString(GetHomeDirectory())).canonicalFilePath().toUtf8();
  const QByteArray hash = QCryptographicHash::hash(home, QCryptographicHash::Sha1).toHex().left(12);
  return QString("hvmain-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash));
}

CHarvionApp::CHarvionApp() = default;

CHarvionApp::~CHarvionApp() {
  if (m_frame && m_keepLayout) {
    SaveWindowLayout(LayoutFile(), {m_frame->AgentFrame()->saveGeometry(), m_frame->AgentFrame()->saveState()});
  }
  // The frame saves and closes the agent while the interface still runs.
  m_frame.reset();
  // Messages from now on must not reach a program that is gone.
  if (m_sinkInstalled) SetMessageSink(m_previousSink);
}

bool CHarvionApp::Start(const StartOptions& options) {
  if (!options.messageLog.isEmpty()) {
    const QString log = options.messageLog;
    SetMessageBoxAnswerer([log](const QString& caption, const QString& text) {
      QFile file(log);
      if (file.open(QIODevice::Append | QIODevice::Text)) {
        QString line = caption + ": " + text;
        line.replace(QLatin1String("\r\n"), QLatin1String(" / ")).replace(QLatin1Char('\n'), QLatin1String(" / "));
        file.write(line.toUtf8() + '\n');
      }
      return QMessageBox::Ok;
    });
  }
  if (options.browserWindow) return StartForBrowser(options);
  const QString name = InstanceName();
  {
    QLocalSocket other;
    other.connectToServer(name);
    if (other.waitForConnected(kRequestWaitMs)) {
      other.write(options.agent.toUtf8() + '\n');
      other.waitForBytesWritten(kRequestWaitMs);
      other.disconnectFromServer();
      return false;
    }
  }
  m_server = std::make_unique<QLocalServer>();
  m_server->setSocketOptions(QLocalServer::UserAccessOption);
  // A name left by an instance that crashed is taken over.
  if (!m_server->listen(name)) {
    QLocalServer::removeServer(name);
    m_server->listen(name);
  }
  connect(m_server.get(), &QLocalServer::newConnection, this, &CHarvionApp::OnRequest);

  // The engine's messages belong to the agent window.
  m_previousSink =
      InstallMessageBoxSink([this](HWND) -> QWidget* { return m_frame ? m_frame->AgentFrame() : nullptr; });
  m_sinkInstalled = true;
  m_frame = std::make_unique<CMainFrame>(std::make_unique<CDesktopBrowserHost>());
  CAgentFrame* window = m_frame->AgentFrame();
  // The window as the user left it; a picture for the documents is always
  // taken at the first size.
  m_keepLayout = options.screenshot.isEmpty();
  if (m_keepLayout) {
    const WindowLayout layout = LoadWindowLayout(LayoutFile());
    window->restoreGeometry(layout.geometry);
    window->restoreState(layout.state);
    if (layout.geometry.isEmpty()) window->OfferHelp();
  }
  if (options.splash) CSplashWindow::OpenAtStartup(nullptr);
  m_frame->OpenAgent(options.agent);
  window->show();
  if (!options.screenshot.isEmpty()) {
    const QString path = options.screenshot;
    QTimer::singleShot(kScreenshotDelayMs, window, [window, path] {
      CAgentTreeView* tree = window->Tree();
      tree->ExpandAll(tree->Root());
      // The first location selected, with its details.
      if (QTreeWidgetItem* first = tree->Root() ? tree->Root()->child(0) : nullptr) {
        tree->SelectQuietly(first);
        window->Details()->ShowNode(CAgentTreeView::IdOf(first), CAgentTreeView::ClassOf(first));
      }
      const bool saved = window->grab().save(path, "PNG");
      QApplication::exit(saved ? 0 : 1);
    });
  }
  return true;
}

bool CHarvionApp::StartForBrowser(const StartOptions& options) {
  m_exitCode = 1;
  const HWND browser = reinterpret_cast<HWND>(std::uintptr_t(options.browserWindow));
  const HWND host = reinterpret_cast<HWND>(std::uintptr_t(options.hostWindow));
  // Nothing is shown for a start that fails: the component hears it from
  // the exit status, a person from the line on stderr.
  if (!IsWindow(browser)) {
    std::fprintf(stderr, "hvmain: %llu is not a window\n", options.browserWindow);
    return false;
  }
  if (FindWindow(kPluginFrameClass, PluginFrameTitle(browser).c_str())) {
    std::fprintf(stderr, "hvmain: another instance serves browser window %llu\n", options.browserWindow);
    return false;
  }
  const auto browserFound = RecognizeBrowser(browser);
  if (!browserFound) {
    std::fprintf(stderr, "HVMAIN. browser not recognized\n");
    return false;
  }
  m_previousSink =
      InstallMessageBoxSink([this](HWND) -> QWidget* { return m_frame ? m_frame->AgentFrame() : nullptr; });
  m_sinkInstalled = true;
  if (options.splash) CSplashWindow::OpenAtStartup(nullptr);
  m_frame = std::make_unique<CMainFrame>(
      std::make_unique<CPluginBrowserHost>(browser, browserFound->kind, browserFound->locationEdit));
  if (!m_frame->StartPlugin(browser, host, options.showFlag)) {
    std::fprintf(stderr, "hvmain: the frame could not be listed for the browser component\n");
    m_frame.reset();
    return false;
  }
  m_exitCode = 0;
  if (!options.screenshot.isEmpty()) {
    // The agent frame as the start-up sequence left it.
    CAgentFrame* window = m_frame->AgentFrame();
    const QString path = options.screenshot;
    QTimer::singleShot(kScreenshotDelayMs, window, [window, path] {
      window->Tree()->ExpandAll(window->Tree()->Root());
      QApplication::exit(window->grab().save(path, "PNG") ? 0 : 1);
    });
  }
  return true;
}

void CHarvionApp::OnRequest() {
  while (QLocalSocket* socket = m_server->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      if (!socket->canReadLine()) return;
      const QString agent = QString::fromUtf8(socket->readLine(4096)).trimmed();
      CAgentFrame* window = m_frame->AgentFrame();
      window->showNormal();
      window->raise();
      window->activateWindow();
      if (!agent.isEmpty()) m_frame->OpenAgent(agent);
    });
  }
}

}  // namespace hvui
