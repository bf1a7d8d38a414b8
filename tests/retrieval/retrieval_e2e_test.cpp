// Agents run against nginx over generated sites: what was requested (the
// server's access log), what the agent folder holds afterwards, and that
// every stored page links to stored files or to absolute addresses.
#include "retrieval/end_to_end.h"

namespace {

// The fixture's namespace brings its names: the server, the site builder,
// Page and the time literals.
using namespace hvtest::e2e;

// ------------------------------------------------------------ one site, many rules

// Levels 2 from index.html: a, b, frames (1); a2, f1deep (0, frames cost no
// level); a3 and f1deeper lie beyond. Links to another host, an excluded type
// and an excluded location are never asked for.
class SiteWalk : public RetrievalEndToEnd {
 protected:
  void BuildSite() {
    const std::string other = "http://localhost:" + std::to_string(m_nginx->Port()) + "/other.html";
    m_site->WritePage("index.html", Page("Home",
                                         {"a.html", "a.html", "b.html", "frames.html", other, "archive.zip",
                                          "private/secret.html", "old.html", "missing.html"},
                                         {"logo.gif"}));
    m_site->WritePage("a.html", Page("A", {"a2.html", "index.html"}, {"logo.gif"}));
    m_site->WritePage("a2.html", Page("A2", {"a3.html"}));
    m_site->WritePage("a3.html", Page("A3"));
    m_site->WritePage("b.html", Page("B", {"a.html"}, {}, "first text"));
    m_site->WritePage("frames.html", Page::Frameset("Frames", {"f1.html", "f2.html"}));
    m_site->WritePage("f1.html", Page("F1", {"f1deep.html"}));
    m_site->WritePage("f2.html", Page("F2"));
    m_site->WritePage("f1deep.html", Page("F1 deep", {"f1deeper.html"}));
    m_site->WritePage("f1deeper.html", Page("F1 deeper"));
    m_site->WritePage("other.html", Page("Other host"));
    m_site->WritePage("new.html", Page("New"));
    m_site->WritePage("private/secret.html", Page("Secret"));
    m_site->Write("archive.zip", "PK\x05\x06 not really an archive");
    m_site->Write("logo.gif", SiteBuilder::Gif());
    // Under text only: a linked image is fetched and dropped, an inline one never asked for.
    m_site->WritePage("t/index.html", Page("Text", {"photo.gif"}, {"inline.gif"}));
    m_site->Write("t/photo.gif", SiteBuilder::Gif());
    m_site->Write("t/inline.gif", SiteBuilder::Gif());
    Serve("    location = /old.html { return 301 /new.html; }\n");
  }

  // The agent: the site with an excluded type and location, the excluded
  // location added by the user, and a text-only location.
  void MakeAgent(const char* name = "Walk") {
    m_agent = NewAgent(name);
    ASSERT_NE(m_agent, nullptr);
    Agent()->m_fileTypes.Add(std::make_unique<CExceptionEntry>("No archives", CUINode::ldTextAndGraphics, "ZIP\r\n",
                                                               CExceptionEntry::kUserPermissions));
    Agent()->m_locations.Add(std::make_unique<CExceptionEntry>(
        "Not private", CUINode::ltWithinSite, Url("private/SECRET.html") + "\r\n", CExceptionEntry::kUserPermissions));
    const unsigned long excluding = CSafClient::PackLoadInfo(CUINode::ldTextAndGraphics, CUINode::ltWithinSite, 2,
                                                             4, 5, 0, 0);
    AddLocation(m_agent, "Site", "index.html", excluding);
    AddLocation(m_agent, "Secret", "private/secret.html", excluding);
    AddLocation(m_agent, "Text", "t/index.html",
                CSafClient::PackLoadInfo(CUINode::ldTextOnly, CUINode::ltWithinSite, 1, CUINode::ldTextOnly,
                                         CUINode::ltWithinSite, 0, 0));
  }

