// The stored copies: naming a page's file, creating, dropping and finishing
// it, and keeping the agent's file and byte totals in step with the disk.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <ctime>

#include "engine/cache/cache.h"
#include "engine/cache/known_extensions.h"
#include "engine/cache/local_name.h"
#include "engine/http/url.h"
#include "platform/files/file.h"
#include "platform/files/file_system.h"
#include "resources/resources.h"

namespace {

// "<H2>Transfer Interrupted</H2></HTML>", appended to a partial copy.
constexpr unsigned kInterruptedText = 500;

std::uint32_t Now() { return static_cast<std::uint32_t>(std::time(nullptr)); }

// Fills the string table's name pattern: "%[0][width]x" takes the number,
// "%s" the extension, "%%" is a percent sign; anything else is copied. The
// extension comes from a web address, so nothing here goes through printf.
std::string FormatLocalName(const std::string& pattern, std::uint32_t number, const std::string& extension) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') {
      out += pattern[i];
      continue;
    }
    std::size_t j = i + 1;
    const bool zeros = j < pattern.size() && pattern[j] == '0';
    if (zeros) ++j;
    std::size_t width = 0;
    for (; j < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[j])); ++j)
      width = std::min<std::size_t>(width * 10 + static_cast<std::size_t>(pattern[j] - '0'), 32);
    const char conversion = j < pattern.size() ? pattern[j] : '\0';
    if (conversion == 'x') {
      std::string digits;
      for (std::uint32_t n = number; digits.empty() || n != 0; n >>= 4) digits.insert(digits.begin(), kDigits[n & 15]);
      if (digits.size() < width) digits.insert(0, width - digits.size(), zeros ? '0' : ' ');
      out += digits;
      i = j;
    } else if (conversion == 's' && j == i + 1) {
      out += extension;
      i = j;
    } else if (conversion == '%' && j == i + 1) {
      out += '%';
      i = j;
    } else {
      out += '%';
    }
  }
  return out;
}

// A stored copy counts only as a regular file we may write, never a link
// that leads out of the folder. Root may write anything, so the mode's write
// bits decide too.
bool IsWritableFile(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0222) != 0 &&
         ::access(path.c_str(), W_OK) == 0;
}

// Something under the name that is no regular file (a link, a pipe).
bool IsOtherThanFile(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

// Removes the key only while it still names this record.
void RemoveOwnKey(CCache& cache, const std::string& key, const CPageDescr* record) {
  std::lock_guard guard(CCache::Lock());
  if (cache.Find(key) == record) cache.RemoveKey(key);
}

}  // namespace

// ---- CCache ----------------------------------------------------------------

void CCache::AssignFileName(const std::string& address, CPageDescr* record) {
  std::string extension = hv::cache::RequisiteExtension(address);
  if (extension.empty()) ExtensionOf(address, extension);
  if (!extension.empty() && m_strKnownExtensions.find(extension) == std::string::npos) extension.clear();
  if (extension.empty()) extension = ".html";

  const std::string pattern = hv::res::LoadString(hv::res::IDS_LOCAL_FILE_FORMAT);
  // An extension that occurs in the known list can still be long enough to
  // make no file name.
  if (!hv::cache::IsLocalName(FormatLocalName(pattern, 0xFFFFFFFFu, extension))) extension = ".html";
  std::lock_guard guard(Lock());
  record->m_strLocalFile.clear();
  // The counter can be behind names in use: a damaged index lost it, or was
  // set aside with the pages it named. Such a name would take another
  // record's key or a page's file, so it is passed over.
  constexpr int kMaxTries = 1 << 20;
  for (int tries = 0; tries < kMaxTries + KeyCount(); ++tries) {
    const std::string name = FormatLocalName(pattern, static_cast<std::uint32_t>(NextFileNumber()), extension);
    const CPageDescr* owner = Find(name);
    struct stat st {};
    if (owner == record || (!owner && ::lstat(PathOf(name).c_str(), &st) != 0)) {
      record->m_strLocalFile = name;
      AddKey(name, record);
      return;
    }
  }
}

