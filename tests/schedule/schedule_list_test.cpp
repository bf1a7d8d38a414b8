// The schedule list as front ends without dialogs change it: the dialogs'
// refusals with nothing written, edits that change only what is given, the
// switch for unattended runs, and changes another process made in between.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "engine/schedule/schedule.h"
#include "harvion/schedule_list.h"
#include "support/test_home.h"

namespace {

using Edit = CScheduleList::Edit;

std::string Describe(const std::string& name) {
  for (const auto& s : CScheduleList::List())
    if (s.name == name) return s.description;
  return "(none)";
}

std::vector<std::string> Names() {
  std::vector<std::string> names;
  for (const auto& s : CScheduleList::List()) names.push_back(s.name);
  return names;
}

class ScheduleListEdits : public TestHome {};

TEST_F(ScheduleListEdits, refusals_are_the_dialog_texts_and_write_nothing) {
  enum Op { add, modify, remove };
  const struct {
    Op op;
    Edit edit;
    const char* refusal;
  } cases[] = {
      {add, {.name = "Weekly", .kind = 2}, "This name is in use."},
      {add, {.name = "New", .kind = 0, .minute = 60}, "The minute must be a whole number from 0 to 59."},
      {add, {.name = "a\\b", .kind = 2}, "A schedule name cannot contain '\\'."},
      {add, {.name = "a\nb", .kind = 2}, "A schedule name cannot contain control characters."},
      {add, {.name = "New", .kind = 4}, "Unknown kind of schedule."},
      // The window's other end is the stored one: 10:00 AM.
      {modify, {.name = "Periodically", .end = "09:00 AM"}, "Start time must be before end time."},
      {modify, {.name = "Weekdays", .days = 0}, "You must select at least one day when you want to run this schedule."},
      {modify, {.name = "Nowhere", .kind = 2}, "no schedule named 'Nowhere'"},
      {remove, {.name = "Nowhere"}, "no schedule named 'Nowhere'"},
  };
  CScheduleList::List();  // the defaults are stored on first use
  const std::vector<std::uint8_t> before = ReadFile(Path("registry.reg"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.refusal);
    const std::string got = c.op == add      ? CScheduleList::Add(c.edit)
                            : c.op == modify ? CScheduleList::Modify(c.edit)
                                             : CScheduleList::Remove(c.edit.name);
    EXPECT_EQ(got, c.refusal);
    EXPECT_EQ(ReadFile(Path("registry.reg")), before);
  }
}

TEST_F(ScheduleListEdits, edits_change_only_the_fields_the_kind_uses) {
  const struct {
    const char* what;
    bool adding;
    Edit edit;
    const char* description;
  } cases[] = {
      {"a new schedule takes the editor's defaults", true, {.name = "Quarter", .kind = 0},
       "Every hour, 15 minutes after the hour."},
      {"only the period", false, {.name = "Periodically", .period = 10},
       "Every 10 minutes between 10:00 AM and 04:00 PM on Monday, Tuesday, Wednesday, Thursday, Friday."},
      {"hourly ignores a start it does not show", false, {.name = "Hourly", .minute = 40, .start = "junk"},
       "Every hour, 40 minutes after the hour."},
      {"monthly ignores the days", false, {.name = "Monthly", .days = 0, .dayOfMonth = 31},
       "At 12:00 AM on the 31st day of every month."},
      {"a new kind keeps the stored time", false, {.name = "Monthly", .kind = 2},
       "At 12:00 AM on every Sunday, Monday, Tuesday, Wednesday, Thursday, Friday, Saturday"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.adding ? CScheduleList::Add(c.edit) : CScheduleList::Modify(c.edit), "");
    EXPECT_EQ(Describe(c.edit.name), c.description);
  }
  EXPECT_EQ(CScheduleList::Remove("Weekly"), "");
  // What another process reads from the store.
  CSchedule stored;
  stored.Load();
  std::vector<std::string> names;
  for (int i = 0; i < stored.GetSize(); ++i) names.push_back(stored.GetNameAt(i));
  EXPECT_EQ(names, (std::vector<std::string>{"Hourly", "Periodically", "Weekdays", "Monthly", "Quarter"}));
  EXPECT_EQ(stored.EntryAt(stored.Find("Hourly"))->m_nStart, 0);
}

TEST_F(ScheduleListEdits, another_process_changes_are_read_before_each_call) {
  CScheduleList::List();
  CSchedule other;
  other.Load();
  other.RemoveItem(other.Find("Hourly"));
  other.m_bEnabled = 1;
  ASSERT_TRUE(other.Save());
  EXPECT_TRUE(CScheduleList::IsEnabled());
  // A change here must not bring back what the other process removed.
  EXPECT_EQ(CScheduleList::Modify({.name = "Weekly", .days = 0x10}), "");
  EXPECT_EQ(Names(), (std::vector<std::string>{"Periodically", "Weekdays", "Weekly", "Monthly"}));
  EXPECT_EQ(Describe("Weekly"), "At 12:17 PM on every Thursday");
  EXPECT_EQ(CScheduleList::Add({.name = "Hourly", .kind = 0}), "");
  other.Load();
  EXPECT_EQ(other.GetSize(), 5);
  EXPECT_EQ(other.m_bEnabled, 1);
}

TEST_F(ScheduleListEdits, the_switch_starts_the_scheduler_only_when_the_stored_flag_turns_on) {
  CSchedule& list = CSchedule::Instance();
  const auto startScheduler = list.m_startScheduler;
  int started = 0;
  list.m_startScheduler = [&] { ++started; };
  const struct {
    bool storedBefore;  // as another process left it
    bool set;
    int starts;
  } cases[] = {{false, true, 1}, {true, true, 0}, {true, false, 0}, {false, false, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.storedBefore) + " to " + std::to_string(c.set));
    CSchedule other;
    other.Load();
    other.m_bEnabled = c.storedBefore;
    ASSERT_TRUE(other.Save());
    started = 0;
    EXPECT_EQ(CScheduleList::SetEnabled(c.set), "");
    EXPECT_EQ(CScheduleList::IsEnabled(), c.set);
    EXPECT_EQ(started, c.starts);
  }
  list.m_startScheduler = startScheduler;
}

}  // namespace

namespace {

TEST_F(ScheduleListEdits, two_processes_adding_at_once_keep_every_schedule) {
  constexpr int kEach = 8;
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  std::vector<pid_t> children;
  for (int i = 0; i < 2; ++i) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(go[1]);
      char byte;
      (void)!read(go[0], &byte, 1);  // both start when the pipe closes
      int refused = 0;
      for (int n = 0; n < kEach; ++n) {
        CScheduleList::Edit edit;
        edit.name = "P" + std::to_string(i) + "-" + std::to_string(n);
        edit.kind = CScheduleList::kindHourly;
        refused += CScheduleList::Add(edit).empty() ? 0 : 1;
      }
      _exit(refused);
    }
    children.push_back(pid);
  }
  close(go[0]);
  close(go[1]);
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(CScheduleList::List().size(), 5u + 2 * kEach) << "the five defaults and every one added";
}

}  // namespace
