#include "shell/plugin_client.h"

#include <cstring>

#include "harvion/global_memory.h"
#include "harvion/message_target.h"
#include "shell/tree_item_node.h"
#include "shell/ui_texts.h"

namespace hvui {

PluginClient::PluginClient(QObject* parent) : QObject(parent), m_bridge(this), m_calls(this) {
  m_scheduleNames << QString::fromLatin1(texts::kManually);
}

PluginClient::~PluginClient() {
  // The engine must not call a client that is gone.
  if (CSafClient::GetSafClient()->m_pUIClient == this) CSafClient::GetSafClient()->Connect(nullptr);
}

CUINode* PluginClient::CreateUINode(CSafNode* node, CSafNode*, int kind, unsigned long, CArchive*, unsigned long) {
  // Nothing of the nodes' own is stored in agent files: an archive is not read.
  return MakeTreeItemNode(m_bridge, node, kind);
}

HWND PluginClient::GetBrowserWnd() { return GetMainWnd(); }

void PluginClient::ServerProgress(serverType type, serverProgress progress) {
  if (type != stHttp) return;
  if (progress != spFinished && progress != spInterrupted) return;
  const bool interrupted = progress == spInterrupted;
  m_calls.Post([this, interrupted] { emit runEnded(interrupted); });
}

QStringList TakeNameList(HGLOBAL block) {
  QStringList names;
  if (!block) return names;
  const auto* bytes = static_cast<const char*>(GlobalLock(block));
  const std::size_t size = GlobalSize(block);
  std::size_t at = 0;
  while (bytes && at < size && bytes[at] != '\0') {
    const std::size_t length = strnlen(bytes + at, size - at);
    if (at + length >= size) break;  // no terminator inside the block
    names << EngineText(bytes + at);
    at += length + 1;
  }
  GlobalUnlock(block);
  GlobalFree(block);
  return names;
}

bool TakeValueList(HGLOBAL block, QVector<int>& values, QStringList& names) {
  if (!block) return false;
  values.clear();
  names.clear();
  const auto* bytes = static_cast<const unsigned char*>(GlobalLock(block));
  const std::size_t size = GlobalSize(block);
  std::size_t at = 0;
  while (bytes && at < size && bytes[at] != 255) {
    const int value = bytes[at++];
    const char* name = reinterpret_cast<const char*>(bytes + at);
    const std::size_t length = strnlen(name, size - at);
    if (at + length >= size) break;
    values << value;
    names << EngineText(name);
    at += length + 1;
  }
  GlobalUnlock(block);
  GlobalFree(block);
  return true;
}

void PluginClient::RefreshSchedules() {
  m_scheduleNames = QStringList{QString::fromLatin1(texts::kManually)} + TakeNameList(GetScheduleList());
  emit schedulesChanged();
}

void PluginClient::RefreshFileTypes() { TakeValueList(GetFileTypeList(), m_fileTypeValues, m_fileTypeNames); }

void PluginClient::RefreshConstraints() {
  TakeValueList(GetConstraintList(), m_constraintValues, m_constraintNames);
}

}  // namespace hvui
