// The browser window a browser-side component listed for this program,
// reached through window messages: its address field and title are read,
// pages are shown by a dropped file (Netscape) or by typing into the address
// field (Internet Explorer), and the agent list box is read entry by entry.
#pragma once

#include "harvion/types.h"
#include "shell/browser_host.h"

namespace hvui {

class CPluginBrowserHost : public CBrowserHost {
 public:
  CPluginBrowserHost(HWND browserWindow, BrowserKind kind, HWND locationEdit);

  BrowserKind Kind() const override { return m_kind; }
  QString CurrentLocation() const override;
  QString CurrentPageTitle() const override;
  bool Navigate(const QString& urlOrPath) override;
  // Internet Explorer only: the status bar's text after "harvion: ".
  QString StatusBarLocation() const override;
  // Asks the list box to refresh, then reads at most the entries a menu shows.
  std::vector<std::string> AgentListEntries() const override;

  HWND BrowserWindow() const { return m_browser; }

 private:
  HWND m_browser;
  BrowserKind m_kind;
  HWND m_edit;
};

}  // namespace hvui
