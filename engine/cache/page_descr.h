// What the cache index knows about one web address: whether and where a copy
// is stored, when it was retrieved, the last response's headers, the title
// and the links found on the page.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/cache/body_digest.h"
#include "engine/cache/page_child.h"
#include "engine/cache/shared_text.h"
#include "platform/framework/serial.h"

class CAnchor;
class CCache;
class CUrlBase;
class CLinkOwner;

class CPageDescr : public CObject {
  DECLARE_SERIAL(CPageDescr)
 public:
  enum State : std::int32_t { kNotStored = 0, kRetrieving = 1, kInterrupted = 2, kStored = 3 };

  CPageDescr() = default;
  explicit CPageDescr(std::string address) : m_strAddress(address) {}

  void Serialize(CArchive& ar) override;

  // Links (the cache lock is held by the caller).
  // The target's record for a link found on this page, or null when it has
  // none or is this page. AddLink takes the (recursive) cache lock itself:
  // on null it has let go of it again; with a record it returns holding one
  // more level of it, which the caller releases (CCache::Lock().unlock())
  // when done with the record. Without an existing link a new one is
  // appended and handed back in newLink.
  CPageDescr* AddLink(CCache& cache, const std::string& address, int linkType, CPageChild* existing,
                      CPageChild** newLink);
  // Garbage collection: in use, keeping its copy when keepCopy; links whose
  // target is gone are removed, the others mark their targets in use.
  void MarkUsed(CCache& cache, bool keepCopy);
  // Re-creates a location's children from the stored links; a link the
  // location refuses is removed.
  void RebuildLinks(CLinkOwner& location);
  void ClearLinks() { m_links.clear(); }

  // The stored file.
  // Before a retrieval that keeps a copy: an empty file under a (new) local
  // name, counted; state stored.
  void PrepareFile(CCache& cache, CPageDescr* referrer);
  // Deletes the stored file (keeping its name and key); state not stored.
  void DropFile(CCache& cache, CPageDescr* referrer);
  // Deletes the file and forgets its name and key.
  void ForgetFile(CCache& cache);
  // A transfer ended early: with the parser's file complete, the page keeps
  // its partial copy followed by the interruption text; otherwise the file
  // is dropped. False when the disk is full (retrieval must stop).
  bool MarkInterrupted(CCache& cache, bool parserFinished);
  // A local name read from an index that cannot be this record's: the
  // record keeps no file (nothing is deleted).
  void ForgetLocalName();
  // True when the local file is there, a regular file (not a link) and writable.
  bool FileExists(const CCache& cache) const;

  // A retrieval by a location starts: the file is prepared or dropped by
  // the location's load detail; returns the previous state.
  int StartRetrieval(CCache& cache, CAnchor* location, int loadDetail, CPageDescr* referrer,
                     std::uint32_t runStart);
  // The location's retrieval ended (nothing when another location took the
  // record over meanwhile). False when the disk is full.
  bool EndRetrieval(CCache& cache, CAnchor* location, int loadDetail, bool completed, bool parserFinished,
                    std::uint32_t runStart);
  // The location's retrieval failed: the copy stored before it stays, in
  // keptState (2 or 3); with none (0), a file made for the retrieval goes.
  // Nothing when another location took the record over meanwhile.
  void EndFailedRetrieval(CCache& cache, CAnchor* location, int keptState, std::uint32_t runStart);
  // Clears what the last response said.
  void ClearResponse();

  // The stored copy's links.
  // A link's value as written on this page, resolved against base (empty:
  // this page's address) to an absolute http address without fragment;
  // empty for anything else, which is then neither followed nor rewritten.
  std::string ResolveLink(const std::string& value, const std::string& base) const;
  // The same against a base split once, for the many links of one page.
  std::string ResolveLink(const std::string& value, const CUrlBase& base) const;
  // What a link attribute of this page's copy says instead of value (an
  // address or the local file name written earlier): the target's local file
  // while it is stored, else its address, or the placeholder image for an
  // embedded object (which marks this page as using it). The fragment stays.
  // A value the cache has no record for is kept; empty only for an empty
  // value. Takes the cache lock.
  std::string ReplacementFor(CCache& cache, const std::string& value, int linkType, const std::string& base);
  // The same for an address ResolveLink gave (so never resolved twice),
  // with the fragment the value had; target is the address's record when
  // the caller has it (null: looked up). Takes the cache lock.
  std::string ReplacementForAddress(CCache& cache, const std::string& address, const std::string& fragment,
                                    int linkType, const CPageDescr* target = nullptr);
  // Writes the stored copy anew when pages it links to were stored or
  // dropped since its links were last updated, other than through its own
  // links; drops the record's file when it has gone missing.
  void Relink(CCache& cache);
  // Writes the stored copy anew, its links as the cache has them now, when
  // it has one that is kept and there.
  void RewriteLinks(CCache& cache);

  std::vector<std::unique_ptr<CPageChild>> m_links;
  std::int32_t m_bInUse = 0;
  std::int32_t m_bKeepCopy = 0;
  hv::SharedText m_strAddress;
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
  // The digest of the body the stored copy was made from, when known. Not
  // in the index, whose layout is fixed: kept beside it (body_digests.h).
  // Any other change to the copy than a whole new body forgets it.
  std::optional<hv::cache::BodyDigest> m_bodyDigest;
};
