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

std::set<std::string> Entries(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d))
      if (e->d_name[0] != '.' || (e->d_name[1] && (e->d_name[1] != '.' || e->d_name[2])))
        names.insert(e->d_name);
    ::closedir(d);
  }
  return names;
}

std::string ReadAll(const std::string& path) {
  CFile file(path, CFile::modeRead);
  std::string text(file.GetLength(), '\0');
  file.Read(text.data(), text.size());
  return text;
}

void WriteText(const std::string& path, const std::string& text) {
  WriteWholeFile(path, text.data(), text.size());
}

// prefix + one to four upper-case hexadecimal digits + ".TMP"
bool IsTempName(const std::string& name, const std::string& prefix) {
  if (name.size() < prefix.size() + 5 || name.size() > prefix.size() + 8) return false;
  const std::size_t digits = name.size() - prefix.size() - 4;
  if (name.compare(0, prefix.size(), prefix) != 0 || name.compare(name.size() - 4, 4, ".TMP") != 0)
    return false;
  const std::string hex = name.substr(prefix.size(), digits);
  return hex.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

TEST(FileSystem, join_path_never_doubles_or_drops_the_separator) {
  struct Case {
    const char* dir;
    const char* name;
    const char* joined;
  } cases[] = {
      {"/a", "b", "/a/b"},   {"/a/", "b", "/a/b"}, {"/a", "/b", "/a/b"},
      {"/a/", "/b", "/a/b"}, {"", "b", "b"},       {"/", "b", "/b"},
  };
  for (const auto& c : cases) EXPECT_EQ(JoinPath(c.dir, c.name), c.joined) << c.dir << " + " << c.name;
}

TEST(FileSystem, kinds_and_sizes) {
  hv::test::TempFolder dir;
  WriteText(dir / "file", "12345");
  EXPECT_TRUE(Exists(dir / "file"));
  EXPECT_TRUE(IsRegularFile(dir / "file"));
  EXPECT_FALSE(IsDirectory(dir / "file"));
  EXPECT_EQ(FileSize(dir / "file"), 5);
  EXPECT_TRUE(IsDirectory(dir.path()));
  EXPECT_FALSE(IsRegularFile(dir.path()));
  EXPECT_FALSE(Exists(dir / "missing"));
  EXPECT_EQ(FileSize(dir / "missing"), -1);
}

TEST(FileSystem, ensure_directory_creates_one_level_only) {
  hv::test::TempFolder dir;
  EXPECT_TRUE(EnsureDirectory(dir / "sub"));
  EXPECT_TRUE(EnsureDirectory(dir / "sub"));  // already there
  EXPECT_FALSE(EnsureDirectory(dir / "missing/sub"));
  WriteText(dir / "file", "");
  EXPECT_FALSE(EnsureDirectory(dir / "file"));
}

TEST(FileSystem, remove_file_is_true_once_gone_and_refuses_folders) {
  hv::test::TempFolder dir;
  WriteText(dir / "file", "x");
  EXPECT_TRUE(RemoveFile(dir / "file"));
  EXPECT_TRUE(RemoveFile(dir / "file"));
  EXPECT_TRUE(EnsureDirectory(dir / "sub"));
  EXPECT_FALSE(RemoveFile(dir / "sub"));
  EXPECT_TRUE(IsDirectory(dir / "sub"));
}

TEST(FileSystem, rename_that_changes_only_case_renames) {
  hv::test::TempFolder dir;
  WriteText(dir / "Agent.hvx", "x");
  EXPECT_TRUE(RenamePath(dir / "Agent.hvx", dir / "agent.hvx"));
  EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"agent.hvx"}));
}

TEST(FileSystem, temp_file_names_follow_the_pattern_and_are_unique) {
  hv::test::TempFolder dir;
  std::set<std::string> names;
  for (int i = 0; i < 300; ++i) {
    const std::string path = GetTempFileName(dir.path(), "FRMX");  // prefix cut to three
    ASSERT_FALSE(path.empty());
    const std::string name = path.substr(dir.path().size() + 1);
    EXPECT_TRUE(IsTempName(name, "FRM")) << name;
    EXPECT_EQ(FileSize(path), 0);
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 300u);
  EXPECT_EQ(Entries(dir.path()), names);
}

TEST(FileSystem, temp_file_name_in_missing_folder_is_empty) {
  hv::test::TempFolder dir;
  EXPECT_EQ(GetTempFileName(dir / "missing", "HV"), "");
}

TEST(FileSystem, replace_file_writes_new_content_keeping_the_mode) {
  hv::test::TempFolder dir;
  const std::string path = dir / "agent.hvx";
  ReplaceFile(path, [](CFile& f) { f.Write("first", 5); });
  EXPECT_EQ(ReadAll(path), "first");
  EXPECT_EQ(ModeOf(path), 0644u);

  ::chmod(path.c_str(), 0600);
  ReplaceFile(path, [](CFile& f) { f.Write("second", 6); });
  EXPECT_EQ(ReadAll(path), "second");
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
  EXPECT_EQ(ReadAll(path), "old content");
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
  EXPECT_EQ(ReadAll(dir / "real"), "new");
}

TEST(FileSystem, remove_tree_removes_nested_folders) {
  hv::test::TempFolder dir;
  const std::string root = dir / "tree";
  ASSERT_TRUE(EnsureDirectory(root));
  ASSERT_TRUE(EnsureDirectory(root + "/a"));
  ASSERT_TRUE(EnsureDirectory(root + "/a/b"));
  WriteText(root + "/a/b/page.htm", "x");
  WriteText(root + "/top.htm", "y");
  EXPECT_TRUE(RemoveTree(root + "/"));
  EXPECT_FALSE(Exists(root));
  EXPECT_TRUE(RemoveTree(root));  // nothing left is success
}

TEST(FileSystem, remove_tree_unlinks_links_without_following_them) {
  hv::test::TempFolder dir;
  const std::string outside = dir / "outside";
  ASSERT_TRUE(EnsureDirectory(outside));
  WriteText(outside + "/keep.txt", "keep");
  const std::string root = dir / "tree";
  ASSERT_TRUE(EnsureDirectory(root));
  ASSERT_EQ(::symlink(outside.c_str(), (root + "/folder-link").c_str()), 0);
  ASSERT_EQ(::symlink((outside + "/keep.txt").c_str(), (root + "/file-link").c_str()), 0);
  ASSERT_EQ(::symlink(outside.c_str(), (dir / "top-link").c_str()), 0);

  EXPECT_TRUE(RemoveTree(root));
  EXPECT_TRUE(RemoveTree(dir / "top-link/"));  // the link named, not its target
  EXPECT_FALSE(Exists(root));
  EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"outside"}));
  EXPECT_EQ(ReadAll(outside + "/keep.txt"), "keep");
}

TEST(FileSystem, temp_directory_follows_tmpdir_without_trailing_slash) {
  const char* saved = std::getenv("TMPDIR");
  const std::string restore = saved ? saved : "";
  ::setenv("TMPDIR", "/var/tmp/", 1);
  EXPECT_EQ(TempDirectory(), "/var/tmp");
  ::setenv("TMPDIR", "", 1);
  EXPECT_EQ(TempDirectory(), "/tmp");
  if (saved)
    ::setenv("TMPDIR", restore.c_str(), 1);
  else
    ::unsetenv("TMPDIR");
}

}  // namespace
