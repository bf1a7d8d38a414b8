// What the desktop program does after a run that found changes: the
// contents page, a notification on the desktop (to a notification server
// of the test's own, on a bus of its own) that opens the report when
// clicked, and Show Changes, which opens the report at the page.
#include <QApplication>
#include <QContextMenuEvent>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QFile>
#include <QMenu>
#include <QTimer>
#include <QUrl>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

#include "change_anchor.h"
#include "desktop_notice.h"
#include "harvion/exports.h"
#include "shell/desktop_notifier.h"
#include "shell/tree_images.h"
#include "support/child_process.h"
#include "support/run_fixture.h"

namespace {

using hvuitest::Drain;
using hvuitest::WaitFor;
using Page = hvtest::SiteBuilder::Page;

// org.freedesktop.Notifications as a desktop offers it, keeping the
// arguments of each Notify.
class FakeNotifications : public QDBusVirtualObject {
 public:
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    // What a client may ask first.
    if (message.member() == QLatin1String("GetCapabilities"))
      return connection.send(message.createReply(QStringList{"actions", "body"}));
    if (message.member() == QLatin1String("GetServerInformation"))
      return connection.send(message.createReply(QVariantList{"Fake", "Harvion tests", "1", "1.2"}));
    if (message.member() != QLatin1String("Notify")) return false;
    calls.append(message.arguments());
    connection.send(message.createReply(QVariant::fromValue(41u + static_cast<uint>(calls.size()))));
    return true;
  }
  QList<QVariantList> calls;
};

class ChangeNotice : public hvuitest::PageRun {
 protected:
  void TearDown() override {
    QDBusConnection::disconnectFromBus(QStringLiteral("notices-server"));
    QDBusConnection::disconnectFromBus(QStringLiteral("notices-client"));
    if (m_bus > 0 && ::kill(m_bus, SIGTERM) == 0) ::waitpid(m_bus, nullptr, 0);
    hvuitest::PageRun::TearDown();
  }
  // A bus of the test's own, with the fake server on it; its address.
  QString StartBus() {
    const std::string out = m_nginx->Path("bus.txt");
    std::string program =
        hvtest::RunProgram({"/bin/sh", "-c", "command -v dbus-daemon"}, std::chrono::seconds(5)).output;
    while (!program.empty() && program.back() == '\n') program.pop_back();
    m_bus = hvtest::Spawn({program, "--session", "--nofork", "--print-address=1"}, {out, "", {}});
    std::string address;
    WaitFor([&] {
      std::ifstream in(out);
      return std::getline(in, address) && !address.empty();
    });
    return QString::fromStdString(address);
  }
  std::string Folder() const { return GetAgentsDirectory() + "/" + m_frame->AgentName().toStdString(); }

  pid_t m_bus = -1;
};

TEST_F(ChangeNotice, a_run_with_changes_writes_the_contents_and_notifies_the_desktop) {
  if (hvtest::RunProgram({"/bin/sh", "-c", "command -v dbus-daemon"}, std::chrono::seconds(5)).status != 0)
    GTEST_SKIP() << "dbus-daemon is not installed";
  ASSERT_TRUE(m_site->WritePage("index.html", Page("Club", {"walks.html"})));
  ASSERT_TRUE(m_site->WritePage("walks.html", Page("Walks")));
  Serve();
  const QString address = StartBus();
  ASSERT_FALSE(address.isEmpty());
  QDBusConnection server = QDBusConnection::connectToBus(address, QStringLiteral("notices-server"));
  FakeNotifications fake;
  ASSERT_TRUE(server.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &fake));
  ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.Notifications")));
  QList<QUrl> opened;
  m_frame->Notifier()->SetConnection(QDBusConnection::connectToBus(address, QStringLiteral("notices-client")));
  m_frame->Notifier()->SetOpener([&](const QUrl& url) { opened << url; });

  NewAgent("Notified Club");
  AddLocation("Club", "index.html");
  ASSERT_TRUE(RunToEnd());
  ASSERT_TRUE(WaitFor([&] { return !fake.calls.isEmpty(); }));
  const QVariantList& call = fake.calls.first();
  ASSERT_EQ(call.size(), 8);
  EXPECT_EQ(call[0].toString(), "Harvion");
  EXPECT_EQ(call[3].toString(), "Harvion: Notified Club changed");
  EXPECT_EQ(call[4].toString(), "2 new, 0 modified, 0 gone, 0 failed");
  EXPECT_EQ(call[5].toStringList().value(0), "default");
  EXPECT_TRUE(QFile::exists(QString::fromStdString(Folder() + "/contents.html")));

  // A click on it opens the report.
  QDBusMessage click = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                  QStringLiteral("org.freedesktop.Notifications"),
                                                  QStringLiteral("ActionInvoked"));
  click << 42u << QStringLiteral("default");
  ASSERT_TRUE(server.send(click));
  ASSERT_TRUE(WaitFor([&] { return !opened.isEmpty(); }));
  EXPECT_EQ(opened.first(), QUrl::fromLocalFile(QString::fromStdString(Folder() + "/changes.html")));

  // A run that finds nothing new tells nobody.
  ASSERT_TRUE(RunToEnd());
  Drain();
  EXPECT_EQ(fake.calls.size(), 1);
}

