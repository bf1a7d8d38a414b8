#include "engine/http/http_worker_thread.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "engine/http/async_client.h"
#include "engine/http/async_thunk.h"
#include "engine/http/connect_target.h"
#include "engine/http/http_async_client.h"
#include "engine/http/http_async_server.h"
#include "engine/http/proxy_tunnel.h"
#include "engine/http/response_body.h"
#include "engine/http/response_framing.h"
#include "engine/http/transfer_pace.h"
#include "engine/http/url.h"
#include "engine/settings/engine_app.h"
#include "harvion/global_memory.h"
#include "platform/net/byte_stream.h"
#include "platform/net/host_lookup.h"
#include "platform/net/tcp_socket.h"
#include "platform/net/tls_stream.h"

namespace {

constexpr std::size_t kBlockSize = 4096;
// What an early end reads and throws away, and how long it waits, for the
// server to close; a server that keeps sending past either is cut off with
// a reset.
constexpr std::size_t kMaxDiscard = 64 * 1024;
constexpr auto kMaxDiscardTime = std::chrono::seconds(1);
// How long a name may take to look up when transfers have no time-out.
constexpr auto kLookupLimit = std::chrono::minutes(2);

// The bound client with its slot locked for one call; empty when a stop has
// taken the client away, and the transfer then gives up.
class LockedClient {
 public:
  explicit LockedClient(CAsyncThunk* thunk) : m_pThunk(thunk), m_pClient(thunk->LockClient()) {}
  ~LockedClient() { m_pThunk->ReleaseClient(m_pClient); }
  LockedClient(const LockedClient&) = delete;
  LockedClient& operator=(const LockedClient&) = delete;
  explicit operator bool() const { return m_pClient != nullptr; }
  CAsyncClient* operator->() const { return m_pClient; }
  CAsyncClient* get() const { return m_pClient; }

