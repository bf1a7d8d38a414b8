// The desktop program's side of the engine: it makes the tree's nodes, names
// the window the engine posts to, hears when a run ends, and offers every
// engine operation the program uses as a member of its own.
#pragma once

#include <QObject>
#include <QStringList>
#include <QVector>
#include <atomic>

#include "harvion/saf_client.h"
#include "harvion/ui_client.h"
#include "shell/node_bridge.h"

namespace hvui {

class PluginClient : public QObject, public CUIClient {
  Q_OBJECT
 public:
  explicit PluginClient(QObject* parent = nullptr);
  ~PluginClient() override;

  // CUIClient.
  CUINode* CreateUINode(CSafNode* node, CSafNode* parent, int kind, unsigned long insertPos, CArchive* ar,
                        unsigned long version) override;
  HWND GetBrowserWnd() override;
  HWND GetMainWnd() override { return m_mainWnd.load(); }
  void ServerProgress(serverType type, serverProgress progress) override;

  void SetMainWnd(HWND window) { m_mainWnd.store(window); }
  NodeBridge& Bridge() { return m_bridge; }

  // Set while an agent is loaded and when the program or its window closes.
  std::atomic<bool> m_bClosing{false};

  // The schedule names the property pages offer: "Manually (not scheduled)"
  // first, then the engine's. Call after the Schedules dialog closed: pages
  // showing schedules hear schedulesChanged.
  void RefreshSchedules();
  const QStringList& ScheduleNames() const { return m_scheduleNames; }
  // The engine's strategy lists, value and name per entry; unchanged when the
  // engine has none to give.
  void RefreshFileTypes();
  void RefreshConstraints();
  const QVector<int>& FileTypeValues() const { return m_fileTypeValues; }
  const QStringList& FileTypeNames() const { return m_fileTypeNames; }
  const QVector<int>& ConstraintValues() const { return m_constraintValues; }
  const QStringList& ConstraintNames() const { return m_constraintNames; }

  // The engine's operations, by the engine's names.
  void Connect() { CSafClient::GetSafClient()->Connect(this); }
  static void Reparse(const char* path) { CSafClient::Reparse(path); }
  static void SetUnattended(const char* files, const char* folders) { CSafClient::SetUnattended(files, folders); }
  static unsigned long PackLoadInfo(int loadDetail, int linkType, int levels, int fileTypeIndex, int locationIndex,
                                    int inherit, int effectiveLevels) {
    return CSafClient::PackLoadInfo(loadDetail, linkType, levels, fileTypeIndex, locationIndex, inherit,
                                    effectiveLevels);
  }
  static unsigned long PackScheduleInfo(int index, int inherit) { return CSafClient::PackScheduleInfo(index, inherit); }
  static HGLOBAL GetEmptyFileName() { return CSafClient::GetEmptyFileName(); }
  static int SameServer(const char* a, const char* b) { return CSafClient::SameServer(a, b); }
  static int SameSite(const char* a, const char* b) { return CSafClient::SameSite(a, b); }
  static int SameDirectory(const char* a, const char* b) { return CSafClient::SameDirectory(a, b); }
  static void Settings() { CSafClient::Settings(); }
  static int FileTypes(int selected) { return CSafClient::FileTypes(selected); }
  static int Schedules(int selected) { return CSafClient::Schedules(selected); }
  static int Constraints(int selected) { return CSafClient::Constraints(selected); }
  static void SaveCache() { CSafClient::SaveCache(); }
  static void ClearCache() { CSafClient::ClearCache(); }
  static void GarbageCollect() { CSafClient::GarbageCollect(); }
  static CSafNode* FindAgent(const char* path, const char* schedule) { return CSafClient::FindAgent(path, schedule); }
  static CSafNode* CreateAgent(const char* name) { return CSafClient::CreateAgent(name); }
  static int CreateFrameSet(const char* address, char* path, int size) {
    return CSafClient::CreateFrameSet(address, path, size);
  }
  static HGLOBAL GetFileTypeList() { return CSafClient::GetFileTypeList(); }
  static HGLOBAL GetScheduleList() { return CSafClient::GetScheduleList(); }
  static HGLOBAL GetConstraintList() { return CSafClient::GetConstraintList(); }
  static int DoesAgentExist(const char* name) { return CSafClient::DoesAgentExist(name); }
  static int IsAgentMissing(const char* name) { return CSafClient::IsAgentMissing(name); }
  static HGLOBAL CreateNewAgentName(const char* base) { return CSafClient::CreateNewAgentName(base); }
  static int LoadAgentFile(const char* name, int noFallback) { return CSafClient::LoadAgentFile(name, noFallback); }
  static void DeleteAgent() { CSafClient::DeleteAgent(); }
  static void DeleteAgentFile() { CSafClient::DeleteAgentFile(); }
  static void SaveAgentFile() { CSafClient::SaveAgentFile(); }
  static int ImportLocalFile(CSafNode* node, const char* path) { return CSafClient::ImportLocalFile(node, path); }
  static CSafNode* CreateHTMLNode(CSafNode* parent, const char* name, const char* url, unsigned long pos) {
    return CSafClient::CreateHTMLNode(parent, name, url, pos);
  }
  static void TransferNode(CSafNode* node, CSafNode* parent) { CSafClient::TransferNode(node, parent); }
  static CSafNode* CreateCategoryNode(CSafNode* parent, const char* name, unsigned long pos) {
    return CSafClient::CreateCategoryNode(parent, name, pos);
  }
  static CSafNode* CreateSearchCategoryNode(CSafNode* parent, const char* text, unsigned long pos) {
    return CSafClient::CreateSearchCategoryNode(parent, text, pos);
  }
  static void HTTPShutdown() { CSafClient::HTTPShutdown(); }

 signals:
  // The run ended (finished or interrupted); on the Qt thread.
  void runEnded(bool interrupted);
  // The schedule list was read again (names, kinds or times may differ).
  void schedulesChanged();

 private:
  NodeBridge m_bridge;
  CallQueue m_calls;
  std::atomic<HWND> m_mainWnd{nullptr};
  QStringList m_scheduleNames;
  QVector<int> m_fileTypeValues, m_constraintValues;
  QStringList m_fileTypeNames, m_constraintNames;
};

// A block of zero-terminated names ended by an empty one, freed here; empty
// for a null block.
QStringList TakeNameList(HGLOBAL block);
// Records of a value byte and a zero-terminated name, ended by the value
// 255, freed here. False for a null block.
bool TakeValueList(HGLOBAL block, QVector<int>& values, QStringList& names);

}  // namespace hvui
