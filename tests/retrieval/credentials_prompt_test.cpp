// The user is asked for a realm's password while the run goes on: the page
// waits for the answer, every other page loads meanwhile (on one worker),
// and the page is asked for again with the answer.
#include <atomic>
#include <latch>
#include <optional>

#include "harvion/dialogs.h"
#include "platform/registry/registry.h"
#include "retrieval/end_to_end.h"

namespace {

using namespace hvtest::e2e;

constexpr int kLeaves = 20;
const std::string kPasswordsKey = "Software\\Tessarine\\Harvion Plugin\\3.0\\Authentication";

// What the user types into one prompt: a password, or nothing for Cancel.
struct Reply {
  std::optional<std::string> password;
  bool remember = true;
};

int LeavesLoaded(const std::vector<std::string>& log) {
  return static_cast<int>(
      std::count_if(log.begin(), log.end(), [](const std::string& e) { return e.rfind("Loaded Leaf ", 0) == 0; }));
}

class CredentialsPrompt : public RetrievalEndToEnd {
 protected:
  void SetUp() override {
    RetrievalEndToEnd::SetUp();
    if (IsSkipped()) return;
    Page open("Open");
    for (int i = 0; i < kLeaves; ++i) {
      m_site->WritePage("open/p" + std::to_string(i) + ".html", Page("Leaf " + std::to_string(i)));
      open.links.push_back("p" + std::to_string(i) + ".html");
    }
    m_site->WritePage("open/index.html", open);
    m_site->WritePage("auth/index.html", Page("Inside"));
    ASSERT_TRUE(m_nginx->WritePasswordFile("htpasswd", "tester", "s3cret"));
    Serve("    location /auth/ { auth_basic \"Harvion Test\"; auth_basic_user_file " + m_nginx->Path("htpasswd") +
          "; }\n");
    // One worker: a prompt that held it, or the engine's lock, would stop
    // every other page.
    EngineApp& app = EngineApp::Instance();
    ASSERT_TRUE(app.SetConnections(1, app.m_nTimeout, false, ""));
  }
  void TearDown() override {
    SetCredentialsPrompt(nullptr);
    RetrievalEndToEnd::TearDown();
  }

  // An agent with the protected page first and the open site after it.
  CSafNode* MakeAgent(const std::string& name) {
    CSafNode* agent = NewAgent(name.c_str());
    if (!agent) return nullptr;
    const unsigned long oneLevel =
        CSafClient::PackLoadInfo(CUINode::ldTextAndGraphics, CUINode::ltWithinSite, 1, 2, 1, 0, 0);
    AddLocation(agent, "Inside", "auth/index.html", oneLevel);
    AddLocation(agent, "Open", "open/index.html", oneLevel);
    return agent;
  }

  // Answers the prompts with the replies in turn; the first waits until
  // every open page has loaded. Each prompt is noted as "user:password"
  // offered.
  void AnswerWith(std::vector<Reply> replies) {
    // The engine calls a copy of the prompt: the count lives outside it.
    auto asked = std::make_shared<std::size_t>(0);
    SetCredentialsPrompt([this, replies, asked](CredentialsRequest& request) {
      const std::size_t next = (*asked)++;
      m_offered.push_back(request.realm + " " + request.user + ":" + request.password);
      EXPECT_EQ(request.url, Url("auth/index.html"));
      if (next == 0) {
        const int loaded = m_leavesBefore + kLeaves;
        EXPECT_TRUE(m_ui->WaitUntil([loaded](const auto& log) { return LeavesLoaded(log) >= loaded; }, kRunLimit))
            << "the other pages did not load while the user was asked";
      }
      if (next >= replies.size() || !replies[next].password) return false;
      request.user = "tester";
      request.password = *replies[next].password;
      request.remember = replies[next].remember;
      return true;
    });
  }

  std::vector<std::string> m_offered;
  int m_leavesBefore = 0;  // loaded in earlier runs of the test
};

TEST_F(CredentialsPrompt, the_page_waits_for_the_answer_while_the_others_load) {
  const struct {
    const char* name;
    std::vector<Reply> replies;
    std::vector<std::string> offered;
    int refused, served;
    bool remembered;
  } cases[] = {
      {"right", {{"s3cret", true}}, {"Harvion Test :"}, 1, 1, true},
      {"wrong then right", {{"wrong", false}, {"s3cret", false}}, {"Harvion Test :", "Harvion Test tester:wrong"}, 2, 1,
       false},
      {"cancelled", {{std::nullopt}}, {"Harvion Test :"}, 1, 0, false},
      {"wrong then cancelled", {{"wrong", true}, {std::nullopt}}, {"Harvion Test :", "Harvion Test tester:wrong"}, 2,
       0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(hv::http::SavePasswords({}));
    m_offered.clear();
    AnswerWith(c.replies);
    const std::size_t first = m_nginx->AccessLog().size();
    m_leavesBefore = LeavesLoaded(m_ui->LogCopy());
    CSafNode* agent = MakeAgent(c.name);
    ASSERT_NE(agent, nullptr);
    ASSERT_TRUE(RunAndWait(agent));
    const auto requests = Requests(first);
    EXPECT_EQ(m_offered, c.offered);
    EXPECT_EQ(CountRequests(requests, "auth/index.html", "401"), c.refused);
    EXPECT_EQ(CountRequests(requests, "auth/index.html", "200"), c.served);
    EXPECT_EQ(Stored(Records(), "auth/index.html"), c.served == 1);
    // Only what the user chose to remember is stored, right or wrong.
    EXPECT_EQ(hv::reg::SubKeys(kPasswordsKey),
              c.remembered ? std::vector<std::string>{"Harvion Test"} : std::vector<std::string>{});
    EXPECT_EQ(LeavesLoaded(m_ui->LogCopy()), m_leavesBefore + kLeaves);
    CAgentManager::Instance().Close(false);
  }
}

TEST_F(CredentialsPrompt, a_stop_while_the_user_is_asked_withdraws_the_question_and_ends_the_run) {
  std::latch shown(1), answered(1);
  std::atomic<bool> sawWithdrawn{false};
  SetCredentialsPrompt([&](CredentialsRequest& request) {
    shown.count_down();
    const auto limit = std::chrono::steady_clock::now() + kRunLimit;
    while (!(request.withdrawn && *request.withdrawn) && std::chrono::steady_clock::now() < limit)
      std::this_thread::sleep_for(10ms);
    sawWithdrawn = request.withdrawn && *request.withdrawn;
    // A late OK is nobody's: neither sent nor stored.
    request.user = "tester";
    request.password = "s3cret";
    answered.count_down();
    return true;
  });
  CSafNode* agent = MakeAgent("Stopped");
  ASSERT_NE(agent, nullptr);
  ASSERT_EQ(agent->Run(), 1);
  shown.wait();
  CSafClient::HTTPShutdown();
  ASSERT_TRUE(m_ui->WaitUntil([](const auto& log) { return std::count_if(log.begin(), log.end(), IsRunEnd) == 1; },
                              kRunLimit));
  answered.wait();
  EXPECT_TRUE(sawWithdrawn);
  EXPECT_EQ(CountRequests(Requests(), "auth/index.html", "200"), 0);
  EXPECT_FALSE(Stored(Records(), "auth/index.html"));
  EXPECT_EQ(hv::reg::SubKeys(kPasswordsKey), std::vector<std::string>{});
}

}  // namespace
