#include "harvion/ras.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "dialup/double/ras_double.h"
#include "harvion/exports.h"
#include "harvion/message_target.h"
#include "harvion/ras_dial_dialog.h"
#include "platform/temp_folder.h"
#include "resources/resources.h"

namespace {

using Strings = std::vector<std::string>;

// Shows the dial dialog as a front end does: a window whose messages queue to
// the dialog's thread, and a modal loop on that thread until it closes.
struct FrontEnd {
  std::string cancelAt;  // the user presses Cancel once the lower line reads this
  int shown = 0;
  HWND window = nullptr;
  std::string upper;
  Strings lines;  // the lower line after each message

  int operator()(CRasDialDialog& dialog) {
    ++shown;
    upper = dialog.GetUpperLine();
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<std::tuple<UINT, WPARAM, LPARAM>> queue;
    window = CreateMessageTarget([&](UINT message, WPARAM w, LPARAM l) {
      std::lock_guard lock(mutex);
      queue.emplace_back(message, w, l);
      arrived.notify_one();
    });
    int result = dialog.OnInitDialog(window);
    EXPECT_EQ(dialog.OnMessage(WM_USER, RASCS_Connected, 0), CRasDialDialog::keepOpen);
    while (result == CRasDialDialog::keepOpen) {
      std::unique_lock lock(mutex);
      if (!arrived.wait_for(lock, std::chrono::seconds(10), [&] { return !queue.empty(); })) {
        ADD_FAILURE() << "the dial reported nothing";
        dialog.OnCancel();
        result = CRasDialDialog::closeCancel;
        break;
      }
      const auto [message, w, l] = queue.front();
      queue.pop_front();
      lock.unlock();
      result = dialog.OnMessage(message, w, l);
      lines.push_back(dialog.GetLowerLine());
      if (result == CRasDialDialog::keepOpen && lines.back() == cancelAt) {
        dialog.OnCancel();
        result = CRasDialDialog::closeCancel;
      }
    }
    DestroyMessageTarget(window);
    return result;
  }
};

class RasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_double = ::dlopen(HV_RAS_DOUBLE, RTLD_NOW);
    ASSERT_NE(m_double, nullptr) << ::dlerror();
    Find("RasDoubleReset", m_reset);
    Find("RasDoubleAddEntry", m_addEntry);
    Find("RasDoubleAddConnection", m_addConnection);
    Find("RasDoubleFail", m_fail);
    Find("RasDoubleCalls", m_calls);
    Find("RasDoubleConnectionsUp", m_connectionsUp);
    Find("RasDoubleLastDialParams", m_lastDialParams);
    m_reset();
    ::setenv("HARVION_RAS_LIBRARY", HV_RAS_DOUBLE, 1);
    m_oldSink = SetMessageSink([this](const std::string& text, const std::string&, HWND owner) {
      m_messages.push_back(text);
      m_owners.push_back(owner);
    });
    m_oldRunner = SetRasDialDialogRunner(std::ref(m_frontEnd));
  }

  void TearDown() override {
    { CRas unloads; }
    SetRasDialDialogRunner(m_oldRunner);
    SetMessageSink(m_oldSink);
    ::unsetenv("HARVION_RAS_LIBRARY");
    if (m_double) {
      m_reset();
      ::dlclose(m_double);
    }
  }

  template <typename Function>
  void Find(const char* name, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(m_double, name));
    ASSERT_NE(function, nullptr) << name;
  }

  void* m_double = nullptr;
  RasDoubleResetFn m_reset = nullptr;
  RasDoubleAddEntryFn m_addEntry = nullptr;
  RasDoubleAddConnectionFn m_addConnection = nullptr;
  RasDoubleFailFn m_fail = nullptr;
  RasDoubleCallsFn m_calls = nullptr;
  RasDoubleConnectionsUpFn m_connectionsUp = nullptr;
  RasDoubleLastDialParamsFn m_lastDialParams = nullptr;

  FrontEnd m_frontEnd;
  Strings m_messages;
  std::vector<HWND> m_owners;
  MessageSink m_oldSink;
  RasDialDialogRunner m_oldRunner;
};

TEST(RasConnState, every_state_has_its_text_and_any_other_value_the_undefined_one) {
  const std::vector<std::pair<std::uint32_t, std::string>> cases = {
      {0, "Opening Port"},           {1, "Port Opened"},
      {13, "Reauthenticatation Started"}, {17, "Waiting For Callback"},
      {18, "Undefine Ras Error Code"}, {0x0FFF, "Undefine Ras Error Code"},
      {0x1000, "Interactive"},       {0x1003, "Password Expired"},
      {0x1004, "Undefine Ras Error Code"}, {0x1FFF, "Undefine Ras Error Code"},
      {0x2000, "Connected"},         {0x2001, "Disconnected"},
      {0x2002, "Undefine Ras Error Code"}, {0xFFFFFFFF, "Undefine Ras Error Code"},
  };
  for (const auto& [state, text] : cases) {
    EXPECT_EQ(hv::res::LoadString(CRas::GetRasConnState(static_cast<RASCONNSTATE>(state))), text) << state;
  }
  for (unsigned id = hv::res::IDS_RAS_STATE_FIRST; id <= hv::res::IDS_RAS_UNDEFINED; ++id) {
    EXPECT_FALSE(hv::res::LoadString(id).empty()) << id;
  }
}

