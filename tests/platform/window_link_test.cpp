#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "harvion/child_window.h"
#include "harvion/exports.h"
#include "harvion/global_memory.h"
#include "harvion/message_target.h"
#include "harvion/top_level_window.h"
#include "harvion/window_messages.h"
#include "peer/window_peer_messages.h"
#include "platform/windows/link_frame.h"
#include "platform/windows/runtime_folder.h"
#include "platform/windows/window_directory.h"
#include "platform/windows/window_handle.h"
#include "platform/windows/window_link.h"
#include "window_peer_process.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A findable window of the test process that records what reaches it.
class Inbox {
 public:
  Inbox() {
    m_window = CreateMessageTarget([this](UINT message, WPARAM, LPARAM lParam) {
      std::lock_guard lock(m_mutex);
      m_got.push_back({message, lParam});
      m_changed.notify_all();
    });
    m_listed = PublishWindow(m_window, "HvTestInbox", "Inbox");
  }
  ~Inbox() { DestroyMessageTarget(m_window); }

  HWND window() const { return m_window; }
  bool listed() const { return m_listed; }
  // Waits until a message with that lParam came, at most five seconds.
  bool WaitFor(LPARAM lParam) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, 5s, [&] {
      for (const auto& got : m_got)
        if (got.second == lParam) return true;
      return false;
    });
  }
  std::size_t Count(UINT message) {
    std::lock_guard lock(m_mutex);
    return std::count_if(m_got.begin(), m_got.end(), [&](const auto& got) { return got.first == message; });
  }

 private:
  HWND m_window = nullptr;
  bool m_listed = false;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<std::pair<UINT, LPARAM>> m_got;
};

class WindowLink : public ::testing::Test {
 protected:
  hv::test::RuntimeDir m_runtime;
};

TEST_F(WindowLink, finds_and_messages_a_window_in_another_process) {
  Inbox inbox;
  ASSERT_TRUE(inbox.listed());
  hv::test::WindowPeer peer("HvTestPeer", "Peer: 42");
  ASSERT_TRUE(peer.ready());

  const HWND found = FindWindow("HvTestPeer", "Peer: 42");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(FindWindow(nullptr, "Peer: 42"), found);
  EXPECT_EQ(FindWindow("HvTestPeer", nullptr), found);
  EXPECT_EQ(FindWindow("HvTestPeer", "Peer: 43"), nullptr);
  EXPECT_EQ(FindWindow("HvTestInbox", nullptr), inbox.window());
  EXPECT_EQ(GetWindowProcessId(found), peer.pid());
  EXPECT_EQ(EnumWindows().size(), 2u);
  EXPECT_TRUE(IsWindow(found));

  // Posted there, posted back here.
  ASSERT_EQ(PostMessage(found, kPeerEcho, WPARAM(inbox.window()), 4711), 1);
  EXPECT_TRUE(inbox.WaitFor(4711));

  const struct {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  } sends[] = {{WM_USER, 2, 3}, {WM_USER, ~WPARAM(0), -5}, {kPeerAnswerLater, 40, 2}};
  for (const auto& s : sends) {
    LRESULT result = 0;
    EXPECT_EQ(SendMessageTimeout(found, s.message, s.wParam, s.lParam, 5000, &result), 1) << s.message;
    EXPECT_EQ(result, LRESULT(s.wParam) + s.lParam) << s.message;
  }

  // Once the peer ends its window is gone for everybody.
  ASSERT_EQ(PostMessage(found, kPeerQuit, 0, 0), 1);
  EXPECT_EQ(peer.Wait(), 0);
  EXPECT_EQ(FindWindow("HvTestPeer", nullptr), nullptr);
  EXPECT_EQ(SendMessageTimeout(found, WM_USER, 1, 1, 5000, nullptr), 0);
}

