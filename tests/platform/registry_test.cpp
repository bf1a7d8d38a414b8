#include "platform/registry/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/registry/registry_file.h"
#include "platform/temp_folder.h"

namespace {

namespace reg = hv::reg;
using hv::test::ReadText;
using hv::test::WriteText;

const std::string kKey = "Software\\Tessarine\\Harvion Plugin\\3.0";

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("HARVION_HOME")) m_oldHome = old;
    setenv("HARVION_HOME", m_home.path().c_str(), 1);
  }
  void TearDown() override {
    if (m_oldHome) {
      setenv("HARVION_HOME", m_oldHome->c_str(), 1);
    } else {
      unsetenv("HARVION_HOME");
    }
  }

  std::string Text() const { return ReadText(reg::StorePath()); }
  // Another writer: a new file renamed over the store.
  void Replace(const std::string& text) const {
    const std::string temp = m_home / "other.tmp";
    WriteText(temp, text);
    ASSERT_EQ(::rename(temp.c_str(), reg::StorePath().c_str()), 0);
  }
  // The next read parses the file instead of answering from memory.
  void Reload() const { Replace(Text()); }

  std::set<std::string> Entries() const {
    std::set<std::string> names;
    if (DIR* d = ::opendir(m_home.path().c_str())) {
      while (const dirent* e = ::readdir(d))
        if (std::string name = e->d_name; name != "." && name != "..") names.insert(name);
      ::closedir(d);
    }
    return names;
  }

  hv::test::TempFolder m_home;
  std::optional<std::string> m_oldHome;
};

std::string String(const std::string& key, const std::string& name) {
  std::string value = "<missing>";
  reg::ReadString(key, name, value);
  return value;
}

std::optional<std::uint32_t> DWord(const std::string& key, const std::string& name) {
  std::uint32_t value = 0;
  return reg::ReadDWord(key, name, value) ? std::optional(value) : std::nullopt;
}

// Runs body in a child process, bounded in time; its result, or -1 when it
// did not exit normally (a crash, or killed by the alarm).
int InChild(const std::function<int()>& body, unsigned seconds = 60) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(seconds);
    ::_exit(body());
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

