// Stored copies written anew: which links change when their targets came
// or went, when a copy is rewritten at all, the exported Reparse, and what
// happens when the files cannot be made.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "harvion/exports.h"
#include "harvion/saf_client.h"
#include "html/recording_owner.h"
#include "resources/resources.h"
#include "support/test_home.h"

namespace {

using hvtest::PageSite;

constexpr std::uint32_t kNoted = 1000000;  // when the copy's links were last updated

std::uint32_t Now() { return static_cast<std::uint32_t>(std::time(nullptr)); }

void WriteText(const std::string& path, const std::string& text) {
  hv::fs::WriteWholeFile(path, text.data(), text.size());
}

// Collects the user messages shown while it lives.
class ShownMessages {
 public:
  ShownMessages()
      : m_previous(SetMessageSink([this](const std::string& text, const std::string&, HWND) { texts.push_back(text); })) {}
  ~ShownMessages() { SetMessageSink(m_previous); }
  std::vector<std::string> texts;

 private:
  MessageSink m_previous;
};

std::vector<std::string> Message(unsigned id) { return {hv::res::LoadString(id)}; }

// Points the scratch files at a folder that does not exist while it lives.
class NoTemporaryFolder {
 public:
  NoTemporaryFolder() : m_old(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "") {
    setenv("TMPDIR", "/nonexistent/hv", 1);
  }
  ~NoTemporaryFolder() {
    if (m_old.empty())
      unsetenv("TMPDIR");
    else
      setenv("TMPDIR", m_old.c_str(), 1);
  }

 private:
  std::string m_old;
};

// The page as a completed retrieval left it: stored, its copy kept, its
// links recorded, the targets unchanged since kNoted.
class StoredCopy : public ::testing::Test {
 protected:
  void SetUp() override {
    page->m_nState = CPageDescr::kStored;
    page->m_nCopyKept = 2;
    page->m_tLinksUpdated = kNoted;
  }

  CPageDescr* Target(const std::string& address, const std::string& localFile, int linkType) {
    CPageDescr* target = site.Store(address, localFile);
    target->m_tStateChanged = kNoted - 10;
    if (page->AddLink(*site.cache, address, linkType, nullptr, nullptr)) CCache::Lock().unlock();
    return target;
  }
  std::string PagePath() const { return site.cache->PathOf(page->m_strLocalFile); }