TEST_F(WindowLink, child_windows_and_their_texts_reach_across_processes) {
  Inbox inbox;
  ASSERT_TRUE(inbox.listed());
  hv::test::WindowPeer peer("HvTestPeer", "Texts");
  ASSERT_TRUE(peer.ready());
  const HWND top = FindWindow("HvTestPeer", nullptr);
  const HWND child = GetDlgItem(top, kPeerChildId);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(GetDlgItem(top, kPeerChildId + 1), nullptr);
  EXPECT_EQ(GetParent(child), top);
  EXPECT_EQ(GetParent(top), nullptr);
  EXPECT_EQ(FindWindowEx(top, nullptr, "HvTestChild", nullptr), child);
  EXPECT_EQ(FindWindowEx(top, child, "HvTestChild", nullptr), nullptr);
  EXPECT_EQ(FindWindow("HvTestChild", nullptr), nullptr) << "children are not top-level windows";
  char name[8] = {};
  EXPECT_EQ(GetClassName(child, name, sizeof name), 7);
  EXPECT_STREQ(name, "HvTestC");
  EXPECT_TRUE(HasMenu(top) && IsWindowVisible(top));
  EXPECT_FALSE(HasMenu(child) || IsWindowVisible(child));

  const std::string longest(kMaxWindowText, 'x');
  const struct {
    std::string text;
    bool taken;
  } texts[] = {{"http://a.example/", true}, {"", true}, {longest, true}, {longest + "y", false}};
  for (const auto& t : texts) {
    EXPECT_EQ(SetWindowText(child, t.text.c_str()), t.taken) << t.text.size();
    if (t.taken) {
      EXPECT_EQ(GetWindowText(child), t.text) << t.text.size();
    }
  }
  EXPECT_EQ(GetWindowText(child), longest) << "a refused text leaves the window's text alone";
  // The caller's buffer bounds the copy, whatever the other side holds.
  char small[4] = {'-', '-', '-', '-'};
  EXPECT_EQ(SendMessage(child, WM_GETTEXT, 3, reinterpret_cast<LPARAM>(small)), 2);
  EXPECT_STREQ(small, "xx");
  EXPECT_EQ(small[3], '-');
  const struct {
    WPARAM index;
    LRESULT result;
    const char* text;
  } entries[] = {{0, 7, "entry 0"}, {2, 7, "entry 2"}, {3, LB_ERR, ""}};
  for (const auto& e : entries) {
    char entry[kMaxWindowText + 1] = {};
    EXPECT_EQ(SendMessage(child, LB_GETTEXT, e.index, reinterpret_cast<LPARAM>(entry)), e.result) << e.index;
    EXPECT_STREQ(entry, e.text) << e.index;
  }

  // A dropped-file list travels as a block of the receiver's own; the
  // sender's is freed once it is posted.
  HDROP drop = AppendFileToHdrop(CreateHdrop(), "/tmp/page.html");
  const std::size_t size = GlobalSize(drop);
  ASSERT_EQ(PostMessage(child, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0), 1);
  EXPECT_TRUE(inbox.WaitFor(LPARAM(size)));
  EXPECT_EQ(GlobalSize(drop), 0u);
  EXPECT_EQ(PostMessage(child, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("posted")), 0) << "a pointer cannot be posted";
}

