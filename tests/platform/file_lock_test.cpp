#include "platform/files/file_lock.h"

#include <gtest/gtest.h>

#include "platform/files/file_system.h"
#include "platform/temp_folder.h"

namespace {

using hv::fs::FileLock;

TEST(FileLock, second_holder_is_refused_until_the_first_lets_go) {
  hv::test::TempFolder dir;
  const std::string path = dir / ".a.lock";
  {
    FileLock first(path);
    ASSERT_TRUE(first.Held());
    EXPECT_FALSE(FileLock(path, FileLock::Wait::no).Held());
  }
  EXPECT_TRUE(FileLock(path, FileLock::Wait::no).Held());
  EXPECT_FALSE(FileLock(dir / "missing/.a.lock").Held());
}

TEST(FileLock, removed_lock_file_is_made_afresh_by_the_next_holder) {
  hv::test::TempFolder dir;
  const std::string path = dir / ".a.lock";
  FileLock first(path);
  first.RemoveLockFile();
  EXPECT_FALSE(hv::fs::Exists(path));
  // The old holder guards a file nobody can open any more.
  FileLock next(path, FileLock::Wait::no);
  EXPECT_TRUE(next.Held());
  EXPECT_TRUE(hv::fs::Exists(path));
}

}  // namespace
