// One blocking IPv4 TCP connection, as the HTTP transport uses it: connect,
// send, receive with time-outs, an orderly or a hard end. Failures keep the
// socket error as its WinSock number, which is what the transport's statuses
// are decided by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/net/byte_stream.h"

namespace hv::net {

class OpenSockets;

// WinSock numbers the transport tells apart.
constexpr int kErrorNetworkDown = 10050;
constexpr int kErrorNetworkUnreachable = 10051;
constexpr int kErrorTimedOut = 10060;
constexpr int kErrorHostNotFound = 11001;

// The WinSock number for a system error number.
int WinSockError(int systemError);
// Why a connection could not be made, in a user's words ("connection
// refused"); empty for a number without words of its own.
std::string ConnectErrorWords(int winSockError);

// The first IPv4 address of host (a dotted number or a name), in network
// byte order. False with error set to a WinSock number when there is none.
bool ResolveIPv4(const std::string& host, std::uint32_t& address, int& error);

class TcpSocket : public ByteStream {
 public:
  TcpSocket() = default;
  // The connection, its watch and its time-outs move; other is left closed.
  TcpSocket(TcpSocket&& other) noexcept;
  TcpSocket& operator=(TcpSocket&&) = delete;
  // A socket still open is closed hard: nothing may keep a connection alive
  // past its transfer.
  ~TcpSocket() override;

  bool Create();
  bool IsOpen() const override { return m_fd >= 0; }
  int Fd() const { return m_fd; }
  // Keeps the open socket in slot of sockets until it is closed, so that a
  // stop can shut it down; false (the socket shut down) when the slot is
  // cut off already.
  bool Watch(OpenSockets& sockets, int slot);
  // The send and the receive time-out (also bounding connect), milliseconds.
  bool SetTimeouts(int milliseconds);
  int TimeoutMs() const { return m_nTimeoutMs; }
  bool Connect(std::uint32_t address, std::uint16_t port);
  bool SendAll(const char* data, std::size_t length) override;
  // A wait within a sixteenth of the socket's own time-out may last that
  // time-out instead.
  long Receive(char* buffer, std::size_t size, int waitMs = -1) override;
  void ShutdownSend() override;
  bool Close() override;
  void CloseHard() override;
  int LastError() const override { return m_nError; }
  // Keeps errno's WinSock number as the last failure; returns false.
  bool Fail();
  void SetError(int winSockError) { m_nError = winSockError; }

 private:

  int m_fd = -1;
  int m_nError = 0;
  int m_nTimeoutMs = 0;  // the receive time-out set, 0 for none
  OpenSockets* m_pWatch = nullptr;
  int m_nWatchSlot = -1;
};

}  // namespace hv::net
