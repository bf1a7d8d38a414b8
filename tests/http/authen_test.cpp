// Authentication realms: the credentials rules of a request, the response
// check, the prompt hook and the stored passwords.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <latch>
#include <stdexcept>
#include <thread>

#include "engine/agent/http_anchor.h"
#include "engine/http/authen.h"
#include "engine/http/base64.h"
#include "engine/http/password_store.h"
#include "platform/registry/registry.h"
#include "resources/resources.h"
#include "support/test_home.h"

namespace {

using Action = CAuthen::RequestCredentials::Action;
const std::string kKey = "Software\\Tessarine\\Harvion Plugin\\3.0\\Authentication";
const std::string kServer = "http://h:80";  // of the pages asked for below
constexpr std::uint32_t kRunStart = 1'000'000, kNow = kRunStart + 5;

std::string Basic(const std::string& user, const std::string& password) {
  return hv::http::Base64Encode(user + ":" + password);
}

class Authen : public TestHome {
 protected:
  void TearDown() override {
    SetCredentialsPrompt(nullptr);
    TestHome::TearDown();
  }
  // Stores passwords (realm, user, password[, server]) and loads them; the
  // server is that of the pages asked for unless given.
  void Load(const std::vector<std::vector<std::string>>& rows) {
    hv::http::PasswordList list;
    for (const auto& row : rows) list.push_back({row[0], row.size() > 3 ? row[3] : kServer, row[1], row[2]});
    ASSERT_TRUE(hv::http::SavePasswords(list));
    m_authen.Load();
  }
  void Answer(const std::string& user, const std::string& password, bool remember = true) {
    SetCredentialsPrompt([=, this](CredentialsRequest& request) {
      m_asked.push_back(request.realm + " " + request.url + " " + request.user + ":" + request.password);
      request.user = user;
      request.password = password;
      request.remember = remember;
      return true;
    });
  }
  // A request's credentials; when the user is to be asked, the location's
  // part too: the answer, then the request made again or the load ended.
  CAuthen::RequestCredentials Ask(const CAnchor& location, const std::string& realm, bool after401,
                                  bool interactive = true, const std::string& url = "http://h/p") {
    const CAuthen::RequestState state{&location, realm, after401, url, url, kRunStart, kNow, interactive};
    const CAuthen::RequestCredentials answer = m_authen.CredentialsFor(state);
    if (answer.action != Action::ask) return answer;
    EXPECT_EQ(m_authen.FindOwned(hv::http::ServerOf(url), realm, &location), answer.realm)
        << "held while the user is asked";
    if (answer.realm->Prompt(url)) return m_authen.CredentialsFor(state);
    m_authen.GiveUp(*answer.realm, kNow);
    return {Action::endLoad, {}, false, nullptr};
  }
  void Check(int status, const std::string& realm, const CAnchor& location, std::uint32_t now = kNow) {
    m_authen.CheckResponse(status, "http://h/p", realm, &location, now);
  }

