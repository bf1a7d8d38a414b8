// The root of an agent: its strategy lists, author details and totals.
#pragma once

#include "engine/agent/anchor.h"
#include "engine/cache/cache_totals.h"
#include "engine/settings/named_array.h"
#include "harvion/ui_node.h"

class CExceptionEntry;

class CAgentAnchor : public CAnchor, public CCacheTotals {
  DECLARE_SERIAL(CAgentAnchor)
 public:
  // What a new agent retrieves: text and graphics, within the site.
  static constexpr int kDefaultLoadDetail = CUINode::ldTextAndGraphics;
  static constexpr int kDefaultLinkType = CUINode::ltWithinSite;

  // A new agent: a user item with the built-in strategy entries, retrieving
  // the defaults one link level deep.
  CAgentAnchor();
  ~CAgentAnchor() override;

  void Serialize(CArchive& ar) override;
  void DeleteTree() override;
  void SetName(const std::string& text, int automatic) override;
  CSafNode* CreateNode() override;
  int GetKind() override;
  int Run() override;
  // Keeps the user items, empties the cache folder and finds the locations'
  // pages again in the new index.
  void ClearResults() override;

  // Totals of the agent's cache folder; each change is posted to the main
  // window, and a run that reaches the size limit is stopped.
  void AddBytes(std::int64_t n) override;
  void AddFiles(std::int32_t n) override;
  void MarkCacheChanged() override { m_bCacheChanged = 1; }

  // The entries of the lists, for the strategy in force.
  CExceptionEntry* FileTypeEntry(int index) const;
  CExceptionEntry* LocationEntry(int index) const;
  // Fills both lists with the built-in entries.
  void SetBuiltInLists();

  std::int32_t m_bModified = 0;
  CNamedArray m_fileTypes;
  CNamedArray m_locations;
  std::string m_strAuthor1, m_strAuthor2, m_strAuthor3;
  std::int32_t m_nSizeLimit = 0;  // kilobytes, 0 for none
  std::int32_t m_nFileCount = 0;
  std::int32_t m_nByteCount = 0;
  std::int32_t m_bCacheChanged = 0;  // the index must be saved
};
