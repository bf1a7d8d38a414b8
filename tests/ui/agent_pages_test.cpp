// The agent's pages and a location's page, driven through their widgets in
// the details bar: what they show, what they write and when, and what they
// refuse while a run goes on.
#include <sys/stat.h>

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>

#include "harvion/exports.h"
#include "pages/agent_general.h"
#include "pages/item_records.h"
#include "shell/status_texts.h"
#include "shell/tree_item_node.h"
#include "shell/details_bar.h"
#include "support/access_checks.h"
#include "support/child_process.h"
#include "support/run_fixture.h"

namespace {

using hvuitest::Drain;
using hvuitest::FrameTest;
using hvuitest::PageRun;
using hvuitest::WaitFor;
using Page = hvtest::SiteBuilder::Page;

// The frame shown, the item selected and the tab of that title current.
QWidget* ShowTab(hvui::CAgentFrame& frame, QTreeWidgetItem* item, const QString& title) {
  frame.show();
  frame.activateWindow();
  frame.Tree()->setCurrentItem(item);
  hvui::CDetailsBar& bar = *frame.Details();
  bar.ShowNode(hvui::CAgentTreeView::IdOf(item), hvui::CAgentTreeView::ClassOf(item));
  for (int i = 0; i < bar.Tabs()->count(); ++i)
    if (bar.Tabs()->tabText(i) == title) bar.Tabs()->setCurrentIndex(i);
  return bar.Tabs()->currentWidget();
}

template <class Control>
Control* Find(QWidget* page, int id) {
  auto* found = page->findChild<Control*>(QStringLiteral("id_%1").arg(id));
  EXPECT_NE(found, nullptr) << id;
  return found;
}

// Types into the control and moves the focus on, as the user does.
void TypeAndLeave(QWidget* control, const QString& text, QWidget* next) {
  control->setFocus();
  Drain();
  if (auto* line = qobject_cast<QLineEdit*>(control)) {
    line->selectAll();
    QTest::keyClicks(line, text);
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(control)) {
    plain->selectAll();
    const QStringList lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
      if (i > 0) QTest::keyClick(plain, Qt::Key_Return);
      QTest::keyClicks(plain, lines[i]);
    }
  }
  next->setFocus();
  Drain();
}

// With HARVION_PAGE_SHOTS set to a folder, the window is saved there as a picture.
void Shoot(QWidget& window, const char* name) {
  const QByteArray folder = qgetenv("HARVION_PAGE_SHOTS");
  if (folder.isEmpty()) return;
  window.resize(560, 600);
  Drain();
  EXPECT_TRUE(window.grab().save(QString::fromLocal8Bit(folder) + "/" + name, "PNG")) << name;
}

std::string AgentFile(const QString& name) { return GetAgentsDirectory() + "/" + name.toStdString() + ".hvx"; }

// The agent file's identity: a save writes a new file and renames it over
// the old one, so a save that happened changes it.
ino_t Saved(const QString& name) {
  hvui::PluginClient::SaveAgentFile();
  struct stat info {};
  return ::stat(AgentFile(name).c_str(), &info) == 0 ? info.st_ino : 0;
}

hvui::AgentRecord RecordOf(hvui::CAgentFrame& frame, QTreeWidgetItem* item) {
  QByteArray block;
  frame.Tree()->Bridge().WithNode(hvui::CAgentTreeView::IdOf(item),
                                  [&](CSafNode& node) { block = hvui::NodeRecordLocked(node); });
  return hvui::ReadAgentRecord(block).value_or(hvui::AgentRecord{});
}

TEST(AgentGeneral, size_text_groups_thousands) {
  const struct {
    std::uint64_t bytes, files;
    const char* text;
  } cases[] = {
      {0, 0, "0KB for 0 files (0 bytes)"},
      {1023, 1, "0KB for 1 files (1,023 bytes)"},
      {7923328, 937, "7,737KB for 937 files (7,923,328 bytes)"},
      {1000000ULL * 1024 * 1024, 1234567, "1,024,000,000KB for 1,234,567 files (1,048,576,000,000 bytes)"},
  };
  for (const auto& c : cases) EXPECT_EQ(hvui::CAgentGeneral::SizeText(c.bytes, c.files), c.text);
}

