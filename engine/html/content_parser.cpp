#include "engine/html/content_parser.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <mutex>

#include "engine/cache/cache.h"
#include "engine/html/attribute_text.h"
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

const char* const kHref[] = {"HREF"};
const char* const kBackground[] = {"BACKGROUND"};
const char* const kSrc[] = {"SRC"};
const char* const kImg[] = {"ISMAP", "SRC"};
const char* const kUrl[] = {"URL"};

// Only the tags whose links point at stored copies; the rest pass through.
const SGMLTagDef kTags[] = {
    {"A", kHref, 1, 5},   {"AREA", kHref, 1, 1}, {"BODY", kBackground, 1, 5}, {"FRAME", kSrc, 1, 1},
    {"IMG", kImg, 2, 1},  {"INPUT", kSrc, 1, 1}, {"META", kUrl, 1, 1},
};
const SGMLDtd kDtd = {kTags, static_cast<int>(std::size(kTags)), kSGMLEntities, 100};

// Per tag of the table: which attribute holds the link, and its kind.
struct LinkSlot {
  int attribute;
  int linkType;
};
const LinkSlot kLinks[] = {
    {0, CPageChild::kPage},     {0, CPageChild::kPage},     {0, CPageChild::kEmbedded}, {0, CPageChild::kFrame},
    {1, CPageChild::kEmbedded}, {0, CPageChild::kEmbedded}, {0, CPageChild::kEmbedded},
};
static_assert(std::size(kLinks) == std::size(kTags));

HWND MainWindow() { return CSafClient::GetSafClient()->GetMainWnd(); }

}  // namespace

CContentParser::CContentParser(CCache& cache, CPageDescr* page) : CContentParser(cache, page, &kDtd) {}

CContentParser::CContentParser(CCache& cache, CPageDescr* page, const SGMLDtd* dtd)
    : CSGMLParser(dtd), m_cache(cache), m_pPage(page) {}

CContentParser::~CContentParser() = default;

bool CContentParser::OpenFiles() {
  if (!m_bFailed) return true;
  // Offsets into the scratch copy count from the first byte fed.
  if (!m_pPage || Position() != 0) return false;
  try {
    m_pTemporary = hv::fs::CreateTemporaryFile("HVT");
  } catch (const CFileException&) {
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
    m_pTemporary.reset();
    DisplayError(hv::res::IDS_NO_CACHE_FILE, MainWindow());
    return false;
  }
  m_bFailed = 0;
  return true;
}

bool CContentParser::Writing() const { return !m_bFailed && !m_bWriteFailed && !m_bFinished && m_pPageFile; }

void CContentParser::NoteWriteError(int error) {
  m_bWriteFailed = true;
  m_strPending.clear();
  if (error == ENOSPC) m_bDiskFull = true;
}

bool CContentParser::FlushPage() {
  if (m_strPending.empty()) return true;
  try {
    m_pPageFile->Write(m_strPending.data(), m_strPending.size());
    m_strPending.clear();
    return true;
  } catch (const CFileException& e) {
    // Part of it may be on the disk: any later write would go to the wrong place.
    NoteWriteError(e.m_lOsError);
    return false;
  }
}

bool CContentParser::WritePage(const char* data, std::size_t size) {
  if (!m_pPageFile || m_bWriteFailed) return false;
  m_strPending.append(data, size);
  return m_strPending.size() < kWriteBlock || FlushPage();
}

void CContentParser::Parse(const char* data, std::size_t length) {
  const std::int64_t start = m_nStored;
  bool kept = false;
  if (m_pTemporary && !m_bWriteFailed && !m_bFinished && length > 0) {
    try {
      m_pTemporary->Write(data, length);
      m_nStored += static_cast<std::int64_t>(length);
      m_nScratchAt = m_nStored;
      kept = true;
    } catch (const CFileException& e) {
      NoteWriteError(e.m_lOsError);
    }
  }
  // While the call lasts its bytes are read from its buffer, not the disk.
  struct Fed {
    CContentParser& parser;
    ~Fed() { parser.m_pFed = nullptr; }
  } fed{*this};
  m_pFed = kept ? data : nullptr;
  m_nFedStart = start;
  CSGMLParser::Parse(data, length);
}