  PageSite site;
  CPageDescr* page = site.page;
};

TEST_F(StoredCopy, LinksFollowTheirTargets) {
  CPageDescr* dropped = Target("http://host/dir/stored.html", "3S000002.html", CPageChild::kPage);
  CPageDescr* droppedImage = Target("http://host/img/logo.gif", "3S000003.gif", CPageChild::kEmbedded);
  Target("http://host/img/kept.gif", "3S000009.gif", CPageChild::kEmbedded);
  CPageDescr* siteMap = Target("http://host/dir/map.html", "3S000008.html", CPageChild::kFrame);
  if (page->AddLink(*site.cache, "http://host/dir/later.html", 0, nullptr, nullptr)) CCache::Lock().unlock();
  WriteText(PagePath(),
            "<A HREF=\"3S000002.html#s\">dropped page</A> <img src='3S000003.gif' alt=x>\n"
            "<A HREF=\"http://host/dir/later.html#t\">stored since</A> <IMG SRC=\"hvempty.gif\">\n"
            "<A HREF=3S000009.gif>kept</A> <FRAME SRC=\"3S000008.html\"> <A HREF=\"mailto:x\">mail</A>\n"
            "<BASE HREF=\"http://other/\"> <FORM ACTION=\"/q\"> <A HREF=\"http://host/dir/stored.html\">\n"
            "<STYLE>a{b:url(\"3S000003.gif\")} c{d:url(http://host/dir/later.html)} e{f:url(3S000009.gif)}</STYLE>\n"
            "<div style=\"g:url('3S000003.gif')\"><A HREF=3S000009.gif style='h:url(3S000009.gif)'>\n");
  site.totals.files = 1;
  site.totals.bytes = hv::fs::FileSize(PagePath());

  dropped->DropFile(*site.cache, nullptr);
  droppedImage->DropFile(*site.cache, nullptr);
  siteMap->m_nCopyKept = 0;  // retrieved again for its links only
  CPageDescr* later = site.Store("http://host/dir/later.html", "3S00000a.html");
  later->m_tStateChanged = Now();
  page->Relink(*site.cache);

  const std::string expected =
      "<A HREF=\"http://host/dir/stored.html#s\">dropped page</A> <img SRC=\"hvempty.gif\" alt=x>\n"
      "<A HREF=\"3S00000a.html#t\">stored since</A> <IMG SRC=\"hvempty.gif\">\n"
      "<A HREF=\"3S000009.gif\">kept</A> <FRAME SRC=\"http://host/dir/map.html\"> <A HREF=\"mailto:x\">mail</A>\n"
      "<BASE HREF=\"http://other/\"> <FORM ACTION=\"/q\"> <A HREF=\"http://host/dir/stored.html\">\n"
      "<STYLE>a{b:url(\"http://host/img/logo.gif\")} c{d:url(\"3S00000a.html\")} e{f:url(3S000009.gif)}</STYLE>\n"
      "<div STYLE=\"g:url('http://host/img/logo.gif')\"><A HREF=\"3S000009.gif\" style='h:url(3S000009.gif)'>\n";
  EXPECT_EQ(site.ReadPage(), expected);
  EXPECT_EQ(page->m_bPlaceholderUsed, 1);
  EXPECT_GE(page->m_tLinksUpdated, Now() - 1);
  EXPECT_EQ(site.totals.files, 1);
  EXPECT_EQ(site.totals.bytes, static_cast<std::int64_t>(expected.size()));
  EXPECT_EQ(site.totals.changes, 1);
}

TEST_F(StoredCopy, RewrittenOnlyWhenBehind) {
  struct Case {
    const char* name;
    std::uint32_t changed;
    bool byThisPage;
    std::int32_t state;
    std::int32_t copyKept;
    bool fileThere;
    bool rewritten;
  };
  const Case cases[] = {
      {"target changed since", kNoted + 5, false, CPageDescr::kStored, 2, true, true},
      {"target changed at that second", kNoted, false, CPageDescr::kStored, 2, true, true},
      {"target changed before", kNoted - 1, false, CPageDescr::kStored, 2, true, false},
      {"changed through this page's links", kNoted + 5, true, CPageDescr::kStored, 2, true, false},
      {"page not stored", kNoted + 5, false, CPageDescr::kNotStored, 2, true, false},
      {"page interrupted", kNoted + 5, false, CPageDescr::kInterrupted, 2, true, false},
      {"page kept for its links only", kNoted + 5, false, CPageDescr::kStored, 0, true, false},
      {"page file missing", kNoted + 5, false, CPageDescr::kStored, 2, false, false},
  };
  CPageDescr* target = Target("http://host/dir/stored.html", "3S000002.html", CPageChild::kPage);
  const std::string copy = "<a href='3S000002.html'>";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    target->m_tStateChanged = c.changed;
    target->m_pStateChangedBy = c.byThisPage ? page : nullptr;
    page->m_nState = c.state;
    page->m_nCopyKept = c.copyKept;
    page->m_tLinksUpdated = kNoted;
    if (c.fileThere)
      WriteText(PagePath(), copy);
    else
      hv::fs::RemoveFile(PagePath());
    page->Relink(*site.cache);
    EXPECT_EQ(site.ReadPage(), !c.fileThere ? "(no file)" : c.rewritten ? "<a HREF=\"3S000002.html\">" : copy);
    EXPECT_GE(page->m_tLinksUpdated, Now() - 1);
    if (!c.fileThere) {
      EXPECT_EQ(page->m_nState, CPageDescr::kNotStored);
    }
  }
}

