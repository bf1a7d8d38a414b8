// The schedule list and its texts: descriptions, times of day, the checks of
// an edited schedule, the stored list and a node's reference to a schedule.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/schedule/schedule.h"
#include "engine/schedule/schedule_info.h"
#include "harvion/global_memory.h"
#include "platform/files/file.h"
#include "platform/framework/archive.h"
#include "resources/resources.h"
#include "support/test_home.h"

namespace {

TEST(ScheduleText, descriptions_of_the_default_schedules) {
  CSchedule list;
  const char* expected[] = {
      "Every hour, 15 minutes after the hour.",
      "Every 25 minutes between 10:00 AM and 04:00 PM on Monday, Tuesday, Wednesday, Thursday, Friday.",
      "At 08:15 AM on every Monday, Tuesday, Wednesday, Thursday, Friday",
      "At 12:17 PM on every Wednesday",
      "At 12:00 AM on the 10th day of every month.",
  };
  ASSERT_EQ(list.GetSize(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(list.EntryAt(i)->Describe(), expected[i]);
  CScheduleEntry unknown;
  unknown.m_nKind = 4;
  EXPECT_EQ(unknown.Describe(), "unknown");

  // One minute is said in the singular.
  CScheduleEntry one;
  one.m_nMinute = 1;
  EXPECT_EQ(one.Describe(), "Every hour, 1 minute after the hour.");
  one.m_nKind = 1;
  one.m_nPeriod = 1;
  one.m_nDays = 1;
  EXPECT_EQ(one.Describe(), "Every minute between 10:15 AM and 04:15 PM on Sunday.");
}

TEST(ScheduleText, days_of_the_month_are_ordinals) {
  const struct {
    int day;
    const char* text;
  } cases[] = {{1, "1st"},   {2, "2nd"},   {3, "3rd"},   {4, "4th"},   {10, "10th"}, {11, "11th"},
               {12, "12th"}, {13, "13th"}, {21, "21st"}, {22, "22nd"}, {23, "23rd"}, {31, "31st"}};
  for (const auto& c : cases) EXPECT_EQ(Ordinal(c.day), c.text) << c.day;
}

TEST(ScheduleText, times_of_day_format_and_parse) {
  const struct {
    int minutes;
    const char* text;
  } formats[] = {{0, "12:00 AM"},   {605, "10:05 AM"}, {615, "10:15 AM"},  {720, "12:00 PM"},
                 {737, "12:17 PM"}, {960, "04:00 PM"}, {1439, "11:59 PM"}, {59, "12:59 AM"}};
  for (const auto& c : formats) EXPECT_EQ(FormatTimeOfDay(c.minutes), c.text);

  const struct {
    const char* text;
    std::uint16_t minutes;
  } parses[] = {
      {"12:00 am", 0},     {"12:00 AM", 0},        {"9:5 pm", 1265},      {"12:30 PM", 750},
      {"13:00 AM", 780},   {" 8:05pm", 1205},      {"11:59 PM", 1439},    {"25:00 AM", 0xFFFF},
      {"", 0xFFFF},        {"10:15", 0xFFFF},      {"10:15 XM", 0xFFFF},  {"10:60 AM", 0xFFFF},
      {"-1:00 AM", 0xFFFF}, {"10 AM", 0xFFFF},     {"99999999999:00 AM", 0xFFFF}, {"12:00 PM", 720},
  };
  for (const auto& c : parses) EXPECT_EQ(ParseTimeOfDay(c.text), c.minutes) << c.text;
  for (int m = 0; m < 24 * 60; ++m) ASSERT_EQ(ParseTimeOfDay(FormatTimeOfDay(m)), m);
}

TEST(ScheduleEditing, each_check_returns_its_message) {
  using namespace hv::res;
  struct Case {
    const char* what;
    ScheduleEdit edit;
    bool adding;
    unsigned expected;
  } cases[] = {
      {"daily with no day", {"New", 2, 0, 0, 0, 0, "08:00 AM", ""}, true, IDS_SCHEDULE_NO_DAY},
      {"bit 7 is no day", {"New", 0, 0, 0x80, 0, 0, "", ""}, true, IDS_SCHEDULE_NO_DAY},
      {"monthly shows no days", {"New", 3, 0, 0, 5, 0, "08:00 AM", ""}, true, 0},
      {"bad end", {"New", 1, 0, 62, 0, 25, "10:00 AM", "4 PM"}, true, IDS_SCHEDULE_BAD_TIME},
      {"bad start", {"New", 2, 0, 62, 0, 0, "8:00", ""}, true, IDS_SCHEDULE_BAD_TIME},
      {"hourly shows no start", {"New", 0, 20, 62, 0, 0, "junk", ""}, true, 0},
      {"window backwards", {"New", 1, 0, 62, 0, 25, "04:00 PM", "10:00 AM"}, true, IDS_SCHEDULE_START_AFTER_END},
      {"empty window", {"New", 1, 0, 62, 0, 25, "10:00 AM", "10:00 AM"}, true, IDS_SCHEDULE_START_AFTER_END},
      {"no name", {"", 2, 0, 62, 0, 0, "08:00 AM", ""}, true, IDS_SCHEDULE_NO_NAME},
      {"name in use", {"Weekly", 2, 0, 62, 0, 0, "08:00 AM", ""}, true, IDS_SCHEDULE_NAME_IN_USE},
      {"name in use in other letters", {"hOURLY", 2, 0, 62, 0, 0, "08:00 AM", ""}, true, IDS_SCHEDULE_NAME_IN_USE},
      {"modifying keeps the name", {"", 2, 0, 62, 0, 0, "08:00 AM", ""}, false, 0},
  };
  CSchedule list;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CScheduleEntry entry;
    EXPECT_EQ(list.Validate(c.edit, c.adding, entry), c.expected);
  }

  CScheduleEntry entry;
  ASSERT_EQ(list.Validate({"Lunch", 1, 7, 0x41, 3, 40, "11:30 AM", "02:00 PM"}, true, entry), 0u);
  EXPECT_EQ(entry.m_strName, "Lunch");
  // Only the fields a periodic schedule shows are taken.
  EXPECT_EQ(entry.Pack(), (ScheduleSettings{1, 15, 0x41, 15, 40, 0, 690 & 0xFF, 690 >> 8, 840 & 0xFF, 840 >> 8}));
}

TEST(ScheduleList, name_block_lists_every_name_then_an_extra_zero) {
  CSchedule list;
  HGLOBAL block = list.GetNameList();
  ASSERT_NE(block, nullptr);
  const char expected[] = "Hourly\0Periodically\0Weekdays\0Weekly\0Monthly\0";  // plus the literal's own zero
  ASSERT_EQ(GlobalSize(block), sizeof expected);
  EXPECT_EQ(std::memcmp(GlobalLock(block), expected, sizeof expected), 0);
  GlobalUnlock(block);
  GlobalFree(block);
  list.RemoveAllItems();
  EXPECT_EQ(list.GetNameList(), nullptr);
}

class StoredSchedules : public TestHome {};

TEST_F(StoredSchedules, a_fresh_profile_gets_the_defaults_stored_and_scheduling_off) {
  CSchedule list;
  list.RemoveAllItems();
  list.Load();
  ASSERT_EQ(list.GetSize(), 5);
  EXPECT_EQ(list.m_bEnabled, 0);
  CSchedule defaults;
  CSchedule reread;
  reread.RemoveAllItems();
  reread.Load();
  ASSERT_EQ(reread.GetSize(), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(reread.GetNameAt(i), defaults.GetNameAt(i));
    EXPECT_EQ(reread.EntryAt(i)->Pack(), defaults.EntryAt(i)->Pack());
  }
  EXPECT_EQ(defaults.EntryAt(1)->Pack(), (ScheduleSettings{1, 0, 62, 10, 25, 0, 0x58, 0x02, 0xC0, 0x03}));
}

TEST_F(StoredSchedules, turning_scheduling_on_stores_it_and_starts_the_scheduler_once) {
  CSchedule list;
  list.Load();
  int started = 0;
  list.m_startScheduler = [&] { ++started; };
  list.SetEnabled(true);
  list.SetEnabled(true);
  EXPECT_EQ(started, 1);
  CSchedule reread;
  reread.Load();
  EXPECT_EQ(reread.m_bEnabled, 1);
  list.SetEnabled(false);
  reread.Load();
  EXPECT_EQ(reread.m_bEnabled, 0);
  EXPECT_EQ(started, 1);
}

TEST(ScheduleReference, stores_only_the_name_and_registers_the_node_on_storing) {
  std::vector<std::string> registered;
  CScheduleInfo::OnStored() = [&](const CScheduleInfo& info) { registered.push_back(info.m_strAgentId); };
  CScheduleInfo info("Weekly");
  info.m_strAgentId = "root";
  CMemFile file;
  {
    CArchive ar(&file, CArchive::store);
    info.Serialize(ar);
    ar.Close();
  }
  CMemFile in(file.Detach());
  CArchive ar(&in, CArchive::load);
  CScheduleInfo loaded;
  loaded.Serialize(ar);
  CScheduleInfo::OnStored() = nullptr;
  EXPECT_EQ(loaded.m_strName, "Weekly");
  EXPECT_EQ(loaded.m_strAgentId, "");
  EXPECT_EQ(registered, std::vector<std::string>{"root"});
  EXPECT_EQ(loaded.Index(), CSchedule::Instance().Find("Weekly"));
  EXPECT_EQ(CScheduleInfo("Gone").Index(), -1);
}

}  // namespace
