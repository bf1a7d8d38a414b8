// Feeds arbitrary bytes to the CSS scanner and to the rewriter of stored
// stylesheets, which writes the copy into a cache in a temporary folder:
// once whole and once in pieces whose size the input chooses. Stops when
// the two differ in the references, the copy or the links, when a reference
// lies outside the input, overlaps another or runs backwards, when the
// scanner lets go of bytes a later reference covers, when a copy is not
// written completely, or when a stylesheet without references is changed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/html/css_rewriter.h"
#include "html/recording_owner.h"
#include "scratch_folder.h"

namespace {

[[noreturn]] void Fail(const std::string& what) { hvfuzz::Fail("css_scanner_fuzzer", what); }

struct Found {
  int kind;
  std::string value;
  std::int64_t start, end;
  bool quoted;
  bool operator==(const Found&) const = default;
};

class Recorder : public CCssScanner {
 public:
  std::vector<Found> found;
  std::int64_t lowest = 0;  // the least OpenFrom() after a piece

 protected:
  void OnReference(const Reference& r) override {
    if (r.start < lowest) Fail("a reference begins before bytes already let go");
    if (r.start >= r.end) Fail("a reference runs backwards");
    if (!found.empty() && r.start < found.back().end) Fail("references overlap");
    found.push_back({static_cast<int>(r.kind), r.value, r.start, r.end, r.quoted});
  }
};

std::vector<Found> Scan(const std::string& css, std::size_t piece) {
  Recorder recorder;
  for (std::size_t at = 0; at < css.size(); at += piece) {
    recorder.Scan(css.data() + at, std::min(piece, css.size() - at));
    if (recorder.OpenFrom() > recorder.Scanned()) Fail("open beyond the input");
    recorder.lowest = recorder.OpenFrom();
  }
  recorder.Finish();
  for (const Found& f : recorder.found)
    if (f.end > static_cast<std::int64_t>(css.size())) Fail("a reference beyond the input");
  return recorder.found;
}

struct Rewritten {
  std::string copy;
  std::vector<std::string> log;
};

Rewritten Rewrite(const std::string& css, std::size_t piece) {
  hvtest::PageSite site;
  site.Store("http://host/dir/stored.css", "3S000002.css");
  site.Store("http://host/img/logo.png", "3S000003.png");
  hvtest::RecordingOwner owner(*site.cache, site.page);
  Rewritten result;
  {
    CCssRewriter rewriter(*site.cache, site.page, &owner);
    if (!rewriter.OpenFiles()) Fail("copy not opened");
    for (std::size_t at = 0; at < css.size(); at += piece)
      rewriter.Parse(css.data() + at, std::min(piece, css.size() - at));
    if (rewriter.Finish() != 1) Fail("copy not finished");
  }
  result.copy = site.ReadPage();
  result.log = std::move(owner.log);
  if (site.totals.files != 1 || site.totals.bytes != static_cast<std::int64_t>(result.copy.size()))
    Fail("totals differ from the copy");
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  hvfuzz::UseScratchFolder("css_scanner_fuzzer");
  const std::size_t piece = 1u + data[0] % 64u;
  const std::string css(reinterpret_cast<const char*>(data + 1), size - 1);

  const std::vector<Found> whole = Scan(css, css.size() + 1);
  if (Scan(css, piece) != whole) Fail("references differ between whole and pieces");
  const Rewritten rewrittenWhole = Rewrite(css, css.size() + 1);
  const Rewritten rewrittenPieces = Rewrite(css, piece);
  if (rewrittenWhole.copy != rewrittenPieces.copy) Fail("copies differ between whole and pieces");
  if (rewrittenWhole.log != rewrittenPieces.log) Fail("links differ between whole and pieces");
  if (whole.empty() && rewrittenWhole.copy != css) Fail("a stylesheet without references changed");
  return 0;
}