TEST(LinkFrame, frames_with_payloads_read_whole_and_byte_by_byte) {
  const hv::win::LinkFrame frames[] = {
      {hv::win::FrameKind::sent, 1, WM_SETTEXT, 0, 0, "http://a.example/"},
      {hv::win::FrameKind::reply, 2, 0, 0, -1, std::string(hv::win::kMaxPayload, 'p')},
      {hv::win::FrameKind::posted, 3, WM_USER, 4, 5, ""},
  };
  for (const std::size_t step : {std::size_t(1), std::size_t(1) << 20}) {
    std::vector<std::uint8_t> stream;
    for (const auto& frame : frames) {
      const auto bytes = hv::win::EncodeFrame(frame);
      stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    hv::win::FrameReader reader;
    std::vector<hv::win::LinkFrame> got;
    for (std::size_t at = 0; at < stream.size();) {
      const std::size_t size = std::min(step, stream.size() - at);
      std::size_t used = 0;
      hv::win::LinkFrame frame;
      const auto result = reader.Feed(stream.data() + at, size, used, frame);
      ASSERT_NE(result, hv::win::FrameReader::Result::fault) << at;
      at += used;
      if (result == hv::win::FrameReader::Result::frame) got.push_back(frame);
    }
    ASSERT_EQ(got.size(), std::size(frames)) << step;
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].payload, frames[i].payload) << step;
      EXPECT_EQ(got[i].message, frames[i].message) << step;
      EXPECT_EQ(got[i].lParam, frames[i].lParam) << step;
    }
  }
  EXPECT_TRUE(hv::win::EncodeFrame({hv::win::FrameKind::posted, 1, 0, 0, 0, std::string(hv::win::kMaxPayload + 1, 'p')})
                  .empty());
}

TEST(WindowList, lines_of_other_processes_or_bad_numbers_are_skipped) {
  const pid_t self = 1234;
  const auto handle = [](pid_t process, unsigned counter) {
    return std::to_string(hv::win::HandleValue(hv::win::MakeHandle(process, counter)));
  };
  const std::string top = handle(self, 1), child = handle(self, 2), other = handle(self + 1, 3);
  const struct {
    std::string line;
    bool kept;
  } lines[] = {
      {top + "\t0\t0\t3\tIEFrame\tPage - Browser", true},
      {child + "\t" + top + "\t40965\t1\tEdit\t", true},
      {other + "\t0\t0\t1\tIEFrame\tForeign", false},
      {child + "\t" + other + "\t1\t1\tEdit\t", false},
      {child + "\t" + top + "\t65536\t1\tEdit\t", false},
      {child + "\t" + top + "\t-1\t1\tEdit\t", false},
      {child + "\t" + top + "\t1\t4\tEdit\t", false},
      {top + "\t0\t0\t1\tIEFrame\t", false},
      {top + "\t0\t0\t1\t\tTitle", false},
      {top + "\t0\t0\tIEFrame\tTitle", false},
  };
  for (const auto& l : lines) {
    std::uint64_t start = 0;
    std::vector<TopLevelWindow> windows;
    ASSERT_TRUE(hv::win::ParseWindowList("harvion-windows 2 1234 99\n" + l.line + "\n", self, start, windows));
    EXPECT_EQ(windows.size(), l.kept ? 1u : 0u) << l.line;
  }
  std::uint64_t start = 0;
  std::vector<TopLevelWindow> windows;
  EXPECT_FALSE(hv::win::ParseWindowList("harvion-windows 1 1234 99\n", self, start, windows));
}

TEST_F(WindowLink, messages_to_a_process_that_died_fail_at_once) {
  hv::test::WindowPeer peer("HvTestPeer", "Dies");
  ASSERT_TRUE(peer.ready());
  const HWND found = FindWindow("HvTestPeer", nullptr);
  ASSERT_NE(found, nullptr);

  // Dying while a sent message waits for its answer.
  auto start = Clock::now();
  LRESULT result = 99;
  EXPECT_EQ(SendMessageTimeout(found, kPeerDieUnanswered, 0, 0, 10000, &result), 0);
  EXPECT_EQ(result, 0);
  EXPECT_LT(Clock::now() - start, 5s);

  // Killed without a word: its list stays behind until someone looks.
  peer.Kill();
  const std::string list = m_runtime.folder() / ("harvion/" + std::to_string(GetWindowProcessId(found)) + ".windows");
  start = Clock::now();
  EXPECT_EQ(SendMessageTimeout(found, WM_USER, 1, 1, 10000, &result), 0);
  EXPECT_EQ(PostMessage(found, WM_USER, 1, 1), 0);
  EXPECT_LT(Clock::now() - start, 2s);
  EXPECT_FALSE(IsWindow(found));
  EXPECT_EQ(FindWindow("HvTestPeer", nullptr), nullptr);
  EXPECT_NE(::access(list.c_str(), F_OK), 0) << "a dead process's list is removed";
  const std::string socket = m_runtime.folder() / ("harvion/" + std::to_string(GetWindowProcessId(found)) + ".sock");
  EXPECT_NE(::access(socket.c_str(), F_OK), 0) << "and its socket";
}

