// The host program as the browser runs it, with hostile input on its
// standard input: it answers or ends cleanly, within a bound, never killed
// by a signal.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "message_channel.h"

namespace hvhost {
namespace {

#ifndef HV_NATIVE_HOST
TEST(HostProgram, hostile_input_ends_in_an_answer_or_a_clean_exit) {
  GTEST_SKIP() << "the host is built with the browser-side component";
}
#else
std::string Frame(const std::string& body, uint32_t length) {
  std::string frame(4, '\0');
  std::memcpy(frame.data(), &length, 4);
  return frame + body;
}
std::string Frame(const std::string& body) { return Frame(body, static_cast<uint32_t>(body.size())); }

struct HostRun {
  int status = -1;  // exit status; -1 when killed by a signal or the time limit
  std::vector<std::string> replies;
};

// Runs the host with the input and its output in a file, or a pipe whose
// reading end is already closed.
HostRun RunHost(const std::string& input, bool outputClosed, const std::string& runtime) {
  const int in = ::memfd_create("in", MFD_CLOEXEC);
  EXPECT_EQ(::write(in, input.data(), input.size()), static_cast<ssize_t>(input.size()));
  ::lseek(in, 0, SEEK_SET);
  int out = ::memfd_create("out", MFD_CLOEXEC), pipeEnds[2] = {-1, -1};
  if (outputClosed) {
    EXPECT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
    ::close(pipeEnds[0]);
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in, 0);
    ::dup2(outputClosed ? pipeEnds[1] : out, 1);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 2);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::setenv("HARVION_HVMAIN", "/bin/false", 1);
    // A sanitizer's finding must not pass for the host's own exit status 1.
    const char* sanitizer = std::getenv("ASAN_OPTIONS");
    ::setenv("ASAN_OPTIONS", ((sanitizer ? std::string(sanitizer) + ":" : std::string()) + "exitcode=86").c_str(), 1);
    ::execl(HV_NATIVE_HOST, HV_NATIVE_HOST, "chrome-extension://test/", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  if (outputClosed) ::close(pipeEnds[1]);
  HostRun run;
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  pollfd ready{pidfd, POLLIN, 0};
  if (::poll(&ready, 1, 10000) != 1) ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(pidfd);
  if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
  ::lseek(out, 0, SEEK_SET);
  MessageReader reader(out, kMaxOutgoing);
  for (auto read = reader.Read(); read.status == MessageReader::Status::message; read = reader.Read())
    run.replies.push_back(read.text);
  ::close(in);
  ::close(out);
  return run;
}

TEST(HostProgram, hostile_input_ends_in_an_answer_or_a_clean_exit) {
  const std::filesystem::path runtime = std::filesystem::temp_directory_path() / ("hvhost-" + std::to_string(::getpid()));
  std::filesystem::create_directories(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  struct Case {
    const char* what;
    std::string input;
    bool outputClosed;
    int status;
    std::vector<std::string> replies;  // a text each reply contains
  };
  const Case cases[] = {
      {"no input", "", false, 0, {}},
      {"a 1 GB claim", Frame("{}", 1u << 30), false, 1, {"1073741824 bytes is over the limit"}},
      {"a short message", Frame("{\"ty", 10), false, 1, {"ended after 4 of 10"}},
      {"half a length", std::string("\x01\x00", 2), false, 1, {"inside a length"}},
      {"invalid JSON, then a question", Frame("{\"type\":") + Frame(R"({"type":"status"})"), false, 0,
       {"not a message", R"("running":"false")"}},
      {"a tab's page, then the end", Frame(R"({"type":"page","url":"http://h/","title":"T"})"), false, 0, {}},
      {"a request to open something else", Frame(R"({"type":"open","url":"http://h/"})"), false, 0,
       {"cannot open http://h/"}},
      {"nobody reading", Frame("x") + Frame("y") + Frame("{}", 5), true, 1, {}},
  };
  for (const Case& c : cases) {
    const HostRun run = RunHost(c.input, c.outputClosed, runtime);
    EXPECT_EQ(run.status, c.status) << c.what;
    ASSERT_EQ(run.replies.size(), c.replies.size()) << c.what;
    for (size_t i = 0; i < c.replies.size(); ++i)
      EXPECT_NE(run.replies[i].find(c.replies[i]), std::string::npos) << c.what << ": " << run.replies[i];
  }
  std::filesystem::remove_all(runtime);
}
#endif

}  // namespace
}  // namespace hvhost
