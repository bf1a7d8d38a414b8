#include "platform/files/file_lock.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/files/file_system.h"
#include "platform/temp_folder.h"

namespace {

using hv::fs::FileLock;

TEST(FileLock, one_holder_at_a_time_and_a_removed_file_made_afresh) {
  hv::test::TempFolder dir;
  const std::string path = dir / ".a.lock";
  {
    FileLock first(path);
    ASSERT_TRUE(first.Held());
    EXPECT_FALSE(FileLock(path, FileLock::Wait::no).Held());
    first.RemoveLockFile();
    // The first holder now guards a file nobody can open any more.
    EXPECT_TRUE(FileLock(path, FileLock::Wait::no).Held());
  }
  EXPECT_TRUE(FileLock(path, FileLock::Wait::no).Held());
}

TEST(FileLock, a_link_in_the_locks_place_makes_no_file_where_it_points) {
  hv::test::TempFolder dir;
  const std::string path = dir / ".a.lock";
  const std::string target = dir / "elsewhere";
  ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
  EXPECT_FALSE(FileLock(path, FileLock::Wait::no).Held());
  EXPECT_FALSE(hv::fs::Exists(target));
}

}  // namespace
