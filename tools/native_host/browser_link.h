// What the host needs of the browser-side component: one browser window
// whose page follows the tab, and the plug-in messages to the hvmain that
// serves it. The real link wraps the component; tests use a fake.
#pragma once

#include <functional>
#include <string>

namespace hvhost {

class BrowserLink {
 public:
  enum class Action { addPage, show };
  struct Events {
    std::function<void(const std::string& urlOrPath)> navigate;  // hvmain asks to show a page
    std::function<void()> frameGone;                             // that hvmain ended
  };

  virtual ~BrowserLink() = default;
  virtual void SetPage(const std::string& address, const std::string& title) = 0;
  virtual bool Connected() = 0;
  // Starts hvmain (or finds the one serving this window) with the agent
  // and has it do the action once the agent is open.
  virtual bool Start(const std::string& agent, Action action, std::string& error) = 0;
  virtual bool AddPage() = 0;
  virtual bool Show() = 0;
  virtual std::string OpenAgentName() = 0;
  virtual bool Quit() = 0;
};

}  // namespace hvhost

#include <memory>

namespace hvhost {
// The link through the browser-side component, for one browser window.
std::unique_ptr<BrowserLink> MakeComponentLink(BrowserLink::Events events);
}  // namespace hvhost
