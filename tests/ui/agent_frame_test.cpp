// The agent frame's commands and the tree's rules, driven as the user would:
// through the commands, label edits and drops.
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QPixmap>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>

#include "harvion/exports.h"
#include "harvion/saf_node.h"
#include "shell/details_bar.h"
#include "shell/drag_formats.h"
#include "shell/harvion_app.h"
#include "shell/plugin_client.h"
#include "shell/tree_item_node.h"
#include "support/frame_fixture.h"

namespace {

using hvuitest::Drain;
using hvuitest::FrameTest;
using hvuitest::WaitFor;

QStringList TabTitles(const hvui::CDetailsBar& bar) {
  QStringList titles;
  for (int i = 0; i < bar.Tabs()->count(); ++i) titles << bar.Tabs()->tabText(i);
  return titles;
}

TEST_F(FrameTest, folders_searches_and_deletes_act_on_the_target_folder) {
  NewAgent("Commands");
  m_frame->OnCommand(hvui::kCmdNewFolder);
  ASSERT_TRUE(WaitFor([&] { return Child(Root(), "New Folder") != nullptr; }));
  QTreeWidgetItem* folder = Child(Root(), "New Folder");
  Tree().setCurrentItem(folder);
  m_frame->OnCommand(hvui::kCmdNewSearch);  // into the selected folder, edited at once
  ASSERT_TRUE(WaitFor([&] { return folder->childCount() == 1; }));
  Drain();
  EXPECT_TRUE(Tree().Editing());
  Tree().EndEditing();
  EXPECT_EQ(hvui::CAgentTreeView::ClassOf(folder->child(0)), kNodeKindSearchFolder);

  m_frame->OnCommand(hvui::kCmdExpandAll);
  EXPECT_TRUE(folder->isExpanded());
  Tree().setCurrentItem(folder->child(0));
  m_answer = QMessageBox::Yes;
  m_frame->OnCommand(hvui::kCmdDelete);
  ASSERT_TRUE(WaitFor([&] { return folder->childCount() == 0; }));
  EXPECT_EQ(m_messages.size(), 1) << m_messages.join("\n").toStdString();
}

TEST_F(FrameTest, current_page_takes_the_agent_views_address_before_the_page_opened_last) {
  NewAgent("Browsed");
  m_frame->SetCurrentPage("http://opened.example/last.html");
  m_host->statusBar = "http://view.example/docs/";
  m_frame->OnCommand(hvui::kCmdCurrentPage);
  ASSERT_TRUE(WaitFor([&] { return Child(Root(), "docs/") != nullptr; }));
  m_host->statusBar.clear();
  m_frame->OnCommand(hvui::kCmdCurrentPage);
  ASSERT_TRUE(WaitFor([&] { return Child(Root(), "last.html") != nullptr; }));
  EXPECT_EQ(Root()->childCount(), 2);
  EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join("\n").toStdString();
}

TEST_F(FrameTest, deleting_the_agent_asks_first_and_no_changes_nothing) {
  NewAgent("Doomed");
  const QString file = QString::fromStdString(GetAgentsDirectory()) + "/Doomed.hvx";
  Tree().setCurrentItem(Root());
  m_answer = QMessageBox::No;
  m_frame->OnCommand(hvui::kCmdDelete);
  ASSERT_EQ(m_messages.size(), 1);
  EXPECT_TRUE(m_messages[0].contains("This will delete your agent")) << m_messages[0].toStdString();
  Drain();
  EXPECT_EQ(m_frame->AgentName(), "Doomed");
  EXPECT_TRUE(QFile::exists(file));

  m_answer = QMessageBox::Yes;
  m_frame->OnCommand(hvui::kCmdDelete);
  ASSERT_TRUE(WaitFor([&] { return m_frame->AgentName() != "Doomed" && Root(); }));
  EXPECT_FALSE(QFile::exists(file));
}

TEST_F(FrameTest, label_edits_follow_the_name_rules_and_a_refused_name_returns) {
  NewAgent("Renamed");
  NewAgent("Other");
  m_frame->OnCommand(hvui::kCmdNewFolder);
  ASSERT_TRUE(WaitFor([&] { return Child(Root(), "New Folder") != nullptr; }));
  const struct {
    bool root;
    const char* typed;
    bool taken;
  } cases[] = {
      {true, "With/Slash", false}, {true, "Renamed", false},  // another agent has it
      {true, "Star*", false},      {false, " x", false},      {false, "x ", false},
      {true, "Mine", true},        {false, "Walks", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    m_messages.clear();
    QTreeWidgetItem* item = c.root ? Root() : Root()->child(0);
    const QString before = item->text(0);
    TypeLabel(item, c.typed);
    Tree().EndEditing();  // the edit begun again after a refusal
    if (c.taken) {
      EXPECT_EQ(item->text(0), c.typed);
      EXPECT_TRUE(m_messages.isEmpty());
    } else {
      EXPECT_EQ(item->text(0), before);
      ASSERT_EQ(m_messages.size(), 1);
      EXPECT_TRUE(m_messages[0].endsWith("This is not a valid name.")) << m_messages[0].toStdString();
    }
  }
  EXPECT_EQ(m_frame->AgentName(), "Mine");
  EXPECT_TRUE(QFile::exists(QString::fromStdString(GetAgentsDirectory()) + "/Mine.hvx"));
}

TEST_F(FrameTest, pictures_tooltips_and_fonts_leave_names_alone_and_only_an_ended_edit_renames) {
  NewAgent("Names");
  const auto id = [](QTreeWidgetItem* item) { return hvui::CAgentTreeView::IdOf(item); };
  Tree().Bridge().WithNode(id(Root()), [&](CSafNode& node) {
    hvui::PluginClient::CreateHTMLNode(&node, "Walks", "http://h.example/walks", 0);
  });
  ASSERT_TRUE(WaitFor([&] { return Child(Root(), "Walks") != nullptr; }));
  QTreeWidgetItem* page = Child(Root(), "Walks");
  const auto name = [&](QTreeWidgetItem* item) {
    std::string text;
    Tree().Bridge().WithNode(id(item), [&](CSafNode& node) { text = hvui::NodeData(node, itemName); });
    return text;
  };
  QPixmap red(16, 16);
  red.fill(Qt::red);
  // What a run changes on items whose text may lag behind the node's name
  // (a title just found, not yet shown).
  const std::function<void(QTreeWidgetItem*)> changes[] = {
      [&](QTreeWidgetItem* item) { item->setIcon(0, QIcon(red)); },
      [](QTreeWidgetItem* item) { item->setToolTip(0, "200 OK"); },
      [](QTreeWidgetItem* item) {
        QFont font = item->font(0);
        font.setItalic(!font.italic());
        item->setFont(0, font);
      },
  };
  for (QTreeWidgetItem* item : {page, Root()}) {
    const std::string before = name(item);
    for (const auto& change : changes) {
      {
        const QSignalBlocker quiet(Tree().model());
        item->setText(0, "Behind");
      }
      change(item);
      Drain();
      EXPECT_EQ(name(item), before);
    }
  }
  EXPECT_EQ(m_frame->AgentName(), "Names");
  TypeLabel(page, "Hikes");
  EXPECT_EQ(name(page), "Hikes");
}

TEST_F(FrameTest, the_details_bar_shows_the_tab_set_of_the_kind_selected) {
  NewAgent("Tabs");
  m_frame->OnCommand(hvui::kCmdNewFolder);
  ASSERT_TRUE(WaitFor([&] { return Root()->childCount() == 1; }));
  hvui::CDetailsBar& bar = *m_frame->Details();
  EXPECT_EQ(TabTitles(bar), QStringList{"No Selection"});
  const struct {
    QTreeWidgetItem* item;
    QStringList tabs;
  } cases[] = {
      {Root(), {"Retrieval", "Schedule", "Agent", "Author"}},
      {Root()->child(0), {"Retrieval", "Schedule"}},
  };
  for (const auto& c : cases) {
    bar.ShowNode(hvui::CAgentTreeView::IdOf(c.item), hvui::CAgentTreeView::ClassOf(c.item));
    EXPECT_EQ(TabTitles(bar), c.tabs);
  }
  bar.Tabs()->setCurrentIndex(1);
  bar.ShowNode(hvui::CAgentTreeView::IdOf(Root()->child(0)), kNodeKindFolder);
  EXPECT_EQ(bar.Tabs()->currentIndex(), 1) << "the same kind keeps its tab";
  EXPECT_EQ(hvui::CDetailsBar::TabsFor(kNodeKindPage), (QStringList{"Retrieval", "Schedule", "Location"}));
}

TEST_F(FrameTest, drops_from_outside_add_one_page_and_refuse_two) {
  NewAgent("Drops");
  m_frame->show();
  const auto drop = [&](QMimeData* data) {
    const QPoint at = Tree().visualItemRect(Root()).center();
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Tree().viewport(), &enter);
    QDragMoveEvent move(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Tree().viewport(), &move);
    QDropEvent event(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Tree().viewport(), &event);
    Drain();
    delete data;
  };
  auto* two = new QMimeData;
  two->setData("text/uri-list", "http://a.example/\r\nhttp://b.example/\r\n");
  drop(two);
  EXPECT_EQ(Root()->childCount(), 0);

  auto* shortcut = new QMimeData;
  shortcut->setData("UniformResourceLocator", QByteArray("http://news.example/", 21));
  QByteArray descriptor(336, '\0');
  descriptor[0] = 1;
  const QByteArray name = "Shortcut to News.url";
  descriptor.replace(4 + 72, name.size(), name);
  shortcut->setData("FileGroupDescriptor", descriptor);
  const hvui::DropOffer offer = hvui::ReadDrop(shortcut);
  EXPECT_TRUE(offer.acceptable);
  EXPECT_EQ(offer.name, "News");
  EXPECT_EQ(hvui::DropEffect(shortcut, false, true), Qt::CopyAction);
  drop(shortcut);
  ASSERT_TRUE(WaitFor([&] { return Child(Root(), "News") != nullptr; }));

  auto* secure = new QMimeData;
  secure->setData("text/uri-list", "https://secure.example/\r\n");
  drop(secure);
  ASSERT_TRUE(WaitFor([&] { return Child(Root(), "https://secure.example/") != nullptr; }));
}

TEST_F(FrameTest, the_agent_menu_lists_at_most_99_agents_and_opens_the_one_chosen) {
  NewAgent("Listed");
  for (int i = 0; i < 150; ++i) m_host->agents.push_back("Agent " + std::to_string(i));
  m_host->agents[3] = "Listed";
  auto* menu = m_frame->findChild<QMenu*>("menu_agent");
  ASSERT_NE(menu, nullptr);
  emit menu->aboutToShow();
  EXPECT_EQ(menu->actions().size(), 2 + 99);
  NewAgent("Elsewhere");
  m_frame->OnCommand(hvui::kCmdFirstListedAgent + 3);
  ASSERT_TRUE(WaitFor([&] { return m_frame->AgentName() == "Listed"; }));
}

TEST_F(FrameTest, quitting_or_opening_another_agent_during_a_run_is_refused_with_its_message) {
  NewAgent("Busy");
  // A run that waits on a server which never answers.
  m_frame->OnCommand(hvui::kCmdNewFolder);
  ASSERT_TRUE(WaitFor([&] { return Root()->childCount() == 1; }));
  QTreeWidgetItem* folder = Root()->child(0);
  bool added = false;
  Tree().Bridge().WithNode(hvui::CAgentTreeView::IdOf(folder), [&](CSafNode& node) {
    added = hvui::PluginClient::CreateHTMLNode(&node, "slow", "http://192.0.2.1/", 0) != nullptr;
  });
  ASSERT_TRUE(added);
  ASSERT_TRUE(m_frame->StartRun(hvui::CAgentTreeView::IdOf(Root())));
  EXPECT_FALSE(m_main->Quit());
  EXPECT_EQ(m_main->OpenAgent("Elsewhere"), 0);
  m_frame->OnCommand(hvui::kCmdNewAgent);  // the agent menu's way: refused too
  Tree().setCurrentItem(Root());
  m_frame->OnCommand(hvui::kCmdDelete);  // not asked: refused
  EXPECT_EQ(m_frame->AgentName(), "Busy");
  ASSERT_EQ(m_messages.size(), 4);
  EXPECT_EQ(m_messages[2], m_messages[1]);
  EXPECT_TRUE(m_messages[3].contains("can not modify an agent while it is running"));
  EXPECT_TRUE(m_messages[0].endsWith("Your agent is running. Please wait till the agent completes its jiob."));
  EXPECT_TRUE(m_messages[1].contains("while another agent is running"));
  m_frame->OnCommand(hvui::kCmdStartStop);  // stops it
  ASSERT_TRUE(WaitFor([&] { return !m_frame->Running(); }, 60000));
  EXPECT_TRUE(m_frame->statusBar()->currentMessage().startsWith("Run stopped: 0 new,"))
      << m_frame->statusBar()->currentMessage().toStdString();
}

TEST(PluginClientLists, an_empty_schedule_list_leaves_only_manually) {
  EXPECT_EQ(hvui::TakeNameList(nullptr), QStringList{});
  hvui::PluginClient client;
  client.RefreshSchedules();
  ASSERT_FALSE(client.ScheduleNames().isEmpty());
  EXPECT_EQ(client.ScheduleNames().front(), "Manually (not scheduled)");
  EXPECT_EQ(client.ScheduleNames().size(), 6) << "and the five schedules every profile starts with";
}

TEST(HarvionApp, a_second_start_hands_over_and_ends_and_the_window_keeps_its_size) {
  const hvui::StartOptions options = hvui::ParseStartOptions({"hvmain", "--no-splash"});
  {
    hvui::CHarvionApp first;
    ASSERT_TRUE(first.Start(options));
    first.Frame()->AgentFrame()->resize(517, 433);
    hvui::CHarvionApp second;
    EXPECT_FALSE(second.Start(options));
  }
  hvui::CHarvionApp again;
  ASSERT_TRUE(again.Start(options));
  EXPECT_EQ(again.Frame()->AgentFrame()->size(), QSize(517, 433));
  EXPECT_EQ(hvui::ParseStartOptions({"hvmain", "--bogus"}).error, "unknown option --bogus");
  EXPECT_EQ(hvui::ParseStartOptions({"hvmain", "A", "B"}).error, "more than one agent named");
}

}  // namespace
