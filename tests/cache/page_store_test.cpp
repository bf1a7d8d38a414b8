// Stored copies: their names, creating and dropping them with the totals in
// step, the tail of an interrupted transfer, the placeholder image and the
// scratch files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <ctime>

#include "cache/recording_totals.h"
#include "engine/cache/cache.h"
#include "engine/cache/known_extensions.h"
#include "platform/files/file_system.h"
#include "platform/files/temp_file.h"
#include "platform/framework/exceptions.h"
#include "platform/temp_folder.h"
#include "resources/resources.h"

namespace {

using hv::test::ReadText;
using hv::test::WriteText;

const std::string kInterruptedTail = std::string("<H2>Transfer Interrupted</H2></HTML>") + '\0';

std::uint32_t Now() { return static_cast<std::uint32_t>(std::time(nullptr)); }

// ---- known extensions --------------------------------------------------------

TEST(PageStoreExtensions, BuiltFromTheMimeTable) {
  hv::test::TempFolder temp;
  WriteText(temp / "mime.types",
            "# MIME type\textensions\n"
            "text/html\t\t\t\thtml htm\n"
            "image/gif gif\n"
            "application/x-msdos-program com exe\n"
            "application/x-empty\n"
            "\n"
            "image/x-Test TIF PNG # a note\n"
            "   # an indented comment html\n");
  EXPECT_EQ(hv::cache::KnownExtensionsFrom(temp / "mime.types"), ".html.htm.gif.exe.tif.png.vbx.ocx");

  // Without a table, or with one that lists nothing: the common extensions.
  WriteText(temp / "empty.types", "# nothing\ntext/plain\n");
  for (const std::string& path : {temp / "missing.types", temp / "empty.types"}) {
    const std::string known = hv::cache::KnownExtensionsFrom(path);
    EXPECT_EQ(known.rfind(".html.htm.shtml.txt", 0), 0u) << path;
    EXPECT_NE(known.find(".jpeg"), std::string::npos);
    EXPECT_EQ(known.find(".com"), std::string::npos);
    EXPECT_EQ(known.substr(known.size() - 8), ".vbx.ocx");
  }
}

TEST(PageStoreExtensions, TheSystemsStringIsLowerCaseAndHoldsTheCommonOnes) {
  const std::string& known = hv::cache::KnownExtensions();
  EXPECT_EQ(&known, &hv::cache::KnownExtensions());  // computed once
  EXPECT_NE(known.find(".gif"), std::string::npos);
  EXPECT_NE(known.find(".htm"), std::string::npos);
  EXPECT_EQ(known.substr(known.size() - 8), ".vbx.ocx");
  for (const char c : known) EXPECT_FALSE(std::isupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(CCache().KnownExtensions(), known);
}

// ---- file names ------------------------------------------------------------

class PageStore : public ::testing::Test {
 protected:
  void SetUp() override {
    hv::fs::EnsureDirectory(m_dir);
    WriteText(m_temp / "mime.types", "text/html html htm\nimage/gif gif\napplication/x-msdos-program com exe\n");
    m_cache.SetKnownExtensions(hv::cache::KnownExtensionsFrom(m_temp / "mime.types"));
    m_cache.SetTotals(&m_totals);
  }

  // The name a fresh record of the address gets.
  std::string NameFor(const std::string& address) {
    CPageDescr* record = m_cache.FindOrCreate(address);
    EXPECT_NE(record, nullptr) << address;
    if (!record) return {};
    m_cache.AssignFileName(address, record);
    EXPECT_EQ(m_cache.Find(record->m_strLocalFile), record);
    return record->m_strLocalFile;
  }

  // A record with its file prepared and content written into it.
  CPageDescr* StoredPage(const std::string& address, const std::string& content) {
    CPageDescr* record = m_cache.FindOrCreate(address);
    record->PrepareFile(m_cache, nullptr);
    WriteText(m_cache.PathOf(record->m_strLocalFile), content);
    m_totals.bytes += static_cast<std::int64_t>(content.size());  // as the transfer would count it
    return record;
  }

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
  EXPECT_EQ(NameFor("http://h/a.b/c"), "3S00001d.html");          // the dot is a folder's
  EXPECT_EQ(NameFor("http://h/a.b\\c"), "3S00001e.html");
  EXPECT_EQ(NameFor("http://h/x.com"), "3S00001f.html");          // a program, never kept
  EXPECT_EQ(NameFor("http://h/q.cgi?x=1"), "3S000020.html");
  EXPECT_EQ(NameFor("http://h/x.h"), "3S000021.h");               // part of ".htm"
  EXPECT_EQ(NameFor("http://h/x.exe"), "3S000022.exe");
  EXPECT_EQ(NameFor("http://h/x.%s%n"), "3S000023.html");        // data, never a format
  m_cache.m_nNextFileNumber = 0x1234567;
  EXPECT_EQ(NameFor("http://h/x.gif"), "3S1234567.gif");
  EXPECT_EQ(m_cache.m_nNextFileNumber, 0x1234568);
}

TEST_F(PageStore, ANameInUseIsSkipped) {
  CPageDescr* other = m_cache.FindOrCreate("http://h/other");
  m_cache.AddKey("3S000000.html", other);
  EXPECT_EQ(NameFor("http://h/page"), "3S000001.html");
  EXPECT_EQ(m_cache.Find("3S000000.html"), other);
}

// ---- creating and dropping copies --------------------------------------------

TEST_F(PageStore, FileExistsOnlyForAWritableRegularFile) {
  CPageDescr record("http://h/");
  EXPECT_FALSE(record.FileExists(m_cache));  // no name
  record.m_strLocalFile = "3S000001.html";
  EXPECT_FALSE(record.FileExists(m_cache));
  WriteText(m_cache.PathOf("3S000001.html"), "x");
  EXPECT_TRUE(record.FileExists(m_cache));
  ASSERT_EQ(::chmod(m_cache.PathOf("3S000001.html").c_str(), 0444), 0);
  EXPECT_FALSE(record.FileExists(m_cache));  // even for root
  record.m_strLocalFile = "3S000002.html";
  ASSERT_TRUE(hv::fs::EnsureDirectory(m_cache.PathOf("3S000002.html")));
  EXPECT_FALSE(record.FileExists(m_cache));
}

TEST_F(PageStore, PrepareFileCreatesAndCountsANewFile) {
  CPageDescr* referrer = m_cache.FindOrCreate("http://h/index.html");
  CPageDescr* page = m_cache.FindOrCreate("http://h/p.gif");
  const std::uint32_t before = Now();
  page->PrepareFile(m_cache, referrer);
  ASSERT_EQ(page->m_strLocalFile, "3S000000.gif");
  EXPECT_EQ(m_cache.Find("3S000000.gif"), page);
  EXPECT_EQ(hv::fs::FileSize(m_cache.PathOf("3S000000.gif")), 0);
  EXPECT_TRUE(page->FileExists(m_cache));
  EXPECT_EQ(page->m_nState, CPageDescr::kStored);
  EXPECT_GE(page->m_tStateChanged, before);
  EXPECT_LE(page->m_tStateChanged, Now());
  EXPECT_EQ(page->m_pStateChangedBy, referrer);
  EXPECT_EQ(m_totals.files, 1);

  // A copy that is there stays as it is.
  WriteText(m_cache.PathOf("3S000000.gif"), "GIF89a");
  page->m_nState = CPageDescr::kNotStored;
  page->PrepareFile(m_cache, nullptr);
  EXPECT_EQ(ReadText(m_cache.PathOf("3S000000.gif")), "GIF89a");
  EXPECT_EQ(page->m_nState, CPageDescr::kNotStored);
  EXPECT_EQ(m_totals.files, 1);

  CPageDescr nowhere;
  nowhere.PrepareFile(m_cache, nullptr);  // no address: nothing
  EXPECT_TRUE(nowhere.m_strLocalFile.empty());
  EXPECT_EQ(m_cache.m_nNextFileNumber, 1);
}

TEST_F(PageStore, PrepareFileReplacesAReadOnlyCopy) {
  CPageDescr* page = StoredPage("http://h/p.html", "old content");
  const std::string path = m_cache.PathOf(page->m_strLocalFile);
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  ASSERT_EQ(m_totals.files, 1);
  ASSERT_EQ(m_totals.bytes, 11);
  page->m_nState = CPageDescr::kNotStored;

  page->PrepareFile(m_cache, nullptr);
  EXPECT_EQ(hv::fs::FileSize(path), 0);
  EXPECT_TRUE(page->FileExists(m_cache));
  EXPECT_EQ(page->m_nState, CPageDescr::kStored);
  EXPECT_EQ(m_totals.files, 1);  // replaced, not added
  EXPECT_EQ(m_totals.bytes, 0);
}

TEST_F(PageStore, PrepareFileGivesUpTheNameWhenNoFileCanBeMade) {
  CPageDescr* page = m_cache.FindOrCreate("http://h/p.html");
  page->m_strLocalFile = "3S000007.html";
  m_cache.AddKey("3S000007.html", page);
  ASSERT_TRUE(hv::fs::EnsureDirectory(m_cache.PathOf("3S000007.html")));
  page->PrepareFile(m_cache, nullptr);
  EXPECT_TRUE(page->m_strLocalFile.empty());
  EXPECT_EQ(m_cache.Find("3S000007.html"), nullptr);
  EXPECT_EQ(page->m_nState, CPageDescr::kNotStored);
  EXPECT_EQ(m_totals.files, 0);
  EXPECT_TRUE(hv::fs::IsDirectory(m_cache.PathOf("3S000007.html")));
}

TEST_F(PageStore, DropFileDeletesTheCopyButKeepsItsName) {
  CPageDescr* referrer = m_cache.FindOrCreate("http://h/index.html");
  CPageDescr* page = StoredPage("http://h/p.html", "0123456789");
  const std::string name = page->m_strLocalFile;
  ASSERT_EQ(m_totals.bytes, 10);
  page->m_tStateChanged = 0;

  page->DropFile(m_cache, referrer);
  EXPECT_FALSE(hv::fs::Exists(m_cache.PathOf(name)));
  EXPECT_EQ(page->m_strLocalFile, name);
  EXPECT_EQ(m_cache.Find(name), page);
  EXPECT_EQ(page->m_nState, CPageDescr::kNotStored);
  EXPECT_EQ(page->m_pStateChangedBy, referrer);
  EXPECT_NE(page->m_tStateChanged, 0u);
  EXPECT_EQ(m_totals.files, 0);
  EXPECT_EQ(m_totals.bytes, 0);
  EXPECT_EQ(m_totals.changes, 1);

  // No file left: nothing more to count or save.
  page->m_nState = CPageDescr::kStored;
  page->DropFile(m_cache, nullptr);
  EXPECT_EQ(page->m_nState, CPageDescr::kNotStored);
  EXPECT_EQ(m_totals.changes, 1);
  m_cache.CountRemovedFile(-1);  // "no file" is not a size
  m_totals.files = 3;
  m_totals.bytes = 100;
  m_cache.CountRemovedFile(-1);
  EXPECT_EQ(m_totals.files, 3);
  EXPECT_EQ(m_totals.bytes, 100);
}

TEST_F(PageStore, ForgetFileDropsTheNameAndOnlyItsOwnKey) {
  CPageDescr* page = StoredPage("http://h/p.html", "abc");
  const std::string name = page->m_strLocalFile;
  page->ForgetFile(m_cache);
  EXPECT_TRUE(page->m_strLocalFile.empty());
  EXPECT_EQ(m_cache.Find(name), nullptr);
  EXPECT_FALSE(hv::fs::Exists(m_cache.PathOf(name)));
  EXPECT_EQ(m_totals.files, 0);
  EXPECT_EQ(m_cache.Find("http://h/p.html"), page);

  // A name another record has taken over stays that record's.
  CPageDescr* other = m_cache.FindOrCreate("http://h/other.html");
  page->m_strLocalFile = "3S0000ff.html";
  m_cache.AddKey("3S0000ff.html", other);
  page->ForgetFile(m_cache);
  EXPECT_EQ(m_cache.Find("3S0000ff.html"), other);
  EXPECT_TRUE(page->m_strLocalFile.empty());
}

TEST_F(PageStore, AnInterruptedCopyKeepsItsPartAndTheTail) {
  CPageDescr* page = StoredPage("http://h/p.html", "<HTML>partial");
  const std::int64_t counted = m_totals.bytes;
  EXPECT_TRUE(page->MarkInterrupted(m_cache, true));
  EXPECT_EQ(page->m_nState, CPageDescr::kInterrupted);
  EXPECT_EQ(ReadText(m_cache.PathOf(page->m_strLocalFile)), "<HTML>partial" + kInterruptedTail);
  ASSERT_EQ(kInterruptedTail.size(), 37u);
  EXPECT_EQ(m_totals.bytes, counted + 37);

  CPageDescr* unparsed = StoredPage("http://h/q.html", "<HTML>");
  EXPECT_TRUE(unparsed->MarkInterrupted(m_cache, false));
  EXPECT_EQ(unparsed->m_nState, CPageDescr::kNotStored);
  EXPECT_FALSE(hv::fs::Exists(m_cache.PathOf(unparsed->m_strLocalFile)));
  EXPECT_EQ(m_totals.files, 1);

  // Missing copy: nothing to finish, and no reason to stop.
  CPageDescr* gone = m_cache.FindOrCreate("http://h/gone.html");
  gone->m_strLocalFile = "3S0000aa.html";
  EXPECT_TRUE(gone->MarkInterrupted(m_cache, true));
  EXPECT_EQ(gone->m_nState, CPageDescr::kInterrupted);
  EXPECT_EQ(m_totals.bytes, counted + 37);
}

TEST_F(PageStore, AFullDiskStopsTheRetrieval) {
  if (!hv::fs::Exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  CPageDescr* page = m_cache.FindOrCreate("http://h/p.html");
  page->m_strLocalFile = "3S000001.html";
  ASSERT_EQ(::symlink("/dev/full", m_cache.PathOf("3S000001.html").c_str()), 0);
  EXPECT_FALSE(page->MarkInterrupted(m_cache, true));
  EXPECT_EQ(m_totals.bytes, 0);
}

// ---- the placeholder ---------------------------------------------------------

TEST(PageStorePlaceholder, TheBuiltInImageIsASmallGif) {
  const hv::res::Data gif = hv::res::LoadData(hv::res::IDR_PLACEHOLDER_GIF);
  ASSERT_EQ(gif.size, 108u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(gif.bytes), 6), "GIF89a");
  EXPECT_EQ(gif.bytes[6] | gif.bytes[7] << 8, 24);  // width
  EXPECT_EQ(gif.bytes[8] | gif.bytes[9] << 8, 24);  // height
  EXPECT_EQ(gif.bytes[107], 0x3B);                  // the trailer
}

TEST_F(PageStore, CheckPlaceholderEntersItsRecordOnceAndWritesTheImage) {
  const std::string path = m_cache.PathOf("hvempty.gif");
  m_cache.CheckPlaceholder();
  m_cache.CheckPlaceholder();
  EXPECT_EQ(m_cache.KeyCount(), 1);
  ASSERT_EQ(m_cache.Records().size(), 1u);
  CPageDescr* record = m_cache.Find("hvempty.gif");
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->m_strAddress, "hvempty.gif");
  EXPECT_EQ(record->m_nState, CPageDescr::kStored);
  const hv::res::Data gif = hv::res::LoadData(hv::res::IDR_PLACEHOLDER_GIF);
  EXPECT_EQ(ReadText(path), std::string(reinterpret_cast<const char*>(gif.bytes), gif.size));

  WriteText(path, "mine");  // an existing file is left alone
  m_cache.CheckPlaceholder();
  EXPECT_EQ(ReadText(path), "mine");
  hv::fs::RemoveFile(path);
  m_cache.CheckPlaceholder();
  EXPECT_EQ(hv::fs::FileSize(path), 108);
  EXPECT_EQ(m_cache.Find("hvempty.gif"), record);
}

// ---- scratch files -----------------------------------------------------------

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

