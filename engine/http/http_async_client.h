// One page transfer: builds the request from what its owner supplies, cuts
// the header block off the response and parses it into the page record,
// and hands the body and the final status to the owner. It deletes itself
// when the transfer has ended.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "engine/http/async_client.h"

class CHTTPRequestOwner;

// How a transfer ends, beside the job server's own statuses.
namespace HttpStatus {
constexpr int closed = 0;            // the server closed after the response
constexpr int ownerStopped = 0x4001;  // the owner's handler ended it
constexpr int ownerCancelled = 0x4003;  // the owner cancelled or gave no credentials
constexpr int noRequest = 0x4004;     // no request could be built
constexpr int noSocket = 0x8001;
constexpr int noHostAddress = 0x8002;  // the host name did not resolve
constexpr int connectFailed = 0x8003;
constexpr int sendFailed = 0x8004;
constexpr int receiveFailed = 0x8005;
constexpr int noHost = 0x8007;        // the address names no host
constexpr int socketBusy = 0x8008;
constexpr int timedOut = 0x8009;
constexpr int noRequestText = 0x800A;
constexpr int headerTooLong = 0x800B;  // the header block grew past its limit
constexpr int notHttp = 0x800C;        // the server closed inside its header block
constexpr int badBody = 0x8010;        // the body's chunks or gzip coding are broken
constexpr int certificateUntrusted = 0x800D;  // the chain leads to no certificate trusted here
constexpr int certificateOtherHost = 0x800E;  // the certificate names another host
constexpr int certificateExpired = 0x800F;
constexpr int tlsFailed = 0x8011;         // the TLS handshake failed otherwise
constexpr int caFileUnusable = 0x8012;    // the user's CA file cannot be read
constexpr int proxyRefused = 0x8013;      // the proxy opened no tunnel to an https: server
}  // namespace HttpStatus

class CHTTPAsyncClient : public CAsyncClient {
  DECLARE_DYNAMIC(CHTTPAsyncClient)

 public:
  // An OnData answer beside the owner's: the header block grew past its
  // limit, and the transfer ends with HttpStatus::headerTooLong.
  static constexpr int headerTooLong = 0x100;

  // Every call into the owner is made holding ownerLock, which the owner
  // also holds while it goes away (DetachOwner), so a transfer never calls
  // an owner that is gone.
  CHTTPAsyncClient(CHTTPRequestOwner* owner, std::recursive_mutex& ownerLock)
      : m_pOwner(owner), m_ownerLock(ownerLock) {}
  // An owner that never goes away early shares one lock with its kind.
  explicit CHTTPAsyncClient(CHTTPRequestOwner* owner) : CHTTPAsyncClient(owner, SharedOwnerLock()) {}

  // The owner is going away (called with the owner lock held): the
  // transfer runs on without it and tells no one how it ended.
  void DetachOwner() { m_pOwner = nullptr; }
  // A request made again while another location holds the realm it needs
  // waits a little first, so that it does not spin through the queue until
  // the realm is free.
  void SetStartDelayMs(int milliseconds) { m_nStartDelayMs = milliseconds; }
  int StartDelayMs() const override { return m_nStartDelayMs; }

  // Kind 0: the request text; kind 1: the page's address.
  int GetRequestData(CWorkerThread* worker, int kind, HGLOBAL& buffer) override;
  int OnData(CWorkerThread* worker, int kind, const char* data, int length) override;
  void OnQueued() override;
  void OnStarted() override;
  // Tells the owner and deletes this object.
  void OnComplete(int status) override;

  // The request text for the page, or a status (0x4003, 0x4004) when there
  // is none. For the transfer and for tests.
  int BuildRequest(std::string& text);

  CHTTPRequestOwner* m_pOwner;  // null once detached; read under the owner lock
  // The owner ended the transfer itself (a handler's answer, credentials
  // refused): it has moved on, maybe to a new request, and hears nothing
  // more of this one but that it is freed, even when a stop ends it.
  bool m_bEndedByOwner = false;
  int m_bHeaderDone = 0;
  std::string m_strHeader;  // the header text received so far
  // The body comes decoded (chunked, gzip); its length is counted here.
  bool m_bBodyDecoded = false;
  std::uint64_t m_nBodyBytes = 0;
  bool m_bAskedCurrent = false;     // the request was HTTP/1.1
  std::size_t m_nInterimBytes = 0;  // of header blocks so far, interim ones included
  // The transfer's failure in words beyond its status (a certificate's
  // fault, a TLS alert); set by the worker before it ends the job.
  std::string m_strFailureDetail;

 private:
  static std::recursive_mutex& SharedOwnerLock();
  // Notes an owner's handler answer that ends the transfer; returns it.
  int NoteOwnerEnd(int result);

  std::recursive_mutex& m_ownerLock;
  int m_nStartDelayMs = 0;
};
