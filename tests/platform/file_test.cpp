#include "platform/files/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/files/file_system.h"
#include "platform/files/temp_file.h"
#include "platform/framework/exceptions.h"
#include "platform/temp_folder.h"

namespace {

// Whether another open file description could take the lock right now.
bool CanLock(const std::string& path, int operation) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  const bool ok = fd >= 0 && ::flock(fd, operation | LOCK_NB) == 0;
  if (fd >= 0) ::close(fd);
  return ok;
}

TEST(File, create_truncates_and_plain_write_overwrites_in_place) {
  hv::test::TempFolder dir;
  const std::string path = dir / "data.txt";
  hv::test::WriteText(path, "long old content");
  {
    CFile file(path, CFile::modeWrite);
    file.Write("NEW", 3);
    EXPECT_EQ(file.GetPosition(), 3u);
  }
  EXPECT_EQ(hv::test::ReadText(path), "NEWg old content");
  {
    CFile file(path, CFile::modeReadWrite | CFile::modeCreate | CFile::shareExclusive);
    file.Write("x", 1);
  }
  EXPECT_EQ(hv::test::ReadText(path), "x");
}

TEST(File, open_failures_report_errno) {
  hv::test::TempFolder dir;
  CFile file;
  EXPECT_FALSE(file.Open(dir.path(), CFile::modeRead));  // a folder is not a file
  EXPECT_EQ(errno, EISDIR);
  try {
    CFile missing(dir / "missing", CFile::modeRead);
    FAIL() << "opened a missing file";
  } catch (const CFileException& e) {
    EXPECT_EQ(e.m_lOsError, ENOENT);
    EXPECT_EQ(e.m_strFileName, dir / "missing");
  }
}

TEST(File, full_disk_throws_with_enospc) {
  if (!hv::fs::Exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  CFile file("/dev/full", CFile::modeWrite);
  try {
    file.Write("x", 1);
    file.Flush();
    FAIL() << "write to a full device succeeded";
  } catch (const CFileException& e) {
    EXPECT_EQ(e.m_lOsError, ENOSPC);
  }
}

TEST(File, sharing_modes_take_advisory_locks_until_close) {
  hv::test::TempFolder dir;
  const std::string path = dir / "locked";
  hv::test::WriteText(path, "x");

  CFile reader(path, CFile::modeRead | CFile::shareDenyWrite);
  EXPECT_TRUE(CanLock(path, LOCK_SH));
  EXPECT_FALSE(CanLock(path, LOCK_EX));
  reader.Close();
  CFile writer(path, CFile::modeWrite | CFile::shareDenyWrite);
  EXPECT_FALSE(CanLock(path, LOCK_SH));
  writer.Close();
  CFile unshared(path, CFile::modeRead);
  EXPECT_TRUE(CanLock(path, LOCK_EX));
}

// A replacement shows under the name only once committed, with the mode
// of the file it replaces; a link under the name is replaced, never written
// through; one that is not committed leaves nothing.
TEST(File, replacement_appears_whole_on_commit_and_not_at_all_otherwise) {
  hv::test::TempFolder dir;
  const std::string page = dir / "page";
  const std::string link = dir / "link";
  const std::string outside = dir / "outside";
  hv::test::WriteText(page, "old");
  ::chmod(page.c_str(), 0640);
  hv::test::WriteText(outside, "outside");
  ASSERT_EQ(::symlink(outside.c_str(), link.c_str()), 0);

  for (const std::string& path : {page, link}) {
    SCOPED_TRACE(path);
    auto file = hv::fs::CreateReplacement(path);
    file->Write("new", 3);
    EXPECT_NE(hv::test::ReadText(path), "new");
    file->Commit();
    EXPECT_EQ(hv::test::ReadText(path), "new");
  }
  struct stat st {};
  ASSERT_EQ(::lstat(page.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(hv::test::ReadText(outside), "outside");

  hv::fs::CreateReplacement(page)->Write("lost", 4);
  EXPECT_EQ(hv::test::ReadText(page), "new");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 3);
}

// Rewriting many pages deletes and makes no file: each copy goes into the
// one the previous replacement displaced, cut to what was written this time
// and given the mode of the file it replaces.
TEST(File, replacements_write_over_the_copy_the_last_one_displaced) {
  hv::test::TempFolder dir;
  const std::string first = dir / "first";
  const std::string second = dir / "second";
  hv::test::WriteText(first, "a long old first page");
  hv::test::WriteText(second, "a long old second page");
  ::chmod(first.c_str(), 0600);
  ::chmod(second.c_str(), 0644);
  struct stat old {};
  ASSERT_EQ(::stat(first.c_str(), &old), 0);

  auto replace = [](const std::string& path, const std::string& text) {
    auto file = hv::fs::CreateReplacement(path);
    file->Write(text.data(), text.size());
    file->Commit();
  };
  replace(first, "new 1");
  replace(second, "new 2");
  struct stat st {};
  ASSERT_EQ(::stat(second.c_str(), &st), 0);
  EXPECT_EQ(st.st_ino, old.st_ino) << "the displaced copy was not written over";
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  EXPECT_EQ(hv::test::ReadText(first), "new 1");
  EXPECT_EQ(hv::test::ReadText(second), "new 2");

  hv::fs::ReleaseSpareFiles();
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 2);
}

}  // namespace
