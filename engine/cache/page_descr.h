// What the cache index knows about one web address: whether and where a copy
// is stored, when it was retrieved, the last response's headers, the title
// and the links found on the page.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/cache/page_child.h"
#include "platform/framework/serial.h"

class CAnchor;

class CPageDescr : public CObject {
  DECLARE_SERIAL(CPageDescr)
 public:
  enum State : std::int32_t { kNotStored = 0, kRetrieving = 1, kInterrupted = 2, kStored = 3 };

  CPageDescr() = default;
  explicit CPageDescr(std::string address) : m_strAddress(std::move(address)) {}

  void Serialize(CArchive& ar) override;

  std::vector<std::unique_ptr<CPageChild>> m_links;
  std::int32_t m_bInUse = 0;
  std::int32_t m_bKeepCopy = 0;
  std::string m_strAddress;
  std::int32_t m_nState = kNotStored;
  std::string m_strLocalFile;
  std::uint32_t m_tRetrievalStart = 0;
  CAnchor* m_pRetriever = nullptr;
  std::int32_t m_nRetrieverKeepsCopy = 0;
  std::uint32_t m_tLastRetrievalEnd = 0;
  std::uint32_t m_tStoredAt = 0;
  std::int32_t m_nCopyKept = 0;  // loadDetail of the last completed retrieval
  std::uint32_t m_tLinksUpdated = 0;
  std::uint32_t m_tStateChanged = 0;
  CPageDescr* m_pStateChangedBy = nullptr;
  std::int32_t m_bChanged = 0;  // needs authentication
  std::int32_t m_bPlaceholderUsed = 0;
  std::string m_strStatusLine;
  std::int32_t m_nContentLength = 0;
  std::string m_strContentType;
  std::string m_strLastModifiedText;
  std::string m_strLocation;
  std::string m_strTitle;
  std::uint32_t m_tLastModified = 0;
  std::int32_t m_bFlag = 0;  // the server reported a copy not older than ours
  std::string m_strRealm;
  std::int32_t m_nStatusCode = 0;
  std::string m_strStatusText;
};
