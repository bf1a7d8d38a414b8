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
#include "engine/http/http_async_server.h"
#include "engine/settings/engine_app.h"
#include "harvion/exports.h"
#include "harvion/message_target.h"
#include "harvion/ras_dial_dialog.h"
#include "tools/headless/headless_dial.h"
#include "platform/temp_folder.h"
#include "resources/resources.h"

namespace {

using Strings = std::vector<std::string>;

// Shows the dial dialog as a front end does: a window whose messages queue to
// the dialog's thread, and a modal loop there until the dialog closes.
struct FrontEnd {
  std::string cancelAt;  // the user presses Cancel once the lower line reads this
  int shown = 0;
  HWND window = nullptr;
  Strings lines;  // the upper line, then the lower line after each message

  int operator()(CRasDialDialog& dialog) {
    ++shown;
    lines = {dialog.GetUpperLine()};
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
    Do = reinterpret_cast<RasDoubleDoFn>(::dlsym(m_double, "RasDoubleDo"));
    Count = reinterpret_cast<RasDoubleCountFn>(::dlsym(m_double, "RasDoubleCount"));
    ASSERT_TRUE(Do && Count);
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
    if (Do) Do("reset");
    if (m_double) ::dlclose(m_double);
  }

  void* m_double = nullptr;
  RasDoubleDoFn Do = nullptr;
  RasDoubleCountFn Count = nullptr;
  FrontEnd m_frontEnd;
  Strings m_messages;
  std::vector<HWND> m_owners;
  MessageSink m_oldSink;
  RasDialDialogRunner m_oldRunner;
};

TEST(RasConnState, every_state_has_its_text_and_any_other_value_the_undefined_one) {
  const std::string undefined = "Undefine Ras Error Code";
  const std::vector<std::pair<std::uint32_t, std::string>> cases = {
      {0, "Opening Port"},      {13, "Reauthenticatation Started"}, {17, "Waiting For Callback"}, {18, undefined},
      {0x1000, "Interactive"},  {0x1003, "Password Expired"},       {0x1004, undefined},          {0x2000, "Connected"},
      {0x2001, "Disconnected"}, {0x2002, undefined},                {0xFFFFFFFF, undefined},
  };
  for (const auto& [state, text] : cases) {
    EXPECT_EQ(hv::res::LoadString(CRas::GetRasConnState(static_cast<RASCONNSTATE>(state))), text) << state;
  }
}

TEST_F(RasTest, without_a_whole_library_dialling_is_not_available_and_nothing_is_said) {
  hv::test::TempFolder folder;
  hv::test::WriteText(folder / "text.so", "not a library\n");
  ASSERT_EQ(::mkfifo((folder / "fifo.so").c_str(), 0600), 0);  // opening it would wait for a writer
  for (const std::string& path : {folder / "missing.so", folder / "text.so", folder / "fifo.so", folder.path(),
                                  std::string(HV_RAS_INCOMPLETE)}) {
    SCOPED_TRACE(path);
    ::setenv("HARVION_RAS_LIBRARY", path.c_str(), 1);
    CRas ras;
    ras.Init();
    EXPECT_FALSE(CRas::IsRasAvailable());
    EXPECT_EQ(CRas::gpfnRasCreatePhonebookEntry, nullptr);
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
  EXPECT_EQ(CRas::gpfnRasEditPhonebookEntry(nullptr, nullptr, "Work"), 0u);
  EXPECT_NE(CRas::gpfnRasSetEntryDialParams, nullptr);
  settingsPage.Init();  // already loaded: the same library
  { CRas gone; }
  EXPECT_FALSE(CRas::IsRasAvailable());
  EXPECT_EQ(CRas::gpfnRasDial, nullptr);
  engine.Init();
  EXPECT_TRUE(CRas::IsRasAvailable());
  EXPECT_EQ(Count("RasEditPhonebookEntryA"), 1u);
}

TEST_F(RasTest, reset_reads_every_entry_in_order_growing_the_block_once) {
  for (const int entries : {0, 1, 2, 7}) {
    SCOPED_TRACE(entries);
    Do("reset");
    Strings expected;
    for (int i = entries; i > 0; --i) expected.push_back("Entry" + std::to_string(i));
    for (const std::string& name : expected) Do(("entry " + name).c_str());
    CRas ras;
    ras.Init();
    ras.GetNames()->push_back("from an earlier reset");
    ras.Reset();
    EXPECT_EQ(*ras.GetNames(), expected);
    EXPECT_EQ(Count("RasEnumEntriesA"), entries > 1 ? 2u : 1u);
  }
  // A library that keeps asking for more room is asked only twice.
  Do("reset");
  Do("fail RasEnumEntriesA 603");
  CRas ras;
  ras.Init();
  ras.Reset();
  EXPECT_TRUE(ras.GetNames()->empty());
  EXPECT_EQ(Count("RasEnumEntriesA"), 2u);
}

TEST_F(RasTest, a_running_connection_is_found_by_name_in_any_letter_case) {
  for (const char* connection : {"Home 2", "Work 8192", "Lab 8193", "Twice 6", "Twice 8192"}) {
    Do((std::string("connection ") + connection).c_str());
  }
  CRas ras;
  ras.Init();
  const std::vector<std::pair<const char*, bool>> cases = {
      {"Work", true}, {"wORK", true}, {"Home", false}, {"Lab", false}, {"Twice", false}, {"Other", false}, {"", false},
  };
  for (const auto& [name, running] : cases) EXPECT_EQ(ras.ConnectionRunning(name), running) << name;
  EXPECT_EQ(ras.ConnectionRunning(nullptr), 0);
  EXPECT_EQ(m_messages, Strings{});
  // Failures show the library's text for them, or the undefined one.
  for (const char* failure :
       {"fail RasGetConnectStatusA 6", "fail RasEnumConnectionsA 610", "fail RasGetErrorStringA 1"}) {
    Do(failure);
    EXPECT_FALSE(ras.ConnectionRunning("Work"));
  }
  EXPECT_EQ(m_messages, (Strings{"Dial-up error 6", "Dial-up error 610", "Undefine Ras Error Code"}));
}

TEST_F(RasTest, a_dial_reports_each_state_to_the_dialogs_window_until_it_ends) {
  const std::vector<std::pair<const char*, Strings>> cases = {
      {"0,1,14,8192", {"Connecting to work", "Opening Port", "Port Opened", "Authenticated", "Connected"}},
      {"0,8193", {"Connecting to work", "Opening Port", "Disconnected"}},  // a handle was had: dialled
  };
  for (const auto& [script, lines] : cases) {
    SCOPED_TRACE(script);
    Do("reset");
    Do((std::string("entry Work ") + script).c_str());
    CRas ras;
    ras.Init();
    ASSERT_TRUE(ras.Dial("work"));
    EXPECT_EQ(m_frontEnd.lines, lines);
    EXPECT_EQ(ras.ConnectionRunning("Work"), lines.back() == "Connected");
    ras.Hangup();
    ras.Hangup();  // nothing left to hang up
    EXPECT_EQ(Count("RasHangUpA"), 1u);
    EXPECT_EQ(Count("up"), 0u);
  }
  EXPECT_EQ(m_messages, Strings{});
}

TEST_F(RasTest, a_dial_that_fails_or_is_cancelled_leaves_no_connection) {
  struct Case {
    const char* name;
    const char* script;
    const char* failure;
    const char* cancelAt;
    Strings messages;
    unsigned dials;
  };
  const std::vector<Case> cases = {
      {"error event", "0,1/678", "", "", {"Dial-up error 678"}, 1},
      {"no dial parameters", "0,8192", "RasGetEntryDialParamsA 623", "", {"Dial-up error 623"}, 0},
      {"dial refused", "0,8192", "RasDialA 608", "", {"Dial-up error 608"}, 1},
      {"cancelled", "0,1,wait", "", "Port Opened", {}, 1},
      {"no front end", "0,8192", "", "", {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Do("reset");
    Do((std::string("entry Work ") + c.script).c_str());
    if (*c.failure) Do((std::string("fail ") + c.failure).c_str());
    m_messages.clear();
    m_owners.clear();
    m_frontEnd = FrontEnd();
    m_frontEnd.cancelAt = c.cancelAt;
    SetRasDialDialogRunner(c.name == std::string("no front end") ? RasDialDialogRunner() : std::ref(m_frontEnd));
    CRas ras;
    ras.Init();
    EXPECT_FALSE(ras.Dial("Work"));
    EXPECT_EQ(m_messages, c.messages);
    for (HWND owner : m_owners) EXPECT_EQ(owner, m_frontEnd.window);  // inside the dialog, owned by it
    EXPECT_EQ(Count("RasDialA"), c.dials);
    EXPECT_EQ(Count("RasHangUpA"), c.dials);
    EXPECT_EQ(Count("up"), 0u);
    ras.Hangup();
    EXPECT_EQ(Count("RasHangUpA"), c.dials);
  }
}

// The scheduler dials with nobody to watch: a dial that connects is kept, one
// that fails or never ends within the time allowed is hung up.
TEST_F(RasTest, a_dial_without_a_window_connects_fails_or_is_hung_up_when_too_slow) {
  struct Case {
    const char* name;
    const char* script;
    bool connected;
    unsigned hangups;
  };
  const std::vector<Case> cases = {
      {"connects", "0,1,8192", true, 0},
      {"error event", "0,1/678", false, 1},
      {"never ends", "0,1,wait", false, 1},
  };
  SetRasDialDialogRunner(
      [](CRasDialDialog& dial) { return harvion::DialWithoutWindow(dial, std::chrono::milliseconds(300)); });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Do("reset");
    Do((std::string("entry Work ") + c.script).c_str());
    CRas ras;
    ras.Init();
    EXPECT_EQ(ras.Dial("Work"), c.connected);
    EXPECT_EQ(Count("RasDialA"), 1u);
    EXPECT_EQ(Count("RasHangUpA"), c.hangups);
    ras.Hangup();
  }
}

TEST_F(RasTest, a_run_with_autodial_dials_first_and_hangs_up_only_what_it_dialled) {
  struct Case {
    const char* name;
    const char* connectionName;
    const char* setup;  // a double command: the entry or the connection already up
    bool started;
    Strings messages;
    unsigned upDuringRun;
  };
  const std::vector<Case> cases = {
      {"no connection named", "", "entry Work 0,8192", false, {"Please specify a valid connection to use"}, 0},
      {"already connected", "work", "connection Work 8192", true, {}, 1},
      {"dialled by the run", "Work", "entry Work 0,1,14,8192", true, {}, 1},
      {"dial fails", "Work", "entry Work 0,1/678", false, {"Dial-up error 678", "Could not dial"}, 0},
  };
  EngineApp& app = EngineApp::Instance();
  const bool autodial = app.m_bEnableAutodial;
  const std::string connection = app.m_strConnectionName;
  app.m_bEnableAutodial = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Do("reset");
    Do(c.setup);
    m_messages.clear();
    app.m_strConnectionName = c.connectionName;
    CHTTPAsyncServer server(-1);
    EXPECT_EQ(server.Start(2, 5), c.started);
    EXPECT_EQ(m_messages, c.messages);
    EXPECT_EQ(Count("up"), c.upDuringRun);
    server.Finish();
    server.Shutdown();
    EXPECT_EQ(server.GetState(), CAsyncServer::Stopped);
    // The connection that was up before the run stays up after it.
    EXPECT_EQ(Count("up"), c.name == std::string("already connected") ? 1u : 0u);
  }
  app.m_bEnableAutodial = autodial;
  app.m_strConnectionName = connection;
}

}  // namespace
