// harvion import: web locations from the links of a local HTML file, such as
// a browser's bookmark file.
#include <iostream>
#include <string>

#include "address_text.h"
#include "commands.h"
#include "failure.h"
#include "folder_path.h"
#include "harvion/agent_files.h"
#include "harvion/exports.h"
#include "harvion/saf_client.h"
#include "ui_tree_node.h"

namespace harvion {

namespace {

// Keeps the engine's own message about the file off stderr while it lives:
// the command reports the failure in its one line.
class QuietMessages {
 public:
  QuietMessages() : m_previous(SetMessageSink([](const std::string&, const std::string&, HWND) {})) {}
  ~QuietMessages() { SetMessageSink(m_previous); }
  QuietMessages(const QuietMessages&) = delete;
  QuietMessages& operator=(const QuietMessages&) = delete;

 private:
  MessageSink m_previous;
};

}  // namespace

void RunImport(const Invocation& invocation, HeadlessUIClient& client) {
  const std::string& agentName = invocation.operands[0];
  const std::string& path = invocation.operands[1];
  UITreeNode* parent = &OpenAgent(client, agentName);
  if (const std::string* folder = invocation.Option("--in")) {
    parent = FindFolder(*parent, *folder);
    if (!parent) throw Failure("no folder '" + *folder + "' in agent '" + agentName + "'");
  }
  HvImportCounts counts;
  int count;
  {
    QuietMessages quiet;
    count = ImportLocalFileCounted(parent->m_pNode, path.c_str(), counts);
  }
  if (count < 0) throw Failure("cannot open '" + path + "'");
  SaveAgentOrFail(agentName);
  std::cout << count << (count == 1 ? " location" : " locations") << " imported\n";
  // What was passed over, by reason: no link goes missing without a word.
  const auto skipped = [](int links, const std::string& why) {
    if (links > 0) std::cout << links << (links == 1 ? " link" : " links") << " skipped: " << why << '\n';
  };
  skipped(counts.relative, "relative, with no page to resolve it against");
  skipped(counts.otherScheme, AddressFaultText(HvAddressFault::otherScheme));
  skipped(counts.noHost, AddressFaultText(HvAddressFault::noHost));
  if (counts.refused > 0)
    throw Failure(std::to_string(counts.refused) + (counts.refused == 1 ? " link" : " links") +
                  " skipped: agent '" + agentName + "' holds as many addresses as its cache can");
}

}  // namespace harvion
