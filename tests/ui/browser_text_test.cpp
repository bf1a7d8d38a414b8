#include "shell/browser_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace hvui;

TEST(BrowserText, titles_lose_the_browser_name_by_the_browser_rule) {
  const struct {
    BrowserKind kind;
    const char* title;
    const char* expected;
  } cases[] = {
      {BrowserKind::Netscape, "Netscape - [Home Page]", "Home Page"},
      {BrowserKind::Netscape, "Netscape - [A - B]", "A - B"},
      {BrowserKind::Netscape, "Home Page", "Home Page"},
      {BrowserKind::Netscape, " - [Home]", " - [Home]"},
      {BrowserKind::Netscape, "Netscape - ", ""},
      {BrowserKind::Netscape, "Netscape - [", ""},
      {BrowserKind::InternetExplorer, "Home Page - Microsoft Internet Explorer", "Home Page"},
      {BrowserKind::InternetExplorer, "Jean-Luc - Browser", "Jean-Luc"},
      {BrowserKind::InternetExplorer, "A - B - Browser", "A - B"},
      {BrowserKind::InternetExplorer, "-Only first", "-Only first"},
      {BrowserKind::InternetExplorer, "No hyphen", "No hyphen"},
      {BrowserKind::Desktop, "Netscape - [Home] - Browser", "Netscape - [Home] - Browser"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(StripBrowserName(QString::fromUtf8(c.title), c.kind).toStdString(), c.expected) << c.title;
}

TEST(BrowserText, status_bar_gives_the_address_after_the_prefix_in_any_ascii_case) {
  const struct {
    const char* status;
    const char* url;
  } cases[] = {
      {"harvion: http://h/a.html", "http://h/a.html"},
      {"HARVION: http://h/a.html", "http://h/a.html"},
      {"harvion: ", ""},
      {"harvion:http://h/", ""},
      {" harvion: http://h/", ""},
      {"Done", ""},
      {"", ""},
      {"HARV\xC4\xB0ON: http://h/", ""},  // a dotted capital I is no "i"
  };
  for (const auto& c : cases)
    EXPECT_EQ(UrlFromStatusText(QString::fromUtf8(c.status)).toStdString(), c.url) << c.status;
}

TEST(BrowserText, current_page_is_named_after_the_last_part_of_its_address) {
  const struct {
    const char* url;
    const char* name;
  } cases[] = {
      {"http://h/a/page.html", "page.html"},
      {"http://h/docs/folder/", "folder/"},
      {"http://h/", "h/"},
      {"http://h//", "http://h//"},
      {"http://", "http://"},
      {"host/", "host/"},
      {"no-slash-at-all", "no-slash-at-all"},
      {"http://h/cgi?a=1/2", "2"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CurrentPageName(QString::fromUtf8(c.url)).toStdString(), c.name) << c.url;
}

TEST(BrowserText, agent_menu_lists_the_first_99_short_entries_under_their_list_index) {
  std::vector<std::string> names;
  for (int i = 0; i < 150; ++i) names.push_back("agent " + std::to_string(i));
  names[1] = std::string(260, 'x');
  names[2] = std::string(259, 'y');

  const std::vector<AgentMenuEntry> entries = AgentMenuEntries(names);
  ASSERT_EQ(entries.size(), 98u);  // 99 list entries, one of them too long
  EXPECT_EQ(entries[0].command, 900);
  EXPECT_EQ(entries[1].command, 902);
  EXPECT_EQ(entries[1].name, names[2]);
  EXPECT_EQ(entries.back().command, 998);
  EXPECT_EQ(entries.back().name, "agent 98");

  const struct {
    int command;
    std::string name;
  } commands[] = {{899, ""}, {900, "agent 0"}, {901, ""}, {902, names[2]}, {998, "agent 98"}, {999, ""}};
  for (const auto& c : commands) EXPECT_EQ(AgentForCommand(names, c.command), c.name) << c.command;
  EXPECT_EQ(AgentForCommand({"only"}, 901), "");
}

TEST(BrowserText, pages_without_an_address_or_on_this_machine_are_not_added) {
  const struct {
    const char* url;
    int refusal;
  } cases[] = {
      {"", kTextNoData},
      {"C:\\pages\\a.htm", kTextLocalFile},
      {"file:///tmp/a.html", kTextLocalFile},
      {"FILE:///tmp/a.html", kTextLocalFile},
      {"/home/user/a.html", kTextLocalFile},
      {"http://h/file:a", 0},
      {"https://h/", 0},
      {"c", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(AddPageRefusal(QString::fromUtf8(c.url)), c.refusal) << c.url;
}

TEST(BrowserText, added_page_message_takes_its_parts_literally) {
  EXPECT_EQ(AddedPageMessage("100%s sure %1", "http://h/?q=%s", "News").toStdString(),
            "The page: 100%s sure %1\nfrom http://h/?q=%s\nhas been added to your News agent");
}

}  // namespace
