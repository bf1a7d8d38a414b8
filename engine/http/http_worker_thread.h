// A worker of the HTTP server: runs each transfer on its own thread over
// one blocking socket, from the request to the last byte received.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "engine/http/connection_pool.h"
#include "engine/http/response_body.h"
#include "engine/http/worker_thread.h"

class CHTTPAsyncServer;
class ResponseFraming;
namespace hv::net {
class ByteStream;
}

// Posted by a worker to its "HTTP worker" window to run the bound transfer.
constexpr UINT WM_HV_HTTP_TRANSFER = 0x591;

class CHTTPWorkerThread : public CWorkerThread {
 public:
  CHTTPWorkerThread(CHTTPAsyncServer* server, int index);
  ~CHTTPWorkerThread() override;

 protected:
  bool InitInstance() override;
  int ExitInstance() override;
  void StartJob() override;
  void IdleWork() override {}

 private:
  // One transfer, from the request to its last byte; ends the job.
  void Transfer();
  // The transfer's status; socketError is the WinSock number of the
  // socket failure that ended it, if any.
  int RunTransfer(int& socketError);
  // Waits the client's start delay; false when a stop cut the wait off.
  bool WaitStartDelay();
  // Sends the request and receives the answer over connection, made anew
  // when empty; the connection is given back to the pool when its answer
  // ended and it may carry the next one.
  int Exchange(const std::string& address, const ConnectionPool::Destination& destination,
               const std::string& request, ConnectionPool::Connection& connection, int status, int& socketError);
  // The connection this worker kept open to destination, in its slot of
  // open sockets again; empty when there is none or a stop cut it off.
  ConnectionPool::Connection TakeKept(const ConnectionPool::Destination& destination);
  // Connects to where address is fetched from; a status when that failed.
  int Connect(const std::string& address, ConnectionPool::Connection& connection, int& socketError);
  int Receive(hv::net::ByteStream& stream, int status, int& socketError);
  // What handing a received block to the client came to.
  struct Delivery {
    int result = 0;           // the client's last OnData answer
    bool clientGone = false;  // a stop took the client away
    bool stoppedAtHeader = false;  // the client wanted no body
  };
  // Hands a block of length bytes, the last bodyBytes of them body, to the
  // client: header bytes as they are, body bytes decoded through body,
  // which is made once the header has ended.
  Delivery Deliver(const char* block, std::size_t length, std::size_t bodyBytes, const ResponseFraming& framing,
                   std::optional<ResponseBody>& body);
  // After the client wanted no body: reads the rest of one whose end is
  // known, within reason; true when the connection may carry the next request.
  bool SkipRest(hv::net::ByteStream& stream, ResponseBody& body);
  // After an early end: lets the server finish before closing, within reason.
  static void Drain(hv::net::ByteStream& stream);

  CHTTPAsyncServer* const m_pHttpServer;
  HWND m_hHttpWnd = nullptr;  // the "HTTP worker" window
  bool m_bKeepAsked = false;   // this transfer's request asked to keep the connection
  bool m_bAnswered = false;    // the server sent a byte of an answer over the connection
  bool m_bKeep = false;        // the answer ended where the connection may carry another
  // The running transfer's failure in words, for its client.
  std::string m_strFailureDetail;
};
