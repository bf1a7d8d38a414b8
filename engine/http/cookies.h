// The engine's access to the shared cookie store: the cookies a request
// carries and the cookies a response sets. The store is opened on first use,
// once per process; with HARVION_COOKIES=off, or when it cannot be opened,
// cookies are silently not used and retrieval works without them.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/cookies/cookie_store.h"
#include "platform/framework/serial.h"

class CCookies : public CObject {
  DECLARE_DYNAMIC(CCookies)
 public:
  // The one instance the engine uses.
  static CCookies& Instance();

  CCookies();
  ~CCookies() override;

  // The cookies for the address, as the text after "Cookie: ". Empty text
  // and false when none apply or cookies are unavailable.
  bool GetCookies(std::string& text, const std::string& address);
  // Stores the cookie of a Set-Cookie value (the header's text after its
  // name and blank) received for the address. A failure is ignored.
  void SetCookie(const std::string& address, const std::string& value);
  // Writes the cookies set since the last call into the shared store. Done
  // at the end of a run, outside the engine's locks: pages never wait for
  // the disk.
  void Flush();

 private:
  // Null when cookies are unavailable for this instance's lifetime.
  hv::cookies::CookieStore* Store();

  std::once_flag m_loadTried;
  std::unique_ptr<hv::cookies::CookieStore> m_pStore;
};
