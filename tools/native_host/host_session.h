// One conversation between the extension and hvmain: the extension tells
// the host which page its active tab shows and asks it to add or show that
// page; hvmain's requests to show a page go back to the extension.
//
// Messages from the extension (type: fields):
//   page: url, title        the active tab's page changed
//   add: url, title, agent  add that page to the open agent (agent: the one
//                           to open when hvmain has to be started)
//   offline: url, title, agent   show the agent's view of that page
//   status                  which agent is open
//   open: url               a file: address the browser would not open
// Messages to the extension:
//   navigate: url           show this address (local files as file: URLs)
//   status: running ("true"/"false"), agent
//   error: message
#pragma once

#include <functional>
#include <string>

#include "browser_link.h"
#include "json_message.h"
#include "message_channel.h"

namespace hvhost {

class HostSession {
 public:
  explicit HostSession(MessageWriter& writer) : m_writer(writer) {}
  // The link is made on the first message that needs it, so a browser that
  // only connects and goes away starts nothing.
  void SetLink(BrowserLink* link) { m_link = link; }
  // How local files are opened when the browser refuses them.
  void SetOpener(std::function<bool(const std::string& fileUrl)> opener) { m_opener = std::move(opener); }

  void Handle(const JsonMessage& message);
  // hvmain's request to show a page, as the extension gets it.
  void Navigate(const std::string& urlOrPath);
  void FrameGone();
  void SendError(const std::string& text);
  // The browser closed the extension's port: the window hvmain serves is
  // gone, so hvmain is asked to quit (it stays while an agent runs).
  void End();

 private:
  void SendStatus();
  void Act(BrowserLink::Action action, const JsonMessage& message);

  MessageWriter& m_writer;
  BrowserLink* m_link = nullptr;
  std::function<bool(const std::string&)> m_opener;
};

// A local path as a file: URL (bytes outside the unreserved set escaped);
// anything that is not an absolute path is returned as it is.
std::string FileUrlOf(const std::string& urlOrPath);

}  // namespace hvhost
