// The program's frame for one desktop session. There is no browser
// component to embed the agent view into, so the agent frame is a window of
// its own and pages open in the desktop's browser. The frame's operations
// (open an agent, show the agent view, add the current page, quit) are the
// ones a browser component would ask for; they work against CBrowserHost.
#pragma once

#include <QObject>
#include <memory>

#include "shell/browser_host.h"

class QAction;

namespace hvui {

class CAgentFrame;

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
  // Ends the program unless an agent runs (then it says so). True when quitting.
  bool Quit();
  // Opens a page or address in the browser; it becomes the current page.
  void OpenInBrowser(const QString& address);

 private:
  void Navigate(const QString& url, int flag);
  void UpdateTitle();

  std::unique_ptr<CBrowserHost> m_host;
  CAgentFrame* m_frame;
  QAction* m_viewAction = nullptr;
};

}  // namespace hvui
