// Stored copies: their names, creating and dropping them with the totals in
// step, the tail of an interrupted transfer, the placeholder image and the
// scratch files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "cache/recording_totals.h"
#include "engine/cache/cache.h"
#include "engine/cache/known_extensions.h"
#include "platform/files/temp_file.h"
#include "platform/framework/exceptions.h"
#include "platform/temp_folder.h"
#include "resources/resources.h"

namespace {

using hv::test::ReadText;
using hv::test::WriteText;

TEST(PageStoreExtensions, BuiltFromTheMimeTable) {
  hv::test::TempFolder temp;
  WriteText(temp / "mime.types",
            "# MIME type\textensions\n"
            "text/html\t\thtml htm\n"
            "application/x-msdos-program com exe\n"
            "application/x-empty\n\n"
            "image/x-Test TIF PNG # a note gif\n");
  EXPECT_EQ(hv::cache::KnownExtensionsFrom(temp / "mime.types"),
            ".html.htm.exe.tif.png.css.js.mjs.woff.woff2.svg.webp.avif.ico.json.vbx.ocx");
  // Those of a page's requisites are added only where they are not found.
  WriteText(temp / "requisites.types", "text/javascript js mjs\nfont/woff2 woff2\nimage/svg+xml svgz\n");
  EXPECT_EQ(hv::cache::KnownExtensionsFrom(temp / "requisites.types"),
            ".js.mjs.woff2.svgz.css.webp.avif.ico.json.vbx.ocx");

  // Without a table, or with one listing nothing: the common extensions.
  WriteText(temp / "empty.types", "text/plain\n");
  for (const std::string& path : {temp / "missing.types", temp / "empty.types"}) {
    const std::string known = hv::cache::KnownExtensionsFrom(path);
    EXPECT_EQ(known.rfind(".html.htm.shtml.txt", 0), 0u) << path;
    EXPECT_EQ(known.find(".com"), std::string::npos);
    EXPECT_EQ(known.substr(known.size() - 8), ".vbx.ocx");
  }

  const std::string& system = hv::cache::KnownExtensions();
  EXPECT_EQ(&system, &hv::cache::KnownExtensions());  // computed once
  EXPECT_NE(system.find(".gif"), std::string::npos);
  EXPECT_NE(system.find(".htm"), std::string::npos);
  EXPECT_TRUE(std::none_of(system.begin(), system.end(), [](unsigned char c) { return std::isupper(c); }));
  EXPECT_EQ(CCache().KnownExtensions(), system);
}

class PageStore : public ::testing::Test {
 protected:
  void SetUp() override {
    hv::fs::EnsureDirectory(m_dir);
    WriteText(m_temp / "mime.types", "text/html html htm\nimage/gif gif\napplication/x-msdos-program com exe\n");
    m_cache.SetKnownExtensions(hv::cache::KnownExtensionsFrom(m_temp / "mime.types"));
    m_cache.SetTotals(&m_totals);
  }

  std::string NameFor(const std::string& address) {
    CPageDescr* record = m_cache.FindOrCreate(address);
    m_cache.AssignFileName(address, record);
    EXPECT_EQ(m_cache.Find(record->m_strLocalFile), record);
    return record->m_strLocalFile;
  }

  // A record whose prepared file then received the content.
  CPageDescr* StoredPage(const std::string& address, const std::string& content) {
    CPageDescr* record = m_cache.FindOrCreate(address);
    record->PrepareFile(m_cache, nullptr);
    WriteText(Path(record), content);
    m_totals.bytes += static_cast<std::int64_t>(content.size());  // as the transfer counts it
    return record;
  }
  std::string Path(const CPageDescr* record) const { return m_cache.PathOf(record->m_strLocalFile); }

