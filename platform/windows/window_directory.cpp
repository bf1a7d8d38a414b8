#include "platform/windows/window_directory.h"

#include "harvion/child_window.h"

#include <dirent.h>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <sstream>

#include "platform/windows/process_identity.h"
#include "platform/windows/runtime_folder.h"
#include "platform/windows/window_handle.h"
#include "platform/windows/window_link.h"

namespace hv::win {

namespace {

constexpr const char* kHeader = "harvion-windows 2";
constexpr std::size_t kMaxListBytes = 64 * 1024;
constexpr std::size_t kMaxWindows = 256;

std::string ListPath(const std::string& folder, pid_t process) {
  return folder + "/" + std::to_string(process) + ".windows";
}

// Reads at most kMaxListBytes; false for a larger or unreadable file.
bool ReadSmallFile(const std::string& path, std::string& text) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  text.assign(kMaxListBytes + 1, '\0');
  std::size_t have = 0;
  for (;;) {
    const ssize_t n = ::read(fd, text.data() + have, text.size() - have);
    if (n <= 0) break;
    have += std::size_t(n);
    if (have == text.size()) break;
  }
  ::close(fd);
  text.resize(have);
  return have <= kMaxListBytes;
}

// Set once windows were listed, and when the list is gone at exit: targets
// destroyed by other objects' destructors must not reach it then.
std::atomic<bool> g_used{false};
std::atomic<bool> g_gone{false};

// This process's listed windows and the socket that serves them.
class Directory {
 public:
  bool Publish(HWND window, const std::string& className, const std::string& title, const WindowStyle& style) {
    std::lock_guard lock(m_mutex);
    const std::string folder = RuntimeFolder();
    if (folder.empty()) return false;
    // A new folder (the user's environment changed) gets a new socket.
    if (!m_server || m_folder != folder) {
      m_server.reset();
      m_server = LinkServer::Start(SocketPath(folder, ::getpid()));
      if (!m_server) return false;
      if (!m_folder.empty()) ::unlink(ListPath(m_folder, ::getpid()).c_str());
      m_folder = folder;
    }
    TopLevelWindow record{window, className, title, ::getpid(), style.parent, style.controlId, style.visible, style.menu};
    for (auto& entry : m_windows) {
      if (entry.window != window) continue;
      entry = std::move(record);
      return WriteLocked();
    }
    if (m_windows.size() >= kMaxWindows) return false;
    m_windows.push_back(std::move(record));
    return WriteLocked();
  }

  bool Show(HWND window, bool visible) {
    std::lock_guard lock(m_mutex);
    for (auto& entry : m_windows) {
      if (entry.window != window) continue;
      if (entry.visible == visible) return true;
      entry.visible = visible;
      return WriteLocked();
    }
    return false;
  }

  void Withdraw(HWND window) {
    std::lock_guard lock(m_mutex);
    const auto before = m_windows.size();
    std::erase_if(m_windows, [&](const TopLevelWindow& entry) { return entry.window == window; });
    if (m_windows.size() != before) WriteLocked();
  }

  ~Directory() {
    g_gone = true;
    m_server.reset();
    if (!m_folder.empty()) ::unlink(ListPath(m_folder, ::getpid()).c_str());
  }

 private:
  // Called with m_mutex held. Written whole and renamed, so a reader never
  // sees half a list.
  bool WriteLocked() {
    const pid_t self = ::getpid();
    const std::string path = ListPath(m_folder, self);
    if (m_windows.empty()) return ::unlink(path.c_str()) == 0 || errno == ENOENT;
    std::ostringstream text;
    text << kHeader << ' ' << self << ' ' << ProcessStartTime(self) << '\n';
    for (const auto& entry : m_windows)
      text << HandleValue(entry.window) << '\t' << HandleValue(entry.parent) << '\t' << entry.controlId << '\t'
           << (entry.visible ? 1 : 0) + (entry.menu ? 2 : 0) << '\t' << entry.className << '\t' << entry.title
           << '\n';
    const std::string bytes = text.str();
    const std::string temporary = path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    const bool written = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    ::close(fd);
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
      ::unlink(temporary.c_str());
      return false;
    }
    return true;
  }

  std::mutex m_mutex;
  std::string m_folder;
  std::vector<TopLevelWindow> m_windows;
  // Destroyed before the list above: no message arrives for a window that
  // has left it.
  std::unique_ptr<LinkServer> m_server;
};

Directory& TheDirectory() {
  static Directory directory;
  return directory;
}

bool ParsePid(const char* name, const char* suffix, pid_t& process) {
  const std::size_t length = std::strlen(name), tail = std::strlen(suffix);
  if (length <= tail || length - tail > 10 || std::strcmp(name + length - tail, suffix) != 0) return false;
  long long value = 0;
  for (std::size_t i = 0; i < length - tail; ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
    value = value * 10 + (name[i] - '0');
  }
  if (value <= 0 || value > 0x3FFFFFFF) return false;
  process = pid_t(value);
  return true;
}

}  // namespace

bool IsListableName(const char* name) {
  if (!name || !*name) return false;
  const std::size_t length = std::strlen(name);
  if (length > 255) return false;
  for (std::size_t i = 0; i < length; ++i)
    if (static_cast<unsigned char>(name[i]) < 0x20 || name[i] == 0x7F) return false;
  return true;
}

