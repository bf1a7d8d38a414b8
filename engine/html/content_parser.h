// Writes a page's stored copy while the page is tokenized: every byte fed is
// passed on to the page file, except that the link attributes of known tags
// are written pointing at the stored copies (or back at the web when a copy
// is gone). A tag still open when a buffer ends waits for the next one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/html/sgml_parser.h"

class CCache;
class CPageDescr;

namespace hv::fs {
class CTemporaryFile;
}

class CContentParser : public CSGMLParser {
 public:
  // Reads and writes no file until OpenFiles; a null page only reads.
  CContentParser(CCache& cache, CPageDescr* page);
  // A copy that Finish did not complete is thrown away; the page's file
  // stays as it was.
  ~CContentParser() override;

  // Before the first byte: makes the scratch file and the new copy of the
  // page, beside its file. False, after telling the user, when either cannot
  // be made; the parser then only reads.
  bool OpenFiles();
  // Tokenizes the bytes, then passes on or keeps them.
  void Parse(const char* data, std::size_t length) override;
  // Once after the last byte: writes the rest and puts the new copy in
  // place of the page's file, counting its bytes. 1 when the page file was
  // written completely, 0 when nothing was written or a write failed (the
  // page's file is then left as it was).
  virtual int Finish();

  // Bytes fed so far.
  std::int64_t Received() const { return Position(); }
  // A write failed because the disk is full: retrieval must stop.
  bool DiskFull() const { return m_bDiskFull; }
  // 1 while the files are not open: nothing is written or rewritten.
  int Failed() const { return m_bFailed; }

 protected:
  CContentParser(CCache& cache, CPageDescr* page, const SGMLDtd* dtd);

  void OnStartTag(const SGMLTagDef* tag, int tagLength, int tagIndex, CSGMLAttribute* attributes) override;

  // Copies the page from where the last step stopped up to the tag that
  // ends at the current byte and moves past the tag without copying it;
  // its bytes go to tagText when asked for. False (the tag then stays in
  // the text still to be copied) when a seek, read or write failed.
  bool PassOnUpTo(int tagLength, std::string* tagText);
  // What the copy says for a link to address, already resolved by
  // ResolveLink (so never resolved twice), with the fragment it had.
  std::string ReplacementForAddress(const std::string& address, const std::string& fragment, int linkType);
  // One attribute of a start tag and its new value.
  struct Rewrite {
    int attribute;
    std::string value;
  };
  // Writes the tag ending at the current byte with the attributes' values
  // replaced, each written as the table spells its name and the value
  // double-quoted; the rest of the tag keeps its bytes. Nothing to replace
  // leaves the tag to be copied on with the page.
  void WriteRewrittenTag(int tagLength, const SGMLTagDef& tag, const CSGMLAttribute* attributes,
                         std::vector<Rewrite>& rewrites);

  CCache& m_cache;
  CPageDescr* m_pPage;
  int m_bFailed = 1;
  std::vector<Rewrite> m_rewrites;  // of the start tag being handled

 private:
  bool Writing() const;
  // After a Parse call: passes on what no later tag can change and keeps
  // the rest (the start of a tag still being read).
  void KeepRest();
  // Appends the fed bytes [from, to) to out: those of the Parse call under
  // way from its buffer, older ones from where they are kept.
  bool ReadFed(std::int64_t from, std::int64_t to, std::string& out);
  bool ReadScratch(std::int64_t from, std::size_t size, std::string& out);
  // Passes on the fed bytes from where the last step stopped up to offset.
  bool CopyUpTo(std::int64_t offset);
  // Queues bytes for the page file; written in large blocks.
  bool WritePage(const char* data, std::size_t size);
  // Writes the queued bytes; a failure stops all further writing.
  bool FlushPage();
  void NoteWriteError(int error);
  // Renames the new copy over the page's file and counts it; false when
  // that fails.
  bool CommitPageFile();

  // Fed bytes from earlier calls that a later step still needs: in memory
  // from m_nKeptFrom on, or, once too many, in a scratch file at their own
  // offsets.
  std::string m_strKept;
  std::int64_t m_nKeptFrom = 0;
  std::unique_ptr<hv::fs::CTemporaryFile> m_pTemporary;
  std::unique_ptr<hv::fs::CTemporaryFile> m_pPageFile;  // the new copy, until it replaces the page's file
  std::string m_strPending;    // for the page file, not yet written
  std::string m_strTag;        // the tag being rewritten
  std::int64_t m_nCopied = 0;  // fed bytes before this offset are passed on or skipped
  // Bytes fed while the files were fine; those not passed on are in the
  // buffer of the Parse call under way or kept from earlier calls.
  std::int64_t m_nStored = 0;
  std::int64_t m_nScratchAt = 0;  // where the scratch file is positioned
  std::int64_t m_nWritten = 0;    // bytes in the page file
  // The buffer of the Parse call under way and the offset of its first byte.
  const char* m_pFed = nullptr;
  std::int64_t m_nFedStart = 0;
  bool m_bDiskFull = false;
  bool m_bWriteFailed = false;
  bool m_bFinished = false;
};
