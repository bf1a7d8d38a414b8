#include "harvion/shared_memory_block.h"

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

namespace {

std::string TestName() {
  return "/hvtest." + std::to_string(::getpid()) + "." +
         ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

// Opens the block in a child process that writes a text and ends without
// removing it, as a program that crashed.
void LeaveBehind(const std::string& name, bool owner, const std::string& text) {
  const pid_t child = ::fork();
  if (child == 0) {
    SharedMemoryBlock block(name, owner);
    ::_exit(block.WriteText(text) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(SharedMemoryBlock, a_block_left_by_a_dead_owner_is_replaced) {
  const std::string name = TestName();
  const struct {
    bool leftByOwner;
    bool openedAsOwner;
    const char* text;  // what the next opener reads
    bool created;
  } cases[] = {
      {true, true, "", true},
      {true, false, "", true},
      // A component that made the block and ended left its text for the owner.
      {false, true, "My Agent", false},
      {false, false, "My Agent", false},
  };
  for (const auto& c : cases) {
    LeaveBehind(name, c.leftByOwner, "My Agent");
    SharedMemoryBlock block(name, c.openedAsOwner);
    EXPECT_TRUE(block.IsOpen());
    EXPECT_EQ(block.ReadText(), c.text) << c.leftByOwner << c.openedAsOwner;
    EXPECT_EQ(block.Created(), c.created) << c.leftByOwner << c.openedAsOwner;
    block.Unlink();
  }

  // A living owner's block is shared, and an owner that claimed a block left
  // by a component keeps it once that component is gone.
  LeaveBehind(name, false, "?");
  SharedMemoryBlock owner(name, true);
  SharedMemoryBlock other(name, false);
  EXPECT_FALSE(other.Created());
  ASSERT_TRUE(other.WriteText("http://h/"));
  EXPECT_EQ(owner.ReadText(), "http://h/");
  SharedMemoryBlock again(name, true);
  EXPECT_FALSE(again.Created());
  EXPECT_EQ(again.ReadText(), "http://h/");
  owner.Unlink();
}

TEST(SharedMemoryBlock, a_block_of_another_user_is_not_used) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs a second user";
  const std::string name = TestName();
  {
    SharedMemoryBlock mine(name, true);
    ASSERT_TRUE(mine.WriteText("secret"));
  }
  const std::string place = "/dev/shm" + name;
  ASSERT_EQ(::chown(place.c_str(), 65534, 65534), 0);
  SharedMemoryBlock block(name, true);
  EXPECT_FALSE(block.IsOpen());
  EXPECT_EQ(block.ReadText(), "");
  ::shm_unlink(name.c_str());
}

}  // namespace
