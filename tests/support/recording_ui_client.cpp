#include "support/recording_ui_client.h"

#include <cstring>

namespace {

std::string NameOf(CSafNode* node) {
  if (!node) return "-";
  char probe[1];
  const int size = node->GetData(itemName, probe, 1);
  if (size <= 0) return "";
  std::string name(static_cast<std::size_t>(size), '\0');
  node->GetData(itemName, name.data(), size);
  name.resize(std::strlen(name.c_str()));
  return name;
}

}  // namespace

std::string RecordingUINode::Name() const { return NameOf(m_pNode); }

void RecordingUINode::Log(const std::string& what) { m_client->m_log.push_back(what + " " + Name()); }

void RecordingUINode::Detach() {
  // The engine node must still be alive here: reading its name proves it.
  Log("Detach");
  --m_client->m_liveNodes;
  delete this;
}

void RecordingUINode::Attach(unsigned long loadInfo, unsigned long scheduleInfo, _httpRetrieveResult*, char* url,
                             unsigned long insertPos) {
  m_loadInfo = loadInfo;
  m_scheduleInfo = scheduleInfo;
  m_url = url ? url : "";
  Log("Attach" + (insertPos ? " @" + std::to_string(insertPos) : std::string()));
}

void RecordingUINode::ReAttach(unsigned long loadInfo, unsigned long scheduleInfo, _httpRetrieveResult*,
                               char* url) {
  m_loadInfo = loadInfo;
  m_scheduleInfo = scheduleInfo;
  m_url = url ? url : "";
  Log("ReAttach");
}

RecordingUIClient::RecordingUIClient()
    : m_window(CreateMessageTarget([this](UINT msg, WPARAM w, LPARAM l) {
        m_messages.push_back(msg);
        if (msg == WM_HV_STATISTICS) m_statistics.emplace_back(w, l);
      })) {}

RecordingUIClient::~RecordingUIClient() { DestroyMessageTarget(m_window); }

CUINode* RecordingUIClient::CreateUINode(CSafNode* node, CSafNode* parent, int kind, unsigned long, CArchive* ar,
                                         unsigned long version) {
  m_log.push_back("Create kind=" + std::to_string(kind) + " parent=" + NameOf(parent));
  if (ar) m_versions.push_back(version);
  if (m_refuseNodes) return nullptr;
  ++m_liveNodes;
  (void)node;
  return new RecordingUINode(this, "");
}

void RecordingUIClient::ServerProgress(serverType, serverProgress progress) {
  m_log.push_back("Progress " + std::to_string(progress));
}
