#include "engine/html/copy_writer.h"

#include <algorithm>
#include <cerrno>
#include <mutex>

#include "engine/cache/cache.h"
#include "harvion/exports.h"
#include "harvion/saf_client.h"
#include "platform/files/file.h"
#include "platform/files/file_system.h"
#include "platform/files/temp_file.h"
#include "platform/framework/exceptions.h"
#include "resources/resources.h"

namespace {

// The scratch file is read back in chunks of this size at most, and the
// page file written in blocks of about the other.
constexpr std::int64_t kChunk = 4096;
constexpr std::size_t kWriteBlock = 64u << 10;
// Fed bytes still needed after a feed are kept in memory up to this.
constexpr std::size_t kKeptInMemory = 64u << 10;

HWND MainWindow() { return CSafClient::GetSafClient()->GetMainWnd(); }

}  // namespace

CCopyWriter::CCopyWriter(CCache& cache, CPageDescr* page) : m_cache(cache), m_pPage(page) {}

CCopyWriter::~CCopyWriter() = default;

bool CCopyWriter::Open() {
  if (m_bOpen) return true;
  if (!m_pPage || m_nStored != 0 || m_bFinished) return false;
  // Most pages never need the scratch file, so it is made when one does;
  // where it could not be made, the page is not stored at all.
  if (!hv::fs::TemporaryFolderWritable()) {
    DisplayError(hv::res::IDS_NO_TEMPORARY_FILE, MainWindow());
    return false;
  }
  std::string localFile;
  {
    std::lock_guard guard(CCache::Lock());
    localFile = m_pPage->m_strLocalFile;
  }
  // A new file rather than the old one emptied: truncating in place waits
  // on some disks, and a failure would leave half a page under its name.
  try {
    if (localFile.empty()) throw CFileException(localFile, ENOENT, "no local file name");
    m_pPageFile = hv::fs::CreateReplacement(m_cache.PathOf(localFile));
  } catch (const CFileException&) {
    DisplayError(hv::res::IDS_NO_CACHE_FILE, MainWindow());
    return false;
  }
  m_strPending.reserve(kWriteBlock / 2);  // most pages in one piece, without growing it step by step
  m_bOpen = true;
  return true;
}

bool CCopyWriter::Writing() const { return m_bOpen && !m_bWriteFailed && !m_bFinished && m_pPageFile; }

void CCopyWriter::NoteWriteError(int error) {
  m_bWriteFailed = true;
  m_strPending.clear();
  if (error == ENOSPC) m_bDiskFull = true;
}

bool CCopyWriter::FlushPage() {
  if (m_strPending.empty()) return true;
  try {
    m_pPageFile->Write(m_strPending.data(), m_strPending.size());
    m_nWritten += static_cast<std::int64_t>(m_strPending.size());
    m_cFlushed = m_strPending.back();
    m_strPending.clear();
    return true;
  } catch (const CFileException& e) {
    // Part of it may be on the disk: any later write would go to the wrong place.
    NoteWriteError(e.m_lOsError);
    return false;
  }
}

void CCopyWriter::Write(const char* data, std::size_t size) {
  if (!m_pPageFile || m_bWriteFailed) return;
  m_strPending.append(data, size);
  if (m_strPending.size() >= kWriteBlock) FlushPage();
}

void CCopyWriter::BeginFeed(const char* data, std::size_t length) {
  const bool keeping = Writing();
  m_pFed = keeping ? data : nullptr;
  m_nFedStart = m_nStored;
  if (keeping) m_nStored += static_cast<std::int64_t>(length);
}

void CCopyWriter::EndFeed(std::int64_t keepFrom) {
  if (m_pFed) KeepRest(keepFrom);
  m_pFed = nullptr;
}

