// What the main frame asks of the browser that shows its pages. The frame's
// logic is written against CBrowserHost; each way of reaching a browser is
// one implementation.
#pragma once

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

#include "shell/browser_text.h"

namespace hvui {

class CBrowserHost {
 public:
  virtual ~CBrowserHost() = default;

  virtual BrowserKind Kind() const = 0;
  // The address the browser shows; empty when unknown.
  virtual QString CurrentLocation() const = 0;
  // The title of the page the browser shows, browser name included.
  virtual QString CurrentPageTitle() const = 0;
  // Shows a URL or a file path; false when the browser could not be reached.
  virtual bool Navigate(const QString& urlOrPath) = 0;
  // The address the agent's frameset reports through the status bar; empty
  // when there is none.
  virtual QString StatusBarLocation() const = 0;
  // The agent names the "Agent" menu lists, in list order.
  virtual std::vector<std::string> AgentListEntries() const = 0;
};

// The desktop's default browser, started for each page: the commands of
// $BROWSER when it is set, else xdg-open. It cannot be asked what it shows,
// so the current page is the one the program opened last.
class CDesktopBrowserHost : public CBrowserHost {
 public:
  BrowserKind Kind() const override { return BrowserKind::Desktop; }
  QString CurrentLocation() const override { return m_location; }
  QString CurrentPageTitle() const override { return m_title; }
  // On success the address becomes the current location, without a title.
  bool Navigate(const QString& urlOrPath) override;
  QString StatusBarLocation() const override { return {}; }
  std::vector<std::string> AgentListEntries() const override;

  // Set by the frame when the user opens a page it knows the title of.
  void SetCurrentPage(const QString& location, const QString& title);

  // The program and arguments of each command a $BROWSER value lists, in
  // order: commands are separated by ":", "%s" is replaced by the address or
  // the address is added as the last argument, "%%" is "%". The address is
  // always one argument, never seen by a shell.
  static std::vector<QStringList> BrowserCommands(const QString& browserVariable, const QString& address);

 private:
  QString m_location;
  QString m_title;
};

// The agents in a folder: NAME for each file NAME.hvx, sorted bytewise.
std::vector<std::string> AgentNamesInFolder(const std::string& folder);

}  // namespace hvui
