#include "engine/agent/base_node.h"

#include <cstring>
#include <mutex>

#include "engine/agent/anchor.h"
#include "engine/agent/guarded.h"
#include "engine/cache/cache.h"
#include "engine/schedule/schedule.h"
#include "harvion/global_memory.h"
#include "harvion/ui_node.h"

using hv::Guarded;

int CBaseNode::CopyText(const std::string& text, void* buffer, int size) {
  const int needed = static_cast<int>(text.size()) + 1;
  if (buffer && static_cast<int>(text.size()) < size) std::memcpy(buffer, text.c_str(), text.size() + 1);
  return needed;
}

HGLOBAL CBaseNode::MakeBlock(const std::string& bytes) {
  HGLOBAL block = GlobalAlloc(GHND, bytes.size());
  if (!block) return nullptr;
  if (void* p = GlobalLock(block)) {
    std::memcpy(p, bytes.data(), bytes.size());
    GlobalUnlock(block);
  }
  return block;
}

void CBaseNode::DetachUi() {
  if (CUINode* ui = m_pUINode) {
    m_pUINode = nullptr;
    ui->Detach();
  }
}

int CBaseNode::GetData(int item, void* buffer, int size) {
  return Guarded(0, [&] { return DoGetData(item, buffer, size); });
}

unsigned long CBaseNode::GetValue(int item) {
  return Guarded(0UL, [&] { return DoGetValue(item); });
}

HGLOBAL CBaseNode::GetDataHandle(int item) {
  return Guarded(HGLOBAL{}, [&] { return DoGetDataHandle(item); });
}

int CBaseNode::SetData(int item, const void* data, unsigned long size) {
  return Guarded(0, [&] { return DoSetData(item, data, size); });
}

int CBaseNode::SetValue(int item, unsigned long value) {
  return Guarded(0, [&] {
    if (!m_pAnchor) return 0;
    switch (item) {
      case itemUserItem:
        m_pAnchor->SetUserItem(static_cast<int>(value));
        break;
      case itemSchedule:
        m_pAnchor->SetScheduleInfo(value);
        break;
      case itemRequisites:
        return m_pAnchor->SetRequisites(value) ? 1 : 0;
      default:
        return m_pAnchor->SetLoadInfo(value) ? 1 : 0;
    }
    return 1;
  });
}

int CBaseNode::Run() {
  return Guarded(0, [&] { return m_pAnchor ? m_pAnchor->Run() : 0; });
}

void CBaseNode::Remove(int exclude) {
  Guarded(0, [&] {
    // A run may be answering into this subtree from its workers.
    std::lock_guard guard(CCache::Lock());
    if (m_pAnchor) DoRemove(exclude);
    return 0;
  });
}

void CBaseNode::Release() {
  DetachUi();
  delete this;  // heap nodes end here; the page node overrides
}

int CBaseNode::DoGetData(int, void*, int) { return 0; }

unsigned long CBaseNode::DoGetValue(int item) {
  if (!m_pAnchor) return 0;
  switch (item) {
    case itemSchedule:
      return m_pAnchor->GetScheduleInfo();
    case itemNextRun:
      return CSchedule::Instance().NextRun(m_pAnchor->EffectiveSchedule());
    case itemLoadInfo:
      return m_pAnchor->GetLoadInfo();
    case itemRequisites:
      return static_cast<unsigned long>(m_pAnchor->EffectiveSettings().requisites);
    default:
      return 0;
  }
}

HGLOBAL CBaseNode::DoGetDataHandle(int item) {
  char probe[1];
  const int size = GetData(item, probe, 1);
  if (size <= 0) return nullptr;
  HGLOBAL block = GlobalAlloc(GHND, static_cast<std::size_t>(size));
  if (!block) return nullptr;
  GetData(item, GlobalLock(block), size);
  GlobalUnlock(block);
  return block;
}

int CBaseNode::DoSetData(int, const void*, unsigned long) { return 0; }

void CBaseNode::DoRemove(int) { m_pAnchor->DeleteTree(); }