 private:
  CAsyncThunk* const m_pThunk;
  CAsyncClient* m_pClient;
};

// Takes the text out of a block the client handed over and frees it.
std::string TakeText(HGLOBAL block) {
  if (!block) return {};
  std::string text;
  if (const auto* bytes = static_cast<const char*>(GlobalLock(block))) {
    text.assign(bytes, strnlen(bytes, GlobalSize(block)));
    GlobalUnlock(block);
  }
  GlobalFree(block);
  return text;
}

// Asks the client for a text; false when the client is gone.
bool RequestText(CAsyncThunk* thunk, CWorkerThread* worker, int kind, int& status, std::string& text) {
  LockedClient client(thunk);
  if (!client) return false;
  HGLOBAL block = nullptr;
  status = client->GetRequestData(worker, kind, block);
  text = TakeText(block);
  return true;
}

// Where a connection for address leads: the server, and the proxy between.
ConnectionPool::Destination DestinationOf(const std::string& address) {
  ConnectionPool::Destination destination;
  destination.scheme = address.substr(0, address.find(':'));
  for (char& c : destination.scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ConnectTarget server;  // the server itself, whatever the proxy
  MakeConnectTarget(address, {}, server);
  destination.host = server.host;
  destination.port = server.port;
  std::string target;
  if (EngineApp::Instance().GetProxiedTarget(address, target))
    destination.proxy = target.substr(0, target.size() - address.size());
  return destination;
}

// An HTTP/1.1 request leaves the connection open for the next one.
bool AsksToKeep(const std::string& request) {
  return std::string_view(request).substr(0, request.find("\r\n")).ends_with(" HTTP/1.1");
}

}  // namespace

CHTTPWorkerThread::CHTTPWorkerThread(CHTTPAsyncServer* server, int index)
    : CWorkerThread(server, index), m_pHttpServer(server) {}

CHTTPWorkerThread::~CHTTPWorkerThread() { Join(); }

bool CHTTPWorkerThread::InitInstance() {
  if (!CWorkerThread::InitInstance()) return false;
  m_hHttpWnd = CreateThreadWindow([this](UINT message, WPARAM, LPARAM) {
    if (message == WM_HV_HTTP_TRANSFER) Transfer();
  });
  return m_hHttpWnd != nullptr;
}

int CHTTPWorkerThread::ExitInstance() {
  DestroyThreadWindow(m_hHttpWnd);
  m_hHttpWnd = nullptr;
  return CWorkerThread::ExitInstance();
}

void CHTTPWorkerThread::StartJob() {
  // Runs from the loop, like every other piece of work on this thread; a
  // loop that has ended cannot take the message, so the job runs here.
  if (!PostMessage(m_hHttpWnd, WM_HV_HTTP_TRANSFER, 0, 0)) Transfer();
}

void CHTTPWorkerThread::Transfer() {
  int socketError = 0;
  int status = 0;
  m_strFailureDetail.clear();
  try {
    status = RunTransfer(socketError);
  } catch (...) {
    // A client that throws (out of memory, a failed write of the owner)
    // still ends its transfer, as a failure its owner hears of.
    status = HttpStatus::receiveFailed;
  }
  if (socketError == hv::net::kErrorTimedOut) {
    status = HttpStatus::timedOut;
    m_strFailureDetail.clear();
  }
  // A job bound just as a stop began was not there to be cut off; it ends
  // as cut off all the same, not with what its shut socket made of it.
  if (m_pHttpServer->Sockets().IsCutOff(m_nIndex)) {
    status = CAsyncServer::statusCutOff;
    m_strFailureDetail.clear();
  }
  if (!m_strFailureDetail.empty()) {
    LockedClient client(m_pThunk);
    if (auto* http = dynamic_cast<CHTTPAsyncClient*>(client.get())) http->m_strFailureDetail = m_strFailureDetail;
  }
  if (socketError == hv::net::kErrorNetworkDown || socketError == hv::net::kErrorNetworkUnreachable) {
    JobDoneAndAbort(status);
  } else {
    JobDone(status);
  }
}

int CHTTPWorkerThread::RunTransfer(int& socketError) {
  int status = 0;
  std::string request;
  std::string address;
  if (!WaitStartDelay()) return CAsyncServer::statusCutOff;
  if (!RequestText(m_pThunk, this, 0, status, request)) return 0;
  if (status != 0) return status;
  if (request.empty()) return HttpStatus::noRequestText;
  if (!RequestText(m_pThunk, this, 1, status, address)) return 0;
  if (status != 0) return status;
  if (address.empty()) return HttpStatus::noRequestText;
  // A thread here makes one blocking call at a time, so the socket layer is
  // never busy with another (HttpStatus::socketBusy cannot arise).

  m_bKeepAsked = AsksToKeep(request);
  const ConnectionPool::Destination destination = DestinationOf(address);
  ConnectionPool::Connection connection;  // closed exactly once, at the latest when it goes
  if (m_bKeepAsked) {
    connection = TakeKept(destination);
    if (m_pHttpServer->Sockets().IsCutOff(m_nIndex)) return CAsyncServer::statusCutOff;
  }
  const bool reused = static_cast<bool>(connection);
  const int result = Exchange(address, destination, request, connection, status, socketError);
  // The server may close a kept connection whenever it likes; until it has
  // answered, the request is as good as not sent, so it goes once more on a
  // new connection. A time-out is the server's answer too: not retried.
  if (reused && !m_bAnswered && socketError != hv::net::kErrorTimedOut &&
      (result == HttpStatus::closed || result == HttpStatus::sendFailed || result == HttpStatus::receiveFailed) &&
      !m_pHttpServer->Sockets().IsCutOff(m_nIndex)) {
    connection = {};
    socketError = 0;
    return Exchange(address, destination, request, connection, status, socketError);
  }
  return result;
}

int CHTTPWorkerThread::Exchange(const std::string& address, const ConnectionPool::Destination& destination,
                                const std::string& request, ConnectionPool::Connection& connection, int status,
                                int& socketError) {
  m_bAnswered = m_bKeep = false;
  m_strFailureDetail.clear();  // of an attempt on a kept connection before
  if (!connection) {
    if (const int failed = Connect(address, connection, socketError); failed != 0) return failed;
  }
  hv::net::ByteStream& stream = *connection.stream;
  if (!stream.SendAll(request.data(), request.size())) {
    socketError = stream.LastError();
    m_strFailureDetail = stream.FailureText();
    stream.CloseHard();
    return HttpStatus::sendFailed;
  }
  status = Receive(stream, status, socketError);
  if (m_bKeep && stream.IsOpen()) {
    if (m_pHttpServer->Sockets().IsCutOff(m_nIndex)) {
      stream.Close();
    } else {
      m_pHttpServer->Pool().GiveBack(m_nIndex, destination, std::move(connection));
    }
  }
  return status;
}

ConnectionPool::Connection CHTTPWorkerThread::TakeKept(const ConnectionPool::Destination& destination) {
  ConnectionPool::Connection connection = m_pHttpServer->Pool().Take(m_nIndex, destination);
  // Back in this worker's slot, so that a stop can shut it down mid-answer.
  if (connection && !m_pHttpServer->Sockets().Enter(m_nIndex, connection.fd)) {
    connection.stream->CloseHard();
    return {};
  }
  return connection;
}

int CHTTPWorkerThread::Connect(const std::string& address, ConnectionPool::Connection& connection,
                               int& socketError) {
  auto socket = std::make_unique<hv::net::TcpSocket>();
  if (!socket->Create()) {
    socketError = socket->LastError();
    return HttpStatus::noSocket;
  }
  if (!socket->Watch(m_pHttpServer->Sockets(), m_nIndex)) return CAsyncServer::statusCutOff;
  const EngineApp::RequestSettings settings = EngineApp::Instance().GetRequestSettings();
  ConnectTarget target;
  if (!MakeConnectTarget(address, settings, target)) return HttpStatus::noHost;
  std::uint32_t ip = 0;
  const int timeout = m_pHttpServer->SocketTimeout();
  const auto cutOff = [this] { return m_pHttpServer->Sockets().IsCutOff(m_nIndex); };
  switch (hv::net::LookUpHost(target.host, ip, socketError,
                              timeout > 0 ? std::chrono::milliseconds(timeout) : kLookupLimit, cutOff,
                              hv::net::ResolveIPv4)) {
    case hv::net::LookupEnd::found:
      break;
    case hv::net::LookupEnd::failed:
      return HttpStatus::noHostAddress;
    case hv::net::LookupEnd::cutOff:
      return CAsyncServer::statusCutOff;
    case hv::net::LookupEnd::timedOut:
      socketError = hv::net::kErrorTimedOut;
      m_strFailureDetail = hv::net::ConnectErrorWords(socketError);
      return HttpStatus::noHostAddress;
  }
  if (timeout > 0) socket->SetTimeouts(timeout);
  if (target.port == 0 || !socket->Connect(ip, target.port)) {
    socketError = socket->LastError();
    m_strFailureDetail = hv::net::ConnectErrorWords(socketError);
    return HttpStatus::connectFailed;
  }
  connection.fd = socket->Fd();
  if (!target.secure) {
    connection.stream = std::move(socket);
    return 0;
  }
  if (!target.tunnel.empty()) {
    TunnelResult tunnel = OpenProxyTunnel(*socket, target.tunnel, settings.userAgent, timeout);
    if (tunnel.status != 0) {
      socketError = tunnel.socketError;
      m_strFailureDetail = std::move(tunnel.failure);
      socket->CloseHard();
      return tunnel.status;
    }
  }
  hv::net::TlsFailure failure;
  connection.stream = hv::net::StartTls(std::move(*socket), target.serverHost, settings.caFile, failure);
  if (connection) return 0;
  using Kind = hv::net::TlsFailure::Kind;
  socketError = failure.socketError;
  m_strFailureDetail = failure.reason;
  switch (failure.kind) {
    case Kind::untrusted:
      return HttpStatus::certificateUntrusted;
    case Kind::otherHost:
      return HttpStatus::certificateOtherHost;
    case Kind::expired:
      return HttpStatus::certificateExpired;
    case Kind::caFile:
      return HttpStatus::caFileUnusable;
    default:
      return HttpStatus::tlsFailed;
  }
}

int CHTTPWorkerThread::Receive(hv::net::ByteStream& stream, int status, int& socketError) {
  using Clock = TransferPace::Clock;
  char block[kBlockSize + 1];
  ResponseFraming framing(m_bKeepAsked);
  std::optional<ResponseBody> body;  // once the header block has ended
  TransferPace pace(m_pHttpServer->SocketTimeout(), Clock::now());
  for (;;) {
    const int wait = pace.WaitLimit(Clock::now());
    const long received = wait == 0 ? -1 : stream.Receive(block, kBlockSize, wait);
    if (received == 0) {
      if (!stream.Close()) socketError = stream.LastError();
      // The server closed before the end it had announced.
      return body && body->ShortAtClose() ? HttpStatus::receiveFailed : status;
    }
    if (received < 0) {
      socketError = wait == 0 ? hv::net::kErrorTimedOut : stream.LastError();
      m_strFailureDetail = stream.FailureText();
      stream.CloseHard();
      return HttpStatus::receiveFailed;
    }
    m_bAnswered = true;
    const std::size_t bodyBytes = framing.Add(block, static_cast<std::size_t>(received));
    pace.Received(framing.HeaderDone(), bodyBytes, Clock::now());
    block[received] = '\0';
    const Delivery delivery = Deliver(block, static_cast<std::size_t>(received), bodyBytes, framing, body);
    if (delivery.clientGone) break;  // a stop completed the job meanwhile
    if (delivery.result == 1 || delivery.result == 2 || delivery.result == 3) {
      status = delivery.result == 3 ? HttpStatus::ownerCancelled : HttpStatus::ownerStopped;
      // Done with at its header (not modified, moved, refused): a short
      // rest read to its end leaves the connection for the next request.
      if (delivery.stoppedAtHeader && body && SkipRest(stream, *body)) {
        m_bKeep = true;
        return status;
      }
      break;
    }
    if (delivery.result == CHTTPAsyncClient::headerTooLong) {
      stream.CloseHard();
      return HttpStatus::headerTooLong;
    }
    if (body && body->Failed()) {
      stream.CloseHard();
      return HttpStatus::badBody;
    }
    if (body && body->Ended()) {
      // The whole answer is in; whatever the server does next is not this
      // page's, or is the next page's answer on a kept connection.
      m_bKeep = body->MayCarryMore();
      if (!m_bKeep && !stream.Close()) socketError = stream.LastError();
      return status;
    }
  }
  Drain(stream);
  return status;
}

bool CHTTPWorkerThread::WaitStartDelay() {
  int delay = 0;
  {
    LockedClient client(m_pThunk);
    if (!client) return true;  // the next call finds the client gone
    delay = client->StartDelayMs();
  }
  // In short steps, so that a stop meanwhile is seen at once.
  constexpr int kStepMs = 10;
  for (; delay > 0; delay -= kStepMs) {
    if (m_pHttpServer->Sockets().IsCutOff(m_nIndex)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(delay, kStepMs)));
  }
  return !m_pHttpServer->Sockets().IsCutOff(m_nIndex);
}

