// Named lists: lookup, copy naming, and the three-string lists kept in the
// settings store (search engines, passwords).
#include "engine/schedule/schedule.h"
#include "engine/settings/search_engine_list.h"
#include "engine/settings/three_string_entry.h"
#include "harvion/settings.h"
#include "platform/registry/registry.h"
#include "resources/resources.h"
#include "support/test_home.h"

namespace {

const std::string kBase = "Software\\Tessarine\\Harvion Plugin\\3.0";

std::unique_ptr<C3StringEntry> Entry(const std::string& name, const std::string& a = "", const std::string& b = "") {
  return std::make_unique<C3StringEntry>(name, a, b);
}

std::vector<std::string> Names(const CNamedArray& list) {
  std::vector<std::string> names;
  for (int i = 0; i < list.GetSize(); ++i) names.push_back(list.GetNameAt(i));
  return names;
}

TEST(NamedArray, copy_naming_skips_every_name_in_use) {
  CNamedArray list;
  list.Add(Entry("Archive", "x", "y"));
  std::unique_ptr<CNamedItem> first = list.Duplicate(0);
  EXPECT_EQ(first->GetName(), "Copy of Archive");
  list.Add(std::move(first));
  list.Add(Entry("Copy(2) of Archive"));
  std::unique_ptr<CNamedItem> third = list.Duplicate(0);
  EXPECT_EQ(third->GetName(), "Copy(3) of Archive");
  // The copy keeps both values.
  auto* copy = dynamic_cast<C3StringEntry*>(third.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->m_strFirst, "x");
  EXPECT_EQ(copy->m_strSecond, "y");
  // A name with format characters is data, never a format.
  list.Add(Entry("%s%d%n"));
  EXPECT_EQ(list.Duplicate(list.GetSize() - 1)->GetName(), "Copy of %s%d%n");
}

TEST(NamedArray, find_is_exact_and_refuses_the_empty_name) {
  CNamedArray list;
  list.Add(Entry("Archive"));
  list.Add(Entry("Archive"));
  EXPECT_EQ(list.Find("Archive"), 0);
  EXPECT_EQ(list.Find("archive"), -1);
  EXPECT_EQ(list.Find(""), -1);
  EXPECT_EQ(list.Duplicate(5), nullptr);
}

TEST(NamedArray, clone_array_is_deep_and_keeps_the_order) {
  CNamedArray list;
  list.Add(Entry("b", "1"));
  list.Add(Entry("a", "2"));
  std::unique_ptr<CNamedArray> copy = list.CloneArray();
  list.RemoveAllItems();
  ASSERT_EQ(Names(*copy), (std::vector<std::string>{"b", "a"}));
  EXPECT_EQ(dynamic_cast<C3StringEntry*>(copy->GetAt(1))->m_strFirst, "2");
}

class StoredLists : public TestHome {};

TEST_F(StoredLists, three_string_list_round_trips_in_order) {
  const std::string key = kBase + "\\Authentication";
  CNamedArray list;
  list.Add(Entry("zeta realm", "zed", "pw1"));
  list.Add(Entry("Alpha", "al", ""));
  list.Add(Entry("bad\\name", "x", "y"));  // would become nested keys
  ASSERT_TRUE(hv::settings::SaveThreeStringList(key, list, hv::res::IDS_REG_PASSWORD));
  CNamedArray loaded;
  hv::settings::LoadThreeStringList(key, loaded, hv::res::IDS_REG_PASSWORD);
  ASSERT_EQ(Names(loaded), (std::vector<std::string>{"zeta realm", "Alpha"}));
  auto* first = dynamic_cast<C3StringEntry*>(loaded.GetAt(0));
  EXPECT_EQ(first->m_strFirst, "zed");
  EXPECT_EQ(first->m_strSecond, "pw1");
  std::string stored;
  EXPECT_TRUE(hv::reg::ReadString(key + "\\zeta realm", "Password", stored));
  EXPECT_EQ(stored, "pw1");
}

TEST_F(StoredLists, saving_replaces_the_old_entries_and_an_empty_list_removes_them_all) {
  const std::string key = kBase + "\\Authentication";
  CNamedArray list;
  list.Add(Entry("one", "u1", "p1"));
  list.Add(Entry("two", "u2", "p2"));
  ASSERT_TRUE(hv::settings::SaveThreeStringList(key, list, hv::res::IDS_REG_PASSWORD));
  list.RemoveItem(0);
  ASSERT_TRUE(hv::settings::SaveThreeStringList(key, list, hv::res::IDS_REG_PASSWORD));
  EXPECT_EQ(hv::reg::SubKeys(key), (std::vector<std::string>{"two"}));
  CNamedArray empty;
  ASSERT_TRUE(hv::settings::SaveThreeStringList(key, empty, hv::res::IDS_REG_PASSWORD));
  EXPECT_TRUE(hv::reg::SubKeys(key).empty());
  EXPECT_TRUE(hv::reg::KeyExists(key));
}

TEST_F(StoredLists, missing_second_value_loads_as_empty) {
  const std::string key = kBase + "\\Search Engines";
  hv::reg::WriteString(key + "\\Mine", "", "http://s/find");
  CNamedArray list;
  hv::settings::LoadSearchEngines(list);
  ASSERT_EQ(Names(list), (std::vector<std::string>{"Mine"}));
  EXPECT_EQ(dynamic_cast<C3StringEntry*>(list.GetAt(0))->m_strSecond, "");
}

TEST_F(StoredLists, empty_store_yields_the_ten_default_engines_in_order_and_saves_them) {
  CNamedArray list;
  hv::settings::LoadSearchEngines(list);
  const std::vector<std::string> titles = {"Alta Vista",
                                           "Excite NetSearch",
                                           "InfoSeek Search",
                                           "Lycos",
                                           "Open Text Index",
                                           "Yahoo Search",
                                           "WebCrawler",
                                           "Alta Vista Usenet News Search",
                                           "Excite Usenet News Search",
                                           "DejaNews Usenet News Search"};
  ASSERT_EQ(Names(list), titles);
  const std::vector<std::pair<std::string, std::string>> paths = {
      {"/cgi-bin/query", "pg=q&what=web&q=%KEY&Submit.x=36&Submit.y=6"},
      {"/search.gw", "search=%KEY&mode=relevance&showqbe=1&display=html3%2Chb&category=default"},
      {"/Titles", "qt=%KEY"},
      {"/cgi-bin/pursuit", "query=%KEY"},
      {"/omw/simplesearch", "mode=and&SearchFor=%KEY"},
      {"/bin/search", "p=%KEY"},
      {"/cgi-bin/WebQuery", "searchText=%KEY&andOr=all&maxHits=25"},
      {"/cgi-bin/query", "pg=q&what=news&q=%KEY&Submit.x=31&Submit.y=11"},
      {"/search.gw",
       "searchType=Keyword&search=%KEY&submit=Search&category=news&mode=relevance&showqbe=1&display=html2%2Clb"},
      {"/cgi-bin/nph-dnquery.xp", "defaultOp=AND&svcclass=dncurrent&query=%KEY"}};
  for (int i = 0; i < list.GetSize(); ++i) {
    auto* entry = dynamic_cast<C3StringEntry*>(list.GetAt(i));
    const std::string& location = entry->m_strFirst;
    SCOPED_TRACE(location);
    // Plain http on port 80, the fixed path after the host.
    ASSERT_EQ(location.rfind("http://", 0), 0u);
    const std::size_t slash = location.find('/', 7);
    ASSERT_NE(slash, std::string::npos);
    EXPECT_EQ(location.substr(7, slash - 7).find(':'), std::string::npos);
    EXPECT_EQ(location.substr(slash), paths[static_cast<std::size_t>(i)].first);
    EXPECT_EQ(entry->m_strSecond, paths[static_cast<std::size_t>(i)].second);
  }
  EXPECT_EQ(hv::reg::SubKeys(kBase + "\\Search Engines"), titles);
}

TEST_F(StoredLists, key_enumerate_stops_when_the_receiver_says_so) {
  const std::string key = kBase + "\\Run";
  for (const char* name : {"Set1", "Set2", "Set3"}) hv::reg::WriteString(key + "\\" + name, "", name);
  struct Collect : CStringEnumerator {
    std::vector<std::string> seen;
    int Enumerate(const char* name, const char* value) override {
      seen.push_back(std::string(name) + "=" + value);
      return seen.size() < 2;
    }
  } collect;
  KeyEnumerate(HKEY_CURRENT_USER, key.c_str(), &collect);
  EXPECT_EQ(collect.seen, (std::vector<std::string>{"Set1=Set1", "Set2=Set2"}));
  Collect none;
  KeyEnumerate(HKEY_CURRENT_USER, (kBase + "\\Nothing").c_str(), &none);
  KeyEnumerate(0x80000002u, key.c_str(), &none);  // nothing lives under another root
  EXPECT_TRUE(none.seen.empty());
}

TEST_F(StoredLists, schedules_round_trip_and_unreadable_settings_load_as_zeros) {
  CSchedule& schedules = CSchedule::Instance();
  schedules.m_bEnabled = 1;
  schedules.RemoveItem(0);  // "Hourly" is gone after the save
  ASSERT_TRUE(schedules.Save());
  hv::reg::WriteBinary(kBase + "\\Schedule\\Odd", "Settings", std::vector<std::uint8_t>(11, 0xFF));
  schedules.Load();
  EXPECT_EQ(schedules.m_bEnabled, 1);
  ASSERT_EQ(Names(schedules), (std::vector<std::string>{"Periodically", "Weekdays", "Weekly", "Monthly", "Odd"}));
  EXPECT_EQ(schedules.EntryAt(2)->m_nDays, 8);
  EXPECT_EQ(schedules.EntryAt(2)->m_nStart, 737);
  const ScheduleSettings zeros{};
  EXPECT_EQ(schedules.EntryAt(4)->Pack(), zeros);
}

}  // namespace