bool CContentParser::ReadFed(std::int64_t from, std::int64_t to, std::string& out) {
  if (from < 0 || from > to || to > m_nStored) return false;
  const std::int64_t inMemory = m_pFed ? m_nFedStart : m_nStored;
  if (from < inMemory) {
    const std::int64_t end = std::min(to, inMemory);
    const std::size_t had = out.size();
    const auto size = static_cast<std::size_t>(end - from);
    try {
      if (m_nScratchAt != from) {
        m_nScratchAt = -1;  // unknown until the seek is done
        m_pTemporary->Seek(static_cast<std::uint64_t>(from));
      }
      out.resize(had + size);
      const std::size_t got = m_pTemporary->Read(out.data() + had, size);
      m_nScratchAt = from + static_cast<std::int64_t>(got);
      if (got != size) {
        out.resize(had);
        return false;
      }
    } catch (const CFileException&) {
      out.resize(had);
      return false;
    }
    from = end;
  }
  if (from < to) out.append(m_pFed + (from - m_nFedStart), static_cast<std::size_t>(to - from));
  return true;
}

bool CContentParser::PassOnUpTo(int tagLength, std::string* tagText) {
  if (!Writing() || tagLength < 0) return false;
  const std::int64_t tagOffset = Position() - tagLength;
  if (tagOffset < m_nCopied || Position() > m_nStored) return false;
  bool done = true;
  if (tagText) {
    tagText->clear();
    done = ReadFed(tagOffset, Position(), *tagText);
  }
  const std::int64_t inMemory = m_pFed ? m_nFedStart : m_nStored;
  while (done && m_nCopied < tagOffset) {
    // Older bytes come back from the disk a chunk at a time, so a long
    // stretch without tags never sits in memory whole.
    const std::int64_t end = m_nCopied < inMemory ? std::min({tagOffset, inMemory, m_nCopied + kChunk}) : tagOffset;
    done = ReadFed(m_nCopied, end, m_strPending);
    if (!done) break;
    // Counted as it goes, so a later step never passes a stretch on twice.
    m_nCopied = end;
    if (m_strPending.size() >= kWriteBlock) done = FlushPage();
  }
  if (done) m_nCopied = tagOffset + tagLength;
  if (m_nScratchAt != m_nStored) {
    try {
      m_pTemporary->Seek(static_cast<std::uint64_t>(m_nStored));
      m_nScratchAt = m_nStored;
    } catch (const CFileException& e) {
      NoteWriteError(e.m_lOsError);  // the next bytes would land amid the copy
      return false;
    }
  }
  return done;
}

void CContentParser::WriteRewrittenTag(int tagLength, const char* attributeName, const CSGMLAttribute& attribute,
                                       const std::string& value) {
  std::string tag;
  if (!PassOnUpTo(tagLength, &tag)) return;
  const auto start = static_cast<std::size_t>(std::max(attribute.m_nStart, 0));
  const auto end = static_cast<std::size_t>(std::max(attribute.m_nEnd, 0)) + 1;
  std::string out;
  if (start < end && end <= tag.size()) {
    out.reserve(tag.size() + value.size() + 16);
    out.append(tag, 0, start);
    out += attributeName;
    out += "=\"";
    out += hv::AttributeText(value);
    out += '"';
    out.append(tag, end, std::string::npos);
  } else {
    out = std::move(tag);  // offsets the tokenizer never gives; keep the tag as it was
  }
  WritePage(out.data(), out.size());
}

void CContentParser::OnStartTag(const SGMLTagDef* tag, int tagLength, int tagIndex, CSGMLAttribute* attributes) {
  if (tagIndex < 0 || tagIndex >= static_cast<int>(std::size(kLinks)) || m_bFailed || !m_pPage) return;
  const LinkSlot& slot = kLinks[tagIndex];
  const CSGMLAttribute& attribute = attributes[slot.attribute];
  if (!attribute.m_bPresent || attribute.m_strValue.empty()) return;
  // The value as the page has it, with no base: a stored copy holds
  // absolute addresses and local file names only.
  const std::string replacement = m_pPage->ReplacementFor(m_cache, attribute.m_strValue, slot.linkType, {});
  if (!replacement.empty()) WriteRewrittenTag(tagLength, tag->attributes[slot.attribute], attribute, replacement);
}

bool CContentParser::CommitPageFile() {
  try {
    const std::int64_t size = static_cast<std::int64_t>(m_pPageFile->GetLength());
    const std::int64_t oldSize = hv::fs::RegularFileSize(m_pPageFile->Replacing());
    m_pPageFile->Commit();
    m_cache.CountCreatedFile(oldSize);
    if (CCacheTotals* totals = m_cache.Totals()) totals->AddBytes(size);
    return true;
  } catch (const CFileException&) {
    return false;
  }
}

int CContentParser::Finish() {
  if (m_bFinished) return 0;
  const bool complete = Writing() && PassOnUpTo(0, nullptr) && FlushPage();
  m_bFinished = true;
  if (m_bFailed || !m_pPage) return 0;
  const bool committed = complete && !m_bWriteFailed && CommitPageFile();
  m_pPageFile.reset();
  m_pTemporary.reset();
  return committed ? 1 : 0;
}
