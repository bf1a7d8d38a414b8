#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "harvion/exports.h"
#include "harvion/global_memory.h"
#include "platform/temp_folder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Contents(HGLOBAL block) {
  const auto* data = static_cast<const std::uint8_t*>(GlobalLock(block));
  Bytes bytes(data, data + GlobalSize(block));
  GlobalUnlock(block);
  return bytes;
}

void Store(HGLOBAL block, const Bytes& bytes) {
  std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
  GlobalUnlock(block);
}

// A DROPFILES header with the given list offset and wide flag.
Bytes Header(std::uint32_t listOffset, bool wide) {
  Bytes header(20, 0);
  header[0] = static_cast<std::uint8_t>(listOffset);
  header[16] = wide ? 1 : 0;
  return header;
}

Bytes Concat(Bytes head, const std::string& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

TEST(DropList, new_list_is_header_and_final_zero) {
  HDROP drop = CreateHdrop();
  ASSERT_NE(drop, nullptr);
  EXPECT_EQ(Contents(drop), Concat(Header(20, false), std::string(1, '\0')));
  GlobalFree(drop);
}

TEST(DropList, two_appended_names_are_each_terminated_then_one_more_zero) {
  HDROP drop = CreateHdrop();
  drop = AppendFileToHdrop(drop, "/home/u/a.htm");
  ASSERT_NE(drop, nullptr);
  drop = AppendFileToHdrop(drop, "/b");
  ASSERT_NE(drop, nullptr);
  EXPECT_EQ(Contents(drop), Concat(Header(20, false), std::string("/home/u/a.htm\0/b\0\0", 18)));
  GlobalFree(drop);
}

TEST(DropList, wide_list_takes_the_path_as_16_bit_units) {
  HGLOBAL drop = GlobalAlloc(GHND, 22);
  Store(drop, Header(20, true));
  drop = AppendFileToHdrop(drop, "ab");
  ASSERT_NE(drop, nullptr);
  drop = AppendFileToHdrop(drop, "\xE9");
  ASSERT_NE(drop, nullptr);
  EXPECT_EQ(Contents(drop), Concat(Header(20, true), std::string("a\0b\0\0\0\xE9\0\0\0\0\0", 12)));
  GlobalFree(drop);
}

TEST(DropList, malformed_blocks_are_refused_and_stay_valid) {
  const std::pair<std::size_t, Bytes> blocks[] = {
      {20, Header(20, false)},                  // too small for the final zero
      {21, Header(200, false)},                 // list offset past the end
      {21, Header(4, false)},                   // list offset inside the header
      {23, Concat(Header(20, false), "abc")},  // name never terminated
      {21, Header(20, true)},                   // no room for a 16-bit final zero
  };
  for (const auto& [size, content] : blocks) {
    HGLOBAL block = GlobalAlloc(GHND, size);
    Store(block, content);
    const Bytes before = Contents(block);
    EXPECT_EQ(AppendFileToHdrop(block, "/x"), nullptr);
    EXPECT_EQ(Contents(block), before);
    EXPECT_EQ(GlobalFree(block), nullptr);
  }
}

TEST(ClipboardText, copy_with_terminating_zero) {
  HGLOBAL text = CreateClipboardText("http://a/");
  EXPECT_EQ(Contents(text), Concat({}, std::string("http://a/", 10)));
  GlobalFree(text);
  EXPECT_EQ(CreateClipboardText(nullptr), nullptr);
}

TEST(FileDescriptor, one_linkui_item_named_at_offset_76_and_shorter_than_260) {
  const std::string longest(259, 'n');
  HGLOBAL block = CreateClipboardFiledescriptor(longest.c_str());
  ASSERT_NE(block, nullptr);
  Bytes expected(336, 0);
  expected[0] = 1;         // cItems
  expected[4 + 1] = 0x80;  // dwFlags = FD_LINKUI (0x8000)
  std::memcpy(expected.data() + 76, longest.data(), longest.size());
  EXPECT_EQ(Contents(block), expected);
  GlobalFree(block);
  EXPECT_EQ(CreateClipboardFiledescriptor(std::string(260, 'n').c_str()), nullptr);
}

TEST(CreateName, trims_and_removes_tabs_and_line_breaks) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"  My\tPage \r\n", "MyPage"},
      {"\t Two\r\nLines\v", "TwoLines"},
      {" \f plain name  ", "plain name"},  // only trimmed
      {"inner\fform feed", "inner\fform feed"},
      {" \t\r\n ", ""},
      {"", ""},
  };
  for (auto c : cases) {
    std::string name = c.in;
    CreateName(name);
    EXPECT_EQ(name, c.out) << '"' << c.in << '"';
  }
}

TEST(ShortcutUrl, read_from_the_internet_shortcut_section_only) {
  hv::test::TempFolder dir;
  const std::string path = dir / "page.url";
  const std::string crlf = "[internetshortcut]\r\nurl=http://host/page.htm\r\n";
  hv::test::WriteText(path, crlf);
  std::string url = "stale";
  EXPECT_EQ(GetUrlThroughIni(path.c_str(), url), 1);
  EXPECT_EQ(url, "http://host/page.htm");

  const std::string other = "[Other]\r\nURL=http://host/\r\n";
  hv::test::WriteText(path, other);
  for (const std::string& file : {path, dir / "missing.url"}) {
    EXPECT_EQ(GetUrl(file.c_str(), url), 0);
    EXPECT_EQ(url, "");
  }
}

}  // namespace
