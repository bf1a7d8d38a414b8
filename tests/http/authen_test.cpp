// Authentication realms: claiming, the credentials rules of a request, the
// response check, the prompt hook and the stored passwords.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <latch>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "engine/agent/http_anchor.h"
#include "engine/http/authen.h"
#include "engine/http/base64.h"
#include "engine/settings/three_string_entry.h"
#include "harvion/dialogs.h"
#include "platform/registry/registry.h"
#include "resources/resources.h"
#include "support/test_home.h"

namespace {

using Action = CAuthen::RequestCredentials::Action;

const std::string kKey = "Software\\Tessarine\\Harvion Plugin\\3.0\\Authentication";
constexpr std::uint32_t kRunStart = 1'000'000;
constexpr std::uint32_t kNow = kRunStart + 5;

std::string Basic(const std::string& user, const std::string& password) {
  return hv::http::Base64Encode(user + ":" + password);
}

class Authen : public TestHome {
 protected:
  void SetUp() override {
    TestHome::SetUp();
    m_previous = SetCredentialsPrompt(nullptr);
  }
  void TearDown() override {
    SetCredentialsPrompt(m_previous);
    TestHome::TearDown();
  }

  // Writes the passwords list (realm, user, password) as the settings sheet would.
  void Store(const std::vector<std::vector<std::string>>& rows) {
    CNamedArray list;
    for (const auto& row : rows) list.Add(std::make_unique<C3StringEntry>(row[0], row[1], row[2]));
    ASSERT_TRUE(hv::settings::SaveThreeStringList(kKey, list, hv::res::IDS_REG_PASSWORD));
  }
  void Answer(const std::string& user, const std::string& password) {
    SetCredentialsPrompt([this, user, password](CredentialsRequest& request) {
      ++m_prompts;
      m_asked = request;
      request.user = user;
      request.password = password;
      return true;
    });
  }
  CAuthen::RequestCredentials Ask(const CAnchor& location, const std::string& realm, bool needsAuthentication,
                                  bool interactive = true) {
    return m_authen.CredentialsFor(
        {&location, realm, needsAuthentication, "http://h/page.html", kRunStart, kNow, interactive});
  }