TEST_F(FrameTest, the_limit_takes_whole_numbers_up_to_999999_and_is_saved) {
  NewAgent("Limits");
  QWidget* page = ShowTab(*m_frame, Root(), "Agent");
  auto* limit = Find<QLineEdit>(page, 1021);
  auto* clear = Find<QPushButton>(page, 1006);
  EXPECT_EQ(Find<QLabel>(page, 1053)->text().toStdString(), GetAgentsDirectory() + "/Limits");
  EXPECT_TRUE(Find<QLabel>(page, 1052)->text().startsWith("0KB for 1 files (")) << "the placeholder picture";

  const struct {
    const char* typed;
    std::uint32_t kept;
    bool refused;
  } cases[] = {
      {"250", 250, false},   {"1000000", 250, true}, {"-1", 250, true},
      {"12kb", 250, true},   {"999999", 999999, false}, {"0", 0, false},
  };
  for (const auto& c : cases) {
    m_messages.clear();
    TypeAndLeave(limit, c.typed, clear);
    EXPECT_EQ(m_messages.size(), c.refused ? 1 : 0) << c.typed;
    EXPECT_EQ(RecordOf(*m_frame, Root()).sizeLimit, c.kept) << c.typed;
    EXPECT_EQ(limit->text(), QString::number(c.kept)) << c.typed;
  }
  TypeAndLeave(limit, "640", clear);
  const ino_t first = Saved("Limits");
  TypeAndLeave(clear, "", limit);  // leaving without typing writes nothing
  EXPECT_EQ(Saved("Limits"), first);

  hvui::PluginClient::DeleteAgent();
  ASSERT_TRUE(WaitFor([&] { return Root() == nullptr; }));
  ASSERT_EQ(m_frame->OpenAgent("Limits"), 1);
  ASSERT_TRUE(WaitFor([&] { return Root() != nullptr; }));
  EXPECT_EQ(RecordOf(*m_frame, Root()).sizeLimit, 640u) << "read back from the agent file";
}

TEST_F(FrameTest, one_change_of_the_author_texts_is_saved_once) {
  NewAgent("Authored");
  QWidget* page = ShowTab(*m_frame, Root(), "Author");
  auto* author = Find<QLineEdit>(page, 1015);
  auto* organization = Find<QLineEdit>(page, 1004);
  auto* comments = Find<QPlainTextEdit>(page, 1005);
  const ino_t before = Saved("Authored");

  TypeAndLeave(comments, "Walks\nand hikes", author);
  const ino_t afterComments = Saved("Authored");
  EXPECT_NE(afterComments, before);
  TypeAndLeave(organization, "", author);
  organization->setFocus();
  comments->setFocus();
  Drain();
  EXPECT_EQ(Saved("Authored"), afterComments) << "moving on without typing writes nothing";

  TypeAndLeave(author, "Ann", organization);
  TypeAndLeave(organization, "Club", comments);
  Shoot(*m_frame, "page-author.png");
  const hvui::AgentRecord record = RecordOf(*m_frame, Root());
  EXPECT_EQ(record.author, "Ann");
  EXPECT_EQ(record.organization, "Club");
  EXPECT_EQ(record.comments, "Walks\r\nand hikes");

  // Another agent's page, then this one again: filled from the agent.
  m_frame->Details()->ShowNode(0, 0);
  page = ShowTab(*m_frame, Root(), "Author");
  EXPECT_EQ(Find<QPlainTextEdit>(page, 1005)->toPlainText(), "Walks\nand hikes");
}

// The first item below the parent whose address ends so.
QTreeWidgetItem* ItemOf(hvui::CAgentFrame& frame, QTreeWidgetItem* parent, const QString& ending) {
  for (int i = 0; parent && i < parent->childCount(); ++i) {
    QTreeWidgetItem* child = parent->child(i);
    std::string url;
    frame.Tree()->Bridge().WithNode(hvui::CAgentTreeView::IdOf(child),
                                    [&](CSafNode& node) { url = hvui::NodeData(node, itemUrl); });
    if (QString::fromStdString(url).endsWith(ending)) return child;
  }
  return nullptr;
}