TEST_F(Registry, every_value_type_round_trips_through_the_file) {
  const std::vector<std::string> texts = {
      "", "plain", "quote \" and back\\slash", "ends in \\", "\\\\server\\share\\",
      "line\r\nbreak", std::string("nul\0inside", 10), "tab\there", "\xC3\xA9t\xE9 \x80\xFF"};
  for (std::size_t i = 0; i < texts.size(); ++i)
    ASSERT_TRUE(reg::WriteString(kKey, "s" + std::to_string(i), texts[i]));
  std::vector<std::uint8_t> wide(300);
  for (std::size_t i = 0; i < wide.size(); ++i) wide[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_TRUE(reg::WriteBinary(kKey, "empty", {}));
  ASSERT_TRUE(reg::WriteBinary(kKey, "wide", wide));
  ASSERT_TRUE(reg::WriteDWord(kKey, "zero", 0));
  ASSERT_TRUE(reg::WriteDWord(kKey, "max", 0xFFFFFFFF));
  Reload();

  for (std::size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(String(kKey, "s" + std::to_string(i)), texts[i]) << i;
  std::vector<std::uint8_t> bytes{1};
  EXPECT_TRUE(reg::ReadBinary(kKey, "empty", bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_TRUE(reg::ReadBinary(kKey, "wide", bytes));
  EXPECT_EQ(bytes, wide);
  EXPECT_EQ(DWord(kKey, "zero"), 0u);
  EXPECT_EQ(DWord(kKey, "max"), 0xFFFFFFFFu);

  // Another type reads as missing; a write replaces the type.
  EXPECT_EQ(DWord(kKey, "s1"), std::nullopt);
  EXPECT_FALSE(reg::ReadBinary(kKey, "s1", bytes));
  EXPECT_EQ(String(kKey, "zero"), "<missing>");
  ASSERT_TRUE(reg::WriteDWord(kKey, "s1", 7));
  EXPECT_EQ(String(kKey, "s1"), "<missing>");
  EXPECT_EQ(DWord(kKey, "s1"), 7u);
}

TEST_F(Registry, writes_the_exact_text_of_a_small_tree) {
  const std::string proxy = kKey + "\\Proxy", paths = "Software\\Tessarine\\Paths";
  ASSERT_TRUE(reg::WriteString(proxy, "Host", "proxy.example"));
  ASSERT_TRUE(reg::WriteDWord(proxy, "Port", 8080));
  ASSERT_TRUE(reg::WriteString(proxy, "", "on"));
  ASSERT_TRUE(reg::WriteString(paths, "Cache", "C:\\Cache \"new\""));
  ASSERT_TRUE(reg::WriteString(paths, "Note", "a\r\nb"));
  ASSERT_TRUE(reg::WriteBinary(paths, "Blob", {0x0a, 0x00, 0xff}));
  ASSERT_TRUE(reg::WriteBinary(paths, "Empty", {}));
  ASSERT_TRUE(reg::CreateKey(kKey + "\\Agents"));  // created last, listed under its parent
  EXPECT_EQ(Text(),
            "REGEDIT4\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software]\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software\\Tessarine]\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software\\Tessarine\\Harvion Plugin]\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software\\Tessarine\\Harvion Plugin\\3.0]\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software\\Tessarine\\Harvion Plugin\\3.0\\Proxy]\r\n"
            "\"Host\"=\"proxy.example\"\r\n"
            "\"Port\"=dword:00001f90\r\n"
            "@=\"on\"\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software\\Tessarine\\Harvion Plugin\\3.0\\Agents]\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software\\Tessarine\\Paths]\r\n"
            "\"Cache\"=\"C:\\\\Cache \\\"new\\\"\"\r\n"
            "\"Note\"=hex(1):61,0d,0a,62,00\r\n"
            "\"Blob\"=hex:0a,00,ff\r\n"
            "\"Empty\"=hex:\r\n"
            "\r\n");
}

TEST_F(Registry, long_binary_wraps_within_eighty_columns) {
  std::vector<std::uint8_t> bytes(60);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
  ASSERT_TRUE(reg::WriteBinary("W", "b", bytes));
  EXPECT_EQ(Text(),
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\W]\r\n"
            "\"b\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
            "  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f,\\\r\n"
            "  30,31,32,33,34,35,36,37,38,39,3a,3b\r\n"
            "\r\n");
}

TEST_F(Registry, subkeys_keep_creation_order_and_first_spelling) {
  for (const char* name : {"Zulu", "alpha", "Mike"}) ASSERT_TRUE(reg::CreateKey(kKey + "\\" + name));
  ASSERT_TRUE(reg::WriteString(kKey + "\\alpha\\deep", "x", "1"));
  Reload();
  ASSERT_TRUE(reg::WriteDWord(kKey + "\\Zulu", "n", 1));
  Reload();
  EXPECT_EQ(reg::SubKeys(kKey), (std::vector<std::string>{"Zulu", "alpha", "Mike"}));
  EXPECT_TRUE(reg::SubKeys(kKey + "\\missing").empty());

  ASSERT_TRUE(reg::WriteString("Software\\MixedCase", "ValueName", "1"));
  EXPECT_EQ(String("SOFTWARE\\mixedcase", "VALUENAME"), "1");
  ASSERT_TRUE(reg::WriteString("software\\MIXEDCASE", "valuename", "2"));
  EXPECT_EQ(String("Software\\MixedCase", "ValueName"), "2");
  EXPECT_TRUE(reg::KeyExists("SOFTWARE\\MIXEDCASE"));
  EXPECT_NE(Text().find("[HKEY_CURRENT_USER\\Software\\MixedCase]\r\n\"ValueName\"=\"2\"\r\n"), std::string::npos);
  EXPECT_EQ(Text().find("valuename"), std::string::npos);
}

TEST_F(Registry, deletes_values_keys_and_subkeys) {
  ASSERT_TRUE(reg::WriteString(kKey + "\\A", "keep", "1"));
  ASSERT_TRUE(reg::WriteString(kKey + "\\A\\B\\C", "x", "1"));
  ASSERT_TRUE(reg::CreateKey(kKey + "\\A\\D"));
  ASSERT_TRUE(reg::WriteString(kKey + "\\E", "z", "1"));

  EXPECT_TRUE(reg::DeleteSubKeys(kKey + "\\A"));
  EXPECT_TRUE(reg::SubKeys(kKey + "\\A").empty());
  EXPECT_FALSE(reg::KeyExists(kKey + "\\A\\B\\C"));
  EXPECT_EQ(String(kKey + "\\A", "keep"), "1");

  EXPECT_TRUE(reg::DeleteValue(kKey + "\\A", "KEEP"));
  EXPECT_EQ(String(kKey + "\\A", "keep"), "<missing>");
  EXPECT_TRUE(reg::DeleteValue(kKey + "\\New", "none"));  // creates the key
  EXPECT_TRUE(reg::KeyExists(kKey + "\\New"));

  EXPECT_TRUE(reg::DeleteKey(kKey));
  EXPECT_TRUE(reg::DeleteKey(kKey));  // already gone
  EXPECT_FALSE(reg::DeleteKey(""));
  Reload();
  EXPECT_FALSE(reg::KeyExists(kKey + "\\E"));
  EXPECT_TRUE(reg::KeyExists("Software\\Tessarine\\Harvion Plugin"));
  EXPECT_TRUE(reg::SubKeys("Software\\Tessarine\\Harvion Plugin").empty());
}

TEST_F(Registry, reads_a_file_edited_by_hand) {
  Replace(
      "\xEF\xBB\xBF  [hkey_current_user\\Software\\Hand]  \n"  // an editor's mark, no REGEDIT4 line
      "; written by hand\n"
      "\t\"Name\" = \"with \\\"quotes\\\"\"  \n"
      "\"Path\"=\"C:\\Temp\"\n"
      "\"Count\"=DWORD:1E\n"
      "\"Bytes\"=hex: 0a , 0B,\\\n"
      "    ff\n"
      "\"Text\"=hex(1):6c,0d,0a,00\n"
      "@=\"default\"\n"
      "\"dup\"=\"first\"\n"
      "[HKEY_CURRENT_USER\\Software\\B]\n"
      "[HKEY_CURRENT_USER\\Software\\hand\\Sub]\n"
      "[HKEY_CURRENT_USER\\Software\\Hand]\n"
      "\"DUP\"=\"last\"\n"
      "[-HKEY_CURRENT_USER\\Software\\Hand\\Sub]\n");
  const std::string key = "Software\\Hand";
  EXPECT_EQ(String(key, "Name"), "with \"quotes\"");
  EXPECT_EQ(String(key, "Path"), "C:\\Temp");
  EXPECT_EQ(DWord(key, "Count"), 30u);
  std::vector<std::uint8_t> bytes;
  EXPECT_TRUE(reg::ReadBinary(key, "Bytes", bytes));
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x0a, 0x0b, 0xff}));
  EXPECT_EQ(String(key, "Text"), "l\r\n");
  EXPECT_EQ(String(key, ""), "default");
  EXPECT_EQ(String(key, "dup"), "last");
  EXPECT_EQ(reg::SubKeys(key), (std::vector<std::string>{"Sub"}));
  EXPECT_EQ(reg::SubKeys("Software"), (std::vector<std::string>{"Hand", "B"}));

  // Rewritten depth first, the comment and the deletion header kept.
  ASSERT_TRUE(reg::WriteDWord("Software\\B", "n", 1));
  const std::string text = Text();
  EXPECT_LT(text.find("[HKEY_CURRENT_USER\\Software\\Hand\\Sub]"), text.find("[HKEY_CURRENT_USER\\Software\\B]"));
  EXPECT_NE(text.find("; written by hand\r\n"), std::string::npos);
  EXPECT_NE(text.find("[-HKEY_CURRENT_USER\\Software\\Hand\\Sub]\r\n"), std::string::npos);
}

