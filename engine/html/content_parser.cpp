#include "engine/html/content_parser.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <mutex>

#include "engine/cache/cache.h"
#include "engine/html/attribute_text.h"
#include "engine/html/requisite_tags.h"
#include "engine/html/srcset.h"
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
// Fed bytes still needed after a Parse call are kept in memory up to this.
constexpr std::size_t kKeptInMemory = 64u << 10;

const char* const kHref[] = {"HREF"};
const char* const kBackground[] = {"BACKGROUND"};
const char* const kSrc[] = {"SRC"};
const char* const kUrl[] = {"URL"};

// Only the tags whose links point at stored copies; the rest pass through.
const SGMLTagDef kTags[] = {
    {"A", kHref, 1, 5},      {"AREA", kHref, 1, 1},   hv::html::kAudioTag,  {"BODY", kBackground, 1, 5},
    hv::html::kEmbedTag,     {"FRAME", kSrc, 1, 1},   hv::html::kIframeTag, hv::html::kImgTag,
    {"INPUT", kSrc, 1, 1},   hv::html::kLinkTag,      {"META", kUrl, 1, 1}, hv::html::kObjectTag,
    hv::html::kScriptTag,    hv::html::kSourceTag,    hv::html::kTrackTag,  hv::html::kVideoTag,
};
const SGMLDtd kDtd = {kTags, static_cast<int>(std::size(kTags)), kSGMLEntities, 100};

// Per tag of the table: which attribute holds the link copies have always
// had, and its kind; -1 for the tags whose links are all requisites.
struct LinkSlot {
  int attribute;
  int linkType;
};
constexpr LinkSlot kNone = {-1, 0};
const LinkSlot kLinks[] = {
    {0, CPageChild::kPage},  {0, CPageChild::kPage},     kNone, {0, CPageChild::kEmbedded},
    kNone,                   {0, CPageChild::kFrame},    kNone, {hv::html::kImgSrc, CPageChild::kEmbedded},
    {0, CPageChild::kEmbedded}, kNone,                   {0, CPageChild::kEmbedded}, kNone,
    kNone,                   kNone,                      kNone, kNone,
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
  // Offsets into the scratch file count from the first byte fed.
  if (!m_pPage || Position() != 0) return false;
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
    m_nWritten += static_cast<std::int64_t>(m_strPending.size());
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
  const bool keeping = Writing();
  // While the call lasts its bytes are read from its buffer, not the disk.
  struct Fed {
    CContentParser& parser;
    ~Fed() { parser.m_pFed = nullptr; }
  } fed{*this};
  m_pFed = keeping ? data : nullptr;
  m_nFedStart = m_nStored;
  if (keeping) m_nStored += static_cast<std::int64_t>(length);
  CSGMLParser::Parse(data, length);
  if (keeping) KeepRest();
}

