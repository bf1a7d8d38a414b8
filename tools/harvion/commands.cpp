#include "commands.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "address_text.h"
#include "failure.h"
#include "folder_path.h"
#include "harvion/agent_files.h"
#include "harvion/exports.h"
#include "harvion/saf_client.h"
#include "harvion/saf_node.h"
#include "headless_ui_client.h"
#include "name_refusal.h"
#include "strategy_names.h"
#include "tree_printer.h"
#include "ui_tree_node.h"

namespace harvion {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kAgentExtension = ".hvx";

// Names typed by the user are cleaned as the desktop program cleans them.
std::string CleanName(const std::string& text) {
  std::string name = text;
  CreateName(name);
  return name;
}

// "cannot ... : why" with the reason when one is found; a name in use is
// said alone, as it says everything.
std::string Refused(const std::string& what, const std::string& name, NameUse use) {
  const std::string why = AgentNameRefusal(name, use);
  if (use == NameUse::create && why.ends_with("already exists")) return why;
  return why.empty() ? what : what + ": " + why;
}

UITreeNode& ParentForNewItem(UITreeNode& agent, const Invocation& invocation, const std::string& agentName) {
  const std::string* path = invocation.Option("--in");
  if (!path) return agent;
  if (UITreeNode* folder = FindFolder(agent, *path)) return *folder;
  throw Failure("no folder '" + *path + "' in agent '" + agentName + "'");
}

}  // namespace

void SaveAgentOrFail(const std::string& name) {
  std::string error;
  if (!SaveAgentFileChecked(error)) throw Failure("cannot save agent '" + name + "': " + error);
}

UITreeNode& OpenAgent(HeadlessUIClient& client, const std::string& name, Access access) {
  // An empty name would open the Startup Agent.
  bool opened = false;
  if (!name.empty() && access == Access::read) {
    opened = LoadAgentFileToRead(name.c_str()) != 0;
  } else if (!name.empty()) {
    // Held by another program: another command lets go in a moment; the
    // desktop program may keep it for long, so a longer wait is announced.
    int tried = TryLoadAgentFile(name.c_str());
    for (int attempt = 0; tried < 0 && attempt < 50; ++attempt) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      tried = TryLoadAgentFile(name.c_str());
    }
    if (tried < 0) {
      std::cerr << "harvion: waiting: agent '" << name << "' is open in another program\n";
      opened = CSafClient::LoadAgentFile(name.c_str(), 1) != 0;
    } else {
      opened = tried == 1;
    }
  }
  if (opened) {
    if (UITreeNode* agent = client.Agent()) return *agent;
  }
  if (!name.empty() && CSafClient::DoesAgentExist(name.c_str())) throw Failure("cannot open agent '" + name + "'");
  throw Failure("no agent named '" + name + "'");
}


void RunNew(const Invocation& invocation, HeadlessUIClient&) {
  const std::string& requested = invocation.operands[0];
  const std::string name = CleanName(requested);
  // The engine takes over a folder that an interrupted create or delete left.
  if (!CSafClient::CreateAgent(name.c_str()))
    throw Failure(Refused("cannot create agent '" + requested + "'", name, NameUse::create));
  std::string error;
  if (!SaveAgentFileChecked(error)) {
    // Nothing may stay behind that would make the name look taken.
    CSafClient::DeleteAgentFile();
    throw Failure("cannot create agent '" + requested + "': " + error);
  }
}

void RunTree(const Invocation& invocation, HeadlessUIClient& client) {
  const UITreeNode* agent = nullptr;
  if (invocation.operands.empty()) {
    if (CSafClient::LoadAgentFile("", 0)) agent = client.Agent();
    if (!agent) throw Failure("cannot open the Startup Agent");
  } else {
    agent = &OpenAgent(client, invocation.operands[0], Access::read);
  }
  PrintTree(std::cout, *agent, StrategyNames::OfOpenAgent());
}

void RunAdd(const Invocation& invocation, HeadlessUIClient& client) {
  const std::string& agentName = invocation.operands[0];
  const std::string& url = invocation.operands[1];
  if (const std::string problem = AddressProblem(url); !problem.empty())
    throw Failure("cannot add location '" + url + "': " + problem);
  UITreeNode& parent = ParentForNewItem(OpenAgent(client, agentName), invocation, agentName);
  const std::string* title = invocation.Option("--title");
  const std::string name = title ? CleanName(*title) : std::string();
  if (!CSafClient::CreateHTMLNode(parent.m_pNode, name.c_str(), url.c_str(), 0))
    throw Failure("cannot add location '" + url + "'");
  SaveAgentOrFail(agentName);
}

void RunFolder(const Invocation& invocation, HeadlessUIClient& client) {
  const std::string& agentName = invocation.operands[0];
  const std::string& requested = invocation.operands[1];
  UITreeNode& parent = ParentForNewItem(OpenAgent(client, agentName), invocation, agentName);
  // A folder without a name could never be named by --in.
  const std::string name = CleanName(requested);
  if (name.empty() || !CSafClient::CreateCategoryNode(parent.m_pNode, name.c_str(), 0))
    throw Failure("cannot create folder '" + requested + "'");
  SaveAgentOrFail(agentName);
}

void RunRename(const Invocation& invocation, HeadlessUIClient& client) {
  const std::string& oldName = invocation.operands[0];
  const std::string& requested = invocation.operands[1];
  UITreeNode& agent = OpenAgent(client, oldName);
  const std::string name = CleanName(requested);
  if (name.empty() || !agent.m_pNode->SetData(itemName, name.c_str(), 0))
    throw Failure(Refused("cannot rename '" + oldName + "' to '" + requested + "'", name, NameUse::rename));
  SaveAgentOrFail(name);
}

void RunDelete(const Invocation& invocation, HeadlessUIClient& client) {
  const std::string& name = invocation.operands[0];
  // A folder that an interrupted create or delete left is no agent, but it
  // goes all the same.
  if (!name.empty() && RemoveOrphanAgentFolder(name.c_str())) return;
  OpenAgent(client, name);
  CSafClient::DeleteAgentFile();
  if (!CSafClient::IsAgentMissing(name.c_str())) throw Failure("cannot delete all of agent '" + name + "'");
}

void RunList(const Invocation&, HeadlessUIClient&) {
  std::vector<std::string> names;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(GetAgentsDirectory(), error)) {
    const fs::path& path = entry.path();
    if (path.extension() != kAgentExtension) continue;
    // A file without its folder is no complete agent.
    const std::string name = path.stem().string();
    if (CSafClient::DoesAgentExist(name.c_str())) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) std::cout << name << '\n';
}

}  // namespace harvion