TEST_F(StoredCopy, UnchangedWithoutScratchFile) {
  Target("http://host/dir/stored.html", "3S000002.html", CPageChild::kPage)->m_tStateChanged = kNoted;
  WriteText(PagePath(), "<a href='3S000002.html'>");
  ShownMessages shown;
  {
    NoTemporaryFolder noTemp;
    page->Relink(*site.cache);
  }
  EXPECT_EQ(shown.texts, Message(hv::res::IDS_NO_TEMPORARY_FILE));
  EXPECT_EQ(site.ReadPage(), "<a href='3S000002.html'>");
}

TEST(ContentParserFiles, FailureToOpenStillCollectsLinks) {
  struct Case {
    const char* name;
    bool noTemporary;
    bool noLocalName;
    unsigned message;
  };
  for (const Case& c : {Case{"no scratch file", true, false, hv::res::IDS_NO_TEMPORARY_FILE},
                        Case{"no local file name", false, true, hv::res::IDS_NO_CACHE_FILE}}) {
    SCOPED_TRACE(c.name);
    PageSite site;
    if (c.noLocalName) site.page->m_strLocalFile.clear();
    ShownMessages shown;
    PageSite::Mapped mapped;
    {
      std::unique_ptr<NoTemporaryFolder> noTemp(c.noTemporary ? new NoTemporaryFolder : nullptr);
      mapped = site.Map("<A HREF=a.html>a</A><IMG SRC=b.gif>");
    }
    EXPECT_EQ(shown.texts, Message(c.message));
    EXPECT_EQ(mapped.log.size(), 3u);
    EXPECT_EQ(mapped.finished, 0);
    EXPECT_EQ(site.page->m_bPlaceholderUsed, 0);
    EXPECT_EQ(site.totals.files, 0);
  }
}

class ReparseTest : public TestHome {
 protected:
  void SetUp() override {
    TestHome::SetUp();
    ASSERT_NE(CSafClient::CreateAgent("Pages"), nullptr);
    m_cache = CAgentManager::Instance().Cache();
    ASSERT_NE(m_cache, nullptr);
    std::lock_guard guard(CCache::Lock());
    m_page = m_cache->FindOrCreate("http://host/page.html");
    m_page->m_strLocalFile = "3S000001.html";
    m_cache->AddKey(m_page->m_strLocalFile, m_page);
    m_page->m_nState = CPageDescr::kStored;
    m_page->m_nCopyKept = 2;
    CPageDescr* target = m_cache->FindOrCreate("http://host/gone.html");
    target->m_tStateChanged = Now();
    if (m_page->AddLink(*m_cache, target->m_strAddress, 0, nullptr, nullptr)) CCache::Lock().unlock();
  }

  CCache* m_cache = nullptr;
  CPageDescr* m_page = nullptr;
};

TEST_F(ReparseTest, OnlyLocalPathsAndNotDuringARun) {
  struct Case {
    const char* name;
    std::string path;
    bool running;
    bool rewritten;
  };
  const std::string path = m_cache->PathOf("3S000001.html");
  const Case cases[] = {
      {"a run is going on", path, true, false},
      {"relative path", "Pages/3S000001.html", false, false},
      {"unknown file", m_cache->PathOf("3S0000ff.html"), false, false},
      {"stored page", path, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteText(path, "<a href=\"http://host/gone.html\">");
    m_page->m_tLinksUpdated = 0;
    CAgentManager::Instance().SetRunning(c.running ? CAgentManager::Instance().Agent() : nullptr);
    CSafClient::Reparse(c.path.c_str());
    CAgentManager::Instance().SetRunning(nullptr);
    EXPECT_EQ(PageSite::ReadFile(path),
              c.rewritten ? "<a HREF=\"http://host/gone.html\">" : "<a href=\"http://host/gone.html\">");
  }
  CSafClient::Reparse(nullptr);  // nothing to do, nothing thrown
}

}  // namespace
