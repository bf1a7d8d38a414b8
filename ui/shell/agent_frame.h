// The window the user works in: the tool buttons, the progress display, the
// agent tree and the details bar, with every command of the buttons, menus
// and context menus.
#pragma once

#include <QMainWindow>
#include <QMap>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "harvion/types.h"

class QAction;
class QMenu;
class QToolButton;

namespace harvion {
class RunBaseline;
}

namespace hvui {

class CallQueue;
class CAgentTreeView;
class CDesktopNotifier;
class CDetailsBar;
class CProgressDisplay;
class PluginClient;

// Command identifiers of the menus and buttons.
enum Command : int {
  kCmdNewAgent = 32771,
  kCmdFirstListedAgent = 900,
  kCmdLastListedAgent = 998,
  kCmdStartStop = 159,
  kCmdProperties = 161,
  kCmdInternetLocation = 32780,
  kCmdLocalFile = 32789,
  kCmdNewFolder = 32781,
  kCmdNewSearch = 32775,
  kCmdCurrentPage = 32772,
  kCmdPluginOptions = 32776,
  kCmdSchedules = 32783,
  kCmdHide = 32782,
  kCmdAbout = 57664,
  kCmdGoToOriginal = 32778,
  kCmdUpdateNow = 32777,
  kCmdExpandAll = 32774,
  kCmdCut = 57635,
  kCmdCopy = 57634,
  kCmdPaste = 57637,
  kCmdDelete = 57632,
  kCmdRename = 32784,
  kCmdHelp = 57670,
  kCmdShowChanges = 32790,
};

class CAgentFrame : public QMainWindow {
  Q_OBJECT
 public:
  // navigate: the main frame's callback (URL or path, flag); 0 shows the
  // node's page, nonzero the plain page.
  using Navigate = std::function<void(const QString& url, int flag)>;

  CAgentFrame(Navigate navigate, QWidget* parent = nullptr);
  ~CAgentFrame() override;

  // Runs the command as its menu item or button does.
  void OnCommand(int command);
  // The action of a command (for menus and tests); null for none.
  QAction* Action(int command) const { return m_actions.value(command); }

  // Opens the named agent (empty: whatever the engine opens for no name);
  // the engine's result. Nothing happens when it is open already.
  int OpenAgent(const QString& name);
  // The open agent's name; empty when none.
  QString AgentName() const;
  bool Running() const { return m_running; }
  // Where the agent names of the "Agent" menu come from.
  void SetAgentList(std::function<std::vector<std::string>()> list) { m_agentList = std::move(list); }
  // Shows a page or an address in the browser (a double click on an item).
  void SetOpener(std::function<void(const QString&)> open) { m_open = std::move(open); }
  // Opens the node's stored copy, else its address, with the opener.
  void OpenNode(std::uint64_t id);
  // The page the user last opened in the browser (Current Page adds it).
  void SetCurrentPage(const QString& url) { m_currentPage = url; }
  // Where Current Page reads the browser's page first (the agent view's
  // status-bar address); empty answers fall back to the last page opened.
  // Unavailable: the browser cannot tell, and the command is greyed.
  void SetCurrentPageSource(std::function<QString()> source, bool available);

  CAgentTreeView* Tree() const { return m_tree; }
  CDetailsBar* Details() const { return m_details; }
  PluginClient* Client() const { return m_client; }
  CProgressDisplay* Progress() const { return m_progress; }
  CDesktopNotifier* Notifier() const { return m_notifier; }
  HWND MessageWindow() const { return m_window; }

  // Starts a run of the node; false when one is going on or it did not start.
  bool StartRun(std::uint64_t id);
  // A first start: the status bar offers the help page until it is opened.
  void OfferHelp();

 signals:
  // The agent shown in the tree changed (name, or another agent).
  void agentChanged(const QString& name);
  void runStateChanged(bool running);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildActions();
  void BuildButtons();
  QMenu* InsertMenu();
  void FillAgentMenu(QMenu* menu);
  void ShowContextMenu(std::uint64_t id, const QPoint& globalPos);
  void OnEngineMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnRunEnded(bool interrupted);
  void OnUserSelected(std::uint64_t id);
  void UpdateButtons();
  void MakeClient();
  // What the property pages use of the frame.
  void ConnectPages();

  // Command actions.
  void NewAgent();
  void NewFolder();
  void NewSearch();
  void AddCurrentPage();
  void AddInternetLocation();
  void ImportLocalFile();
  void DeleteSelected();
  void CopySelected();
  void PasteIntoTarget();
  void GoToOriginal();
  void OpenHelp();
  // Opens the agent's changes.html, at the selected page's entry.
  void ShowChanges();
  // Whether Show Changes has something to show for the item.
  bool ChangesShown(std::uint64_t id) const;
  // The folder the insert commands put things in, or 0 without an agent.
  std::uint64_t TargetFolder() const;
  // The selected node's address (its URL item); empty for none.
  QString NodeUrl(std::uint64_t id) const;
  QString NodeText(std::uint64_t id, int item) const;

  CallQueue* m_calls;  // the engine's messages, on their way here
  PluginClient* m_client = nullptr;
  CAgentTreeView* m_tree = nullptr;
  CDetailsBar* m_details = nullptr;
  CProgressDisplay* m_progress = nullptr;
  CDesktopNotifier* m_notifier = nullptr;
  QToolButton* m_startStop = nullptr;
  QMap<int, QAction*> m_actions;
  Navigate m_navigate;
  std::function<void(const QString&)> m_open;
  std::function<std::vector<std::string>()> m_agentList;
  std::function<QString()> m_currentPageSource;
  QString m_currentPage;
  HWND m_window = nullptr;
  bool m_running = false;
  std::uint64_t m_runningId = 0;
  // What the index held before the run, for what it changed at its end.
  std::unique_ptr<harvion::RunBaseline> m_baseline;
  std::uint32_t m_runStart = 0;
  bool m_stopAsked = false;  // the user stopped the run going on
  bool m_detailsVisible = true;
};

}  // namespace hvui