  hv::test::TempFolder m_temp;
  std::string m_oldTmp;
};

TEST_F(PageStoreTemporaryFile, ReadsBackWhatWasWrittenAndLeavesNothing) {
  auto file = hv::fs::CreateTemporaryFile("HVT");
  ASSERT_TRUE(file->IsOpen());
  EXPECT_EQ(file->GetFilePath().rfind(m_temp / "HVT", 0), 0u);
  std::int64_t entries = -1, bytes = -1;
  hv::fs::MeasureFolder(m_temp.path(), entries, bytes);
  EXPECT_EQ(entries, 0);  // nameless from the start

  const std::string text = "scratch data";
  file->Write(text.data(), text.size());
  EXPECT_EQ(file->GetLength(), text.size());
  file->Seek(8);
  char part[5] = {};
  ASSERT_EQ(file->Read(part, 4), 4u);
  EXPECT_EQ(std::string(part, 4), "data");
  file->SeekToBegin();
  std::string all(text.size(), '\0');
  EXPECT_EQ(file->Read(all.data(), all.size()), text.size());
  EXPECT_EQ(all, text);

  auto second = hv::fs::CreateTemporaryFile("HVT");
  EXPECT_NE(second->GetFilePath(), file->GetFilePath());
  file->Close();
  second->Close();
  hv::fs::MeasureFolder(m_temp.path(), entries, bytes);
  EXPECT_EQ(entries, 0);
}

TEST_F(PageStoreTemporaryFile, FailsLoudlyWithoutAFolder) {
  setenv("TMPDIR", (m_temp / "missing").c_str(), 1);
  EXPECT_THROW(hv::fs::CreateTemporaryFile("HVT"), CFileException);
}

}  // namespace
