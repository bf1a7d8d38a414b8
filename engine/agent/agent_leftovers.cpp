#include "engine/agent/agent_leftovers.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "engine/agent/item_extras.h"
#include "engine/cache/body_digests.h"
#include "engine/cache/previous_copies.h"
#include "platform/files/file_system.h"
#include "resources/resources.h"

namespace hv::leftovers {

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// "3S", at least six hexadecimal digits, then an extension or nothing.
bool IsStoredPageName(const std::string& name) {
  if (name.rfind("3S", 0) != 0) return false;
  std::size_t digits = 2;
  while (digits < name.size() && std::isxdigit(static_cast<unsigned char>(name[digits]))) ++digits;
  return digits - 2 >= 6 && (digits == name.size() || name[digits] == '.');
}

// The previous copies' folder, itself and not a link, holding nothing but
// previous copies.
bool HoldsOnlyPreviousCopies(const std::string& folder) {
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  std::vector<std::string> names;
  if (!ListFolder(folder, names)) return false;
  return std::all_of(names.begin(), names.end(), [&folder](const std::string& name) {
    struct stat entry {};
    return hv::cache::CPreviousCopies::IsEntryName(name) &&
           ::lstat(hv::fs::JoinPath(folder, name).c_str(), &entry) == 0 && S_ISREG(entry.st_mode);
  });
}

}  // namespace

bool ListFolder(const std::string& folder, std::vector<std::string>& names) {
  std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
  if (!dir) return false;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  return true;
}

bool IsTemporaryOf(const std::string& entry, const std::string& fileName) {
  const std::string head = "." + fileName + ".";
  if (entry.size() != head.size() + 6 || entry.compare(0, head.size(), head) != 0) return false;
  for (std::size_t i = head.size(); i < entry.size(); ++i)
    if (!std::isalnum(static_cast<unsigned char>(entry[i]))) return false;
  return true;
}

void RemoveStaleTemporaries(const std::string& folder, const std::string& fileName) {
  std::vector<std::string> names;
  ListFolder(folder, names);
  for (const std::string& name : names) {
    const std::string path = hv::fs::JoinPath(folder, name);
    if (IsTemporaryOf(name, fileName) && hv::fs::IsRegularFile(path)) hv::fs::RemoveFile(path);
  }
}

bool HoldsOnlyAgentFiles(const std::string& folder) {
  std::vector<std::string> names;
  if (!ListFolder(folder, names)) return false;
  const std::string index = hv::res::LoadString(hv::res::IDS_CACHE_INDEX);
  const std::string placeholder = hv::res::LoadString(hv::res::IDS_PLACEHOLDER);
  for (const std::string& name : names) {
    if (name == hv::cache::CPreviousCopies::FolderName()) {
      if (!HoldsOnlyPreviousCopies(hv::fs::JoinPath(folder, name))) return false;
      continue;
    }
    // The index, its temporaries and a damaged index set aside; the items'
    // extras beside it.
    const bool indexFile = name.rfind(index, 0) == 0 || IsTemporaryOf(name, index) ||
                           IsTemporaryOf(name, hv::item_extras::FileName()) ||
                           IsTemporaryOf(name, hv::cache::DigestsFileName());
    // The run log begins with the index's name; its report page beside it.
    // So are the contents page and what a cut-short write of it left.
    const bool ours = indexFile || name == placeholder || IsStoredPageName(name) || name == "changes.html" ||
                      name == "contents.html" || name == ".contents.html.part" ||
                      ::fnmatch("frm*.htm", name.c_str(), FNM_CASEFOLD) == 0;
    if (!ours || !hv::fs::IsRegularFile(hv::fs::JoinPath(folder, name))) return false;
  }
  return true;
}

}  // namespace hv::leftovers
