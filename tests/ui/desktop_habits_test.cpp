// What a user of a desktop program takes for granted, tried as one would:
// renaming by mouse, new folders named where they show, deletes that ask,
// the window's title, About, and the first start.
#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>

#include "harvion/saf_node.h"
#include "shell/details_bar.h"
#include "shell/plugin_client.h"
#include "shell/splash_window.h"
#include "support/frame_fixture.h"

namespace {

using hvui::CAgentTreeView;
using hvuitest::Drain;
using hvuitest::FrameTest;
using hvuitest::WaitFor;

class DesktopHabits : public FrameTest {
 protected:
  // Locations named "Page N" at the folder's item.
  void AddPages(QTreeWidgetItem* folder, int count) {
    const int before = folder->childCount();
    Tree().Bridge().WithNode(CAgentTreeView::IdOf(folder), [&](CSafNode& node) {
      for (int i = 0; i < count; ++i) {
        const std::string name = "Page " + std::to_string(i);
        const std::string url = "http://h.example/" + std::to_string(i);
        hvui::PluginClient::CreateHTMLNode(&node, name.c_str(), url.c_str(), 0);
      }
    });
    ASSERT_TRUE(WaitFor([&] { return folder->childCount() == before + count; }));
  }
  QWidget* Editor() const { return Tree().indexWidget(Tree().currentIndex()); }
  // Whether a label edit begins within the time a slow double click takes.
  bool EditBegins() {
    WaitFor([&] { return Tree().Editing(); }, 2 * QApplication::doubleClickInterval() + 200);
    const bool editing = Tree().Editing();
    Tree().EndEditing();
    return editing;
  }
};

TEST_F(DesktopHabits, only_f2_or_a_slow_double_click_renames_an_item) {
  NewAgent("Clicks");
  AddPages(Root(), 2);
  m_frame->show();
  QWidget* view = Tree().viewport();
  const auto at = [&](int row) { return Tree().visualItemRect(Root()->child(row)).center(); };
  // QTest stamps each press half a second after the last release, plus the
  // delay: a second click at delay 0 is a slow one, at 1200 too slow.
  const struct {
    const char* what;
    std::function<void()> clicks;
    bool renames;
  } cases[] = {
      {"one click on the selected item", [&] { QTest::mouseClick(view, Qt::LeftButton, {}, at(0)); }, false},
      {"a slow second click", [&] {
         QTest::mouseClick(view, Qt::LeftButton, {}, at(0));
         QTest::mouseClick(view, Qt::LeftButton, {}, at(0));
       }, true},
      {"a second click too late", [&] {
         QTest::mouseClick(view, Qt::LeftButton, {}, at(0));
         QTest::mouseClick(view, Qt::LeftButton, {}, at(0), 1200);
       }, false},
      {"a second click on another item", [&] {
         QTest::mouseClick(view, Qt::LeftButton, {}, at(0));
         QTest::mouseClick(view, Qt::LeftButton, {}, at(1));
       }, false},
      {"a double click after a click", [&] {
         QTest::mouseClick(view, Qt::LeftButton, {}, at(0));
         QTest::mouseClick(view, Qt::LeftButton, {}, at(0));
         QTest::mouseDClick(view, Qt::LeftButton, {}, at(0));
         QTest::mouseRelease(view, Qt::LeftButton, {}, at(0));
       }, false},
      {"F2", [&] { QTest::keyClick(&Tree(), Qt::Key_F2); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Tree().SelectQuietly(Root()->child(0));
    QTest::mouseClick(view, Qt::LeftButton, {}, at(1), 1200);  // an old click elsewhere
    Tree().SelectQuietly(Root()->child(0));
    c.clicks();
    EXPECT_EQ(EditBegins(), c.renames);
  }
}

TEST_F(DesktopHabits, a_new_folder_is_named_where_the_user_sees_it) {
  NewAgent("Folders");
  m_frame->OnCommand(hvui::kCmdNewFolder);
  ASSERT_TRUE(WaitFor([&] { return Tree().Editing(); }));
  Tree().EndEditing();
  QTreeWidgetItem* shut = Child(Root(), "New Folder");
  ASSERT_NE(shut, nullptr);
  AddPages(shut, 3);
  AddPages(Root(), 80);
  m_frame->resize(400, 500);
  m_frame->show();
  const struct {
    const char* what;
    QTreeWidgetItem* selected;  // the new folder goes into its folder
  } cases[] = {
      {"at the top, seen from the bottom", Root()->child(Root()->childCount() - 1)},
      {"in a folder shut", shut},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    shut->setExpanded(false);
    Tree().SelectQuietly(c.selected);
    m_frame->OnCommand(hvui::kCmdNewFolder);
    ASSERT_TRUE(WaitFor([&] { return Tree().Editing(); }));
    Drain();
    QWidget* editor = Editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_TRUE(Tree().viewport()->rect().contains(editor->geometry())) << "the editor is in view";
    Tree().EndEditing();
  }
  EXPECT_EQ(shut->childCount(), 4);
}

TEST_F(DesktopHabits, delete_asks_before_an_item_goes) {
  NewAgent("Careful");
  m_frame->OnCommand(hvui::kCmdNewFolder);
  ASSERT_TRUE(WaitFor([&] { return Tree().Editing(); }));
  Tree().EndEditing();
  QTreeWidgetItem* folder = Child(Root(), "New Folder");
  AddPages(folder, 2);
  AddPages(Root(), 1);
  const struct {
    const char* name;
    QMessageBox::StandardButton answer;
    bool gone;
    bool withContents;
  } cases[] = {
      {"New Folder", QMessageBox::No, false, true},
      {"Page 0", QMessageBox::No, false, false},
      {"Page 0", QMessageBox::Yes, true, false},
      {"New Folder", QMessageBox::Yes, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (c.gone ? " yes" : " no"));
    m_messages.clear();
    m_answer = c.answer;
    Tree().setCurrentItem(Child(Root(), c.name));
    m_frame->OnCommand(hvui::kCmdDelete);
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].contains(QString("Delete \"%1\"").arg(c.name))) << m_messages[0].toStdString();
    EXPECT_EQ(m_messages[0].contains("Everything in it"), c.withContents);
    Drain();
    EXPECT_EQ(Child(Root(), c.name) == nullptr, c.gone);
  }
}

TEST_F(DesktopHabits, the_title_names_the_open_agent_whatever_page_opened) {
  NewAgent("Titled");
  EXPECT_EQ(m_frame->windowTitle(), QString("Titled \u2014 Harvion"));
  m_main->OpenInBrowser("http://h.example/a-long/page.html");
  EXPECT_EQ(m_frame->windowTitle(), QString("Titled \u2014 Harvion"));
  TypeLabel(Root(), "Retitled");
  Drain();
  EXPECT_EQ(m_frame->windowTitle(), QString("Retitled \u2014 Harvion"));
}

TEST_F(DesktopHabits, about_shows_the_version_and_a_first_start_offers_help_beside_the_details) {
  m_frame->OnCommand(hvui::kCmdAbout);
  ASSERT_NE(hvui::CSplashWindow::Current(), nullptr);
  EXPECT_TRUE(hvui::CSplashWindow::Current()->accessibleDescription().contains(
      QRegularExpression("^Version [0-9]+\\.[0-9]+")));
  hvui::CSplashWindow::Current()->close();

  m_frame->OpenAgent(QString());  // as a first start does: the Startup Agent, made with its help pages
  ASSERT_TRUE(WaitFor([&] { return Root() != nullptr; }));
  m_frame->show();
  Drain();
  EXPECT_GE(m_frame->width(), 560);
  EXPECT_TRUE(m_frame->Details()->isVisible());
  EXPECT_GE(m_frame->Details()->height(), 200) << "room for a property page";
  m_frame->OfferHelp();
  const QPointer<QLabel> offer = m_frame->statusBar()->findChild<QLabel*>("helpOffer");
  ASSERT_NE(offer, nullptr);
  emit offer->linkActivated("help");
  Drain();
  ASSERT_FALSE(m_host->shown.isEmpty()) << m_messages.join("\n").toStdString();
  EXPECT_EQ(QFileInfo(m_host->shown.last()).fileName(), "hvpage.htm");
  EXPECT_TRUE(QFileInfo::exists(m_host->shown.last()));
  EXPECT_TRUE(!offer || !offer->isVisible()) << "offered until taken";
}

}  // namespace
