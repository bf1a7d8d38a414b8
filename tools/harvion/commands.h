// What each command does. Every handler throws Failure when it cannot do
// what was asked; the open agent is saved and closed by the session after.
#pragma once

#include <string>
#include <vector>

#include "command_line.h"

namespace harvion {

class UITreeNode;

// Opens the named agent (never the Startup Agent for an empty name), to
// change it (waiting while another program changes it) or only to read it;
// throws Failure naming the problem.
enum class Access { change, read };
UITreeNode& OpenAgent(HeadlessUIClient& client, const std::string& name, Access access = Access::change);
// Saves the open agent; throws Failure with the reason when it cannot.
void SaveAgentOrFail(const std::string& name);

void RunNew(const Invocation& invocation, HeadlessUIClient& client);
void RunTree(const Invocation& invocation, HeadlessUIClient& client);
void RunAdd(const Invocation& invocation, HeadlessUIClient& client);
void RunFolder(const Invocation& invocation, HeadlessUIClient& client);
void RunRename(const Invocation& invocation, HeadlessUIClient& client);
void RunDelete(const Invocation& invocation, HeadlessUIClient& client);
void RunList(const Invocation& invocation, HeadlessUIClient& client);
void RunConfig(const Invocation& invocation, HeadlessUIClient& client);
void RunCache(const Invocation& invocation, HeadlessUIClient& client);
void RunGc(const Invocation& invocation, HeadlessUIClient& client);
void RunClear(const Invocation& invocation, HeadlessUIClient& client);
void RunFrameSet(const Invocation& invocation, HeadlessUIClient& client);
void RunImport(const Invocation& invocation, HeadlessUIClient& client);
void RunRun(const Invocation& invocation, HeadlessUIClient& client);
void RunChanges(const Invocation& invocation, HeadlessUIClient& client);
void RunSet(const Invocation& invocation, HeadlessUIClient& client);
void RunSearch(const Invocation& invocation, HeadlessUIClient& client);
void RunSchedule(const Invocation& invocation, HeadlessUIClient& client);
// The engine's schedule names in list order: a node's schedule index is a
// position in it.
std::vector<std::string> ScheduleNames();

}  // namespace harvion
