#include "shell/browser_host.h"

#include <QProcess>

#include <algorithm>
#include <filesystem>
#include <string_view>

#include "harvion/exports.h"

namespace hvui {

namespace {

// One argument of a $BROWSER command with its escapes filled in, in one pass
// so that nothing in the address is read as an escape.
QString FillArgument(const QString& argument, const QString& address, bool& usedAddress) {
  QString filled;
  for (qsizetype i = 0; i < argument.size(); ++i) {
    const QChar c = argument[i];
    const QChar next = i + 1 < argument.size() ? argument[i + 1] : QChar();
    if (c == QLatin1Char('%') && next == QLatin1Char('s')) {
      filled += address;
      usedAddress = true;
    } else if (c == QLatin1Char('%') && next == QLatin1Char('%')) {
      filled += QLatin1Char('%');
    } else if (c == QLatin1Char('%') && next == QLatin1Char('c')) {
      filled += QLatin1Char(':');
    } else {
      filled += c;
      continue;
    }
    ++i;
  }
  return filled;
}

// A command's words as a shell would split them, quotes and backslashes
// included, without running one: paths with blanks are usually quoted.
QStringList SplitWords(const QString& command) {
  QStringList words;
  QString word;
  bool inWord = false;
  QChar quote;
  for (qsizetype i = 0; i < command.size(); ++i) {
    const QChar c = command[i];
    if (quote == QLatin1Char('\'')) {
      if (c == quote) quote = QChar();
      else word += c;
    } else if (quote == QLatin1Char('"')) {
      if (c == quote) {
        quote = QChar();
      } else if (c == QLatin1Char('\\') && i + 1 < command.size() && QStringLiteral("\"\\$`").contains(command[i + 1])) {
        word += command[++i];
      } else {
        word += c;
      }
    } else if (c.isSpace()) {
      if (inWord) words << word;
      word.clear();
      inWord = false;
    } else {
      inWord = true;
      if (c == QLatin1Char('\'') || c == QLatin1Char('"')) quote = c;
      else if (c == QLatin1Char('\\') && i + 1 < command.size()) word += command[++i];
      else word += c;
    }
  }
  if (inWord) words << word;
  return words;
}

}  // namespace

std::vector<QStringList> CDesktopBrowserHost::BrowserCommands(const QString& browserVariable,
                                                              const QString& address) {
  std::vector<QStringList> commands;
  for (const QString& command : browserVariable.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
    const QStringList words = SplitWords(command);
    if (words.isEmpty()) continue;
    QStringList filled;
    bool usedAddress = false;
    for (const QString& word : words) filled << FillArgument(word, address, usedAddress);
    if (!usedAddress) filled << address;
    commands.push_back(filled);
  }
  return commands;
}

bool CDesktopBrowserHost::Navigate(const QString& urlOrPath) {
  const QString browser = qEnvironmentVariable("BROWSER");
  // The user's own choice is not second-guessed: when none of its commands
  // starts, the caller hears so rather than some other program opening.
  std::vector<QStringList> commands = BrowserCommands(browser, urlOrPath);
  if (browser.trimmed().isEmpty()) commands = {QStringList{QStringLiteral("xdg-open"), urlOrPath}};
  for (const QStringList& command : commands) {
    if (QProcess::startDetached(command.first(), command.mid(1))) {
      SetCurrentPage(urlOrPath, QString());
      return true;
    }
  }
  return false;
}

std::vector<std::string> CDesktopBrowserHost::AgentListEntries() const {
  return AgentNamesInFolder(GetAgentsDirectory());
}

void CDesktopBrowserHost::SetCurrentPage(const QString& location, const QString& title) {
  m_location = location;
  m_title = title;
}

std::vector<std::string> AgentNamesInFolder(const std::string& folder) {
  namespace fs = std::filesystem;
  constexpr std::string_view kExtension = ".hvx";
  std::vector<std::string> names;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    const std::string file = entry.path().filename().native();
    if (file.size() <= kExtension.size() || !file.ends_with(kExtension) || !entry.is_regular_file(error)) continue;
    names.push_back(file.substr(0, file.size() - kExtension.size()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace hvui
