#include "engine/http/http_async_client.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

#include "engine/cache/page_descr.h"
#include "engine/http/connect_target.h"
#include "engine/http/cookies.h"
#include "engine/http/http_date.h"
#include "engine/http/http_header.h"
#include "engine/http/http_request_owner.h"
#include "engine/http/response_framing.h"
#include "engine/http/url.h"
#include "engine/settings/engine_app.h"
#include "harvion/global_memory.h"

IMPLEMENT_DYNAMIC(CHTTPAsyncClient, CAsyncClient)

namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// A header line whose value cannot end the line early: a hostile cookie
// file or setting must not add lines of its own to the request.
void AppendHeader(std::string& text, std::string_view name, std::string_view value) {
  text += name;
  for (const char c : value) {
    if (!IsControl(static_cast<unsigned char>(c))) text += c;
  }
  text += "\r\n";
}

// The path of the request line; a blank or a control byte in it would end
// the line or the request early, so those are escaped.
void AppendRequestPath(std::string& text, std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsControl(byte) || byte == ' ') {
      text += '%';
      text += kHex[byte >> 4];
      text += kHex[byte & 0x0F];
    } else {
      text += c;
    }
  }
}

HGLOBAL CopyToGlobal(const std::string& text) {
  HGLOBAL block = GlobalAlloc(GHND, text.size() + 1);
  if (!block) return nullptr;
  auto* bytes = static_cast<char*>(GlobalLock(block));
  if (!bytes) {
    GlobalFree(block);
    return nullptr;
  }
  std::memcpy(bytes, text.data(), text.size());
  GlobalUnlock(block);
  return block;
}

bool PassedToOwner(int status) { return status == 0 || (status & 0x8000) != 0 || (status & 0x1000) != 0; }

}  // namespace

std::recursive_mutex& CHTTPAsyncClient::SharedOwnerLock() {
  static std::recursive_mutex lock;
  return lock;
}

int CHTTPAsyncClient::BuildRequest(std::string& text) {
  std::lock_guard guard(m_ownerLock);
  text.clear();
  if (!m_pOwner) return HttpStatus::noRequest;
  CPageDescr* page = m_pOwner->RequestPage();
  if (!page) return HttpStatus::noRequest;
  const std::string address = page->m_strAddress;
  // One copy for the whole request: a settings change meanwhile never
  // meets it half read.
  const EngineApp::RequestSettings settings = EngineApp::Instance().GetRequestSettings();
  std::string target;
  bool proxied = settings.ProxiedTarget(address, target);
  // An https: request goes through a tunnel to its server and names only
  // the path there.
  if (proxied && IsSecureAddress(address)) {
    proxied = false;
    target = address;
  }
  std::string path;
  ComposeUrl(path, target.c_str(), nullptr, URL_REQUEST_PATH);
  // Through a proxy the path is "/" and the full address: the request names
  // the address itself.
  std::string_view requestPath = path;
  if (proxied && !requestPath.empty()) requestPath.remove_prefix(1);

  // An http: server gets the first HTTP it always got, unless the user
  // turned connections kept open on.
  const bool current = IsSecureAddress(address) || EngineApp::Instance().m_bKeepAlive;
  text = "GET ";
  AppendRequestPath(text, requestPath);
  std::string accept;
  m_pOwner->GetAcceptTypes(accept);
  text += current ? " HTTP/1.1\r\n" : " HTTP/1.0\r\n";
  m_bAskedCurrent = current;
  AppendHeader(text, "Accept: ", accept);
  AppendHeader(text, "User-Agent: ", settings.userAgent);
  // Servers today host many sites on one address and pick one by this name.
  std::string host;
  ComposeUrl(host, address.c_str(), nullptr, URL_CONNECT_HOST);
  if (!host.empty()) AppendHeader(text, "Host: ", host);
  if (current) text += "Accept-Encoding: gzip\r\n";
  const std::uint32_t since = m_pOwner->GetIfModifiedSince();
  if (since > 0) AppendHeader(text, "If-Modified-Since: ", FormatHttpDate(since));
  std::string credentials;
  if (!m_pOwner->GetAuthorization(credentials)) {
    m_bEndedByOwner = true;
    text.clear();
    return HttpStatus::ownerCancelled;
  }
  if (!credentials.empty()) AppendHeader(text, "Authorization: Basic ", credentials);
  std::string cookies;
  if (CCookies::Instance().GetCookies(cookies, address)) AppendHeader(text, "Cookie: ", cookies);
  text += "\r\n";
  return 0;
}

int CHTTPAsyncClient::NoteOwnerEnd(int result) {
  if (result == CHTTPRequestOwner::done || result == CHTTPRequestOwner::rejected ||
      result == CHTTPRequestOwner::cancel)
    m_bEndedByOwner = true;
  return result;
}