  CSafNode* m_agent = nullptr;
};

TEST_F(SiteWalk, first_run_follows_levels_frames_strategies_and_exclusions) {
  BuildSite();
  MakeAgent();
  ASSERT_TRUE(RunAndWait(m_agent));
  const auto records = Records();
  const auto requests = Requests();

  for (const char* path : {"index.html", "a.html", "a2.html", "b.html", "frames.html", "f1.html", "f2.html",
                           "f1deep.html", "logo.gif", "new.html", "t/index.html"}) {
    SCOPED_TRACE(path);
    EXPECT_TRUE(Stored(records, path));
    EXPECT_EQ(CountRequests(requests, path), 1) << "fetched once, however often it is linked";
  }
  EXPECT_EQ(ReadAll(StoredPath(records.at(Url("logo.gif")))), SiteBuilder::Gif());
  const struct {
    const char* path;
    const char* why;
  } never[] = {{"a3.html", "three levels down"},       {"f1deeper.html", "three levels down past a frame"},
               {"other.html", "on another host"},      {"archive.zip", "an excluded type"},
               {"private/secret.html", "an excluded location, also as a location of its own"},
               {"t/inline.gif", "an inline image under text only"}};
  std::string served;
  for (const std::string& line : requests) served += "\n  " + line;
  for (const auto& n : never) {
    EXPECT_EQ(CountRequests(requests, n.path), 0) << n.path << ": " << n.why << "; requests:" << served;
    EXPECT_FALSE(Stored(records, n.path)) << n.path;
  }

  // The redirected page lives under its new address; the 404 leaves nothing stored.
  EXPECT_EQ(CountRequests(requests, "old.html", "301"), 1);
  EXPECT_FALSE(Stored(records, "old.html"));
  EXPECT_EQ(CountRequests(requests, "missing.html", "404"), 1);
  EXPECT_FALSE(Stored(records, "missing.html"));
  // A linked image under text only is asked for, refused by its type, and not kept.
  EXPECT_LE(CountRequests(requests, "t/photo.gif"), 1);
  EXPECT_FALSE(Stored(records, "t/photo.gif"));
  ExpectLinksResolve();
}

TEST_F(SiteWalk, second_run_asks_if_modified_and_finds_changes_and_removals) {
  BuildSite();
  MakeAgent();
  ASSERT_TRUE(RunAndWait(m_agent));
  const std::size_t firstRun = m_nginx->AccessLog().size();
  const auto before = Records();
  ASSERT_TRUE(Stored(before, "a2.html"));
  const std::string a2File = StoredPath(before.at(Url("a2.html")));

  m_site->m_tDate = std::time(nullptr) + 60;
  m_site->WritePage("b.html", Page("B", {"a.html"}, {}, "second text"));
  m_site->Remove("a2.html");
  const auto secondStart = static_cast<std::uint32_t>(std::time(nullptr));
  ASSERT_TRUE(RunAndWait(m_agent));
  const auto records = Records();
  const auto requests = Requests(firstRun);

  std::string served;
  for (const std::string& line : requests) served += "\n  " + line;
  SCOPED_TRACE("second run's requests:" + served);
  // Unchanged pages come as 304 without a body; their children, f1deep two
  // frames down among them, are made again from the stored links.
  for (const char* path : {"index.html", "a.html", "frames.html", "f1.html", "f2.html", "f1deep.html", "logo.gif"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(CountRequests(requests, path, "304"), 1);
    EXPECT_EQ(CountRequests(requests, path), 1);
    EXPECT_TRUE(Stored(records, path));
    if (records.count(Url(path))) {
      EXPECT_EQ(records.at(Url(path)).modified, 0);
    }
  }
  // A copy showing the placeholder image is fetched whole, for the image may be wanted now.
  EXPECT_EQ(CountRequests(requests, "t/index.html", "200"), 1);
  // The image it links to, refused under text only, is not sent again.
  EXPECT_EQ(CountRequests(requests, "t/photo.gif", "304"), 1);
  EXPECT_EQ(CountRequests(requests, "b.html", "200"), 1);
  ASSERT_TRUE(Stored(records, "b.html"));
  EXPECT_EQ(records.at(Url("b.html")).modified, 1);
  EXPECT_NE(ReadAll(StoredPath(records.at(Url("b.html")))).find("second text"), std::string::npos);

  EXPECT_EQ(CountRequests(requests, "a2.html", "404"), 1);
  ASSERT_TRUE(records.count(Url("a2.html")));
  EXPECT_EQ(records.at(Url("a2.html")).state, 0);
  EXPECT_GE(records.at(Url("a2.html")).stateChangedAt, secondStart);
  EXPECT_NE(::access(a2File.c_str(), F_OK), 0) << "the stored copy of a removed page is deleted";
  // a.html came unchanged: its copy is written anew to name a2 by its address.
  ASSERT_TRUE(Stored(records, "a.html"));
  const std::string a = ReadAll(StoredPath(records.at(Url("a.html"))));
  EXPECT_NE(a.find("HREF=\"" + Url("a2.html") + "\""), std::string::npos) << a;

  ExpectLinksResolve();
}

// With keep-alive on, against a server that keeps connections and sends
// gzip, the walk stores the same pages decoded over no more connections
// than workers, and the second run's answers without a body keep them too.
TEST_F(SiteWalk, kept_connections_and_gzip_answers_give_the_same_walk) {
  m_bKeepingServer = true;
  ASSERT_EQ(CEngineSettings::Change("keep-alive", "on"), "");
  BuildSite();
  MakeAgent();
  const auto connections = [](const std::vector<std::string>& lines) {
    std::set<std::string> numbers;
    for (const std::string& line : lines) numbers.insert(line.substr(line.rfind(' ') + 1));
    return numbers.size();
  };
  const auto workers = static_cast<std::size_t>(EngineApp::Instance().m_nThreads);
  ASSERT_TRUE(RunAndWait(m_agent));
  const auto records = Records();
  for (const char* path : {"index.html", "a.html", "a2.html", "b.html", "frames.html", "f1deep.html", "logo.gif"}) {
    EXPECT_TRUE(Stored(records, path)) << path;
  }
  EXPECT_EQ(ReadAll(StoredPath(records.at(Url("logo.gif")))), SiteBuilder::Gif());
  EXPECT_NE(ReadAll(StoredPath(records.at(Url("b.html")))).find("first text"), std::string::npos);
  const std::size_t firstRun = m_nginx->AccessLog().size();
  EXPECT_LE(connections(Requests()), workers) << firstRun << " requests";

  ASSERT_TRUE(RunAndWait(m_agent));
  const auto second = Requests(firstRun);
  for (const char* path : {"index.html", "a.html", "frames.html", "f1deep.html", "logo.gif"}) {
    EXPECT_EQ(CountRequests(second, path, "304"), 1) << path;
  }
  EXPECT_LE(connections(second), workers) << second.size() << " requests";
  ExpectLinksResolve();
}

// Runs follow each other within a second: a stop with no run going changes
// nothing, and a second agent's second run asks again for every page its
// first stored.
TEST_F(SiteWalk, back_to_back_runs_of_a_second_agent_ask_for_every_stored_page) {
  BuildSite();
  MakeAgent();
  ASSERT_TRUE(RunAndWait(m_agent));
  CSafClient::HTTPShutdown();
  CAgentManager::Instance().Close(false);
  MakeAgent("Walk again");
  ASSERT_TRUE(RunAndWait(m_agent));
  const std::size_t firstRun = m_nginx->AccessLog().size();
  ASSERT_TRUE(RunAndWait(m_agent));
  const auto requests = Requests(firstRun);
  std::string served;
  for (const std::string& line : requests) served += "\n  " + line;
  for (const char* path : {"index.html", "a.html", "b.html", "frames.html", "f1deep.html"})
    EXPECT_EQ(CountRequests(requests, path, "304"), 1) << path << "; requests:" << served;
}

// A page the server lost and has again with its old date is fetched whole:
// the empty file made for it before the answer is no copy to keep.
TEST_F(RetrievalEndToEnd, page_back_with_its_old_date_is_fetched_whole) {
  m_site->WritePage("index.html", Page("Home", {"back.html"}));
  m_site->WritePage("back.html", Page("Back", {}, {}, "the text"));
  Serve();
  CSafNode* agent = NewAgent("Back");
  ASSERT_NE(agent, nullptr);
  AddLocation(agent, "Home", "index.html",
              CSafClient::PackLoadInfo(CUINode::ldTextOnly, CUINode::ltWithinSite, 2, CUINode::ldTextOnly,
                                       CUINode::ltWithinSite, 0, 0));
  ASSERT_TRUE(RunAndWait(agent));
  m_site->Remove("back.html");
  ASSERT_TRUE(RunAndWait(agent));
  m_site->WritePage("back.html", Page("Back", {}, {}, "the text"));
  ASSERT_TRUE(RunAndWait(agent));
  ASSERT_TRUE(RunAndWait(agent));

  std::vector<std::string> answers;
  for (const std::string& line : Requests())
    if (line.rfind("GET /back.html ", 0) == 0) answers.push_back(line.substr(15, 3));
  EXPECT_EQ(answers, (std::vector<std::string>{"200", "404", "200", "304"}));
  const auto records = Records();
  ASSERT_TRUE(Stored(records, "back.html"));
  EXPECT_NE(ReadAll(StoredPath(records.at(Url("back.html")))).find("the text"), std::string::npos);
}

// A page grown past the page size limit fails; the copy stored before stays
// whole, with the title and date that describe it.
TEST_F(RetrievalEndToEnd, page_past_the_size_limit_keeps_its_copy) {
  m_site->WritePage("grows.html", Page("Small", {}, {}, "the first text"));
  Serve();
  CSafNode* agent = NewAgent("Grows");
  ASSERT_NE(agent, nullptr);
  AddLocation(agent, "Grows", "grows.html",
              CSafClient::PackLoadInfo(CUINode::ldTextOnly, CUINode::ltWithinSite, 0, CUINode::ldTextOnly,
                                       CUINode::ltWithinSite, 0, 0));
  ASSERT_TRUE(RunAndWait(agent));
  const HvCacheRecord before = Records().at(Url("grows.html"));
  ASSERT_EQ(CEngineSettings::Change("max-page-size", "64"), "");
  m_site->m_tDate = std::time(nullptr) + 60;
  m_site->WritePage("grows.html", Page("Large", {}, {}, std::string(512 * 1024, 'x')));
  ASSERT_TRUE(RunAndWait(agent));

  const auto records = Records();
  ASSERT_TRUE(Stored(records, "grows.html"));
  const HvCacheRecord& after = records.at(Url("grows.html"));
  EXPECT_NE(ReadAll(StoredPath(after)).find("the first text"), std::string::npos);
  EXPECT_EQ(after.statusText, "larger than the page size limit of 64 KB");
  EXPECT_EQ(after.title, "Small");
  EXPECT_EQ(after.lastModified, before.lastModified);
}

// ------------------------------------------------------------ location strategies

// One page linking beside itself, down into a folder, up to the root and to
// another host (the same server by another name, which is another site);
// each strategy in an agent of its own. Within a directory, the link must
// lie in the page's directory or below it: beside it and down, never up.
TEST_F(RetrievalEndToEnd, location_strategies_choose_the_links_followed) {
  m_site->WritePage("top.html", Page("Top"));
  m_site->WritePage("d/next.html", Page("Next"));
  m_site->WritePage("d/sub/in.html", Page("In"));
  m_site->WritePage("d/far.html", Page("Far"));
  Serve();  // the port, known from now, goes into the link to the other host
  m_site->WritePage("d/index.html",
                    Page("Start", {"next.html", "sub/in.html", "../top.html",
                                   "http://localhost:" + std::to_string(m_nginx->Port()) + "/d/far.html"}));
  const struct {
    int linkType;
    int next, in, top, far;
  } cases[] = {{CUINode::ltUnrestricted, 1, 1, 1, 1},    {CUINode::ltWithinSite, 1, 1, 1, 0},
               {CUINode::ltWithinDirectory, 1, 1, 0, 0}, {CUINode::ltOutsideSite, 0, 0, 0, 1},
               {CUINode::ltInsideServer, 1, 1, 1, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE("link type " + std::to_string(c.linkType));
    const std::size_t first = m_nginx->AccessLog().size();
    const std::string name = "Strategy " + std::to_string(c.linkType);
    CSafNode* agent = NewAgent(name.c_str());
    ASSERT_NE(agent, nullptr);
    AddLocation(agent, "Start", "d/index.html",
                CSafClient::PackLoadInfo(CUINode::ldTextOnly, c.linkType, 1, CUINode::ldTextOnly, c.linkType, 0, 0));
    ASSERT_TRUE(RunAndWait(agent));
    const auto requests = Requests(first);
    EXPECT_EQ(CountRequests(requests, "d/index.html"), 1);
    EXPECT_EQ(CountRequests(requests, "d/next.html"), c.next);
    EXPECT_EQ(CountRequests(requests, "d/sub/in.html"), c.in);
    EXPECT_EQ(CountRequests(requests, "top.html"), c.top);
    EXPECT_EQ(CountRequests(requests, "d/far.html"), c.far);
    CAgentManager::Instance().Close(false);
  }
}

// ------------------------------------------------------------ authentication

TEST_F(RetrievalEndToEnd, basic_authentication_uses_the_stored_realm_password) {
  m_site->WritePage("auth/index.html", Page("Inside", {"page.html"}));
  m_site->WritePage("auth/page.html", Page("Inside too"));
  ASSERT_TRUE(m_nginx->WritePasswordFile("htpasswd", "tester", "s3cret"));
  Serve("    location /auth/ { auth_basic \"Harvion Test\"; auth_basic_user_file " + m_nginx->Path("htpasswd") +
        "; }\n");
  {
    CAuthen& authen = CAuthen::Instance();
    std::lock_guard lock(authen.Mutex());
    authen.RememberPasswordLocked(hv::http::ServerOf(Url("auth/")), "Harvion Test", "tester", "s3cret");
  }
  ASSERT_TRUE(CAuthen::Instance().Save());
  CSafNode* agent = NewAgent("Auth");
  ASSERT_NE(agent, nullptr);
  AddLocation(agent, "Inside", "auth/index.html",
              CSafClient::PackLoadInfo(CUINode::ldTextAndGraphics, CUINode::ltWithinSite, 1, 2, 1, 0, 0));
  ASSERT_TRUE(RunAndWait(agent));
  const auto records = Records();
  const auto requests = Requests();
  EXPECT_EQ(CountRequests(requests, "auth/index.html", "401"), 1);
  EXPECT_EQ(CountRequests(requests, "auth/index.html", "200"), 1);
  EXPECT_EQ(CountRequests(requests, "auth/page.html", "200"), 1);
  ASSERT_TRUE(Stored(records, "auth/page.html"));
  EXPECT_NE(ReadAll(StoredPath(records.at(Url("auth/page.html")))).find("Inside too"), std::string::npos);
}

// ------------------------------------------------------------ stopping

// Sixty pages of 8 KiB under a limit of 64 KiB: the run stops well before the end.
TEST_F(RetrievalEndToEnd, size_limit_stops_the_run) {
  Page index("Many");
  for (int i = 0; i < 60; ++i) {
    const std::string name = "p" + std::to_string(i) + ".html";
    index.links.push_back(name);
    m_site->WritePage("many/" + name, Page("Page " + std::to_string(i), {}, {}, std::string(8192, 'x')));
  }
  m_site->WritePage("many/index.html", index);
  Serve();
  CSafNode* agent = NewAgent("Limit");
  ASSERT_NE(agent, nullptr);
  Agent()->m_nSizeLimit = 64;
  AddLocation(agent, "Many", "many/index.html",
              CSafClient::PackLoadInfo(CUINode::ldTextAndGraphics, CUINode::ltWithinSite, 1, 2, 1, 0, 0));
  ASSERT_TRUE(RunAndWait(agent));
  int stored = 0;
  for (const auto& [address, record] : Records()) stored += record.state == 3 ? 1 : 0;
  EXPECT_GE(stored, 7) << "the limit is reached only after eight pages";
  EXPECT_LT(stored, 30) << "the run went on past its size limit";
  EXPECT_LT(Requests().size(), 40u);
}

// Every page a limit leaves unfetched is counted: each of the forty pages
// the index links is either stored or counted, once, under its limit; a
// chain of pages below a location already 1021 levels deep leaves one page
// too deep for the tree (its own link is never seen).
TEST_F(RetrievalEndToEnd, limits_count_the_pages_they_leave_unfetched) {
  Page index("Many");
  for (int i = 0; i < 40; ++i) {
    const std::string name = "p" + std::to_string(i) + ".html";
    index.links.push_back(name);
    m_site->WritePage("many/" + name, Page("Page " + std::to_string(i), {}, {}, std::string(8192, 'x')));
  }
  m_site->WritePage("many/index.html", index);
  for (int i = 0; i < 6; ++i)
    m_site->WritePage("chain/c" + std::to_string(i) + ".html", Page("C", {"c" + std::to_string(i + 1) + ".html"}));
  Serve();
  const unsigned long allLevels = CSafClient::PackLoadInfo(CUINode::ldTextAndGraphics, CUINode::ltWithinSite, 127,
                                                           2, 1, 0, 0);
  struct Case {
    const char* agent;
    unsigned HvRunLimits::*count;
    int linked;      // pages the limit may leave out; -1: it leaves out exactly...
    unsigned exact;  // ...so many
  };
  const Case cases[] = {
      {"Keys", &HvRunLimits::keyLimit, 40, 0},
      {"Size", &HvRunLimits::sizeLimit, 40, 0},
      {"Depth", &HvRunLimits::depthLimit, -1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.agent);
    CSafNode* agent = NewAgent(c.agent);
    ASSERT_NE(agent, nullptr);
    if (c.count == &HvRunLimits::depthLimit) {
      CSafNode* parent = agent;
      for (int depth = 1; depth <= 1020; ++depth) parent = CSafClient::CreateCategoryNode(parent, "F", 0);
      ASSERT_NE(parent, nullptr);
      AddLocation(parent, "Chain", "chain/c0.html", allLevels);
    } else {
      AddLocation(agent, "Many", "many/index.html", allLevels);
    }
    if (c.count == &HvRunLimits::keyLimit) CAgentManager::Instance().Cache()->SetKeyLimit(10);
    if (c.count == &HvRunLimits::sizeLimit) Agent()->m_nSizeLimit = 64;
    ASSERT_TRUE(RunAndWait(agent));
    const HvRunLimits limits = GetRunLimits();
    EXPECT_EQ(limits.Total(), limits.*c.count) << "another limit counted pages";
    if (c.linked < 0) {
      EXPECT_EQ(limits.*c.count, c.exact);
    } else {
      // Every page is stored or counted, once: the linked ones and the
      // index, which a stop may also cut short while its links run.
      int stored = 0;
      for (const auto& [address, record] : Records())
        stored += record.state == 3 && address.find("/many/") != std::string::npos ? 1 : 0;
      EXPECT_GT(stored, 1);
      EXPECT_GT(limits.*c.count, 0u);
      EXPECT_EQ(stored + static_cast<int>(limits.*c.count), c.linked + 1);
    }
    // The count stays with the agent, until a run leaves nothing out.
    ASSERT_EQ(CSafClient::LoadAgentFile(c.agent, 1), 1);
    EXPECT_EQ(GetRunLimits().*c.count, limits.*c.count);
    if (c.count != &HvRunLimits::keyLimit) continue;
    ASSERT_TRUE(RunAndWait(CAgentManager::Instance().Agent()->m_pNode));
    EXPECT_EQ(GetRunLimits().Total(), 0u);
    ASSERT_EQ(CSafClient::LoadAgentFile(c.agent, 1), 1);
    EXPECT_EQ(GetRunLimits().Total(), 0u);
  }
}

// A page trickling in at 64 KiB/s is cut off: it stays as an interrupted copy.
TEST_F(RetrievalEndToEnd, shutdown_mid_page_leaves_an_interrupted_copy) {
  m_site->WritePage("slow/index.html", Page("Slow", {"big.html"}));
  // The stored copy grows at each link rewritten, so the page needs links throughout.
  std::string body;
  while (body.size() < (4u << 20)) body += std::string(4000, 'y') + "<A HREF=\"#top\">top</A>\n";
  m_site->WritePage("slow/big.html", Page("Big", {}, {}, body));
  Serve("    location = /slow/big.html { limit_rate 64k; }\n");
  CSafNode* agent = NewAgent("Stop");
  ASSERT_NE(agent, nullptr);
  AddLocation(agent, "Slow", "slow/index.html",
              CSafClient::PackLoadInfo(CUINode::ldTextAndGraphics, CUINode::ltWithinSite, 1, 2, 1, 0, 0));
  const auto ends = [](const std::vector<std::string>& log) { return std::any_of(log.begin(), log.end(), IsRunEnd); };
  ASSERT_EQ(agent->Run(), 1);
  // Polled: nothing tells a test that bytes of one page reached the disk. The
  // copy being written sits beside the stored ones until it is complete.
  const std::string folder = CAgentManager::Instance().AgentFolderPath(m_agentName);
  const auto folderBytes = [&] {
    std::uintmax_t bytes = 0;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         !error && it != std::filesystem::end(it); it.increment(error))
      if (it->is_regular_file(error)) bytes += it->file_size(error);
    return bytes;
  };
  const auto limit = std::chrono::steady_clock::now() + kRunLimit;
  bool receiving = false;
  while (!receiving && std::chrono::steady_clock::now() < limit && !ends(m_ui->LogCopy())) {
    receiving = folderBytes() > 100000;
    if (!receiving) std::this_thread::sleep_for(20ms);
  }
  if (!receiving) {
    std::string seen;
    for (const auto& [address, record] : Records())
      seen += "\n  " + address + " state " + std::to_string(record.state) + " file " + record.localFile + " " +
              std::to_string(hv::fs::FileSize(StoredPath(record)));
    for (const std::string& line : Requests()) seen += "\n  " + line;
    FAIL() << "the big page never started to arrive; the run " << (ends(m_ui->LogCopy()) ? "ended" : "goes on")
           << seen;
  }
  CSafClient::HTTPShutdown();
  ASSERT_TRUE(m_ui->WaitUntil(ends, kRunLimit)) << "the run did not end after the shutdown";
  const auto records = Records();
  const HvCacheRecord& big = records.at(Url("slow/big.html"));
  EXPECT_EQ(big.state, 2);
  std::string text = ReadAll(StoredPath(big));
  if (!text.empty() && text.back() == '\0') text.pop_back();
  const std::string tail = "<H2>Transfer Interrupted</H2></HTML>";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  EXPECT_TRUE(Stored(records, "slow/index.html"));
}

// A file-size limit makes the big page's writes fail as on a full disk. The
// run happens in a process of its own (this program again, running only the
// test below), which alone gets the limit; the index it leaves must load, and
// everything it calls stored must be there.
TEST_F(RetrievalEndToEnd, full_disk_stops_the_run_and_keeps_the_index_whole) {
  // An object cut short by the full disk must not be called complete either.
  Page index("Full", {"big.html"}, {"big.gif"});
  for (int i = 0; i < 10; ++i) {
    index.links.push_back("s" + std::to_string(i) + ".html");
    m_site->WritePage("full/s" + std::to_string(i) + ".html", Page("Small " + std::to_string(i)));
  }
  m_site->WritePage("full/index.html", index);
  m_site->WritePage("full/big.html", Page("Big", {}, {}, std::string(512 << 10, 'z')));
  m_site->Write("full/big.gif", "GIF89a" + std::string(512 << 10, 'g'));
  Serve();
  const std::string location = Url("full/index.html");
  const std::string output = m_nginx->Path("child.out");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, 1);
    ::dup2(out, 2);
    ::setenv("HV_FULL_DISK_URL", location.c_str(), 1);
    ::execl("/proc/self/exe", "hvtests", "--gtest_filter=RetrievalFullDiskChild.*", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  const auto limit = std::chrono::steady_clock::now() + 2 * kRunLimit;
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > limit) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      FAIL() << "the run under a full disk did not end:\n" << ReadAll(output);
    }
    std::this_thread::sleep_for(20ms);
  }
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the run under a full disk failed:\n"
                                                              << ReadAll(output);

  m_agentName = "Full";
  ASSERT_EQ(CSafClient::LoadAgentFile("Full", 1), 1);
  const auto records = Records();
  ASSERT_TRUE(records.count(location)) << "the index lost the location's page";
  EXPECT_TRUE(Stored(records, "full/index.html"));
  for (const auto& [address, record] : records) {
    if (record.state != 3) continue;
    EXPECT_EQ(::access(StoredPath(record).c_str(), F_OK), 0) << address << " is called stored but has no file";
  }
  ASSERT_TRUE(records.count(Url("full/big.html")));
  for (const char* big : {"full/big.html", "full/big.gif"}) {
    ASSERT_TRUE(records.count(Url(big))) << big;
    EXPECT_NE(records.at(Url(big)).state, 3) << big << " cut short by the full disk is called complete";
  }
}

