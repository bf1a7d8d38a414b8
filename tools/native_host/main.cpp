// harvion-native-host: the browser extension's native messaging host. The
// browser starts it with the extension's port on standard input and output;
// it keeps a browser window of its own in step with the extension's tab and
// carries the plug-in messages between the extension and hvmain.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <memory>

#include "browser_link.h"
#include "desktop_opener.h"
#include "host_session.h"
#include "json_message.h"
#include "message_channel.h"

namespace {

// The browser's pipes move to descriptors closed on exec, and standard
// output becomes standard error: nothing printed by a library or a program
// started from here can fall into the message stream or hold the pipe open.
bool TakeBrowserPipes(int& in, int& out) {
  in = ::fcntl(0, F_DUPFD_CLOEXEC, 3);
  out = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
  if (in < 0 || out < 0) return false;
  const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (null < 0 || ::dup2(null, 0) < 0 || ::dup2(2, 1) < 0) return false;
  ::close(null);
  return true;
}

}  // namespace

int main() {
  std::signal(SIGPIPE, SIG_IGN);  // a closed pipe is a failed write, not a death
  int in = -1, out = -1;
  if (!TakeBrowserPipes(in, out)) {
    std::cerr << "harvion-native-host: cannot set up its pipes\n";
    return 1;
  }
  hvhost::MessageReader reader(in);
  hvhost::MessageWriter writer(out);
  hvhost::HostSession session(writer);
  session.SetOpener(hvhost::OpenWithDesktop);
  std::unique_ptr<hvhost::BrowserLink> link;  // after the session: gone before it
  for (;;) {
    const hvhost::MessageReader::Result read = reader.Read();
    if (read.status == hvhost::MessageReader::Status::end) {
      session.End();
      return 0;
    }
    if (read.status == hvhost::MessageReader::Status::error) {
      std::cerr << "harvion-native-host: " << read.text << '\n';
      session.SendError(read.text);
      return 1;
    }
    std::string error;
    const auto message = hvhost::ParseJsonMessage(read.text, error);
    if (!message) {
      session.SendError("not a message: " + error);
      continue;
    }
    if (!link) {
      link = hvhost::MakeComponentLink({[&session](const std::string& url) { session.Navigate(url); },
                                        [&session] { session.FrameGone(); }});
      session.SetLink(link.get());
    }
    session.Handle(*message);
  }
}
