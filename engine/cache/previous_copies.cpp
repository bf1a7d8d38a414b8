#include "engine/cache/previous_copies.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "engine/cache/local_name.h"

namespace hv::cache {

namespace {

// A staged copy: the prefix, then the page's local name. Not a name the
// page store makes, so it is never taken for a previous copy.
const std::string kStagedPrefix = ".staged.";

class Descriptor {
 public:
  explicit Descriptor(int fd) : m_fd(fd) {}
  ~Descriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return m_fd; }
  bool ok() const { return m_fd >= 0; }

 private:
  int m_fd;
};

int OpenAgentFolder(const std::string& agentFolder) {
  return ::open(agentFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// The subfolder, never through a link; -1 when it is not there as a folder.
int OpenSubfolder(int agentFolder, bool create) {
  if (agentFolder < 0) return -1;
  const char* name = CPreviousCopies::FolderName().c_str();
  if (create && ::mkdirat(agentFolder, name, 0777) != 0 && errno != EEXIST) return -1;
  return ::openat(agentFolder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

bool IsRegularAt(int folder, const std::string& name) {
  struct stat st {};
  return ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

// The entries of the open folder that are no folders.
std::vector<std::string> ListFiles(int folder) {
  std::vector<std::string> names;
  const int listed = ::dup(folder);
  if (listed < 0) return names;
  DIR* dir = ::fdopendir(listed);
  if (!dir) {
    ::close(listed);
    return names;
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    struct stat st {};
    if (name != "." && name != ".." && ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISDIR(st.st_mode))
      names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

// Where the file system makes no second name: the bytes, once.
bool CopyAt(int fromFolder, const std::string& from, int toFolder, const std::string& to) {
  const Descriptor in(::openat(fromFolder, from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!in.ok()) return false;
  const Descriptor out(::openat(toFolder, to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!out.ok()) return false;
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) return true;
    bool written = n > 0;
    for (ssize_t done = 0; written && done < n;) {
      const ssize_t w = ::write(out.get(), buffer + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      written = w > 0;
      done += written ? w : 0;
    }
    if (!written) {
      ::unlinkat(toFolder, to.c_str(), 0);
      return false;
    }
  }
}

}  // namespace

const std::string& CPreviousCopies::FolderName() {
  static const std::string name = "previous";
  return name;
}

bool CPreviousCopies::IsEntryName(const std::string& name) {
  if (name.compare(0, kStagedPrefix.size(), kStagedPrefix) == 0)
    return IsStoredFileName(name.substr(kStagedPrefix.size()));
  return IsStoredFileName(name);
}

void CPreviousCopies::BeginRun() {
  std::lock_guard guard(m_lock);
  m_madeInRun.clear();
}

std::string CPreviousCopies::Stage(const std::string& agentFolder, const std::string& localName) {
  if (!IsStoredFileName(localName)) return {};
  const Descriptor agent(OpenAgentFolder(agentFolder));
  if (!agent.ok() || !IsRegularAt(agent.get(), localName)) return {};
  const Descriptor folder(OpenSubfolder(agent.get(), true));
  if (!folder.ok()) return {};
  const std::string staged = kStagedPrefix + localName;
  ::unlinkat(folder.get(), staged.c_str(), 0);  // left by a run that never ended
  if (::linkat(agent.get(), localName.c_str(), folder.get(), staged.c_str(), 0) == 0) return staged;
  return CopyAt(agent.get(), localName, folder.get(), staged) ? staged : std::string();
}

void CPreviousCopies::Keep(const std::string& agentFolder, const std::string& staged, const std::string& localName) {
  if (staged.empty() || !IsStoredFileName(localName)) return;
  const Descriptor folder(OpenSubfolder(Descriptor(OpenAgentFolder(agentFolder)).get(), false));
  if (!folder.ok()) return;
  if (::renameat(folder.get(), staged.c_str(), folder.get(), localName.c_str()) != 0) {
    ::unlinkat(folder.get(), staged.c_str(), 0);
    return;
  }
  std::lock_guard guard(m_lock);
  m_madeInRun.insert(localName);
}

void CPreviousCopies::Discard(const std::string& agentFolder, const std::string& staged) {
  if (staged.empty()) return;
  const Descriptor folder(OpenSubfolder(Descriptor(OpenAgentFolder(agentFolder)).get(), false));
  if (folder.ok()) ::unlinkat(folder.get(), staged.c_str(), 0);
}

void CPreviousCopies::EndRun(const std::string& agentFolder, bool completed) {
  std::unordered_set<std::string> made;
  {
    std::lock_guard guard(m_lock);
    made.swap(m_madeInRun);
  }
  if (!completed) return;
  const Descriptor agent(OpenAgentFolder(agentFolder));
  const Descriptor folder(OpenSubfolder(agent.get(), false));
  if (!folder.ok()) return;
  for (const std::string& name : ListFiles(folder.get()))
    if (!made.count(name)) ::unlinkat(folder.get(), name.c_str(), 0);
  // Not empty (a folder someone put there): it stays.
  if (made.empty()) ::unlinkat(agent.get(), FolderName().c_str(), AT_REMOVEDIR);
}

std::unordered_set<std::string> CPreviousCopies::Names(const std::string& agentFolder) {
  std::unordered_set<std::string> names;
  const Descriptor folder(OpenSubfolder(Descriptor(OpenAgentFolder(agentFolder)).get(), false));
  if (!folder.ok()) return names;
  for (std::string& name : ListFiles(folder.get()))
    if (IsStoredFileName(name) && IsRegularAt(folder.get(), name)) names.insert(std::move(name));
  return names;
}

bool CPreviousCopies::Has(const std::string& agentFolder, const std::string& localName) {
  if (!IsStoredFileName(localName)) return false;
  const Descriptor folder(OpenSubfolder(Descriptor(OpenAgentFolder(agentFolder)).get(), false));
  return folder.ok() && IsRegularAt(folder.get(), localName);
}

void CPreviousCopies::Remove(const std::string& agentFolder, const std::unordered_set<std::string>& names) {
  if (names.empty()) return;
  const Descriptor folder(OpenSubfolder(Descriptor(OpenAgentFolder(agentFolder)).get(), false));
  if (!folder.ok()) return;
  for (const std::string& name : names)
    if (IsRegularAt(folder.get(), name)) ::unlinkat(folder.get(), name.c_str(), 0);
}

}  // namespace hv::cache