// The full-disk run, in the Harvion folder of the test that starts it.
TEST(RetrievalFullDiskChild, run_under_a_file_size_limit) {
  const char* location = std::getenv("HV_FULL_DISK_URL");
  if (!location) GTEST_SKIP() << "started by full_disk_stops_the_run_and_keeps_the_index_whole";
  ::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{128 << 10, 128 << 10};
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  EngineApp::Instance().InitInstance();
  CAgentManager::Instance().ResetDirectories();
  RecordingUIClient ui;
  CSafClient::GetSafClient()->Connect(&ui);
  CSafNode* agent = CSafClient::CreateAgent("Full");
  ASSERT_NE(agent, nullptr);
  CSafNode* node = CSafClient::CreateHTMLNode(agent, "Full", location, 0);
  ASSERT_NE(node, nullptr);
  ASSERT_EQ(node->SetValue(itemLoadInfo, CSafClient::PackLoadInfo(2, 1, 1, 2, 1, 0, 0)), 1);
  ASSERT_EQ(agent->Run(), 1);
  EXPECT_TRUE(ui.WaitUntil(
      [](const std::vector<std::string>& log) { return std::any_of(log.begin(), log.end(), IsRunEnd); }, kRunLimit));
  CSafClient::SaveAgentFile();
  CAgentManager::Instance().Close(false);
  CSafClient::GetSafClient()->Connect(nullptr);
}
}  // namespace
