// Stored credentials go only to the server whose realm they belong to: not
// to another server naming the same realm, not after a redirect elsewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "engine/http/base64.h"
#include "engine/http/password_store.h"
#include "support/script_server.h"
#include "support/test_home.h"

namespace {

using hv::test::ScriptServer;

bool RunEnded(const std::vector<std::string>& log) {
  return std::find(log.begin(), log.end(), "Progress 2") != log.end();
}

ScriptServer::Script Answer(const std::string& head) {
  return {ScriptServer::ReadRequest(), ScriptServer::Send(head + "\r\n\r\n"), ScriptServer::Close()};
}

class RetrievalAuthentication : public TestHome {};

TEST_F(RetrievalAuthentication, credentials_reach_only_their_server_and_not_a_redirect_target) {
  const std::string challenge = "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"Zone\"";
  // The other server names the same realm; the protected page sends the
  // agent there.
  ScriptServer other(Answer(challenge));
  ScriptServer home(ScriptServer::PerConnection{},
                    {Answer(challenge), Answer("HTTP/1.0 302 Found\r\nLocation: " + other.Url("/landing"))});
  ASSERT_TRUE(hv::http::SavePasswords({{"Zone", hv::http::ServerOf(home.Url("/")), "u", "p"}}));

  CSafNode* agent = CSafClient::CreateAgent("Protected");
  ASSERT_NE(agent, nullptr);
  ASSERT_NE(CSafClient::CreateHTMLNode(agent, "Start", home.Url("/start").c_str(), 0), nullptr);
  ASSERT_EQ(agent->Run(), 1);
  ASSERT_TRUE(m_ui->WaitUntil(RunEnded, std::chrono::seconds(30)));

  const std::string basic = "\r\nAuthorization: Basic " + hv::http::Base64Encode("u:p") + "\r\n";
  const std::vector<std::string> asked = home.Requests(), elsewhere = other.Requests();
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].find("Authorization"), std::string::npos) << asked[0];
  EXPECT_NE(asked[1].find(basic), std::string::npos) << asked[1];
  // Its 401 ends the load: no prompt in tests, and the stored password is not its own.
  ASSERT_EQ(elsewhere.size(), 1u);
  EXPECT_EQ(elsewhere[0].rfind("GET /landing HTTP/1.0\r\n", 0), 0u) << elsewhere[0];
  EXPECT_EQ(elsewhere[0].find("Authorization"), std::string::npos) << elsewhere[0];
}

TEST_F(RetrievalAuthentication, a_location_waiting_for_a_realm_another_holds_does_not_spin) {
  const std::string challenge = "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"Zone\"";
  const std::string page = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<p>in</p>";
  // Both pages are refused at first (neither answer leaves before both
  // were asked for); the first credentials sent are held until the test
  // releases them, and the other location waits its turn.
  const ScriptServer::Script refused = {ScriptServer::ReadRequest(), ScriptServer::WaitForRequests(2),
                                        ScriptServer::Send(challenge + "\r\n\r\n"), ScriptServer::Close()};
  ScriptServer home(ScriptServer::PerConnection{},
                    {refused,
                     refused,
                     {ScriptServer::ReadRequest(), ScriptServer::WaitRelease(), ScriptServer::Send(page),
                      ScriptServer::Close()},
                     {ScriptServer::ReadRequest(), ScriptServer::Send(page), ScriptServer::Close()}});
  ASSERT_TRUE(hv::http::SavePasswords({{"Zone", hv::http::ServerOf(home.Url("/")), "u", "p"}}));
  CSafNode* agent = CSafClient::CreateAgent("Shared");
  ASSERT_NE(agent, nullptr);
  ASSERT_NE(CSafClient::CreateHTMLNode(agent, "One", home.Url("/one").c_str(), 0), nullptr);
  ASSERT_NE(CSafClient::CreateHTMLNode(agent, "Two", home.Url("/two").c_str(), 0), nullptr);
  ASSERT_EQ(agent->Run(), 1);
  ASSERT_TRUE(home.WaitRequests(3));
  const auto queued = [this] { return m_ui->CountLog("Queued One") + m_ui->CountLog("Queued Two"); };
  const int before = queued();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const int during = queued() - before;
  home.Release();
  ASSERT_TRUE(m_ui->WaitUntil(RunEnded, std::chrono::seconds(30)));
  // A few asks a second, not a queue spinning as fast as the workers run.
  EXPECT_LE(during, 20);
  const std::vector<std::string> asked = home.Requests();
  ASSERT_EQ(asked.size(), 4u);
  EXPECT_NE(asked[3].find("Authorization: Basic"), std::string::npos) << asked[3];
}

}  // namespace