CHTTPWorkerThread::Delivery CHTTPWorkerThread::Deliver(const char* block, std::size_t length, std::size_t bodyBytes,
                                                       const ResponseFraming& framing,
                                                       std::optional<ResponseBody>& body) {
  Delivery delivery;
  // The header bytes go to the client as they came; the body's only once
  // decoded, so the page holds what the server meant, not how it was sent.
  const auto toClient = [&](const char* data, std::size_t size) {
    LockedClient client(m_pThunk);
    if (!client) {
      delivery.clientGone = true;
      return false;
    }
    delivery.result = client->OnData(this, 4, data, static_cast<int>(size));
    return delivery.result != 1 && delivery.result != 2 && delivery.result != 3 &&
           delivery.result != CHTTPAsyncClient::headerTooLong;
  };
  const std::size_t headerBytes = length - bodyBytes;
  const bool more = headerBytes == 0 || toClient(block, headerBytes);
  if (delivery.clientGone || !framing.HeaderDone()) return delivery;
  if (!body) body.emplace(framing.Body(), m_bKeepAsked && framing.Body().keepAlive);
  if (more) {
    body->Add(block + headerBytes, bodyBytes, toClient);
  } else {
    delivery.stoppedAtHeader = true;
    body->StopDecoding();
    body->Add(block + headerBytes, bodyBytes, [](const char*, std::size_t) { return true; });
  }
  return delivery;
}