TEST_F(Registry, damaged_file_reads_what_it_can_and_a_write_keeps_the_rest) {
  const std::string junk = std::string("\x01\xff\xfe\0\0\x80 junk", 11);
  const std::vector<std::string> kept = {
      junk,
      "\"open\"=\"no closing quote",
      std::string(100000, 'x'),
      "\"bad\"=dword:123456789",
      "\"cut\"=hex:01,02,\\",
      "[HKEY_CURRENT_USER\\Software\\Broken",
      "\"lost\"=\"1\"",
      "[HKEY_LOCAL_MACHINE\\Software\\Other]",
      "\"machine\"=\"1\"",
  };
  Replace(junk + "\n[HKEY_CURRENT_USER\\Software\\Good]\r\n\"ok\"=\"1\"\r\n" + kept[1] + "\r\n" + kept[2] + "\r\n" +
          kept[3] + "\r\n" + kept[4] + "\r\n\"after\"=dword:00000002\r\n" + kept[5] + "\r\n" + kept[6] + "\r\n" +
          kept[7] + "\r\n" + kept[8] + "\r\n[HKEY_CURRENT_USER\\Software\\Tail]\r\n\"whole\"=\"1\"\r\n" +
          "\"joined\"=hex:01,\\\r\n\"between\"=dword:00000001\r\n  02\r\n\"trunc\"=\"ab");

  const auto check = [&] {
    EXPECT_EQ(String("Software\\Good", "ok"), "1");
    EXPECT_EQ(DWord("Software\\Good", "after"), 2u);  // not swallowed by the cut-off list
    EXPECT_EQ(String("Software\\Tail", "whole"), "1");
    for (const char* name : {"open", "bad", "cut", "lost"}) EXPECT_EQ(String("Software\\Good", name), "<missing>");
    EXPECT_EQ(String("Software\\Tail", "trunc"), "<missing>");
    std::vector<std::uint8_t> bytes;
    EXPECT_FALSE(reg::ReadBinary("Software\\Tail", "joined", bytes));
    EXPECT_FALSE(reg::KeyExists("Software\\Broken"));
    EXPECT_FALSE(reg::KeyExists("Software\\Other"));
  };
  check();

  ASSERT_TRUE(reg::WriteDWord("Software\\New", "n", 7));
  const std::string first = Text();
  for (const std::string& line : kept) EXPECT_NE(first.find(line + "\r\n"), std::string::npos) << line.substr(0, 40);
  EXPECT_NE(first.find("\"trunc\"=\"ab\r\n"), std::string::npos);
  Reload();
  check();
  EXPECT_EQ(DWord("Software\\New", "n"), 7u);
  // The kept lines stay where they are: a second write changes only its value.
  ASSERT_TRUE(reg::WriteDWord("Software\\New", "n", 8));
  std::string second = Text();
  const std::string written = "\"n\"=dword:00000008";
  ASSERT_NE(second.find(written), std::string::npos);
  second.replace(second.find(written), written.size(), "\"n\"=dword:00000007");
  EXPECT_TRUE(second == first);  // not EXPECT_EQ: the text is too long to print

  // Lines once apart do not join into a value when what was between goes.
  ASSERT_TRUE(reg::DeleteValue("Software\\Tail", "between"));
  Reload();
  check();
}

