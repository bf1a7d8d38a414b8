// The text rules of the main frame: what it makes of a browser's titles,
// status bar and addresses, the agent list it offers and the messages it
// shows. Pure functions, so the frame's logic does not depend on a browser.
#pragma once

#include <QString>

#include <string>
#include <vector>

namespace hvui {

// Which browser shows the pages; decides the title rule and the menus.
enum class BrowserKind {
  InternetExplorer,
  Netscape,
  // A desktop browser the program starts itself: titles carry no browser
  // name and there is no status bar to read.
  Desktop,
};

// "Netscape - [Page]" -> "Page". Unchanged without " - " or when it starts
// the title.
QString StripNetscapeTitle(const QString& title);
// "Page - Browser" -> "Page": everything before the blank that precedes the
// last "-". Unchanged without "-" or when the only one starts the title.
QString StripExplorerTitle(const QString& title);
QString StripBrowserName(const QString& title, BrowserKind kind);

// The address the agent's frameset wrote into the status bar: the text after
// a leading "harvion: " (any case), else empty.
QString UrlFromStatusText(const QString& statusText);

// The name a page added as the current page gets: the last part of its
// address; for an address ending in "/", the folder before it with its "/";
// the whole address when that is empty or there is no "/" at all.
QString CurrentPageName(const QString& url);

// The agent list offered in the "Agent" menu: at most the first 99 entries,
// each shorter than 260 bytes, with command 900 + its index in the list.
constexpr int kFirstAgentCommand = 900;
constexpr int kMaxAgentEntries = 99;
constexpr std::size_t kMaxAgentNameLength = 259;

struct AgentMenuEntry {
  int command;
  std::string name;
};
std::vector<AgentMenuEntry> AgentMenuEntries(const std::vector<std::string>& names);
// The agent an agent-list command opens, read from the list again; empty when
// the command names no usable entry.
std::string AgentForCommand(const std::vector<std::string>& names, int command);

// The frame's own messages, by their numbers.
enum FrameText : int {
  kTextPluginModeAdd = 200,
  kTextNoData = 201,
  kTextLocalFile = 202,
  kTextPageAdded = 203,
  kTextCaption = 204,
  kTextNoTemporaryFile = 208,
  kTextLoadWhileRunning = 209,
  kTextModifyWhileRunning = 210,
  kTextQuitWhileRunning = 215,
};
QString FrameMessage(FrameText id);

// Why the current page cannot be added: kTextNoData for no address,
// kTextLocalFile for a local file (a drive path, "file:" or an absolute path);
// 0 when it can be.
int AddPageRefusal(const QString& url);

// "The page: TITLE / from URL / has been added to your AGENT agent"; the
// parts are inserted as they are, never read as patterns.
QString AddedPageMessage(const QString& title, const QString& url, const QString& agentName);

}  // namespace hvui