  hv::test::TempFolder m_temp;
  std::string m_dir = m_temp / "Agent";
  CCache m_cache{m_dir};
  RecordingTotals m_totals;
};

TEST_F(PageStore, NamesKeepAKnownExtensionOnly) {
  m_cache.m_nNextFileNumber = 26;
  EXPECT_EQ(NameFor("http://h/a/b.gif"), "3S00001a.gif");
  EXPECT_EQ(NameFor("http://h/a/B.GIF"), "3S00001b.gif");
  EXPECT_EQ(NameFor("http://h/a/"), "3S00001c.html");
  EXPECT_EQ(NameFor("http://h/a.b/c"), "3S00001d.html");  // the dot is a folder's
  EXPECT_EQ(NameFor("http://h/a.b\\c"), "3S00001e.html");
  EXPECT_EQ(NameFor("http://h/x.com"), "3S00001f.html");  // a program, never kept
  EXPECT_EQ(NameFor("http://h/q.cgi?x=1"), "3S000020.html");
  EXPECT_EQ(NameFor("http://h/x.h"), "3S000021.h");  // part of ".htm"
  EXPECT_EQ(NameFor("http://h/x.%s%n"), "3S000022.html");
  EXPECT_EQ(NameFor("https://h/a/b.gif"), "3S000023.gif");  // another address than over http
  m_cache.m_nNextFileNumber = 0x1234567;
  EXPECT_EQ(NameFor("http://h/x.gif"), "3S1234567.gif");
  EXPECT_EQ(m_cache.m_nNextFileNumber, 0x1234568);

  // A name in use by another record is skipped, not taken from it.
  CPageDescr* other = m_cache.FindOrCreate("http://h/other");
  m_cache.AddKey("3S1234568.html", other);
  EXPECT_EQ(NameFor("http://h/page"), "3S1234569.html");
  EXPECT_EQ(m_cache.Find("3S1234568.html"), other);
}

// A stylesheet, script or picture with a query keeps its extension: a
// browser reads a stored stylesheet only as ".css". Other pages with a
// query keep the names they always had.
TEST_F(PageStore, RequisitesWithAQueryKeepTheirExtension) {
  const std::pair<const char*, const char*> cases[] = {
      {"http://h/s/site.css?v=1.2", "3S000000.css"},   {"http://h/app.MJS?x#f", "3S000001.mjs"},
      {"http://h/f.woff2?#iefix", "3S000002.woff2"},    {"http://h/q.cgi?x=1", "3S000003.html"},
      {"http://h/d.css/x?y", "3S000004.html"},          {"http://h/i.svg#a?b", "3S000005.svg"},
      {"http://h/q.cgi?x=1.gif", "3S000006.gif"},
  };
  for (const auto& [address, name] : cases) EXPECT_EQ(NameFor(address), name) << address;
}

TEST_F(PageStore, FileExistsOnlyForAWritableRegularFile) {
  CPageDescr record("http://h/");
  EXPECT_FALSE(record.FileExists(m_cache));  // no name
  record.m_strLocalFile = "3S000001.html";
  EXPECT_FALSE(record.FileExists(m_cache));
  WriteText(Path(&record), "x");
  EXPECT_TRUE(record.FileExists(m_cache));
  ASSERT_EQ(::chmod(Path(&record).c_str(), 0444), 0);
  EXPECT_FALSE(record.FileExists(m_cache));  // even for root
  record.m_strLocalFile = "3S000002.html";
  ASSERT_TRUE(hv::fs::EnsureDirectory(Path(&record)));
  EXPECT_FALSE(record.FileExists(m_cache));
}

TEST_F(PageStore, PrepareFileCreatesCountsAndReplacesReadOnlyCopies) {
  CPageDescr* referrer = m_cache.FindOrCreate("http://h/index.html");
  CPageDescr* page = m_cache.FindOrCreate("http://h/p.gif");
  page->PrepareFile(m_cache, referrer);
  ASSERT_EQ(page->m_strLocalFile, "3S000000.gif");
  EXPECT_EQ(m_cache.Find("3S000000.gif"), page);
  EXPECT_EQ(hv::fs::FileSize(Path(page)), 0);
  EXPECT_EQ(page->m_nState, CPageDescr::kStored);
  EXPECT_NE(page->m_tStateChanged, 0u);
  EXPECT_EQ(page->m_pStateChangedBy, referrer);
  EXPECT_EQ(m_totals.files, 1);

  // A copy that is there stays as it is.
  WriteText(Path(page), "GIF89a");
  page->m_nState = CPageDescr::kNotStored;
  page->PrepareFile(m_cache, nullptr);
  EXPECT_EQ(ReadText(Path(page)), "GIF89a");
  EXPECT_EQ(page->m_nState, CPageDescr::kNotStored);

  // A read-only one counts as missing and is made again, replacing its bytes.
  m_totals.bytes = 6;
  ASSERT_EQ(::chmod(Path(page).c_str(), 0444), 0);
  page->PrepareFile(m_cache, nullptr);
  EXPECT_EQ(hv::fs::FileSize(Path(page)), 0);
  EXPECT_TRUE(page->FileExists(m_cache));
  EXPECT_EQ(page->m_nState, CPageDescr::kStored);
  EXPECT_EQ(m_totals.files, 1);
  EXPECT_EQ(m_totals.bytes, 0);

  CPageDescr nowhere;
  nowhere.PrepareFile(m_cache, nullptr);  // no address: nothing
  EXPECT_EQ(m_cache.m_nNextFileNumber, 1);
}

TEST_F(PageStore, PrepareFileGivesUpTheNameWhenNoFileCanBeMade) {
  CPageDescr* page = m_cache.FindOrCreate("http://h/p.html");
  page->m_strLocalFile = "3S000007.html";
  m_cache.AddKey("3S000007.html", page);
  ASSERT_TRUE(hv::fs::EnsureDirectory(Path(page)));
  page->PrepareFile(m_cache, nullptr);
  EXPECT_TRUE(page->m_strLocalFile.empty());
  EXPECT_EQ(m_cache.Find("3S000007.html"), nullptr);
  EXPECT_EQ(page->m_nState, CPageDescr::kNotStored);
  EXPECT_EQ(m_totals.files, 0);
}

TEST_F(PageStore, DropFileDeletesTheCopyButKeepsItsName) {
  CPageDescr* referrer = m_cache.FindOrCreate("http://h/index.html");
  CPageDescr* page = StoredPage("http://h/p.html", "0123456789");
  const std::string name = page->m_strLocalFile;
  page->DropFile(m_cache, referrer);
  EXPECT_FALSE(hv::fs::Exists(m_cache.PathOf(name)));
  EXPECT_EQ(m_cache.Find(name), page);
  EXPECT_EQ(page->m_nState, CPageDescr::kNotStored);
  EXPECT_EQ(page->m_pStateChangedBy, referrer);
  EXPECT_EQ(m_totals.files + m_totals.bytes, 0);
  EXPECT_EQ(m_totals.changes, 1);

  // No file left: nothing more to count or save.
  m_totals.files = 3;
  page->DropFile(m_cache, nullptr);
  m_cache.CountRemovedFile(-1);  // "no file" is not a size
  EXPECT_EQ(m_totals.files, 3);
  EXPECT_EQ(m_totals.changes, 1);
}

TEST_F(PageStore, ForgetFileDropsTheNameAndOnlyItsOwnKey) {
  CPageDescr* page = StoredPage("http://h/p.html", "abc");
  const std::string name = page->m_strLocalFile;
  page->ForgetFile(m_cache);
  EXPECT_TRUE(page->m_strLocalFile.empty());
  EXPECT_EQ(m_cache.Find(name), nullptr);
  EXPECT_FALSE(hv::fs::Exists(m_cache.PathOf(name)));
  EXPECT_EQ(m_totals.files, 0);

  CPageDescr* other = m_cache.FindOrCreate("http://h/other.html");
  page->m_strLocalFile = "3S0000ff.html";
  m_cache.AddKey("3S0000ff.html", other);
  page->ForgetFile(m_cache);
  EXPECT_EQ(m_cache.Find("3S0000ff.html"), other);
}

TEST_F(PageStore, AnInterruptedCopyKeepsItsPartAndTheTail) {
  CPageDescr* page = StoredPage("http://h/p.html", "<HTML>partial");
  EXPECT_TRUE(page->MarkInterrupted(m_cache, true));
  EXPECT_EQ(page->m_nState, CPageDescr::kInterrupted);
  EXPECT_EQ(ReadText(Path(page)), std::string("<HTML>partial<H2>Transfer Interrupted</H2></HTML>") + '\0');
  EXPECT_EQ(m_totals.bytes, 13 + 37);

  CPageDescr* unparsed = StoredPage("http://h/q.html", "<HTML>");
  EXPECT_TRUE(unparsed->MarkInterrupted(m_cache, false));
  EXPECT_EQ(unparsed->m_nState, CPageDescr::kNotStored);
  EXPECT_FALSE(hv::fs::Exists(Path(unparsed)));
  EXPECT_EQ(m_totals.files, 1);
  EXPECT_EQ(m_totals.bytes, 13 + 37);

  if (!hv::fs::Exists("/dev/full")) return;
  CPageDescr* full = m_cache.FindOrCreate("http://h/full.html");
  full->m_strLocalFile = "3S0000aa.html";
  ASSERT_EQ(::symlink("/dev/full", Path(full).c_str()), 0);
  EXPECT_FALSE(full->MarkInterrupted(m_cache, true));  // the disk is full: stop
  EXPECT_EQ(m_totals.bytes, 13 + 37);
}

TEST_F(PageStore, ThePlaceholderIsEnteredOnceAndWrittenWhenMissing) {
  const hv::res::Data gif = hv::res::LoadData(hv::res::IDR_PLACEHOLDER_GIF);
  ASSERT_EQ(gif.size, 108u);
  const std::string image(reinterpret_cast<const char*>(gif.bytes), gif.size);
  EXPECT_EQ(image.substr(0, 6), "GIF89a");
  EXPECT_EQ(image.substr(6, 4), std::string("\x18\0\x18\0", 4));  // 24 x 24

  const std::string path = m_cache.PathOf("hvempty.gif");
  m_cache.CheckPlaceholder();
  m_cache.CheckPlaceholder();
  EXPECT_EQ(m_cache.KeyCount(), 1);
  CPageDescr* record = m_cache.Find("hvempty.gif");
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->m_strAddress, "hvempty.gif");
  EXPECT_EQ(record->m_nState, CPageDescr::kStored);
  EXPECT_EQ(ReadText(path), image);
  WriteText(path, "mine");  // an existing file is left alone
  m_cache.CheckPlaceholder();
  EXPECT_EQ(ReadText(path), "mine");
}