TEST_F(Registry, failed_writes_leave_the_file_untouched) {
  ASSERT_TRUE(reg::WriteString(kKey, "v", "old"));
  const std::string before = Text();
  const std::set<std::string> files = Entries();

  // A full disk, made by a file size limit in a child process.
  EXPECT_EQ(InChild([&] {
              std::signal(SIGXFSZ, SIG_IGN);
              const rlimit limit{before.size() + 100, before.size() + 100};
              if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
              return reg::WriteBinary(kKey, "big", std::vector<std::uint8_t>(10000, 0xab)) ? 1 : 0;
            }),
            0);
  EXPECT_EQ(Text(), before);
  EXPECT_EQ(Entries(), files);  // no temporary file left behind

  // A folder that cannot be written; root passes permission checks, so the
  // child becomes an ordinary user owning the files.
  const std::string home = m_home.path(), path = reg::StorePath();
  ASSERT_EQ(::chmod(home.c_str(), 0500), 0);
  const int result = InChild([&] {
    if (::geteuid() == 0) {
      for (const std::string& p : {home, path, path + ".lock"})
        if (::chown(p.c_str(), 65534, 65534) != 0) return 2;
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) return 2;
    }
    return reg::WriteString(kKey, "v", "new") ? 1 : 0;
  });
  ::chmod(home.c_str(), 0700);
  if (result == 2) GTEST_SKIP() << "cannot act as an ordinary user";
  EXPECT_EQ(result, 0);
  EXPECT_EQ(Text(), before);
  EXPECT_EQ(Entries(), files);
  EXPECT_EQ(String(kKey, "v"), "old");

  // A store that cannot be read is never overwritten.
  const std::string dir = (m_home / "elsewhere");
  ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
  setenv("HARVION_HOME", dir.c_str(), 1);
  ASSERT_EQ(::mkdir(reg::StorePath().c_str(), 0700), 0);
  EXPECT_FALSE(reg::WriteString(kKey, "v", "new"));
  EXPECT_EQ(String(kKey, "v"), "<missing>");

  // Names that cannot sit on one line are refused.
  setenv("HARVION_HOME", home.c_str(), 1);
  EXPECT_FALSE(reg::WriteString(kKey, "two\nlines", "x"));
  EXPECT_FALSE(reg::CreateKey(kKey + "\\cr\r"));
  EXPECT_EQ(Text(), before);
}