// A raw connection to this process's socket. Sends what it is given and
// tells whether the other end closed within five seconds.
bool SentAndCutOff(const std::string& socketPath, const std::vector<std::uint8_t>& bytes, std::size_t repeat) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, socketPath.c_str());
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return ::close(fd), false;
  timeval limit{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  for (std::size_t i = 0; i < repeat; ++i)
    if (::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) < 0) break;  // cut off while sending
  char byte;
  const ssize_t n = ::recv(fd, &byte, 1, 0);
  const bool closed = n == 0 || (n < 0 && errno == ECONNRESET);
  ::close(fd);
  return closed;
}

std::vector<std::uint8_t> Bytes(const hv::win::FrameBytes& frame, std::size_t from = 0) {
  return {frame.begin() + from, frame.end()};
}

TEST_F(WindowLink, hostile_peers_are_cut_off_and_others_still_served) {
  Inbox inbox;
  ASSERT_TRUE(inbox.listed());
  hv::test::WindowPeer peer("HvTestPeer", "Witness");
  ASSERT_TRUE(peer.ready());
  const HWND witness = FindWindow("HvTestPeer", nullptr);
  const std::string socketPath = hv::win::SocketPath(hv::win::RuntimeFolder(), ::getpid());

  const UINT kFlood = WM_USER + 77;
  const auto valid = hv::win::EncodeFrame({hv::win::FrameKind::posted, std::uint64_t(inbox.window()), kFlood, 0, 1, {}});
  auto wrongLength = Bytes(valid);
  wrongLength[0] = 31;
  std::vector<std::uint8_t> gigabyte = {0, 0, 0, 0x40};
  gigabyte.resize(4096, 'x');
  auto wrongKind = Bytes(valid);
  wrongKind[6] = 9;
  auto replyUnasked = Bytes(valid);
  replyUnasked[6] = 3;
  const auto withPayload = [&](UINT message, hv::win::FrameKind kind, std::string payload) {
    return Bytes(hv::win::EncodeFrame({kind, std::uint64_t(inbox.window()), message, 0, 0, std::move(payload)}));
  };
  auto overLong = withPayload(WM_SETTEXT, hv::win::FrameKind::sent, "x");
  overLong[0] = std::uint8_t(hv::win::kFrameBody + hv::win::kMaxPayload + 1);
  overLong[1] = std::uint8_t((hv::win::kFrameBody + hv::win::kMaxPayload + 1) >> 8);
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::size_t repeat;
  } cases[] = {
      {"garbage", std::vector<std::uint8_t>{'G', 'E', 'T', ' ', '/', ' ', 'H', 'T', 'T', 'P', '/', '1', '.', '1', '\r', '\n'}, 1},
      {"wrong length", wrongLength, 1},
      {"1 GB length", gigabyte, 1},
      {"unknown kind", wrongKind, 1},
      {"reply nobody asked for", replyUnasked, 1},
      {"payload over the limit", overLong, 1},
      {"text with a zero in it", withPayload(WM_SETTEXT, hv::win::FrameKind::sent, std::string("a\0b", 3)), 1},
      {"text posted", withPayload(WM_SETTEXT, hv::win::FrameKind::posted, "a"), 1},
      {"payload on a plain message", withPayload(kFlood, hv::win::FrameKind::posted, "a"), 1},
      {"text longer than a window holds", withPayload(WM_SETTEXT, hv::win::FrameKind::sent, std::string(kMaxWindowText + 1, 'a')), 1},
      {"dropped files sent", withPayload(WM_DROPFILES, hv::win::FrameKind::sent, "block"), 1},
      {"flood of 100000", Bytes(valid), 100000},
  };
  LPARAM mark = 1000;
  for (const auto& c : cases) {
    const auto start = Clock::now();
    EXPECT_TRUE(SentAndCutOff(socketPath, c.bytes, c.repeat)) << c.name;
    EXPECT_LT(Clock::now() - start, 4s) << c.name;
    // Another process still reaches this one, and this one still reaches it.
    ++mark;
    LRESULT result = 0;
    EXPECT_EQ(SendMessageTimeout(witness, kPeerEcho, WPARAM(inbox.window()), mark, 5000, &result), 1) << c.name;
    EXPECT_TRUE(inbox.WaitFor(mark)) << c.name;
  }
  // The flood's first frames were good ones: they came, up to the limit.
  EXPECT_EQ(inbox.Count(kFlood), std::size_t(hv::win::LinkServer::kFramesPerConnection));
}

