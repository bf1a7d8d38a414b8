// A page's location for the parsers' tests: it accepts every link, records
// the link on the page's record as the retrieval does, makes a child anchor
// (outside any tree) for each deferred link, and writes every call as a line.
// With it, a cache in a temporary folder holding the page being retrieved.
// Shared by the unit tests, the fuzz target and the benchmark.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cache/recording_totals.h"
#include "engine/agent/anchor.h"
#include "engine/cache/cache.h"
#include "engine/cache/link_owner.h"
#include "engine/html/map_parser.h"
#include "platform/files/file.h"
#include "platform/files/file_system.h"

namespace hvtest {

// Lines:
//   add TYPE ADDRESS [deferred]    a link
//   complete ADDRESS "NAME"        a deferred child with its name
//   release ADDRESS                a deferred child discarded
//   title "TEXT"
class RecordingOwner : public CLinkOwner {
 public:
  RecordingOwner(CCache& cache, CPageDescr* page) : m_cache(cache), m_page(page) {}

  CPageDescr* OwnerPage() override { return m_page; }

  CAnchor* AddLink(const std::string& address, int linkType, bool defer, CPageChild* existing,
                   CPageChild** record, CPageDescr** target) override {
    log.push_back("add " + std::to_string(linkType) + " " + address + (defer ? " deferred" : ""));
    CPageDescr* found = m_page ? m_page->AddLink(m_cache, address, linkType, existing, record) : nullptr;
    if (found) CCache::Lock().unlock();
    if (target) *target = found;
    if (!defer) return nullptr;
    auto child = std::make_unique<CAnchor>();
    CAnchor* anchor = child.get();
    m_deferred[anchor] = {std::move(child), address};
    return anchor;
  }

  void CompleteLink(CAnchor* child) override {
    const auto found = m_deferred.find(child);
    if (found == m_deferred.end()) {
      log.push_back("complete of an unknown child");
      return;
    }
    log.push_back("complete " + found->second.address + " \"" + child->m_strName + "\"");
    m_deferred.erase(found);  // a real owner would put it into the tree
  }

  void ReleaseLink(CAnchor* child) override {
    const auto found = m_deferred.find(child);
    log.push_back(found == m_deferred.end() ? "release of an unknown child" : "release " + found->second.address);
    if (found != m_deferred.end()) m_deferred.erase(found);
  }

  void SetTitle(const std::string& title) override { log.push_back("title \"" + title + "\""); }

  // Deferred children neither completed nor released.
  std::size_t Outstanding() const { return m_deferred.size(); }

  std::vector<std::string> log;

 private:
  struct Deferred {
    std::unique_ptr<CAnchor> anchor;
    std::string address;
  };

  CCache& m_cache;
  CPageDescr* m_page;
  std::map<CAnchor*, Deferred> m_deferred;
};

// A cache in a fresh temporary folder (removed at the end) with the page
// being retrieved, http://host/dir/page.html, stored as 3S000001.html.
class PageSite {
 public:
  PageSite() {
    std::string pattern = hv::fs::JoinPath(hv::fs::TempDirectory(), "hvsite.XXXXXX");
    if (::mkdtemp(pattern.data())) dir = pattern;
    cache = std::make_unique<CCache>(dir);
    cache->SetTotals(&totals);
    cache->CheckPlaceholder();
    page = Store("http://host/dir/page.html", "3S000001.html", CPageDescr::kRetrieving);
  }
  ~PageSite() {
    if (!dir.empty()) hv::fs::RemoveTree(dir);
  }
  PageSite(const PageSite&) = delete;
  PageSite& operator=(const PageSite&) = delete;

  // A record with a local file name and a kept copy (the file itself is
  // not written).
  CPageDescr* Store(const std::string& address, const std::string& localFile,
                    std::int32_t state = CPageDescr::kStored) {
    CPageDescr* record = cache->FindOrCreate(address);
    record->m_strLocalFile = localFile;
    cache->AddKey(localFile, record);
    record->m_nState = state;
    record->m_nCopyKept = 2;
    return record;
  }

  struct Mapped {
    std::string copy;  // the page file afterwards
    std::vector<std::string> log;
    int finished = 0;
    std::size_t outstanding = 0;  // deferred children left with the owner
  };

  // Runs the page through a map parser fed in pieces of the given size (0:
  // all at once).
  Mapped Map(const std::string& input, std::size_t piece = 0, bool readOnly = false) {
    Mapped result;
    RecordingOwner owner(*cache, page);
    {
      CMapParser parser(*cache, &owner, readOnly);
      if (piece == 0) piece = input.size() + 1;
      for (std::size_t at = 0; at < input.size(); at += piece)
        parser.Parse(input.data() + at, std::min(piece, input.size() - at));
      result.finished = parser.Finish();
    }
    result.copy = ReadPage();
    result.log = std::move(owner.log);
    result.outstanding = owner.Outstanding();
    return result;
  }

  std::string ReadPage() const { return ReadFile(cache->PathOf(page->m_strLocalFile)); }

  static std::string ReadFile(const std::string& path) {
    CFile file;
    if (!file.Open(path, CFile::modeRead)) return "(no file)";
    std::string text(file.GetLength(), '\0');
    text.resize(file.Read(text.data(), text.size()));
    return text;
  }

  std::string dir;
  RecordingTotals totals;
  std::unique_ptr<CCache> cache;
  CPageDescr* page = nullptr;
};

}  // namespace hvtest