void CCopyWriter::KeepRest(std::int64_t keepFrom) {
  if (!Writing()) return;
  // Bytes before what may still be replaced can no longer change.
  const std::int64_t needed = std::min(keepFrom, m_nStored);
  if (m_nCopied < needed) CopyUpTo(needed);  // what fails here stays for the next step
  const std::int64_t from = std::max(m_nCopied, m_nFedStart);
  if (!Writing()) return;
  const char* rest = m_pFed + (from - m_nFedStart);
  const auto size = static_cast<std::size_t>(std::max<std::int64_t>(m_nStored - from, 0));
  if (!m_pTemporary) {
    // Kept in memory while it is little: then most pages need no scratch
    // file at all. Bytes passed on are let go; what is left runs up to the
    // start of this feed, so the rest follows on.
    const std::int64_t keptEnd = m_nKeptFrom + static_cast<std::int64_t>(m_strKept.size());
    if (m_nCopied >= keptEnd) {
      m_strKept.clear();
      m_nKeptFrom = m_nCopied;
    } else if (m_nCopied > m_nKeptFrom) {
      m_strKept.erase(0, static_cast<std::size_t>(m_nCopied - m_nKeptFrom));
      m_nKeptFrom = m_nCopied;
    }
    if (m_strKept.size() + size <= kKeptInMemory) {
      m_strKept.append(rest, size);
      return;
    }
  }
  try {
    if (!m_pTemporary) {
      try {
        m_pTemporary = hv::fs::CreateTemporaryFile("HVT");
      } catch (const CFileException&) {
        DisplayError(hv::res::IDS_NO_TEMPORARY_FILE, MainWindow());
        throw;
      }
      m_pTemporary->Seek(static_cast<std::uint64_t>(m_nKeptFrom));
      m_pTemporary->Write(m_strKept.data(), m_strKept.size());
      m_nScratchAt = m_nKeptFrom + static_cast<std::int64_t>(m_strKept.size());
      m_strKept = std::string();
    }
    if (m_nScratchAt != from) {
      m_nScratchAt = -1;  // unknown until the seek is done
      m_pTemporary->Seek(static_cast<std::uint64_t>(from));
    }
    m_pTemporary->Write(rest, size);
    m_nScratchAt = m_nStored;
  } catch (const CFileException& e) {
    NoteWriteError(e.m_lOsError);
  }
}

bool CCopyWriter::ReadFed(std::int64_t from, std::int64_t to, std::string& out) {
  if (from < 0 || from > to || to > m_nStored) return false;
  const std::int64_t inBuffer = m_pFed ? m_nFedStart : m_nStored;
  if (from < inBuffer) {
    const std::int64_t end = std::min(to, inBuffer);
    const auto size = static_cast<std::size_t>(end - from);
    if (!m_pTemporary) {
      if (from < m_nKeptFrom || end > m_nKeptFrom + static_cast<std::int64_t>(m_strKept.size())) return false;
      out.append(m_strKept, static_cast<std::size_t>(from - m_nKeptFrom), size);
    } else if (!ReadScratch(from, size, out)) {
      return false;
    }
    from = end;
  }
  if (from < to) out.append(m_pFed + (from - m_nFedStart), static_cast<std::size_t>(to - from));
  return true;
}

bool CCopyWriter::ReadScratch(std::int64_t from, std::size_t size, std::string& out) {
  const std::size_t had = out.size();
  try {
    if (m_nScratchAt != from) {
      m_nScratchAt = -1;  // unknown until the seek is done
      m_pTemporary->Seek(static_cast<std::uint64_t>(from));
    }
    out.resize(had + size);
    const std::size_t got = m_pTemporary->Read(out.data() + had, size);
    m_nScratchAt = from + static_cast<std::int64_t>(got);
    if (got == size) return true;
  } catch (const CFileException&) {
  }
  out.resize(had);
  return false;
}

bool CCopyWriter::CopyUpTo(std::int64_t offset) {
  const std::int64_t inBuffer = m_pFed ? m_nFedStart : m_nStored;
  bool done = true;
  while (done && m_nCopied < offset) {
    // Older bytes come back a chunk at a time, so a long stretch without
    // replacements never sits in memory twice.
    const std::int64_t end = m_nCopied < inBuffer ? std::min({offset, inBuffer, m_nCopied + kChunk}) : offset;
    done = ReadFed(m_nCopied, end, m_strPending);
    if (!done) break;
    // Counted as it goes, so a later step never passes a stretch on twice.
    m_nCopied = end;
    if (m_strPending.size() >= kWriteBlock) done = FlushPage();
  }
  return done;
}

bool CCopyWriter::Skip(std::int64_t from, std::int64_t to, std::string* text) {
  if (!Writing() || from > to) return false;
  if (from < m_nCopied || to > m_nStored) return false;
  bool done = true;
  if (text) {
    text->clear();
    done = ReadFed(from, to, *text);
  }
  if (done) done = CopyUpTo(from);
  if (done) m_nCopied = to;
  return done;
}

bool CCopyWriter::CommitPageFile() {
  try {
    m_pPageFile->Commit();
    m_cache.CountCreatedFile(m_pPageFile->ReplacedSize());
    if (CCacheTotals* totals = m_cache.Totals()) totals->AddBytes(m_nWritten);
    return true;
  } catch (const CFileException&) {
    return false;
  }
}

bool CCopyWriter::Finish() {
  if (m_bFinished) return false;
  const bool complete = Writing() && Skip(m_nStored, m_nStored, nullptr) && FlushPage();
  m_bFinished = true;
  if (!m_bOpen) return false;
  const bool unchanged = complete && !m_bWriteFailed && m_bKeepIfSame && m_pPageFile->SameAsReplaced();
  const bool committed = complete && !m_bWriteFailed && (unchanged || CommitPageFile());
  m_pPageFile.reset();
  m_pTemporary.reset();
  return committed;
}
