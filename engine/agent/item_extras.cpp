#include "engine/agent/item_extras.h"

#include <cstdint>
#include <deque>
#include <map>
#include <vector>

#include "engine/agent/agent_anchor.h"
#include "harvion/ui_node.h"
#include "platform/files/file.h"
#include "platform/files/file_system.h"
#include "resources/resources.h"

namespace hv::item_extras {

namespace {

const std::string kHeader = "harvion item extras 1";
const std::string kRequisites = "requisites";
const std::string kAnyServer = "any-server";
const std::string kStrategy = "strategy";
// Far more than any agent's items need; a larger file is not one of ours.
constexpr std::size_t kMaxFile = 4u << 20;

using Path = std::vector<std::string>;

bool HasOwnSettings(const CAnchor& anchor) { return !anchor.m_pParent || !anchor.m_bUseParentSettings; }

std::string Escaped(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '%') {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// False for a '%' without two hex digits after it.
bool Unescape(const std::string& text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
    const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
    if (low < 0) return false;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1)
    parts.push_back(text.substr(start, end - start));
  parts.push_back(text.substr(start));
  return parts;
}

// Visits the agent and every item below it, parents first, with the path
// of item names from below the agent.
template <class Visit>
void Walk(CAnchor& anchor, Path& path, Visit& visit) {
  visit(anchor, path);
  for (int i = 0; i < anchor.GetChildCount(); ++i) {
    CAnchor* child = anchor.GetChild(i);
    path.push_back(child->GetPageUrl());
    Walk(*child, path, visit);
    path.pop_back();
  }
}

}  // namespace

std::string FileName() { return hv::res::LoadString(hv::res::IDS_CACHE_INDEX) + ".items"; }

std::string Text(CAgentAnchor& agent) {
  std::string lines;
  bool anyServer = false;
  Path path;
  // Every item with settings of its own has its line, so that items of
  // equal paths keep their order.
  auto visit = [&](CAnchor& anchor, const Path& at) {
    if (!HasOwnSettings(anchor)) return;
    const bool any = anchor.m_nRequisites == CUINode::rqAnyServer;
    anyServer = anyServer || any;
    lines += kRequisites + '\t' + (any ? kAnyServer : kStrategy);
    for (const std::string& name : at) lines += '\t' + Escaped(name);
    lines += '\n';
  };
  Walk(agent, path, visit);
  return anyServer ? kHeader + '\n' + lines : std::string();
}

void Apply(CAgentAnchor& agent, const std::string& text) {
  std::vector<std::string> lines = Split(text, '\n');
  if (lines.empty() || lines.front() != kHeader) return;
  std::map<Path, std::deque<int>> choices;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> fields = Split(lines[i], '\t');
    if (fields.size() < 2 || fields[0] != kRequisites || (fields[1] != kAnyServer && fields[1] != kStrategy))
      continue;
    Path path(fields.size() - 2);
    bool readable = true;
    for (std::size_t f = 2; f < fields.size() && readable; ++f) readable = Unescape(fields[f], path[f - 2]);
    if (readable) choices[path].push_back(fields[1] == kAnyServer ? CUINode::rqAnyServer : CUINode::rqStrategy);
  }
  if (choices.empty()) return;
  Path path;
  auto visit = [&choices](CAnchor& anchor, const Path& at) {
    if (!HasOwnSettings(anchor)) return;
    const auto found = choices.find(at);
    if (found == choices.end() || found->second.empty()) return;
    anchor.m_nRequisites = found->second.front();
    found->second.pop_front();
  };
  Walk(agent, path, visit);
}

void Load(CAgentAnchor& agent, const std::string& folder) {
  const std::string path = hv::fs::JoinPath(folder, FileName());
  // Nothing but a plain file is read: a pipe of that name would never end.
  const std::int64_t size = hv::fs::RegularFileSize(path);
  if (size <= 0 || static_cast<std::uint64_t>(size) > kMaxFile) return;
  // One byte more than the size: a file that grew meanwhile is not read.
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  try {
    CFile file(path, CFile::modeRead);
    text.resize(file.Read(text.data(), text.size()));
  } catch (...) {
    return;  // unreadable: the items keep their defaults
  }
  if (text.size() > static_cast<std::size_t>(size)) return;
  Apply(agent, text);
}

void Save(CAgentAnchor& agent, const std::string& folder) {
  const std::string path = hv::fs::JoinPath(folder, FileName());
  const std::string text = Text(agent);
  if (text.empty()) {
    hv::fs::RemoveFile(path);
    return;
  }
  hv::fs::ReplaceFile(path, [&text](CFile& file) { file.Write(text.data(), text.size()); });
}

}  // namespace hv::item_extras
