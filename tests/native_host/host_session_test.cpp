#include "host_session.h"

#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <vector>

namespace hvhost {
namespace {

// Records what the session asks of hvmain; whether hvmain runs and whether
// it takes requests are set by the test.
class FakeLink final : public BrowserLink {
 public:
  void SetPage(const std::string& address, const std::string& title) override {
    calls.push_back("page " + address + " | " + title);
  }
  bool Connected() override { return running; }
  bool Start(const std::string& agent, Action action, std::string& error) override {
    calls.push_back(std::string(action == Action::addPage ? "start-add " : "start-show ") + agent);
    if (!startable) error = "no frame";
    running = startable;
    return startable;
  }
  bool AddPage() override { return Call("add"); }
  bool Show() override { return Call("show"); }
  std::string OpenAgentName() override { return "News"; }
  bool Quit() override { return Call("quit"); }

  bool Call(const std::string& what) {
    calls.push_back(what);
    return takes;
  }

  bool running = false, startable = true, takes = true;
  std::vector<std::string> calls;
};

std::vector<std::string> Replies(int fd) {
  ::lseek(fd, 0, SEEK_SET);
  MessageReader reader(fd);
  std::vector<std::string> replies;
  for (auto read = reader.Read(); read.status == MessageReader::Status::message; read = reader.Read())
    replies.push_back(read.text);
  return replies;
}

TEST(HostSession, carries_tab_requests_to_hvmain_and_answers_the_extension) {
  struct Case {
    const char* what;
    bool running, startable, takes;
    JsonMessage message;
    std::vector<std::string> calls, replies;
  };
  const std::string page = "page http://h/a | A";
  const std::string status = R"({"agent":"News","running":"true","type":"status"})";
  const Case cases[] = {
      {"tab moved", true, true, true, {{"type", "page"}, {"url", "http://h/a"}, {"title", "A"}}, {page}, {}},
      {"add while running", true, true, true, {{"type", "add"}, {"url", "http://h/a"}, {"title", "A"}},
       {page, "add"}, {status}},
      {"add starts hvmain with the agent", false, true, true,
       {{"type", "add"}, {"url", "http://h/a"}, {"title", "A"}, {"agent", "News"}}, {page, "start-add News"}, {status}},
      {"add refused", true, true, false, {{"type", "add"}}, {"add"},
       {R"({"message":"Harvion did not take the request","type":"error"})"}},
      {"offline while running", true, true, true, {{"type", "offline"}}, {"show"}, {status}},
      {"offline cannot start", false, false, true, {{"type", "offline"}, {"agent", "X"}}, {"start-show X"},
       {R"({"message":"Harvion could not be started: no frame","type":"error"})"}},
      {"status while stopped", false, true, true, {{"type", "status"}}, {},
       {R"({"agent":"","running":"false","type":"status"})"}},
      {"unknown type", true, true, true, {{"type", "format-disk"}}, {},
       {R"({"message":"unknown message type 'format-disk'","type":"error"})"}},
      {"no type", true, true, true, {{"url", "http://h/"}}, {},
       {R"({"message":"unknown message type ''","type":"error"})"}},
  };
  for (Case c : cases) {
    const int fd = ::memfd_create("replies", MFD_CLOEXEC);
    MessageWriter writer(fd);
    FakeLink link;
    link.running = c.running, link.startable = c.startable, link.takes = c.takes;
    HostSession session(writer);
    session.SetLink(&link);
    session.Handle(c.message);
    session.End();
    if (link.running) c.calls.push_back("quit");
    EXPECT_EQ(link.calls, c.calls) << c.what;
    EXPECT_EQ(Replies(fd), c.replies) << c.what;
    ::close(fd);
  }
}

TEST(HostSession, hvmain_requests_reach_the_extension_and_only_local_files_are_opened_outside_it) {
  const int fd = ::memfd_create("replies", MFD_CLOEXEC);
  MessageWriter writer(fd);
  HostSession session(writer);
  std::vector<std::string> opened;
  session.SetOpener([&opened](const std::string& url) {
    opened.push_back(url);
    return true;
  });
  for (const char* url : {"file:///a/3S0001.htm", "http://h/", "file://other/x", "/etc/passwd"})
    session.Handle({{"type", "open"}, {"url", url}});
  EXPECT_EQ(opened, std::vector<std::string>{"file:///a/3S0001.htm"});
  session.Navigate("/home/u/My Agents/3S00a1#%.htm");
  session.Navigate("http://h/p?q=1");
  session.FrameGone();
  EXPECT_EQ(Replies(fd), (std::vector<std::string>{
                             R"({"message":"cannot open http://h/","type":"error"})",
                             R"({"message":"cannot open file://other/x","type":"error"})",
                             R"({"message":"cannot open /etc/passwd","type":"error"})",
                             R"({"type":"navigate","url":"file:///home/u/My%20Agents/3S00a1%23%25.htm"})",
                             R"({"type":"navigate","url":"http://h/p?q=1"})",
                             R"({"agent":"","running":"false","type":"status"})"}));
  ::close(fd);
}

}  // namespace
}  // namespace hvhost