// hvscan's way: notify-send, and xdg-open (the test's own) for the click.
TEST_F(ChangeNotice, notify_send_shows_the_counts_and_a_click_opens_the_report) {
  for (const char* program : {"dbus-daemon", "notify-send"}) {
    if (hvtest::RunProgram({"/bin/sh", "-c", std::string("command -v ") + program}, std::chrono::seconds(5)).status)
      GTEST_SKIP() << program << " is not installed";
  }
  const QString address = StartBus();
  ASSERT_FALSE(address.isEmpty());
  QDBusConnection server = QDBusConnection::connectToBus(address, QStringLiteral("notices-server"));
  FakeNotifications fake;
  ASSERT_TRUE(server.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &fake));
  ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.Notifications")));
  const std::string bin = m_nginx->Path("bin"), opened = m_nginx->Path("opened.txt");
  std::filesystem::create_directories(bin);
  std::ofstream(bin + "/xdg-open") << "#!/bin/sh\nprintf '%s\\n' \"$@\" >'" << opened << "'\n";
  std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const std::string oldBus = bus ? bus : "";
  ::setenv("PATH", (bin + ":" + path).c_str(), 1);
  ::setenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8().constData(), 1);

  harvion::ChangeNotice notice;
  notice.agent = "Club \"$(x)\"";
  notice.added = 1, notice.modified = 2;
  notice.report = "/srv/agents/Club/changes.html";
  const bool sent = harvion::SendDesktopNotice(notice);
  ::setenv("PATH", path.c_str(), 1);
  if (bus) ::setenv("DBUS_SESSION_BUS_ADDRESS", oldBus.c_str(), 1);
  else ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
  ASSERT_TRUE(sent);
  ASSERT_TRUE(WaitFor([&] { return !fake.calls.isEmpty(); }));
  const QVariantList& call = fake.calls.first();
  ASSERT_EQ(call.size(), 8);
  EXPECT_EQ(call[0].toString(), "Harvion");
  EXPECT_EQ(call[3].toString(), "Harvion: Club \"$(x)\" changed");
  EXPECT_EQ(call[4].toString(), "1 new, 2 modified, 0 gone, 0 failed");
  EXPECT_EQ(call[5].toStringList().value(0), "default");

  QDBusMessage click = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                  QStringLiteral("org.freedesktop.Notifications"),
                                                  QStringLiteral("ActionInvoked"));
  click << 42u << QStringLiteral("default");
  ASSERT_TRUE(server.send(click));
  // As a desktop does, the notification closes after its action.
  QDBusMessage closed = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                   QStringLiteral("org.freedesktop.Notifications"),
                                                   QStringLiteral("NotificationClosed"));
  closed << 42u << 2u;
  ASSERT_TRUE(server.send(closed));
  std::string shown;
  EXPECT_TRUE(WaitFor([&] {
    std::ifstream in(opened);
    return std::getline(in, shown) && !shown.empty();
  }));
  EXPECT_EQ(shown, notice.report);
}

TEST_F(ChangeNotice, show_changes_opens_the_report_at_the_page_once_there_is_one) {
  ASSERT_TRUE(m_site->WritePage("index.html", Page("Club", {"walks.html"})));
  ASSERT_TRUE(m_site->WritePage("walks.html", Page("Walks")));
  Serve();
  NewAgent("Shown Changes");
  AddLocation("Club", "index.html");
  ASSERT_TRUE(RunToEnd());
  Drain();
  QTreeWidgetItem* club = Child(Root(), "Club");
  ASSERT_NE(club, nullptr);
  ASSERT_EQ(Image(club), hvui::kImagePageStoredNew);
  const std::string report = Folder() + "/changes.html";
  // Without a report there is nothing to show.
  std::remove(report.c_str());
  Tree().setCurrentItem(Root());
  const qsizetype before = m_host->shown.size();
  m_frame->OnCommand(hvui::kCmdShowChanges);
  EXPECT_EQ(m_host->shown.size(), before);

  std::ofstream(report) << "<html></html>";
  const QString url = QUrl::fromLocalFile(QString::fromStdString(report)).toString(QUrl::FullyEncoded);
  Tree().setCurrentItem(Root());
  m_frame->OnCommand(hvui::kCmdShowChanges);
  EXPECT_EQ(m_host->shown.value(before), url);
  // From the keyboard: the menu key (a context menu asked for by the
  // keyboard) opens the current item's menu, where the mnemonic reaches it.
  Tree().setFocus();
  Tree().setCurrentItem(club);
  bool offered = false;
  QTimer::singleShot(0, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QAction* action = m_frame->Action(hvui::kCmdShowChanges);
    offered = menu->actions().contains(action) && action->isEnabled() && action->text() == "Show C&hanges";
    QTest::keyClick(menu, Qt::Key_H);
  });
  QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(1, 1), Tree().viewport()->mapToGlobal(QPoint(1, 1)));
  QApplication::sendEvent(Tree().viewport(), &menuKey);
  Drain();
  EXPECT_TRUE(offered);
  EXPECT_EQ(m_host->shown.value(before + 1),
            url + "#" + QString::fromStdString(harvion::ChangeAnchor(m_nginx->BaseUrl() + "index.html")));
}

}  // namespace
