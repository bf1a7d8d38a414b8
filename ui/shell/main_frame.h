// The program's frame. On its own (no browser component started it) the
// agent frame is a window of its own and pages open in the desktop's
// browser. Started by a browser-side component for one browser window, the
// frame is also a listed window that takes the component's messages: it
// opens agents, shows the agent frame over the component's host window
// (attached) or as a window of its own (detached), shows the agent's view of
// the current page, adds the current page and quits. Both ways work against
// CBrowserHost.
#pragma once

#include <QObject>
#include <QSize>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "harvion/message_target.h"
#include "shell/browser_host.h"

class QAction;

namespace hvui {

class CAgentFrame;
class SharedBlock;

class CMainFrame : public QObject {
  Q_OBJECT
 public:
  explicit CMainFrame(std::unique_ptr<CBrowserHost> host, QObject* parent = nullptr);
  ~CMainFrame() override;

  CAgentFrame* AgentFrame() const { return m_frame; }
  CBrowserHost& Host() const { return *m_host; }

  // Opens the named agent, or creates one for a name starting with "?";
  // refused (with a message) while another agent runs. 1 on success.
  int OpenAgent(const QString& name);
  // Shows the agent beside the current page in the browser.
  void ShowAgentView();
  // Adds the page the browser shows to the open agent; says what it did.
  void AddCurrentPage();
  // Ends the program with the exit code unless an agent runs (then it says
  // so). True when quitting.
  bool Quit(int exitCode = 0);
  // Opens a page or address in the browser; it becomes the current page.
  void OpenInBrowser(const QString& address);

  // Serves a browser window: lists the frame as "Harvion Plugin Frame: N"
  // of class "Harvion_Plugin_Frame_Class", opens the shared block named by
  // that title and posts itself the start-up sequence: open the agent in the
  // block, then attach to the notify window when it is one, else show the
  // agent's view (showFlag) or add the current page. False when the frame
  // could not be listed.
  bool StartPlugin(HWND browserWindow, HWND notifyWindow, bool showFlag);
  bool Embedded() const { return m_embedded; }
  // One message of the component, on the Qt thread; its answer.
  LRESULT OnPluginMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  // The component's messages are handled one at a time, each after what the
  // one before queued (an opened agent's tree fills that way), so a page is
  // added to the agent that was asked to open first.
  struct PendingMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    ReplyFunction reply;  // empty for a posted message
    std::uint64_t id = 0;
  };
  void Enqueue(PendingMessage pending);
  void HandleNext();
  // A question (attached? which agent?) that arrives while a message box of
  // an earlier message is open is answered from the box's event loop.
  void AnswerWhileBusy(std::uint64_t id);
  void Attach(HWND host);
  void Detach();
  void ResizeAgentFrame(LPARAM size);
  void ShowPluginView();
  // Hands a URL to the host window through the shared block.
  void SendToHost(const QString& url);
  void Navigate(const QString& url, int flag);
  void UpdateTitle();

  std::unique_ptr<CBrowserHost> m_host;
  CAgentFrame* m_frame;
  QAction* m_viewAction = nullptr;

  // Plug-in mode.
  HWND m_target = nullptr;  // this frame's listed window
  std::mutex m_pendingMutex;
  std::deque<PendingMessage> m_pending;
  std::uint64_t m_nextId = 1;
  bool m_handling = false;  // Qt thread only
  HWND m_browserWindow = nullptr;
  HWND m_hostWindow = nullptr;
  bool m_embedded = false;
  bool m_detailsShown = true;
  QSize m_hostSize;
  std::unique_ptr<SharedBlock> m_block;
  // The last URL this frame wrote into the block: a show request finds it
  // there and must not take it for an agent's name.
  std::string m_urlWritten;
};

}  // namespace hvui