  CAuthen m_authen;
  CHTTPAnchor m_a, m_b;
  std::vector<std::string> m_asked;
};

TEST_F(Authen, requests_send_only_what_a_free_realm_already_has_until_a_401) {
  Load({{"Zone", "u", "p"}, {"Lone", "user", ""}, {"Unanswered", "", ""}});
  const std::pair<std::string, std::string> cases[] = {{"", ""},         {"Zone", Basic("u", "p")},
                                                       {"Lone", "dXNlcjo="}, {"Unanswered", ""},
                                                       {"Unknown", ""},  {"zone", ""}};
  for (const auto& [realm, credentials] : cases) {
    const auto answer = Ask(m_a, realm, false);
    EXPECT_EQ(answer.action, Action::send) << realm;
    EXPECT_EQ(answer.credentials, credentials) << realm;
    EXPECT_EQ(answer.forgetRealm, !realm.empty() && credentials.empty()) << realm;
    // Claimed until the response only when credentials went out.
    EXPECT_EQ(m_authen.FindOwned(kServer, realm, &m_a) != nullptr, !credentials.empty()) << realm;
  }
  const auto busy = Ask(m_b, "Zone", false);  // held by m_a
  EXPECT_TRUE(busy.credentials.empty() && busy.forgetRealm);
  EXPECT_EQ(Ask(m_a, "", true).action, Action::endLoad);  // a 401 without a realm
  EXPECT_TRUE(m_asked.empty());
  // Neither user nor password: a lone colon, but only once the user confirmed it.
  Answer("", "");
  EXPECT_EQ(Ask(m_a, "Unanswered", true).credentials, "Og==");
}

TEST_F(Authen, stored_credentials_are_tried_once_then_the_user_is_asked_in_interactive_runs_only) {
  for (const bool interactive : {false, true}) {
    Load({{"Zone", "u", "old"}});
    Answer("u", "new");
    EXPECT_EQ(Ask(m_a, "Zone", true, interactive).credentials, Basic("u", "old"));
    EXPECT_TRUE(m_asked.empty());
    Check(401, "Zone", m_a);
    const auto second = Ask(m_a, "Zone", true, interactive);
    EXPECT_EQ(second.action, interactive ? Action::send : Action::endLoad);
    EXPECT_EQ(second.credentials, interactive ? Basic("u", "new") : "");
  }
  EXPECT_EQ(m_asked, std::vector<std::string>{"Zone http://h/p u:old"});
  // Accepted: later pages naming the realm get them without a 401 first, in
  // this run and, stored, in the next.
  Check(200, "Zone", m_a);
  EXPECT_EQ(Ask(m_b, "Zone", false).credentials, Basic("u", "new"));
  m_authen.Load();
  EXPECT_EQ(Ask(m_a, "Zone", false).credentials, Basic("u", "new"));
}

TEST_F(Authen, without_a_front_end_or_after_a_cancel_the_401_stands_for_the_rest_of_the_run) {
  EXPECT_EQ(Ask(m_a, "Zone", true).action, Action::endLoad);  // no prompt installed
  EXPECT_EQ(m_authen.FindOrCreateAndClaim(kServer, "Zone", &m_b)->m_tCheckedAt, kNow);  // released
  Check(0, "Zone", m_b);
  Answer("u", "p");
  EXPECT_EQ(Ask(m_a, "Zone", true).action, Action::endLoad);
  EXPECT_TRUE(m_asked.empty());
  SetCredentialsPrompt([](CredentialsRequest&) -> bool { throw std::runtime_error("no display"); });
  EXPECT_EQ(Ask(m_a, "Other", true).action, Action::endLoad);
}

TEST_F(Authen, the_response_check_records_the_owners_outcome_and_always_releases) {
  for (const auto& [status, accepted] : std::vector<std::pair<int, int>>{
           {200, 1}, {301, 1}, {302, 1}, {304, 1}, {400, 1}, {401, 0}, {404, 5}, {407, 5}, {0, 5}}) {
    const auto zone = m_authen.FindOrCreateAndClaim(kServer, "Zone", &m_a);
    zone->m_nAccepted = 5;  // 5, 7: unchanged
    zone->m_tCheckedAt = 7;
    Check(status, "Zone", m_b);  // not the owner's: nothing
    Check(status, "Zone", m_a);
    EXPECT_EQ(std::make_tuple(zone->m_nAccepted, zone->m_tCheckedAt, zone->m_pOwner),
              std::make_tuple(accepted, accepted == 5 ? 7u : kNow, nullptr))
        << status;
  }
  // A clock stepped back during the run still dates a refusal in this run,
  // so refused credentials are not sent again and again.
  Load({{"Zone", "u", "p"}});
  EXPECT_EQ(Ask(m_a, "Zone", true, false).credentials, Basic("u", "p"));
  Check(401, "Zone", m_a, kRunStart - 100);
  EXPECT_EQ(Ask(m_a, "Zone", true, false).action, Action::endLoad);
}

TEST_F(Authen, two_locations_meeting_one_realm_at_once_ask_the_user_once) {
  std::mutex mutex;
  std::condition_variable changed;
  int retries = 0, prompts = 0;
  // The dialog stays open until the other location has been told to retry.
  SetCredentialsPrompt([&](CredentialsRequest& request) {
    std::unique_lock lock(mutex);
    ++prompts;
    changed.wait_for(lock, std::chrono::seconds(10), [&] { return retries > 0; });
    request.user = "u";
    return true;
  });
  std::latch start(2);
  std::string sent[2];
  auto location = [&](const CAnchor* anchor, std::string* credentials) {
    start.arrive_and_wait();
    auto answer = Ask(*anchor, "Zone", true);
    for (; answer.action == Action::retry; answer = Ask(*anchor, "Zone", true)) {
      std::lock_guard lock(mutex);
      ++retries;
      changed.notify_all();
    }
    *credentials = answer.credentials;
    Check(200, "Zone", *anchor);
  };
  std::thread first(location, &m_a, &sent[0]), second(location, &m_b, &sent[1]);
  first.join();
  second.join();
  EXPECT_EQ(prompts, 1);
  EXPECT_EQ(sent[0] + " " + sent[1], Basic("u", "") + " " + Basic("u", ""));
}

TEST_F(Authen, passwords_survive_save_and_load_and_hostile_names_stay_out_of_the_file) {
  const std::string odd = "[a] \"b\" =c% \xE9", evil = "p\r\n[HKEY_CURRENT_USER\\Evil]\r\n";
  Load({{"Old", "gone", "x"}});
  {
    std::lock_guard lock(m_authen.Mutex());
    m_authen.RememberPasswordLocked(kServer, odd, "us\"er", evil);
    m_authen.RememberPasswordLocked(kServer, "Esc\x1B[2J", "u", "p");
    m_authen.RememberPasswordLocked(kServer, "CASE", "first", "1");
    // Key names ignore case, and one realm name may live on many servers.
    m_authen.RememberPasswordLocked(kServer, "case", "second", "2");
    m_authen.RememberPasswordLocked("http://other:81", "CASE", "third", "3");
  }
  m_authen.FindOrCreateAndClaim(kServer, "Met but never answered", &m_a);
  ASSERT_TRUE(m_authen.Save());
  EXPECT_EQ(hv::reg::SubKeys(kKey), (std::vector<std::string>{"Old", odd, "CASE", "case (http://h:80)",
                                                              "CASE (http://other:81)"}));
  EXPECT_FALSE(hv::reg::KeyExists("Evil"));
  const std::vector<std::uint8_t> file = ReadFile(hv::reg::StorePath());
  EXPECT_EQ(std::find(file.begin(), file.end(), 0x1B), file.end());
  m_authen.Load();
  // Whatever the file holds, what goes into a header is base64 alone.
  EXPECT_EQ(Ask(m_a, odd, false).credentials, Basic("us\"er", evil));
  EXPECT_EQ(Ask(m_a, "CASE", false).credentials, Basic("first", "1"));
  EXPECT_EQ(Ask(m_a, "case", false).credentials, Basic("second", "2"));
  EXPECT_EQ(Ask(m_b, "CASE", false, true, "http://OTHER:81/x").credentials, Basic("third", "3"));
}

TEST_F(Authen, a_realm_name_on_another_server_gets_nothing_and_an_entry_of_no_server_waits_for_the_user) {
  Load({{"Zone", "u", "p"}, {"Old", "was", "kept", ""}});
  for (const char* url : {"http://h:8080/p", "http://other/p", "https://h/p"}) {
    EXPECT_EQ(Ask(m_a, "Zone", false, true, url).credentials, "") << url;
    EXPECT_EQ(Ask(m_a, "Zone", true, false, url).action, Action::endLoad) << url;
  }
  // Sent to a page that a 401 of another server left with its realm.
  const auto redirected = m_authen.CredentialsFor({&m_a, "Zone", true, "http://other/p", "http://h/p", kRunStart,
                                                   kNow, true});
  EXPECT_EQ(std::make_tuple(redirected.action, redirected.credentials, redirected.forgetRealm),
            std::make_tuple(Action::send, std::string(), true));
  // An entry of no server goes nowhere by itself; the user confirming it in
  // a server's prompt binds it to that server.
  EXPECT_EQ(Ask(m_a, "Old", false).credentials, "");
  EXPECT_EQ(Ask(m_a, "Old", true, false).action, Action::endLoad);
  Answer("was", "kept");
  EXPECT_EQ(Ask(m_b, "Old", true, true, "http://h:81/p").credentials, Basic("was", "kept"));
  EXPECT_EQ(m_asked, std::vector<std::string>{"Old http://h:81/p was:kept"});
  m_authen.Load();
  EXPECT_EQ(Ask(m_a, "Old", false, true, "http://h:81/q").credentials, Basic("was", "kept"));
  EXPECT_EQ(Ask(m_b, "Old", false).credentials, "");
  EXPECT_EQ(hv::reg::SubKeys(kKey), (std::vector<std::string>{"Zone", "Old"}));
}

TEST_F(Authen, a_store_unreadable_at_load_is_not_overwritten_by_save) {
  Load({{"Kept", "u", "p"}});
  const std::string path = hv::reg::StorePath(), aside = path + ".aside";
  ASSERT_EQ(std::rename(path.c_str(), aside.c_str()), 0);
  ASSERT_EQ(mkdir(path.c_str(), 0700), 0);  // not a regular file: refused
  m_authen.Load();
  ASSERT_EQ(rmdir(path.c_str()), 0);
  ASSERT_EQ(std::rename(aside.c_str(), path.c_str()), 0);
  Answer("v", "q");
  EXPECT_EQ(Ask(m_a, "New", true).credentials, Basic("v", "q"));  // still usable in this run
  EXPECT_EQ(hv::reg::SubKeys(kKey), std::vector<std::string>{"Kept"});
}

}  // namespace