  CAuthen m_authen;
  CHTTPAnchor m_a, m_b;
  int m_prompts = 0;
  CredentialsRequest m_asked;
  CredentialsPrompt m_previous;
};

TEST_F(Authen, a_realm_is_claimed_by_one_location_at_a_time) {
  Store({{"Zone", "u", "p"}});
  m_authen.Load();
  EXPECT_EQ(m_authen.FindAndClaim("Other", &m_a), nullptr);  // unknown realms are not made here
  EXPECT_EQ(m_authen.FindAndClaim("zone", &m_a), nullptr);   // names are compared exactly
  const auto zone = m_authen.FindAndClaim("Zone", &m_a);
  ASSERT_NE(zone, nullptr);
  EXPECT_EQ(zone->m_strCredentials, Basic("u", "p"));
  EXPECT_EQ(m_authen.FindAndClaim("Zone", &m_a), zone);
  EXPECT_EQ(m_authen.FindAndClaim("Zone", &m_b), nullptr);
  EXPECT_EQ(m_authen.FindOrCreateAndClaim("Zone", &m_b), nullptr);
  EXPECT_EQ(m_authen.FindOwned("Zone", &m_b), nullptr);
  EXPECT_EQ(m_authen.FindOwned("Zone", &m_a), zone);
  zone->Release();
  EXPECT_EQ(m_authen.FindOwned("Zone", &m_a), nullptr);
  EXPECT_EQ(m_authen.FindAndClaim("Zone", &m_b), zone);

  const auto made = m_authen.FindOrCreateAndClaim("New", &m_a);
  ASSERT_NE(made, nullptr);
  EXPECT_TRUE(made->m_strUser.empty() && made->m_strCredentials.empty() && made->m_tCheckedAt == 0);
  const auto list = m_authen.CopyPasswords();
  ASSERT_EQ(list->GetSize(), 2);
  EXPECT_EQ(list->GetNameAt(1), "New");
  // Not saved until something is confirmed.
  std::vector<std::string> stored = hv::reg::SubKeys(kKey);
  EXPECT_EQ(stored, std::vector<std::string>{"Zone"});
}

TEST_F(Authen, normal_requests_send_only_what_a_free_realm_already_has) {
  Store({{"Zone", "u", "p"}, {"Lone", "user", ""}, {"Unanswered", "", ""}});
  m_authen.Load();
  struct Case {
    std::string realm;
    std::string credentials;
    bool forgetRealm;
  };
  const Case cases[] = {
      {"", "", false},
      {"Zone", Basic("u", "p"), false},
      {"Lone", "dXNlcjo=", false},  // an empty password still logs in
      {"Unanswered", "", true},
      {"Unknown", "", true},
  };
  for (const Case& c : cases) {
    const auto answer = Ask(m_a, c.realm, false);
    EXPECT_EQ(answer.action, Action::send) << c.realm;
    EXPECT_EQ(answer.credentials, c.credentials) << c.realm;
    EXPECT_EQ(answer.forgetRealm, c.forgetRealm) << c.realm;
    // Credentials sent keep the realm claimed until the response; otherwise it is free.
    EXPECT_EQ(m_authen.FindOwned(c.realm, &m_a) != nullptr, !c.credentials.empty()) << c.realm;
  }
  // A realm another location holds is not sent.
  const auto busy = Ask(m_b, "Zone", false);
  EXPECT_TRUE(busy.credentials.empty() && busy.forgetRealm);
  EXPECT_EQ(m_prompts, 0);
}

TEST_F(Authen, stored_credentials_are_tried_once_then_the_user_is_asked_in_interactive_runs_only) {
  for (const bool interactive : {true, false}) {
    Store({{"Zone", "u", "old"}});
    m_authen.Load();
    m_prompts = 0;
    Answer("u", "new");
    const auto first = Ask(m_a, "Zone", true, interactive);
    EXPECT_EQ(first.action, Action::send);
    EXPECT_EQ(first.credentials, Basic("u", "old"));
    EXPECT_EQ(m_prompts, 0);
    m_authen.CheckResponse(401, "Zone", &m_a, kNow);

    const auto second = Ask(m_a, "Zone", true, interactive);
    if (interactive) {
      EXPECT_EQ(second.action, Action::send);
      EXPECT_EQ(second.credentials, Basic("u", "new"));
      EXPECT_EQ(m_prompts, 1);
      EXPECT_EQ(m_asked.realm, "Zone");
      EXPECT_EQ(m_asked.url, "http://h/page.html");
      EXPECT_EQ(m_asked.user + ":" + m_asked.password, "u:old");
      // Accepted now: a later page of the realm gets them at once.
      m_authen.CheckResponse(200, "Zone", &m_a, kNow);
      EXPECT_EQ(Ask(m_b, "Zone", false).credentials, Basic("u", "new"));
      CAuthen stored;
      stored.Load();
      EXPECT_EQ(stored.FindAndClaim("Zone", &m_a)->m_strCredentials, Basic("u", "new"));
    } else {
      EXPECT_EQ(second.action, Action::endLoad);
      EXPECT_EQ(m_prompts, 0);
      EXPECT_EQ(m_authen.FindAndClaim("Zone", &m_b)->m_strCredentials, "");
    }
  }
}

TEST_F(Authen, the_prompt_is_refused_without_a_front_end_and_after_a_cancel_nobody_is_asked_again) {
  const auto noRealm = Ask(m_a, "", true);
  EXPECT_EQ(noRealm.action, Action::endLoad);

  const auto refused = Ask(m_a, "Zone", true);  // no prompt installed
  EXPECT_EQ(refused.action, Action::endLoad);
  EXPECT_EQ(m_authen.FindOwned("Zone", &m_a), nullptr);  // released
  EXPECT_EQ(m_authen.FindAndClaim("Zone", &m_b)->m_tCheckedAt, kNow);
  m_authen.FindOwned("Zone", &m_b)->Release();

  Answer("u", "p");
  EXPECT_EQ(Ask(m_a, "Zone", true).action, Action::endLoad);  // given up for this run
  EXPECT_EQ(m_prompts, 0);

  // A front end whose dialog fails answers Cancel.
  SetCredentialsPrompt([](CredentialsRequest&) -> bool { throw std::runtime_error("no display"); });
  EXPECT_EQ(Ask(m_a, "Other", true).action, Action::endLoad);
}

TEST_F(Authen, a_realm_with_neither_user_nor_password_sends_a_lone_colon_only_once_confirmed) {
  Store({{"Bare", "", ""}});
  m_authen.Load();
  EXPECT_EQ(Ask(m_a, "Bare", false).credentials, "");
  EXPECT_EQ(Ask(m_a, "Bare", true, false).action, Action::endLoad);
  m_authen.Load();
  Answer("", "");
  const auto confirmed = Ask(m_a, "Bare", true);
  EXPECT_EQ(confirmed.credentials, "Og==");
  EXPECT_EQ(m_prompts, 1);
}

TEST_F(Authen, the_response_check_records_the_owners_outcome_and_always_releases) {
  struct Case {
    int status;
    int accepted;  // 5: unchanged
    std::uint32_t checkedAt;
  };
  const Case cases[] = {{200, 1, kNow}, {301, 1, kNow}, {302, 1, kNow}, {304, 1, kNow}, {400, 1, kNow},
                        {401, 0, kNow}, {404, 5, 7},    {407, 5, 7},    {0, 5, 7}};
  for (const Case& c : cases) {
    const auto zone = m_authen.FindOrCreateAndClaim("Zone", &m_a);
    zone->m_nAccepted = 5;
    zone->m_tCheckedAt = 7;
    m_authen.CheckResponse(c.status, "Zone", &m_b, kNow);  // not the owner: nothing
    EXPECT_EQ(zone->m_nAccepted, 5);
    m_authen.CheckResponse(c.status, "Zone", &m_a, kNow);
    EXPECT_EQ(zone->m_nAccepted, c.accepted) << c.status;
    EXPECT_EQ(zone->m_tCheckedAt, c.checkedAt) << c.status;
    EXPECT_EQ(zone->m_pOwner, nullptr) << c.status;
  }
  // A clock stepped back during the run still counts a refusal as this
  // run's: the stored credentials are not sent again.
  Store({{"Zone", "u", "p"}});
  m_authen.Load();
  EXPECT_EQ(Ask(m_a, "Zone", true, false).credentials, Basic("u", "p"));
  m_authen.CheckResponse(401, "Zone", &m_a, kRunStart - 100);
  EXPECT_EQ(Ask(m_a, "Zone", true, false).action, Action::endLoad);
}

TEST_F(Authen, two_locations_meeting_one_realm_at_once_ask_the_user_once) {
  std::mutex mutex;
  std::condition_variable changed;
  int retries = 0;
  std::atomic<int> prompts{0};
  // The dialog stays open until the other location has been told to retry.
  SetCredentialsPrompt([&](CredentialsRequest& request) {
    ++prompts;
    std::unique_lock lock(mutex);
    changed.wait_for(lock, std::chrono::seconds(10), [&] { return retries > 0; });
    request.user = "u";
    request.password = "p";
    return true;
  });
  std::latch start(2);
  std::string sent[2];
  auto location = [&](const CAnchor& anchor, std::string& credentials) {
    start.arrive_and_wait();
    while (true) {
      const auto answer = Ask(anchor, "Zone", true);
      if (answer.action == Action::send) {
        credentials = answer.credentials;
        m_authen.CheckResponse(200, "Zone", &anchor, kNow);
        return;
      }
      ASSERT_EQ(answer.action, Action::retry);
      std::lock_guard lock(mutex);
      ++retries;
      changed.notify_all();
    }
  };
  std::thread first(location, std::cref(m_a), std::ref(sent[0]));
  std::thread second(location, std::cref(m_b), std::ref(sent[1]));
  first.join();
  second.join();
  EXPECT_EQ(prompts, 1);
  EXPECT_EQ(sent[0], Basic("u", "p"));
  EXPECT_EQ(sent[1], Basic("u", "p"));
}

TEST_F(Authen, passwords_survive_save_and_load_and_hostile_names_stay_out_of_the_file) {
  const std::string odd = "[a] \"b\" =c% \xE9\\";  // a backslash cannot be stored: nested keys
  Store({{"Old", "gone", "x"}});
  m_authen.Load();
  {
    std::lock_guard lock(m_authen.Mutex());
    m_authen.RememberPasswordLocked("[a] \"b\" =c% \xE9", "us\"er", "p\r\n[HKEY_CURRENT_USER\\Evil]\r\n");
    m_authen.RememberPasswordLocked(odd, "u", "p");
    m_authen.RememberPasswordLocked("Esc\x1B[2J", "u", "p");
    m_authen.RememberPasswordLocked("CASE", "first", "1");
    m_authen.RememberPasswordLocked("case", "second", "2");
  }
  m_authen.FindOrCreateAndClaim("Met but never answered", &m_a);
  ASSERT_TRUE(m_authen.Save());

  EXPECT_EQ(hv::reg::SubKeys(kKey), (std::vector<std::string>{"Old", "[a] \"b\" =c% \xE9", "CASE"}));
  EXPECT_FALSE(hv::reg::KeyExists("Evil"));
  const std::vector<std::uint8_t> file = ReadFile(hv::reg::StorePath());
  EXPECT_EQ(std::find(file.begin(), file.end(), 0x1B), file.end());
  struct stat st {};
  ASSERT_EQ(stat(hv::reg::StorePath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  CAuthen loaded;
  loaded.Load();
  const auto realm = loaded.FindAndClaim("[a] \"b\" =c% \xE9", &m_a);
  ASSERT_NE(realm, nullptr);
  EXPECT_EQ(realm->m_strPassword, "p\r\n[HKEY_CURRENT_USER\\Evil]\r\n");
  // Whatever the file holds, what goes into a header is base64 alone.
  EXPECT_EQ(realm->m_strCredentials, Basic("us\"er", "p\r\n[HKEY_CURRENT_USER\\Evil]\r\n"));
  EXPECT_EQ(realm->m_strCredentials.find_first_not_of(
                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
            std::string::npos);
  EXPECT_EQ(loaded.FindAndClaim("CASE", &m_a)->m_strUser, "first");
}

TEST_F(Authen, a_store_unreadable_at_load_is_not_overwritten_by_save) {
  Store({{"Kept", "u", "p"}});
  const std::string path = hv::reg::StorePath();
  ASSERT_EQ(std::rename(path.c_str(), (path + ".aside").c_str()), 0);
  ASSERT_EQ(mkdir(path.c_str(), 0700), 0);  // not a regular file: refused
  m_authen.Load();
  ASSERT_EQ(rmdir(path.c_str()), 0);
  ASSERT_EQ(std::rename((path + ".aside").c_str(), path.c_str()), 0);
  Answer("v", "q");
  EXPECT_EQ(Ask(m_a, "New", true).credentials, Basic("v", "q"));  // still usable in this run
  EXPECT_FALSE(m_authen.Save());
  EXPECT_EQ(hv::reg::SubKeys(kKey), std::vector<std::string>{"Kept"});
}

}  // namespace
