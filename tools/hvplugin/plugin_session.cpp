#include "plugin_session.h"

#include <chrono>
#include <functional>
#include <map>
#include <ostream>
#include <thread>

namespace hvplugin {

namespace {

using hvside::StartMode;

bool ParseSize(const std::string& text, int& value) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  value = std::stoi(text);
  return value <= 0xFFFF;
}

}  // namespace

bool SplitWords(const std::string& line, std::vector<std::string>& words) {
  words.clear();
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quote) {
      if (c == quote) quote = 0;
      else if (c == '\\' && quote == '"' && i + 1 < line.size()) word += line[++i];
      else word += c;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      inWord = true;
      if (c == '\'' || c == '"') quote = c;
      else if (c == '\\' && i + 1 < line.size()) word += line[++i];
      else word += c;
    }
  }
  if (inWord) words.push_back(word);
  return quote == 0;
}

PluginSession::PluginSession(hvside::BrowserKind kind, std::ostream& out, std::vector<std::string> hvmainArguments)
    : m_out(out),
      m_component(kind, {
                            [this](const std::string& url) {
                              // The browser goes where it was told, as a browser does.
                              m_component.SetPage(url, url);
                              Say("navigate: " + url);
                            },
                            [this](bool attached) { Say(std::string("shown: ") + (attached ? "1" : "0")); },
                            [this] {
                              {
                                std::lock_guard lock(m_mutex);
                                m_gone = true;
                              }
                              // The frame leaves the list just before its process ends.
                              auto code = m_component.ExitCode();
                              for (int i = 0; i < 20 && !code && m_component.ExitCode() == std::nullopt; ++i) {
                                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                                code = m_component.ExitCode();
                              }
                              Say("frame gone" + (code ? " (exit " + std::to_string(*code) + ")" : std::string()));
                            },
                        }) {
  m_component.SetExtraArguments(std::move(hvmainArguments));
}

void PluginSession::Say(const std::string& line) {
  std::lock_guard lock(m_mutex);
  m_out << line << std::endl;
}

bool PluginSession::FrameGone() const {
  std::lock_guard lock(m_mutex);
  return m_gone;
}

bool PluginSession::EnsureStarted(StartMode mode, std::string& error) {
  if (m_component.Connected()) return true;
  if (!m_component.Start("", mode, error)) return false;
  {
    std::lock_guard lock(m_mutex);
    m_gone = false;
  }
  Say("started");
  return true;
}

const char* PluginSession::CommandHelp() {
  return "  open AGENT [attach|show|add-page]\n"
         "                      open the agent (\"?\": a new one); starts hvmain for the window when none\n"
         "                      serves it, which then attaches (the default), shows or adds the page\n"
         "  navigate URL [TITLE] the browser shows URL (as the user would go there)\n"
         "  add-page URL TITLE  navigate there, then ask hvmain to add the current page\n"
         "  show | attach | detach\n"
         "                      ask hvmain to show the agent's view, attach or detach the agent frame\n"
         "  resize W H          the host area's size for the attached agent frame\n"
         "  status TEXT         the status bar's text (explorer only)\n"
         "  agents [NAME...]    the entries of the agent list box\n"
         "  attached            print \"attached: yes\" or \"attached: no\"\n"
         "  agent               print \"agent: NAME\", the agent hvmain has open\n"
         "  quit                ask hvmain to quit and wait for it (at most 10 s)\n"
         "  wait MS             pause\n";
}