// Every tab of an agent and of a location can be found and reached as the
// dialogs can: ids, accessible names, mnemonics and the order of Tab.
TEST_F(PageRun, every_page_s_controls_are_named_and_reachable) {
  NewAgent("Reached");
  AddLocationAt("Site", "http://127.0.0.1:1/");
  for (QTreeWidgetItem* item : {Root(), Child(Root(), "Site")}) {
    ShowTab(*m_frame, item, "");
    QTabWidget* tabs = m_frame->Details()->Tabs();
    for (int i = 0; i < tabs->count(); ++i) {
      tabs->setCurrentIndex(i);
      SCOPED_TRACE(tabs->tabText(i).toStdString());
      QWidget* page = tabs->currentWidget();
      hvuitest::CheckPage(page, page);
      EXPECT_GT(hvuitest::CheckTabOrder(m_frame, page), 1u);
      m_frame->show();
    }
  }
}

TEST_F(PageRun, the_location_page_shows_the_last_answer_and_takes_a_new_address) {
  ASSERT_TRUE(m_site->WritePage("index.html", Page("Club", {"walks.html", "missing.html"})));
  ASSERT_TRUE(m_site->WritePage("walks.html", Page("Walks")));
  Serve();
  NewAgent("Located");
  AddLocation("Club", "index.html");
  AddLocationAt("Down", "http://127.0.0.1:1/");  // nothing listens on port 1 here
  AddLocation("Later", "later.html");
  QWidget* page = ShowTab(*m_frame, Child(Root(), "Later"), "Location");
  EXPECT_EQ(Find<QLabel>(page, 1046)->text(), "N/A") << "never retrieved";
  EXPECT_EQ(Find<QLabel>(page, 1047)->text(), "N/A");
  ASSERT_TRUE(RunToEnd());
  Drain();

  const QString modified = hvui::GmtTimeText(static_cast<std::uint32_t>(m_site->m_tDate));
  const struct {
    QTreeWidgetItem* item;
    QString modified, status;
    bool addressEditable;
  } cases[] = {
      {Child(Root(), "Club"), modified, "OK", true},
      {ItemOf(*m_frame, Child(Root(), "Club"), "/missing.html"), "N/A", "Not Found", false},
      {Child(Root(), "Down"), "N/A", "could not connect (connection refused)", true},  // as a run reports it
  };
  for (const auto& c : cases) {
    ASSERT_NE(c.item, nullptr);
    page = ShowTab(*m_frame, c.item, "Location");
    SCOPED_TRACE(c.status.toStdString());
    EXPECT_EQ(Find<QLabel>(page, 1046)->text(), c.modified);
    EXPECT_EQ(Find<QLabel>(page, 1047)->text(), c.status);
    EXPECT_EQ(Find<QLabel>(page, 1054)->text() != "N/A", c.status == "OK") << "retrieved, a copy stored";
    EXPECT_EQ(!Find<QLineEdit>(page, 1014)->isReadOnly(), c.addressEditable);
  }

  page = ShowTab(*m_frame, Child(Root(), "Club"), "Location");
  Shoot(*m_frame, "page-location.png");
  auto* address = Find<QLineEdit>(page, 1014);
  auto* original = Find<QPushButton>(page, 1048);
  QTest::mouseClick(original, Qt::LeftButton);
  EXPECT_EQ(m_host->shown.last().toStdString(), m_nginx->BaseUrl() + "index.html");

  const QString moved = QString::fromStdString(m_nginx->BaseUrl() + "walks.html");
  TypeAndLeave(address, moved, original);
  const ino_t once = Saved("Located");
  TypeAndLeave(original, "", address);
  TypeAndLeave(address, "", original);
  EXPECT_EQ(Saved("Located"), once) << "tabbing away again writes nothing";
  EXPECT_EQ(address->text(), moved);

  const hvtest::ProgramResult tree = hvtest::RunProgram({HARVION_TOOL, "tree", "Located"}, std::chrono::seconds(30));
  EXPECT_EQ(tree.status, 0) << tree.output;
  EXPECT_NE(tree.output.find("location \"Club\" <" + moved.toStdString() + ">"), std::string::npos) << tree.output;
}