int CHTTPAsyncClient::GetRequestData(CWorkerThread*, int kind, HGLOBAL& buffer) {
  std::lock_guard guard(m_ownerLock);
  buffer = nullptr;
  if (!m_pOwner) return HttpStatus::noRequest;
  std::string text;
  if (kind == 0) {
    if (const int status = BuildRequest(text); status != 0) return status;
  } else if (kind == 1) {
    CPageDescr* page = m_pOwner->RequestPage();
    if (!page || page->m_strAddress.empty()) return 0;
    text = page->m_strAddress;
  } else {
    return HttpStatus::noRequest;
  }
  buffer = CopyToGlobal(text);
  return buffer ? 0 : HttpStatus::noRequest;
}

int CHTTPAsyncClient::OnData(CWorkerThread* worker, int kind, const char* data, int length) {
  std::lock_guard guard(m_ownerLock);
  if (!m_pOwner) return CHTTPRequestOwner::done;  // nobody wants the rest
  CPageDescr* page = m_pOwner->RequestPage();
  if (length <= 0 || !page) return 0;
  if (m_bHeaderDone) {
    m_nBodyBytes += static_cast<std::uint64_t>(length);
    return NoteOwnerEnd(m_pOwner->OnData(data, length));
  }

  // Only the new bytes and the three before them can hold an end marker
  // that was not there before.
  const std::size_t searchFrom = m_strHeader.size() < 3 ? 0 : m_strHeader.size() - 3;
  m_strHeader.append(data, static_cast<std::size_t>(length));
  const std::size_t tailEnd = FindHeaderEnd(m_strHeader.substr(searchFrom));
  const std::size_t end = tailEnd == 0 ? 0 : searchFrom + tailEnd;
  if (end == 0 || end > kMaxHttpHeader) {
    return m_strHeader.size() > kMaxHttpHeader ? headerTooLong : 0;
  }

  std::string body = m_strHeader.substr(end);
  m_strHeader.resize(end);
  // An interim answer to HTTP/1.1 is no page's: the answer proper follows,
  // as the transport reads it too.
  m_nInterimBytes += end;
  if (m_bAskedCurrent && m_nInterimBytes <= kMaxHttpHeader && ReadBodyFraming(m_strHeader).interim) {
    m_strHeader.clear();
    if (body.empty()) return 0;
    return OnData(worker, kind, body.data(), static_cast<int>(body.size()));
  }
  ParseHttpHeader(m_strHeader, *page,
                  [&](const std::string& cookie) { CCookies::Instance().SetCookie(page->m_strAddress, cookie); });
  // The transport hands a chunked or gzip body on decoded: the length sent
  // was that of the coded bytes, and the page's is known only at its end.
  const BodyFraming framing = ReadBodyFraming(m_strHeader);
  m_bBodyDecoded = framing.chunked || framing.gzip;
  if (m_bBodyDecoded) page->m_nContentLength = 0;
  m_strHeader.clear();
  m_strHeader.shrink_to_fit();
  m_bHeaderDone = 1;
  if (const int result = NoteOwnerEnd(m_pOwner->OnHeaders()); result != 0) return result;
  if (body.empty()) return 0;
  return OnData(worker, kind, body.data(), static_cast<int>(body.size()));
}

void CHTTPAsyncClient::OnQueued() {
  std::lock_guard guard(m_ownerLock);
  if (m_pOwner) m_pOwner->OnRequestQueued();
}

void CHTTPAsyncClient::OnStarted() {
  std::lock_guard guard(m_ownerLock);
  if (!m_pOwner) return;
  if (m_pOwner->RequestPage()) {
    m_bHeaderDone = 0;
    m_strHeader.clear();
    m_bBodyDecoded = false;
    m_nBodyBytes = 0;
    m_nInterimBytes = 0;
  }
  m_pOwner->OnRequestStarted();
}

void CHTTPAsyncClient::OnComplete(int status) {
  std::lock_guard guard(m_ownerLock);  // the lock is not this object's: it outlives the delete
  // Bytes without the end of a header block are no HTTP answer (a server of
  // the first HTTP sends the page bare).
  if (status == HttpStatus::closed && !m_bHeaderDone && !m_strHeader.empty()) status = HttpStatus::notHttp;
  if (m_pOwner) {
    // The owner may detach itself while it hears of the end.
    CHTTPRequestOwner* owner = m_pOwner;
    CPageDescr* page = owner->RequestPage();
    if (status == HttpStatus::closed && m_bBodyDecoded && !m_bEndedByOwner && page) {
      page->m_nContentLength = static_cast<std::int32_t>(
          std::min<std::uint64_t>(m_nBodyBytes, std::numeric_limits<std::int32_t>::max()));
    }
    if (PassedToOwner(status) && !m_bEndedByOwner && page) {
      if (!m_strFailureDetail.empty()) owner->OnRequestFailureDetail(m_strFailureDetail);
      owner->OnRequestFinished(status);
    }
    if (m_pOwner) m_pOwner->OnRequestFreed(this);
  }
  delete this;
}