TEST_F(RasTest, without_a_whole_library_dialling_is_not_available_and_nothing_is_said) {
  hv::test::TempFolder folder;
  hv::test::WriteText(folder / "text.so", "not a library\n");
  ASSERT_EQ(::mkfifo((folder / "fifo.so").c_str(), 0600), 0);
  m_addEntry("Work", "0,8192");
  m_addConnection("Work", RASCS_Connected);
  for (const std::string& path : {folder / "missing.so", folder / "text.so", folder / "fifo.so", folder.path(),
                                  std::string(HV_RAS_INCOMPLETE)}) {
    SCOPED_TRACE(path);
    ::setenv("HARVION_RAS_LIBRARY", path.c_str(), 1);
    CRas ras;
    ras.Init();
    EXPECT_FALSE(CRas::IsRasAvailable());
    EXPECT_EQ(CRas::gpfnRasCreatePhonebookEntry, nullptr);
    EXPECT_EQ(CRas::gpfnRasSetEntryDialParams, nullptr);
    ras.Reset();
    EXPECT_TRUE(ras.GetNames()->empty());
    EXPECT_FALSE(ras.ConnectionRunning("Work"));
    EXPECT_FALSE(ras.Dial("Work"));
  }
  EXPECT_EQ(m_frontEnd.shown, 0);
  EXPECT_EQ(m_messages, Strings{});
}

TEST_F(RasTest, destroying_any_manager_unloads_the_library_and_init_loads_it_again) {
  CRas settingsPage, engine;
  engine.Init();
  ASSERT_TRUE(CRas::IsRasAvailable());
  EXPECT_NE(CRas::gpfnRasCreatePhonebookEntry, nullptr);
  EXPECT_NE(CRas::gpfnRasSetEntryDialParams, nullptr);
  EXPECT_EQ(CRas::gpfnRasEditPhonebookEntry(nullptr, nullptr, "Work"), 0u);
  settingsPage.Init();  // already loaded: the same library
  { CRas gone; }
  EXPECT_FALSE(CRas::IsRasAvailable());
  EXPECT_EQ(CRas::gpfnRasDial, nullptr);
  EXPECT_FALSE(engine.Dial("Work"));
  engine.Init();
  EXPECT_TRUE(CRas::IsRasAvailable());
  EXPECT_EQ(m_calls("RasEditPhonebookEntryA"), 1u);
}

TEST_F(RasTest, reset_reads_every_entry_in_order_growing_the_block_once) {
  for (const int entries : {0, 1, 2, 7}) {
    SCOPED_TRACE(entries);
    m_reset();
    Strings expected;
    for (int i = entries; i > 0; --i) expected.push_back("Entry " + std::to_string(i));
    for (const std::string& name : expected) m_addEntry(name.c_str(), "");
    CRas ras;
    ras.Init();
    ras.GetNames()->push_back("from an earlier reset");
    ras.Reset();
    EXPECT_EQ(*ras.GetNames(), expected);
    EXPECT_EQ(m_calls("RasEnumEntriesA"), entries > 1 ? 2u : 1u);
  }
  // A library that keeps asking for more room is asked only twice.
  m_reset();
  m_fail("RasEnumEntriesA", ERROR_BUFFER_TOO_SMALL);
  CRas ras;
  ras.Init();
  ras.Reset();
  EXPECT_TRUE(ras.GetNames()->empty());
  EXPECT_EQ(m_calls("RasEnumEntriesA"), 2u);
}

TEST_F(RasTest, a_running_connection_is_found_by_name_in_any_letter_case) {
  m_addConnection("Home", RASCS_ConnectDevice);
  m_addConnection("Work", RASCS_Connected);
  m_addConnection("Lab", RASCS_Disconnected);
  m_addConnection("Twice", RASCS_AuthNotify);  // the first of a name decides
  m_addConnection("Twice", RASCS_Connected);
  CRas ras;
  ras.Init();
  const std::vector<std::pair<const char*, bool>> cases = {
      {"Work", true}, {"wORK", true}, {"Home", false}, {"Lab", false}, {"Twice", false}, {"Other", false}, {"", false},
  };
  for (const auto& [name, running] : cases) EXPECT_EQ(ras.ConnectionRunning(name), running) << name;
  EXPECT_EQ(ras.ConnectionRunning(nullptr), 0);
  EXPECT_EQ(m_messages, Strings{});
}

