// An item of an agent's tree: the agent, a folder, a search folder, a web
// location or a page or object found below one. Anchors carry the retrieval
// settings, which children inherit unless they set their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/agent/load_info.h"
#include "engine/schedule/schedule_info.h"
#include "platform/framework/serial.h"

class CAgentAnchor;
class CSafNode;
struct _httpRetrieveResult;

class CAnchor : public CObject {
  DECLARE_SERIAL(CAnchor)
 public:
  // The most levels an item may lie below its agent. Every walk of the tree
  // recurses, so the reader refuses deeper files and nothing is inserted
  // deeper.
  static constexpr int kMaxDepth = 1024;

  CAnchor();
  // Frees the children and releases the node. The normal end of an anchor is
  // DeleteTree, which also notifies and unlinks; this is the fallback for a
  // tree that never became part of an agent (a failed read).
  ~CAnchor() override;
  CAnchor(const CAnchor&) = delete;
  CAnchor& operator=(const CAnchor&) = delete;

  void Serialize(CArchive& ar) override;

  // Removes the children, releases the node, leaves the parent and deletes
  // this anchor.
  virtual void DeleteTree();
  virtual int IsUnderLocation();
  virtual int IsRunLocationRoot();
  virtual int SameServerAsLocation(const std::string& url);
  virtual int SameSiteAsLocation(const std::string& url);
  virtual int SameDirectoryAsLocation(const std::string& url);
  // The effective settings packed, effective levels in the top byte.
  virtual unsigned long GetLoadInfo();
  virtual int LevelCost();
  virtual void ExcludeFromLocation();
  virtual std::string GetDisplayName();
  // Copies the display name if it is shorter than the size; returns its length.
  virtual int CopyDisplayName(char* buffer, int size);
  // An automatic name (a page title) never replaces a name the user gave.
  virtual void SetName(const std::string& text, int automatic);
  virtual CSafNode* CreateNode();
  virtual int GetKind();
  virtual void MarkCacheUse();
  virtual void ClearResults();
  virtual void RelinkPage();
  virtual std::string GetPageUrl();
  virtual void SetUrl(const std::string& text);
  virtual void OnChildLoaded(CAnchor* child);
  virtual void OnSubtreeProgress();
  virtual void SetUserItem(int flag);
  // Appends the child, takes it, and gives it its node (or re-attaches the
  // node it has). Returns the child, or null (the child is deleted) when its
  // subtree would lie deeper than kMaxDepth; the user is told when the child
  // is a user item.
  virtual CAnchor* InsertChild(std::unique_ptr<CAnchor> child, unsigned long insertPos);
  // Moves an anchor of the same agent under this one; refused with a message
  // when it would lie too deep.
  virtual void AdoptChild(CAnchor* child);
  // Takes the child out of the children; the caller then owns it. Returns its
  // index, or -1 (nothing changed) when it is not a child of this anchor.
  virtual int RemoveChild(CAnchor* child);
  // Starts retrieval of this anchor's subtree; 1 when started.
  virtual int Run();
  // Prepares the anchor for a run that includes it: the run counters start
  // afresh. Page, folder and search-folder anchors also start their work.
  virtual void Queue();
  // The anchor's own part of the run is over (status 0, or a stop or
  // failure status): tells the node and the parent.
  virtual void OnLoaded(int status);
  // A queued anchor with nothing to do in the run: its part and its
  // subtree are over at once, or its parent would wait for them to the end.
  void EndWithoutWork();

  // Effective retrieval settings; also stores the computed indexes and levels.
  hv::LoadSettings EffectiveSettings();
  // Index in the schedule list of the schedule in force, -1 for none.
  int EffectiveSchedule();
  // SetValue of the settings and schedule words. Settings that name no entry
  // of the agent's lists are refused (false) and change nothing.
  bool SetLoadInfo(unsigned long value);
  // The item's own choice of where requisites come from; refused (false)
  // while it inherits its settings, or for a value that names no choice.
  bool SetRequisites(unsigned long value);
  void SetScheduleInfo(unsigned long value);
  unsigned long GetScheduleInfo();

  // The agent this anchor belongs to (the root of its tree), or null.
  CAgentAnchor* GetAgent();
  // The path of GetPageUrl values from the agent down to here, joined by
  // character 7.
  std::string GetPath();
  // Finds the anchor of the path (see GetPath) below and including this one
  // whose own schedule has the name.
  CAnchor* FindByPath(const std::string& path, const std::string& scheduleName);

