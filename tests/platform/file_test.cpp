#include "platform/files/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "platform/files/file_system.h"
#include "platform/framework/exceptions.h"
#include "platform/temp_folder.h"

namespace {

std::string ReadAll(const std::string& path) {
  CFile file(path, CFile::modeRead);
  std::string text(file.GetLength() + 1, '\0');
  text.resize(file.Read(text.data(), text.size()));  // short only at the end
  return text;
}

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
  hv::fs::WriteWholeFile(path, "long old content", 16);
  {
    CFile file(path, CFile::modeWrite);
    file.Write("NEW", 3);
    EXPECT_EQ(file.GetPosition(), 3u);
  }
  EXPECT_EQ(ReadAll(path), "NEWg old content");
  {
    CFile file(path, CFile::modeReadWrite | CFile::modeCreate | CFile::shareExclusive);
    file.Write("x", 1);
  }
  EXPECT_EQ(ReadAll(path), "x");
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
  hv::fs::WriteWholeFile(path, "x", 1);

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

TEST(MemFile, writes_grow_and_reads_stop_at_the_end) {
  CMemFile file;
  file.Write("abc", 3);
  file.Write("de", 2);
  CMemFile reader(file.Detach());
  char buffer[8] = {};
  EXPECT_EQ(reader.Read(buffer, 2), 2u);
  EXPECT_EQ(reader.Read(buffer + 2, 8), 3u);
  EXPECT_EQ(reader.Read(buffer, 1), 0u);
  EXPECT_STREQ(buffer, "abcde");
}

}  // namespace
