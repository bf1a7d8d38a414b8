// A stylesheet stored by a run: while it streams past, each @import and
// url() is handed to the stylesheet's location as a link of its kind,
// resolved against the stylesheet's own address, and the stored copy is
// written with each pointing at the stored file (local names share one
// folder, so the bare name is the relative address) or, when there is none,
// at its absolute address. Without a location it only writes the copy
// anew, as the cache stands now.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/html/copy_writer.h"
#include "engine/html/css_scanner.h"

class CCache;
class CLinkOwner;
class CPageDescr;

namespace hv {

// Whether an answer's content type is a stylesheet's.
bool IsStylesheetType(const std::string& contentType);

// What the copy of page says instead of a CSS reference found on it: the
// text replacing the reference's bytes (a CSS string, or url() around one),
// empty to keep them. With an owner the value is resolved against base
// (empty: the page's address) and handed over as a link; without one it is
// a value a stored copy holds (a local name or an absolute address).
// writing: whether a copy is being written at all; quote: that of the
// string written.
std::string CssReplacement(CCache& cache, CPageDescr& page, CLinkOwner* owner, const std::string& base,
                           const CCssScanner::Reference& reference, bool writing, char quote = '"');

}  // namespace hv

class CCssRewriter : public CCssScanner {
 public:
  CCssRewriter(CCache& cache, CPageDescr* page, CLinkOwner* owner);

  // Before the first byte: makes the new copy (see CCopyWriter::Open).
  bool OpenFiles();
  void Parse(const char* data, std::size_t length);
  // Once after the last byte: 1 when the copy was written completely and
  // put in place of the stylesheet's file, else 0.
  int Finish();

  std::int64_t Received() const { return Scanned(); }
  bool DiskFull() const { return m_writer.DiskFull(); }
  // See CCopyWriter::KeepFileIfSame.
  void KeepFileIfSame() { m_writer.KeepFileIfSame(); }

 protected:
  void OnReference(const Reference& reference) override;

 private:
  CCache& m_cache;
  CPageDescr* m_pPage;
  CLinkOwner* m_pOwner;
  CCopyWriter m_writer;
};
