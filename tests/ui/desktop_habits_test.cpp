// What a user of a desktop program takes for granted, tried as one would:
// renaming by mouse, new folders named in view, deletes that ask, the
// window's title, About and the first start.
#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
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
using hvuitest::WaitFor;

class DesktopHabits : public hvuitest::FrameTest {
 protected:
  // An agent with a folder "New Folder" holding `inFolder` locations, then
  // `atRoot` locations, each named "Page N".
  void Fill(const QString& agent, int inFolder, int atRoot) {
    NewAgent(agent);
    m_frame->OnCommand(hvui::kCmdNewFolder);
    ASSERT_TRUE(WaitFor([&] { return Tree().Editing(); }));
    Tree().EndEditing();
    for (QTreeWidgetItem* at : {Root()->child(0), Root()}) {
      const int count = at == Root() ? atRoot : inFolder, before = at->childCount();
      Tree().Bridge().WithNode(CAgentTreeView::IdOf(at), [&](CSafNode& node) {
        for (int i = 0; i < count; ++i)
          hvui::PluginClient::CreateHTMLNode(&node, ("Page " + std::to_string(i)).c_str(), "http://h.example/", 0);
      });
      ASSERT_TRUE(WaitFor([&] { return at->childCount() == before + count; }));
    }
  }
};

TEST_F(DesktopHabits, only_f2_or_a_slow_double_click_renames_an_item) {
  Fill("Clicks", 0, 2);
  m_frame->show();
  QWidget* view = Tree().viewport();
  // Clicks on rows 1 and 2 ('1', '2'), one 1200 ms late ('L'), a double click
  // ('D'), F2 ('F'). QTest stamps each press half a second after the last
  // release, so two clicks in a row are a slow double click.
  const struct {
    const char* input;
    bool renames;
  } cases[] = {{"1", false}, {"11", true}, {"1L", false}, {"12", false}, {"11D", false}, {"F", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    QTest::mouseClick(view, Qt::LeftButton, {}, Tree().visualItemRect(Root()->child(2)).center(), 1200);
    Tree().SelectQuietly(Root()->child(1));  // already selected
    const QPoint first = Tree().visualItemRect(Root()->child(1)).center();
    for (const char* key = c.input; *key; ++key) {
      if (*key == 'F') QTest::keyClick(&Tree(), Qt::Key_F2);
      if (*key == 'D') QTest::mouseDClick(view, Qt::LeftButton, {}, first);
      if (*key == 'D') QTest::mouseRelease(view, Qt::LeftButton, {}, first);
      if (*key == '1' || *key == 'L') QTest::mouseClick(view, Qt::LeftButton, {}, first, *key == 'L' ? 1200 : 0);
      if (*key == '2') QTest::mouseClick(view, Qt::LeftButton, {}, Tree().visualItemRect(Root()->child(2)).center());
    }
    WaitFor([&] { return Tree().Editing(); }, 2 * QApplication::doubleClickInterval() + 200);
    EXPECT_EQ(Tree().Editing(), c.renames);
    Tree().EndEditing();
  }
}

TEST_F(DesktopHabits, a_new_folder_is_named_in_view_and_delete_asks_first) {
  Fill("Folders", 3, 80);
  QTreeWidgetItem* shut = Root()->child(0);
  m_frame->resize(400, 500);
  m_frame->show();
  // From the bottom of a long list the new folder goes to the top; into a
  // folder shut, it opens.
  for (QTreeWidgetItem* selected : {Root()->child(Root()->childCount() - 1), shut}) {
    shut->setExpanded(false);
    Tree().SelectQuietly(selected);
    m_frame->OnCommand(hvui::kCmdNewFolder);
    ASSERT_TRUE(WaitFor([&] { return Tree().Editing(); }));
    Drain();
    QWidget* editor = Tree().indexWidget(Tree().currentIndex());
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isVisible() && Tree().viewport()->rect().contains(editor->geometry()));
    Tree().EndEditing();
  }
  ASSERT_EQ(shut->childCount(), 4);
  const std::uint64_t shutId = CAgentTreeView::IdOf(shut);

  for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
    m_messages.clear();
    m_answer = answer;
    Tree().setCurrentItem(Tree().Item(shutId));
    m_frame->OnCommand(hvui::kCmdDelete);
    Drain();
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].endsWith("Delete \"New Folder\" from the agent? Everything in it goes too."));
    EXPECT_EQ(Tree().Item(shutId) == nullptr, answer == QMessageBox::Yes);
  }
}

TEST_F(DesktopHabits, the_title_names_the_agent_and_about_the_version) {
  NewAgent("Titled");
  m_main->OpenInBrowser("http://h.example/a-long/page.html");
  EXPECT_EQ(m_frame->windowTitle(), QString("Titled \u2014 Harvion"));
  TypeLabel(Root(), "Retitled");
  EXPECT_EQ(m_frame->windowTitle(), QString("Retitled \u2014 Harvion"));

  m_frame->OnCommand(hvui::kCmdAbout);
  ASSERT_NE(hvui::CSplashWindow::Current(), nullptr);
  EXPECT_EQ(hvui::CSplashWindow::Current()->accessibleDescription(), QString("Version " HARVION_TEST_VERSION));
  hvui::CSplashWindow::Current()->close();
}

TEST_F(DesktopHabits, a_first_start_is_roomy_and_offers_the_help_page) {
  m_frame->OpenAgent(QString());  // as a first start does: the Startup Agent, made with its help pages
  ASSERT_TRUE(WaitFor([&] { return Root() != nullptr; }));
  m_frame->show();
  Drain();
  EXPECT_GE(m_frame->width(), 560);
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
