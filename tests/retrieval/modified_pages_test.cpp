// Later runs over a site whose pages change: only a page whose bytes changed
// is modified (one served again under a new date keeps its copy untouched),
// and a modified page's copy before is kept as its previous copy until a run
// after it completes; a run that ends early or fails keeps it.
#include <sys/stat.h>

#include <functional>

#include "engine/cache/previous_copies.h"
#include "retrieval/end_to_end.h"
#include "support/script_server.h"
#include "tools/headless/change_report.h"

namespace {

using namespace hvtest::e2e;
using hv::cache::CPreviousCopies;
using hv::test::ScriptServer;

struct FileState {
  ino_t inode = 0;
  std::int64_t mtimeNs = 0;
  std::string bytes;
  bool operator==(const FileState&) const = default;
};

FileState StateOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return {st.st_ino, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec, ReadAll(path)};
}

std::vector<std::string> Addresses(const std::vector<harvion::ChangedPage>& pages) {
  std::vector<std::string> out;
  for (const auto& page : pages) out.push_back(page.address);
  return out;
}

ScriptServer::Script Answer(const std::string& bytes) {
  return {ScriptServer::ReadRequest(), ScriptServer::Send(bytes), ScriptServer::Close()};
}

class ModifiedPages : public RetrievalEndToEnd {
 protected:
  // A page's version, dated later than every copy stored so far.
  void NewVersion(const std::string& path, const std::string& text, const std::vector<std::string>& links = {}) {
    m_site->m_tDate = std::time(nullptr) + 60 * ++m_nVersions;
    ASSERT_TRUE(m_site->WritePage(path, Page("Title", links, {}, text)));
  }
  void MakeAgent(const std::string& start) {
    m_agent = NewAgent("Watch");
    ASSERT_NE(m_agent, nullptr);
    AddLocation(m_agent, "Start", start, kTextWithinSite);
  }
  // Each run in a program of its own, as the command line runs it.
  void Reopen() {
    CSafClient::SaveAgentFile();
    CAgentManager::Instance().Close(false);
    ASSERT_EQ(CSafClient::LoadAgentFile("Watch", 1), 1);
    m_agent = Agent()->m_pNode;
  }
  harvion::ChangeReport Run() {
    Reopen();
    const std::vector<HvCacheRecord> before = GetCacheRecords();
    const std::uint32_t start = harvion::RunStartAfter(harvion::LatestTimeStamp(before));
    EXPECT_TRUE(RunAndWait(m_agent));
    return harvion::ClassifyChanges(before, GetCacheRecords(), start);
  }
  HvCacheRecord RecordOf(const std::string& path) const { return Records()[Url(path)]; }
  std::string Folder() const { return CAgentManager::Instance().AgentFolderPath(m_agentName); }
  std::string CopyPath(const std::string& path) const { return Folder() + "/" + RecordOf(path).localFile; }
  std::string PreviousPath(const std::string& path) const { return Folder() + "/" + RecordOf(path).previousFile; }
  bool PreviousFolderThere() const { return std::filesystem::exists(Folder() + "/" + CPreviousCopies::FolderName()); }

  const unsigned long kTextWithinSite = CSafClient::PackLoadInfo(
      CUINode::ldTextOnly, CUINode::ltWithinSite, 1, CUINode::ldTextOnly, CUINode::ltWithinSite, 0, 0);
  CSafNode* m_agent = nullptr;
  int m_nVersions = 0;
};