void CContentParser::KeepRest() {
  if (!Writing()) return;
  // Bytes before a start tag still being read can no longer change.
  const std::int64_t open = OpenTagStart();
  const std::int64_t needed = open > 0 ? std::min(open - 1, m_nStored) : m_nStored;
  if (m_nCopied < needed) CopyUpTo(needed);  // what fails here stays for the next step
  const std::int64_t from = std::max(m_nCopied, m_nFedStart);
  if (!Writing()) return;
  const char* rest = m_pFed + (from - m_nFedStart);
  const auto size = static_cast<std::size_t>(std::max<std::int64_t>(m_nStored - from, 0));
  if (!m_pTemporary) {
    // Kept in memory while it is little: then most pages need no scratch
    // file at all. Bytes passed on are let go; what is left runs up to the
    // start of this call, so the rest follows on.
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

bool CContentParser::ReadFed(std::int64_t from, std::int64_t to, std::string& out) {
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

bool CContentParser::ReadScratch(std::int64_t from, std::size_t size, std::string& out) {
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

bool CContentParser::CopyUpTo(std::int64_t offset) {
  const std::int64_t inBuffer = m_pFed ? m_nFedStart : m_nStored;
  bool done = true;
  while (done && m_nCopied < offset) {
    // Older bytes come back a chunk at a time, so a long stretch without
    // tags never sits in memory twice.
    const std::int64_t end = m_nCopied < inBuffer ? std::min({offset, inBuffer, m_nCopied + kChunk}) : offset;
    done = ReadFed(m_nCopied, end, m_strPending);
    if (!done) break;
    // Counted as it goes, so a later step never passes a stretch on twice.
    m_nCopied = end;
    if (m_strPending.size() >= kWriteBlock) done = FlushPage();
  }
  return done;
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
  if (done) done = CopyUpTo(tagOffset);
  if (done) m_nCopied = tagOffset + tagLength;
  return done;
}

void CContentParser::WriteRewrittenTag(int tagLength, const SGMLTagDef& tag, const CSGMLAttribute* attributes,
                                       std::vector<Rewrite>& rewrites) {
  if (rewrites.empty()) return;
  std::string& text = m_strTag;
  if (!PassOnUpTo(tagLength, &text)) return;
  std::sort(rewrites.begin(), rewrites.end(), [attributes](const Rewrite& a, const Rewrite& b) {
    return attributes[a.attribute].m_nStart < attributes[b.attribute].m_nStart;
  });
  // Offsets the tokenizer never gives (outside the tag, overlapping) keep
  // the tag as it was.
  std::size_t from = 0;
  for (const Rewrite& rewrite : rewrites) {
    const CSGMLAttribute& attribute = attributes[rewrite.attribute];
    const auto start = static_cast<std::size_t>(std::max(attribute.m_nStart, 0));
    const auto end = static_cast<std::size_t>(std::max(attribute.m_nEnd, 0)) + 1;
    if (start < from || start >= end || end > text.size()) {
      WritePage(text.data(), text.size());
      return;
    }
    from = end;
  }
  from = 0;
  for (const Rewrite& rewrite : rewrites) {
    const CSGMLAttribute& attribute = attributes[rewrite.attribute];
    const auto start = static_cast<std::size_t>(attribute.m_nStart);
    m_strPending.append(text, from, start - from);
    m_strPending += tag.attributes[rewrite.attribute];
    m_strPending += "=\"";
    hv::AppendQuotedValue(m_strPending, rewrite.value);
    m_strPending += '"';
    from = static_cast<std::size_t>(attribute.m_nEnd) + 1;
  }
  WritePage(text.data() + from, text.size() - from);
}

void CContentParser::OnStartTag(const SGMLTagDef* tag, int tagLength, int tagIndex, CSGMLAttribute* attributes) {
  if (tagIndex < 0 || tagIndex >= static_cast<int>(std::size(kLinks)) || m_bFailed || !m_pPage) return;
  m_rewrites.clear();
  // The value as the page has it, with no base: a stored copy holds
  // absolute addresses and local file names only.
  const auto replacement = [this](const std::string& value, int linkType) {
    return m_pPage->ReplacementFor(m_cache, value, linkType, {});
  };
  // The links copies have always had are written again even where they
  // stay the same.
  const LinkSlot& slot = kLinks[tagIndex];
  if (slot.attribute >= 0) {
    const CSGMLAttribute& attribute = attributes[slot.attribute];
    if (attribute.m_bPresent && !attribute.m_strValue.empty()) {
      std::string value = replacement(attribute.m_strValue, slot.linkType);
      if (!value.empty()) m_rewrites.push_back({slot.attribute, std::move(value)});
    }
  }
  // A requisite is written only where it changes, so a copy whose
  // requisites stay keeps their bytes.
  hv::html::RequisiteLink links[hv::html::kMaxRequisites];
  const int count = hv::html::RequisiteLinks(*tag, attributes, links);
  for (int i = 0; i < count; ++i) {
    const CSGMLAttribute& attribute = attributes[links[i].attribute];
    if (!attribute.m_bPresent || attribute.m_strValue.empty()) continue;
    const int linkType = links[i].linkType;
    std::string value =
        links[i].srcset
            ? hv::html::RewriteSrcset(attribute.m_strValue,
                                      [&](std::string_view url) { return replacement(std::string(url), linkType); })
            : replacement(attribute.m_strValue, linkType);
    if (!value.empty() && value != attribute.m_strValue) m_rewrites.push_back({links[i].attribute, std::move(value)});
  }
  WriteRewrittenTag(tagLength, *tag, attributes, m_rewrites);
}

bool CContentParser::CommitPageFile() {
  try {
    m_pPageFile->Commit();
    m_cache.CountCreatedFile(m_pPageFile->ReplacedSize());
    if (CCacheTotals* totals = m_cache.Totals()) totals->AddBytes(m_nWritten);
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
