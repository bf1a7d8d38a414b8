// Runs through the agent frame against a local nginx: the page pictures
// follow the run, and a run survives the user deleting and collapsing items
// while the engine's threads report on them.
#include <QStatusBar>
#include <QTest>
#include <ctime>
#include <random>
#include <set>

#include "harvion/saf_node.h"
#include "shell/plugin_client.h"
#include "shell/progress_display.h"
#include "shell/tree_images.h"
#include "support/run_fixture.h"

namespace {

using hvuitest::Drain;
using hvuitest::WaitFor;
using Page = hvtest::SiteBuilder::Page;

// The shared run fixture, under this file's own suite name.
class TreeRun : public hvuitest::PageRun {};

TEST_F(TreeRun, page_pictures_follow_the_runs_and_the_progress_counts_them) {
  ASSERT_TRUE(m_site->WritePage("index.html", Page("Club", {"walks.html", "gone.html"})));
  ASSERT_TRUE(m_site->WritePage("walks.html", Page("Walks")));
  Serve();
  NewAgent("Pictures");
  AddLocation("Club", "index.html");
  QTreeWidgetItem* club = Child(Root(), "Club");
  EXPECT_EQ(Image(club), hvui::kImagePageNever);

  int highestTotal = 0;
  QObject::connect(Tree().model(), &QAbstractItemModel::dataChanged, m_frame,
                   [&] { highestTotal = std::max(highestTotal, m_frame->Progress()->Total()); });
  ASSERT_TRUE(RunToEnd());
  Drain();
  EXPECT_GE(highestTotal, 3) << "the location and its two links were counted";
  EXPECT_EQ(m_frame->Progress()->Total(), 0) << "reset at the end";
  EXPECT_EQ(Image(club), hvui::kImagePageStoredNew);
  ASSERT_EQ(club->childCount(), 2);
  // One link found its page, the other a 404.
  const std::multiset<int> children{Image(club->child(0)), Image(club->child(1))};
  EXPECT_EQ(children, (std::multiset<int>{hvui::kImagePageMissing, hvui::kImagePageStoredNew}));
  const std::multiset<QString> tips{club->child(0)->toolTip(0), club->child(1)->toolTip(0)};
  EXPECT_EQ(tips, (std::multiset<QString>{"200 OK", "404 Not Found"}));
  EXPECT_EQ(m_frame->statusBar()->currentMessage().toStdString(), "Run ended: 2 new, 0 modified, 0 gone, 1 failed; 3 pages asked for");

  ASSERT_TRUE(m_site->Remove("walks.html"));
  ASSERT_TRUE(RunToEnd());  // one page went from the server
  Drain();
  club = Child(Root(), "Club");
  ASSERT_NE(club, nullptr);
  EXPECT_EQ(Image(club), hvui::kImagePageStored);
  EXPECT_EQ(m_frame->statusBar()->currentMessage().toStdString(), "Run ended: 0 new, 0 modified, 1 gone, 1 failed; 3 pages asked for");
}

TEST_F(TreeRun, a_page_says_why_its_load_failed_and_titles_show_as_written) {
  // Titles as pages write them (Latin-1, UTF-8, references), and as shown.
  const std::pair<std::string, QString> titles[] = {
      {"Caf\xe9 &#8212; &#x263A;", QString::fromUtf8("Caf\xc3\xa9 \xe2\x80\x94 \xe2\x98\xba")},
      {"Gr\xc3\xbc\xc3\x9f""e &amp; &#x27;Tom&#39;", QString::fromUtf8("Gr\xc3\xbc\xc3\x9f""e & 'Tom'")},
      {"Caf\xe9 cr&egrave;me", QString::fromUtf8("Caf\xc3\xa9 cr\xc3\xa8me")},
  };
  std::vector<std::string> links;
  for (const auto& [title, shown] : titles) {
    links.push_back(std::to_string(links.size()) + ".html");
    ASSERT_TRUE(m_site->Write(links.back(), "<html><head><title>" + title + "</title></head><body>x</body></html>"));
  }
  ASSERT_TRUE(m_site->WritePage("index.html", Page("Titles", links)));
  Serve();
  const struct {
    const char* name;
    std::string url;
    const char* tip;
  } cases[] = {
      {"Refused", "http://127.0.0.1:1/", "could not connect (connection refused)"},  // nothing listens on port 1 here
      {"Nowhere", "http://no-such-host.invalid/", "host name not found"},
      {"Missing", m_nginx->BaseUrl() + "missing.html", "404 Not Found"},
      {"Start", m_nginx->BaseUrl() + "index.html", "200 OK"},
  };
  NewAgent("Down");
  for (const auto& c : cases) AddLocationAt(c.name, c.url);
  for (const auto& c : cases) EXPECT_EQ(Child(Root(), c.name)->toolTip(0), "") << c.name << ": never asked for";
  ASSERT_TRUE(RunToEnd());
  Drain();
  QStringList shown;
  for (int i = 0; i < Child(Root(), "Start")->childCount(); ++i) shown << Child(Root(), "Start")->child(i)->text(0);
  for (const auto& [title, expected] : titles) EXPECT_TRUE(shown.contains(expected)) << shown.join(" | ").toStdString();
  for (const bool again : {false, true}) {
    if (again) {
      NewAgent("Aside");
      m_frame->OpenAgent("Down");
      ASSERT_TRUE(WaitFor([&] { return Root() && Child(Root(), "Missing"); }));
      Drain();
    }
    for (const auto& c : cases) EXPECT_EQ(Child(Root(), c.name)->toolTip(0), c.tip) << c.name << (again ? " again" : "");
  }
}

TEST_F(TreeRun, deleting_and_collapsing_items_while_500_pages_arrive_harms_nothing) {
  std::vector<std::string> links;
  for (int i = 0; i < 500; ++i) {
    const std::string name = "p" + std::to_string(i) + ".html";
    ASSERT_TRUE(m_site->WritePage(name, Page("Page " + std::to_string(i))));
    links.push_back(name);
  }
  ASSERT_TRUE(m_site->WritePage("index.html", Page("Many", links)));
  Serve();
  NewAgent("Stress");
  AddLocation("Many", "index.html");
  Tree().setCurrentItem(Root());
  m_frame->OnCommand(hvui::kCmdStartStop);
  ASSERT_TRUE(m_frame->Running());
  m_answer = QMessageBox::Yes;  // each delete asks
  std::mt19937 random(7);
  int deleted = 0;
  const bool ended = WaitFor(
      [&] {
        QTreeWidgetItem* many = Child(Root(), "Many");
        if (many && many->childCount() > 10) {
          // The user at work while the pages arrive: folding and deleting.
          many->setExpanded(!many->isExpanded());
          QTreeWidgetItem* victim = many->child(static_cast<int>(random() % many->childCount()));
          Tree().setCurrentItem(victim);
          m_frame->OnCommand(hvui::kCmdDelete);
          ++deleted;
        }
        return !m_frame->Running();
      },
      120000);
  ASSERT_TRUE(ended);
  Drain();
  EXPECT_GT(deleted, 0);
  QTreeWidgetItem* many = Child(Root(), "Many");
  ASSERT_NE(many, nullptr);
  EXPECT_EQ(many->childCount(), 500 - deleted);
  for (int i = 0; i < many->childCount(); ++i)
    EXPECT_NE(Image(many->child(i)), hvui::kImagePageLoading) << many->child(i)->text(0).toStdString();
}

}  // namespace
