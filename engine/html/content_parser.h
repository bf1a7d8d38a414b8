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

#include "engine/html/copy_writer.h"
#include "engine/html/css_scanner.h"
#include "engine/html/sgml_parser.h"

class CCache;
class CPageDescr;

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
  bool DiskFull() const { return m_writer.DiskFull(); }
  // 1 while the files are not open: nothing is written or rewritten.
  int Failed() const { return m_bFailed; }
  // See CCopyWriter::KeepFileIfSame.
  void KeepFileIfSame() { m_writer.KeepFileIfSame(); }

 protected:
  CContentParser(CCache& cache, CPageDescr* page, const SGMLDtd* dtd);

  void OnStartTag(const SGMLTagDef* tag, int tagLength, int tagIndex, CSGMLAttribute* attributes) override;
  void OnEndTag(const SGMLTagDef* tag, int tagIndex) override;

  // A STYLE start tag ends at the current byte: its CSS follows.
  void BeginStyle();
  // Its end tag ends at the current byte: the CSS up to it is read.
  void EndStyle();
  // What the copy says instead of a reference in the CSS of the page: the
  // text replacing its bytes, empty to keep them. A stored copy holds
  // absolute addresses and local names only; the map parser resolves and
  // hands over links.
  // quote: that of the string written.
  virtual std::string CssReplacementFor(const CCssScanner::Reference& reference, char quote);
  // Queues the tag's style attribute, its references replaced, when one changes.
  void AddStyleRewrite(const SGMLTagDef& tag, int tagIndex, const CSGMLAttribute* attributes);

  // Copies the page from where the last step stopped up to the tag that
  // ends at the current byte and moves past the tag without copying it;
  // its bytes go to tagText when asked for. False (the tag then stays in
  // the text still to be copied) when a seek, read or write failed.
  bool PassOnUpTo(int tagLength, std::string* tagText);
  // What the copy says for a link to address, already resolved by
  // ResolveLink (so never resolved twice), with the fragment it had, and
  // its record when known.
  std::string ReplacementForAddress(const std::string& address, const std::string& fragment, int linkType,
                                    const CPageDescr* target = nullptr);
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
  // The style attribute's slot by tag index (attributes are at most 20).
  static constexpr signed char kStyleSlotUnknown = -2;
  std::vector<signed char> m_styleSlots;
  CCopyWriter m_writer;

 private:
  class StyleScanner;

  // Reads the STYLE element's CSS up to offset: the bytes held back from
  // earlier buffers, then those of the buffer under way.
  void FeedStyle(std::int64_t offset);
  // After a buffer: its CSS is read, except what may still be the start of
  // the element's end tag, which is held back.
  void FeedStyleAfterBuffer();
  // The CSS ends: what was held back is read, and the references it closes
  // are replaced.
  void FinishStyle();
  void ReplaceCss(const CCssScanner::Reference& reference, std::int64_t origin);

  // Sends what m_strPending holds on to the copy, followed by the bytes.
  bool WritePage(const char* data, std::size_t size);

  std::string m_strTag;      // the tag being rewritten
  std::string m_strPending;  // the rewritten tag, put together
  std::unique_ptr<StyleScanner> m_pStyle;  // the CSS of the STYLE element being read
  std::string m_strStyleHeld;  // its bytes that may be the start of its end tag
  // The buffer of the Parse call under way and the offset of its first byte.
  const char* m_pData = nullptr;
  std::size_t m_nDataLength = 0;
  std::int64_t m_nDataStart = 0;
};
