// The common behaviour of the property pages: filled from the node shown,
// each change written at once, nothing written to a node that is gone or
// shown read-only, and the details bar's title following the node's name.
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>

#include "harvion/saf_node.h"
#include "pages/page_host.h"
#include "pages/property_page.h"
#include "shell/details_bar.h"
#include "shell/node_bridge.h"
#include "support/frame_fixture.h"

namespace {

using hvuitest::Drain;
using hvuitest::FrameTest;
using hvuitest::WaitFor;

// A page that shows the node's name and renames it.
class NamePage : public hvui::CPropertyPage {
 public:
  using CPropertyPage::CPropertyPage;
  QLineEdit edit;
  int fills = 0;
  bool Set(int item, const QString& name) {
    const QByteArray bytes = name.toUtf8();
    return Write([&](CSafNode& node) { return node.SetData(item, bytes.constData(), 0) == 1; });
  }
  bool Rename(const QString& name) { return Set(itemName, name); }

 protected:
  void Fill() override {
    ++fills;
    char name[256] = "";
    Read([&](CSafNode& node) { node.GetData(itemName, name, sizeof name); });
    edit.setText(QString::fromUtf8(name));
  }
};

TEST_F(FrameTest, a_page_writes_only_to_a_node_that_is_there_and_writable) {
  NewAgent("Pages");
  m_frame->OnCommand(hvui::kCmdNewFolder);
  ASSERT_TRUE(WaitFor([&] { return Child(Root(), "New Folder") != nullptr; }));
  QTreeWidgetItem* folder = Child(Root(), "New Folder");
  const std::uint64_t id = hvui::CAgentTreeView::IdOf(folder);
  NamePage page(m_frame->Details()->Host());
  page.Show({id, kNodeKindFolder});
  EXPECT_EQ(page.edit.text(), "New Folder");

  EXPECT_TRUE(page.Rename("Walks"));
  page.Refill();
  EXPECT_EQ(page.edit.text(), "Walks");

  page.SetReadOnly(true);
  const int fills = page.fills;
  EXPECT_FALSE(page.Rename("Runs"));
  EXPECT_EQ(page.fills, fills + 1) << "a refused change shows the node's value again";
  EXPECT_EQ(page.edit.text(), "Walks");
  page.SetReadOnly(false);

  page.edit.setText("http://typed.example/");
  EXPECT_FALSE(page.Set(itemUrl, page.edit.text())) << "a folder has no address";
  EXPECT_EQ(page.edit.text(), "Walks");

  Tree().Bridge().WithNode(id, [](CSafNode& node) { node.Remove(0); });
  ASSERT_TRUE(WaitFor([&] { return Root()->childCount() == 0; }));
  EXPECT_FALSE(page.Writable());
  page.edit.setText("Gone");
  EXPECT_FALSE(page.Rename("Gone"));
  EXPECT_EQ(page.edit.text(), "Gone") << "nothing is filled from a vanished node";
}

TEST_F(FrameTest, the_details_bar_shows_no_selection_and_follows_the_name) {
  NewAgent("Titles");
  hvui::CDetailsBar& bar = *m_frame->Details();
  ASSERT_NE(bar.Tabs()->currentWidget()->findChild<QLabel*>("noSelection"), nullptr);
  EXPECT_EQ(bar.CurrentPage()->Item().id, 0u);

  m_frame->OnCommand(hvui::kCmdNewFolder);
  ASSERT_TRUE(WaitFor([&] { return Child(Root(), "New Folder") != nullptr; }));
  QTreeWidgetItem* folder = Child(Root(), "New Folder");
  Tree().setCurrentItem(folder);
  bar.ShowNode(hvui::CAgentTreeView::IdOf(folder), kNodeKindFolder);
  EXPECT_EQ(bar.windowTitle(), "New Folder");
  TypeLabel(folder, "Hikes");
  EXPECT_EQ(bar.windowTitle(), "Hikes");
  EXPECT_EQ(bar.CurrentPage()->Item().id, hvui::CAgentTreeView::IdOf(folder));
  m_answer = QMessageBox::Yes;  // Delete asks first

  m_frame->OnCommand(hvui::kCmdDelete);
  ASSERT_TRUE(WaitFor([&] { return Root()->childCount() == 0; }));
  EXPECT_EQ(bar.CurrentPage()->Item().id, 0u) << "a node deleted while shown leaves no selection";
}

}  // namespace
