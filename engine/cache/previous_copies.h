// The copy a page had before a run replaced it with a modified one, kept so
// that what changed can be shown. The copies live in a subfolder of the
// agent folder under their pages' local names: a folder, so garbage
// collection, local-name allocation and the page store, which look at the
// agent folder's own files only, never take one for a page. A second name
// for the old file (a hard link) keeps it: no byte is copied where the file
// system links.
//
// A run that completes removes the previous copies of the runs before it; a
// run that ends early or fails keeps them beside the ones it made. Names are
// only ever those the page store makes, and everything in the subfolder is
// reached relative to it without following links.
#pragma once

#include <mutex>
#include <string>
#include <unordered_set>

namespace hv::cache {

class CPreviousCopies {
 public:
  // The subfolder's name in the agent folder.
  static const std::string& FolderName();

  // A run begins: none of its copies made yet.
  void BeginRun();
  // Before a stored file is replaced by a modified copy: a second name for
  // it in the subfolder (made when missing). Returns that name, empty when
  // none could be made.
  std::string Stage(const std::string& agentFolder, const std::string& localName);
  // The file was replaced: the staged name becomes the page's previous
  // copy, taking the place of an older one.
  void Keep(const std::string& agentFolder, const std::string& staged, const std::string& localName);
  // The file was not replaced after all.
  void Discard(const std::string& agentFolder, const std::string& staged);
  // The run ended; when it completed, only its own previous copies stay
  // (the subfolder goes when none does).
  void EndRun(const std::string& agentFolder, bool completed);
  // Removes the previous copies whose pages keep no copy any more.
  template <class StillStored>
  void RemoveUnless(const std::string& agentFolder, StillStored stillStored) {
    std::unordered_set<std::string> names = Names(agentFolder);
    std::erase_if(names, stillStored);
    Remove(agentFolder, names);
  }

  // The local names that have a previous copy (regular files only).
  static std::unordered_set<std::string> Names(const std::string& agentFolder);
  // Whether the page's previous copy is there.
  static bool Has(const std::string& agentFolder, const std::string& localName);
  // The previous copy's path relative to the agent folder.
  static std::string RelativePath(const std::string& localName) { return FolderName() + "/" + localName; }
  // Whether the entry is a name the subfolder may hold.
  static bool IsEntryName(const std::string& name);

 private:
  // Removes the entries of the subfolder named (every entry when all).
  static void Remove(const std::string& agentFolder, const std::unordered_set<std::string>& names);

  std::mutex m_lock;
  std::unordered_set<std::string> m_madeInRun;
};

}  // namespace hv::cache