bool PluginSession::Run(const std::vector<std::string>& words, std::string& error) {
  if (words.empty()) return true;
  const std::string& name = words[0];
  const std::size_t argc = words.size() - 1;
  auto needs = [&](std::size_t least, std::size_t most) {
    if (argc >= least && argc <= most) return true;
    error = name + ": wrong number of arguments";
    return false;
  };
  auto connected = [&] {
    if (m_component.Connected()) return true;
    error = name + ": no hvmain serves this browser window (start one with open, show, attach or add-page)";
    return false;
  };
  auto sent = [&](bool ok) {
    // A question after the message comes back once hvmain handled what came
    // before it: the next command sees its effect.
    if (ok) ok = m_component.Attached().has_value();
    if (!ok) error = name + ": hvmain did not take the message";
    return ok;
  };
  if (name == "open") {
    if (!needs(1, 2)) return false;
    StartMode mode = StartMode::attach;
    if (argc == 2) {
      const std::map<std::string, StartMode> modes = {
          {"attach", StartMode::attach}, {"show", StartMode::show}, {"add-page", StartMode::addPage}};
      const auto it = modes.find(words[2]);
      if (it == modes.end()) return error = "open: the mode is attach, show or add-page", false;
      mode = it->second;
    }
    if (m_component.Connected()) {
      if (words[1].size() >= 512) return error = "open: the name must be shorter than 512 bytes", false;
      return sent(m_component.OpenAgent(words[1]));
    }
    if (!m_component.Start(words[1], mode, error)) return false;
    Say("started");
    return true;
  }
  if (name == "navigate") {
    if (!needs(1, 2)) return false;
    m_component.SetPage(words[1], argc == 2 ? words[2] : words[1]);
    return true;
  }
  if (name == "add-page") {
    if (!needs(2, 2)) return false;
    m_component.SetPage(words[1], words[2]);
    if (!m_component.Connected()) return EnsureStarted(StartMode::addPage, error);
    return sent(m_component.AddPage());
  }
  if (name == "show" || name == "attach") {
    if (!needs(0, 0)) return false;
    const StartMode mode = name == "show" ? StartMode::show : StartMode::attach;
    if (!m_component.Connected()) return EnsureStarted(mode, error);
    return sent(name == "show" ? m_component.Show() : m_component.Attach());
  }
  if (name == "detach") return needs(0, 0) && connected() && sent(m_component.Detach());
  if (name == "resize") {
    int width = 0, height = 0;
    if (!needs(2, 2)) return false;
    if (!ParseSize(words[1], width) || !ParseSize(words[2], height)) return error = "resize: sizes 0 to 65535", false;
    return connected() && sent(m_component.Resize(width, height));
  }
  if (name == "status") {
    if (!needs(1, 1)) return false;
    m_component.SetStatusText(words[1]);
    return true;
  }
  if (name == "agents") {
    m_component.SetAgents(std::vector<std::string>(words.begin() + 1, words.end()));
    return true;
  }
  if (name == "attached") {
    if (!needs(0, 0) || !connected()) return false;
    const auto attached = m_component.Attached();
    if (!attached) return sent(false);
    Say(std::string("attached: ") + (*attached ? "yes" : "no"));
    return true;
  }
  if (name == "agent") {
    if (!needs(0, 0) || !connected()) return false;
    Say("agent: " + m_component.OpenAgentName());
    return true;
  }
  if (name == "quit") {
    if (!needs(0, 0) || !connected()) return false;
    if (!m_component.Quit()) return error = "quit: hvmain did not take the message", false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (m_component.Connected() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // A refusal leaves hvmain serving: it said why in a message box.
    if (m_component.Connected()) {
      Say("quit: refused");
      return true;
    }
    auto code = m_component.ExitCode();
    for (int i = 0; i < 40 && !code && m_component.ExitCode() == std::nullopt; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      code = m_component.ExitCode();
    }
    Say("quit: ended" + (code ? " (exit " + std::to_string(*code) + ")" : std::string()));
    return true;
  }
  if (name == "wait") {
    int ms = 0;
    if (!needs(1, 1) || !ParseSize(words[1], ms)) return error = "wait: a time in milliseconds, at most 65535", false;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return true;
  }
  error = "unknown command " + name + " (see hvplugin --help)";
  return false;
}

}  // namespace hvplugin