bool ParseWindowList(const std::string& text, pid_t process, std::uint64_t& startTime,
                     std::vector<TopLevelWindow>& windows) {
  std::istringstream lines(text);
  std::string line;
  if (!std::getline(lines, line)) return false;
  {
    std::istringstream header(line);
    std::string word, version;
    long long pid = 0;
    if (!(header >> word >> version >> pid >> startTime) || word + " " + version != kHeader || pid != process)
      return false;
  }
  while (std::getline(lines, line) && windows.size() < kMaxWindows) {
    // handle, parent, identifier, flags, class, title
    std::vector<std::string> fields;
    std::size_t at = 0;
    for (int i = 0; i < 5; ++i) {
      const auto tab = line.find('\t', at);
      if (tab == std::string::npos) break;
      fields.push_back(line.substr(at, tab - at));
      at = tab + 1;
    }
    if (fields.size() != 5) continue;
    fields.push_back(line.substr(at));
    unsigned long long numbers[4] = {};
    bool good = true;
    for (int i = 0; i < 4 && good; ++i) {
      char* end = nullptr;
      errno = 0;
      numbers[i] = std::strtoull(fields[i].c_str(), &end, 10);
      good = !fields[i].empty() && fields[i][0] != '-' && !*end && errno == 0;
    }
    if (!good || numbers[2] > 0xFFFF || numbers[3] > 3) continue;
    TopLevelWindow entry;
    entry.window = reinterpret_cast<HWND>(std::uintptr_t(numbers[0]));
    entry.parent = reinterpret_cast<HWND>(std::uintptr_t(numbers[1]));
    entry.controlId = int(numbers[2]);
    entry.visible = numbers[3] & 1;
    entry.menu = numbers[3] & 2;
    entry.className = fields[4];
    entry.title = fields[5];
    entry.processId = process;
    if (HandleProcess(entry.window) != process || (entry.parent && HandleProcess(entry.parent) != process)) continue;
    if (!IsListableName(entry.className.c_str())) continue;
    if (!IsListableName(entry.title.c_str()) && !(entry.parent && entry.title.empty())) continue;
    windows.push_back(std::move(entry));
  }
  return true;
}

}  // namespace hv::win

BOOL PublishWindow(HWND window, const char* className, const char* title) {
  return PublishWindow(window, className, title, WindowStyle{});
}

BOOL PublishWindow(HWND window, const char* className, const char* title, const WindowStyle& style) {
  using namespace hv::win;
  if (HandleProcess(window) != ::getpid() || !IsWindow(window)) return 0;
  if (!title || !IsListableName(className)) return 0;
  if (!IsListableName(title) && !(style.parent && !*title)) return 0;
  if (style.parent && (HandleProcess(style.parent) != ::getpid() || style.parent == window)) return 0;
  if (style.controlId < 0 || style.controlId > 0xFFFF) return 0;
  if (g_gone) return 0;
  g_used = true;
  try {
    return TheDirectory().Publish(window, className, title, style);
  } catch (...) {
    return 0;
  }
}

BOOL ShowWindow(HWND window, bool visible) {
  if (!hv::win::g_used || hv::win::g_gone || hv::win::HandleProcess(window) != ::getpid()) return 0;
  try {
    return hv::win::TheDirectory().Show(window, visible);
  } catch (...) {
    return 0;
  }
}

void WithdrawWindow(HWND window) {
  if (!hv::win::g_used || hv::win::g_gone || hv::win::HandleProcess(window) != ::getpid()) return;
  try {
    hv::win::TheDirectory().Withdraw(window);
  } catch (...) {
  }
}

namespace hv::win {

std::vector<TopLevelWindow> ListedWindows() {
  std::vector<TopLevelWindow> windows;
  try {
    const std::string folder = RuntimeFolder();
    if (folder.empty()) return windows;
    std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(folder.c_str()), &::closedir);
    if (!listing) return windows;
    while (const dirent* item = ::readdir(listing.get())) {
      pid_t process = 0;
      // A process that ended with no window listed leaves only its socket.
      if (ParsePid(item->d_name, ".sock", process) && ProcessStartTime(process) == 0)
        ::unlink((folder + "/" + item->d_name).c_str());
      if (!ParsePid(item->d_name, ".windows", process)) continue;
      const std::string path = folder + "/" + item->d_name;
      std::string text;
      std::uint64_t startTime = 0;
      std::vector<TopLevelWindow> listed;
      if (!ReadSmallFile(path, text) || !ParseWindowList(text, process, startTime, listed)) continue;
      if (!ProcessAlive(process, startTime)) {
        // Left by a process that ended without taking its windows away.
        ::unlink(path.c_str());
        ::unlink(SocketPath(folder, process).c_str());
        continue;
      }
      for (auto& entry : listed) windows.push_back(std::move(entry));
    }
  } catch (...) {
  }
  return windows;
}

}  // namespace hv::win

std::vector<TopLevelWindow> EnumWindows() {
  auto windows = hv::win::ListedWindows();
  std::erase_if(windows, [](const TopLevelWindow& entry) { return entry.parent != nullptr; });
  return windows;
}

HWND FindWindow(const char* className, const char* title) {
  for (const auto& entry : EnumWindows()) {
    if (className && entry.className != className) continue;
    if (title && entry.title != title) continue;
    return entry.window;
  }
  return nullptr;
}

int GetWindowProcessId(HWND window) { return hv::win::HandleProcess(window); }
