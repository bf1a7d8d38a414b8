// One stand-in browser window and the commands a script gives it: what a
// user does in a browser (go to a page, press the plug-in's buttons) and what
// the browser-side component sends hvmain. Events from hvmain and answers are
// written as lines to the output.
#pragma once

#include <iosfwd>
#include <mutex>
#include <string>
#include <vector>

#include "browser_component.h"

namespace hvplugin {

// A command line's words: blanks separate, single and double quotes group,
// a backslash takes the next character as it is. False for an open quote.
bool SplitWords(const std::string& line, std::vector<std::string>& words);

class PluginSession {
 public:
  PluginSession(hvside::BrowserKind kind, std::ostream& out, std::vector<std::string> hvmainArguments);

  // Runs one command; false with the reason in error.
  bool Run(const std::vector<std::string>& words, std::string& error);
  // Whether an hvmain serves the window now.
  bool Connected() const { return m_component.Connected(); }
  // Whether an hvmain served it and has ended.
  bool FrameGone() const;
  void Say(const std::string& line);

  static const char* CommandHelp();

 private:
  bool EnsureStarted(hvside::StartMode mode, std::string& error);

  std::ostream& m_out;
  mutable std::mutex m_mutex;
  bool m_gone = false;
  hvside::BrowserComponent m_component;
};

}  // namespace hvplugin
