// An embedded object in a run: its body is the stored file, byte for byte;
// a stylesheet's is rewritten on its way (and its links become children).
#include <cerrno>
#include <mutex>

#include "engine/agent/embedded_anchor.h"
#include "engine/cache/cache.h"
#include "engine/cache/page_descr.h"
#include "engine/html/css_rewriter.h"
#include "engine/retrieval/retrieval_run.h"
#include "platform/files/temp_file.h"
#include "platform/framework/exceptions.h"

bool CEmbeddedAnchor::BeginBody() {
  CCache* cache = hv::run::Cache();
  m_nReceived = 0;
  m_bWriteFailed = m_bDiskFull = m_bKeepIfSame = false;
  m_pFile.reset();
  m_pStylesheet.reset();
  if (cache && hv::IsStylesheetType(m_pPage->m_strContentType)) {
    m_pStylesheet = std::make_unique<CCssRewriter>(*cache, m_pPage, this);
    if (!m_pStylesheet->OpenFiles()) {
      m_pStylesheet.reset();
      m_bWriteFailed = true;
      return false;
    }
    m_bFileWritten = 1;
    return true;
  }
  const std::string path = cache && !m_pPage->m_strLocalFile.empty() ? cache->PathOf(m_pPage->m_strLocalFile)
                                                                      : std::string();
  try {
    if (path.empty()) throw CFileException(path, ENOENT, "no local file name");
    m_pFile = hv::fs::CreateReplacement(path);
  } catch (const CFileException& e) {
    m_bWriteFailed = true;
    m_bDiskFull = e.m_lOsError == ENOSPC;
    if (m_bDiskFull) hv::run::Stop();
    return false;
  }
  m_bFileWritten = 1;
  return true;
}

int CEmbeddedAnchor::ReceiveBody(const char* data, int length) {
  if (m_pStylesheet) {
    m_pStylesheet->Parse(data, static_cast<std::size_t>(length));
    if (m_pStylesheet->DiskFull()) hv::run::Stop();
    return 0;
  }
  if (!m_pFile || m_bWriteFailed) return -1;
  try {
    m_pFile->Write(data, static_cast<std::size_t>(length));
    m_nReceived += length;
  } catch (const CFileException& e) {
    m_bWriteFailed = true;
    m_bDiskFull = e.m_lOsError == ENOSPC;
    if (m_bDiskFull) hv::run::Stop();
    // The load ends here, as a failure; the transfer is cancelled.
    OnLoaded(0);
    return cancel;
  }
  return 0;
}

void CEmbeddedAnchor::DiscardBody() {
  m_pFile.reset();
  m_pStylesheet.reset();
  m_bFileWritten = 0;
}

CHTTPAnchor::BodyEnd CEmbeddedAnchor::EndBody(bool transferCompleted) {
  BodyEnd end;
  end.diskFull = m_bDiskFull;
  end.writeFailed = m_bWriteFailed;
  m_bWriteFailed = m_bDiskFull = false;
  if (m_pStylesheet) return EndStylesheet(transferCompleted);
  if (!m_pFile) {
    end.copyComplete = !end.writeFailed;
    m_bFileWritten = 0;
    return end;
  }
  std::unique_ptr<hv::fs::CTemporaryFile> file = std::move(m_pFile);
  end.copyComplete = false;
  if (transferCompleted && !end.writeFailed && m_bKeepIfSame && file->SameAsReplaced()) {
    end.copyComplete = true;  // the stored file stays, bytes and time
  } else if (transferCompleted && !end.writeFailed) {
    try {
      file->Commit();
      CCache* cache = hv::run::Cache();
      cache->CountCreatedFile(file->ReplacedSize());
      if (CCacheTotals* totals = cache->Totals()) totals->AddBytes(m_nReceived);
      end.copyComplete = true;
    } catch (const CFileException& e) {
      end.diskFull = e.m_lOsError == ENOSPC;
      end.writeFailed = true;
    }
  }
  // An object cut short is no use: its file goes (partialCopy stays false).
  m_bFileWritten = 0;
  return end;
}

CHTTPAnchor::BodyEnd CEmbeddedAnchor::EndStylesheet(bool transferCompleted) {
  const std::unique_ptr<CCssRewriter> sheet = std::move(m_pStylesheet);
  m_bFileWritten = 0;
  BodyEnd end;
  // Part of a stylesheet is no use: its new copy goes unfinished.
  end.copyComplete = transferCompleted && sheet->Finish() == 1;
  end.diskFull = sheet->DiskFull();
  end.writeFailed = transferCompleted && !end.copyComplete && !end.diskFull;
  return end;
}

void CEmbeddedAnchor::KeepStoredCopyIfSame() {
  if (m_pStylesheet) m_pStylesheet->KeepFileIfSame();
  m_bKeepIfSame = m_pFile != nullptr;
}

void CEmbeddedAnchor::RebuildChildren() {
  if (m_pPage) m_pPage->RebuildLinks(*this);
}