TEST_F(Registry, store_and_lock_file_are_private) {
  WriteText(reg::StorePath(), "REGEDIT4\r\n");
  ::chmod(reg::StorePath().c_str(), 0644);
  ASSERT_TRUE(reg::WriteString(kKey, "Password", "secret"));
  EXPECT_EQ(ModeOf(reg::StorePath()), 0600u);
  EXPECT_EQ(ModeOf(reg::StorePath() + ".lock"), 0600u);

  // A wider mode found by a reader is narrowed too; a narrower one stays.
  for (const auto& [mode, narrowed] : {std::pair{0644u, 0600u}, {0700u, 0600u}, {0400u, 0400u}}) {
    Reload();
    ::chmod(reg::StorePath().c_str(), mode);
    EXPECT_EQ(String(kKey, "Password"), "secret");
    EXPECT_EQ(ModeOf(reg::StorePath()), narrowed) << std::oct << mode;
  }
}

TEST_F(Registry, a_link_in_place_of_the_store_is_replaced_and_what_it_names_is_left_alone) {
  hv::test::TempFolder elsewhere;
  const std::string outside = elsewhere / "system.reg", text = "REGEDIT4\r\n";
  WriteText(outside, text);
  ASSERT_EQ(::chmod(outside.c_str(), 0644), 0);
  ASSERT_EQ(::symlink(outside.c_str(), reg::StorePath().c_str()), 0);
  EXPECT_EQ(String(kKey, "Password"), "<missing>");  // read through the link
  ASSERT_TRUE(reg::WriteString(kKey, "Password", "secret"));
  EXPECT_EQ(ReadText(outside), text);
  EXPECT_EQ(ModeOf(outside), 0644u);
  struct stat st {};
  ASSERT_EQ(::lstat(reg::StorePath().c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(String(kKey, "Password"), "secret");
}

TEST_F(Registry, store_that_is_no_regular_file_is_refused_at_once) {
  const std::string path = reg::StorePath(), fifo = m_home / "fifo";
  const std::string valid = "REGEDIT4\r\n[HKEY_CURRENT_USER\\K]\r\n\"v\"=\"1\"\r\n";
  struct Case {
    const char* name;
    std::function<void()> make;
    bool readable;  // only writing is refused
  };
  const std::vector<Case> cases = {
      {"fifo", [&] { ::mkfifo(path.c_str(), 0600); }, false},
      {"link to /dev/zero", [&] { ::symlink("/dev/zero", path.c_str()); }, false},
      {"link to a fifo", [&] { ::mkfifo(fifo.c_str(), 0600), ::symlink(fifo.c_str(), path.c_str()); }, false},
      {"folder", [&] { ::mkdir(path.c_str(), 0700); }, false},
      {"over 64 MiB", [&] { WriteText(path, valid), ::truncate(path.c_str(), (off_t{64} << 20) + 1); }, false},
      {"lock file a fifo", [&] { WriteText(path, valid), ::mkfifo((path + ".lock").c_str(), 0600); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.make();
    struct stat before {}, after {};
    ASSERT_EQ(::lstat(path.c_str(), &before), 0);
    const auto refused = [&] {
      std::string value;
      return reg::ReadString("K", "v", value) == c.readable && reg::StoreProblem().empty() == c.readable &&
             !reg::WriteString("K", "v", "2");
    };
    EXPECT_EQ(InChild([&] { return refused() ? 0 : 1; }, 10), 0);
    ASSERT_EQ(::lstat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
    EXPECT_EQ(after.st_size, before.st_size);
    for (const std::string& name : {path, path + ".lock", fifo}) hv::fs::RemoveTree(name);
    EXPECT_TRUE(Entries().empty());  // no temporary file left
  }
}

TEST_F(Registry, store_past_64_mib_is_not_written) {
  ASSERT_TRUE(reg::WriteString(kKey, "v", "old"));
  const std::string before = Text();
  // Written as "xx," at three characters or more a byte.
  EXPECT_FALSE(reg::WriteBinary(kKey, "big", std::vector<std::uint8_t>(std::size_t{23} << 20, 0xab)));
  EXPECT_TRUE(Text() == before);  // not EXPECT_EQ: a failure would print 70 MB
  EXPECT_EQ(String(kKey, "v"), "old");
}

TEST_F(Registry, keys_nested_past_the_bound_are_kept_as_written) {
  struct Case {
    std::size_t depth;
    bool ours;  // read, and written with a header for each level
  } const cases[] = {{6, true}, {64, true}, {65, false}, {100000, false}};
  for (const Case c : cases) {
    SCOPED_TRACE(c.depth);
    std::string key = "Deep";
    for (std::size_t i = 1; i < c.depth; ++i) key += "\\k";
    const std::string section = "[HKEY_CURRENT_USER\\" + key + "]\r\n\"v\"=\"1\"\r\n";
    Replace("REGEDIT4\r\n\r\n" + section + "\r\n[HKEY_CURRENT_USER\\Plain]\r\n\"p\"=\"1\"\r\n");
    const std::size_t size = Text().size();
    // Apart: a fault here was a crash or a write of gigabytes.
    const auto readAndWrite = [&] { return (String(key, "v") == "1") == c.ours && reg::WriteString("Plain", "p", "2"); };
    ASSERT_EQ(InChild([&] { return readAndWrite() ? 0 : 1; }, 20), 0);
    const std::string text = Text();
    EXPECT_NE(text.find(section), std::string::npos);
    EXPECT_LT(text.size(), size + 8192);
    EXPECT_EQ(String("Plain", "p"), "2");
    // What would not be read back is not written either.
    EXPECT_EQ(reg::WriteString(key, "w", "1"), c.ours);
    EXPECT_EQ(reg::CreateKey(key + "\\more"), c.depth < 64);
  }
}

TEST_F(Registry, keys_with_many_subkeys_are_found_after_every_change) {
  const std::string list = kKey + "\\Many";
  ASSERT_TRUE(reg::Edit([&](reg::Tree& tree) {
    for (int i = 0; i < 100; ++i) tree.WriteDWord(list + "\\Item" + std::to_string(i), "n", i);
  }));
  Reload();
  EXPECT_EQ(DWord(list + "\\ITEM42", "n"), 42u);
  ASSERT_TRUE(reg::Edit([&](reg::Tree& tree) {
    std::uint32_t n = 0;
    tree.DeleteKey(list + "\\item7");
    EXPECT_FALSE(tree.KeyExists(list + "\\Item7"));
    EXPECT_TRUE(tree.ReadDWord(list + "\\Item99", "n", n) && n == 99);  // moved down by one
    tree.WriteDWord(list + "\\New", "n", 100);                          // may move every item
    EXPECT_TRUE(tree.ReadDWord(list + "\\item8", "n", n) && n == 8);
  }));
  EXPECT_EQ(DWord(list + "\\Item99", "n"), 99u);
  ASSERT_TRUE(reg::WriteDWord(list + "\\Item7", "n", 7));  // one key again, not a second
  EXPECT_EQ(reg::SubKeys(list).size(), 101u);
}

TEST(RegistryKey, a_very_deep_chain_of_keys_is_freed_without_recursion) {
  EXPECT_EQ(InChild(
                [] {
                  // A small stack, so a destructor that recursed would overflow it.
                  const rlimit limit{1 << 20, 1 << 20};
                  if (::setrlimit(RLIMIT_STACK, &limit) != 0) return 2;
                  hv::reg::detail::Key root;
                  hv::reg::detail::Key* key = &root;
                  for (int i = 0; i < 200000; ++i) key = &key->subkeys.emplace_back("k");
                  return 0;
                },
                20),
            0);
}

TEST_F(Registry, sees_changes_of_other_writers_and_rereads_only_then) {
  ASSERT_TRUE(reg::WriteString(kKey, "v", "aaaa"));
  const std::string path = reg::StorePath(), original = Text();
  const auto rewrite = [&](const std::string& from, const std::string& to, bool keepTime) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    std::string text = original;
    text.replace(text.find(from), from.size(), to);
    WriteText(path, text);  // in place: the inode stays
    timespec times[2] = {st.st_atim, st.st_mtim};
    if (!keepTime) times[1].tv_sec += 10;
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
  };
  rewrite("aaaa", "bbbb", false);  // same size, other time
  EXPECT_EQ(String(kKey, "v"), "bbbb");
  rewrite("aaaa", "cc", true);  // other size, same time
  EXPECT_EQ(String(kKey, "v"), "cc");
  rewrite("aaaa", "dd", true);  // nothing to tell it apart: the parsed tree stays
  EXPECT_EQ(String(kKey, "v"), "cc");
  Replace(original);  // a new inode
  EXPECT_EQ(String(kKey, "v"), "aaaa");
}

TEST_F(Registry, edit_makes_several_changes_in_one_replacement) {
  ASSERT_TRUE(reg::Edit([](reg::Tree& tree) {
    tree.WriteString(kKey, "a", "1");
    tree.WriteDWord(kKey + "\\Sub", "b", 2);
    tree.WriteBinary(kKey, "c", {3});
    std::string s;
    EXPECT_TRUE(tree.ReadString(kKey, "a", s));
    EXPECT_EQ(tree.SubKeys(kKey), std::vector<std::string>{"Sub"});
  }));
  EXPECT_EQ(String(kKey, "a"), "1");
  EXPECT_EQ(DWord(kKey + "\\Sub", "b"), 2u);

  struct stat before {}, after {};
  ::stat(reg::StorePath().c_str(), &before);
  ASSERT_TRUE(reg::Edit([](reg::Tree& tree) { tree.WriteString(kKey, "A", "1"); }));
  ASSERT_TRUE(reg::WriteDWord(kKey + "\\Sub", "b", 2));
  ::stat(reg::StorePath().c_str(), &after);
  EXPECT_EQ(after.st_ino, before.st_ino);  // nothing changed, nothing written

  const std::string text = Text();
  EXPECT_THROW(reg::Edit([](reg::Tree& tree) {
                 tree.DeleteKey(kKey);
                 throw std::runtime_error("editor failed");
               }),
               std::runtime_error);
  EXPECT_EQ(Text(), text);
  EXPECT_EQ(String(kKey, "a"), "1");
}

TEST_F(Registry, concurrent_processes_and_threads_lose_no_write) {
  constexpr int kWriters = 3, kValues = 100;
  std::vector<pid_t> children;
  for (int c = 0; c < kWriters; ++c) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::alarm(60);
      for (int i = 0; i < kValues; ++i)
        if (!reg::WriteDWord(kKey + "\\Process" + std::to_string(c), "v" + std::to_string(i), i)) ::_exit(1);
      ::_exit(0);
    }
    ASSERT_GT(pid, 0);
    children.push_back(pid);
  }
  // Threads of this process write at the same time.
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < kValues / 4; ++i) reg::WriteDWord(kKey + "\\Thread" + std::to_string(t), std::to_string(i), i);
    });
  for (std::thread& t : threads) t.join();
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  for (int c = 0; c < kWriters; ++c)
    for (int i = 0; i < kValues; ++i)
      EXPECT_EQ(DWord(kKey + "\\Process" + std::to_string(c), "v" + std::to_string(i)), std::uint32_t(i));
  for (int t = 0; t < 2; ++t)
    for (int i = 0; i < kValues / 4; ++i)
      EXPECT_EQ(DWord(kKey + "\\Thread" + std::to_string(t), std::to_string(i)), std::uint32_t(i));
  EXPECT_EQ(reg::SubKeys(kKey).size(), std::size_t(kWriters + 2));
}

}  // namespace
