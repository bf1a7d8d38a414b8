#include "platform/files/file_system.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "platform/files/file.h"
#include "platform/temp_folder.h"

namespace {

using namespace hv::fs;
using hv::test::ReadText;
using hv::test::WriteText;

std::set<std::string> Entries(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d))
      if (std::string name = e->d_name; name != "." && name != "..") names.insert(name);
    ::closedir(d);
  }
  return names;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

TEST(FileSystem, join_path_never_doubles_or_drops_the_separator) {
  EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
  EXPECT_EQ(JoinPath("/a/", "/b"), "/a/b");
  EXPECT_EQ(JoinPath("/", "b"), "/b");
  EXPECT_EQ(JoinPath("", "b"), "b");
}

TEST(FileSystem, ensure_directory_creates_one_level_only) {
  hv::test::TempFolder dir;
  EXPECT_TRUE(EnsureDirectory(dir / "sub"));
  EXPECT_TRUE(EnsureDirectory(dir / "sub"));
  EXPECT_FALSE(EnsureDirectory(dir / "missing/sub"));
  WriteText(dir / "file", "");
  EXPECT_FALSE(EnsureDirectory(dir / "file"));
}

TEST(FileSystem, temp_file_names_follow_the_pattern_and_are_unique) {
  hv::test::TempFolder dir;
  std::set<std::string> names;
  for (int i = 0; i < 300; ++i) {
    const std::string path = GetTempFileName(dir.path(), "FRMX");  // prefix cut to three
    ASSERT_FALSE(path.empty());
    const std::string name = path.substr(dir.path().size() + 1);
    // "FRM" + one to four upper-case hexadecimal digits + ".TMP"
    ASSERT_TRUE(name.size() >= 8 && name.size() <= 11) << name;
    EXPECT_EQ(name.substr(0, 3), "FRM");
    EXPECT_EQ(name.substr(name.size() - 4), ".TMP");
    EXPECT_EQ(name.substr(3, name.size() - 7).find_first_not_of("0123456789ABCDEF"), std::string::npos);
    names.insert(name);
  }
  EXPECT_EQ(Entries(dir.path()), names);  // 300 distinct files on disk
  EXPECT_EQ(GetTempFileName(dir / "missing", "HV"), "");
}

TEST(FileSystem, replace_file_writes_new_content_keeping_the_mode) {
  hv::test::TempFolder dir;
  const std::string path = dir / "agent.hvx";
  ReplaceFile(path, [](CFile& f) { f.Write("first", 5); });
  EXPECT_EQ(ModeOf(path), 0644u);
  ::chmod(path.c_str(), 0600);
  ReplaceFile(path, [](CFile& f) { f.Write("second", 6); });
  EXPECT_EQ(ReadText(path), "second");
  EXPECT_EQ(ModeOf(path), 0600u);
  EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"agent.hvx"}));
}

TEST(FileSystem, replace_file_leaves_old_file_whole_when_the_writer_throws) {
  hv::test::TempFolder dir;
  const std::string path = dir / "index.hvc";
  WriteText(path, "old content");
  EXPECT_THROW(ReplaceFile(path,
                           [](CFile& f) {
                             f.Write("half", 4);
                             throw std::runtime_error("disk went away");
                           }),
               std::runtime_error);
  EXPECT_EQ(ReadText(path), "old content");
  EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"index.hvc"}));  // no temporary left
}

TEST(FileSystem, replace_file_through_a_link_keeps_the_link) {
  hv::test::TempFolder dir;
  WriteText(dir / "real", "old");
  ASSERT_EQ(::symlink((dir / "real").c_str(), (dir / "link").c_str()), 0);
  ReplaceFile(dir / "link", [](CFile& f) { f.Write("new", 3); });
  struct stat st {};
  ASSERT_EQ(::lstat((dir / "link").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadText(dir / "real"), "new");
}

TEST(FileSystem, remove_tree_removes_nested_folders_but_never_follows_links) {
  hv::test::TempFolder dir;
  const std::string outside = dir / "outside";
  ASSERT_TRUE(EnsureDirectory(outside));
  WriteText(outside + "/keep.txt", "keep");
  const std::string root = dir / "tree";
  ASSERT_TRUE(EnsureDirectory(root) && EnsureDirectory(root + "/a") && EnsureDirectory(root + "/a/b"));
  WriteText(root + "/a/b/page.htm", "x");
  ASSERT_EQ(::symlink(outside.c_str(), (root + "/a/folder-link").c_str()), 0);
  ASSERT_EQ(::symlink((outside + "/keep.txt").c_str(), (root + "/file-link").c_str()), 0);
  ASSERT_EQ(::symlink(outside.c_str(), (dir / "top-link").c_str()), 0);

  EXPECT_TRUE(RemoveTree(root + "/"));
  EXPECT_TRUE(RemoveTree(dir / "top-link/"));  // the link named, not its target
  EXPECT_TRUE(RemoveTree(root));               // nothing left is success
  EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"outside"}));
  EXPECT_EQ(ReadText(outside + "/keep.txt"), "keep");
}

}  // namespace

namespace {

TEST(FileSystem, measure_folder_counts_entries_and_file_bytes_without_recursion) {
  hv::test::TempFolder dir;
  WriteText(dir / "a", std::string(100, 'a'));
  WriteText(dir / "b", std::string(23, 'b'));
  ASSERT_TRUE(EnsureDirectory(dir / "sub"));
  WriteText(dir / "sub/deep", std::string(1000, 'd'));
  std::int64_t count = -1, bytes = -1;
  MeasureFolder(dir.path(), count, bytes);
  EXPECT_EQ(count, 3);  // the subfolder is an entry; what it holds is not
  EXPECT_EQ(bytes, 123);
  MeasureFolder(dir / "missing", count, bytes);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(bytes, 0);
}

}  // namespace
