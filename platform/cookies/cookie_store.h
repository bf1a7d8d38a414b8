// The persistent cookie store: a Netscape cookie file shared by all our
// processes (and readable by wget and curl), plus the session cookies of
// this process, which are never written.
//
// Reading takes the file as last written, re-read only when it changed on
// disk; writing is a read-modify-write under a lock file beside the store,
// replaced by rename, so no process loses another's cookie. A file that is
// not a regular file, is larger than kMaxFileBytes or cannot be read is
// refused: it is neither used nor overwritten, and cookies meant for it
// stay in memory for the process.
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
  CookieStore(const CookieStore&) = delete;
  CookieStore& operator=(const CookieStore&) = delete;

  // The text of a Cookie header for a request to the origin; empty when no
  // cookie goes there.
  std::string CookieHeader(const Origin& origin);
  // Stores the cookie of a Set-Cookie value received from the origin. False
  // when the value was ignored; a cookie kept only in memory because the
  // file cannot be written is still true.
  bool SetCookie(std::string_view setCookieValue, const Origin& origin);

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
  bool Refuse(const char* problem);

  std::mutex m_mutex;
  const std::string m_strPath;
  const Clock m_clock;
  Stamp m_stamp;
  bool m_bLoaded = false;
  std::string m_strProblem;
  CookieList m_fileCookies;     // as last read from or written to the file
  CookieList m_processCookies;  // this process only: sessions, and what the file refused
};

}  // namespace hv::cookies