bool CHTTPWorkerThread::SkipRest(hv::net::ByteStream& stream, ResponseBody& body) {
  using Clock = std::chrono::steady_clock;
  if (!body.Kept()) return false;
  char block[kBlockSize];
  const auto deadline = Clock::now() + kMaxDiscardTime;
  std::size_t discarded = 0;
  while (!body.Ended() && !body.Failed() && discarded <= kMaxDiscard) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const long received = left > 0 ? stream.Receive(block, kBlockSize, static_cast<int>(left)) : -1;
    if (received <= 0) return false;
    discarded += static_cast<std::size_t>(received);
    body.Add(block, static_cast<std::size_t>(received), [](const char*, std::size_t) { return true; });
  }
  return body.MayCarryMore();
}

void CHTTPWorkerThread::Drain(hv::net::ByteStream& stream) {
  using Clock = std::chrono::steady_clock;
  stream.ShutdownSend();
  char block[kBlockSize];
  const auto deadline = Clock::now() + kMaxDiscardTime;
  std::size_t discarded = 0;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const long received = left > 0 ? stream.Receive(block, kBlockSize, static_cast<int>(left)) : -1;
    if (received == 0) break;
    discarded += received > 0 ? static_cast<std::size_t>(received) : 0;
    if (received < 0 || discarded > kMaxDiscard) {
      stream.CloseHard();
      return;
    }
  }
  stream.Close();
}
