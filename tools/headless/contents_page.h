// The agent's contents as a page any browser shows from the disk: the tree
// of folders, locations, search folders and the pages found under each,
// with each page's mark, date and a link to its stored copy (or to its
// address when nothing is stored). Written as the front end walks its tree,
// one item at a time, so a large agent is never held as text; the file
// replaces the old one only when it is whole.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "change_report.h"
#include "harvion/cache_view.h"

namespace harvion {

// "contents.html", in the agent folder beside the stored copies.
extern const char* const kContentsPageName;

enum class ContentsKind { agent, folder, searchFolder, location, page };

struct ContentsItem {
  ContentsKind kind = ContentsKind::page;
  std::string name;     // as the agent file holds it: bytes, maybe Latin-1
  std::string address;  // a location's or a page's
};

// What the page shows of the index, by address: the records without links.
class ContentsIndex {
 public:
  // Of the agent open in the engine.
  static ContentsIndex OfOpenAgent();
  static ContentsIndex Of(const std::vector<HvCacheRecord>& records);
  const HvCacheRecord* Find(const std::string& address) const;

 private:
  void Add(const HvCacheRecord& record);
  std::unordered_map<std::string, HvCacheRecord> m_records;
};

class ContentsPage {
 public:
  // folder: the agent folder. lastRun: what the run just ended changed, for
  // its marks; null when the page is written without a run.
  ContentsPage(std::string folder, ContentsIndex index, const ChangeReport* lastRun);
  ~ContentsPage();
  ContentsPage(const ContentsPage&) = delete;
  ContentsPage& operator=(const ContentsPage&) = delete;

  // Starts the file; false when it cannot be made (Error says why).
  bool Begin(std::string_view agentName);
  // An item, whose children follow until the matching Leave.
  void Enter(const ContentsItem& item);
  void Leave();
  // Puts the page in place; false (and the old page kept) on any failure.
  bool Finish();

  std::string Path() const { return m_folder + "/" + kContentsPageName; }
  const std::string& Error() const { return m_error; }

 private:
  struct Level {
    bool listOpen = false;  // its children's list has begun
    bool closed = false;    // its entry was closed for children written beside it
  };
  struct Mark {
    const char* label;
    std::string reason;
  };

  void Write(std::string_view text);
  void WriteItem(const ContentsItem& item);
  void WritePage(const ContentsItem& item, bool location);
  // The link to a stored copy ("./3S00001a.html"); empty when there is no
  // file to open.
  std::string CopyLink(const HvCacheRecord& record) const;
  void AddMarks(const std::vector<ChangedPage>& pages, const char* label, bool withReason);

  std::string m_folder;
  ContentsIndex m_index;
  const ChangeReport* m_lastRun;
  std::unordered_map<std::string, Mark> m_marks;
  std::FILE* m_file = nullptr;
  std::unique_ptr<char[]> m_buffer;  // the file's, while it is open
  std::string m_partPath;
  std::vector<Level> m_levels;
  bool m_failed = false;
  std::string m_error;
};

// Text from a page or an agent file for HTML: UTF-8 (else read as Latin-1),
// control characters made visible, cut to at most limit bytes with an
// ellipsis, and escaped for text and attribute values.
std::string HtmlText(std::string_view text, std::size_t limit);
// A web address as an href: only http and https, bytes a browser could
// misread percent-encoded, escaped; empty when it is no link to give.
std::string WebHref(std::string_view address);

}  // namespace harvion
