// The browser's side of the link with the desktop program, for a stand-in
// browser (hvplugin) and for a real browser's native-messaging host. It lists
// a browser window with the child windows the program looks for (the address
// field, the status bar, the agent list box, the host window), answers the
// program's questions about them, starts the program for its window and
// sends it the plug-in messages. No Qt: it runs in any process.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "harvion/types.h"

namespace hvside {

enum class BrowserKind { netscape, explorer };   // the two kinds hvmain recognises
enum class StartMode { addPage, show, attach };  // what hvmain does after opening the agent

class BrowserComponent {
 public:
  struct Callbacks {  // called on the component's message thread, one at a time
    std::function<void(const std::string& urlOrPath)> navigate;  // hvmain asks to show a page
    std::function<void(bool attached)> shown;  // WM_HVP_SHOW from hvmain: 1 after attach, 0 after detach
    std::function<void()> frameGone;           // the hvmain serving this window ended
  };
  // Publishes the browser window and its children; BrowserWindow() is null
  // when the user's runtime folder cannot be used.
  BrowserComponent(BrowserKind kind, Callbacks callbacks);
  ~BrowserComponent();  // withdraws them; a started hvmain goes on by itself
  BrowserComponent(const BrowserComponent&) = delete;
  BrowserComponent& operator=(const BrowserComponent&) = delete;

  HWND BrowserWindow() const;
  HWND HostWindow() const;
  HWND FrameWindow() const;
  // The address field's text and the page title; the window title is the
  // title with the browser's name added as each kind does.
  void SetPage(const std::string& address, const std::string& title);
  std::string Address() const;
  void SetStatusText(const std::string& text);
  void SetAgents(std::vector<std::string> names);

  // Finds the frame that serves this browser window and sends it the agent
  // and the mode, or starts hvmain for it with the start-up values and the
  // agent in the shared block, and waits for its frame. The program is
  // $HARVION_HVMAIN, else hvmain beside this program, else hvmain on PATH.
  bool Start(const std::string& agent, StartMode mode, std::string& error,
             std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Arguments added to hvmain's when Start starts it (--message-log FILE).
  void SetExtraArguments(std::vector<std::string> arguments);
  bool Connected() const;
  // The exit status of the hvmain this component started, once it ended.
  std::optional<int> ExitCode() const;
  bool AddPage();                           // WM_HVP_ADD_PAGE
  bool OpenAgent(const std::string& name);  // shared block, then WM_HVP_OPEN_AGENT; false for a name of 512+ bytes
  bool Show();                              // WM_HVP_SHOW
  bool Attach();
  bool Detach();
  std::optional<bool> Attached();
  bool Resize(int width, int height);
  bool Quit();                    // WM_HVP_QUIT
  std::string OpenAgentName();    // WM_GETTEXT to the frame

 private:
  struct State;
  std::shared_ptr<State> m_state;
};

}  // namespace hvside
