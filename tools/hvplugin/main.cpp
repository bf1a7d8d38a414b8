// hvplugin: a stand-in browser for scripts and tests. It lists a browser
// window as a browser-side component does, starts hvmain for it and sends
// the plug-in messages.
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "plugin_session.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void Stop(int) { g_stop = 1; }

void Usage(std::ostream& out) {
  out << "Usage: hvplugin [OPTIONS] COMMAND [ARGS] [then COMMAND [ARGS]]...\n"
         "       hvplugin [OPTIONS] serve\n"
         "A stand-in browser window for hvmain: it lists a browser window of the kind chosen (default\n"
         "explorer) with an address field, a title, a status bar and an agent list, starts hvmain for it\n"
         "and sends it the plug-in messages.\n"
         "The window lives as long as hvplugin runs, so one hvplugin serves one conversation:\n"
         "  - with commands on the line (joined by the word \"then\"), it runs them in order and then\n"
         "    keeps the window until hvmain ends or hvplugin is interrupted;\n"
         "  - with serve, it reads one command a line from standard input and ends at its end.\n"
         "What hvmain asks of the browser is printed as it comes: \"navigate: URL\", \"shown: 1\" (attached)\n"
         "or \"shown: 0\" (detached), \"frame gone (exit N)\".\n"
         "Commands:\n"
      << hvplugin::PluginSession::CommandHelp()
      << "Options:\n"
         "  --kind K            netscape or explorer: which browser hvmain recognises (explorer has the\n"
         "                      status bar; netscape is sent dropped files)\n"
         "  --message-log FILE  hvmain answers its message boxes at once and writes them to FILE\n"
         "  --screenshot FILE   hvmain saves a picture of its agent frame shortly after the start, then ends\n"
         "Environment: HARVION_HVMAIN names the hvmain to start (default: the one beside hvplugin).\n"
         "Exit status: 0, 1 when a command failed, 2 for a usage error.\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  hvside::BrowserKind kind = hvside::BrowserKind::explorer;
  std::vector<std::string> hvmainArguments;
  std::size_t at = 0;
  for (; at < arguments.size() && arguments[at].starts_with("--"); ++at) {
    const std::string& option = arguments[at];
    const bool hasValue = at + 1 < arguments.size();
    if (option == "--help") {
      Usage(std::cout);
      return 0;
    } else if (option == "--kind" && hasValue && (arguments[at + 1] == "netscape" || arguments[at + 1] == "explorer")) {
      kind = arguments[++at] == "netscape" ? hvside::BrowserKind::netscape : hvside::BrowserKind::explorer;
    } else if ((option == "--message-log" || option == "--screenshot") && hasValue) {
      hvmainArguments.push_back(option);
      hvmainArguments.push_back(arguments[++at]);
    } else {
      std::cerr << "hvplugin: bad option " << option << "\nTry 'hvplugin --help'.\n";
      return 2;
    }
  }
  if (at == arguments.size()) {
    Usage(std::cerr);
    return 2;
  }
  std::signal(SIGINT, Stop);
  std::signal(SIGTERM, Stop);
  std::signal(SIGPIPE, SIG_IGN);
  hvplugin::PluginSession session(kind, std::cout, hvmainArguments);
  std::string error;
  if (arguments[at] == "serve" && at + 1 == arguments.size()) {
    bool failed = false;
    std::string line;
    std::vector<std::string> words;
    while (!g_stop && std::getline(std::cin, line)) {
      if (!hvplugin::SplitWords(line, words)) {
        session.Say("error: an open quote");
        failed = true;
      } else if (!session.Run(words, error)) {
        session.Say("error: " + error);
        failed = true;
      } else if (!words.empty()) {
        session.Say("ok");
      }
    }
    return failed ? 1 : 0;
  }
  std::vector<std::string> command;
  for (std::size_t i = at; i <= arguments.size(); ++i) {
    if (i < arguments.size() && arguments[i] != "then") {
      command.push_back(arguments[i]);
      continue;
    }
    if (!session.Run(command, error)) {
      std::cerr << "hvplugin: " << error << '\n';
      return 1;
    }
    command.clear();
  }
  // The browser window stays while hvmain serves it.
  while (!g_stop && session.Connected()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return 0;
}
