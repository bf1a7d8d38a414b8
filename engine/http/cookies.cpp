#include "engine/http/cookies.h"

#include <cstdlib>
#include <exception>

#include "engine/http/url.h"
#include "platform/files/file_system.h"
#include "platform/home.h"

IMPLEMENT_DYNAMIC(CCookies, CObject)

namespace {

// The host, path and security of an http or https address; false for any
// other address.
bool OriginOf(const std::string& address, hv::cookies::Origin& origin) {
  std::string copy = address;
  UrlParts parts{};
  SplitUrl(copy.data(), parts);
  if (!parts.scheme || !parts.host) return false;
  const std::string scheme = hv::cookies::LowerAscii(parts.scheme);
  origin.secure = scheme == "https";
  if (!origin.secure && scheme != "http") return false;

  std::string host = parts.host;
  host = host.substr(0, host.find('?'));
  if (const std::size_t at = host.rfind('@'); at != std::string::npos) host.erase(0, at + 1);
  if (host.starts_with('[')) {
    host = host.substr(0, host.find(']') + 1);
  } else {
    host = host.substr(0, host.find(':'));
  }
  while (host.ends_with('.')) host.pop_back();
  origin.host = hv::cookies::LowerAscii(host);

  std::string path = parts.path ? parts.path : "";
  origin.path = "/" + path.substr(0, path.find('?'));
  return !origin.host.empty();
}

}  // namespace

CCookies& CCookies::Instance() {
  static CCookies cookies;
  return cookies;
}

CCookies::CCookies() = default;
CCookies::~CCookies() = default;

hv::cookies::CookieStore* CCookies::Store() {
  std::call_once(m_loadTried, [this] {
    const char* setting = std::getenv("HARVION_COOKIES");
    if (setting && hv::cookies::LowerAscii(setting) == "off") return;
    const std::string home = hv::HomeDirectory();
    if (home.empty()) return;  // no place for them: cookies are not used
    m_pStore = std::make_unique<hv::cookies::CookieStore>(hv::fs::JoinPath(home, "cookies.txt"));
  });
  return m_pStore.get();
}

bool CCookies::GetCookies(std::string& text, const std::string& address) {
  text.clear();
  try {
    hv::cookies::Origin origin;
    hv::cookies::CookieStore* store = Store();
    if (!store || !OriginOf(address, origin)) return false;
    text = store->CookieHeader(origin);
  } catch (const std::exception&) {
    text.clear();  // the request goes without cookies
  }
  return !text.empty();
}

void CCookies::SetCookie(const std::string& address, const std::string& value) {
  try {
    hv::cookies::Origin origin;
    if (hv::cookies::CookieStore* store = Store(); store && OriginOf(address, origin)) store->SetCookie(value, origin);
  } catch (const std::exception&) {
    // a cookie that cannot be stored is dropped
  }
}

void CCookies::Flush() {
  try {
    if (hv::cookies::CookieStore* store = Store()) store->Flush();
  } catch (const std::exception&) {
    // the cookies stay for this process
  }
}
