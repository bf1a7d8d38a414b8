// Feeds arbitrary bytes to the parser of a retrieved page, which writes the
// stored copy into a cache in a temporary folder: once whole and once in
// pieces whose size the input chooses. Stops when a copy is not written
// completely, when the two runs differ in the copy or in what the location
// was told, when a deferred child is left over, or when the cache's totals
// disagree with the file on the disk.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "html/recording_owner.h"
#include "scratch_folder.h"

namespace {

[[noreturn]] void Fail(const std::string& what) { hvfuzz::Fail("map_parser_fuzzer", what); }

hvtest::PageSite::Mapped Run(const std::string& document, std::size_t piece) {
  hvtest::PageSite site;
  site.Store("http://host/dir/stored.html", "3S000002.html");
  site.Store("http://host/img/logo.gif", "3S000003.gif");
  site.Store("http://host/dir/part.html", "3S000004.html", CPageDescr::kInterrupted);
  hvtest::PageSite::Mapped mapped = site.Map(document, piece);
  if (mapped.finished != 1) Fail("page file not finished");
  if (mapped.outstanding != 0) Fail("deferred children left over");
  if (site.totals.files != 1 || site.totals.bytes != static_cast<std::int64_t>(mapped.copy.size()))
    Fail("totals differ from the page file");
  return mapped;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  hvfuzz::UseScratchFolder("map_parser_fuzzer");
  const std::size_t piece = 1u + data[0] % 64u;
  const std::string document(reinterpret_cast<const char*>(data + 1), size - 1);

  const hvtest::PageSite::Mapped whole = Run(document, 0);
  const hvtest::PageSite::Mapped pieces = Run(document, piece);
  if (whole.copy != pieces.copy) Fail("copies differ between whole and pieces");
  if (whole.log != pieces.log) Fail("links differ between whole and pieces");
  // Without a tag nothing is rewritten.
  if (document.find('<') == std::string::npos && whole.copy != document) Fail("text not copied as it is");
  return 0;
}