TEST_F(PageRun, a_run_refuses_clear_cache_and_stops_at_a_limit_below_the_size) {
  std::string bulk(60 * 1024, 'x');
  ASSERT_TRUE(m_site->WritePage("index.html", Page("Big", {"bulk.txt"})));
  ASSERT_TRUE(m_site->Write("bulk.txt", bulk));
  hvtest::NginxServer::Options options;
  options.root = m_site->Root();
  options.serverConfig = "limit_rate 8k;";  // a run long enough to act during it
  ASSERT_TRUE(m_nginx->Start(options)) << m_nginx->Messages();
  NewAgent("Sizable");  // a name no other test of this program takes: they share one home
  AddLocation("Big", "index.html");
  QWidget* page = ShowTab(*m_frame, Root(), "Agent");
  auto* clear = Find<QPushButton>(page, 1006);
  auto* limit = Find<QLineEdit>(page, 1021);
  auto* size = Find<QLabel>(page, 1052);

  m_frame->OnCommand(hvui::kCmdStartStop);
  ASSERT_TRUE(m_frame->Running());
  EXPECT_FALSE(clear->isEnabled());
  EXPECT_FALSE(limit->isEnabled());
  ASSERT_TRUE(WaitFor([&] { return !size->text().startsWith("0KB for 0 files"); }))
      << "the statistics refresh the page during the run";
  m_answer = QMessageBox::Yes;
  QMetaObject::invokeMethod(clear, "click");  // even when pressed, no question and no clearing
  Drain();
  EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join("\n").toStdString();
  ASSERT_TRUE(WaitFor([&] { return !m_frame->Running(); }, 60000));
  EXPECT_TRUE(clear->isEnabled());
  const hvui::AgentRecord full = RecordOf(*m_frame, Root());
  ASSERT_GT(full.byteCount, 50u * 1024);
  Shoot(*m_frame, "page-agent.png");

  // A limit below what the agent holds: the next run stops at its first page.
  TypeAndLeave(limit, "10", clear);
  EXPECT_TRUE(m_messages.isEmpty());
  EXPECT_EQ(RecordOf(*m_frame, Root()).sizeLimit, 10u);
  ASSERT_TRUE(RunToEnd());
  EXPECT_TRUE(limit->isEnabled());

  m_answer = QMessageBox::No;
  QTest::mouseClick(clear, Qt::LeftButton);
  ASSERT_EQ(m_messages.size(), 1);
  EXPECT_TRUE(m_messages[0].contains("delete all files from your agent's local cache"));
  EXPECT_GT(RecordOf(*m_frame, Root()).byteCount, 0u);
  m_answer = QMessageBox::Yes;
  QTest::mouseClick(clear, Qt::LeftButton);
  EXPECT_LT(RecordOf(*m_frame, Root()).byteCount, 1024u) << "the stored pages went";
}

TEST_F(PageRun, a_page_that_a_run_removes_while_it_is_shown_leaves_the_details_empty) {
  ASSERT_TRUE(m_site->WritePage("index.html", Page("Hub", {"old.html"})));
  ASSERT_TRUE(m_site->WritePage("old.html", Page("Old")));
  Serve();
  NewAgent("Pruned");
  AddLocation("Hub", "index.html");
  ASSERT_TRUE(RunToEnd());
  QTreeWidgetItem* old = ItemOf(*m_frame, Child(Root(), "Hub"), "/old.html");
  ASSERT_NE(old, nullptr);
  const std::uint64_t oldId = hvui::CAgentTreeView::IdOf(old);
  QWidget* page = ShowTab(*m_frame, old, "Location");
  ASSERT_EQ(m_frame->Details()->NodeId(), oldId);
  QPointer<QLineEdit> address = Find<QLineEdit>(page, 1014);
  ASSERT_NE(address, nullptr);

  // An index without the link, dated after the stored copy (an earlier date
  // would not count as a change): the next run takes the page away.
  m_site->m_tDate = std::time(nullptr) + 2;
  ASSERT_TRUE(m_site->WritePage("index.html", Page("Hub", {})));
  ASSERT_TRUE(RunToEnd());
  EXPECT_TRUE(WaitFor([&] { return ItemOf(*m_frame, Child(Root(), "Hub"), "/old.html") == nullptr; }))
      << m_frame->statusBar()->currentMessage().toStdString();
  EXPECT_NE(m_frame->Details()->NodeId(), oldId) << "the bar forgot the page";
  // The page's address field, should it still be there, reaches nothing.
  if (address && address->isVisible()) TypeAndLeave(address, "http://elsewhere.invalid/", m_frame->Tree());
  EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join("\n").toStdString();
  const hvtest::ProgramResult tree = hvtest::RunProgram({HARVION_TOOL, "tree", "Pruned"}, std::chrono::seconds(30));
  EXPECT_EQ(tree.output.find("elsewhere"), std::string::npos) << tree.output;
}

}  // namespace
