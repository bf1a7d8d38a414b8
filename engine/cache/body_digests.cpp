#include "engine/cache/body_digests.h"

#include <algorithm>
#include <charconv>
#include <mutex>
#include <string_view>

#include "engine/cache/cache.h"
#include "engine/cache/local_name.h"
#include "platform/files/file.h"
#include "platform/files/file_system.h"
#include "resources/resources.h"

namespace hv::cache {

namespace {

const std::string kHeader = "harvion body digests 1";
// A line is at most about 300 bytes, most about 60: this is ample for the
// pages an index takes. A larger file is not one of ours.
constexpr std::size_t kMaxFile = 64u << 20;

std::string PathIn(const CCache& cache) { return hv::fs::JoinPath(cache.Directory(), DigestsFileName()); }

bool ParseSeconds(std::string_view text, std::uint32_t& seconds) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// One line: the digest, the time, the name; false for anything else.
bool ParseLine(std::string_view line, BodyDigest& digest, std::uint32_t& storedAt, std::string_view& name) {
  const std::size_t first = line.find('\t');
  const std::size_t second = first == std::string_view::npos ? first : line.find('\t', first + 1);
  if (second == std::string_view::npos) return false;
  const std::optional<BodyDigest> read = DigestFromHex(line.substr(0, first));
  if (!read || !ParseSeconds(line.substr(first + 1, second - first - 1), storedAt)) return false;
  digest = *read;
  name = line.substr(second + 1);
  return true;
}

}  // namespace

std::string DigestsFileName() { return hv::res::LoadString(hv::res::IDS_CACHE_INDEX) + ".digests"; }

std::string DigestsText(const CCache& cache) {
  std::string lines;
  std::lock_guard guard(CCache::Lock());
  for (const CPageDescr* page : cache.Records()) {
    // Only names the page store makes: they hold no TAB or line end.
    if (!page->m_bodyDigest || page->m_nState != CPageDescr::kStored || !IsStoredFileName(page->m_strLocalFile))
      continue;
    lines += ToHex(*page->m_bodyDigest);
    lines += '\t';
    lines += std::to_string(page->m_tStoredAt);
    lines += '\t';
    lines += page->m_strLocalFile;
    lines += '\n';
  }
  return lines.empty() ? std::string() : kHeader + '\n' + lines;
}

std::size_t ApplyDigests(CCache& cache, const std::string& text) {
  const std::string_view all(text);
  std::size_t at = all.find('\n');
  if (at == std::string_view::npos || all.substr(0, at) != kHeader) return 0;
  std::size_t applied = 0;
  std::lock_guard guard(CCache::Lock());
  while (at < all.size()) {
    const std::size_t start = at + 1;
    at = all.find('\n', start);
    if (at == std::string_view::npos) break;  // a last line cut short says nothing
    BodyDigest digest;
    std::uint32_t storedAt = 0;
    std::string_view name;
    if (!ParseLine(all.substr(start, at - start), digest, storedAt, name)) continue;
    CPageDescr* page = cache.Find(std::string(name));
    if (!page || page->m_strLocalFile != name || page->m_nState != CPageDescr::kStored || page->m_tStoredAt != storedAt)
      continue;
    page->m_bodyDigest = digest;
    ++applied;
  }
  return applied;
}

void LoadDigests(CCache& cache) {
  const std::string path = PathIn(cache);
  // Nothing but a plain file is read: a pipe of that name would never end.
  const std::int64_t size = hv::fs::RegularFileSize(path);
  if (size <= 0 || static_cast<std::uint64_t>(size) > kMaxFile) return;
  // One byte more than the size: a file that grew meanwhile is not read.
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  try {
    CFile file(path, CFile::modeRead);
    text.resize(file.Read(text.data(), text.size()));
  } catch (...) {
    return;
  }
  if (text.size() > static_cast<std::size_t>(size)) return;
  ApplyDigests(cache, text);
}

bool SaveDigests(CCache& cache) {
  const std::string path = PathIn(cache);
  const std::int64_t oldSize = hv::fs::RegularFileSize(path);
  try {
    const std::string text = DigestsText(cache);
    if (text.empty()) {
      if (oldSize >= 0 && hv::fs::RemoveFile(path)) cache.CountRemovedFile(oldSize);
      return true;
    }
    hv::fs::ReplaceFile(path, [&text](CFile& file) { file.Write(text.data(), text.size()); });
  } catch (...) {
    // The old file would describe copies since replaced; their lines would
    // not match, but a file that says nothing of them is plainer.
    if (oldSize >= 0 && hv::fs::RemoveFile(path)) cache.CountRemovedFile(oldSize);
    return false;
  }
  cache.CountCreatedFile(oldSize);
  if (CCacheTotals* totals = cache.Totals()) totals->AddBytes(std::max<std::int64_t>(hv::fs::FileSize(path), 0));
  return true;
}

}  // namespace hv::cache