class PageStoreTemporaryFile : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("TMPDIR")) m_oldTmp = old;
    setenv("TMPDIR", m_temp.path().c_str(), 1);
  }
  void TearDown() override {
    if (m_oldTmp.empty())
      unsetenv("TMPDIR");
    else
      setenv("TMPDIR", m_oldTmp.c_str(), 1);
  }
  std::int64_t Entries() const {
    std::int64_t entries = -1, bytes = -1;
    hv::fs::MeasureFolder(m_temp.path(), entries, bytes);
    return entries;
  }

  hv::test::TempFolder m_temp;
  std::string m_oldTmp;
};

TEST_F(PageStoreTemporaryFile, ReadsBackWhatWasWrittenAndLeavesNothing) {
  auto file = hv::fs::CreateTemporaryFile("HVT");
  EXPECT_EQ(file->GetFilePath().rfind(m_temp / "HVT", 0), 0u);
  EXPECT_EQ(Entries(), 0);  // nameless from the start
  file->Write("scratch data", 12);
  file->Seek(8);
  char part[4];
  ASSERT_EQ(file->Read(part, 4), 4u);
  EXPECT_EQ(std::string(part, 4), "data");
  file->SeekToBegin();
  std::string all(12, '\0');
  EXPECT_EQ(file->Read(all.data(), 12), 12u);
  EXPECT_EQ(all, "scratch data");
  file->Close();
  EXPECT_EQ(Entries(), 0);

  setenv("TMPDIR", (m_temp / "missing").c_str(), 1);
  EXPECT_THROW(hv::fs::CreateTemporaryFile("HVT"), CFileException);
}

}  // namespace
