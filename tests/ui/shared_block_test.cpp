#include "shell/shared_block.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

using hvui::SharedBlock;

class SharedBlockTest : public ::testing::Test {
 protected:
  // A title no other test run uses at the same time.
  void SetUp() override {
    m_title = QStringLiteral("Harvion Plugin Frame: %1 %2")
                  .arg(getpid())
                  .arg(QString::fromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  }
  void TearDown() override { shm_unlink(SharedBlock::NameFor(m_title).c_str()); }

  QString m_title;
};

TEST(SharedBlockName, titles_become_one_valid_shared_memory_name) {
  const std::string user = "/harvion." + std::to_string(geteuid()) + ".";
  const struct {
    QString title;
    std::string name;
  } cases[] = {
      {"Harvion Plugin Frame: 4242", user + "Harvion_Plugin_Frame__4242"},
      {"a/b/../c", user + "a_b____c"},
      {"", user},
      {QString::fromUtf8("caf\xC3\xA9"), user + "caf__"},
      {QString(300, 'x'), user + std::string(256 - user.size(), 'x')},
  };
  for (const auto& c : cases) EXPECT_EQ(SharedBlock::NameFor(c.title), c.name) << c.title.toStdString();
}

TEST_F(SharedBlockTest, new_block_reads_empty_and_an_existing_one_keeps_its_text) {
  auto first = std::make_unique<SharedBlock>(m_title);
  ASSERT_TRUE(first->IsOpen());
  EXPECT_TRUE(first->Created());
  EXPECT_EQ(first->ReadText(), "");
  ASSERT_TRUE(first->WriteText("My Agent"));

  SharedBlock second(m_title);
  EXPECT_FALSE(second.Created());
  EXPECT_EQ(second.ReadText(), "My Agent");
  first.reset();
  ASSERT_TRUE(second.WriteText("?"));
  EXPECT_EQ(second.ReadText(), "?");

  // Once the owner removes the name, the next block starts afresh.
  second.Unlink();
  SharedBlock third(m_title);
  EXPECT_TRUE(third.Created());
  EXPECT_EQ(third.ReadText(), "");
}

TEST_F(SharedBlockTest, texts_that_do_not_fit_are_refused_and_the_block_keeps_its_text) {
  SharedBlock block(m_title);
  ASSERT_TRUE(block.IsOpen());
  const struct {
    std::string text;
    bool written;
  } cases[] = {
      {"", true},
      {"http://h/a.html", true},
      {std::string(511, 'u'), true},
      {std::string(512, 'v'), false},
      {std::string(4096, 'w'), false},
      {std::string("a\0b", 3), false},
      {"short", true},
  };
  std::string held;
  for (const auto& c : cases) {
    EXPECT_EQ(block.WriteText(c.text), c.written) << c.text.size();
    if (c.written) held = c.text;
    EXPECT_EQ(block.ReadText(), held) << c.text.size();
  }
}

TEST_F(SharedBlockTest, a_block_filled_by_another_writer_reads_511_bytes) {
  SharedBlock block(m_title);
  ASSERT_TRUE(block.IsOpen());
  const int fd = shm_open(block.Name().c_str(), O_RDWR, 0);
  ASSERT_GE(fd, 0);
  void* view = mmap(nullptr, SharedBlock::kSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  ASSERT_NE(view, MAP_FAILED);
  std::memset(view, 'z', SharedBlock::kSize);
  munmap(view, SharedBlock::kSize);
  EXPECT_EQ(block.ReadText(), std::string(511, 'z'));
}

TEST_F(SharedBlockTest, without_a_block_texts_are_empty_and_writes_fail) {
  // A folder in the block's place cannot be mapped, whoever runs the test.
  const std::string place = "/dev/shm" + SharedBlock::NameFor(m_title);
  ASSERT_EQ(mkdir(place.c_str(), 0700), 0);
  {
    SharedBlock block(m_title);
    EXPECT_FALSE(block.IsOpen());
    EXPECT_EQ(block.ReadText(), "");
    EXPECT_FALSE(block.WriteText("name"));
  }
  rmdir(place.c_str());
}

}  // namespace
