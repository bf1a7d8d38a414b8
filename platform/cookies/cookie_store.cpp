#include "platform/cookies/cookie_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/cookies/cookies_file.h"
#include "platform/cookies/set_cookie.h"
#include "platform/files/file.h"
#include "platform/files/file_lock.h"
#include "platform/files/file_system.h"
#include "platform/framework/exceptions.h"

namespace hv::cookies {

namespace {

// The newest version of the key replaces the one before; the oldest go
// beyond what the file could keep anyway.
void SetPending(CookieList& pending, const Cookie& cookie) {
  Remove(pending, cookie);
  pending.push_back(cookie);
  if (pending.size() > kMaxCookies) pending.erase(pending.begin());
}

}  // namespace

bool CookieStore::Stamp::operator==(const Stamp& other) const {
  return exists == other.exists && dev == other.dev && ino == other.ino && size == other.size &&
         mtime.tv_sec == other.mtime.tv_sec && mtime.tv_nsec == other.mtime.tv_nsec;
}

CookieStore::CookieStore(std::string path, Clock clock)
    : m_strPath(std::move(path)),
      m_clock(clock ? std::move(clock) : Clock([] { return static_cast<std::int64_t>(::time(nullptr)); })) {}

CookieStore::~CookieStore() { Flush(); }

std::string CookieStore::CookieHeader(const Origin& origin) {
  std::lock_guard guard(m_mutex);
  RefreshLocked();
  if (m_pendingCookies.empty()) return cookies::CookieHeader(m_fileCookies, m_processCookies, origin, m_clock());
  // A key is never both pending and this process's alone, unless pending
  // as a deletion, which is not sent.
  CookieList later = m_pendingCookies;
  later.insert(later.end(), m_processCookies.begin(), m_processCookies.end());
  return cookies::CookieHeader(m_fileCookies, later, origin, m_clock());
}

bool CookieStore::SetCookie(std::string_view setCookieValue, const Origin& origin) {
  const std::int64_t now = m_clock();
  const std::optional<Cookie> cookie = ParseSetCookie(setCookieValue, origin, now);
  if (!cookie) return false;
  std::lock_guard guard(m_mutex);
  if (cookie->expires == 0 || cookie->Expired(now)) {
    // A session cookie or a deletion: the file keeps no version of the key.
    Put(m_processCookies, *cookie, now);
    Trim(m_processCookies, now);
    Cookie deletion = *cookie;
    deletion.expires = 1;
    SetPending(m_pendingCookies, deletion);
    return true;
  }
  Remove(m_processCookies, *cookie);
  SetPending(m_pendingCookies, *cookie);
  return true;
}

bool CookieStore::Flush() {
  std::lock_guard guard(m_mutex);
  return FlushLocked();
}

bool CookieStore::FlushLocked() {
  if (m_pendingCookies.empty()) return true;
  const std::int64_t now = m_clock();
  const bool written = RewriteLocked([&](CookieList& list) {
    bool changed = false;
    for (const Cookie& cookie : m_pendingCookies) changed = Put(list, cookie, now) || changed;
    return changed;
  });
  if (written) {
    m_pendingCookies.clear();
    return true;
  }
  // The cookies stay for this process; a deletion stays pending, hiding
  // the file's version until a flush can remove it.
  for (const Cookie& cookie : m_pendingCookies)
    if (!cookie.Expired(now)) Put(m_processCookies, cookie, now);
  Trim(m_processCookies, now);
  std::erase_if(m_pendingCookies, [&](const Cookie& cookie) { return !cookie.Expired(now); });
  return false;
}

std::string CookieStore::Problem() {
  std::lock_guard guard(m_mutex);
  return m_strProblem;
}

bool CookieStore::RefreshLocked() {
  struct stat st {};
  // The type first, through any link: a FIFO would block the open, a
  // device would never end.
  if (::stat(m_strPath.c_str(), &st) != 0) {
    if (errno != ENOENT) return Refuse("cannot be read");
    m_fileCookies.clear();
    m_stamp = Stamp{};
    m_bLoaded = true;
    m_strProblem.clear();
    return true;
  }
  if (!S_ISREG(st.st_mode)) return Refuse("is not a regular file");
  if (static_cast<std::uint64_t>(st.st_size) > kMaxFileBytes) return Refuse("is larger than 4 MiB");
  const Stamp seen{true, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
  if (m_bLoaded && seen == m_stamp) return true;

  // Non-blocking, in case a FIFO took the file's place since.
  const int fd = ::open(m_strPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return Refuse("cannot be read");
  std::string text;
  const char* problem = nullptr;
  if (::fstat(fd, &st) != 0) {
    problem = "cannot be read";
  } else if (!S_ISREG(st.st_mode)) {
    problem = "is not a regular file";
  } else if (!fs::ReadAtMost(fd, kMaxFileBytes, text)) {
    problem = text.size() > kMaxFileBytes ? "is larger than 4 MiB" : "cannot be read";
  }
  ::close(fd);
  if (problem) return Refuse(problem);
  m_fileCookies = ParseCookiesFile(text);
  // The stamp of the descriptor read: a rename in between only makes the
  // next call read again.
  m_stamp = Stamp{true, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
  m_bLoaded = true;
  m_strProblem.clear();
  return true;
}

bool CookieStore::Refuse(const char* problem) {
  m_bLoaded = false;
  m_fileCookies.clear();
  m_strProblem = "the cookie file " + m_strPath + " " + problem + "; cookies are kept for this process only";
  return false;
}

bool CookieStore::RewriteLocked(const std::function<bool(CookieList&)>& change) {
  const fs::FileLock lock(m_strPath + ".lock");
  if (!lock.Held() || !RefreshLocked()) return false;  // never replace a file we could not read
  const std::int64_t now = m_clock();
  CookieList list = m_fileCookies;
  const bool changed = change(list);
  if (!Trim(list, now) && !changed) return true;
  const std::string text = FormatCookiesFile(list);
  if (text.size() > kMaxFileBytes) return false;

  // The file holds session keys: it is private, and a link at its name is
  // replaced, never followed.
  if (!fs::ReplaceWithPrivateFile(m_strPath, text)) return false;
  struct stat st {};
  if (::stat(m_strPath.c_str(), &st) != 0) return false;
  m_stamp = Stamp{true, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
  m_fileCookies = std::move(list);
  m_bLoaded = true;
  return true;
}

}  // namespace hv::cookies
