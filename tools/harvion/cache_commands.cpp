// harvion cache / gc / clear / frameset: what an agent has stored, its
// upkeep, and the page that shows it.
#include <ctime>
#include <iostream>

#include "commands.h"
#include "display_text.h"
#include "failure.h"
#include "harvion/agent_files.h"
#include "harvion/cache_view.h"
#include "harvion/exports.h"
#include "harvion/saf_client.h"
#include "tree_contents.h"

namespace harvion {

namespace {

const char* StateName(int state) {
  switch (state) {
    case 0: return "not-stored";
    case 1: return "retrieving";
    case 2: return "interrupted";
    case 3: return "stored";
    default: return "unknown";
  }
}

const char* LinkTypeName(int type) {
  switch (type) {
    case 0: return "page";
    case 1: return "embedded";
    case 2: return "frame";
    default: return "unknown";
  }
}

// Local time, to the second; "-" for never.
std::string Date(std::uint32_t t) {
  if (t == 0) return "-";
  const std::time_t time = static_cast<std::time_t>(t);
  std::tm tm{};
  localtime_r(&time, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
  return text;
}

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

void PrintRecord(const HvCacheRecord& r) {
  std::cout << r.address << "  " << StateName(r.state) << "  file=" << OrDash(r.localFile)
            << "  retrieved=" << Date(r.lastRetrievalEnd) << "  stored=" << Date(r.storedAt)
            << "  modified=" << Date(r.lastModified) << "  status=" << r.statusCode;
  if (!r.statusText.empty()) std::cout << ' ' << r.statusText;
  std::cout << "  type=" << OrDash(r.contentType) << "  title=\"" << r.title << "\"  links=" << r.links.size()
            << '\n';
}

// The index is written even when only records were dropped.
void SaveCacheAndAgent(const std::string& name) {
  std::string error;
  if (!SaveCacheChecked(error)) throw Failure("cannot save agent '" + name + "': " + error);
  SaveAgentOrFail(name);
}

}  // namespace

void RunCache(const Invocation& invocation, HeadlessUIClient& client) {
  OpenAgent(client, invocation.operands[0], Access::read);
  const bool withLinks = invocation.Option("--links") != nullptr;
  // One record at a time: a large agent's records would not all be copied at once.
  const bool read = VisitCacheRecords(
      [withLinks](const HvCacheRecord& record) {
        PrintRecord(record);
        if (!withLinks) return;
        for (const HvCacheLink& link : record.links)
          std::cout << "    " << LinkTypeName(link.type) << "  " << link.address << "  \"" << link.title << "\"\n";
      },
      true);  // each line counts the record's links
  if (!read) throw Failure("cannot read the cache index of agent '" + invocation.operands[0] + "'");
}

void RunGc(const Invocation& invocation, HeadlessUIClient& client) {
  const std::string& name = invocation.operands[0];
  OpenAgent(client, name);  // opening collects already; once more is harmless
  CSafClient::GarbageCollect();
  SaveCacheAndAgent(name);
  std::size_t kept = 0;
  VisitCacheRecords([&kept](const HvCacheRecord&) { ++kept; }, false);
  std::cout << kept << " records kept\n";
}

void RunClear(const Invocation& invocation, HeadlessUIClient& client) {
  const std::string& name = invocation.operands[0];
  OpenAgent(client, name);
  CSafClient::ClearCache();
  SaveCacheAndAgent(name);
}

void RunFrameSet(const Invocation& invocation, HeadlessUIClient& client) {
  const std::string& name = invocation.operands[0];
  const UITreeNode& agent = OpenAgent(client, name);
  char path[4096];
  if (!CSafClient::CreateFrameSet(invocation.operands[1].c_str(), path, sizeof path))
    throw Failure("cannot write a frameset for agent '" + name + "'");
  // The contents page beside it, for browsers without the agent view; the
  // frameset's path stays the one line printed.
  std::string why;
  if (WriteTreeContents(agent, GetAgentsDirectory() + "/" + name, nullptr, why).empty())
    std::cerr << "harvion: no contents page: " << Printable(why) << '\n';
  std::cout << path << '\n';
}

}  // namespace harvion
