// A connected, blocking stream of bytes as a transfer uses it, whatever
// carries it (a plain socket, or TLS over one): send, receive with a wait,
// an orderly or a hard end. Failures keep a WinSock number, which is what
// the transport's statuses are decided by.
#pragma once

#include <cstddef>
#include <string>

namespace hv::net {

class ByteStream {
 public:
  ByteStream() = default;
  ByteStream(const ByteStream&) = delete;
  ByteStream& operator=(const ByteStream&) = delete;
  virtual ~ByteStream() = default;

  // Sends all bytes, repeating partial sends.
  virtual bool SendAll(const char* data, std::size_t length) = 0;
  // Bytes received (up to size), 0 when the peer closed, -1 on an error;
  // waiting at most waitMs milliseconds (-1: the stream's own time-out),
  // after which it fails as timed out.
  virtual long Receive(char* buffer, std::size_t size, int waitMs = -1) = 0;
  // Ends the sending side; what the peer still sends can be read.
  virtual void ShutdownSend() = 0;
  // Closes; false when the close itself reports an error. Either way the
  // stream is closed afterwards and is never closed again.
  virtual bool Close() = 0;
  // Closes with a reset instead of the orderly end.
  virtual void CloseHard() = 0;
  virtual bool IsOpen() const = 0;
  // The WinSock number of the last failure, 0 when nothing failed.
  virtual int LastError() const = 0;
  // The last failure in words where the number says too little (an alert
  // the TLS peer sent); empty otherwise.
  virtual std::string FailureText() const { return {}; }
};

}  // namespace hv::net
