#include "shell/browser_text.h"

#include <algorithm>
#include <utility>

#include "shell/ui_texts.h"

namespace hvui {

QString StripNetscapeTitle(const QString& title) {
  // The page title follows "Name - [" and ends with "]".
  const qsizetype p = title.indexOf(QStringLiteral(" - "));
  if (p <= 0) return title;
  const QString rest = title.mid(p + 4);
  return rest.left(std::max<qsizetype>(rest.size() - 1, 0));
}

QString StripExplorerTitle(const QString& title) {
  const qsizetype p = title.lastIndexOf(QLatin1Char('-'));
  if (p <= 0) return title;
  return title.left(p - 1);
}

QString StripBrowserName(const QString& title, BrowserKind kind) {
  switch (kind) {
    case BrowserKind::Netscape:
      return StripNetscapeTitle(title);
    case BrowserKind::InternetExplorer:
      return StripExplorerTitle(title);
    case BrowserKind::Desktop:
      break;
  }
  return title;
}

QString UrlFromStatusText(const QString& statusText) {
  // Letter case is folded for ASCII only: Unicode folding would also take
  // look-alikes (a dotted capital I) for the prefix.
  static constexpr char kPrefix[] = "harvion: ";
  constexpr qsizetype kLength = sizeof(kPrefix) - 1;
  if (statusText.size() < kLength) return {};
  for (qsizetype i = 0; i < kLength; ++i) {
    const char16_t c = statusText[i].unicode();
    const char16_t lower = (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c;
    if (lower != char16_t(kPrefix[i])) return {};
  }
  return statusText.mid(kLength);
}

QString CurrentPageName(const QString& url) {
  const qsizetype last = url.lastIndexOf(QLatin1Char('/'));
  // No "/" at all: the whole address, as for a name that would be empty.
  if (last < 0) return url;
  if (last + 1 < url.size()) return url.mid(last + 1);
  if (last == 0) return url;
  const qsizetype before = url.lastIndexOf(QLatin1Char('/'), last - 1);
  if (before + 1 == last) return url;  // "//" at the end: no folder name
  return url.mid(before + 1);
}

std::vector<AgentMenuEntry> AgentMenuEntries(const std::vector<std::string>& names) {
  std::vector<AgentMenuEntry> entries;
  const std::size_t count = std::min<std::size_t>(names.size(), kMaxAgentEntries);
  for (std::size_t i = 0; i < count; ++i)
    if (names[i].size() <= kMaxAgentNameLength) entries.push_back({kFirstAgentCommand + int(i), names[i]});
  return entries;
}

std::string AgentForCommand(const std::vector<std::string>& names, int command) {
  const int index = command - kFirstAgentCommand;
  if (index < 0 || index >= kMaxAgentEntries || std::size_t(index) >= names.size()) return {};
  const std::string& name = names[std::size_t(index)];
  return name.size() <= kMaxAgentNameLength ? name : std::string();
}

QString FrameMessage(FrameText id) {
  static constexpr std::pair<FrameText, const char*> kTexts[] = {
      {kTextPluginModeAdd, texts::kPluginModeAdd},
      {kTextNoData, texts::kNoPageData},
      {kTextLocalFile, texts::kLocalFiles},
      {kTextPageAdded, texts::kPageAdded},
      {kTextCaption, texts::kCaption},
      {kTextNoTemporaryFile, texts::kDiskFull},
      {kTextLoadWhileRunning, texts::kCannotLoadWhileRunning},
      {kTextModifyWhileRunning, texts::kCannotModifyWhileRunning},
      {kTextQuitWhileRunning, texts::kStillRunning},
  };
  for (const auto& [number, text] : kTexts) {
    // Qt breaks lines at "\n" alone; a "\r" before it would show.
    if (number == id) return QString::fromLatin1(text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
  }
  return {};
}

int AddPageRefusal(const QString& url) {
  if (url.isEmpty()) return kTextNoData;
  // A drive letter, a file address, or here also an absolute path: the
  // browser shows those itself and the agent could not fetch them.
  if ((url.size() > 1 && url[1] == QLatin1Char(':')) || url.startsWith(QLatin1String("file:"), Qt::CaseInsensitive) ||
      url.startsWith(QLatin1Char('/')))
    return kTextLocalFile;
  return 0;
}

QString AddedPageMessage(const QString& title, const QString& url, const QString& agentName) {
  // Filled in one pass so that a "%s" inside a title stays as it is.
  const QString pattern = FrameMessage(kTextPageAdded);
  const QString parts[] = {title, url, agentName};
  QString text;
  std::size_t next = 0;
  for (qsizetype i = 0; i < pattern.size(); ++i) {
    if (next < std::size(parts) && pattern[i] == QLatin1Char('%') && i + 1 < pattern.size() &&
        pattern[i + 1] == QLatin1Char('s')) {
      text += parts[next++];
      ++i;
    } else {
      text += pattern[i];
    }
  }
  return text;
}

}  // namespace hvui
