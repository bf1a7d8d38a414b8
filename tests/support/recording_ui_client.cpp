#include "support/recording_ui_client.h"

#include <algorithm>
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

void RecordingUINode::Log(const std::string& what) { m_client->Record(what + " " + Name()); }

void RecordingUINode::Detach() {
  // The engine node must still be alive here: reading its name proves it.
  Log("Detach");
  {
    std::lock_guard lock(m_client->m_mutex);
    --m_client->m_liveNodes;
  }
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
        std::lock_guard lock(m_mutex);
        m_messages.push_back(msg);
        if (msg == WM_HV_STATISTICS) m_statistics.emplace_back(w, l);
      })) {}

RecordingUIClient::~RecordingUIClient() { DestroyMessageTarget(m_window); }

CUINode* RecordingUIClient::CreateUINode(CSafNode* node, CSafNode* parent, int kind, unsigned long, CArchive* ar,
                                         unsigned long version) {
  Record("Create kind=" + std::to_string(kind) + " parent=" + NameOf(parent));
  std::lock_guard lock(m_mutex);
  if (ar) m_versions.push_back(version);
  if (m_refuseNodes) return nullptr;
  ++m_liveNodes;
  (void)node;
  return new RecordingUINode(this, "");
}

void RecordingUIClient::ServerProgress(serverType, serverProgress progress) {
  Record("Progress " + std::to_string(progress));
}

void RecordingUIClient::Record(const std::string& entry) {
  std::lock_guard lock(m_mutex);
  m_log.push_back(entry);
  m_logged.notify_all();
}

std::vector<std::string> RecordingUIClient::LogCopy() const {
  std::lock_guard lock(m_mutex);
  return m_log;
}

int RecordingUIClient::CountLog(const std::string& entry) const {
  std::lock_guard lock(m_mutex);
  return static_cast<int>(std::count(m_log.begin(), m_log.end(), entry));
}

bool RecordingUIClient::WaitForLog(const std::string& entry, int count, std::chrono::milliseconds limit) const {
  return WaitUntil(
      [&](const std::vector<std::string>& log) { return std::count(log.begin(), log.end(), entry) >= count; }, limit);
}

bool RecordingUIClient::WaitUntil(const std::function<bool(const std::vector<std::string>&)>& done,
                                  std::chrono::milliseconds limit) const {
  std::unique_lock lock(m_mutex);
  return m_logged.wait_for(lock, limit, [&] { return done(m_log); });
}
