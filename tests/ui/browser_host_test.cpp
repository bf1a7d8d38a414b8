#include "shell/browser_host.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <optional>

namespace {

using hvui::CDesktopBrowserHost;

// Commands as "program|argument|...", one per line, for readable failures.
std::string Describe(const std::vector<QStringList>& commands) {
  std::string text;
  for (const QStringList& command : commands) text += command.join('|').toStdString() + "\n";
  return text;
}

TEST(DesktopBrowserHost, browser_variable_lists_commands_that_take_the_address_as_one_argument) {
  const QString url = QStringLiteral("http://h/a b?q=%s&r=%%");
  const struct {
    const char* variable;
    std::vector<QStringList> commands;
  } cases[] = {
      {"firefox", {{"firefox", url}}},
      {"firefox --new-tab %s", {{"firefox", "--new-tab", url}}},
      {"firefox --url=%s --x", {{"firefox", "--url=" + url, "--x"}}},
      {"echo 100%% %c", {{"echo", "100%", ":", url}}},
      {"'/opt/my browser/run' %s", {{"/opt/my browser/run", url}}},
      {"/opt/my\\ browser/run \"--title=a \\\"b\\\"\" %s", {{"/opt/my browser/run", "--title=a \"b\"", url}}},
      {"missing:lynx %s::w3m", {{"missing", url}, {"lynx", url}, {"w3m", url}}},
      {"", {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Describe(CDesktopBrowserHost::BrowserCommands(QString::fromUtf8(c.variable), url)), Describe(c.commands))
        << c.variable;
}

// Restores $BROWSER after a test.
class BrowserVariable {
 public:
  BrowserVariable() : m_had(qEnvironmentVariableIsSet("BROWSER")), m_old(qgetenv("BROWSER")) {}
  ~BrowserVariable() { m_had ? qputenv("BROWSER", m_old) : qunsetenv("BROWSER"); }
  void Set(const QString& value) { qputenv("BROWSER", value.toUtf8()); }

 private:
  bool m_had;
  QByteArray m_old;
};

// A stand-in browser: a script that writes its arguments, each ended by a
// zero, into a pipe the test reads, so the test waits for exactly that.
class FakeBrowser {
 public:
  FakeBrowser(const QString& dir, const QString& name) : m_script(dir + "/" + name), m_pipe(m_script + ".pipe") {
    mkfifo(m_pipe.toLocal8Bit().constData(), 0600);
    QFile script(m_script);
    script.open(QIODevice::WriteOnly);
    script.write("#!/bin/sh\nprintf '%s\\0' \"$@\" > '" + m_pipe.toLocal8Bit() + "'\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Open before the browser starts: its writer then never blocks.
    m_fd = open(m_pipe.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  }
  ~FakeBrowser() {
    if (m_fd >= 0) close(m_fd);
  }
  const QString& Path() const { return m_script; }

  // The arguments the script was started with, once it has ended.
  std::optional<QStringList> Arguments() {
    QByteArray bytes;
    for (;;) {
      pollfd entry{m_fd, POLLIN, 0};
      if (poll(&entry, 1, 20000) <= 0) return std::nullopt;
      char buffer[4096];
      const ssize_t n = read(m_fd, buffer, sizeof buffer);
      if (n > 0) bytes.append(buffer, n);
      if (n == 0) break;
    }
    QStringList arguments;
    for (const QByteArray& part : bytes.split('\0')) arguments << QString::fromUtf8(part);
    arguments.removeLast();  // after the last zero
    return arguments;
  }

 private:
  QString m_script;
  QString m_pipe;
  int m_fd = -1;
};

TEST(DesktopBrowserHost, opened_address_reaches_the_browser_unchanged_and_becomes_the_current_page) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  BrowserVariable variable;
  const struct {
    const char* variable;  // BROWSER is this with the script's path for "@"
    const char* address;
    QStringList arguments;  // "=" stands for the address
  } cases[] = {
      {"@", "http://h/a b/page.html?x=1&y=$HOME;`id`|'\"", {"="}},
      {"@ --new %s", "/tmp/my pages/frameset 1.htm", {"--new", "="}},
      {"/nonexistent/browser:@", "https://h/%s%%", {"="}},
  };
  int n = 0;
  for (const auto& c : cases) {
    FakeBrowser browser(dir.path(), QStringLiteral("browser%1").arg(n++));
    variable.Set(QString::fromUtf8(c.variable).replace("@", browser.Path()));
    const QString address = QString::fromUtf8(c.address);
    QStringList expected = c.arguments;
    expected.replaceInStrings(QRegularExpression("^=$"), address);

    CDesktopBrowserHost host;
    host.SetCurrentPage("http://old/", "Old");
    ASSERT_TRUE(host.Navigate(address)) << c.variable;
    EXPECT_EQ(browser.Arguments(), std::optional<QStringList>(expected)) << c.variable;
    EXPECT_EQ(host.CurrentLocation(), address);
    EXPECT_EQ(host.CurrentPageTitle(), "");
  }

  // A browser that cannot start leaves the current page as it was.
  variable.Set("/nonexistent/one:/nonexistent/two %s");
  CDesktopBrowserHost host;
  host.SetCurrentPage("http://old/", "Old");
  EXPECT_FALSE(host.Navigate("http://new/"));
  EXPECT_EQ(host.CurrentLocation(), "http://old/");
  EXPECT_EQ(host.CurrentPageTitle(), "Old");
}

TEST(DesktopBrowserHost, agent_list_is_the_sorted_agent_files_of_the_folder) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (const char* file : {"b.hvx", "a.hvx", "A.hvx", "two words.hvx", "notes.txt", ".b.hvx.lock", ".hvx", "c.HVX"}) {
    QFile f(dir.filePath(file));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  ASSERT_TRUE(QDir(dir.path()).mkdir("folder.hvx"));
  const std::vector<std::string> expected = {"A", "a", "b", "two words"};
  EXPECT_EQ(hvui::AgentNamesInFolder(dir.path().toStdString()), expected);
  EXPECT_TRUE(hvui::AgentNamesInFolder(dir.filePath("missing").toStdString()).empty());
}

}  // namespace
