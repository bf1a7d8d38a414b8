// The persistent cookie store: a Netscape cookie file shared by all our
// processes (and readable by wget and curl), plus the session cookies of
// this process, which are never written.
//
// Reading takes the file as last written, re-read only when it changed on
// disk. Cookies set are kept in memory until Flush, which the engine calls
// at the end of a run (and the destructor at the latest), so a page's
// answer never waits for the disk. Flush is a read-modify-write under a
// lock file beside the store, replaced by a new file renamed over the name,
// so no process loses another's cookie and nothing a link points at is
// written. A file that is not a regular file, is larger than kMaxFileBytes
// or cannot be read is refused: it is neither used nor overwritten, and
// cookies meant for it stay in memory for the process.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/cookies/cookie_list.h"

namespace hv::cookies {

constexpr std::size_t kMaxFileBytes = std::size_t{4} << 20;

class CookieStore {
 public:
  using Clock = std::function<std::int64_t()>;

  // Nothing is read until the first call.
  explicit CookieStore(std::string path, Clock clock = {});
  // Flushes what is still unwritten.
  ~CookieStore();
  CookieStore(const CookieStore&) = delete;
  CookieStore& operator=(const CookieStore&) = delete;

  // The text of a Cookie header for a request to the origin; empty when no
  // cookie goes there.
  std::string CookieHeader(const Origin& origin);
  // Stores the cookie of a Set-Cookie value received from the origin, for
  // the file at the next Flush. False when the value was ignored.
  bool SetCookie(std::string_view setCookieValue, const Origin& origin);
  // Writes the cookies set since the last Flush into the file. False when
  // the file could not be written; they then stay for this process only.
  bool Flush();

  // Why the file was refused when last looked at, else empty.
  std::string Problem();
  const std::string& Path() const { return m_strPath; }

 private:
  struct Stamp {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    bool operator==(const Stamp& other) const;
  };

  // Brings m_fileCookies up to the file; false when the file is refused.
  // Called with m_mutex held.
  bool RefreshLocked();
  // Under the file lock: the file's newest cookies changed by `change` and
  // written back when it changed them. False when nothing could be written.
  // Called with m_mutex held.
  bool RewriteLocked(const std::function<bool(CookieList&)>& change);
  // Flush with m_mutex held.
  bool FlushLocked();
  bool Refuse(const char* problem);

  std::mutex m_mutex;
  const std::string m_strPath;
  const Clock m_clock;
  Stamp m_stamp;
  bool m_bLoaded = false;
  std::string m_strProblem;
  CookieList m_fileCookies;     // as last read from or written to the file
  // What the next Flush changes in the file: the newest version of each key
  // set since; an expired one removes the key. Also sent with requests.
  CookieList m_pendingCookies;
  CookieList m_processCookies;  // this process only: sessions, and what the file refused
};

}  // namespace hv::cookies