TEST_F(RasTest, failures_while_looking_for_a_connection_show_the_libraries_text_or_the_undefined_one) {
  m_addConnection("Work", RASCS_Connected);
  CRas ras;
  ras.Init();
  m_fail("RasGetConnectStatusA", 6);
  EXPECT_FALSE(ras.ConnectionRunning("Work"));
  m_fail("RasEnumConnectionsA", 610);
  EXPECT_FALSE(ras.ConnectionRunning("Work"));
  m_fail("RasGetErrorStringA", 1);
  EXPECT_FALSE(ras.ConnectionRunning("Work"));
  EXPECT_EQ(m_messages, (Strings{"Dial-up error 6", "Dial-up error 610", "Undefine Ras Error Code"}));
}

TEST_F(RasTest, a_dial_reports_each_state_to_the_dialogs_window_and_hangup_ends_it) {
  m_addEntry("Work", "0,1,14,8192");
  CRas ras;
  ras.Init();
  ASSERT_TRUE(ras.Dial("work"));
  EXPECT_EQ(m_frontEnd.upper, "Connecting to work");
  EXPECT_EQ(m_frontEnd.lines, (Strings{"Opening Port", "Port Opened", "Authenticated", "Connected"}));
  RASDIALPARAMSA params{};
  m_lastDialParams(&params);
  // The entry's own number, callback and domain are dialled with its stored user.
  EXPECT_STREQ(params.szEntryName, "work");
  EXPECT_STREQ(params.szPhoneNumber, "");
  EXPECT_STREQ(params.szCallbackNumber, "");
  EXPECT_STREQ(params.szDomain, "");
  EXPECT_STREQ(params.szUserName, "ann");
  EXPECT_STREQ(params.szPassword, "secret");
  EXPECT_TRUE(ras.ConnectionRunning("Work"));
  ras.Hangup();
  ras.Hangup();  // nothing left to hang up
  EXPECT_EQ(m_calls("RasHangUpA"), 1u);
  EXPECT_EQ(m_connectionsUp(), 0u);
  EXPECT_EQ(m_messages, Strings{});
}

TEST_F(RasTest, a_dial_that_ends_disconnected_still_counts_as_dialled) {
  m_addEntry("Work", "0,8193");
  CRas ras;
  ras.Init();
  EXPECT_TRUE(ras.Dial("Work"));
  EXPECT_EQ(m_frontEnd.lines.back(), "Disconnected");
  EXPECT_EQ(m_connectionsUp(), 1u);  // the handle is ours to hang up
}

TEST_F(RasTest, a_dial_that_fails_or_is_cancelled_leaves_no_connection) {
  struct Case {
    const char* name;
    const char* script;
    const char* failing;  // a function that answers 623
    const char* cancelAt;
    Strings messages;
    unsigned dials;
  };
  const std::vector<Case> cases = {
      {"error event", "0,1/678", "", "", {"Dial-up error 678"}, 1},
      {"no dial parameters", "0,8192", "RasGetEntryDialParamsA", "", {"Dial-up error 623"}, 0},
      {"dial refused", "0,8192", "RasDialA", "", {"Dial-up error 623"}, 1},
      {"cancelled", "0,1,wait", "", "Port Opened", {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_reset();
    m_messages.clear();
    m_owners.clear();
    m_addEntry("Work", c.script);
    if (*c.failing) m_fail(c.failing, 623);
    m_frontEnd = FrontEnd();
    m_frontEnd.cancelAt = c.cancelAt;
    CRas ras;
    ras.Init();
    EXPECT_FALSE(ras.Dial("Work"));
    EXPECT_EQ(m_messages, c.messages);
    for (HWND owner : m_owners) EXPECT_EQ(owner, m_frontEnd.window);  // inside the dialog, owned by it
    EXPECT_EQ(m_calls("RasDialA"), c.dials);
    EXPECT_EQ(m_calls("RasHangUpA"), c.dials);
    EXPECT_EQ(m_connectionsUp(), 0u);
    ras.Hangup();
    EXPECT_EQ(m_calls("RasHangUpA"), c.dials);
  }
}

TEST_F(RasTest, without_a_front_end_the_dialog_answers_cancel_and_nothing_is_dialled) {
  m_addEntry("Work", "0,8192");
  SetRasDialDialogRunner({});
  CRas ras;
  ras.Init();
  EXPECT_FALSE(ras.Dial("Work"));
  EXPECT_FALSE(ras.Dial(nullptr));
  EXPECT_EQ(m_calls("RasDialA"), 0u);
  EXPECT_EQ(m_messages, Strings{});
}

}  // namespace