TEST(PeerCredentials, only_the_same_user_is_served) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  const struct {
    uid_t user;
    bool served;
  } cases[] = {{::geteuid(), true}, {::geteuid() + 1, false}, {::geteuid() == 0 ? 65534u : 0u, false}};
  for (const auto& c : cases) EXPECT_EQ(hv::win::PeerIsUser(pair[0], c.user), c.served) << c.user;
  ::close(pair[0]);
  ::close(pair[1]);
  EXPECT_FALSE(hv::win::PeerIsUser(-1, ::geteuid()));
}

TEST(RuntimeFolder, a_folder_others_could_enter_is_refused) {
  hv::test::RuntimeDir runtime;
  const std::string folder = runtime.folder() / "harvion";
  std::string why;
  EXPECT_EQ(hv::win::RuntimeFolder(&why), folder) << why;
  struct stat info {};
  ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  const struct {
    mode_t mode;
    uid_t owner;
    bool kept;
  } cases[] = {{0700, ::geteuid(), true}, {0750, ::geteuid(), false}, {0707, ::geteuid(), false},
               {0700, ::geteuid() + 1, false}};
  for (const auto& c : cases) {
    struct stat fake = info;
    fake.st_mode = S_IFDIR | c.mode;
    fake.st_uid = c.owner;
    EXPECT_EQ(hv::win::IsPrivateFolder(fake, ::geteuid()), c.kept) << std::oct << c.mode << " " << c.owner;
  }
  ::chmod(folder.c_str(), 0755);
  EXPECT_EQ(hv::win::RuntimeFolder(&why), "");
  EXPECT_NE(why.find("open to other users"), std::string::npos) << why;
  if (::geteuid() == 0) {
    ::chmod(folder.c_str(), 0700);
    ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    EXPECT_EQ(hv::win::RuntimeFolder(&why), "");
    EXPECT_NE(why.find("another user"), std::string::npos) << why;
  }
  // A link in the folder's place is not followed, even to a good folder.
  ::rmdir(folder.c_str());
  const std::string elsewhere = runtime.folder() / "elsewhere";
  ASSERT_EQ(::mkdir(elsewhere.c_str(), 0700), 0);
  ASSERT_EQ(::symlink(elsewhere.c_str(), folder.c_str()), 0);
  EXPECT_EQ(hv::win::RuntimeFolder(&why), "");
  // Windows are then not listed, and stay usable inside the process.
  HWND window = CreateMessageTarget([](UINT, WPARAM, LPARAM) {});
  EXPECT_EQ(PublishWindow(window, "HvTest", "Refused"), 0);
  EXPECT_EQ(PostMessage(window, WM_USER, 0, 0), 1);
  DestroyMessageTarget(window);
}

}  // namespace