void CCache::CheckPlaceholder() {
  const std::string name = hv::res::LoadString(hv::res::IDS_PLACEHOLDER);
  {
    std::lock_guard guard(Lock());
    if (!Find(name)) {
      auto record = std::make_unique<CPageDescr>(name);
      record->m_nState = CPageDescr::kStored;
      m_records.push_back(std::move(record));
      m_map.SetAt(name, m_records.back().get());
    }
  }
  const std::string path = PathOf(name);
  if (!hv::fs::IsRegularFile(path)) hv::res::WriteResourceFile(path, hv::res::IDR_PLACEHOLDER_GIF);
}

void CCache::CountCreatedFile(std::int64_t oldSize) {
  if (!m_pTotals) return;
  if (oldSize < 0)
    m_pTotals->AddFiles(1);
  else
    m_pTotals->AddBytes(-oldSize);
}

void CCache::CountRemovedFile(std::int64_t size) {
  if (!m_pTotals || size < 0) return;
  m_pTotals->AddBytes(-size);
  m_pTotals->AddFiles(-1);
}

// ---- CPageDescr ------------------------------------------------------------

bool CPageDescr::FileExists(const CCache& cache) const {
  return !m_strLocalFile.empty() && IsWritableFile(cache.PathOf(m_strLocalFile));
}

void CPageDescr::PrepareFile(CCache& cache, CPageDescr* referrer) {
  if (m_strAddress.empty()) return;
  if (!m_strLocalFile.empty() && FileExists(cache)) return;
  if (m_strLocalFile.empty()) cache.AssignFileName(m_strAddress, this);
  if (m_strLocalFile.empty()) return;  // no name left

  const std::string path = cache.PathOf(m_strLocalFile);
  // Opening through a link would write wherever it points.
  if (IsOtherThanFile(path)) ::unlink(path.c_str());
  const std::int64_t oldSize = hv::fs::RegularFileSize(path);
  // A read-only copy is replaced: writing into it would keep its mode, and
  // it would never count as stored.
  const bool removed = oldSize >= 0 && !IsWritableFile(path) && ::unlink(path.c_str()) == 0;
  CFile file;
  if (!file.Open(path, CFile::modeWrite | CFile::modeCreate)) {
    if (removed) cache.CountRemovedFile(oldSize);
    RemoveOwnKey(cache, m_strLocalFile, this);
    m_strLocalFile.clear();
    return;
  }
  file.Close();
  cache.CountCreatedFile(oldSize);
  m_bodyDigest.reset();
  m_nState = kStored;
  m_tStateChanged = Now();
  m_pStateChangedBy = referrer;
}

void CPageDescr::DropFile(CCache& cache, CPageDescr* referrer) {
  m_nState = kNotStored;
  m_bodyDigest.reset();
  if (m_strLocalFile.empty()) return;
  const std::string path = cache.PathOf(m_strLocalFile);
  if (const std::int64_t size = hv::fs::RegularFileSize(path); size >= 0) {
    if (CCacheTotals* totals = cache.Totals()) totals->MarkCacheChanged();
    // Counted only once it is gone, so the totals follow the disk.
    if (hv::fs::RemoveFile(path)) cache.CountRemovedFile(size);
  }
  m_tStateChanged = Now();
  m_pStateChangedBy = referrer;
}

void CPageDescr::ForgetFile(CCache& cache) {
  if (m_strLocalFile.empty()) return;
  DropFile(cache, nullptr);
  RemoveOwnKey(cache, m_strLocalFile, this);
  m_strLocalFile.clear();
}

bool CPageDescr::MarkInterrupted(CCache& cache, bool parserFinished) {
  if (!parserFinished) {
    DropFile(cache, nullptr);
    return true;
  }
  m_nState = kInterrupted;
  m_bodyDigest.reset();  // half a body
  if (m_strLocalFile.empty()) return true;
  const std::string text = hv::res::LoadString(kInterruptedText);
  const std::size_t size = text.size() + 1;  // with its zero byte
  const int fd = ::open(cache.PathOf(m_strLocalFile).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return true;  // no copy to finish
  std::size_t done = 0;
  int error = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, text.c_str() + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : ENOSPC;  // no progress without an error: the device is full
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (done > 0)
    if (CCacheTotals* totals = cache.Totals()) totals->AddBytes(static_cast<std::int64_t>(done));
  return error != ENOSPC;
}