  // Creates the node, asks the user interface for its UI node and attaches it.
  void AttachNode(unsigned long insertPos, CArchive* ar, unsigned long version);
  // Reports changed settings, page or URL to the UI node.
  void ReAttachNode();
  // The retrieval result the UI node receives; zero without a page.
  virtual void FillResult(_httpRetrieveResult& result);
  int GetChildCount() const { return static_cast<int>(m_children.size()); }
  CAnchor* GetChild(int index) const { return m_children[static_cast<std::size_t>(index)].get(); }
  int IndexOfChild(const CAnchor* child) const;
  // Levels above this anchor up to its agent, and below it to its deepest
  // descendant.
  int Depth() const;
  int Height() const;
  // Whether the subtree fits below this anchor without passing kMaxDepth.
  bool HasRoomFor(const CAnchor& subtree) const;

  CSafNode* m_pNode = nullptr;  // owned: released, never deleted directly
  CAnchor* m_pParent = nullptr;
  std::uint8_t m_bUserItem = 0;
  std::int32_t m_bOwnPagePending = 0;
  std::vector<std::unique_ptr<CAnchor>> m_children;
  std::int16_t m_nChildrenLoaded = -1;
  std::int16_t m_nSubtreesDone = -1;
  std::uint8_t m_bNoLevelCost = 1;
  std::string m_strFileTypeName;  // kept only for user-defined entries
  std::string m_strLocationName;  // kept only for user-defined entries
  std::uint8_t m_bUseParentSettings = 1;
  std::int16_t m_nLinkLevels = 0;
  std::int32_t m_nLinkType = 0;
  std::int32_t m_nLoadDetail = 0;
  // Own choice of CUINode::requisites; not in the agent file's layout, kept
  // beside it (item_extras.h).
  std::int32_t m_nRequisites = 0;
  std::int16_t m_nEffFileType = 0;
  std::int16_t m_nEffLocation = 0;
  std::int16_t m_nEffLevels = 0;
  std::uint8_t m_bUseParentSchedule = 1;
  std::unique_ptr<CScheduleInfo> m_pSchedule;
  std::int32_t m_nRetrievalDepth = -1;
  std::string m_strName;
  std::int32_t m_bNameFixed = 0;
  std::int32_t m_bLoadedInRun = 0;

 protected:
  // The fields every anchor stores first.
  void SerializeAnchorPart(CArchive& ar);
  // The user-interface block and the children; when reading, also the node.
  void SerializeTail(CArchive& ar);
  void MarkAgentModified();
  // Whether bit 7 of the stored link type carries the no-level-cost flag.
  virtual bool StoresNoLevelCost() const { return false; }
  // Frees the node the way its owner expects.
  void ReleaseNode();
  // Frees the children, then the node, without notifying anyone else. A
  // class whose node looks at the class's own fields calls it from its
  // destructor, while those fields still exist.
  void DestroyTree();
  // Calls the node's NameChanged when there is one.
  void NotifyNameChanged();
  // Copies stored before the item took requisites from any server lack what
  // other servers hold: the next run reads every page below it whole (as it
  // does a copy showing the placeholder) instead of asking if it changed.
  void RereadStoredPages();

 private:
  void ReadChildren(CArchive& ar);
  // A stored strategy value that no list knows: read as "inherit", and for
  // the agent, which has no parent, as a new agent's value.
  void RepairUnknownStrategy();
};

namespace hv {

// Applies op to every descendant, children before parents, and last to the
// anchor itself; stops at the first 0. An op may delete the anchor it gets.
template <class Op>
int ForEachBottomUp(CAnchor* anchor, Op op);
// Applies op to each direct child; stops at the first 0.
template <class Op>
int ForEachChild(CAnchor* anchor, Op op);

template <class Op>
int ForEachChild(CAnchor* anchor, Op op) {
  for (int i = 0; i < anchor->GetChildCount();) {
    CAnchor* child = anchor->GetChild(i);
    if (!op(child)) return 0;
    // The op may have removed the child: advance only past a child still there.
    if (i < anchor->GetChildCount() && anchor->GetChild(i) == child) ++i;
  }
  return 1;
}

template <class Op>
int ForEachBottomUp(CAnchor* anchor, Op op) {
  if (!ForEachChild(anchor, [&](CAnchor* child) { return ForEachBottomUp(child, op); })) return 0;
  return op(anchor);
}

}  // namespace hv