TEST_F(ModifiedPages, only_changed_bytes_mark_a_page_modified_and_keep_its_copy_before) {
  NewVersion("m/index.html", "index", {"changed.html", "dated.html", "gone.html", "new.html"});
  NewVersion("m/changed.html", "the quick brown fox");
  NewVersion("m/dated.html", "never changes");
  NewVersion("m/gone.html", "going");
  Serve();
  MakeAgent("m/index.html");
  ASSERT_EQ(Run().added.size(), 4u);  // new.html is not there yet
  const FileState changedBefore = StateOf(CopyPath("m/changed.html"));
  const FileState datedBefore = StateOf(CopyPath("m/dated.html"));

  NewVersion("m/changed.html", "the quick red fox");
  NewVersion("m/dated.html", "never changes");  // the same bytes, a new date
  NewVersion("m/new.html", "arrived");
  ASSERT_TRUE(m_site->Remove("m/gone.html"));
  harvion::ChangeReport report = Run();
  EXPECT_EQ(Addresses(report.added), std::vector<std::string>{Url("m/new.html")});
  EXPECT_EQ(Addresses(report.modified), std::vector<std::string>{Url("m/changed.html")});
  EXPECT_EQ(Addresses(report.gone), std::vector<std::string>{Url("m/gone.html")});
  EXPECT_TRUE(report.failed.empty());
  EXPECT_EQ(RecordOf("m/dated.html").modified, 0);
  EXPECT_EQ(StateOf(CopyPath("m/dated.html")), datedBefore) << "the same bytes rewrote the copy";
  EXPECT_EQ(RecordOf("m/changed.html").modified, 1);
  EXPECT_NE(ReadAll(CopyPath("m/changed.html")).find("red fox"), std::string::npos);
  // The old file itself, under a second name: no byte copied.
  const std::string previous = PreviousPath("m/changed.html");
  EXPECT_EQ(StateOf(previous), changedBefore);
  for (const auto& [address, record] : Records())
    EXPECT_EQ(record.previousFile.empty(), address != Url("m/changed.html")) << address;
  // Opening the agent again collects: the copy stays, and its folder is no
  // file of the agent's.
  Reopen();
  EXPECT_EQ(StateOf(previous), changedBefore);
  std::int64_t files = 0, bytes = 0;
  hv::fs::MeasureFolder(Folder(), files, bytes);
  EXPECT_EQ(Agent()->m_nFileCount, files - 1);

  report = Run();  // nothing changed, and the run completes
  EXPECT_TRUE(report.added.empty() && report.modified.empty() && report.gone.empty());
  EXPECT_FALSE(PreviousFolderThere());
  EXPECT_EQ(RecordOf("m/changed.html").previousFile, "");
}

TEST_F(ModifiedPages, a_run_that_ends_early_or_fails_keeps_the_previous_copies) {
  const std::string held = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<p>held</p>";
  ScriptServer server(Answer(held));
  NewVersion("e/index.html", "start", {"page.html"});
  Serve();
  MakeAgent("e/index.html");
  CSafNode* location = CSafClient::CreateHTMLNode(m_agent, "Held", server.Url("/held.html").c_str(), 0);
  ASSERT_TRUE(location && location->SetValue(itemLoadInfo, kTextWithinSite));
  const auto stop = [&] {
    server.SetScript({ScriptServer::ReadRequest(), ScriptServer::WaitRelease()});
    Reopen();
    const int ends = m_ui->CountLog("Progress 2");
    const std::size_t asked = server.Requests().size();
    ASSERT_EQ(m_agent->Run(), 1);
    ASSERT_TRUE(server.WaitRequests(asked + 1));
    CSafClient::HTTPShutdown();
    EXPECT_TRUE(m_ui->WaitForLog("Progress 2", ends + 1, kRunLimit));
    server.Release();
  };
  const auto sizeLimit = [&](int kilobytes) {
    Agent()->m_nSizeLimit = kilobytes;
    Agent()->m_bModified = 1;
  };
  const std::vector<std::pair<const char*, std::function<void()>>> ends = {
      {"a location the user added fails", [&] { server.SetScript(Answer("HTTP/1.0 500 Oops\r\n\r\n")), Run(); }},
      {"the size limit stops it", [&] { sizeLimit(1), Run(), sizeLimit(0); }},
      {"the user stops it", stop},
  };
  for (std::size_t i = 0; i < ends.size(); ++i) {
    SCOPED_TRACE(ends[i].first);
    NewVersion("e/page.html", "version " + std::to_string(i));
    Run();
    const std::string before = ReadAll(CopyPath("e/page.html"));
    NewVersion("e/page.html", "version " + std::to_string(i) + " changed");
    ASSERT_EQ(Run().modified.size(), 1u);
    const std::string previous = PreviousPath("e/page.html");
    EXPECT_EQ(ReadAll(previous), before);
    ends[i].second();
    EXPECT_EQ(ReadAll(previous), before);
    server.SetScript(Answer(held));
    Run();
    EXPECT_FALSE(PreviousFolderThere());
  }
  // Clearing the cache takes them too.
  NewVersion("e/page.html", "last version");
  ASSERT_EQ(Run().modified.size(), 1u);
  CSafClient::ClearCache();
  EXPECT_FALSE(PreviousFolderThere());
}

}  // namespace
