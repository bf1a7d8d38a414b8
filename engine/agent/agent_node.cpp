#include "engine/agent/agent_node.h"

#include <cstring>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "engine/agent/record_writer.h"

CAgentNode::CAgentNode(CAgentAnchor* anchor) : CBaseNode(anchor) {}

CAgentAnchor* CAgentNode::Agent() const { return static_cast<CAgentAnchor*>(m_pAnchor); }

int CAgentNode::DoGetData(int item, void* buffer, int size) {
  if (!m_pAnchor) return 0;
  switch (item) {
    case itemName:
      return CopyText(Agent()->GetDisplayName(), buffer, size);
    case itemLocalFile:
      return CopyText(CAgentManager::Instance().StartupPagePath(), buffer, size);
    default:
      return CBaseNode::DoGetData(item, buffer, size);
  }
}

HGLOBAL CAgentNode::AgentRecord() const {
  const CAgentAnchor* agent = Agent();
  const std::string folder = CAgentManager::Instance().AgentFolderPath(agent->m_strName);
  const std::string& t1 = agent->m_strAuthor1;
  const std::string& t2 = agent->m_strAuthor2;
  const std::string& t3 = agent->m_strAuthor3;
  // Texts follow in the order 1, 3, 2, folder.
  const std::size_t at1 = 0, at3 = t1.size() + 1, at2 = at3 + t3.size() + 1, atFolder = at2 + t2.size() + 1;
  hv::RecordWriter record;
  record.PutDWord(1);  // kind: agent
  record.PutDWord(static_cast<std::uint32_t>(agent->m_nSizeLimit));
  record.PutDWord(static_cast<std::uint32_t>(agent->m_nFileCount));
  record.PutDWord(static_cast<std::uint32_t>(agent->m_nByteCount));
  record.PutDWord(static_cast<std::uint32_t>(at1));
  record.PutDWord(static_cast<std::uint32_t>(at2));
  record.PutDWord(static_cast<std::uint32_t>(at3));
  record.PutDWord(static_cast<std::uint32_t>(atFolder));
  record.PutText(t1);
  record.PutText(t3);
  record.PutText(t2);
  record.PutText(folder);
  record.PadTo(t1.size() + t2.size() + t3.size() + folder.size() + 39);
  return MakeBlock(record.Bytes());
}

HGLOBAL CAgentNode::DoGetDataHandle(int item) {
  if (!m_pAnchor) return nullptr;
  if (item == itemRecord) return AgentRecord();
  return CBaseNode::DoGetDataHandle(item);
}

namespace {

std::uint32_t DWordAt(const unsigned char* p, std::size_t at) {
  return static_cast<std::uint32_t>(p[at]) | (static_cast<std::uint32_t>(p[at + 1]) << 8) |
         (static_cast<std::uint32_t>(p[at + 2]) << 16) | (static_cast<std::uint32_t>(p[at + 3]) << 24);
}

}  // namespace

// A non-zero size bounds the texts to the record; callers that pass 0 vouch
// for the offsets themselves.
int CAgentNode::TakeAgentRecord(const unsigned char* record, unsigned long size) {
  if (size != 0 && size < CAgentNode::kRecordHeader) return 0;
  if (DWordAt(record, 0) != 1) return 0;
  std::string texts[3];
  for (int i = 0; i < 3; ++i) {
    const std::size_t at = kRecordHeader + DWordAt(record, 16 + 4 * static_cast<std::size_t>(i));
    const char* start = reinterpret_cast<const char*>(record) + at;
    if (size == 0) {
      texts[i] = start;
    } else {
      if (at >= size) return 0;
      const void* end = std::memchr(start, '\0', size - at);
      if (!end) return 0;
      texts[i].assign(start, static_cast<const char*>(end));
    }
  }
  CAgentAnchor* agent = Agent();
  agent->m_nSizeLimit = static_cast<std::int32_t>(DWordAt(record, 4));
  agent->m_strAuthor1 = texts[0];
  agent->m_strAuthor2 = texts[1];
  agent->m_strAuthor3 = texts[2];
  agent->m_bModified = 1;
  return 1;
}

int CAgentNode::DoSetData(int item, const void* data, unsigned long size) {
  if (!m_pAnchor || !data) return 0;
  switch (item) {
    case itemName: {
      const std::string before = Agent()->m_strName;
      const std::string text = static_cast<const char*>(data);
      Agent()->SetName(text, 0);
      // A refused name (one that would leave the agents folder or take
      // another agent's files) leaves the agent as it was.
      return (Agent()->m_strName == text || text == before) ? 1 : 0;
    }
    case itemRecord:
      return TakeAgentRecord(static_cast<const unsigned char*>(data), size);
    default:
      return 0;
  }
}
