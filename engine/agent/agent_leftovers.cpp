#include "engine/agent/agent_leftovers.h"

#include <dirent.h>
#include <fnmatch.h>

#include <cctype>
#include <memory>

#include "engine/agent/item_extras.h"
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
    // The index, its temporaries and a damaged index set aside; the items'
    // extras beside it.
    const bool indexFile = name.rfind(index, 0) == 0 || IsTemporaryOf(name, index) ||
                           IsTemporaryOf(name, hv::item_extras::FileName());
    // The run log begins with the index's name; its report page beside it.
    const bool ours = indexFile || name == placeholder || IsStoredPageName(name) || name == "changes.html" ||
                      ::fnmatch("frm*.htm", name.c_str(), FNM_CASEFOLD) == 0;
    if (!ours || !hv::fs::IsRegularFile(hv::fs::JoinPath(folder, name))) return false;
  }
  return true;
}

}  // namespace hv::leftovers
