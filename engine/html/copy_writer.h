// Writes the stored copy of a page or stylesheet while it streams past: the
// bytes fed are passed on to a new copy beside the record's file, except the
// ranges the reader replaces. Bytes a later replacement may still cover are
// kept (in memory while few, else in a scratch file); all else moves on in
// large blocks. Finish renames the copy over the record's file and counts
// it; a copy not finished is thrown away.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>

class CCache;
class CPageDescr;

namespace hv::fs {
class CTemporaryFile;
}

class CCopyWriter {
 public:
  // Nothing open when nothing may still be replaced.
  static constexpr std::int64_t kNothingOpen = std::numeric_limits<std::int64_t>::max();

  CCopyWriter(CCache& cache, CPageDescr* page);
  ~CCopyWriter();
  CCopyWriter(const CCopyWriter&) = delete;
  CCopyWriter& operator=(const CCopyWriter&) = delete;

  // Before the first byte: makes the new copy of the page, beside its file.
  // False, after telling the user, when it (or the scratch file it may
  // need) cannot be made; nothing is written then.
  bool Open();
  bool IsOpen() const { return m_bOpen; }
  // Whether bytes still go to the copy.
  bool Writing() const;

  // Around the reading of one buffer: its bytes follow those fed before.
  // While it lasts its bytes are read from the buffer, not the disk.
  void BeginFeed(const char* data, std::size_t length);
  // After it: bytes before keepFrom (an offset among those fed) can no
  // longer be replaced; they are passed on, and the rest kept.
  void EndFeed(std::int64_t keepFrom);
  // Forgets the buffer (also when the reading ends in an exception).
  void Unfeed() { m_pFed = nullptr; }

  // Passes on the fed bytes up to from and moves past [from, to) without
  // copying them; their bytes go to text when asked for. False (the range
  // then stays in what is still to be copied) when a seek, read or write
  // failed or the range was passed on already.
  bool Skip(std::int64_t from, std::int64_t to, std::string* text);
  // Queues bytes for the copy (after a Skip, the range's replacement).
  void Write(const char* data, std::size_t size);
  // The last byte the copy has so far ('\0' before the first).
  char LastByte() const { return m_strPending.empty() ? m_cFlushed : m_strPending.back(); }
  void Write(const std::string& text) { Write(text.data(), text.size()); }

  // Once after the last byte: writes the rest and puts the new copy in
  // place of the page's file, counting its bytes. True when the copy was
  // written completely; false when nothing was open or a write failed (the
  // page's file is then left as it was).
  bool Finish();

  // A write failed because the disk is full: retrieval must stop.
  bool DiskFull() const { return m_bDiskFull; }
  // Finish leaves the page's file as it is (bytes and time) when the new
  // copy comes out byte for byte the same, and counts that as written.
  void KeepFileIfSame() { m_bKeepIfSame = true; }

 private:
  void KeepRest(std::int64_t keepFrom);
  // Appends the fed bytes [from, to) to out: those of the feed under way
  // from its buffer, older ones from where they are kept.
  bool ReadFed(std::int64_t from, std::int64_t to, std::string& out);
  bool ReadScratch(std::int64_t from, std::size_t size, std::string& out);
  // Passes on the fed bytes from where the last step stopped up to offset.
  bool CopyUpTo(std::int64_t offset);
  // Writes the queued bytes; a failure stops all further writing.
  bool FlushPage();
  void NoteWriteError(int error);
  // Renames the new copy over the page's file and counts it; false when
  // that fails.
  bool CommitPageFile();

  CCache& m_cache;
  CPageDescr* m_pPage;
  bool m_bOpen = false;
  // Fed bytes from earlier calls that a later step still needs: in memory
  // from m_nKeptFrom on, or, once too many, in a scratch file at their own
  // offsets.
  std::string m_strKept;
  std::int64_t m_nKeptFrom = 0;
  std::unique_ptr<hv::fs::CTemporaryFile> m_pTemporary;
  std::unique_ptr<hv::fs::CTemporaryFile> m_pPageFile;  // the new copy, until it replaces the page's file
  std::string m_strPending;    // for the page file, not yet written
  char m_cFlushed = '\0';      // the last byte written before it
  std::int64_t m_nCopied = 0;  // fed bytes before this offset are passed on or skipped
  // Bytes fed while the files were fine; those not passed on are in the
  // buffer of the feed under way or kept from earlier ones.
  std::int64_t m_nStored = 0;
  std::int64_t m_nScratchAt = 0;  // where the scratch file is positioned
  std::int64_t m_nWritten = 0;    // bytes in the page file
  // The buffer of the feed under way and the offset of its first byte.
  const char* m_pFed = nullptr;
  std::int64_t m_nFedStart = 0;
  bool m_bDiskFull = false;
  bool m_bWriteFailed = false;
  bool m_bFinished = false;
  bool m_bKeepIfSame = false;
};
